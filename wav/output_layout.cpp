// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/output_layout.h"

#include <algorithm>
#include <cstring>

#include "wav/coding_history.h"
#include "wav/io_stop.h"
#include "wav/little_endian.h"

namespace zorv {
namespace {

// The codes of the notes, as a decode's report gives its warnings.
constexpr const char* kCodeChunkLeftOut = "chunk_left_out";
constexpr const char* kCodeChunkMoved = "chunk_moved";
constexpr const char* kCodeChunkUnreadable = "chunk_unreadable";
constexpr const char* kCodeNoCodingHistory = "coding_history_not_added";
constexpr const char* kCodeStreamLength = "stream_length_mismatch";
constexpr const char* kCodeLevelsUnsaid = "coding_history_incomplete";

constexpr std::uint64_t kDs64Bytes = 28;
constexpr std::uint64_t kDs64EntryBytes = 12;
constexpr std::uint32_t kUnknown32 = 0xFFFFFFFFu;
constexpr std::size_t kCopyPiece = 64u << 10;

std::uint32_t Clamp32(std::uint64_t v) {
  return v > kUnknown32 ? kUnknown32 : static_cast<std::uint32_t>(v);
}
void Append(std::vector<std::uint8_t>& out, const void* data, std::size_t n) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  out.insert(out.end(), bytes, bytes + n);
}

bool IsFiller(const TChunkInfo& chunk) {
  return chunk.Is("JUNK") || chunk.Is("junk") || chunk.Is("PAD ") || chunk.Is("FLLR");
}

}  // namespace

TOutputLayout::TOutputLayout(TWavFileIn& input, const TOutputPlan& plan, bool seekable)
    : Input_(input),
      Seekable_(seekable),
      MaxRiffSize_(plan.MaxRiffSize),
      CodingHistoryLine_(plan.CodingHistoryLine) {
  const THeaderImage& image = input.HeaderImage();
  Fmt_ = plan.FmtBody;
  if (Fmt_.empty()) {
    if (plan.Canonical) {
      Fmt_.assign(image.Bytes.begin() + THeaderImage::kFormatTag,
                  image.Bytes.begin() + THeaderImage::kDataId);
    } else {
      Fmt_ = input.FmtBody();
    }
    // The byte rate is made to agree with what the file holds.
    if (Fmt_.size() >= 16)
      SetLe32(Fmt_.data() + 8, GetLe32(Fmt_.data() + 4) * GetLe16(Fmt_.data() + 12));
  }
  if (Fmt_.size() >= 16) BlockAlign_ = GetLe16(Fmt_.data() + 12);

  ExpectedKnown_ = input.DataSizeKnown();
  const std::uint64_t deliverable = input.DeliverableDataBytes();
  // Whole frames of the input, in the output's frame size (which differs
  // when the output's format does).
  const std::uint32_t inputAlign = input.HeaderImage().BlockAlign();
  if (ExpectedKnown_ && inputAlign != 0) ExpectedData_ = deliverable / inputAlign * BlockAlign_;

  if (plan.Canonical) {
    Add(TKind::Fmt, "fmt ", Fmt_, false);
    Add(TKind::Data, "data", {}, false);
  } else {
    for (std::size_t i = 0; i < input.Chunks().size(); ++i) AddChunk(i);
    const auto has = [&](TKind kind) {
      return std::find_if(Items_.begin(), Items_.end(),
                          [&](const TItem& item) { return item.Kind == kind; });
    };
    if (plan.Fact && has(TKind::Fact) == Items_.end()) {
      TItem fact{TKind::Fact, {'f', 'a', 'c', 't'}, 4, false, std::vector<std::uint8_t>(4), 0, 0};
      const auto fmt = has(TKind::Fmt);
      Items_.insert(fmt == Items_.end() ? fmt : fmt + 1, std::move(fact));
    }
  }
  ChunksSeen_ = input.Chunks().size();
  // A stream's chunks behind its data come after the head is written: the
  // RIFF size cannot count them then.
  RiffOpen_ = input.ChunksMayFollowData();

  if (!plan.Canonical && input.Container() != TContainer::Riff) {
    Container_ = input.Container();
  } else if (ExpectedKnown_ && ExpectedRiffSize(ExpectedData_) > MaxRiffSize_) {
    Container_ = TContainer::Rf64;
  }
  if (Container_ != TContainer::Riff) {
    Items_.insert(Items_.begin(), TItem{TKind::Ds64, {'d', 's', '6', '4'}, 0, false, {}, 0, 0});
  } else if (!ExpectedKnown_ && Seekable_) {
    // Room for a ds64 chunk, should the stream pass what RIFF sizes can say.
    Items_.insert(Items_.begin(), TItem{TKind::Reserve, {'J', 'U', 'N', 'K'}, 0, false, {}, 0, 0});
  }
}

