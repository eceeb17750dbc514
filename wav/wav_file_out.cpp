// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/wav_file_out.h"

#include <algorithm>
#include <cerrno>

namespace zorv {
namespace {

constexpr std::uint32_t kMinTimerInterval = 10;  // ms
constexpr std::uint32_t kMaxTimerInterval = 500;

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

TWavFileOut::~TWavFileOut() = default;

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

void TWavFileOut::Restart() {
  HeaderBytes_ = 0;
  TotalBytes_ = 0;
  if (IsOpen()) CloseFile();
  WriteFailed_ = false;
  WriteErrno_ = 0;
}

void TWavFileOut::Open(std::unique_ptr<TByteSink> sink) {
  Sink_ = std::move(sink);
  BufferPointer_ = Buffer_.data();
}

bool TWavFileOut::OpenFile() {
  Restart();
  auto sink = CreateFileSink(Filename);
  if (!sink) return false;
  Open(std::move(sink));
  return true;
}

bool TWavFileOut::AdoptFile(int fd, const std::string& name) {
  Restart();
  auto sink = FileSink(fd);
  if (!sink) return false;
  Filename = name;
  Open(std::move(sink));
  return true;
}

void TWavFileOut::OpenStream(int fd) {
  Restart();
  Open(StreamSink(fd));
}

void TWavFileOut::OpenMemory(std::vector<std::uint8_t>& bytes) {
  Restart();
  Open(MemorySink(bytes));
}

bool TWavFileOut::OpenSink(std::unique_ptr<TByteSink> sink, const std::string& name) {
  Restart();
  if (!sink) return false;
  Filename = name;
  Open(std::move(sink));
  return true;
}

void TWavFileOut::CloseFile() {
  if (!IsOpen()) return;
  if (IsRunning_) Stop();
  if (!Sink_->Close()) Fail(Sink_->Error());
  Sink_.reset();
}

bool TWavFileOut::WriteBytes(const void* data, std::size_t n) {
  const bool ok = IsOpen() && Sink_->Write(data, n) == n;
  if (!ok) Fail(IsOpen() ? Sink_->Error() : EBADF);
  HeaderBytes_ += n;
  return ok;
}

bool TWavFileOut::WriteBytesAt(std::uint64_t position, const void* data, std::size_t n) {
  if (!IsOpen() || !Sink_->Seekable()) {
    Fail(IsOpen() ? ESPIPE : EBADF);
    return false;
  }
  const std::uint64_t back = Sink_->Position();
  bool ok = Sink_->Seek(position) && Sink_->Write(data, n) == n;
  ok = Sink_->Seek(back) && ok;
  if (!ok) Fail(Sink_->Error());
  return ok;
}

bool TWavFileOut::MakeRoom(std::uint64_t position, std::uint64_t n) {
  if (!IsOpen() || WriteFailed_) return false;
  const TByteSink::TRoom room = Sink_->MakeRoom(position, n);
  if (room == TByteSink::TRoom::Failed) Fail(Sink_->Error());
  return room == TByteSink::TRoom::Made;
}

bool TWavFileOut::WriteHeader() {
  bool ok = IsOpen() && Sink_->Seek(0);
  if (ok) ok = Sink_->Write(HeaderImage_.Data(), THeaderImage::kDataId) == THeaderImage::kDataId;
  if (!ok) Fail(IsOpen() ? Sink_->Error() : EBADF);
  HeaderBytes_ = THeaderImage::kDataId;
  UpdateBufferSize();
  while (BlockBytes_ > kWavBufferBytes && TimerInterval_ > kMinTimerInterval) {
    SetTimerInterval(TimerInterval_ / 2);
  }
  return ok;
}

bool TWavFileOut::WriteDataHeader() {
  constexpr std::size_t kBytes = kHeaderImageBytes - THeaderImage::kDataId;
  const bool ok =
      IsOpen() && Sink_->Write(HeaderImage_.Data() + THeaderImage::kDataId, kBytes) == kBytes;
  if (!ok) Fail(IsOpen() ? Sink_->Error() : EBADF);
  HeaderBytes_ += kBytes;
  return ok;
}

void TWavFileOut::WriteBuffer(std::int32_t count) {
  BufferPointer_ = Buffer_.data();
  // Never more than Buffer holds.
  const std::uint32_t asked = count > 0 ? static_cast<std::uint32_t>(count) : 0;
  const std::uint32_t allowed = std::min(asked, kWavBufferBytes);
  std::uint32_t written = 0;
  if (allowed > 0 && IsOpen()) {
    written = static_cast<std::uint32_t>(Sink_->WriteSamples(Buffer_.data(), allowed));
  }
  // A count beyond Buffer is the caller's fault, not the system's.
  if (written < asked) Fail(!IsOpen() ? EBADF : written < allowed ? Sink_->Error() : 0);
  if (OnBufferWritten) OnBufferWritten(BufferPointer_, written);
  TotalBytes_ += written;
}

void TWavFileOut::Stop() {
  IsRunning_ = false;
}

}  // namespace zorv
