// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-decode's per-file errors and refusals, one line each in the style of
// the other command-line tools: "zorv-decode: FILE: reason", the system's
// reason after a colon, what was found and what is accepted in parentheses:
//   zorv-decode: tape.wav: cannot open: No such file or directory
//   zorv-decode: tape.wav: sampling rate not supported (found 22050 Hz; accepted: ...)
#pragma once

#include <string>
#include <string_view>

namespace zorv::cli {

inline constexpr std::string_view kProgramPrefix = "zorv-decode: ";

// message: one of the program's "...: " texts that are followed by the path
// (the window's wording, or the command line's own); detail: the system's
// reason for the texts of a failed open, read, create or write, else what was
// found. Without the program's name in front (the report's message).
std::string ErrorText(std::string_view message, const std::string& path,
                      const std::string& detail = {});
// The same with "zorv-decode: " in front (the line on standard error).
std::string ErrorLine(std::string_view message, const std::string& path,
                      const std::string& detail = {});

// "Try 'zorv-decode --help'.": the line under a usage error.
inline constexpr std::string_view kTryHelp = "Try 'zorv-decode --help'.";

}  // namespace zorv::cli
