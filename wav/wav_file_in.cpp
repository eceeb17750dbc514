#include "wav/wav_file_in.h"

#include <algorithm>
#include <cstring>

namespace zorv {
namespace {

// Chunk bodies of odd size are followed by one pad byte.
std::uint64_t PaddedSize(std::uint32_t size) {
  return static_cast<std::uint64_t>(size) + (size & 1u);
}

// Format fields every fmt chunk starts with, and the extension that follows
// them in a WAVE_FORMAT_EXTENSIBLE chunk: cbSize (2), valid bits (2), channel
// mask (4), sub-format GUID (16).
constexpr std::uint32_t kFormatFieldBytes = 16;
constexpr std::size_t kExtensionBytes = 24;
constexpr std::uint32_t kExtensibleFmtBytes = kFormatFieldBytes + 2 + 22;
constexpr std::uint16_t kExtensibleCbSize = 22;
constexpr std::size_t kSubFormatOffset = 8;
// The sub-format GUID of PCM and float is the plain format tag in its first
// two bytes followed by these, as stored in the file.
constexpr std::uint8_t kSubFormatGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

TWavFileIn::TWavFileIn() = default;

TWavFileIn::~TWavFileIn() = default;

void TWavFileIn::SetTimeInterval(std::uint32_t ms) {
  TimeInterval_ = std::clamp(ms, kMinTimeInterval, kMaxTimeInterval);
  UpdateBufferSize();
}

bool TWavFileIn::OpenFile() {
  if (IsOpen()) CloseFile();
  auto source = OpenFileSource(Filename);
  if (!source) return false;
  Source_ = std::move(source);
  BufferPointer_ = Buffer_.data();
  ReadFailure_ = TReadFailure::None;
  ReadErrno_ = 0;
  return true;
}

bool TWavFileIn::OpenMemory(const std::uint8_t* data, std::size_t size) {
  if (IsOpen()) CloseFile();
  Source_ = MemorySource(data, size);
  BufferPointer_ = Buffer_.data();
  ReadFailure_ = TReadFailure::None;
  ReadErrno_ = 0;
  return true;
}

void TWavFileIn::CloseFile() {
  Source_.reset();
}

bool TWavFileIn::ReadSlot(std::size_t offset, std::size_t n) {
  std::uint8_t* slot = HeaderImage_.Data() + offset;
  const std::size_t got = Source_->Read(slot, n);
  std::fill(slot + got, slot + n, std::uint8_t{0});
  return got == n;
}

bool TWavFileIn::SeekTo(std::uint64_t position) {
  if (!Source_->Seek(position)) return false;
  DataStartPosition_ = position;
  DataStart_ = static_cast<std::uint32_t>(position);
  return true;
}

void TWavFileIn::ReadFormatFields(std::uint32_t declared_size) {
  // A chunk shorter than the fields holds only their first part; the rest
  // stays zero rather than being taken from the chunk behind it.
  ReadSlot(THeaderImage::kFormatTag, std::min(declared_size, kFormatFieldBytes));
  if (HeaderImage_.FormatTag() == kFormatExtensible && declared_size >= kExtensibleFmtBytes) {
    std::uint8_t extension[kExtensionBytes] = {};
    const bool complete = Source_->Read(extension, kExtensionBytes) == kExtensionBytes;
    const std::uint8_t* sub_format = extension + kSubFormatOffset;
    const std::uint16_t plain_tag = Le16(sub_format);
    if (complete && Le16(extension) >= kExtensibleCbSize &&
        (plain_tag == kFormatPcm || plain_tag == kFormatIeeeFloat) &&
        std::memcmp(sub_format + 2, kSubFormatGuidTail, sizeof kSubFormatGuidTail) == 0) {
      // The image becomes the canonical header of the same audio.
      HeaderImage_.SetFormatTag(plain_tag);
      HeaderImage_.SetFmtSize(kFormatFieldBytes);
    }
  } else if (HeaderImage_.FormatTag() != kFormatExtensible && declared_size > kFormatFieldBytes) {
    HeaderImage_.SetFmtSize(kFormatFieldBytes);
  }
  FormatTag_ = HeaderImage_.FormatTag();
  Channels_ = HeaderImage_.Channels();
  SampleRate_ = HeaderImage_.SampleRate();
  BlockAlign_ = HeaderImage_.BlockAlign();
}

std::int32_t TWavFileIn::ReadHeader() {
  // Every field starts empty, so nothing of an earlier file can be taken for
  // a field this file does not hold.
  HeaderImage_ = THeaderImage{};
  FormatTag_ = Channels_ = SampleRate_ = BlockAlign_ = 0;
  if (!Source_ || !SeekTo(0)) return rhNoRiff;
  ReadSlot(THeaderImage::kRiffId, 8);
  if (!HeaderImage_.IdIs(THeaderImage::kRiffId, "RIFF")) return rhNoRiff;
  ReadSlot(THeaderImage::kFormType, 4);
  if (!HeaderImage_.IdIs(THeaderImage::kFormType, "WAVE")) return rhNoWave;

  // A chunk header may start at most at the RIFF size: it then ends exactly
  // where the RIFF chunk ends (a zero-length last chunk). A header cut short
  // by the end of the source ends the walk, so each pass moves at least 8
  // bytes forward; no seek goes past the end of the source: both walks end.
  const std::uint64_t last_header = HeaderImage_.RiffSize();

  std::uint64_t next = Source_->Position();
  for (;;) {
    if (next > last_header || !SeekTo(next)) return rhNoFmt;
    if (!ReadSlot(THeaderImage::kFmtId, 8)) return rhNoFmt;
    if (HeaderImage_.IdIs(THeaderImage::kFmtId, "fmt ")) break;
    next = Source_->Position() + PaddedSize(HeaderImage_.FmtSize());
  }

  const std::uint32_t fmt_size = HeaderImage_.FmtSize();
  const std::uint64_t fmt_body = Source_->Position();
  ReadFormatFields(fmt_size);

  next = fmt_body + PaddedSize(fmt_size);
  for (;;) {
    if (next > last_header || !SeekTo(next)) return rhNoData;
    if (!ReadSlot(THeaderImage::kDataId, 8)) return rhNoData;
    if (HeaderImage_.IdIs(THeaderImage::kDataId, "data")) break;
    next = Source_->Position() + PaddedSize(HeaderImage_.DataSize());
  }

  DataRemaining_ = HeaderImage_.DataSize();
  SeekTo(Source_->Position());
  UpdateBufferSize();
  while (UncappedBlockBytes() > kWavBufferBytes && TimeInterval_ > kMinTimeInterval) {
    SetTimeInterval(TimeInterval_ / 2);
  }
  return rhOk;
}

std::uint64_t TWavFileIn::UncappedBlockBytes() const {
  const std::uint64_t frames =
      static_cast<std::uint64_t>(HeaderImage_.SampleRate()) * TimeInterval_ / 1000;
  return frames * HeaderImage_.BlockAlign();
}

void TWavFileIn::UpdateBufferSize() {
  const std::uint32_t rate = HeaderImage_.SampleRate();
  const std::uint32_t align = HeaderImage_.BlockAlign();
  if (rate == 0) {
    BlockFrames_ = 0;
    BlockBytes_ = 0;
    return;
  }
  std::uint64_t frames = static_cast<std::uint64_t>(rate) * TimeInterval_ / 1000;
  // When even the shortest interval does not fit, the block holds as many
  // whole frames as Buffer does (none, for a frame larger than Buffer).
  if (frames * align > kWavBufferBytes) frames = kWavBufferBytes / align;
  BlockFrames_ = static_cast<std::uint32_t>(frames);
  BlockBytes_ = static_cast<std::uint32_t>(frames * align);
}

void TWavFileIn::NoteShortRead() {
  if (!Source_ || ReadFailure_ != TReadFailure::None) return;
  if (Source_->ReadErrno() != 0) {
    ReadFailure_ = TReadFailure::Error;
    ReadErrno_ = Source_->ReadErrno();
  } else if (Source_->Position() < Source_->Size()) {
    // The end came before the file's size at opening: it was cut meanwhile.
    ReadFailure_ = TReadFailure::Shrank;
  }
}

std::uint32_t TWavFileIn::ReadBuffer() {
  if (BlockBytes_ <= DataRemaining_) {
    DataRemaining_ -= BlockBytes_;
  } else {
    BlockBytes_ = DataRemaining_;
    DataRemaining_ = 0;
  }
  const std::uint32_t wanted = std::min(BlockBytes_, kWavBufferBytes);
  std::uint32_t count = 0;
  if (Source_ && wanted > 0)
    count = static_cast<std::uint32_t>(Source_->Read(Buffer_.data(), wanted));
  if (count < wanted) NoteShortRead();

  if (count < BlockBytes_ || count == 0) {
    if (RepeatFile) {
      // Start the data chunk over with its full size and block.
      if (Source_) Source_->Seek(DataStartPosition_);
      DataRemaining_ = HeaderImage_.DataSize();
      UpdateBufferSize();
    } else {
      Stop();
      if (OnEOFReached) OnEOFReached();
    }
  }
  if (OnBufferReady) OnBufferReady(BufferPointer_, count);
  return count;
}

}  // namespace zorv
