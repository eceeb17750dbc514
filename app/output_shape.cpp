// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/output_shape.h"

#include <algorithm>
#include <cstdint>

#include "app/continuation.h"
#include "wav/coding_history.h"
#include "wav/little_endian.h"
#include "zorv_version.h"

namespace zorv {
namespace {

constexpr std::uint32_t kFmtBodyBytes = 16;

bool FromInteger(const THeaderImage& input, const TOutputShape& shape) {
  return shape.Float && input.FormatTag() != kFormatIeeeFloat;
}

}  // namespace

TFrameLayout OutputFrameLayout(const TFrameLayout& input, const TOutputShape& shape) {
  return shape.Float ? TFrameLayout{TSampleFormat::Float32, input.Channels} : input;
}

std::uint64_t OutputBytes(std::uint64_t inputBytes, std::uint32_t inputFrameBytes,
                          const TFrameLayout& input, const TFrameLayout& output) {
  if (output == input || inputFrameBytes == 0)
    return std::min<std::uint64_t>(inputBytes, UINT32_MAX);
  const std::uint64_t bytes = inputBytes / inputFrameBytes * output.BytesPerFrame();
  return std::min<std::uint64_t>(bytes, UINT32_MAX);
}

std::uint64_t WholeFrameBytes(std::uint64_t bytes, std::uint32_t frameBytes) {
  return frameBytes == 0 ? bytes : bytes - bytes % frameBytes;
}

THeaderImage OutputHeader(const THeaderImage& input, const TOutputShape& shape) {
  THeaderImage header = input;
  if (shape.Float) {
    const std::uint32_t inputFrameBytes = header.BlockAlign();
    const TFrameLayout layout =
        FrameLayoutOf(inputFrameBytes, header.Channels(), header.FormatTag());
    header.SetFormatTag(kFormatIeeeFloat);
    header.SetBitsPerSample(32);
    header.SetBlockAlign(static_cast<std::uint16_t>(header.Channels() * 4));
    header.SetDataSize(static_cast<std::uint32_t>(
        OutputBytes(input.DataSize(), inputFrameBytes, layout, OutputFrameLayout(layout, shape))));
  }
  header.SetId(THeaderImage::kRiffId, "RIFF");
  header.SetFmtSize(kFmtBodyBytes);
  header.SetByteRate(header.SampleRate() * header.BlockAlign());
  return header;
}

std::vector<std::uint8_t> FloatFmtBody(std::vector<std::uint8_t> body, const THeaderImage& output) {
  constexpr std::size_t kValidBits = 18, kSubFormat = 24, kExtensibleBytes = 40;
  const bool extensible =
      body.size() >= kExtensibleBytes && GetLe16(body.data()) == kFormatExtensible;
  body.resize(std::max<std::size_t>(body.size(), kFmtBodyBytes));
  std::copy(output.Bytes.begin() + THeaderImage::kFormatTag,
            output.Bytes.begin() + THeaderImage::kDataId, body.begin());
  if (extensible) {
    SetLe16(body.data(), kFormatExtensible);
    SetLe16(body.data() + kValidBits, 32);
    SetLe16(body.data() + kSubFormat, kFormatIeeeFloat);
  }
  return body;
}

std::string DecodeCodingHistoryLine(const THeaderImage& input, const TOutputShape& shape,
                                    std::string_view levels) {
  std::string what = std::string("Zorv Audio Decoder ") + ZORV_VERSION_TEXT + " decode;";
  what += levels;
  if (shape.DebugBand >= 1 && shape.DebugBand <= 4) {
    what += ";channel 2 is the control signal of band ";
    what += static_cast<char>('A' + shape.DebugBand - 1);
  }
  // The line describes the output: one made float has 32-bit words, and
  // the conversion is a step of its own.
  if (FromInteger(input, shape)) what += ";converted to 32-bit float";
  // Its samples are those of the tape decoded on from the part before: not
  // what this file decoded alone gives.
  if (shape.Continued) what += ";" + std::string(kContinuedHistory);
  return CodingHistoryLine(input.SampleRate(), shape.Float ? 32 : input.BitsPerSample(),
                           input.Channels(), what);
}

TOutputPlan OutputPlanOf(const THeaderImage& input, const std::vector<std::uint8_t>& fmtBody,
                         const TOutputShape& shape, std::string codingHistoryLine) {
  TOutputPlan plan;
  plan.Canonical = shape.Canonical;
  if (shape.Float) {
    const THeaderImage header = OutputHeader(input, shape);
    plan.FmtBody = shape.Canonical
                       ? std::vector<std::uint8_t>(header.Bytes.begin() + THeaderImage::kFormatTag,
                                                   header.Bytes.begin() + THeaderImage::kDataId)
                       : FloatFmtBody(fmtBody, header);
  }
  plan.CodingHistoryLine = std::move(codingHistoryLine);
  plan.MaxRiffSize = shape.MaxRiffSize;
  // Float samples made from integer ones: a fact chunk, as float files have.
  plan.Fact = FromInteger(input, shape);
  return plan;
}

std::uint32_t DataSizeField(std::uint64_t dataBytes) {
  return dataBytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(dataBytes);
}

}  // namespace zorv
