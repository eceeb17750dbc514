// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/output_shape.h"

#include <gtest/gtest.h>

#include "wav/little_endian.h"

namespace zorv {
namespace {

THeaderImage Header(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                    std::uint16_t bits, std::uint32_t dataBytes) {
  THeaderImage header;
  header.SetId(THeaderImage::kRiffId, "RF64");
  header.SetFmtSize(40);
  header.SetFormatTag(tag);
  header.SetChannels(channels);
  header.SetSampleRate(rate);
  header.SetByteRate(12345);  // wrong: the output states its own
  header.SetBlockAlign(static_cast<std::uint16_t>(channels * bits / 8));
  header.SetBitsPerSample(bits);
  header.SetDataSize(dataBytes);
  return header;
}

// 24-bit stereo whose data ends in part of a frame: float output states the
// whole frames as floats; the input's format stays otherwise. Either way
// plain RIFF ids, a 16-byte fmt size and the byte rate of rate x align.
TEST(OutputShape, HeaderOfFloatAndOfTheInputsFormat) {
  const THeaderImage in = Header(kFormatPcm, 2, 48000, 24, 100 * 6 + 2);
  const THeaderImage asFloat = OutputHeader(in, {.Float = true});
  EXPECT_TRUE(asFloat.IdIs(THeaderImage::kRiffId, "RIFF"));
  EXPECT_EQ(asFloat.FmtSize(), 16u);
  EXPECT_EQ(asFloat.FormatTag(), kFormatIeeeFloat);
  EXPECT_EQ(asFloat.BitsPerSample(), 32);
  EXPECT_EQ(asFloat.BlockAlign(), 8);
  EXPECT_EQ(asFloat.ByteRate(), 48000u * 8);
  EXPECT_EQ(asFloat.DataSize(), 100u * 8) << "the partial frame has no float counterpart";
  EXPECT_EQ(asFloat.Channels(), 2);
  EXPECT_EQ(asFloat.SampleRate(), 48000u);

  const THeaderImage same = OutputHeader(in, {});
  EXPECT_TRUE(same.IdIs(THeaderImage::kRiffId, "RIFF"));
  EXPECT_EQ(same.FormatTag(), kFormatPcm);
  EXPECT_EQ(same.BlockAlign(), 6);
  EXPECT_EQ(same.ByteRate(), 48000u * 6);
  EXPECT_EQ(same.DataSize(), in.DataSize());
  // Float input made float: nothing to convert, the partial frame stays.
  const THeaderImage floats = Header(kFormatIeeeFloat, 1, 44100, 32, 4 * 7 + 3);
  EXPECT_EQ(OutputHeader(floats, {.Float = true}).DataSize(), floats.DataSize());
}

// An EXTENSIBLE body keeps its channel mask and the GUID's tail and takes
// the float sub-format; a plain body keeps the bytes behind the fields.
TEST(OutputShape, FloatFmtBodyKeepsWhatIsNotFormat) {
  const THeaderImage out = OutputHeader(Header(kFormatPcm, 2, 96000, 24, 0), {.Float = true});
  std::vector<std::uint8_t> extensible(40 + 2, 0x5A);
  SetLe16(extensible.data(), kFormatExtensible);
  SetLe16(extensible.data() + 16, 22);
  SetLe32(extensible.data() + 20, 0x3);  // front left and right
  SetLe16(extensible.data() + 24, kFormatPcm);
  const std::vector<std::uint8_t> body = FloatFmtBody(extensible, out);
  ASSERT_EQ(body.size(), extensible.size());
  EXPECT_EQ(GetLe16(body.data()), kFormatExtensible);
  EXPECT_EQ(GetLe16(body.data() + 2), 2);
  EXPECT_EQ(GetLe32(body.data() + 4), 96000u);
  EXPECT_EQ(GetLe32(body.data() + 8), 96000u * 8);
  EXPECT_EQ(GetLe16(body.data() + 12), 8);
  EXPECT_EQ(GetLe16(body.data() + 14), 32);
  EXPECT_EQ(GetLe16(body.data() + 18), 32) << "valid bits";
  EXPECT_EQ(GetLe32(body.data() + 20), 0x3u) << "channel mask";
  EXPECT_EQ(GetLe16(body.data() + 24), kFormatIeeeFloat);
  EXPECT_EQ(std::vector<std::uint8_t>(body.begin() + 26, body.end()),
            std::vector<std::uint8_t>(extensible.begin() + 26, extensible.end()));

  std::vector<std::uint8_t> plain(18, 0x77);
  const std::vector<std::uint8_t> made = FloatFmtBody(plain, out);
  EXPECT_EQ(GetLe16(made.data()), kFormatIeeeFloat);
  EXPECT_EQ(std::vector<std::uint8_t>(made.begin(), made.begin() + 16),
            std::vector<std::uint8_t>(out.Bytes.begin() + THeaderImage::kFormatTag,
                                      out.Bytes.begin() + THeaderImage::kDataId));
  EXPECT_EQ(made[16], 0x77);
  EXPECT_EQ(made[17], 0x77);
}

// The line names the output's word length, a debug output's band and a
// conversion to float only when there was one; the plan adds a fact chunk
// then, and a canonical float output its 16 bytes of format fields.
TEST(OutputShape, CodingHistoryLineAndPlanFollowTheConversion) {
  const THeaderImage ints = Header(kFormatPcm, 2, 44100, 16, 400);
  const THeaderImage floats = Header(kFormatIeeeFloat, 2, 44100, 32, 400);
  const std::string made =
      DecodeCodingHistoryLine(ints, {.Float = true, .DebugBand = 3}, "reference level -12.5 dB");
  EXPECT_NE(made.find("F=44100,W=32,M=stereo,T="), std::string::npos) << made;
  EXPECT_TRUE(
      made.ends_with("decode;reference level -12.5 dB;channel 2 is the control signal of band C;"
                     "converted to 32-bit float\r\n"))
      << made;
  const std::string kept = DecodeCodingHistoryLine(floats, {.Float = true}, "x");
  EXPECT_TRUE(kept.ends_with("decode;x\r\n")) << kept;
  EXPECT_NE(DecodeCodingHistoryLine(ints, {}, "x").find(",W=16,"), std::string::npos);
  const std::string continued = DecodeCodingHistoryLine(ints, {.Continued = true}, "x");
  EXPECT_TRUE(continued.ends_with("decode;x;continued from the previous part\r\n")) << continued;

  EXPECT_TRUE(OutputPlanOf(ints, std::vector<std::uint8_t>(16), {.Float = true}, "").Fact);
  EXPECT_FALSE(OutputPlanOf(floats, std::vector<std::uint8_t>(16), {.Float = true}, "").Fact);
  EXPECT_TRUE(OutputPlanOf(ints, std::vector<std::uint8_t>(16), {}, "").FmtBody.empty());
  const TOutputPlan canonical =
      OutputPlanOf(ints, std::vector<std::uint8_t>(40), {.Float = true, .Canonical = true}, "l");
  EXPECT_EQ(canonical.FmtBody.size(), 16u);
  EXPECT_EQ(GetLe16(canonical.FmtBody.data()), kFormatIeeeFloat);
  EXPECT_EQ(canonical.CodingHistoryLine, "l");
}

// What a write that failed midway leaves: whole frames, and a header field
// that cannot state more than 4 GiB.
TEST(OutputShape, WholeFramesAndTheDataSizeField) {
  EXPECT_EQ(WholeFrameBytes(6 * 1000 + 5, 6), 6u * 1000);
  EXPECT_EQ(WholeFrameBytes(17, 0), 17u);
  EXPECT_EQ(DataSizeField(0xFFFFFFFEu), 0xFFFFFFFEu);
  EXPECT_EQ(DataSizeField(0x100000000u + 8), 0xFFFFFFFFu);
  const TFrameLayout in{TSampleFormat::Int16, 64};
  EXPECT_EQ(OutputBytes(0xFFFFFF00u, 128, in, OutputFrameLayout(in, {.Float = true})), UINT32_MAX);
}

}  // namespace
}  // namespace zorv