void TOutputLayout::Add(TKind kind, const char* id, std::vector<std::uint8_t> body,
                        bool afterData) {
  TItem item{kind, {}, body.size(), afterData, std::move(body), 0, 0};
  std::copy_n(id, 4, item.Id.begin());
  Items_.push_back(std::move(item));
}

void TOutputLayout::Note(const char* code, std::string text) {
  Notes_.push_back(std::move(text));
  NoteCodes_.emplace_back(code);
}

bool TOutputLayout::AddBext(std::size_t index) {
  const TChunkInfo& chunk = Input_.Chunks()[index];
  BextDone_ = true;
  if (chunk.Size > kMaxHeldBytes) {
    Note(kCodeNoCodingHistory, "bext chunk of " + std::to_string(chunk.Size) +
                                   " bytes, more than " + std::to_string(kMaxHeldBytes >> 20) +
                                   " MiB: copied without a CodingHistory line");
    return false;
  }
  std::vector<std::uint8_t> body(static_cast<std::size_t>(chunk.Size));
  if (!Input_.ReadChunkBody(chunk, 0, body.data(), body.size())) return false;
  BextBase_ = body;
  if (AppendCodingHistory(body, CodingHistoryLine_)) {
    Add(TKind::Bext, "bext", std::move(body), chunk.AfterData);
    return true;
  }
  if (chunk.Size < kBextFixedBytes) {
    Note(kCodeNoCodingHistory,
         "bext chunk of " + std::to_string(chunk.Size) +
             " bytes, shorter than its fixed part: copied without a CodingHistory line");
  }
  return false;
}

void TOutputLayout::AddChunk(std::size_t index) {
  const TChunkInfo& chunk = Input_.Chunks()[index];
  if (chunk.Is("ds64")) return;  // the output's own is written
  // The first bext gets the line, wherever it is (behind a stream's data too).
  if (chunk.Is("bext") && !BextDone_ && AddBext(index)) return;
  if (chunk.Is("fmt ")) return Add(TKind::Fmt, "fmt ", Fmt_, chunk.AfterData);
  if (chunk.Is("data")) return Add(TKind::Data, "data", {}, false);
  if (chunk.Is("fact") && chunk.Size >= 4 && chunk.Size <= kMaxHeldBytes) {
    std::vector<std::uint8_t> body(static_cast<std::size_t>(chunk.Size));
    if (Input_.ReadChunkBody(chunk, 0, body.data(), body.size())) {
      return Add(TKind::Fact, "fact", std::move(body), chunk.AfterData);
    }
  }
  if (chunk.Is("MD5 ")) {
    if (chunk.Size != 16) {
      Note(kCodeChunkLeftOut, "MD5 chunk of " + std::to_string(chunk.Size) + " bytes: left out");
      return;
    }
    // Before the data it is written last, once the digest is known: a stream
    // cannot go back, so there it moves behind the data.
    if (!chunk.AfterData && !Seekable_) {
      Note(kCodeChunkMoved, "MD5 chunk moved behind the data (the output is a stream)");
    }
    return Add(TKind::Md5, "MD5 ", std::vector<std::uint8_t>(16, 0), chunk.AfterData || !Seekable_);
  }
  TItem item{TKind::Copy, chunk.Id, chunk.Size, chunk.AfterData, {}, index, 0};
  Items_.push_back(std::move(item));
}

std::uint64_t TOutputLayout::ExpectedRiffSize(std::uint64_t dataBytes) const {
  std::uint64_t size = 4;
  for (const TItem& item : Items_) {
    const std::uint64_t body = item.Kind == TKind::Data ? dataBytes
                               : item.Kind == TKind::Ds64 || item.Kind == TKind::Reserve
                                   ? kDs64Bytes
                                   : item.Size;
    const std::uint64_t bytes = ChunkBytes(body);
    size = bytes > UINT64_MAX - size ? UINT64_MAX : size + bytes;
  }
  // Table entries of ds64 for chunks too large for their size field.
  for (const TItem& item : Items_) {
    if (item.Kind == TKind::Copy && item.Size >= kUnknown32) size += kDs64EntryBytes;
  }
  return size;
}

