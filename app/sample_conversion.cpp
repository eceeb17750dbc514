#include "app/sample_conversion.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace zorv {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the float layouts copy the file's little-endian bytes as they are");
static_assert(std::numeric_limits<float>::is_iec559);

constexpr double kScale16 = 32768.0;       // 2^15
constexpr double kScale24 = 8388608.0;     // 2^23
constexpr double kScale32 = 2147483648.0;  // 2^31

// Rounds to the nearest single-precision value. Magnitudes beyond the float
// range become infinities explicitly instead of through an out-of-range cast.
float ToSingle(double value) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (value > kMax) return std::numeric_limits<float>::infinity();
  if (value < -kMax) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

double ReadInt16(const std::uint8_t* p) {
  const std::int32_t u = p[0] | (p[1] << 8);
  const std::int32_t v = u >= 0x8000 ? u - 0x10000 : u;
  return static_cast<double>(static_cast<float>(v)) / kScale16;
}

double ReadInt24(const std::uint8_t* p) {
  const std::int32_t u = p[0] | (p[1] << 8) | (p[2] << 16);
  const std::int32_t v = u >= 0x800000 ? u - 0x1000000 : u;
  return static_cast<double>(static_cast<float>(v)) / kScale24;
}

double ReadInt32(const std::uint8_t* p) {
  const std::uint32_t u =
      static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
      (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  // Rounding to single precision keeps 24 significant bits.
  return static_cast<double>(static_cast<float>(static_cast<std::int32_t>(u))) / kScale32;
}

double ReadFloat32(const std::uint8_t* p) {
  float f;
  std::memcpy(&f, p, sizeof f);
  return f;
}

// The low `bytes` bytes of the sample's two's complement, least significant first.
void WriteInt(std::uint8_t* p, double sample, double scale, int bytes) {
  const double scaled = static_cast<double>(ToSingle(sample)) * scale;
  const auto bits =
      static_cast<std::uint32_t>(ClipSample(scaled, static_cast<std::int64_t>(scale)));
  for (int b = 0; b < bytes; ++b) p[b] = static_cast<std::uint8_t>(bits >> (8 * b));
}

void WriteFloat32(std::uint8_t* p, double sample) {
  const float f = ToSingle(sample);
  std::memcpy(p, &f, sizeof f);
}

}  // namespace

TSampleLayout SelectLayout(std::uint32_t bytesPerFrame, std::uint32_t channels,
                           std::uint32_t formatTag) {
  switch (bytesPerFrame) {
    case 2:
      return TSampleLayout::Int16Mono;
    case 3:
      return TSampleLayout::Int24Mono;
    case 4:
      if (channels == 1) {
        return formatTag == 3 ? TSampleLayout::Float32Mono : TSampleLayout::Int32Mono;
      }
      return TSampleLayout::Int16Stereo;
    case 6:
      return TSampleLayout::Int24Stereo;
    case 8:
      return formatTag == 3 ? TSampleLayout::Float32Stereo : TSampleLayout::Int32Stereo;
    default:
      return TSampleLayout::None;
  }
}

std::uint32_t BytesPerFrameOf(TSampleLayout layout) {
  switch (layout) {
    case TSampleLayout::Int16Mono:
      return 2;
    case TSampleLayout::Int24Mono:
      return 3;
    case TSampleLayout::Float32Mono:
    case TSampleLayout::Int32Mono:
    case TSampleLayout::Int16Stereo:
      return 4;
    case TSampleLayout::Int24Stereo:
      return 6;
    case TSampleLayout::Float32Stereo:
    case TSampleLayout::Int32Stereo:
      return 8;
    case TSampleLayout::None:
      break;
  }
  return 0;
}

bool IsStereo(TSampleLayout layout) {
  return layout == TSampleLayout::Int16Stereo || layout == TSampleLayout::Int24Stereo ||
         layout == TSampleLayout::Float32Stereo || layout == TSampleLayout::Int32Stereo;
}

std::int32_t ClipSample(double scaled, std::int64_t limit) {
  if (std::isnan(scaled)) return 0;
  // Compared before the truncation, so that no value outside the 64-bit range
  // is ever converted: trunc(x) >= L exactly when x >= L, and trunc(x) < -L
  // exactly when x <= -L - 1 (L is a whole number).
  const auto upper = static_cast<double>(limit);
  if (scaled >= upper) return static_cast<std::int32_t>(limit - 1);
  if (scaled <= -upper - 1.0) return static_cast<std::int32_t>(-limit);
  return static_cast<std::int32_t>(static_cast<std::int64_t>(scaled));
}

