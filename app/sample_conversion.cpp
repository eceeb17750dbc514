// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/sample_conversion.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zorv {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the float layouts copy the file's little-endian bytes as they are");
static_assert(std::numeric_limits<float>::is_iec559);

constexpr double kScale16 = 32768.0;       // 2^15
constexpr double kScale24 = 8388608.0;     // 2^23
constexpr double kScale32 = 2147483648.0;  // 2^31

// Rounds to the nearest single-precision value. No sample written is ever
// infinite or not a number: magnitudes beyond the float range (infinities
// too) become the largest float explicitly instead of through an
// out-of-range cast, and not a number becomes 0. (The decoder's input is
// kept finite and within +60 dBFS, so its output never comes near either.)
float ToSingle(double value) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (value > kMax) return std::numeric_limits<float>::max();
  if (value < -kMax) return -std::numeric_limits<float>::max();
  if (value != value) return 0.0F;
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

// ReadInt24 of a sample with at least one byte after it: its bytes and the
// next as one word, the next byte shifted out (two's complement of 24 bits
// widened to 32, exact in a double as in a float).
double ReadInt24Word(const std::uint8_t* p) {
  std::uint32_t word;
  std::memcpy(&word, p, sizeof word);
  return static_cast<double>(static_cast<std::int32_t>(word << 8) >> 8) / kScale24;
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

std::uint32_t TFrameLayout::BytesPerSample() const {
  switch (Format) {
    case TSampleFormat::Int16:
      return 2;
    case TSampleFormat::Int24:
      return 3;
    case TSampleFormat::Int32:
    case TSampleFormat::Float32:
      return 4;
    case TSampleFormat::None:
      break;
  }
  return 0;
}

TFrameLayout FrameLayoutOf(TSampleLayout layout) {
  switch (layout) {
    case TSampleLayout::Int16Mono:
      return {TSampleFormat::Int16, 1};
    case TSampleLayout::Int24Mono:
      return {TSampleFormat::Int24, 1};
    case TSampleLayout::Float32Mono:
      return {TSampleFormat::Float32, 1};
    case TSampleLayout::Int32Mono:
      return {TSampleFormat::Int32, 1};
    case TSampleLayout::Int16Stereo:
      return {TSampleFormat::Int16, 2};
    case TSampleLayout::Int24Stereo:
      return {TSampleFormat::Int24, 2};
    case TSampleLayout::Float32Stereo:
      return {TSampleFormat::Float32, 2};
    case TSampleLayout::Int32Stereo:
      return {TSampleFormat::Int32, 2};
    case TSampleLayout::None:
      break;
  }
  return {};
}

TFrameLayout FrameLayoutOf(std::uint32_t bytesPerFrame, std::uint32_t channels,
                           std::uint32_t formatTag) {
  if (channels <= 2) return FrameLayoutOf(SelectLayout(bytesPerFrame, channels, formatTag));
  if (bytesPerFrame % channels != 0) return {};
  switch (bytesPerFrame / channels) {
    case 2:
      return {TSampleFormat::Int16, channels};
    case 3:
      return {TSampleFormat::Int24, channels};
    case 4:
      return {formatTag == 3 ? TSampleFormat::Float32 : TSampleFormat::Int32, channels};
    default:
      return {};
  }
}

namespace {

// The frame walks, one instance per sample format (and for one and two
// channels per channel count) so that the loops carry no decisions: frame i
// starts at byte i x step, for as long as that is below len (a trailing
// partial frame is handled whole). The split reads channels first ..
// first + count - 1 of each frame: every frame but the last with wide, which
// may read past a sample (ReadInt24Word), the last with read.
template <int SampleBytes, std::uint32_t Count, class TRead, class TWide>
void SplitFrames(const std::uint8_t* block, std::uint32_t len, std::uint32_t step,
                 std::uint32_t first, std::uint32_t count, double* const* out, TRead read,
                 TWide wide) {
  const std::uint32_t n = Count != 0 ? Count : count;
  const auto frames = static_cast<std::uint32_t>((std::uint64_t{len} + step - 1) / step);
  const std::uint8_t* p = block + std::size_t{first} * SampleBytes;
  std::uint32_t i = 0;
  for (; i + 1 < frames; ++i, p += step) {
    for (std::uint32_t c = 0; c < n; ++c) out[first + c][i] = wide(p + c * SampleBytes);
  }
  for (; i < frames; ++i, p += step) {
    for (std::uint32_t c = 0; c < n; ++c) out[first + c][i] = read(p + c * SampleBytes);
  }
}

template <int SampleBytes, std::uint32_t Channels, class TWrite>
void MergeFrames(const double* const* in, std::uint32_t len, std::uint32_t channels,
                 std::uint8_t* block, TWrite write) {
  const std::uint32_t n = Channels != 0 ? Channels : channels;
  const std::uint32_t step = n * SampleBytes;
  if constexpr (Channels == 0) {
    // Many channels: one channel after another, each read in order, where
    // frame by frame the walk would jump between as many buffers as there
    // are channels (twice as slow for 24).
    const std::uint32_t frames = (len + step - 1) / step;
    for (std::uint32_t c = 0; c < n; ++c) {
      const double* samples = in[c];
      std::uint8_t* p = block + c * SampleBytes;
      for (std::uint32_t i = 0; i < frames; ++i, p += step) write(p, samples[i]);
    }
  } else {
    std::uint32_t i = 0;
    for (std::uint32_t k = 0; k < len; k += step, ++i) {
      for (std::uint32_t c = 0; c < n; ++c) write(block + k + c * SampleBytes, in[c][i]);
    }
  }
}

// One, two or any number of channels.
template <int SampleBytes, class TRead, class TWide>
void SplitAny(const std::uint8_t* block, std::uint32_t len, std::uint32_t step, std::uint32_t first,
              std::uint32_t count, double* const* out, TRead read, TWide wide) {
  switch (count) {
    case 1:
      return SplitFrames<SampleBytes, 1>(block, len, step, first, count, out, read, wide);
    case 2:
      return SplitFrames<SampleBytes, 2>(block, len, step, first, count, out, read, wide);
    default:
      return SplitFrames<SampleBytes, 0>(block, len, step, first, count, out, read, wide);
  }
}

// The split of channels first .. first + count - 1, in the layout's format.
void SplitFormat(const std::uint8_t* block, std::uint32_t len, const TFrameLayout& layout,
                 std::uint32_t first, std::uint32_t count, double* const* out) {
  const std::uint32_t step = layout.BytesPerFrame();
  switch (layout.Format) {
    case TSampleFormat::Int16:
      return SplitAny<2>(block, len, step, first, count, out, ReadInt16, ReadInt16);
    case TSampleFormat::Int24:
      return SplitAny<3>(block, len, step, first, count, out, ReadInt24, ReadInt24Word);
    case TSampleFormat::Int32:
      return SplitAny<4>(block, len, step, first, count, out, ReadInt32, ReadInt32);
    case TSampleFormat::Float32:
      return SplitAny<4>(block, len, step, first, count, out, ReadFloat32, ReadFloat32);
    case TSampleFormat::None:
      return;
  }
}

template <int SampleBytes, class TWrite>
void MergeAny(const double* const* in, std::uint32_t len, std::uint32_t channels,
              std::uint8_t* block, TWrite write) {
  switch (channels) {
    case 1:
      return MergeFrames<SampleBytes, 1>(in, len, channels, block, write);
    case 2:
      return MergeFrames<SampleBytes, 2>(in, len, channels, block, write);
    default:
      return MergeFrames<SampleBytes, 0>(in, len, channels, block, write);
  }
}

template <int Bytes>
void WriteIntOf(std::uint8_t* p, double sample) {
  constexpr double kScale = Bytes == 2 ? kScale16 : Bytes == 3 ? kScale24 : kScale32;
  WriteInt(p, sample, kScale, Bytes);
}

bool AllPresent(const auto* const* buffers, std::uint32_t channels) {
  for (std::uint32_t c = 0; c < channels; ++c) {
    if (buffers[c] == nullptr) return false;
  }
  return channels > 0;
}

}  // namespace

void SplitBlock(const std::uint8_t* block, std::uint32_t len, const TFrameLayout& layout,
                double* const* channels) {
  if (!AllPresent(channels, layout.Channels)) return;
  SplitFormat(block, len, layout, 0, layout.Channels, channels);
}

void MergeBlock(const double* const* channels, std::uint32_t len, const TFrameLayout& layout,
                std::uint8_t* block) {
  if (!AllPresent(channels, layout.Channels)) return;
  const std::uint32_t n = layout.Channels;
  switch (layout.Format) {
    case TSampleFormat::Int16:
      return MergeAny<2>(channels, len, n, block, WriteIntOf<2>);
    case TSampleFormat::Int24:
      return MergeAny<3>(channels, len, n, block, WriteIntOf<3>);
    case TSampleFormat::Int32:
      return MergeAny<4>(channels, len, n, block, WriteIntOf<4>);
    case TSampleFormat::Float32:
      return MergeAny<4>(channels, len, n, block, WriteFloat32);
    case TSampleFormat::None:
      return;
  }
}

void SplitChannels(const std::uint8_t* block, std::uint32_t len, const TFrameLayout& layout,
                   std::uint32_t first, std::uint32_t count, double* const* channels) {
  if (count == 0 || first >= layout.Channels || count > layout.Channels - first) return;
  if (!AllPresent(channels + first, count)) return;
  SplitFormat(block, len, layout, first, count, channels);
}

namespace {

// The measuring merge of integer samples, a chunk of a channel at a time:
// first the chunk's samples as integers, with the peak and the clip count,
// two at once where the processor has vectors of two doubles, without a
// branch; then their bytes into the frames. Each value is the one WriteInt
// and the measure give sample by sample.
constexpr std::uint32_t kMergeChunk = 256;

struct TMeasure {
  double Peak = 0;
  std::uint64_t Clipped = 0;
};

template <int Bytes>
void IntegersOf(const double* in, std::uint32_t count, std::int32_t* out, TMeasure& measure) {
  constexpr double kScale = Bytes == 2 ? kScale16 : Bytes == 3 ? kScale24 : kScale32;
  std::uint32_t i = 0;
#if defined(__SSE2__)
  constexpr double kMax = std::numeric_limits<float>::max();
  const __m128d magnitudeBits = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m128d scale = _mm_set1_pd(kScale);
  const __m128d below = _mm_set1_pd(-kScale - 1.0);
  __m128d peak = _mm_set1_pd(measure.Peak);
  __m128i clipped = _mm_setzero_si128();
  for (; i + 2 <= count; i += 2) {
    __m128d x = _mm_loadu_pd(in + i);
    // The peak: a NaN magnitude is not above it, and max keeps the peak.
    peak = _mm_max_pd(_mm_and_pd(x, magnitudeBits), peak);
    // ToSingle: NaN 0, beyond the float range the largest float.
    x = _mm_and_pd(x, _mm_cmpeq_pd(x, x));
    x = _mm_max_pd(_mm_min_pd(x, _mm_set1_pd(kMax)), _mm_set1_pd(-kMax));
    const __m128d scaled = _mm_mul_pd(_mm_cvtps_pd(_mm_cvtpd_ps(x)), scale);
    // ClipSample: clamped, then truncated toward zero.
    const __m128d clips = _mm_or_pd(_mm_cmpge_pd(scaled, scale), _mm_cmple_pd(scaled, below));
    clipped = _mm_sub_epi64(clipped, _mm_castpd_si128(clips));
    const __m128d bounded =
        _mm_max_pd(_mm_min_pd(scaled, _mm_set1_pd(kScale - 1.0)), _mm_set1_pd(-kScale));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_cvttpd_epi32(bounded));
  }
  alignas(16) double peaks[2];
  alignas(16) std::uint64_t clips[2];
  _mm_store_pd(peaks, peak);
  _mm_store_si128(reinterpret_cast<__m128i*>(clips), clipped);
  for (const double p : peaks) measure.Peak = p > measure.Peak ? p : measure.Peak;
  measure.Clipped += clips[0] + clips[1];
#endif
  for (; i < count; ++i) {
    const double magnitude = std::fabs(in[i]);
    measure.Peak = magnitude > measure.Peak ? magnitude : measure.Peak;
    const double scaled = static_cast<double>(ToSingle(in[i])) * kScale;
    measure.Clipped += (scaled >= kScale) | (scaled <= -kScale - 1.0);
    out[i] = ClipSample(scaled, static_cast<std::int64_t>(kScale));
  }
}

template <int Bytes>
void PutInteger(std::uint8_t* p, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int b = 0; b < Bytes; ++b) p[b] = static_cast<std::uint8_t>(bits >> (8 * b));
}

