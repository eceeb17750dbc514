// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/output_name.h"

#include <limits.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "app/audio_files.h"
#include "app/messages.h"

namespace zorv {
namespace {

constexpr std::size_t kLongPathCharacters = 240;
// The longest name where the folder's file system does not say.
constexpr long kUsualNameMax = 255;
// Room for ".incomplete-XXXXXX" behind a path.
constexpr std::size_t kTemporarySuffixBytes = 18;

// Characters of a UTF-8 text: every byte that does not continue a sequence.
std::size_t CharacterCount(const std::string& text) {
  std::size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace

std::string ProposeOutputName(const std::string& input) {
  if (CharacterCount(input) >= kLongPathCharacters) {
    return IsFlacName(input) ? "output.flac" : "output.wav";
  }
  const std::size_t slash = input.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = input.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return input + "_dec";
  return input.substr(0, dot) + "_dec" + input.substr(dot);
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  const bool same = std::filesystem::equivalent(a, b, error);
  return !error && same;
}

bool NameTooLong(const std::string& path) {
  if (path.size() + kTemporarySuffixBytes >= PATH_MAX) return true;
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::size_t name = slash == std::string::npos ? path.size() : path.size() - slash - 1;
  long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (nameMax <= 0) nameMax = kUsualNameMax;
  return name > static_cast<std::size_t>(nameMax);
}

std::string OverwriteQuestion(const std::string& path) {
  std::string text(messages::kOverwriteQuestion);
  const std::string name = std::filesystem::path(path).filename().string();
  text.replace(text.find("%s"), 2, name);
  return text;
}

}  // namespace zorv
