// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/flac_source.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "wav/chunk_list.h"
#include "wav/flac_riff.h"
#include "wav/header_image.h"
#include "wav/little_endian.h"
#include "wav/md5.h"

namespace zorv {
namespace {

// The most bytes of kept RIFF chunks held in memory.
constexpr std::uint64_t kMaxRiffBlockBytes = 256u << 20;
// A seek forward of less than this many frames decodes its way there.
constexpr std::uint64_t kDecodeForwardFrames = 1u << 16;
constexpr std::uint32_t kUnknown32 = 0xFFFFFFFFu;
constexpr std::uint64_t kDs64Bytes = 28;

bool IdIs(const std::uint8_t* bytes, const char* id) {
  return std::memcmp(bytes, id, 4) == 0;
}

void AppendId(std::vector<std::uint8_t>& out, const char* id) {
  out.insert(out.end(), id, id + 4);
}

std::string Plural(std::uint64_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

}  // namespace

bool IsFlacStart(const std::uint8_t* bytes, std::size_t n) {
  return n >= 4 && IdIs(bytes, "fLaC");
}

// libFLAC's decoder over the source, its callbacks handing on to it.
struct TFlacSource::TDecoder {
  explicit TDecoder(TFlacSource& owner) : Owner(owner), Handle(FLAC__stream_decoder_new()) {}
  ~TDecoder() {
    if (Handle != nullptr) FLAC__stream_decoder_delete(Handle);
  }
  TDecoder(const TDecoder&) = delete;
  TDecoder& operator=(const TDecoder&) = delete;

  // From the start of the source.
  bool Init() {
    if (Handle == nullptr) return false;
    FLAC__stream_decoder_set_md5_checking(Handle, true);
    FLAC__stream_decoder_set_metadata_respond(Handle, FLAC__METADATA_TYPE_VORBIS_COMMENT);
    FLAC__stream_decoder_set_metadata_respond_application(
        Handle, reinterpret_cast<const FLAC__byte*>(kRiffApplicationId));
    return FLAC__stream_decoder_init_stream(Handle, &ReadBytes, &SeekBytes, &Tell, &Length, &AtEnd,
                                            &TakeFrame, &TakeMetadata, &TakeError,
                                            this) == FLAC__STREAM_DECODER_INIT_STATUS_OK;
  }
  FLAC__StreamDecoderState State() const { return FLAC__stream_decoder_get_state(Handle); }

  static TDecoder& Of(void* data) { return *static_cast<TDecoder*>(data); }

