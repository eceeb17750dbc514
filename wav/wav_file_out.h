// The WAV writer: creates the output file, writes the canonical 44-byte
// header and the sample blocks, and rewrites the header with the final sizes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "wav/header_image.h"
#include "wav/wav_file_in.h"

namespace zorv {

class TWavFileOut {
 public:
  // pb: start of Buffer; l: a byte count.
  using TBufferReadyEvent = std::function<void(const std::uint8_t* pb, std::uint32_t l)>;
  using TBufferWrittenEvent = std::function<void(const std::uint8_t* pb, std::uint32_t l)>;

  static constexpr const char* kDefaultFilename = "naltout.wav";

  TWavFileOut();
  ~TWavFileOut();  // closes a file still open
  TWavFileOut(const TWavFileOut&) = delete;
  TWavFileOut& operator=(const TWavFileOut&) = delete;

  // Published properties.
  std::string Filename = kDefaultFilename;
  bool UseTimer = false;
  TBufferReadyEvent OnBufferReady;  // never raised
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

  void CloseFile();
  bool IsOpen() const { return Fd_ >= 0; }
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
  void TimerTick() { WriteBuffer(static_cast<std::int32_t>(BlockBytes_)); }

  // True once any header write, block write or the closing of the file has
  // failed (or written less than asked) since the file was opened: the file
  // on disk does not hold everything the counters and the header claim.
  bool WriteFailed() const { return WriteFailed_; }
  // The system's error number of the first failure (0 when there was none,
  // or when it was the size limit below).
  int WriteErrno() const { return WriteErrno_; }
  // A block was refused, in part or whole, because the data would no longer
  // fit the header's 32-bit size fields.
  bool SizeLimitReached() const { return SizeLimitReached_; }

  THeaderImage& HeaderImage() { return HeaderImage_; }
  const THeaderImage& HeaderImage() const { return HeaderImage_; }
  std::uint8_t* Buffer() { return Buffer_.data(); }
  std::uint32_t HeaderBytes() const { return HeaderBytes_; }
  std::uint32_t TotalBytes() const { return TotalBytes_; }
  std::uint32_t BlockBytes() const { return BlockBytes_; }

 private:
  int Fd_ = -1;
  bool TimerEnabled_ = false;
  std::uint32_t TimerInterval_ = 100;
  std::uint32_t BlockBytes_ = 0;
  bool IsRunning_ = false;
  bool WriteFailed_ = false;
  int WriteErrno_ = 0;
  bool SizeLimitReached_ = false;
  std::uint8_t* BufferPointer_ = nullptr;
  std::array<std::uint8_t, kWavBufferBytes> Buffer_{};
  THeaderImage HeaderImage_;
  std::uint32_t HeaderBytes_ = 0;
  std::uint32_t TotalBytes_ = 0;

  // Marks the file as failed; the first error number is kept.
  void Fail(int error);
  // Closes an open file and clears the counters and failures for the next.
  void Restart();
  void Begin(int fd);
};

}  // namespace zorv