namespace {

// The frame walks, one instance per layout so that the loops carry no
// decisions: frame i starts at byte i x step, for as long as that is below
// len (a trailing partial frame is handled whole).
template <int Channels, int SampleBytes, class TRead>
void SplitFrames(const std::uint8_t* block, std::uint32_t len, double* left, double* right,
                 TRead read) {
  constexpr std::uint32_t kStep = Channels * SampleBytes;
  std::uint32_t i = 0;
  for (std::uint32_t k = 0; k < len; k += kStep, ++i) {
    left[i] = read(block + k);
    if constexpr (Channels == 2) right[i] = read(block + k + SampleBytes);
  }
}

template <int Channels, int SampleBytes, class TWrite>
void MergeFrames(const double* left, const double* right, std::uint32_t len, std::uint8_t* block,
                 TWrite write) {
  constexpr std::uint32_t kStep = Channels * SampleBytes;
  std::uint32_t i = 0;
  for (std::uint32_t k = 0; k < len; k += kStep, ++i) {
    write(block + k, left[i]);
    if constexpr (Channels == 2) write(block + k + SampleBytes, right[i]);
  }
}

template <int Bytes>
void WriteIntOf(std::uint8_t* p, double sample) {
  constexpr double kScale = Bytes == 2 ? kScale16 : Bytes == 3 ? kScale24 : kScale32;
  WriteInt(p, sample, kScale, Bytes);
}

}  // namespace

void SplitBlock(const std::uint8_t* block, std::uint32_t len, TSampleLayout layout, double* left,
                double* right) {
  if (IsStereo(layout) && right == nullptr) return;
  switch (layout) {
    case TSampleLayout::Int16Mono:
      return SplitFrames<1, 2>(block, len, left, right, ReadInt16);
    case TSampleLayout::Int24Mono:
      return SplitFrames<1, 3>(block, len, left, right, ReadInt24);
    case TSampleLayout::Float32Mono:
      return SplitFrames<1, 4>(block, len, left, right, ReadFloat32);
    case TSampleLayout::Int32Mono:
      return SplitFrames<1, 4>(block, len, left, right, ReadInt32);
    case TSampleLayout::Int16Stereo:
      return SplitFrames<2, 2>(block, len, left, right, ReadInt16);
    case TSampleLayout::Int24Stereo:
      return SplitFrames<2, 3>(block, len, left, right, ReadInt24);
    case TSampleLayout::Float32Stereo:
      return SplitFrames<2, 4>(block, len, left, right, ReadFloat32);
    case TSampleLayout::Int32Stereo:
      return SplitFrames<2, 4>(block, len, left, right, ReadInt32);
    case TSampleLayout::None:
      return;
  }
}

void MergeBlock(const double* left, const double* right, std::uint32_t len, TSampleLayout layout,
                std::uint8_t* block) {
  if (IsStereo(layout) && right == nullptr) return;
  switch (layout) {
    case TSampleLayout::Int16Mono:
      return MergeFrames<1, 2>(left, right, len, block, WriteIntOf<2>);
    case TSampleLayout::Int24Mono:
      return MergeFrames<1, 3>(left, right, len, block, WriteIntOf<3>);
    case TSampleLayout::Float32Mono:
      return MergeFrames<1, 4>(left, right, len, block, WriteFloat32);
    case TSampleLayout::Int32Mono:
      return MergeFrames<1, 4>(left, right, len, block, WriteIntOf<4>);
    case TSampleLayout::Int16Stereo:
      return MergeFrames<2, 2>(left, right, len, block, WriteIntOf<2>);
    case TSampleLayout::Int24Stereo:
      return MergeFrames<2, 3>(left, right, len, block, WriteIntOf<3>);
    case TSampleLayout::Float32Stereo:
      return MergeFrames<2, 4>(left, right, len, block, WriteFloat32);
    case TSampleLayout::Int32Stereo:
      return MergeFrames<2, 4>(left, right, len, block, WriteIntOf<4>);
    case TSampleLayout::None:
      return;
  }
}

namespace {

// Full scale of an integer layout's samples; 0 for the float layouts.
double IntegerScale(TSampleLayout layout) {
  switch (layout) {
    case TSampleLayout::Int16Mono:
    case TSampleLayout::Int16Stereo:
      return kScale16;
    case TSampleLayout::Int24Mono:
    case TSampleLayout::Int24Stereo:
      return kScale24;
    case TSampleLayout::Int32Mono:
    case TSampleLayout::Int32Stereo:
      return kScale32;
    default:
      return 0;
  }
}

void MeasureChannel(const double* samples, std::uint32_t frames, double scale,
                    TSampleStats& stats) {
  std::uint64_t clipped = 0;
  double peak = stats.Peak;
  for (std::uint32_t i = 0; i < frames; ++i) {
    const double sample = samples[i];
    const double magnitude = std::fabs(sample);
    if (magnitude > peak) peak = magnitude;
    if (scale != 0) {
      // The bounds at which ClipSample clamps, applied as WriteInt scales.
      const double scaled = static_cast<double>(ToSingle(sample)) * scale;
      clipped += (scaled >= scale) | (scaled <= -scale - 1.0);
    }
  }
  stats.Clipped += clipped;
  stats.Peak = peak;
}

}  // namespace

void MeasureBlock(const double* left, const double* right, std::uint32_t len, TSampleLayout layout,
                  TSampleStats& stats) {
  const std::uint32_t step = BytesPerFrameOf(layout);
  if (step == 0 || (IsStereo(layout) && right == nullptr)) return;
  // The merge's frame walk: every frame that starts below len.
  const std::uint32_t frames = len / step + (len % step != 0 ? 1 : 0);
  const double scale = IntegerScale(layout);
  MeasureChannel(left, frames, scale, stats);
  if (IsStereo(layout)) MeasureChannel(right, frames, scale, stats);
}

}  // namespace zorv
