// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_text.h"

#include <cstdint>
#include <cstdio>

namespace zorv::cli {
namespace {

struct TCharacter {
  char32_t Code = 0;
  std::size_t Bytes = 0;  // 0: not valid UTF-8 at this byte
};

// The character that starts at text[i], with the rules of RFC 3629: no
// overlong forms, no surrogates, nothing beyond U+10FFFF.
TCharacter Decode(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t code = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, minimum = 0x10000;
  } else {
    return {};
  }
  if (i + length > text.size()) return {};
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return {};
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {};
  return {code, length};
}

bool InRanges(char32_t c, const std::pair<char32_t, char32_t>* ranges, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (c >= ranges[i].first && c <= ranges[i].second) return true;
  }
  return false;
}

std::size_t Width(char32_t c) {
  static constexpr std::pair<char32_t, char32_t> kZero[] = {
      {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},
      {0x064B, 0x065F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
      {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}};
  static constexpr std::pair<char32_t, char32_t> kWide[] = {
      {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},  {0x3400, 0x4DBF},
      {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},  {0xF900, 0xFAFF},
      {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},  {0x1F300, 0x1F64F},
      {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};
  if (InRanges(c, kZero, std::size(kZero))) return 0;
  if (InRanges(c, kWide, std::size(kWide))) return 2;
  return 1;
}

}  // namespace

std::string Escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char code[12];
  for (std::size_t i = 0; i < text.size();) {
    const TCharacter c = Decode(text, i);
    if (c.Bytes == 0) {
      std::snprintf(code, sizeof code, "\\x%02x", static_cast<unsigned char>(text[i]));
      out += code;
      ++i;
      continue;
    }
    if (c.Code == '\n') {
      out += "\\n";
    } else if (c.Code == '\t') {
      out += "\\t";
    } else if (c.Code == '\r') {
      out += "\\r";
    } else if (c.Code < 0x20 || c.Code == 0x7F) {
      std::snprintf(code, sizeof code, "\\x%02x", static_cast<unsigned>(c.Code));
      out += code;
    } else if (c.Code >= 0x80 && c.Code <= 0x9F) {
      std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c.Code));
      out += code;
    } else {
      out.append(text.substr(i, c.Bytes));
    }
    i += c.Bytes;
  }
  return out;
}

std::size_t DisplayWidth(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const TCharacter c = Decode(text, i);
    width += c.Bytes == 0 ? 1 : Width(c.Code);
    i += c.Bytes == 0 ? 1 : c.Bytes;
  }
  return width;
}

std::string_view HeadWithin(std::string_view text, std::size_t width) {
  std::size_t used = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const TCharacter c = Decode(text, i);
    const std::size_t bytes = c.Bytes == 0 ? 1 : c.Bytes;
    const std::size_t columns = c.Bytes == 0 ? 1 : Width(c.Code);
    if (used + columns > width) break;
    used += columns;
    i += bytes;
  }
  return text.substr(0, i);
}

std::string_view TailWithin(std::string_view text, std::size_t width) {
  std::size_t used = 0;
  std::size_t start = text.size();
  while (start > 0) {
    // The character that ends just before start: a lead byte and up to three
    // continuation bytes, else one byte that is not UTF-8.
    std::size_t from = start - 1;
    while (from > 0 && start - from < 4 &&
           (static_cast<unsigned char>(text[from]) & 0xC0) == 0x80) {
      --from;
    }
    TCharacter c = Decode(text, from);
    if (c.Bytes != start - from) {
      from = start - 1;
      c = {};
    }
    const std::size_t columns = c.Bytes == 0 ? 1 : Width(c.Code);
    if (used + columns > width) break;
    used += columns;
    start = from;
  }
  return text.substr(start);
}

std::string Shortened(std::string_view text, std::size_t width) {
  if (DisplayWidth(text) <= width) return std::string(text);
  constexpr std::string_view kGap = "...";
  if (width <= kGap.size()) return std::string(HeadWithin(text, width));
  const std::size_t room = width - kGap.size();
  const std::size_t tail = room / 2;
  const std::string_view end = TailWithin(text, tail);
  const std::string_view start = HeadWithin(text, room - DisplayWidth(end));
  return std::string(start) + std::string(kGap) + std::string(end);
}

}  // namespace zorv::cli
