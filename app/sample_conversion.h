// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion between the interleaved little-endian frames of a WAV block and
// one buffer of doubles per channel (full scale +-1.0), for any number of
// channels.
#pragma once

#include <cmath>
#include <cstdint>

namespace zorv {

// The frame layouts the program converts; chosen by SelectLayout.
enum class TSampleLayout {
  None,  // anything else: nothing is converted
  Int16Mono,
  Int24Mono,
  Float32Mono,
  Int32Mono,
  Int16Stereo,
  Int24Stereo,
  Float32Stereo,
  Int32Stereo,
};

// The layout for a frame of bytesPerFrame bytes (the input's block align),
// tested in this order: 2 and 3 bytes are 16- and 24-bit mono; 4 bytes are
// 32-bit float or integer mono for one channel, else 16-bit stereo; 6 bytes
// 24-bit stereo; 8 bytes 32-bit float (tag 3) or integer stereo.
TSampleLayout SelectLayout(std::uint32_t bytesPerFrame, std::uint32_t channels,
                           std::uint32_t formatTag);

std::uint32_t BytesPerFrameOf(TSampleLayout layout);
bool IsStereo(TSampleLayout layout);

// The sample format of every channel of a frame.
enum class TSampleFormat { None, Int16, Int24, Int32, Float32 };

// A frame of Channels samples of one format, interleaved channel by channel.
struct TFrameLayout {
  TSampleFormat Format = TSampleFormat::None;
  std::uint32_t Channels = 0;

  std::uint32_t BytesPerSample() const;
  std::uint32_t BytesPerFrame() const { return BytesPerSample() * Channels; }
  bool operator==(const TFrameLayout&) const = default;
};

// One of the eight layouts as a frame layout (no channels for None).
TFrameLayout FrameLayoutOf(TSampleLayout layout);
// The layout of a frame of bytesPerFrame bytes: for one or two channels the
// one SelectLayout picks; for more, samples of bytesPerFrame / channels bytes
// (2, 3, or 4: float for tag 3, else integer), and none when the frame does
// not divide into such samples.
TFrameLayout FrameLayoutOf(std::uint32_t bytesPerFrame, std::uint32_t channels,
                           std::uint32_t formatTag);

// Truncates scaled toward zero and clamps it to [-limit, limit - 1]. NaN
// gives 0; infinities and values beyond the 64-bit range clamp like any other.
inline std::int32_t ClipSample(double scaled, std::int64_t limit) {
  if (std::isnan(scaled)) return 0;
  // Compared before the truncation, so that no value outside the 64-bit range
  // is ever converted: trunc(x) >= L exactly when x >= L, and trunc(x) < -L
  // exactly when x <= -L - 1 (L is a whole number).
  const auto upper = static_cast<double>(limit);
  if (scaled >= upper) return static_cast<std::int32_t>(limit - 1);
  if (scaled <= -upper - 1.0) return static_cast<std::int32_t>(-limit);
  return static_cast<std::int32_t>(static_cast<std::int64_t>(scaled));
}

// Raw block -> left (and right for a stereo layout). Frames start at 0,
// BytesPerFrame, ... while below len; a frame cut short by len is read whole,
// so block must hold len rounded up to whole frames. A stereo layout with a
// null right buffer, and the layout None, convert nothing.
void SplitBlock(const std::uint8_t* block, std::uint32_t len, TSampleLayout layout, double* left,
                double* right);

// left (and right for a stereo layout) -> raw block, in the same frame walk;
// a frame cut short by len is written whole. Integer layouts round to single
// precision, scale, truncate and clamp; float layouts round to single
// precision and do not clip, but never write an infinity or not a number:
// magnitudes beyond the float range give the largest float, NaN gives 0.
void MergeBlock(const double* left, const double* right, std::uint32_t len, TSampleLayout layout,
                std::uint8_t* block);

// The same walks for frames of any number of channels: channel c's samples
// go to (come from) channels[c]. A null buffer among them, and the format
// None, convert nothing.
void SplitBlock(const std::uint8_t* block, std::uint32_t len, const TFrameLayout& layout,
                double* const* channels);
void MergeBlock(const double* const* channels, std::uint32_t len, const TFrameLayout& layout,
                std::uint8_t* block);
// SplitBlock of channels first .. first + count - 1 only (into
// channels[first] ...); a range past the frame's channels converts nothing.
void SplitChannels(const std::uint8_t* block, std::uint32_t len, const TFrameLayout& layout,
                   std::uint32_t first, std::uint32_t count, double* const* channels);

// What the merge of a run's blocks did to the decoded signal: samples clamped
// to full scale by an integer layout, and the largest magnitude decoded.
struct TSampleStats {
  std::uint64_t Clipped = 0;
  double Peak = 0;  // full scale 1.0
};

// MergeBlock that also adds what it wrote to stats: a sample counts as
// clipped exactly when the merge clamps it (float layouts clip nothing), and
// the peak is the largest magnitude merged (NaN is never a peak). A trailing
// part of a frame is written, so measured, whole.
void MergeBlock(const double* const* channels, std::uint32_t len, const TFrameLayout& layout,
                std::uint8_t* block, TSampleStats& stats);

}  // namespace zorv
