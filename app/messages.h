// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own texts for the choice of the input and the output file and
// for the start of a run. Each "...: " text is followed by the full path.
#pragma once

#include <string_view>

namespace zorv::messages {

inline constexpr std::string_view kCannotOpen = "Cannot open: ";
inline constexpr std::string_view kCannotRead = "Cannot read: ";
// Followed by the system's reason, then "): " and the path.
inline constexpr std::string_view kCannotReadBecause = "Cannot read (";
inline constexpr std::string_view kNoRiffFile = "No RIFF File: ";
inline constexpr std::string_view kNoWavFile = "No WAV File: ";
inline constexpr std::string_view kNoFmtChunk = "No fmt chunk in WAV File: ";
inline constexpr std::string_view kNoDataChunk = "No data chunk in WAV File: ";
// Followed by what was found ("two data chunks"), then "): " and the path.
inline constexpr std::string_view kUnusableWav = "Unusable WAV File (";
// The same for a FLAC file ("damaged FLAC metadata").
inline constexpr std::string_view kUnusableFlac = "Unusable FLAC File (";
// An output named NAME.flac whose samples or chunks FLAC cannot hold.
inline constexpr std::string_view kNotForFlac = "Cannot be written as FLAC: ";
inline constexpr std::string_view kUnsupportedFormat = "Not supported audio format: ";
inline constexpr std::string_view kUnsupportedChannels = "Not supported number of audio channels: ";
inline constexpr std::string_view kUnsupportedRate = "Not supported sampling rate: ";
inline constexpr std::string_view kCannotCreate = "Cannot create: ";
inline constexpr std::string_view kInputAsOutput = "Cannot use the input file as output: ";
inline constexpr std::string_view kDebugNeedsStereo =
    "Control signal debug output in (R) needs 2-ch stereo input file";
// %s stands for the output's file name without its folder.
inline constexpr std::string_view kOverwriteQuestion = "OK to overwrite %s ?";

}  // namespace zorv::messages
