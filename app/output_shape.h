// SPDX-License-Identifier: GPL-3.0-or-later
// What a decode's output looks like besides its samples, as functions of the
// input's header and the run's settings: the frame layout, the format
// fields, the fmt body of a float output, the CodingHistory line, the whole
// frames of what was written and the header's data size at the end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/sample_conversion.h"
#include "wav/header_image.h"
#include "wav/output_layout.h"

namespace zorv {

struct TOutputShape {
  // 32-bit float samples whatever the input's format.
  bool Float = false;
  // The canonical 44-byte header, no other chunk of the input.
  bool Canonical = false;
  // 0 none, 1..4: channel 2 carries channel 1's control signal of band A..D.
  std::uint32_t DebugBand = 0;
  // The largest RIFF size written as plain RIFF.
  std::uint64_t MaxRiffSize = 0xFFFFFFFFu;
  // The decode goes on from where the part before ended (--continue).
  bool Continued = false;
};

// The output's frame layout: the input's, or float samples of its channels.
TFrameLayout OutputFrameLayout(const TFrameLayout& input, const TOutputShape& shape);

// The bytes of output for inputBytes bytes of input frames of inputFrameBytes
// (whole frames only when the layouts differ: a trailing part of a frame has
// no float counterpart), at most UINT32_MAX.
std::uint64_t OutputBytes(std::uint64_t inputBytes, std::uint32_t inputFrameBytes,
                          const TFrameLayout& input, const TFrameLayout& output);

// The bytes of the whole frames of frameBytes in bytes (all of them for
// frames of 0 bytes).
std::uint64_t WholeFrameBytes(std::uint64_t bytes, std::uint32_t frameBytes);

// The output's header image before its chunks are laid out: the input's
// format fields (float ones for a float output, its data size the output's),
// "RIFF", a 16-byte fmt size and the byte rate of rate and block align.
THeaderImage OutputHeader(const THeaderImage& input, const TOutputShape& shape);

// The input's own fmt body made to describe the output header's float
// samples: an EXTENSIBLE one keeps its channel mask and takes the float
// sub-format; extra bytes stay.
std::vector<std::uint8_t> FloatFmtBody(std::vector<std::uint8_t> body, const THeaderImage& output);

// The line a bext chunk's CodingHistory gets: what decoded the input at
// which levels (levels: "reference level -10.0 dB", or a history of them),
// a debug output's band, a conversion to float and a continued decode.
std::string DecodeCodingHistoryLine(const THeaderImage& input, const TOutputShape& shape,
                                    std::string_view levels);

// How the chunks of an input with header input and fmt body fmtBody are laid
// out around the samples, the CodingHistory appended.
TOutputPlan OutputPlanOf(const THeaderImage& input, const std::vector<std::uint8_t>& fmtBody,
                         const TOutputShape& shape, std::string codingHistoryLine);

// The header's data size field once dataBytes were written (0xFFFFFFFF
// past it: the 64-bit size stands in the ds64 chunk).
std::uint32_t DataSizeField(std::uint64_t dataBytes);

}  // namespace zorv
