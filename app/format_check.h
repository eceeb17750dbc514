// SPDX-License-Identifier: GPL-3.0-or-later
// The check of an input's format fields, the line that describes them, and
// the messages for the reader's and the check's result codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "wav/header_image.h"
#include "wav/wav_file_in.h"

namespace zorv {

// Results of CheckFormat.
enum TFormatCheckResult : std::int32_t {
  fcOk = 0,
  fcFormat = -1,      // not 16/24/32-bit integer PCM nor 32-bit float, or a block align that
                      // disagrees with channels x bits / 8
  fcChannels = -2,    // 0 channels or more than 64 (kMaxChannels)
  fcSampleRate = -3,  // not one of kSupportedRates (32000 .. 192000 Hz)
};

// Tests channels, then the sample rate, then the format, and returns the first
// failure. Only what the sample conversion can handle passes.
std::int32_t CheckFormat(const THeaderImage& header);

// "fs = 44100  ch = 2   16 bit/sample  total 4 byte/sample  integer"
std::string ShowWavParams(const THeaderImage& header);

// The message for a ReadHeader result other than Ok (path to be appended);
// empty for Ok.
std::string_view ReadHeaderMessage(TReadHeaderResult code);
// The message for the reader's ReadHeader result other than Ok, with what
// was found for Malformed ("Unusable WAV File (two data chunks): ") and the
// reason for ReadError ("Cannot read (Input/output error): "); path to be
// appended.
std::string HeaderRefusal(const TWavFileIn& reader, TReadHeaderResult code);
// The message for a read of the reader that failed or found the file cut
// shorter than it was when opened ("Cannot read (Input/output error): ",
// path to be appended); empty while every read was whole.
std::string ReadFailureRefusal(const TWavFileIn& reader);

// "metadata: bext, iXML, LIST" when an output of the reader's input carries
// chunks besides its format and data ("..., and 12 more" past ten names);
// empty when it carries none or the header is canonical.
std::string MetadataText(const TWavFileIn& reader, bool canonical);

// The message for a CheckFormat result other than 0; empty for 0.
std::string_view CheckFormatMessage(std::int32_t code);

}  // namespace zorv
