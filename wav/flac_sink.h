// SPDX-License-Identifier: GPL-3.0-or-later
// A FLAC file written as the WAV writer writes a WAV file: the writer's RIFF
// chunks are kept as `flac --keep-foreign-metadata` keeps them (wav/flac_riff.h),
// its samples encoded by libFLAC (and decoded again to check each frame), the
// STREAMINFO MD5 set. The writer may go back to patch what it wrote before
// or after the samples, and make room in a chunk before them, as in a WAV
// file; the FLAC file is laid out when the sink is closed.
//
// The encoded frames go to the target as they come, behind room left for the
// metadata; chunks that outgrow the room move the frames on once, at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "wav/byte_sink.h"

namespace zorv {

class TFlacSink final : public TByteSink {
 public:
  // Over target, which must be seekable; null otherwise.
  static std::unique_ptr<TFlacSink> Create(std::unique_ptr<TByteSink> target);
  ~TFlacSink() override;
  TFlacSink(const TFlacSink&) = delete;
  TFlacSink& operator=(const TFlacSink&) = delete;

  // Chunk bytes before or after the samples (EINVAL for a write among
  // them); samples right behind the data chunk's header, which must come
  // with a fmt chunk of 16-, 24- or 32-bit integer samples, 1 to 8 channels
  // (EINVAL otherwise).
  std::size_t Write(const void* data, std::size_t n) override;
  std::size_t WriteSamples(const void* data, std::size_t n) override;
  bool Seek(std::uint64_t position) override;
  std::uint64_t Position() const override { return Position_; }
  bool Seekable() const override { return true; }
  // Lays the FLAC file out and closes the target: false when the chunks
  // cannot be kept (EFBIG: a chunk larger than a metadata block holds), the
  // encoder's check of a frame failed (EIO) or the target failed.
  bool Close() override;
  // Before or after the samples only.
  TRoom MakeRoom(std::uint64_t position, std::uint64_t n) override;

  struct TEncoder;

 private:
  explicit TFlacSink(std::unique_ptr<TByteSink> target);
  bool Begin();
  bool Encode(const std::uint8_t* bytes, std::size_t n);
  bool Finish();
  bool Failed(int error);
  // Puts bytes at offset into one of the parts, growing it.
  static void Put(std::vector<std::uint8_t>& part, std::uint64_t offset, const void* data,
                  std::size_t n);
  std::uint64_t End() const { return Head_.size() + SampleBytes_ + Tail_.size(); }

  friend struct TEncoder;
  std::unique_ptr<TByteSink> Target_;
  std::unique_ptr<TEncoder> Encoder_;
  bool Closed_ = false;
  bool Broken_ = false;

  // What the writer wrote: the bytes before the samples, their count, the
  // bytes after them.
  std::vector<std::uint8_t> Head_;
  std::uint64_t SampleBytes_ = 0;
  std::vector<std::uint8_t> Tail_;
  bool SamplesBegun_ = false;
  std::uint64_t Position_ = 0;

  // The format, from the fmt chunk.
  std::uint32_t Channels_ = 0;
  std::uint32_t Bits_ = 0;
  std::uint32_t Rate_ = 0;
  std::uint32_t Mask_ = 0;
  bool Extensible_ = false;
  std::uint32_t FrameBytes_ = 0;
  std::vector<std::uint8_t> Carry_;  // a frame's bytes split between two writes
  std::vector<std::int32_t> Ints_;

  // The encoder's stream: its metadata kept here, its frames in the target
  // from FramesAt_ on.
  std::vector<std::uint8_t> Meta_;
  std::uint64_t MetaEnd_ = 0;
  bool FramesBegun_ = false;
  std::uint64_t EncoderPosition_ = 0;
  std::uint64_t FramesAt_ = 0;
};

}  // namespace zorv