  static FLAC__StreamDecoderReadStatus ReadBytes(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                                 std::size_t* bytes, void* data) {
    TFlacSource& owner = Of(data).Owner;
    TByteSource& source = *owner.Source_;
    const std::size_t wanted = *bytes;
    *bytes = wanted == 0 ? 0 : source.Read(buffer, wanted);
    if (*bytes > 0) return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
    if (source.Interrupted()) {
      owner.Interrupted_ = true;
      owner.Fail(EINTR, "interrupted");
      return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
    if (source.ReadErrno() != 0) {
      owner.Fail(source.ReadErrno(), source.ReadErrorText());
      return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
    if (source.Seekable() && source.Position() < source.Size()) {
      owner.Fail(EIO, "the input file became shorter during the decode");
      return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
    owner.SourceEnded_ = true;
    return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
  }
  static FLAC__StreamDecoderSeekStatus SeekBytes(const FLAC__StreamDecoder*, FLAC__uint64 offset,
                                                 void* data) {
    TByteSource& source = *Of(data).Owner.Source_;
    if (!source.Seekable()) return FLAC__STREAM_DECODER_SEEK_STATUS_UNSUPPORTED;
    return source.Seek(offset) ? FLAC__STREAM_DECODER_SEEK_STATUS_OK
                               : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
  }
  static FLAC__StreamDecoderTellStatus Tell(const FLAC__StreamDecoder*, FLAC__uint64* offset,
                                            void* data) {
    TByteSource& source = *Of(data).Owner.Source_;
    if (!source.Seekable()) return FLAC__STREAM_DECODER_TELL_STATUS_UNSUPPORTED;
    *offset = source.Position();
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
  }
  static FLAC__StreamDecoderLengthStatus Length(const FLAC__StreamDecoder*, FLAC__uint64* length,
                                                void* data) {
    TByteSource& source = *Of(data).Owner.Source_;
    if (!source.Seekable()) return FLAC__STREAM_DECODER_LENGTH_STATUS_UNSUPPORTED;
    *length = source.Size();
    return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
  }
  static FLAC__bool AtEnd(const FLAC__StreamDecoder*, void* data) {
    TByteSource& source = *Of(data).Owner.Source_;
    return source.Seekable() && source.Position() >= source.Size();
  }

  static FLAC__StreamDecoderWriteStatus TakeFrame(const FLAC__StreamDecoder*,
                                                  const FLAC__Frame* frame,
                                                  const FLAC__int32* const buffer[], void* data) {
    TFlacSource& owner = Of(data).Owner;
    const FLAC__FrameHeader& header = frame->header;
    if (header.channels != owner.Channels_ || header.bits_per_sample != owner.Bits_ ||
        header.number_type != FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER) {
      owner.Damaged_ = true;
      owner.Damage_ = "a frame of another format than the stream's";
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    const std::uint32_t frames = header.blocksize;
    if (owner.Counting_) {
      owner.TotalFrames_ = header.number.sample_number + frames;
      return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    const std::uint32_t channels = owner.Channels_;
    const std::uint32_t width = owner.SampleBytes_;
    // Samples of fewer bits than their bytes hold sit in the high bits, as
    // in a WAV file.
    const std::uint32_t shift = width * 8 - owner.Bits_;
    owner.Frame_.resize(std::size_t{frames} * owner.FrameBytes_);
    std::uint8_t* out = owner.Frame_.data();
    for (std::uint32_t i = 0; i < frames; ++i) {
      for (std::uint32_t c = 0; c < channels; ++c) {
        const auto v = static_cast<std::uint32_t>(buffer[c][i]) << shift;
        for (std::uint32_t b = 0; b < width; ++b) *out++ = static_cast<std::uint8_t>(v >> (8 * b));
      }
    }
    owner.FrameStart_ = header.number.sample_number * owner.FrameBytes_;
    owner.NextOffset_ = owner.FrameStart_ + owner.Frame_.size();
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }

  static void TakeMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata,
                           void* data) {
    TFlacSource& owner = Of(data).Owner;
    // A decoder started again reads the metadata again: the first reading
    // holds.
    if (owner.MetadataRead_) return;
    if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO) {
      const FLAC__StreamMetadata_StreamInfo& info = metadata->data.stream_info;
      owner.Channels_ = info.channels;
      owner.Bits_ = info.bits_per_sample;
      owner.Rate_ = info.sample_rate;
      owner.TotalFrames_ = info.total_samples;
      std::memcpy(owner.StreamMd5_, info.md5sum, sizeof owner.StreamMd5_);
    } else if (metadata->type == FLAC__METADATA_TYPE_APPLICATION) {
      const std::uint32_t length = metadata->length - 4;
      owner.BlockBytes_ += length;
      if (owner.BlockBytes_ > kMaxRiffBlockBytes) return;
      const FLAC__byte* bytes = metadata->data.application.data;
      owner.Blocks_.emplace_back(bytes, bytes + length);
    } else if (metadata->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
      const FLAC__StreamMetadata_VorbisComment& comments = metadata->data.vorbis_comment;
      const std::size_t name = std::strlen(kChannelMaskTag);
      for (std::uint32_t i = 0; i < comments.num_comments; ++i) {
        const auto* entry = reinterpret_cast<const char*>(comments.comments[i].entry);
        const std::uint32_t length = comments.comments[i].length;
        if (length <= name + 1 || strncasecmp(entry, kChannelMaskTag, name) != 0 ||
            entry[name] != '=') {
          continue;
        }
        const std::string value(entry + name + 1, length - name - 1);
        owner.ChannelMask_ = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 0));
        owner.MaskTagged_ = true;
      }
    }
  }

  static void TakeError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status,
                        void* data) {
    TFlacSource& owner = Of(data).Owner;
    if (owner.Damaged_) return;
    owner.Damaged_ = true;
    owner.Damage_ = status == FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH
                        ? "a damaged FLAC frame (its checksum does not match)"
                    : status == FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC
                        ? "damaged FLAC data (no frame where one should begin)"
                        : "a damaged FLAC frame (" +
                              std::string(FLAC__StreamDecoderErrorStatusString[status]) + ")";
  }

