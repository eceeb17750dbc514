// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/wav_file_in.h"

#include <algorithm>
#include <cstring>

#include "wav/io_stop.h"

namespace zorv {
namespace {

// The position behind a body and its pad byte, saturating instead of
// wrapping for sizes near 2^64.
std::uint64_t Advance(std::uint64_t body, std::uint64_t size) {
  const std::uint64_t padded = size + (size & 1u);
  if (padded < size || padded > UINT64_MAX - body) return UINT64_MAX;
  return body + padded;
}

// Format fields every fmt chunk starts with, and the extension that follows
// them in a WAVE_FORMAT_EXTENSIBLE chunk: cbSize (2), valid bits (2), channel
// mask (4), sub-format GUID (16).
constexpr std::uint32_t kFormatFieldBytes = 16;
constexpr std::uint32_t kExtensibleFmtBytes = kFormatFieldBytes + 2 + 22;
constexpr std::uint16_t kExtensibleCbSize = 22;
constexpr std::size_t kSubFormatOffset = 8;

// Bodies kept in memory on a file; larger ones are read when copied.
constexpr std::uint64_t kHeldChunkBytes = 64u << 10;
constexpr std::uint64_t kMaxFmtBytes = 64u << 10;
// ds64: RIFF size, data size, sample count (8 bytes each), table length (4);
// then table entries of an identifier and a 64-bit size.
constexpr std::uint64_t kDs64FixedBytes = 28;
constexpr std::uint64_t kDs64EntryBytes = 12;
constexpr std::uint64_t kMaxDs64Bytes = 64u << 10;
// The data size some stream writers put in the header when they do not know
// the length: such a stream ends where it ends.
constexpr std::uint64_t kStreamLengthPlaceholder = 0x7FFFF000u;

}  // namespace

TWavFileIn::TWavFileIn() = default;

TWavFileIn::~TWavFileIn() = default;

void TWavFileIn::SetTimeInterval(std::uint32_t ms) {
  TimeInterval_ = std::clamp(ms, kMinTimeInterval, kMaxTimeInterval);
  UpdateBufferSize();
}

bool TWavFileIn::OpenSource(std::unique_ptr<TByteSource> source) {
  if (IsOpen()) CloseFile();
  if (!source) return false;
  Source_ = std::move(source);
  BufferPointer_ = Buffer_.data();
  ReadFailure_ = TReadFailure::None;
  ReadErrno_ = 0;
  ReadFailureText_.clear();
  return true;
}

bool TWavFileIn::OpenFile() {
  return OpenSource(OpenFileSource(Filename));
}

bool TWavFileIn::OpenMemory(const std::uint8_t* data, std::size_t size) {
  return OpenSource(MemorySource(data, size));
}

bool TWavFileIn::OpenStream(int fd) {
  return OpenSource(StreamSource(fd));
}

void TWavFileIn::CloseFile() {
  Source_.reset();
}

bool TWavFileIn::ReadSlot(std::size_t offset, std::size_t n) {
  std::uint8_t* slot = HeaderImage_.Data() + offset;
  const std::size_t got = ReadSome(slot, n);
  std::fill(slot + got, slot + n, std::uint8_t{0});
  return got == n;
}

bool TWavFileIn::SeekTo(std::uint64_t position) {
  // A stream moves forward by reading.
  if (Source_->Seek(position)) return true;
  if (!Source_->Seekable()) NoteShortRead();
  return false;
}

std::size_t TWavFileIn::ReadSome(void* destination, std::size_t n) {
  const std::size_t got = Source_->Read(destination, n);
  if (got < n) NoteShortRead();
  return got;
}

void TWavFileIn::Fail(TReadFailure failure, std::string text) {
  if (ReadFailure_ != TReadFailure::None) return;
  ReadFailure_ = failure;
  ReadFailureText_ = std::move(text);
}

void TWavFileIn::ReadFormatFields() {
  // The fields as the file holds them; a body cut short by the end of the
  // file leaves the rest zero.
  std::uint8_t* fields = HeaderImage_.Data() + THeaderImage::kFormatTag;
  std::fill(fields, fields + kFormatFieldBytes, std::uint8_t{0});
  std::copy_n(FmtBody_.begin(), std::min<std::size_t>(FmtBody_.size(), kFormatFieldBytes), fields);
  const std::uint32_t declared_size = HeaderImage_.FmtSize();
  if (HeaderImage_.FormatTag() == kFormatExtensible && declared_size >= kExtensibleFmtBytes &&
      FmtBody_.size() >= kExtensibleFmtBytes) {
    const std::uint8_t* extension = FmtBody_.data() + kFormatFieldBytes;
    const std::uint8_t* sub_format = extension + kSubFormatOffset;
    const std::uint16_t plain_tag = GetLe16(sub_format);
    if (GetLe16(extension) >= kExtensibleCbSize &&
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

void TWavFileIn::Note(std::string text) {
  constexpr std::size_t kMaxNotes = 20;
  if (Notes_.size() < kMaxNotes) {
    Notes_.push_back(std::move(text));
  } else if (Notes_.size() == kMaxNotes) {
    Notes_.push_back("more chunks left out");
  }
}

bool TWavFileIn::ReadDs64(const std::uint8_t* body, std::uint64_t size) {
  if (size < kDs64FixedBytes) {
    Problem_ = "a ds64 chunk of " + std::to_string(size) + " bytes";
    return false;
  }
  Ds64RiffSize_ = GetLe64(body);
  Ds64DataSize_ = GetLe64(body + 8);
  const std::uint32_t entries = GetLe32(body + 24);
  if (entries > (size - kDs64FixedBytes) / kDs64EntryBytes) {
    Problem_ = "a ds64 table longer than its chunk";
    return false;
  }
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::uint8_t* entry = body + kDs64FixedBytes + i * kDs64EntryBytes;
    Ds64Table_.emplace(GetLe32(entry), GetLe64(entry + 4));
  }
  return true;
}

bool TWavFileIn::Ds64SizesOpen() const {
  const auto open = [](std::uint64_t size) { return size == 0 || size == UINT64_MAX; };
  return open(Ds64RiffSize_) && open(Ds64DataSize_);
}

bool TWavFileIn::ChunkSize(const std::array<char, 4>& id, std::uint32_t size32,
                           std::uint64_t& size) {
  size = size32;
  if (Container_ == TContainer::Riff || size32 != 0xFFFFFFFFu) return true;
  if (std::memcmp(id.data(), "data", 4) == 0) {
    size = Ds64DataSize_;
    return true;
  }
  const auto entry = Ds64Table_.find(GetLe32(reinterpret_cast<const std::uint8_t*>(id.data())));
  if (entry == Ds64Table_.end()) return false;
  size = entry->second;
  return true;
}

bool TWavFileIn::Hold(TChunkInfo& chunk) {
  if (chunk.Size > kMaxHeldBytes - Held_.size()) return false;
  const std::size_t at = Held_.size();
  const auto n = static_cast<std::size_t>(chunk.Size);
  Held_.resize(at + n);
  if (ReadSome(Held_.data() + at, n) != n) {
    Held_.resize(at);
    return false;
  }
  chunk.Held = true;
  chunk.HeldOffset = at;
  return true;
}

TWavFileIn::TWalkEnd TWavFileIn::TrailingEnd(std::uint64_t position, bool betweenChunks) {
  if (ReadFailure_ != TReadFailure::None) return TWalkEnd::Failed;
  const std::uint64_t riffEnd = WalkEnd_ > UINT64_MAX - 8 ? UINT64_MAX : WalkEnd_ + 8;
  const bool runsToEnd = WalkEnd_ == kUnknownSize;
  if (betweenChunks && (runsToEnd || position >= riffEnd)) return TWalkEnd::Done;
  Fail(TReadFailure::StreamEnded, "the stream ended in its chunks behind the data");
  return TWalkEnd::Failed;
}

bool TWavFileIn::ChunksEndAtRiffEnd(std::uint64_t position) {
  if (WalkEnd_ == kUnknownSize || WalkEnd_ == 0) return false;
  const std::uint64_t riffEnd = WalkEnd_ + 8;
  if (riffEnd > Source_->Size() || riffEnd <= position) return false;
  for (std::size_t n = 0; position < riffEnd && n < kMaxChunks; ++n) {
    std::uint8_t header[8] = {};
    if (!SeekTo(position) || ReadSome(header, sizeof header) < sizeof header) return false;
    TChunkInfo chunk;
    std::copy_n(header, 4, chunk.Id.begin());
    if (!ChunkSize(chunk.Id, GetLe32(header + 4), chunk.Size)) return false;
    position = Advance(position + 8, chunk.Size);
  }
  return position == riffEnd;
}

TWavFileIn::TWalkEnd TWavFileIn::Walk(std::uint64_t position, bool trailing) {
  const bool stream = !Source_->Seekable();
  // Chunks walked between two looks at the stop request.
  constexpr std::uint32_t kStopCheckChunks = 4096;
  std::uint32_t sinceStopCheck = 0;
  // A chunk header may start at most at the walk's end: it then ends exactly
  // where the RIFF chunk ends (a zero-length last chunk). A header cut short
  // by the end of the source ends the walk, so each pass moves at least 8
  // bytes forward; no seek goes past the end of the source: the walk ends.
  // A read that fails ends it as a failure; so does, behind a stream's
  // data, the end of a stream whose header says more follows.
  for (;;) {
    if (++sinceStopCheck == kStopCheckChunks) {
      sinceStopCheck = 0;
      if (IoStopRequested()) {
        Fail(TReadFailure::Interrupted, "interrupted");
        return TWalkEnd::Failed;
      }
    }
    if (position > WalkEnd_) return TWalkEnd::Done;
    if (!SeekTo(position)) {
      if (ReadFailure_ != TReadFailure::None) return TWalkEnd::Failed;
      // A stream that ends in the pad byte of its last chunk ends between
      // chunks all the same.
      if (stream && trailing) return TrailingEnd(position, Source_->Position() + 1 >= position);
      return TWalkEnd::Done;
    }
    // Headers read before the format fields are found go to the image's fmt
    // slot, later ones to its data slot, until the data is found.
    std::uint8_t header[8] = {};
    const std::size_t got = ReadSome(header, sizeof header);
    if (!DataFound_) {
      std::uint8_t* slot =
          HeaderImage_.Data() + (FmtFound_ ? THeaderImage::kDataId : THeaderImage::kFmtId);
      std::copy_n(header, 8, slot);
    }
    if (ReadFailure_ != TReadFailure::None) return TWalkEnd::Failed;
    if (got < sizeof header) {
      if (stream && trailing) return TrailingEnd(position, got == 0);
      return TWalkEnd::Done;
    }

    TChunkInfo chunk;
    std::copy_n(header, 4, chunk.Id.begin());
    const std::uint32_t size32 = GetLe32(header + 4);
    chunk.BodyOffset = position + 8;
    chunk.AfterData = DataFound_;
    // Behind the data, what cannot be walked is left out, and said: the
    // samples are all there (a file and a stream alike).
    if (Chunks_.size() >= kMaxChunks) {
      if (DataFound_) {
        Note("more than " + std::to_string(kMaxChunks) + " chunks: the rest left out");
        return TWalkEnd::Done;
      }
      Problem_ = "more than " + std::to_string(kMaxChunks) + " chunks";
      return TWalkEnd::Malformed;
    }
    if (!ChunkSize(chunk.Id, size32, chunk.Size)) {
      const std::string problem = "a chunk '" + chunk.Name() + "' without its size in ds64";
      // Behind the data, a note: the file is not malformed, its samples are
      // all there.
      if (DataFound_) {
        Note(problem + ": the rest left out");
        return TWalkEnd::Done;
      }
      Problem_ = problem;
      return TWalkEnd::Malformed;
    }
    std::uint64_t next = Advance(chunk.BodyOffset, chunk.Size);

    if (chunk.Is("fmt ") || chunk.Is("data")) {
      const bool fmt = chunk.Is("fmt ");
      if (trailing) {
        Note("a " + chunk.Name() + " chunk behind the data: left out");
        position = next;
        continue;
      }
      if (fmt ? FmtFound_ : DataFound_) {
        Problem_ = fmt ? "two fmt chunks" : "two data chunks";
        return TWalkEnd::Malformed;
      }
    }
    if (chunk.Is("fmt ")) {
      if (chunk.Size < kFormatFieldBytes || chunk.Size > kMaxFmtBytes) {
        Problem_ = "a fmt chunk of " + std::to_string(chunk.Size) + " bytes";
        return TWalkEnd::Malformed;
      }
      FmtFound_ = true;
      FmtBody_.resize(static_cast<std::size_t>(chunk.Size));
      FmtBody_.resize(ReadSome(FmtBody_.data(), FmtBody_.size()));
      if (ReadFailure_ != TReadFailure::None) return TWalkEnd::Failed;
      ReadFormatFields();
      Chunks_.push_back(chunk);
      if (FmtBody_.size() < chunk.Size) return TWalkEnd::Done;
    } else if (chunk.Is("data")) {
      DataFound_ = true;
      DataBeforeFmt_ = !FmtFound_;
      // A stream writer that cannot know the length in advance writes 0 or
      // 0xFFFFFFFF: the data runs to the end of the stream.
      // A size of 0 with chunks behind it that end where the RIFF size says
      // is a data chunk of no frames (a complete file); without them, the
      // sizes were never written.
      DataSizeZero_ = chunk.Size == 0 && (stream || !ChunksEndAtRiffEnd(chunk.BodyOffset));
      if (ReadFailure_ != TReadFailure::None) return TWalkEnd::Failed;
      if (stream && Container_ == TContainer::Riff && (size32 == 0 || size32 == 0xFFFFFFFFu)) {
        chunk.Size = kUnknownSize;
      }
      if (Container_ != TContainer::Riff && size32 == 0xFFFFFFFFu) {
        if (Ds64SizesOpen()) {
          // The same for RF64 sizes left open in ds64; in a file, the data
          // then runs to its end.
          chunk.Size =
              stream ? kUnknownSize : Source_->Size() - std::min(chunk.BodyOffset, Source_->Size());
          next = Advance(chunk.BodyOffset, chunk.Size);
        } else if (chunk.Size == UINT64_MAX && !stream) {
          // An open data size under a RIFF size that is not: whether chunks
          // follow the data, and where it ends, cannot be told.
          Problem_ = "a ds64 data size of all ones under a RIFF size of " +
                     std::to_string(Ds64RiffSize_) + " bytes";
          return TWalkEnd::Malformed;
        }
      }
      // A size of 0 (a recorder stopped before it wrote the sizes, a ds64
      // left as it was begun) is read as unknown: the data runs to the end
      // of the file too, and whatever follows it, which cannot be told from
      // samples, is decoded as such (see DataSizeNote).
      if (DataSizeZero_) {
        chunk.Size =
            stream ? kUnknownSize : Source_->Size() - std::min(chunk.BodyOffset, Source_->Size());
        next = Advance(chunk.BodyOffset, chunk.Size);
      }
      DataSize_ = chunk.Size;
      DataStartPosition_ = chunk.BodyOffset;
      Chunks_.push_back(chunk);
      // The samples of a stream follow now; its later chunks come after them.
      if (stream) return TWalkEnd::Done;
    } else {
      const bool fitsHeld = chunk.Size <= kMaxHeldBytes - Held_.size();
      if (stream && trailing && !fitsHeld) {
        // Behind the data of a stream, a chunk that does not fit in memory
        // any more is passed over, and said.
        Note("a chunk '" + chunk.Name() + "' of " + std::to_string(chunk.Size) +
             " bytes behind the data of a stream, more than " +
             std::to_string(kMaxHeldBytes >> 20) + " MiB with the others: left out");
        position = next;
        continue;
      }
      const bool held = (stream || chunk.Size <= kHeldChunkBytes) && Hold(chunk);
      if (ReadFailure_ != TReadFailure::None) return TWalkEnd::Failed;
      const bool complete =
          held ||
          (!stream && chunk.Size <= Source_->Size() - std::min(chunk.BodyOffset, Source_->Size()));
      if (!complete) {
        if (stream && !fitsHeld) {
          Problem_ = "more than " + std::to_string(kMaxHeldBytes >> 20) +
                     " MiB of chunks before the data of a stream";
          return TWalkEnd::Malformed;
        }
        if (stream && trailing) return TrailingEnd(position, false);
        // Before the data, the walk cannot go on (the format fields or the
        // data are then missing); behind it the chunk is left out.
        if (DataFound_) Note("a chunk '" + chunk.Name() + "' that runs past the end: left out");
        return TWalkEnd::Done;
      }
      Chunks_.push_back(chunk);
    }
    position = next;
  }
}

TReadHeaderResult TWavFileIn::ReadHeader() {
  // Every field starts empty, so nothing of an earlier file can be taken for
  // a field this file does not hold.
  HeaderImage_ = THeaderImage{};
  FormatTag_ = Channels_ = SampleRate_ = BlockAlign_ = 0;
  Container_ = TContainer::Riff;
  Chunks_.clear();
  Held_.clear();
  FmtBody_.clear();
  Problem_.clear();
  Notes_.clear();
  Ds64Table_.clear();
  Ds64RiffSize_ = Ds64DataSize_ = 0;
  FmtFound_ = DataFound_ = DataBeforeFmt_ = TrailingRead_ = DataSizeZero_ = false;
  DataSize_ = 0;
  if (!Source_) return TReadHeaderResult::NoRiff;
  // What a failed read left is no reason to refuse a file as not a WAV file.
  const auto failed = [this] { return ReadFailure_ != TReadFailure::None; };
  if (!SeekTo(0)) return failed() ? TReadHeaderResult::ReadError : TReadHeaderResult::NoRiff;
  ReadSlot(THeaderImage::kRiffId, 8);
  if (failed()) return TReadHeaderResult::ReadError;
  if (HeaderImage_.IdIs(THeaderImage::kRiffId, "RF64")) {
    Container_ = TContainer::Rf64;
  } else if (HeaderImage_.IdIs(THeaderImage::kRiffId, "BW64")) {
    Container_ = TContainer::Bw64;
  } else if (!HeaderImage_.IdIs(THeaderImage::kRiffId, "RIFF")) {
    return TReadHeaderResult::NoRiff;
  }
  ReadSlot(THeaderImage::kFormType, 4);
  if (failed()) return TReadHeaderResult::ReadError;
  if (!HeaderImage_.IdIs(THeaderImage::kFormType, "WAVE")) return TReadHeaderResult::NoWave;

  const std::uint32_t riff_size = HeaderImage_.RiffSize();
  WalkEnd_ = riff_size;
  std::uint64_t position = Source_->Position();
  if (Container_ != TContainer::Riff) {
    // The 64-bit sizes come first, in ds64.
    std::uint8_t header[8] = {};
    TChunkInfo ds64;
    std::copy_n("ds64", 4, ds64.Id.begin());
    const bool whole = ReadSome(header, 8) == 8;
    if (failed()) return TReadHeaderResult::ReadError;
    if (!whole || !std::equal(header, header + 4, ds64.Id.begin())) {
      Problem_ = "an RF64 file without a ds64 chunk";
      return TReadHeaderResult::Malformed;
    }
    ds64.Size = GetLe32(header + 4);
    ds64.BodyOffset = position + 8;
    if (ds64.Size > kMaxDs64Bytes) {
      Problem_ = "a ds64 chunk of " + std::to_string(ds64.Size) + " bytes";
      return TReadHeaderResult::Malformed;
    }
    std::vector<std::uint8_t> body(static_cast<std::size_t>(ds64.Size));
    body.resize(ReadSome(body.data(), body.size()));
    if (failed()) return TReadHeaderResult::ReadError;
    if (!ReadDs64(body.data(), body.size())) return TReadHeaderResult::Malformed;
    // A writer that cannot go back (ffmpeg into a pipe) leaves ds64's sizes
    // 0: the chunks run to the end of the input.
    if (riff_size == 0xFFFFFFFFu) WalkEnd_ = Ds64SizesOpen() ? kUnknownSize : Ds64RiffSize_;
    Chunks_.push_back(ds64);
    position = Advance(ds64.BodyOffset, ds64.Size);
  } else if (riff_size == 0 || (IsStream() && riff_size == 0xFFFFFFFFu)) {
    // A RIFF size of 0 (never a real one): the chunks run to the end of the
    // input, file or stream.
    WalkEnd_ = kUnknownSize;
  }

  const TWalkEnd end = Walk(position, false);
  if (end == TWalkEnd::Failed) return TReadHeaderResult::ReadError;
  if (end == TWalkEnd::Malformed) return TReadHeaderResult::Malformed;
  if (!FmtFound_) return TReadHeaderResult::NoFmt;
  if (!DataFound_ || DataBeforeFmt_) return TReadHeaderResult::NoData;
  // A ds64 RIFF size smaller than the file: what lies behind it is not
  // walked, and said (a plain RIFF file's padding behind its end is not).
  // (Data of size 0 runs to the end: nothing lies behind it.)
  if (Container_ != TContainer::Riff && !IsStream() && !DataSizeZero_ &&
      WalkEnd_ <= UINT64_MAX - 16 && Source_->Size() >= WalkEnd_ + 16) {
    Note(std::to_string(Source_->Size() - WalkEnd_ - 8) +
         " bytes behind the end the ds64 RIFF size states: left out");
  }

  DataRemaining_ = DataSize_;
  DataPosition_ = DataStartPosition_;
  SeekTo(DataPosition_);
  UpdateBufferSize();
  while (UncappedBlockBytes() > BufferCapacity() && TimeInterval_ > kMinTimeInterval) {
    SetTimeInterval(TimeInterval_ / 2);
  }
  return TReadHeaderResult::Ok;
}

bool TWavFileIn::ReadChunkBody(const TChunkInfo& chunk, std::uint64_t offset, void* destination,
                               std::size_t n) {
  if (offset > chunk.Size || n > chunk.Size - offset) return false;
  if (n == 0) return true;
  if (chunk.Held) {
    std::memcpy(destination, Held_.data() + chunk.HeldOffset + offset, n);
    return true;
  }
  if (!Source_ || !Source_->Seekable()) return false;
  // The chunk was found whole in the file: a read that gives less is a
  // failure (the file became shorter, or the read failed).
  if (!Source_->Seek(chunk.BodyOffset + offset)) {
    Fail(TReadFailure::Shrank, "the input file became shorter during the decode");
    return false;
  }
  return ReadSome(destination, n) == n;
}

std::string TWavFileIn::DataSizeNote() const {
  const std::uint64_t data =
      DataSizeKnown() ? DataSize_ : DataPosition_ - std::min(DataStartPosition_, DataPosition_);
  if (!DataSizeZero_ || data == 0) return {};
  return std::string("the data chunk's size is 0: decoded to the end of the ") +
         (IsStream() ? "stream" : "file");
}

std::uint64_t TWavFileIn::DeliverableDataBytes() const {
  if (!Source_ || !Source_->Seekable()) return DataSize_;
  const std::uint64_t size = Source_->Size();
  const std::uint64_t present = size > DataStartPosition_ ? size - DataStartPosition_ : 0;
  return std::min(present, DataSize_);
}

void TWavFileIn::ReadTrailingChunks() {
  if (!IsStream() || TrailingRead_ || !DataFound_ || !DataSizeKnown() || DataRemaining_ != 0 ||
      DataPosition_ != DataStartPosition_ + DataSize_) {
    return;
  }
  TrailingRead_ = true;
  Walk(Advance(DataStartPosition_, DataSize_), true);
}

bool TWavFileIn::ChunksMayFollowData() const {
  return IsStream() && DataFound_ && DataSizeKnown() && !TrailingRead_ &&
         Advance(DataStartPosition_, DataSize_) <= WalkEnd_;
}

std::uint64_t TWavFileIn::UncappedBlockBytes() const {
  const std::uint64_t frames =
      static_cast<std::uint64_t>(HeaderImage_.SampleRate()) * TimeInterval_ / 1000;
  return frames * HeaderImage_.BlockAlign();
}

std::uint32_t TWavFileIn::BufferCapacity() const {
  return HeaderImage_.Channels() > 2 ? kWideBufferBytes : kWavBufferBytes;
}

void TWavFileIn::UpdateBufferSize() {
  const std::uint32_t capacity = BufferCapacity();
  if (Buffer_.size() < capacity) {
    // Once a wide file has been read, the buffer stays that size.
    const bool handedOut = BufferPointer_ != nullptr;
    Buffer_.resize(capacity);
    if (handedOut) BufferPointer_ = Buffer_.data();
  }
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
  if (frames * align > capacity) frames = capacity / align;
  BlockFrames_ = static_cast<std::uint32_t>(frames);
  BlockBytes_ = static_cast<std::uint32_t>(frames * align);
}

void TWavFileIn::NoteShortRead() {
  if (!Source_ || ReadFailure_ != TReadFailure::None) return;
  if (Source_->Interrupted()) {
    Fail(TReadFailure::Interrupted, "interrupted");
  } else if (Source_->ReadErrno() != 0) {
    ReadErrno_ = Source_->ReadErrno();
    Fail(TReadFailure::Error, Source_->ReadErrorText());
  } else if (Source_->Seekable() && Source_->Position() < Source_->Size()) {
    // The end came before the file's size at opening: it was cut meanwhile.
    Fail(TReadFailure::Shrank, "the input file became shorter during the decode");
  }
}

std::uint32_t TWavFileIn::ReadBuffer() {
  if (BlockBytes_ <= DataRemaining_) {
    DataRemaining_ -= BlockBytes_;
  } else {
    BlockBytes_ = DataRemaining_;
    DataRemaining_ = 0;
  }
  const auto wanted =
      static_cast<std::uint32_t>(std::min<std::size_t>(BlockBytes_, Buffer_.size()));
  std::uint32_t count = 0;
  // Copying a chunk body may have moved the file's position.
  if (Source_ && wanted > 0 &&
      (Source_->Position() == DataPosition_ || Source_->Seek(DataPosition_))) {
    count = static_cast<std::uint32_t>(Source_->Read(Buffer_.data(), wanted));
  }
  DataPosition_ += count;
  if (count < wanted) {
    NoteShortRead();
    // A stream cannot be measured in advance: one that ends before the
    // size its header states was cut short on its way here.
    if (ReadFailure_ == TReadFailure::None && IsStream() && DataSizeKnown() &&
        DataSize_ != kStreamLengthPlaceholder) {
      const std::uint64_t align = BlockAlign_ == 0 ? 1 : BlockAlign_;
      Fail(TReadFailure::StreamEnded,
           "the stream ended after " +
               std::to_string((DataPosition_ - DataStartPosition_) / align) + " of " +
               std::to_string(DataSize_ / align) + " frames");
    }
  }

  if (count < BlockBytes_ || count == 0) {
    if (RepeatFile) {
      // Start the data chunk over with its full size and block.
      if (Source_) Source_->Seek(DataStartPosition_);
      DataPosition_ = DataStartPosition_;
      DataRemaining_ = DataSize_;
      UpdateBufferSize();
    } else if (OnEOFReached) {
      OnEOFReached();
    }
  }
  if (OnBufferReady) OnBufferReady(BufferPointer_, count);
  return count;
}

}  // namespace zorv
