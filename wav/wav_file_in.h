// The WAV reader: opens one file at a time, walks its chunks to the format
// fields and the sample data, and hands the data out in blocks of at most
// 38400 bytes through a buffer of its own.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "wav/byte_source.h"
#include "wav/header_image.h"

namespace zorv {

// Bytes of the reader's and the writer's block buffer.
inline constexpr std::uint32_t kWavBufferBytes = 38400;

// Results of TWavFileIn::ReadHeader.
enum TReadHeaderResult : std::int32_t {
  rhOk = 0,
  rhNoRiff = -1,  // the first four bytes are not "RIFF"
  rhNoWave = -2,  // bytes 8..11 are not "WAVE"
  rhNoFmt = -3,   // no "fmt " chunk before the end of the RIFF chunk (or of the file)
  rhNoData = -4,  // no "data" chunk after the format fields
};

// Why the data ended before its declared size. A file whose data chunk claims
// more than the file held when it was opened simply ends (None); a read that
// fails, or a file that became shorter while it was read, is a failure.
enum class TReadFailure { None, Error, Shrank };

class TWavFileIn {
 public:
  // pb: start of Buffer; l: valid bytes there.
  using TBufferReadyEvent = std::function<void(const std::uint8_t* pb, std::uint32_t l)>;
  using TEOFReachedEvent = std::function<void()>;

  static constexpr std::uint32_t kDefaultTimeInterval = 100;  // ms
  static constexpr std::uint32_t kMinTimeInterval = 10;
  static constexpr std::uint32_t kMaxTimeInterval = 500;

  TWavFileIn();
  ~TWavFileIn();
  TWavFileIn(const TWavFileIn&) = delete;
  TWavFileIn& operator=(const TWavFileIn&) = delete;

  // Published properties.
  std::string Filename;
  bool UseTimer = false;    // kept for the timer-driven mode; nothing reads it
  bool RepeatFile = false;  // at the end of the data, rewind instead of stopping
  TBufferReadyEvent OnBufferReady;
  TEOFReachedEvent OnEOFReached;

  std::uint32_t TimeInterval() const { return TimeInterval_; }
  // Clamps to 10..500 ms, then UpdateBufferSize.
  void SetTimeInterval(std::uint32_t ms);

  // Opens Filename read-only; false when it cannot be opened. Closes an open
  // file first.
  bool OpenFile();
  // Opens an in-memory image of a file instead (tests, fuzzing). The bytes
  // must outlive the reader's use of them.
  bool OpenMemory(const std::uint8_t* data, std::size_t size);
  void CloseFile();
  bool IsOpen() const { return Source_ != nullptr; }

  // Walks the header; a TReadHeaderResult.
  std::int32_t ReadHeader();
  void UpdateBufferSize();
  // Next block into Buffer; its byte count (0 at the end).
  std::uint32_t ReadBuffer();
  // Set by a ReadBuffer that came back short through a failure; cleared when
  // a file is opened. ReadErrno: the system's error number for Error.
  TReadFailure ReadFailure() const { return ReadFailure_; }
  int ReadErrno() const { return ReadErrno_; }
  void Stop() { TimerEnabled_ = false; }
  void TimerTick() { ReadBuffer(); }
  bool TimerEnabled() const { return TimerEnabled_; }

  const THeaderImage& HeaderImage() const { return HeaderImage_; }
  const std::uint8_t* Buffer() const { return Buffer_.data(); }
  // The buffer pointer handed to OnBufferReady: null until the first
  // successful OpenFile.
  const std::uint8_t* BufferPointer() const { return BufferPointer_; }

  std::uint32_t DataStart() const { return DataStart_; }
  std::uint32_t DataRemaining() const { return DataRemaining_; }
  std::uint32_t BlockBytes() const { return BlockBytes_; }
  std::uint32_t BlockFrames() const { return BlockFrames_; }
  // 32-bit copies of the header fields, filled as ReadHeader reads them.
  std::uint32_t FormatTag() const { return FormatTag_; }
  std::uint32_t BlockAlign() const { return BlockAlign_; }
  std::uint32_t Channels() const { return Channels_; }
  std::uint32_t SampleRate() const { return SampleRate_; }

 private:
  // Reads n bytes into the image at offset; what a short read did not fill
  // is cleared. True when all n bytes came.
  bool ReadSlot(std::size_t offset, std::size_t n);
  // Seeks to an absolute position within the source; DataStart follows.
  bool SeekTo(std::uint64_t position);
  // Reads the format fields of a fmt chunk whose body starts at the current
  // position and normalises an extensible chunk of PCM or float samples.
  void ReadFormatFields(std::uint32_t declared_size);
  // Bytes of a block at the current interval, before the cap to Buffer.
  std::uint64_t UncappedBlockBytes() const;
  // Tells a short block read from a failure (see TReadFailure).
  void NoteShortRead();

  std::unique_ptr<TByteSource> Source_;
  bool TimerEnabled_ = false;
  std::uint64_t DataStartPosition_ = 0;  // DataStart, not cut to 32 bits
  std::uint32_t DataStart_ = 0;
  std::uint32_t BlockBytes_ = 0;
  std::uint32_t BlockFrames_ = 0;
  std::uint32_t FormatTag_ = 0;
  std::uint32_t BlockAlign_ = 0;
  std::uint32_t Channels_ = 0;
  std::uint32_t SampleRate_ = 0;
  std::uint32_t TimeInterval_ = kDefaultTimeInterval;
  std::uint32_t DataRemaining_ = 0;
  TReadFailure ReadFailure_ = TReadFailure::None;
  int ReadErrno_ = 0;
  const std::uint8_t* BufferPointer_ = nullptr;
  std::array<std::uint8_t, kWavBufferBytes> Buffer_{};
  THeaderImage HeaderImage_;
};

}  // namespace zorv