  TFlacSource& Owner;
  FLAC__StreamDecoder* Handle;
};

TFlacSource::TFlacSource(std::unique_ptr<TByteSource> source) : Source_(std::move(source)) {}

TFlacSource::~TFlacSource() = default;

std::unique_ptr<TFlacSource> TFlacSource::Open(std::unique_ptr<TByteSource> source,
                                               std::string& problem, bool& readFailed) {
  readFailed = false;
  if (!source) {
    problem = "no input";
    return nullptr;
  }
  std::unique_ptr<TFlacSource> flac(new TFlacSource(std::move(source)));
  if (!flac->ReadMetadata(problem) || !flac->Present(problem)) {
    readFailed = flac->ReadErrno_ != 0 || flac->Interrupted_;
    if (readFailed) problem = flac->ReadErrorText_;
    return nullptr;
  }
  return flac;
}

bool TFlacSource::ReadMetadata(std::string& problem) {
  Decoder_ = std::make_unique<TDecoder>(*this);
  if (!Decoder_->Init()) {
    problem = "libFLAC could not be set up";
    return false;
  }
  const bool read = FLAC__stream_decoder_process_until_end_of_metadata(Decoder_->Handle);
  MetadataRead_ = true;
  if (ReadErrno_ != 0) return false;
  if (!read || Damaged_ || Channels_ == 0) {
    problem = Damaged_ ? Damage_ : "damaged FLAC metadata";
    return false;
  }
  if (BlockBytes_ > kMaxRiffBlockBytes) {
    problem = "more than " + std::to_string(kMaxRiffBlockBytes >> 20) + " MiB of RIFF chunks";
    return false;
  }
  SampleBytes_ = (Bits_ + 7) / 8;
  FrameBytes_ = Channels_ * SampleBytes_;
  if (TotalFrames_ == 0 && !CountFrames(problem)) return false;
  DataBytes_ = TotalFrames_ * FrameBytes_;
  return true;
}

bool TFlacSource::CountFrames(std::string& problem) {
  // A stream written where its length could not be filled in says 0: the
  // frames are counted, which a file allows.
  if (!Source_->Seekable()) {
    problem = "a FLAC stream that does not state its length";
    return false;
  }
  Counting_ = true;
  const bool counted = FLAC__stream_decoder_process_until_end_of_stream(Decoder_->Handle);
  Counting_ = false;
  if (ReadErrno_ != 0) return false;
  if (!counted || Damaged_) {
    problem = Damaged_ ? Damage_ : "damaged FLAC data";
    return false;
  }
  Decoder_.reset();
  return Restart();
}

std::string TFlacSource::StreamMd5() const {
  TMd5Digest digest{};
  std::copy(std::begin(StreamMd5_), std::end(StreamMd5_), digest.begin());
  return HexDigest(digest);
}

namespace {

// The fmt body of an extensible (or plain) PCM file for the stream.
std::vector<std::uint8_t> StreamFmt(std::uint32_t channels, std::uint32_t bits, std::uint32_t rate,
                                    std::uint32_t mask, bool maskTagged) {
  const std::uint32_t width = (bits + 7) / 8;
  const std::uint32_t align = channels * width;
  const bool defaultMask = !maskTagged || mask == FlacChannelMask(channels);
  const bool extensible = channels > 2 || bits % 8 != 0 || (channels == 2 && !defaultMask);
  std::vector<std::uint8_t> body;
  AppendLe16(body, extensible ? kFormatExtensible : kFormatPcm);
  AppendLe16(body, static_cast<std::uint16_t>(channels));
  AppendLe32(body, rate);
  AppendLe32(body, rate * align);
  AppendLe16(body, static_cast<std::uint16_t>(align));
  AppendLe16(body, static_cast<std::uint16_t>(width * 8));
  if (extensible) {
    AppendLe16(body, 22);
    AppendLe16(body, static_cast<std::uint16_t>(bits));
    AppendLe32(body, maskTagged ? mask : FlacChannelMask(channels));
    AppendLe16(body, kFormatPcm);
    body.insert(body.end(), std::begin(kSubFormatGuidTail), std::end(kSubFormatGuidTail));
  }
  return body;
}

}  // namespace

bool TFlacSource::Present(std::string& problem) {
  // The stored pieces: the RIFF header, ds64 for RF64, then whole chunks.
  struct TPiece {
    std::array<char, 4> Id{};
    const std::vector<std::uint8_t>* Block = nullptr;  // null: made here
    std::vector<std::uint8_t> Body;                    // made here
  };
  std::vector<TPiece> before;
  std::vector<TPiece> after;
  std::string form = "RIFF";
  bool dataFound = false;
  bool fmtFound = false;
  KeepsChunks_ = !Blocks_.empty();
  std::size_t first = 0;
  if (KeepsChunks_) {
    const std::vector<std::uint8_t>& head = Blocks_.front();
    const bool wave = head.size() == 12 && IdIs(head.data() + 8, "WAVE");
    if (!wave ||
        !(IdIs(head.data(), "RIFF") || IdIs(head.data(), "RF64") || IdIs(head.data(), "BW64"))) {
      problem = "RIFF chunks that do not begin with a RIFF header";
      return false;
    }
    form.assign(reinterpret_cast<const char*>(head.data()), 4);
    first = 1;
    if (form != "RIFF") {
      if (Blocks_.size() < 2 || Blocks_[1].size() < 8 || !IdIs(Blocks_[1].data(), "ds64")) {
        problem = "RF64 chunks without their ds64 chunk";
        return false;
      }
      first = 2;  // the sizes in it are made anew
    }
  }
  for (std::size_t i = first; i < Blocks_.size(); ++i) {
    const std::vector<std::uint8_t>& block = Blocks_[i];
    TPiece piece;
    if (block.size() < 8) {
      problem = "a RIFF chunk of " + Plural(block.size(), "byte") + " kept";
      return false;
    }
    std::memcpy(piece.Id.data(), block.data(), 4);
    const std::uint32_t size = GetLe32(block.data() + 4);
    if (IdIs(block.data(), "data")) {
      if (dataFound || !fmtFound || block.size() != 8) {
        problem = dataFound   ? "two data chunks"
                  : !fmtFound ? "a data chunk before the fmt chunk"
                              : "a data chunk kept with bytes";
        return false;
      }
      dataFound = true;
      continue;
    }
    if (block.size() != ChunkBytes(size) && block.size() != 8u + size) {
      problem = "a chunk '" + TChunkInfo{piece.Id}.Name() + "' whose size is not its block's";
      return false;
    }
    piece.Block = &block;
    if (IdIs(block.data(), "fmt ")) {
      if (fmtFound || dataFound) {
        problem = fmtFound ? "two fmt chunks" : "a fmt chunk behind the data";
        return false;
      }
      fmtFound = true;
    }
    (dataFound ? after : before).push_back(std::move(piece));
  }
  if (KeepsChunks_ && !dataFound) {
    problem = "RIFF chunks without a data chunk";
    return false;
  }

  // The fmt chunk: the one kept while it describes the stream.
  const std::vector<std::uint8_t> streamFmt =
      StreamFmt(Channels_, Bits_, Rate_, ChannelMask_, MaskTagged_);
  auto fmt = std::find_if(before.begin(), before.end(), [](const TPiece& piece) {
    return piece.Id == std::array{'f', 'm', 't', ' '};
  });
  if (fmt == before.end()) {
    TPiece piece;
    std::memcpy(piece.Id.data(), "fmt ", 4);
    piece.Body = streamFmt;
    before.push_back(std::move(piece));
  } else {
    const std::uint8_t* body = fmt->Block->data() + 8;
    const std::uint32_t size = GetLe32(fmt->Block->data() + 4);
    const std::uint16_t tag = size >= 16 ? GetLe16(body) : 0;
    const bool extensible =
        tag == kFormatExtensible && size >= 40 && GetLe16(body + 24) == kFormatPcm &&
        std::memcmp(body + 26, kSubFormatGuidTail, sizeof kSubFormatGuidTail) == 0;
    const std::uint32_t valid = extensible   ? GetLe16(body + 18)
                                : size >= 16 ? GetLe16(body + 14)
                                             : 0;
    const bool describes = (tag == kFormatPcm || extensible) && GetLe16(body + 2) == Channels_ &&
                           GetLe32(body + 4) == Rate_ && GetLe16(body + 12) == FrameBytes_ &&
                           GetLe16(body + 14) == SampleBytes_ * 8 && valid == Bits_;
    if (!describes) {
      Findings_->Notes.push_back(
          "the fmt chunk kept in the FLAC file does not describe its samples: "
          "the samples' own written");
      fmt->Block = nullptr;
      fmt->Body = streamFmt;
    }
  }

  // The sizes.
  const auto bytesOf = [](const TPiece& piece) {
    return piece.Block != nullptr ? piece.Block->size() : ChunkBytes(piece.Body.size());
  };
  std::uint64_t riff = 4 + ChunkBytes(DataBytes_);
  for (const TPiece& piece : before) riff += bytesOf(piece);
  for (const TPiece& piece : after) riff += bytesOf(piece);
  if (form == "RIFF" && riff > kUnknown32) {
    Findings_->Notes.push_back("written as RF64: its sizes need 64 bits");
    form = "RF64";
  }
  const bool wide = form != "RIFF";
  if (wide) riff += ChunkBytes(kDs64Bytes);

  const auto put = [](std::vector<std::uint8_t>& out, const TPiece& piece) {
    if (piece.Block != nullptr) {
      out.insert(out.end(), piece.Block->begin(), piece.Block->end());
      // A chunk of odd size kept without its pad byte gets it.
      if (piece.Block->size() % 2 == 1) out.push_back(0);
      return;
    }
    AppendId(out, piece.Id.data());
    AppendLe32(out, static_cast<std::uint32_t>(piece.Body.size()));
    out.insert(out.end(), piece.Body.begin(), piece.Body.end());
    if (piece.Body.size() & 1u) out.push_back(0);
  };
  AppendId(Head_, form.c_str());
  AppendLe32(Head_, wide ? kUnknown32 : static_cast<std::uint32_t>(riff));
  AppendId(Head_, "WAVE");
  if (wide) {
    AppendId(Head_, "ds64");
    AppendLe32(Head_, kDs64Bytes);
    AppendLe64(Head_, riff);
    AppendLe64(Head_, DataBytes_);
    AppendLe64(Head_, TotalFrames_);
    AppendLe32(Head_, 0);
  }
  for (const TPiece& piece : before) put(Head_, piece);
  AppendId(Head_, "data");
  AppendLe32(Head_, wide ? kUnknown32 : static_cast<std::uint32_t>(DataBytes_));
  if (DataBytes_ & 1u) Tail_.push_back(0);
  for (const TPiece& piece : after) put(Tail_, piece);
  Blocks_.clear();
  Blocks_.shrink_to_fit();
  // No samples: nothing to wait for.
  if (DataBytes_ == 0) {
    const TMd5Digest none = TMd5().Digest();
    SetMd5Check(std::equal(none.begin(), none.end(), std::begin(StreamMd5_)));
  }
  return true;
}

void TFlacSource::SetMd5Check(bool matches) {
  const bool absent = std::all_of(std::begin(StreamMd5_), std::end(StreamMd5_),
                                  [](std::uint8_t b) { return b == 0; });
  Findings_->Md5 = absent    ? TFlacMd5Check::Absent
                   : matches ? TFlacMd5Check::Matches
                             : TFlacMd5Check::Differs;
}

std::uint64_t TFlacSource::Size() const {
  return Head_.size() + DataBytes_ + Tail_.size();
}

bool TFlacSource::Seekable() const {
  return Source_->Seekable();
}

bool TFlacSource::Seek(std::uint64_t position) {
  if (position > Size() || (!Seekable() && position < Position_)) return false;
  Position_ = position;
  return true;
}

std::size_t TFlacSource::Read(void* destination, std::size_t n) {
  auto* out = static_cast<std::uint8_t*>(destination);
  std::size_t done = 0;
  const std::uint64_t dataEnd = Head_.size() + DataBytes_;
  while (done < n && Position_ < Size()) {
    const std::size_t left = n - done;
    std::size_t got = 0;
    if (Position_ < Head_.size()) {
      got = static_cast<std::size_t>(std::min<std::uint64_t>(left, Head_.size() - Position_));
      std::memcpy(out + done, Head_.data() + Position_, got);
    } else if (Position_ < dataEnd) {
      const std::size_t wanted =
          static_cast<std::size_t>(std::min<std::uint64_t>(left, dataEnd - Position_));
      got = ReadSamples(Position_ - Head_.size(), out + done, wanted);
      if (got < wanted) {
        Position_ += got;
        return done + got;
      }
    } else {
      const std::uint64_t at = Position_ - dataEnd;
      got = static_cast<std::size_t>(std::min<std::uint64_t>(left, Tail_.size() - at));
      std::memcpy(out + done, Tail_.data() + at, got);
    }
    Position_ += got;
    done += got;
  }
  return done;
}

std::size_t TFlacSource::ReadSamples(std::uint64_t offset, std::uint8_t* out, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    const std::uint64_t at = offset + done;
    if (at < FrameStart_ || at >= FrameStart_ + Frame_.size()) {
      if (!DecodeTo(at)) break;
    }
    const auto from = static_cast<std::size_t>(at - FrameStart_);
    const std::size_t count = std::min(n - done, Frame_.size() - from);
    std::memcpy(out + done, Frame_.data() + from, count);
    done += count;
  }
  return done;
}

void TFlacSource::Fail(int error, std::string text) {
  if (ReadErrno_ != 0) return;
  ReadErrno_ = error;
  ReadErrorText_ = std::move(text);
}

bool TFlacSource::Restart() {
  if (!Source_->Seekable() || !Source_->Seek(0)) {
    Fail(EIO, "the FLAC file cannot be read from its start again");
    return false;
  }
  Decoder_ = std::make_unique<TDecoder>(*this);
  if (!Decoder_->Init() || !FLAC__stream_decoder_process_until_end_of_metadata(Decoder_->Handle)) {
    Fail(EIO, "the FLAC file cannot be read from its start again");
    return false;
  }
  Frame_.clear();
  FrameStart_ = NextOffset_ = 0;
  WholePass_ = true;
  SourceEnded_ = false;
  return true;
}

bool TFlacSource::DecodeTo(std::uint64_t offset) {
  if (ReadErrno_ != 0) return false;
  if (!Decoder_ && !Restart()) return false;
  const std::uint64_t far = kDecodeForwardFrames * FrameBytes_;
  if (offset < NextOffset_ || offset - NextOffset_ >= far) {
    if (!Source_->Seekable()) {
      Fail(ESPIPE, "a FLAC stream read out of order");
      return false;
    }
    // A seek leaves the checksum unchecked.
    WholePass_ = false;
    Frame_.clear();
    if (!FLAC__stream_decoder_seek_absolute(Decoder_->Handle, offset / FrameBytes_)) {
      if (ReadErrno_ == 0) Fail(EIO, Damaged_ ? Damage_ : "damaged FLAC data (a seek failed)");
      return false;
    }
  }
  while (offset >= FrameStart_ + Frame_.size()) {
    const bool decoded = FLAC__stream_decoder_process_single(Decoder_->Handle);
    if (ReadErrno_ != 0) return false;
    // A file cut short ends in the middle of a frame, which reads as damage.
    const bool ended = SourceEnded_ || Decoder_->State() == FLAC__STREAM_DECODER_END_OF_STREAM;
    if (Damaged_ || offset < FrameStart_ ||
        (offset >= FrameStart_ + Frame_.size() && (ended || !decoded))) {
      Fail(EIO, ended ? "the FLAC stream ends after " + std::to_string(NextOffset_ / FrameBytes_) +
                            " of " + std::to_string(TotalFrames_) + " frames"
                : Damaged_ ? Damage_
                           : "damaged FLAC data");
      return false;
    }
  }
  if (NextOffset_ >= DataBytes_ && WholePass_) FinishPass();
  return true;
}

void TFlacSource::FinishPass() {
  // The decoder's checksum of the pass against the file's; the decoder
  // starts again should the data be read again.
  const bool same = FLAC__stream_decoder_finish(Decoder_->Handle);
  Decoder_.reset();
  NextOffset_ = DataBytes_;
  SetMd5Check(same);
}

}  // namespace zorv
