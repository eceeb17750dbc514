// SPDX-License-Identifier: GPL-3.0-or-later
// The line zorv-decode adds under a refused input's message: what was found
// and what is accepted ("found 22050 Hz; accepted: 32000, 44100, 48000,
// 88200, 96000, 176400, 192000 Hz").
#pragma once

#include <cstdint>
#include <string>

#include "wav/header_image.h"
#include "wav/wav_file_in.h"

namespace zorv {

// For a ReadHeader result other than Ok; start holds the file's first bytes
// (up to 12), to name what kind of file it is.
std::string HeaderRefusalDetail(TReadHeaderResult code, const std::string& start);
// For a CheckFormat result other than 0.
std::string FormatRefusalDetail(std::int32_t checkFormatCode, const THeaderImage& header);

}  // namespace zorv