template <int Bytes>
void MergeIntegers(const double* const* channels, std::uint32_t len, std::uint32_t n,
                   std::uint8_t* block, TSampleStats& stats) {
  const std::uint32_t step = n * Bytes;
  const std::uint32_t frames = (len + step - 1) / step;
  TMeasure measure{stats.Peak, 0};
  alignas(32) std::int32_t integers[2][kMergeChunk];
  for (std::uint32_t start = 0; start < frames; start += kMergeChunk) {
    const std::uint32_t count = std::min(kMergeChunk, frames - start);
    std::uint8_t* const at = block + std::size_t{start} * step;
    if (n <= 2) {
      // Frame by frame. A sample's bytes are stored as one 4-byte word
      // whose top byte the next sample then overwrites; the last frame of
      // the block, with nothing after it, byte by byte.
      for (std::uint32_t c = 0; c < n; ++c)
        IntegersOf<Bytes>(channels[c] + start, count, integers[c], measure);
      const std::uint32_t words = start + count == frames ? count - 1 : count;
      std::uint8_t* p = at;
      for (std::uint32_t i = 0; i < words; ++i) {
        for (std::uint32_t c = 0; c < n; ++c, p += Bytes) std::memcpy(p, &integers[c][i], 4);
      }
      for (std::uint32_t i = words; i < count; ++i) {
        for (std::uint32_t c = 0; c < n; ++c, p += Bytes) PutInteger<Bytes>(p, integers[c][i]);
      }
    } else {
      // Channel by channel, each read in order.
      for (std::uint32_t c = 0; c < n; ++c) {
        IntegersOf<Bytes>(channels[c] + start, count, integers[0], measure);
        std::uint8_t* p = at + c * Bytes;
        for (std::uint32_t i = 0; i < count; ++i, p += step) PutInteger<Bytes>(p, integers[0][i]);
      }
    }
  }
  stats.Peak = measure.Peak;
  stats.Clipped += measure.Clipped;
}

}  // namespace

