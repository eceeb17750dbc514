// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/text_conversion.h"

#include <sys/stat.h>

namespace zorv {
namespace {

constexpr char16_t kStrayByte = 0xDC00;

// The code point of the UTF-8 sequence at text[at], and its length; 0 when
// the bytes there are no well-formed sequence.
int Sequence(std::string_view text, std::size_t at, char32_t& point) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char first = byte(0);
  int length = 0;
  if (first < 0x80) {
    point = first;
    return 1;
  }
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
    point = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    point = first & 0x0F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    point = first & 0x07;
  } else {
    return 0;
  }
  if (at + static_cast<std::size_t>(length) > text.size()) return 0;
  for (int i = 1; i < length; ++i) {
    if ((byte(static_cast<std::size_t>(i)) & 0xC0) != 0x80) return 0;
    point = (point << 6) | (byte(static_cast<std::size_t>(i)) & 0x3F);
  }
  // Overlong forms, surrogates and what lies beyond Unicode are not UTF-8.
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < least[length] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) return 0;
  return length;
}

void AppendUtf8(std::string& out, char32_t point) {
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (point >> 18));
    out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

}  // namespace

QString FromLocal(std::string_view path) {
  QString text;
  text.reserve(static_cast<qsizetype>(path.size()));
  for (std::size_t at = 0; at < path.size();) {
    char32_t point = 0;
    const int length = Sequence(path, at, point);
    if (length == 0) {
      text += QChar(kStrayByte + static_cast<unsigned char>(path[at]));
      ++at;
      continue;
    }
    if (point >= 0x10000) {
      const char32_t rest = point - 0x10000;
      text += QChar(static_cast<char16_t>(0xD800 + (rest >> 10)));
      text += QChar(static_cast<char16_t>(0xDC00 + (rest & 0x3FF)));
    } else {
      text += QChar(static_cast<char16_t>(point));
    }
    at += static_cast<std::size_t>(length);
  }
  return text;
}

std::string LocalPath(const QString& path) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(path.size()));
  for (qsizetype i = 0; i < path.size(); ++i) {
    const char16_t unit = path[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < path.size() &&
        QChar::isLowSurrogate(path[i + 1].unicode())) {
      AppendUtf8(bytes, QChar::surrogateToUcs4(unit, path[i + 1].unicode()));
      ++i;
    } else if (unit >= kStrayByte + 0x80 && unit <= kStrayByte + 0xFF) {
      bytes += static_cast<char>(unit - kStrayByte);
    } else {
      AppendUtf8(bytes, unit);
    }
  }
  return bytes;
}

bool PathExists(const QString& path) {
  struct stat info {};
  return ::lstat(LocalPath(path).c_str(), &info) == 0;
}

}  // namespace zorv