std::uint64_t TOutputLayout::HeadBytes() const {
  for (const TItem& item : Items_) {
    if (item.Kind == TKind::Data) return item.Position + 8;
  }
  return 0;
}

void TOutputLayout::SetSizes(std::uint64_t dataBytes, bool known) {
  const std::uint64_t riff = ExpectedRiffSize(dataBytes);
  const bool plain = Container_ == TContainer::Riff;
  std::memcpy(RiffHeader_.data(),
              Container_ == TContainer::Bw64   ? "BW64"
              : Container_ == TContainer::Rf64 ? "RF64"
                                               : "RIFF",
              4);
  SetLe32(RiffHeader_.data() + 4, plain && known && !RiffOpen_ ? Clamp32(riff) : kUnknown32);
  std::memcpy(RiffHeader_.data() + 8, "WAVE", 4);
  DataSize32_ = plain && known ? Clamp32(dataBytes) : kUnknown32;
  const std::uint64_t frames = BlockAlign_ == 0 ? 0 : dataBytes / BlockAlign_;

  for (TItem& item : Items_) {
    if (item.Kind == TKind::Fact) SetLe32(item.Body.data(), known ? Clamp32(frames) : kUnknown32);
    if (item.Kind == TKind::Reserve) item.Body.assign(kDs64Bytes, 0);
    if (item.Kind != TKind::Ds64) continue;
    std::vector<std::uint8_t> body(kDs64Bytes, 0);
    SetLe64(body.data(), known && !RiffOpen_ ? riff : UINT64_MAX);
    SetLe64(body.data() + 8, known ? dataBytes : UINT64_MAX);
    SetLe64(body.data() + 16, known ? frames : UINT64_MAX);
    std::uint32_t entries = 0;
    for (const TItem& other : Items_) {
      if (other.Kind != TKind::Copy || other.Size < kUnknown32) continue;
      std::uint8_t entry[kDs64EntryBytes];
      std::memcpy(entry, other.Id.data(), 4);
      SetLe64(entry + 4, other.Size);
      Append(body, entry, sizeof entry);
      ++entries;
    }
    SetLe32(body.data() + 24, entries);
    item.Body = std::move(body);
  }
}

bool TOutputLayout::Put(TWavFileOut& out, const void* data, std::size_t n) {
  Append(Pending_, data, n);
  return Pending_.size() < kCopyPiece || Flush(out);
}

bool TOutputLayout::Flush(TWavFileOut& out) {
  if (Pending_.empty()) return true;
  const bool ok = out.WriteBytes(Pending_.data(), Pending_.size());
  Pending_.clear();
  return ok;
}

bool TOutputLayout::WriteItem(TWavFileOut& out, TItem& item) {
  item.Position = out.Position() + Pending_.size();
  const bool fromInput = item.Kind == TKind::Copy;
  const std::uint64_t size = fromInput ? item.Size : item.Body.size();
  std::uint8_t header[8];
  std::memcpy(header, item.Id.data(), 4);
  const bool large = Container_ != TContainer::Riff && size >= kUnknown32;
  SetLe32(header + 4, item.Kind == TKind::Data ? DataSize32_ : large ? kUnknown32 : Clamp32(size));
  bool ok = Put(out, header, sizeof header);
  if (item.Kind == TKind::Data) return ok;
  if (!fromInput) {
    ok = Put(out, item.Body.data(), item.Body.size()) && ok;
  } else {
    const TChunkInfo chunk = Input_.Chunks()[item.Chunk];
    std::vector<std::uint8_t> piece(
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kCopyPiece)));
    bool readable = true;
    for (std::uint64_t done = 0; done < size;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, kCopyPiece));
      if (!Input_.ReadChunkBody(chunk, done, piece.data(), n)) {
        std::fill(piece.begin(), piece.end(), std::uint8_t{0});
        readable = false;
      }
      ok = Put(out, piece.data(), n) && ok;
      done += n;
    }
    if (!readable) {
      Note(kCodeChunkUnreadable,
           "chunk '" + chunk.Name() + "' could not be read: written as zeros");
    }
  }
  if (size & 1u) {
    const std::uint8_t pad = 0;
    ok = Put(out, &pad, 1) && ok;
  }
  return ok;
}