void MergeBlock(const double* const* channels, std::uint32_t len, const TFrameLayout& layout,
                std::uint8_t* block, TSampleStats& stats) {
  if (!AllPresent(channels, layout.Channels)) return;
  const std::uint32_t n = layout.Channels;
  switch (layout.Format) {
    case TSampleFormat::Int16:
      return MergeIntegers<2>(channels, len, n, block, stats);
    case TSampleFormat::Int24:
      return MergeIntegers<3>(channels, len, n, block, stats);
    case TSampleFormat::Int32:
      return MergeIntegers<4>(channels, len, n, block, stats);
    case TSampleFormat::Float32: {
      // Float layouts clip nothing: the measure is the peak alone.
      double peak = stats.Peak;
      MergeAny<4>(channels, len, n, block, [&peak](std::uint8_t* p, double sample) {
        const double magnitude = std::fabs(sample);
        peak = magnitude > peak ? magnitude : peak;
        WriteFloat32(p, sample);
      });
      stats.Peak = peak;
      return;
    }
    case TSampleFormat::None:
      return;
  }
}

void SplitBlock(const std::uint8_t* block, std::uint32_t len, TSampleLayout layout, double* left,
                double* right) {
  double* const channels[] = {left, right};
  SplitBlock(block, len, FrameLayoutOf(layout), channels);
}

void MergeBlock(const double* left, const double* right, std::uint32_t len, TSampleLayout layout,
                std::uint8_t* block) {
  const double* const channels[] = {left, right};
  MergeBlock(channels, len, FrameLayoutOf(layout), block);
}

}  // namespace zorv
