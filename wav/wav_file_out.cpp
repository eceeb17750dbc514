#include "wav/wav_file_out.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zorv {
namespace {

constexpr std::uint32_t kMinTimerInterval = 10;  // ms
constexpr std::uint32_t kMaxTimerInterval = 500;
// The RIFF size (36 + data bytes) must fit its 32-bit field.
constexpr std::uint32_t kMaxDataBytes = 0xFFFFFFFFu - 36u;

// Writes n bytes, going on after partial writes and interrupted calls; the
// count the file took, short on the first error, whose number is in error.
std::size_t WriteAll(int fd, const std::uint8_t* data, std::size_t n, int& error) {
  std::size_t done = 0;
  error = 0;
  while (done < n) {
    const ssize_t put = ::write(fd, data + done, n - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      // A write that takes nothing without an error only happens on a full device.
      error = put < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<std::size_t>(put);
  }
  return done;
}

// The header of a mono file of 16-bit samples at 8000 Hz with no data.
THeaderImage DefaultHeader() {
  THeaderImage h;
  h.SetId(THeaderImage::kRiffId, "RIFF");
  h.SetRiffSize(0);
  h.SetId(THeaderImage::kFormType, "WAVE");
  h.SetId(THeaderImage::kFmtId, "fmt ");
  h.SetFmtSize(16);
  h.SetFormatTag(kFormatPcm);
  h.SetChannels(1);
  h.SetSampleRate(8000);
  h.SetByteRate(16000);
  h.SetBlockAlign(2);
  h.SetBitsPerSample(16);
  h.SetId(THeaderImage::kDataId, "data");
  h.SetDataSize(0);
  return h;
}

}  // namespace

TWavFileOut::TWavFileOut() : HeaderImage_(DefaultHeader()) {}

TWavFileOut::~TWavFileOut() {
  if (IsOpen()) ::close(Fd_);
}

void TWavFileOut::SetTimerInterval(std::uint32_t ms) {
  TimerInterval_ = std::clamp(ms, kMinTimerInterval, kMaxTimerInterval);
  UpdateBufferSize();
}

void TWavFileOut::UpdateBufferSize() {
  const std::uint64_t rate = HeaderImage_.SampleRate();
  if (rate == 0) {
    BlockBytes_ = 0;
    return;
  }
  const std::uint64_t bytes = rate * TimerInterval_ / 1000 * HeaderImage_.BlockAlign();
  BlockBytes_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, 0xFFFFFFFFu));
}

bool TWavFileOut::OpenFileNamed(const std::string& name) {
  if (name.empty()) return false;
  Filename = name;
  return OpenFile();
}

void TWavFileOut::Fail(int error) {
  if (!WriteFailed_) WriteErrno_ = error;
  WriteFailed_ = true;
}

void TWavFileOut::Begin(int fd) {
  Fd_ = fd;
  BufferPointer_ = Buffer_.data();
}

void TWavFileOut::Restart() {
  HeaderBytes_ = 0;
  TotalBytes_ = 0;
  if (IsOpen()) CloseFile();
  WriteFailed_ = false;
  WriteErrno_ = 0;
  SizeLimitReached_ = false;
}

bool TWavFileOut::AdoptFile(int fd, const std::string& name) {
  Restart();
  if (fd < 0) return false;
  Filename = name;
  Begin(fd);
  return true;
}

bool TWavFileOut::OpenFile() {
  Restart();
  // O_NONBLOCK: a named pipe without a reader fails at once (ENXIO) instead
  // of making the open wait for a reader for ever. Writes block as usual.
  int fd;
  do {
    fd = ::open(Filename.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  Begin(fd);
  return true;
}

void TWavFileOut::CloseFile() {
  if (!IsOpen()) return;
  if (IsRunning_) Stop();
  // Linux releases the descriptor even when close() is interrupted; any
  // other failure means data may not have reached the file.
  if (::close(Fd_) != 0 && errno != EINTR) Fail(errno);
  Fd_ = -1;
}

bool TWavFileOut::WriteHeader() {
  int error = IsOpen() ? 0 : EBADF;
  bool ok = IsOpen() && ::lseek(Fd_, 0, SEEK_SET) == 0;
  if (IsOpen() && !ok) error = errno;
  if (ok) {
    ok = WriteAll(Fd_, HeaderImage_.Data(), THeaderImage::kDataId, error) == THeaderImage::kDataId;
  }
  if (!ok) Fail(error);
  HeaderBytes_ = THeaderImage::kDataId;
  UpdateBufferSize();
  while (BlockBytes_ > kWavBufferBytes && TimerInterval_ > kMinTimerInterval) {
    SetTimerInterval(TimerInterval_ / 2);
  }
  return ok;
}

bool TWavFileOut::WriteDataHeader() {
  constexpr std::size_t kBytes = kHeaderImageBytes - THeaderImage::kDataId;
  int error = EBADF;
  const bool ok = IsOpen() && WriteAll(Fd_, HeaderImage_.Data() + THeaderImage::kDataId, kBytes,
                                       error) == kBytes;
  if (!ok) Fail(error);
  HeaderBytes_ += kBytes;
  return ok;
}

void TWavFileOut::WriteBuffer(std::int32_t count) {
  BufferPointer_ = Buffer_.data();
  // Never more than Buffer holds, nor more than the header's size fields
  // can state.
  const std::uint32_t asked = count > 0 ? static_cast<std::uint32_t>(count) : 0;
  const std::uint32_t allowed = std::min({asked, kWavBufferBytes, kMaxDataBytes - TotalBytes_});
  std::uint32_t written = 0;
  int error = IsOpen() ? 0 : EBADF;
  if (allowed > 0 && IsOpen()) {
    written = static_cast<std::uint32_t>(WriteAll(Fd_, Buffer_.data(), allowed, error));
  }
  if (written < asked) {
    const bool limit = error == 0 && allowed < std::min(asked, kWavBufferBytes);
    if (limit && !WriteFailed_) SizeLimitReached_ = true;
    Fail(error);
  }
  if (OnBufferWritten) OnBufferWritten(BufferPointer_, written);
  TotalBytes_ += written;
}

void TWavFileOut::Stop() {
  TimerEnabled_ = false;
  IsRunning_ = false;
}

}  // namespace zorv