bool TOutputLayout::Patch(TWavFileOut& out, const TItem& item) {
  std::vector<std::uint8_t> bytes(item.Id.begin(), item.Id.end());
  std::uint8_t size[4];
  SetLe32(size, item.Kind == TKind::Data ? DataSize32_ : Clamp32(item.Body.size()));
  Append(bytes, size, 4);
  if (item.Kind != TKind::Data) Append(bytes, item.Body.data(), item.Body.size());
  return out.WriteBytesAt(item.Position, bytes.data(), bytes.size());
}

bool TOutputLayout::RelayBext(TWavFileOut& out) {
  const auto bext = std::find_if(Items_.begin(), Items_.end(),
                                 [](const TItem& item) { return item.Kind == TKind::Bext; });
  // None yet: a stream's bext behind its data takes the final line as it
  // comes.
  if (bext == Items_.end()) return true;
  std::vector<std::uint8_t> body = BextBase_;
  if (!AppendCodingHistory(body, CodingHistoryLine_)) return true;
  TItem& item = *bext;
  if (item.AfterData) {
    item.Body = std::move(body);
    item.Size = item.Body.size();
    return true;
  }
  const char* const startOnly = "the CodingHistory names the level at the start only: ";
  if (!Seekable_) {
    Note(kCodeLevelsUnsaid, std::string(startOnly) + "the output is a stream");
    return true;
  }
  // The text ends at its first zero byte: a shorter one is padded.
  if (body.size() < item.Body.size()) body.resize(item.Body.size(), 0);
  const auto chunkBytes = [](std::uint64_t size) { return 8 + size + (size & 1u); };
  const std::uint64_t oldEnd = item.Position + chunkBytes(item.Body.size());
  const std::uint64_t growth = chunkBytes(body.size()) - chunkBytes(item.Body.size());
  if (!Flush(out)) return false;
  if (growth != 0 && !out.MakeRoom(oldEnd, growth)) {
    if (out.WriteFailed()) return false;
    Note(kCodeLevelsUnsaid, std::string(startOnly) + "its bext chunk could not grow");
    return true;
  }
  for (TItem& other : Items_) {
    if (!other.AfterData && other.Position >= oldEnd) other.Position += growth;
  }
  item.Body = std::move(body);
  item.Size = item.Body.size();
  bool ok = Patch(out, item);
  if (item.Body.size() & 1u) {
    const std::uint8_t pad = 0;
    ok = out.WriteBytesAt(item.Position + 8 + item.Body.size(), &pad, 1) && ok;
  }
  return ok;
}

bool TOutputLayout::NeedsMd5() const {
  return std::any_of(Items_.begin(), Items_.end(),
                     [](const TItem& item) { return item.Kind == TKind::Md5; });
}

bool TOutputLayout::WriteHead(TWavFileOut& out) {
  SetSizes(ExpectedData_, ExpectedKnown_);
  bool ok = Put(out, RiffHeader_.data(), RiffHeader_.size());
  for (TItem& item : Items_) {
    if (item.AfterData) continue;
    ok = WriteItem(out, item) && ok;
    if (item.Kind == TKind::Data) break;
  }
  return Flush(out) && ok;
}

