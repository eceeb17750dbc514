// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/sample_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace zorv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using L = TSampleLayout;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
// A value left in a buffer that a conversion must not touch.
constexpr double kUntouched = 42.0;

struct SplitCase {
  const char* name;
  L layout;
  Bytes frame;
  double left;
  double right;  // kUntouched for the one-channel layouts
};
void PrintTo(const SplitCase& c, std::ostream* os) {
  *os << c.name;
}

class SplitEdges : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitEdges, GivesTheExactDouble) {
  const SplitCase& c = GetParam();
  double left = kUntouched;
  double right = kUntouched;
  SplitBlock(c.frame.data(), static_cast<std::uint32_t>(c.frame.size()), c.layout, &left, &right);
  EXPECT_EQ(left, c.left);
  EXPECT_EQ(right, c.right);
}

INSTANTIATE_TEST_SUITE_P(
    EveryLayout, SplitEdges,
    ::testing::Values(
        SplitCase{"Int16FullNegative", L::Int16Mono, {0x00, 0x80}, -1.0, kUntouched},
        SplitCase{"Int16FullPositive", L::Int16Mono, {0xFF, 0x7F}, 32767.0 / 32768, kUntouched},
        SplitCase{"Int16MinusOne", L::Int16Mono, {0xFF, 0xFF}, -1.0 / 32768, kUntouched},
        SplitCase{"Int24FullNegative", L::Int24Mono, {0x00, 0x00, 0x80}, -1.0, kUntouched},
        SplitCase{
            "Int24FullPositive", L::Int24Mono, {0xFF, 0xFF, 0x7F}, 8388607.0 / 8388608, kUntouched},
        // 2147483647 has no single-precision value of its own: it rounds to 2^31.
        SplitCase{"Int32FullPositiveRoundsToOne",
                  L::Int32Mono,
                  {0xFF, 0xFF, 0xFF, 0x7F},
                  1.0,
                  kUntouched},
        SplitCase{
            "Int32One", L::Int32Mono, {0x01, 0x00, 0x00, 0x00}, std::ldexp(1.0, -31), kUntouched},
        SplitCase{"Int32FullNegative", L::Int32Mono, {0x00, 0x00, 0x00, 0x80}, -1.0, kUntouched},
        // 2^24 + 1 lies halfway between two single-precision values: ties to even.
        SplitCase{"Int32TieToEven",
                  L::Int32Mono,
                  {0x01, 0x00, 0x00, 0x01},
                  std::ldexp(1.0, -7),
                  kUntouched},
        SplitCase{"Float32OnePointFive", L::Float32Mono, {0x00, 0x00, 0xC0, 0x3F}, 1.5, kUntouched},
        SplitCase{
            "Float32BeyondFullScale", L::Float32Mono, {0x00, 0x00, 0x00, 0xC0}, -2.0, kUntouched},
        SplitCase{
            "Int16Stereo", L::Int16Stereo, {0x01, 0x00, 0xFF, 0xFF}, 1.0 / 32768, -1.0 / 32768},
        SplitCase{"Int24Stereo",
                  L::Int24Stereo,
                  {0x00, 0x00, 0x80, 0x01, 0x00, 0x00},
                  -1.0,
                  1.0 / 8388608},
        SplitCase{"Float32Stereo",
                  L::Float32Stereo,
                  {0x00, 0x00, 0xC0, 0x3F, 0x00, 0x00, 0x00, 0xBF},
                  1.5,
                  -0.5},
        SplitCase{"Int32Stereo",
                  L::Int32Stereo,
                  {0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x7F},
                  std::ldexp(1.0, -31),
                  1.0}),
    [](const auto& info) { return std::string(info.param.name); });

struct MergeCase {
  const char* name;
  L layout;
  double left;
  double right;
  Bytes frame;
};
void PrintTo(const MergeCase& c, std::ostream* os) {
  *os << c.name;
}

class MergeEdges : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeEdges, GivesTheExactBytes) {
  const MergeCase& c = GetParam();
  Bytes block(c.frame.size() + 1, 0xEE);
  MergeBlock(&c.left, &c.right, static_cast<std::uint32_t>(c.frame.size()), c.layout, block.data());
  EXPECT_EQ(Bytes(block.begin(), block.end() - 1), c.frame);
  EXPECT_EQ(block.back(), 0xEE) << "wrote past the frame";
}

