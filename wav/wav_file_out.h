// SPDX-License-Identifier: GPL-3.0-or-later
// The WAV writer: creates the output file (or writes to a stream or to
// memory), writes the header and the sample blocks, and rewrites the header
// with the final sizes where the target can be rewritten.
#pragma once

#include <array>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "wav/byte_sink.h"
#include "wav/header_image.h"
#include "wav/wav_file_in.h"

namespace zorv {

class TWavFileOut {
 public:
  // pb: start of Buffer; l: a byte count.
  using TBufferWrittenEvent = std::function<void(const std::uint8_t* pb, std::uint32_t l)>;

  TWavFileOut();
  ~TWavFileOut();  // closes a file still open
  TWavFileOut(const TWavFileOut&) = delete;
  TWavFileOut& operator=(const TWavFileOut&) = delete;

  // Published properties.
  std::string Filename;
  TBufferWrittenEvent OnBufferWritten;

  std::uint32_t TimerInterval() const { return TimerInterval_; }
  // Clamps to 10..500 ms, then UpdateBufferSize.
  void SetTimerInterval(std::uint32_t ms);

  // Empty name: false, nothing changes. Otherwise Filename := name, OpenFile.
  bool OpenFileNamed(const std::string& name);
  // Creates (or truncates) Filename; false when it cannot be created.
  bool OpenFile();
  // Takes over a file its caller has created for writing, as OpenFile would
  // after creating it; the writer closes it. False for a negative fd.
  bool AdoptFile(int fd, const std::string& name);
  // Writes to a descriptor that is already open, such as standard output;
  // the target cannot be rewritten (Seekable false). The descriptor stays
  // open after CloseFile.
  void OpenStream(int fd);
  // Writes into bytes (tests, fuzzing); they must outlive the writer's use.
  void OpenMemory(std::vector<std::uint8_t>& bytes);
  // Writes to a sink its caller has made (a FLAC file); false for none.
  bool OpenSink(std::unique_ptr<TByteSink> sink, const std::string& name);
  void CloseFile();
  bool IsOpen() const { return Sink_ != nullptr; }
  // False for a stream: the header is written once and never rewritten.
  bool Seekable() const { return Sink_ && Sink_->Seekable(); }
  bool IsRunning() const { return IsRunning_; }

  // Bytes 0..35 of HeaderImage at offset 0; HeaderBytes := 36.
  bool WriteHeader();
  // Bytes 36..43 at the current position; HeaderBytes += 8.
  bool WriteDataHeader();
  // The first count bytes of Buffer at the current position; TotalBytes grows
  // by what the file took.
  void WriteBuffer(std::int32_t count);
  void Stop();
  void UpdateBufferSize();

  // Header and chunk bytes: n bytes at the current position, or at an
  // absolute one (which needs Seekable); HeaderBytes grows by what was put at
  // the current position. False when the target did not take them all.
  bool WriteBytes(const void* data, std::size_t n);
  bool WriteBytesAt(std::uint64_t position, const void* data, std::size_t n);
  // Moves everything from position to the end n bytes on, the position
  // then at the new end (see TByteSink::MakeRoom). A refusal leaves the
  // target and the writer as they were; a failure while moving is a failed
  // write.
  bool MakeRoom(std::uint64_t position, std::uint64_t n);
  std::uint64_t Position() const { return Sink_ ? Sink_->Position() : 0; }

  // True once any header write, block write or the closing of the file has
  // failed (or written less than asked) since the file was opened: the file
  // on disk does not hold everything the counters and the header claim.
  bool WriteFailed() const { return WriteFailed_; }
  // The system's error number of the first failure (0 when there was none).
  int WriteErrno() const { return WriteErrno_; }
  // The write that failed gave up waiting for a stream because a stop was
  // requested: the output ends there, as after Abort.
  bool Interrupted() const { return WriteFailed_ && WriteErrno_ == EINTR; }

  THeaderImage& HeaderImage() { return HeaderImage_; }
  const THeaderImage& HeaderImage() const { return HeaderImage_; }
  std::uint8_t* Buffer() { return Buffer_.data(); }
  // Header and chunk bytes, and sample bytes, written since the file was
  // opened.
  std::uint64_t HeaderBytes() const { return HeaderBytes_; }
  std::uint64_t TotalBytes() const { return TotalBytes_; }
  std::uint32_t BlockBytes() const { return BlockBytes_; }

 private:
  void Open(std::unique_ptr<TByteSink> sink);

  std::unique_ptr<TByteSink> Sink_;
  std::uint32_t TimerInterval_ = 100;
  std::uint32_t BlockBytes_ = 0;
  bool IsRunning_ = false;
  bool WriteFailed_ = false;
  int WriteErrno_ = 0;
  std::uint8_t* BufferPointer_ = nullptr;
  std::array<std::uint8_t, kWavBufferBytes> Buffer_{};
  THeaderImage HeaderImage_;
  std::uint64_t HeaderBytes_ = 0;
  std::uint64_t TotalBytes_ = 0;

  // Marks the file as failed; the first error number is kept.
  void Fail(int error);
  // Closes an open file and clears the counters and failures for the next.
  void Restart();
};

}  // namespace zorv