bool TOutputLayout::WriteTail(TWavFileOut& out, std::uint64_t dataBytes, const TMd5Digest& md5) {
  bool relaid = true;
  if (!FinalLine_.empty() && FinalLine_ != CodingHistoryLine_ && !out.WriteFailed()) {
    CodingHistoryLine_ = FinalLine_;
    relaid = RelayBext(out);
  }
  // A stream's chunks behind its data come only now.
  Input_.ReadTrailingChunks();
  for (std::size_t i = ChunksSeen_; i < Input_.Chunks().size(); ++i) AddChunk(i);
  ChunksSeen_ = Input_.Chunks().size();

  for (TItem& item : Items_) {
    if (item.Kind == TKind::Md5) item.Body.assign(md5.begin(), md5.end());
  }
  if (Seekable_ && Container_ == TContainer::Riff && ExpectedRiffSize(dataBytes) > MaxRiffSize_) {
    for (TItem& item : Items_) {
      if (item.Kind != TKind::Reserve) continue;
      item.Kind = TKind::Ds64;
      std::memcpy(item.Id.data(), "ds64", 4);
      Container_ = TContainer::Rf64;
    }
  }
  RiffOpen_ = false;
  SetSizes(dataBytes, true);

  bool ok = relaid;
  if (out.WriteFailed()) {
    // Nothing goes behind what the target did not take: the header states
    // the data, and the chunks behind it are left out.
    if (std::erase_if(Items_, [](const TItem& item) { return item.AfterData; }) != 0) {
      Note(kCodeChunkLeftOut, "the chunks behind the data left out after the failed write");
    }
    SetSizes(dataBytes, true);
  } else {
    if (dataBytes & 1u) {
      const std::uint8_t pad = 0;
      ok = Put(out, &pad, 1);
    }
    // Chunks written between two looks at the stop request.
    constexpr std::size_t kStopCheckItems = 4096;
    for (std::size_t i = 0; i < Items_.size(); ++i) {
      if (i % kStopCheckItems == kStopCheckItems - 1 && IoStopRequested()) {
        // Stopped: the output ends with what was written, its sizes saying so.
        const auto unwritten =
            std::remove_if(Items_.begin() + static_cast<std::ptrdiff_t>(i), Items_.end(),
                           [](const TItem& item) { return item.AfterData; });
        if (unwritten != Items_.end()) {
          Note(kCodeChunkLeftOut, "interrupted: " + std::to_string(Items_.end() - unwritten) +
                                      " chunks behind the data left out");
          Items_.erase(unwritten, Items_.end());
          SetSizes(dataBytes, true);
        }
        break;
      }
      if (Items_[i].AfterData) ok = WriteItem(out, Items_[i]) && ok;
    }
    ok = Flush(out) && ok;
  }
  if (!Seekable_) {
    // (Not after a failed read: its own message says what happened.)
    if (ExpectedKnown_ && dataBytes != ExpectedData_ && !out.WriteFailed() &&
        Input_.ReadFailure() == TReadFailure::None) {
      Note(kCodeStreamLength, "the stream's header states " + std::to_string(ExpectedData_) +
                                  " data bytes, " + std::to_string(dataBytes) + " were written");
    }
    return ok;
  }
  ok = out.WriteBytesAt(0, RiffHeader_.data(), RiffHeader_.size()) && ok;
  for (const TItem& item : Items_) {
    if (item.AfterData) continue;
    const bool sized = item.Kind == TKind::Data || item.Kind == TKind::Ds64 ||
                       item.Kind == TKind::Fact || item.Kind == TKind::Md5;
    if (sized) ok = Patch(out, item) && ok;
    if (item.Kind == TKind::Data) break;
  }
  return ok;
}

std::vector<std::string> CarriedMetadata(const TWavFileIn& input, std::size_t limit,
                                         std::size_t* count) {
  std::vector<std::string> names;
  const std::vector<TChunkInfo>& chunks = input.Chunks();
  // The identifiers seen, in an open-addressing table of at least twice as
  // many slots as chunks (an identifier plus one in each, 0 for free): a
  // file may hold a million different ones, and this is the per-chunk work
  // of a line that names ten.
  std::size_t slots = 16;
  while (slots < 2 * chunks.size()) slots *= 2;
  std::vector<std::uint64_t> seen(slots, 0);
  std::size_t distinct = 0;
  for (const TChunkInfo& chunk : chunks) {
    if (chunk.Is("fmt ") || chunk.Is("data") || chunk.Is("ds64") || IsFiller(chunk)) continue;
    if (chunk.Is("MD5 ") && chunk.Size != 16) continue;
    const std::uint64_t key =
        GetLe32(reinterpret_cast<const std::uint8_t*>(chunk.Id.data())) + 1ull;
    std::size_t at = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & (slots - 1);
    while (seen[at] != 0 && seen[at] != key) at = (at + 1) & (slots - 1);
    if (seen[at] == key) continue;
    seen[at] = key;
    if (names.size() < limit) names.push_back(chunk.Name());
    ++distinct;
  }
  if (count != nullptr) *count = distinct;
  return names;
}

}  // namespace zorv