INSTANTIATE_TEST_SUITE_P(
    EveryLayout, MergeEdges,
    ::testing::Values(
        MergeCase{"Int16FullNegative", L::Int16Mono, -1.0, kNaN, {0x00, 0x80}},
        MergeCase{"Int16FullPositive", L::Int16Mono, 1.0, kNaN, {0xFF, 0x7F}},
        MergeCase{"Int16ClipsHigh", L::Int16Mono, 1.5, kNaN, {0xFF, 0x7F}},
        MergeCase{"Int16ClipsLow", L::Int16Mono, -1.5, kNaN, {0x00, 0x80}},
        MergeCase{"Int16TruncatesUp", L::Int16Mono, 100.9 / 32768, kNaN, {0x64, 0x00}},
        MergeCase{"Int16TruncatesTowardZero", L::Int16Mono, -100.9 / 32768, kNaN, {0x9C, 0xFF}},
        MergeCase{"Int16SmallNegativeIsZero", L::Int16Mono, -0.9 / 32768, kNaN, {0x00, 0x00}},
        MergeCase{"Int16NaNIsZero", L::Int16Mono, kNaN, kNaN, {0x00, 0x00}},
        MergeCase{"Int16InfinityClips", L::Int16Mono, kInf, kNaN, {0xFF, 0x7F}},
        MergeCase{"Int16HugeNegativeClips", L::Int16Mono, -1e300, kNaN, {0x00, 0x80}},
        MergeCase{"Int24FullPositive", L::Int24Mono, 1.0, kNaN, {0xFF, 0xFF, 0x7F}},
        MergeCase{"Int24FullNegative", L::Int24Mono, -1.0, kNaN, {0x00, 0x00, 0x80}},
        // Rounded to single precision first (steps of half an LSB here):
        // 4194304.8 becomes 4194305, where plain truncation would give 4194304.
        MergeCase{"Int24RoundsToSingleFirst",
                  L::Int24Mono,
                  4194304.8 / 8388608,
                  kNaN,
                  {0x01, 0x00, 0x40}},
        MergeCase{"Int32FullPositive", L::Int32Mono, 1.0, kNaN, {0xFF, 0xFF, 0xFF, 0x7F}},
        MergeCase{"Int32FullNegative", L::Int32Mono, -1.0, kNaN, {0x00, 0x00, 0x00, 0x80}},
        // (2^24 + 1) / 2^31 rounds to 2^24 / 2^31 in single precision.
        MergeCase{"Int32RoundsToSingleFirst",
                  L::Int32Mono,
                  (std::ldexp(1.0, 24) + 1) / std::ldexp(1.0, 31),
                  kNaN,
                  {0x00, 0x00, 0x00, 0x01}},
        MergeCase{"Int32BeyondInt64Clips", L::Int32Mono, 1e19, kNaN, {0xFF, 0xFF, 0xFF, 0x7F}},
        MergeCase{"Float32OnePointFive", L::Float32Mono, 1.5, kNaN, {0x00, 0x00, 0xC0, 0x3F}},
        MergeCase{"Float32NoClipping", L::Float32Mono, 2.0, kNaN, {0x00, 0x00, 0x00, 0x40}},
        // Nothing written is infinite or not a number.
        MergeCase{"Float32NaNIsZero", L::Float32Mono, kNaN, kNaN, {0x00, 0x00, 0x00, 0x00}},
        MergeCase{"Float32InfinityIsLargest", L::Float32Mono, kInf, kNaN, {0xFF, 0xFF, 0x7F, 0x7F}},
        MergeCase{
            "Float32BeyondRangeIsLargest", L::Float32Mono, -1e39, kNaN, {0xFF, 0xFF, 0x7F, 0xFF}},
        MergeCase{"Float32LargestStays",
                  L::Float32Mono,
                  3.4028234663852886e38,
                  kNaN,
                  {0xFF, 0xFF, 0x7F, 0x7F}},
        MergeCase{"Float32TieToEven",
                  L::Float32Mono,
                  1.0 + std::ldexp(1.0, -24),
                  kNaN,
                  {0x00, 0x00, 0x80, 0x3F}},
        MergeCase{"Float32RoundsToNearest",
                  L::Float32Mono,
                  1.0 + 3 * std::ldexp(1.0, -25),
                  kNaN,
                  {0x01, 0x00, 0x80, 0x3F}},
        MergeCase{
            "Int16Stereo", L::Int16Stereo, 1.0 / 32768, -1.0 / 32768, {0x01, 0x00, 0xFF, 0xFF}},
        MergeCase{"Int24Stereo", L::Int24Stereo, -1.0, 1.0, {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F}},
        MergeCase{"Float32Stereo",
                  L::Float32Stereo,
                  -0.5,
                  1.5,
                  {0x00, 0x00, 0x00, 0xBF, 0x00, 0x00, 0xC0, 0x3F}},
        MergeCase{"Int32Stereo",
                  L::Int32Stereo,
                  -1.0,
                  1.0,
                  {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClipSample, TruncatesTowardZeroThenClamps) {
  struct Case {
    double scaled;
    std::int64_t limit;
    std::int32_t expected;
  };
  const std::int64_t k31 = std::int64_t{1} << 31;
  const Case cases[] = {
      {100.9, 32768, 100},
      {-100.9, 32768, -100},
      {-0.5, 32768, 0},
      {32767.9, 32768, 32767},
      {32768.0, 32768, 32767},
      {-32768.0, 32768, -32768},
      {-32768.9, 32768, -32768},
      {-32769.0, 32768, -32768},
      {-40000.0, 32768, -32768},
      {8388607.5, 8388608, 8388607},
      {-8388609.5, 8388608, -8388608},
      {2147483647.5, k31, 2147483647},
      {-2147483648.5, k31, -2147483647 - 1},
      {kNaN, 32768, 0},
      {kInf, k31, 2147483647},
      {-kInf, 32768, -32768},
      {1e19, 32768, 32767},
      {-1e19, k31, -2147483647 - 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClipSample(c.scaled, c.limit), c.expected) << c.scaled << " limit " << c.limit;
  }
}

TEST(SelectLayout, FollowsTheFrameSizeThenChannelsThenTag) {
  struct Case {
    std::uint32_t bytes, channels, tag;
    L expected;
  };
  const Case cases[] = {
      {2, 1, 1, L::Int16Mono},   {3, 1, 1, L::Int24Mono},     {4, 1, 3, L::Float32Mono},
      {4, 1, 1, L::Int32Mono},   {4, 2, 1, L::Int16Stereo},   {4, 2, 3, L::Int16Stereo},
      {6, 2, 1, L::Int24Stereo}, {8, 2, 3, L::Float32Stereo}, {8, 2, 1, L::Int32Stereo},
      {1, 1, 1, L::None},        {5, 2, 1, L::None},          {0, 0, 0, L::None},
      {12, 2, 1, L::None},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SelectLayout(c.bytes, c.channels, c.tag), c.expected)
        << c.bytes << " bytes, " << c.channels << " ch, tag " << c.tag;
  }
}

TEST(SplitBlock, DeinterleavesEveryFrameInOrder) {
  const Bytes block = {0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00};
  double left[3] = {};
  double right[3] = {};
  SplitBlock(block.data(), 12, L::Int16Stereo, left, right);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(left[i], (2 * i + 1) / 32768.0) << i;
    EXPECT_EQ(right[i], (2 * i + 2) / 32768.0) << i;
  }
}

TEST(SplitBlock, ReadsATrailingPartialFrameWhole) {
  // One and a half frames: the missing half comes from what the buffer held.
  const Bytes block = {0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00};
  double left[3] = {kUntouched, kUntouched, kUntouched};
  double right[3] = {kUntouched, kUntouched, kUntouched};
  SplitBlock(block.data(), 6, L::Int16Stereo, left, right);
  EXPECT_EQ(left[1], 3 / 32768.0);
  EXPECT_EQ(right[1], 4 / 32768.0);
  EXPECT_EQ(left[2], kUntouched);
}

// 24-bit samples over many frames, at the ends of the range and between,
// in a buffer that ends where the block does (a read past its last byte is
// an error under AddressSanitizer): each sample its two's complement over
// 2^23, whole frames and a trailing partial one, all channels and a range.
TEST(SplitBlock, Reads24BitSamplesToTheLastByte) {
  const std::int32_t edges[] = {0, 1, -1, 0x7FFFFF, -0x800000, 0x123456, -0x654321, 0x800, -0x80};
  for (const std::uint32_t channels : {1u, 2u, 5u}) {
    const TFrameLayout layout{TSampleFormat::Int24, channels};
    for (const std::uint32_t frames : {1u, 2u, 37u}) {
      Bytes whole;
      std::vector<std::vector<double>> expected(channels);
      for (std::uint32_t i = 0; i < frames; ++i) {
        for (std::uint32_t c = 0; c < channels; ++c) {
          const std::int32_t v = edges[(i * channels + c) % std::size(edges)];
          for (int b = 0; b < 3; ++b) whole.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
          expected[c].push_back(v / 8388608.0);
        }
      }
      // The block as read, and as read short by one byte (the last frame
      // then partial, read whole from the buffer's bytes).
      for (const std::uint32_t cut : {0u, 1u}) {
        const Bytes block(whole.begin(), whole.end());
        const auto len = static_cast<std::uint32_t>(block.size()) - cut;
        std::vector<std::vector<double>> got(channels, std::vector<double>(frames, kUntouched));
        std::vector<double*> out;
        for (auto& channel : got) out.push_back(channel.data());
        SplitBlock(block.data(), len, layout, out.data());
        EXPECT_EQ(got, expected) << channels << " channels, " << frames << " frames";
        if (channels > 2) {
          std::vector<std::vector<double>> part(channels, std::vector<double>(frames, kUntouched));
          std::vector<double*> partOut;
          for (auto& channel : part) partOut.push_back(channel.data());
          SplitChannels(block.data(), len, layout, 1, channels - 1, partOut.data());
          for (std::uint32_t c = 1; c < channels; ++c) EXPECT_EQ(part[c], expected[c]) << c;
        }
      }
    }
  }
}

TEST(MergeBlock, WritesATrailingPartialFrameWhole) {
  const double left[2] = {1 / 32768.0, 3 / 32768.0};
  const double right[2] = {2 / 32768.0, 4 / 32768.0};
  Bytes block(9, 0xEE);
  MergeBlock(left, right, 6, L::Int16Stereo, block.data());
  EXPECT_EQ(block, (Bytes{0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0xEE}));
}

TEST(Conversion, MonoLayoutsLeaveTheRightChannelAlone) {
  // 12 bytes: whole frames of every mono width.
  const Bytes block(12, 0x10);
  for (const L layout : {L::Int16Mono, L::Int24Mono, L::Float32Mono, L::Int32Mono}) {
    double left[6] = {};
    double right[6];
    std::fill(std::begin(right), std::end(right), kUntouched);
    SplitBlock(block.data(), 12, layout, left, right);
    for (const double r : right) EXPECT_EQ(r, kUntouched) << static_cast<int>(layout);

    // Without a right buffer at all, and with garbage in one: same bytes.
    const double out[6] = {0.25, -0.25, 0.5, -0.5, 0.125, -0.125};
    const double garbage[6] = {kNaN, kInf, 7.0, -7.0, kNaN, -kInf};
    Bytes withoutRight(12), withGarbage(12);
    MergeBlock(out, nullptr, 12, layout, withoutRight.data());
    MergeBlock(out, garbage, 12, layout, withGarbage.data());
    EXPECT_EQ(withoutRight, withGarbage) << static_cast<int>(layout);
  }
}

TEST(Conversion, ConvertsNothingWithoutDataOrAUsableLayout) {
  const Bytes block = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  double left[2] = {kUntouched, kUntouched};
  double right[2] = {kUntouched, kUntouched};
  SplitBlock(block.data(), 0, L::Int16Stereo, left, right);
  SplitBlock(block.data(), 8, L::None, left, right);
  SplitBlock(block.data(), 8, L::Int16Stereo, left, nullptr);  // stereo needs both
  EXPECT_EQ(left[0], kUntouched);
  EXPECT_EQ(right[0], kUntouched);

  Bytes out(8, 0xEE);
  MergeBlock(left, right, 0, L::Int16Stereo, out.data());
  MergeBlock(left, right, 8, L::None, out.data());
  MergeBlock(left, nullptr, 8, L::Int16Stereo, out.data());
  EXPECT_EQ(out, Bytes(8, 0xEE));
}

TEST(Conversion, EverySixteenBitValueSurvivesTheRoundTrip) {
  Bytes in(65536 * 2);
  for (std::uint32_t v = 0; v < 65536; ++v) {
    in[2 * v] = static_cast<std::uint8_t>(v);
    in[2 * v + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  std::vector<double> samples(65536);
  SplitBlock(in.data(), static_cast<std::uint32_t>(in.size()), L::Int16Mono, samples.data(),
             nullptr);
  Bytes out(in.size());
  MergeBlock(samples.data(), nullptr, static_cast<std::uint32_t>(out.size()), L::Int16Mono,
             out.data());
  EXPECT_EQ(out, in);
}

// Frames of many channels: the formats, the order within a frame, the
// layouts of one and two channels kept as the table has them.
TEST(FrameLayoutOf, DividesWideFramesIntoSamplesAndKeepsTheNarrowTable) {
  using F = TSampleFormat;
  struct Case {
    std::uint32_t bytes, channels, tag;
    TFrameLayout expected;
  };
  const Case cases[] = {
      {6, 3, 1, {F::Int16, 3}},
      {9, 3, 1, {F::Int24, 3}},
      {12, 3, 1, {F::Int32, 3}},
      {12, 3, 3, {F::Float32, 3}},
      {48, 24, 1, {F::Int16, 24}},
      {256, 64, 3, {F::Float32, 64}},
      {192, 64, 1, {F::Int24, 64}},
      {7, 3, 1, {}},
      {24, 3, 1, {}},
      {3, 3, 1, {}},
      {4, 2, 3, {F::Int16, 2}},
      {2, 2, 1, {F::Int16, 1}},
      {8, 2, 3, {F::Float32, 2}},
      {4, 1, 1, {F::Int32, 1}},
      {10, 2, 1, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FrameLayoutOf(c.bytes, c.channels, c.tag), c.expected)
        << c.bytes << " bytes, " << c.channels << " ch, tag " << c.tag;
  }
  for (const L layout : {L::Int16Mono, L::Int24Mono, L::Float32Mono, L::Int32Mono, L::Int16Stereo,
                         L::Int24Stereo, L::Float32Stereo, L::Int32Stereo}) {
    EXPECT_EQ(FrameLayoutOf(layout).BytesPerFrame(), BytesPerFrameOf(layout));
    EXPECT_EQ(FrameLayoutOf(layout).Channels, IsStereo(layout) ? 2u : 1u);
  }
}

// A little-endian sample of the format whose value identifies its frame and
// channel, and the double it stands for.
struct TTagged {
  Bytes bytes;
  double value;
};
TTagged Tagged(TSampleFormat format, std::uint32_t frame, std::uint32_t channel) {
  const auto v = static_cast<std::int32_t>((frame * 67 + channel + 1) * (channel % 2 ? -1 : 1));
  const auto put = [](std::uint32_t bits, int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    return b;
  };
  switch (format) {
    case TSampleFormat::Int16:
      return {put(static_cast<std::uint32_t>(v), 2), v / 32768.0};
    case TSampleFormat::Int24:
      return {put(static_cast<std::uint32_t>(v * 97), 3), v * 97 / 8388608.0};
    case TSampleFormat::Int32:
      return {put(static_cast<std::uint32_t>(v * 4096), 4), v * 4096 / 2147483648.0};
    case TSampleFormat::Float32: {
      const float f = static_cast<float>(v) / 1024.0f;
      std::uint32_t bits;
      std::memcpy(&bits, &f, sizeof bits);
      return {put(bits, 4), static_cast<double>(f)};
    }
    case TSampleFormat::None:
      break;
  }
  return {};
}

TEST(ManyChannelConversion, EveryChannelOfEveryFrameInEveryFormat) {
  for (const TSampleFormat format :
       {TSampleFormat::Int16, TSampleFormat::Int24, TSampleFormat::Int32, TSampleFormat::Float32}) {
    for (const std::uint32_t channels : {1u, 2u, 3u, 6u, 24u, 64u}) {
      const TFrameLayout layout{format, channels};
      constexpr std::uint32_t kFrames = 5;
      Bytes block;
      std::vector<std::vector<double>> expected(channels);
      for (std::uint32_t i = 0; i < kFrames; ++i) {
        for (std::uint32_t c = 0; c < channels; ++c) {
          const TTagged t = Tagged(format, i, c);
          block.insert(block.end(), t.bytes.begin(), t.bytes.end());
          expected[c].push_back(t.value);
        }
      }
      std::vector<std::vector<double>> got(channels, std::vector<double>(kFrames, kUntouched));
      std::vector<double*> split;
      for (auto& channel : got) split.push_back(channel.data());
      SplitBlock(block.data(), static_cast<std::uint32_t>(block.size()), layout, split.data());
      ASSERT_EQ(got, expected) << static_cast<int>(format) << ", " << channels << " channels";

      // And back: the very bytes.
      std::vector<const double*> merge;
      for (const auto& channel : got) merge.push_back(channel.data());
      Bytes out(block.size(), 0xEE);
      MergeBlock(merge.data(), static_cast<std::uint32_t>(out.size()), layout, out.data());
      EXPECT_EQ(out, block) << static_cast<int>(format) << ", " << channels << " channels";
    }
  }
}

TEST(ManyChannelConversion, ATrailingPartialFrameIsHandledWholeAndNothingBeyond) {
  const TFrameLayout layout{TSampleFormat::Int24, 3};
  Bytes block(3 * 9, 0x00);
  for (std::size_t k = 0; k < block.size(); k += 3) block[k] = static_cast<std::uint8_t>(k / 3 + 1);
  // Frame 0 whole, frame 1 cut after its first sample.
  std::vector<double> a(3, kUntouched), b(3, kUntouched), c(3, kUntouched);
  double* split[3] = {a.data(), b.data(), c.data()};
  SplitBlock(block.data(), 12, layout, split);
  EXPECT_EQ(a[1], 4 / 8388608.0);
  EXPECT_EQ(c[1], 6 / 8388608.0) << "read from what the buffer held";
  EXPECT_EQ(a[2], kUntouched);

  const double* merge[3] = {a.data(), b.data(), c.data()};
  Bytes out(27, 0xEE);
  MergeBlock(merge, 12, layout, out.data());
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 18), Bytes(block.begin(), block.begin() + 18));
  EXPECT_EQ(out[18], 0xEE);
}

// A range of channels is split as the whole frame splits them, and no other
// channel is touched; a range beyond the frame converts nothing.
TEST(ManyChannelConversion, ARangeOfChannelsSplitsThoseAlone) {
  for (const TSampleFormat format :
       {TSampleFormat::Int16, TSampleFormat::Int24, TSampleFormat::Int32, TSampleFormat::Float32}) {
    for (const std::uint32_t channels : {2u, 5u, 24u}) {
      const TFrameLayout layout{format, channels};
      constexpr std::uint32_t kFrames = 4;
      Bytes block;
      for (std::uint32_t i = 0; i < kFrames; ++i) {
        for (std::uint32_t c = 0; c < channels; ++c) {
          const Bytes b = Tagged(format, i, c).bytes;
          block.insert(block.end(), b.begin(), b.end());
        }
      }
      const auto len = static_cast<std::uint32_t>(block.size());
      std::vector<std::vector<double>> whole(channels, std::vector<double>(kFrames));
      std::vector<double*> wholeOut;
      for (auto& channel : whole) wholeOut.push_back(channel.data());
      SplitBlock(block.data(), len, layout, wholeOut.data());
      for (std::uint32_t first = 0; first < channels; ++first) {
        for (std::uint32_t count = 1; first + count <= channels; ++count) {
          std::vector<std::vector<double>> got(channels, std::vector<double>(kFrames, kUntouched));
          std::vector<double*> out;
          for (auto& channel : got) out.push_back(channel.data());
          SplitChannels(block.data(), len, layout, first, count, out.data());
          for (std::uint32_t c = 0; c < channels; ++c) {
            const bool inRange = c >= first && c < first + count;
            ASSERT_EQ(got[c], inRange ? whole[c] : std::vector<double>(kFrames, kUntouched))
                << static_cast<int>(format) << ", channels " << first << " + " << count << " of "
                << channels << ", channel " << c;
          }
        }
      }
      std::vector<std::vector<double>> got(channels, std::vector<double>(kFrames, kUntouched));
      std::vector<double*> out;
      for (auto& channel : got) out.push_back(channel.data());
      SplitChannels(block.data(), len, layout, channels - 1, 2, out.data());
      SplitChannels(block.data(), len, layout, channels, 1, out.data());
      EXPECT_EQ(got, std::vector<std::vector<double>>(channels,
                                                      std::vector<double>(kFrames, kUntouched)));
    }
  }
}

TEST(ManyChannelConversion, AMissingChannelBufferConvertsNothing) {
  const TFrameLayout layout{TSampleFormat::Int16, 3};
  const Bytes block(12, 0x11);
  std::vector<double> a(2, kUntouched), c(2, kUntouched);
  double* split[3] = {a.data(), nullptr, c.data()};
  SplitBlock(block.data(), 12, layout, split);
  EXPECT_EQ(a[0], kUntouched);
  EXPECT_EQ(c[0], kUntouched);
  const double* merge[3] = {a.data(), nullptr, c.data()};
  Bytes out(12, 0xEE);
  MergeBlock(merge, 12, layout, out.data());
  EXPECT_EQ(out, Bytes(12, 0xEE));
  SplitBlock(block.data(), 12, TFrameLayout{}, split);
  EXPECT_EQ(a[0], kUntouched);
}

}  // namespace
}  // namespace zorv

namespace zorv {
namespace {

// The measuring merge on a two-channel layout (right may be absent).
TSampleStats Measured(const double* left, const double* right, std::uint32_t len, L layout) {
  const double* const channels[] = {left, right};
  Bytes block(len + 8);
  TSampleStats stats;
  MergeBlock(channels, len, FrameLayoutOf(layout), block.data(), stats);
  return stats;
}

// The clip count is what the merge clamps, not a rule of its own: edge values
// on both sides of every integer layout's full scale, stereo and mono.
TEST(MeasuringMerge, CountsExactlyTheSamplesTheMergeClamps) {
  const std::vector<double> samples = {0.5,  1.0,  -1.0,  1.5,    -1.0000001, -32769.0 / 32768,
                                       kNaN, kInf, -kInf, 0.99999};
  struct Case {
    L layout;
    std::uint64_t clipped;
  };
  // -1.0000001 rounds to -(1 + 2^-23) in single precision: below -2^23 - 1 at
  // 24 bits and beyond, within the truncation at 16 bits.
  const Case cases[] = {{L::Int16Mono, 5},    {L::Int24Mono, 6},    {L::Int32Mono, 6},
                        {L::Int16Stereo, 10}, {L::Int24Stereo, 12}, {L::Int32Stereo, 12},
                        {L::Float32Mono, 0},  {L::Float32Stereo, 0}};
  for (const Case& c : cases) {
    const std::uint32_t step = BytesPerFrameOf(c.layout);
    const auto frames = static_cast<std::uint32_t>(samples.size());
    const TSampleStats stats = Measured(samples.data(), samples.data(), frames * step, c.layout);
    EXPECT_EQ(stats.Clipped, c.clipped) << static_cast<int>(c.layout);
    EXPECT_EQ(stats.Peak, kInf);
  }

  // Every counted sample comes out of the merge at an end of the range.
  const std::vector<double> finite = {0.25, -1.25, 1.0, -0.75, 1.0 - 1e-9};
  const auto frames = static_cast<std::uint32_t>(finite.size());
  Bytes block(frames * 2);
  TSampleStats stats;
  const double* const channels[] = {finite.data()};
  MergeBlock(channels, frames * 2, FrameLayoutOf(L::Int16Mono), block.data(), stats);
  std::uint64_t atTheEnds = 0;
  for (std::uint32_t i = 0; i < frames; ++i) {
    const auto value = static_cast<std::int16_t>(block[2 * i] | (block[2 * i + 1] << 8));
    atTheEnds += value == 32767 || (value == -32768 && finite[i] < -1.0);
  }
  // 1 - 1e-9 rounds to 1.0f and clamps too.
  EXPECT_EQ(stats.Clipped, 3u);
  EXPECT_EQ(atTheEnds, stats.Clipped);
  EXPECT_EQ(stats.Peak, 1.25);
}

// What the measuring merge must add, sample by sample: a sample is clipped
// when its single-precision value scaled lies outside the integer range.
TSampleStats ReferenceMeasure(const std::vector<std::vector<double>>& in, std::uint32_t frames,
                              TSampleFormat format, TSampleStats stats) {
  const double scale = format == TSampleFormat::Int16   ? 32768.0
                       : format == TSampleFormat::Int24 ? 8388608.0
                       : format == TSampleFormat::Int32 ? 2147483648.0
                                                        : 0.0;
  for (const auto& channel : in) {
    for (std::uint32_t i = 0; i < frames; ++i) {
      if (!std::isnan(channel[i])) stats.Peak = std::max(stats.Peak, std::fabs(channel[i]));
      const double scaled = static_cast<double>(static_cast<float>(channel[i])) * scale;
      if (scale != 0 && (scaled >= scale || scaled <= -scale - 1.0)) ++stats.Clipped;
    }
  }
  return stats;
}

// The merge that measures as it goes writes the same bytes as the merge and
// adds the clipped samples and the peak, in every format, for edge values at
// full scale, NaN and infinities, and a partial last frame.
TEST(MeasuringMerge, WritesTheMergeAndAddsTheMeasure) {
  const std::vector<double> withInfinities = {
      0.5,    1.0,   -1.0, 1.5, -1.0000001, -32769.0 / 32768, kNaN, kInf, -kInf, 0.99999, -0.25,
      1e-300, -3e38, 7e38, 0.0, -0.0};
  // Without infinities the peak is a finite sample: -1.75, in a new place
  // in each channel.
  const std::vector<double> finite = {0.5,     1.0,   -1.0,   1.5, -1.75, -32769.0 / 32768, kNaN,
                                      0.99999, -0.25, 1e-300, 0.0, -0.0,  1.0000001};
  for (const auto& edges : {withInfinities, finite}) {
    for (const TSampleFormat format : {TSampleFormat::Int16, TSampleFormat::Int24,
                                       TSampleFormat::Int32, TSampleFormat::Float32}) {
      for (const std::uint32_t channels : {1u, 2u, 3u, 8u}) {
        const TFrameLayout layout{format, channels};
        const auto frames = static_cast<std::uint32_t>(edges.size());
        std::vector<std::vector<double>> in(channels);
        std::vector<const double*> from;
        for (std::uint32_t c = 0; c < channels; ++c) {
          // Each channel its own order, so that the peak is in a new place.
          for (std::uint32_t i = 0; i < frames; ++i) in[c].push_back(edges[(i + 5 * c) % frames]);
          from.push_back(in[c].data());
        }
        // A partial last frame is written whole, so it is measured whole.
        for (const auto& [len, walked] :
             {std::pair{frames * layout.BytesPerFrame(), frames},
              std::pair{(frames - 3) * layout.BytesPerFrame() + 1, frames - 2}}) {
          Bytes plain(frames * layout.BytesPerFrame(), 0xEE), measured = plain;
          const TSampleStats before{7, 0.125};
          TSampleStats got = before;
          MergeBlock(from.data(), len, layout, plain.data());
          MergeBlock(from.data(), len, layout, measured.data(), got);
          const TSampleStats expected = ReferenceMeasure(in, walked, format, before);
          const std::string what = std::to_string(static_cast<int>(format)) + ", " +
                                   std::to_string(channels) + " channels, " + std::to_string(len) +
                                   " bytes";
          EXPECT_EQ(measured, plain) << what;
          EXPECT_EQ(got.Clipped, expected.Clipped) << what;
          EXPECT_EQ(got.Peak, expected.Peak) << what;
        }
      }
    }
  }
}

// The peak is the largest magnitude wherever it stands in the block.
// Over blocks of many chunks, each length of the last chunk, and samples
// scattered over and past full scale: the same bytes and measure.
TEST(MeasuringMerge, LongBlocksMatchTheMergeInEveryChunk) {
  std::uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / static_cast<double>(1u << 24);
  };
  for (const TSampleFormat format :
       {TSampleFormat::Int16, TSampleFormat::Int24, TSampleFormat::Int32}) {
    for (const std::uint32_t channels : {1u, 2u, 5u}) {
      for (const std::uint32_t frames : {255u, 256u, 257u, 515u, 1030u}) {
        const TFrameLayout layout{format, channels};
        std::vector<std::vector<double>> in(channels);
        std::vector<const double*> from;
        for (auto& channel : in) {
          for (std::uint32_t i = 0; i < frames; ++i) channel.push_back(2.2 * next() - 1.1);
          channel[frames / 3] = kNaN;
          from.push_back(channel.data());
        }
        const std::uint32_t len = frames * layout.BytesPerFrame();
        Bytes plain(len + 8, 0xEE), measured = plain;
        TSampleStats got;
        MergeBlock(from.data(), len, layout, plain.data());
        MergeBlock(from.data(), len, layout, measured.data(), got);
        const TSampleStats expected = ReferenceMeasure(in, frames, format, {});
        const std::string what = std::to_string(static_cast<int>(format)) + ", " +
                                 std::to_string(channels) + " channels, " + std::to_string(frames) +
                                 " frames";
        EXPECT_EQ(measured, plain) << what;
        EXPECT_EQ(got.Clipped, expected.Clipped) << what;
        EXPECT_GT(got.Clipped, 0u) << what;
        EXPECT_EQ(got.Peak, expected.Peak) << what;
      }
    }
  }
}

TEST(MeasuringMerge, FindsThePeakAtEveryPosition) {
  for (std::uint32_t frames = 1; frames <= 9; ++frames) {
    for (std::uint32_t at = 0; at < frames; ++at) {
      std::vector<double> samples(frames, 0.125);
      samples[at] = -0.875;
      EXPECT_EQ(Measured(samples.data(), nullptr, frames * 2, L::Int16Mono).Peak, 0.875)
          << frames << " frames, peak at " << at;
    }
  }
}

// A trailing part of a frame is measured whole, as the merge writes it whole;
// a stereo layout without a right buffer measures nothing, as it merges nothing.
TEST(MeasuringMerge, WalksTheFramesTheMergeWrites) {
  const double left[] = {2.0, 2.0, 2.0};
  EXPECT_EQ(Measured(left, nullptr, 5, L::Int16Mono).Clipped, 3u);
  EXPECT_EQ(Measured(left, nullptr, 8, L::Int16Stereo).Clipped, 0u);
  EXPECT_EQ(Measured(left, left, 4, L::Int16Stereo).Clipped, 2u);
}

}  // namespace
}  // namespace zorv
