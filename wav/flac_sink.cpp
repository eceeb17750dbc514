// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/flac_sink.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "wav/chunk_list.h"
#include "wav/flac_riff.h"
#include "wav/header_image.h"
#include "wav/little_endian.h"

namespace zorv {
namespace {

constexpr std::uint32_t kUnknown32 = 0xFFFFFFFFu;
// Room left for chunks that come after the samples, as the flac tool leaves
// padding.
constexpr std::uint64_t kSpareRoom = 8192;
// "fLaC", then the STREAMINFO block: its header and 34 bytes.
constexpr std::size_t kStreamInfoBody = 8;
constexpr std::size_t kStreamInfoEnd = 42;
constexpr int kCompressionLevel = 5;

struct TMetadataDeleter {
  void operator()(FLAC__StreamMetadata* block) const { FLAC__metadata_object_delete(block); }
};
using TBlock = std::unique_ptr<FLAC__StreamMetadata, TMetadataDeleter>;

bool IdIs(const std::uint8_t* bytes, const char* id) {
  return std::memcmp(bytes, id, 4) == 0;
}

// A piece of the RIFF bytes as a block keeps it: the header, a chunk with
// its pad byte, or the data chunk's header.
struct TPiece {
  std::size_t At = 0;
  std::size_t Bytes = 0;
};

// The chunks of part from `from` on: up to and with the data chunk's header
// for the bytes before the samples (dataEnd: where that header ends), to the
// end for those after them. False when a chunk runs past the end (or its
// size is in ds64: too large to keep anyway).
bool Pieces(const std::vector<std::uint8_t>& part, std::size_t from, bool head,
            std::vector<TPiece>& pieces, std::size_t* dataEnd) {
  std::size_t at = from;
  while (at + 8 <= part.size()) {
    const std::uint32_t size = GetLe32(part.data() + at + 4);
    if (head && IdIs(part.data() + at, "data")) {
      pieces.push_back({at, 8});
      *dataEnd = at + 8;
      return true;
    }
    if (size == kUnknown32) return false;
    const std::uint64_t bytes = ChunkBytes(size);
    // The pad byte of a last chunk may not have been written.
    if (at + bytes > part.size() && !(!head && at + bytes - (size & 1u) == part.size())) {
      return false;
    }
    pieces.push_back({at, static_cast<std::size_t>(bytes)});
    at += static_cast<std::size_t>(bytes);
  }
  return !head && at >= part.size();
}

}  // namespace

// libFLAC's encoder: its metadata kept in Meta_, its frames written to the
// target behind the room left for the metadata.
struct TFlacSink::TEncoder {
  explicit TEncoder(TFlacSink& owner) : Owner(owner), Handle(FLAC__stream_encoder_new()) {}
  ~TEncoder() {
    if (Handle != nullptr) FLAC__stream_encoder_delete(Handle);
  }
  TEncoder(const TEncoder&) = delete;
  TEncoder& operator=(const TEncoder&) = delete;

  static TEncoder& Of(void* data) { return *static_cast<TEncoder*>(data); }

  static FLAC__StreamEncoderWriteStatus Write(const FLAC__StreamEncoder*, const FLAC__byte buffer[],
                                              std::size_t bytes, std::uint32_t samples,
                                              std::uint32_t, void* data) {
    TFlacSink& owner = Of(data).Owner;
    if (samples > 0 && !owner.FramesBegun_) {
      owner.FramesBegun_ = true;
      owner.MetaEnd_ = owner.EncoderPosition_;
    }
    const std::uint64_t at = owner.EncoderPosition_;
    owner.EncoderPosition_ += bytes;
    if (!owner.FramesBegun_ || at < owner.MetaEnd_) {
      Put(owner.Meta_, at, buffer, bytes);
      return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    }
    TByteSink& target = *owner.Target_;
    const std::uint64_t place = owner.FramesAt_ + (at - owner.MetaEnd_);
    const bool ok =
        (target.Position() == place || target.Seek(place)) && target.Write(buffer, bytes) == bytes;
    if (!ok) owner.Failed(target.Error() != 0 ? target.Error() : EIO);
    return ok ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
              : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
  }
  static FLAC__StreamEncoderSeekStatus Seek(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                            void* data) {
    Of(data).Owner.EncoderPosition_ = offset;
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
  }
  static FLAC__StreamEncoderTellStatus Tell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                            void* data) {
    *offset = Of(data).Owner.EncoderPosition_;
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
  }

  TFlacSink& Owner;
  FLAC__StreamEncoder* Handle;
};

namespace {

// Sets up an encoder of the format with these metadata blocks.
bool Configure(FLAC__StreamEncoder* encoder, std::uint32_t channels, std::uint32_t bits,
               std::uint32_t rate, std::vector<FLAC__StreamMetadata*>& blocks) {
  return encoder != nullptr && FLAC__stream_encoder_set_channels(encoder, channels) &&
         FLAC__stream_encoder_set_bits_per_sample(encoder, bits) &&
         FLAC__stream_encoder_set_sample_rate(encoder, rate) &&
         FLAC__stream_encoder_set_metadata(encoder, blocks.data(),
                                           static_cast<std::uint32_t>(blocks.size()));
}

// The Vorbis comment block: the channel mask of an extensible fmt chunk, as
// the flac tool writes it (libFLAC adds its vendor string).
TBlock Comments(bool extensible, std::uint32_t mask) {
  TBlock block(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
  if (!block || !extensible) return block;
  char value[16];
  std::snprintf(value, sizeof value, "0x%04X", mask);
  FLAC__StreamMetadata_VorbisComment_Entry entry;
  if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, kChannelMaskTag,
                                                                      value) ||
      !FLAC__metadata_object_vorbiscomment_append_comment(block.get(), entry, false)) {
    return nullptr;
  }
  return block;
}

// The bytes libFLAC writes for a stream of the format with these metadata
// blocks and no samples: "fLaC", STREAMINFO, the blocks.
struct TLayout {
  std::vector<std::uint8_t> Bytes;
  static FLAC__StreamEncoderWriteStatus Write(const FLAC__StreamEncoder*, const FLAC__byte buffer[],
                                              std::size_t bytes, std::uint32_t, std::uint32_t,
                                              void* data) {
    auto& out = static_cast<TLayout*>(data)->Bytes;
    out.insert(out.end(), buffer, buffer + bytes);
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
  }
};
bool LayOut(std::uint32_t channels, std::uint32_t bits, std::uint32_t rate,
            std::vector<FLAC__StreamMetadata*> blocks, std::vector<std::uint8_t>& bytes) {
  FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
  TLayout layout;
  bool ok = Configure(encoder, channels, bits, rate, blocks) &&
            FLAC__stream_encoder_init_stream(encoder, &TLayout::Write, nullptr, nullptr, nullptr,
                                             &layout) == FLAC__STREAM_ENCODER_INIT_STATUS_OK;
  ok = encoder != nullptr && FLAC__stream_encoder_finish(encoder) && ok;
  if (encoder != nullptr) FLAC__stream_encoder_delete(encoder);
  bytes = std::move(layout.Bytes);
  return ok;
}

}  // namespace

TFlacSink::TFlacSink(std::unique_ptr<TByteSink> target) : Target_(std::move(target)) {}

TFlacSink::~TFlacSink() {
  if (!Closed_ && Target_) Target_->Close();
}

std::unique_ptr<TFlacSink> TFlacSink::Create(std::unique_ptr<TByteSink> target) {
  if (!target || !target->Seekable()) return nullptr;
  return std::unique_ptr<TFlacSink>(new TFlacSink(std::move(target)));
}

bool TFlacSink::Failed(int error) {
  if (!Broken_) Error_ = error;
  Broken_ = true;
  return false;
}

void TFlacSink::Put(std::vector<std::uint8_t>& part, std::uint64_t offset, const void* data,
                    std::size_t n) {
  const auto at = static_cast<std::size_t>(offset);
  if (part.size() < at + n) part.resize(at + n);
  std::memcpy(part.data() + at, data, n);
}

std::size_t TFlacSink::Write(const void* data, std::size_t n) {
  const std::uint64_t samplesEnd = Head_.size() + SampleBytes_;
  if (Position_ + n <= Head_.size() || (!SamplesBegun_ && Position_ <= Head_.size())) {
    Put(Head_, Position_, data, n);
  } else if (SamplesBegun_ && Position_ >= samplesEnd && Position_ <= End()) {
    Put(Tail_, Position_ - samplesEnd, data, n);
  } else {
    Error_ = EINVAL;
    return 0;
  }
  Position_ += n;
  return n;
}

bool TFlacSink::Seek(std::uint64_t position) {
  if (position > End()) {
    Error_ = EINVAL;
    return false;
  }
  Position_ = position;
  return true;
}

TByteSink::TRoom TFlacSink::MakeRoom(std::uint64_t position, std::uint64_t n) {
  const std::uint64_t samplesEnd = Head_.size() + SampleBytes_;
  std::vector<std::uint8_t>* part = nullptr;
  std::uint64_t at = position;
  if (position <= Head_.size()) {
    part = &Head_;
  } else if (SamplesBegun_ && position >= samplesEnd && position <= End()) {
    part = &Tail_;
    at -= samplesEnd;
  }
  if (part == nullptr || n > kMaxFlacChunkBytes) {
    Error_ = EINVAL;
    return TRoom::Refused;
  }
  part->insert(part->begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::size_t>(n), 0);
  Position_ = End();
  return TRoom::Made;
}

std::size_t TFlacSink::WriteSamples(const void* data, std::size_t n) {
  if (Broken_) return 0;
  if (n == 0) return 0;
  const bool inPlace = SamplesBegun_ ? Tail_.empty() && Position_ == Head_.size() + SampleBytes_
                                     : Position_ == Head_.size();
  if (!inPlace) {
    Error_ = EINVAL;
    return 0;
  }
  if (!SamplesBegun_ && !Begin()) return 0;
  SamplesBegun_ = true;
  if (!Encode(static_cast<const std::uint8_t*>(data), n)) return 0;
  SampleBytes_ += n;
  Position_ += n;
  return n;
}

bool TFlacSink::Begin() {
  // The bytes so far: the RIFF header, chunks, the data chunk's header (and,
  // without samples, what came behind it).
  std::vector<TPiece> pieces;
  std::size_t dataEnd = 0;
  const bool wave =
      Head_.size() >= 12 &&
      (IdIs(Head_.data(), "RIFF") || IdIs(Head_.data(), "RF64") || IdIs(Head_.data(), "BW64")) &&
      IdIs(Head_.data() + 8, "WAVE");
  if (!wave || !Pieces(Head_, 12, true, pieces, &dataEnd)) return Failed(EINVAL);
  if (dataEnd < Head_.size()) {
    if (SamplesBegun_ || !Tail_.empty() || SampleBytes_ != 0) return Failed(EINVAL);
    Tail_.assign(Head_.begin() + static_cast<std::ptrdiff_t>(dataEnd), Head_.end());
    Head_.resize(dataEnd);
  }
  const auto fmt = std::find_if(pieces.begin(), pieces.end(), [&](const TPiece& piece) {
    return IdIs(Head_.data() + piece.At, "fmt ") && piece.Bytes >= 8 + 16;
  });
  if (fmt == pieces.end()) return Failed(EINVAL);
  const std::uint8_t* body = Head_.data() + fmt->At + 8;
  const std::uint32_t fmtSize = GetLe32(Head_.data() + fmt->At + 4);
  const std::uint16_t tag = GetLe16(body);
  Extensible_ = tag == kFormatExtensible && fmtSize >= 40 && GetLe16(body + 24) == kFormatPcm &&
                std::memcmp(body + 26, kSubFormatGuidTail, sizeof kSubFormatGuidTail) == 0;
  Channels_ = GetLe16(body + 2);
  Rate_ = GetLe32(body + 4);
  Bits_ = GetLe16(body + 14);
  Mask_ = Extensible_ ? GetLe32(body + 20) : 0;
  FrameBytes_ = Channels_ * Bits_ / 8;
  const bool integer = tag == kFormatPcm || Extensible_;
  if (!integer || (Bits_ != 16 && Bits_ != 24 && Bits_ != 32) || Channels_ == 0 ||
      Channels_ > kMaxFlacChannels || GetLe16(body + 12) != FrameBytes_) {
    return Failed(EINVAL);
  }

  Encoder_ = std::make_unique<TEncoder>(*this);
  TBlock comments = Comments(Extensible_, Mask_);
  std::vector<FLAC__StreamMetadata*> blocks{comments.get()};
  FLAC__StreamEncoder* encoder = Encoder_->Handle;
  const bool ready = comments && Configure(encoder, Channels_, Bits_, Rate_, blocks) &&
                     FLAC__stream_encoder_set_compression_level(encoder, kCompressionLevel) &&
                     FLAC__stream_encoder_set_verify(encoder, true) &&
                     FLAC__stream_encoder_init_stream(encoder, &TEncoder::Write, &TEncoder::Seek,
                                                      &TEncoder::Tell, nullptr, Encoder_.get()) ==
                         FLAC__STREAM_ENCODER_INIT_STATUS_OK;
  if (!ready) return Failed(ENOMEM);
  // Room for the metadata as it stands: the blocks of the chunks so far and
  // some to spare.
  FramesAt_ = Meta_.size() + kSpareRoom;
  for (const TPiece& piece : pieces) FramesAt_ += 8 + piece.Bytes;
  const std::vector<std::uint8_t> room(static_cast<std::size_t>(FramesAt_), 0);
  if (!Target_->Seek(0) || Target_->Write(room.data(), room.size()) != room.size()) {
    return Failed(Target_->Error() != 0 ? Target_->Error() : EIO);
  }
  return true;
}

bool TFlacSink::Encode(const std::uint8_t* bytes, std::size_t n) {
  // A frame split between two writes is put together first.
  std::size_t used = 0;
  if (!Carry_.empty()) {
    used = std::min(n, FrameBytes_ - Carry_.size());
    Carry_.insert(Carry_.end(), bytes, bytes + used);
    if (Carry_.size() < FrameBytes_) return true;
    std::vector<std::uint8_t> frame;
    frame.swap(Carry_);
    if (!Encode(frame.data(), frame.size())) return false;
  }
  const std::size_t frames = (n - used) / FrameBytes_;
  const std::uint8_t* in = bytes + used;
  const std::size_t samples = frames * Channels_;
  Ints_.resize(samples);
  if (Bits_ == 16) {
    for (std::size_t i = 0; i < samples; ++i, in += 2) {
      Ints_[i] = static_cast<std::int16_t>(GetLe16(in));
    }
  } else if (Bits_ == 24) {
    for (std::size_t i = 0; i < samples; ++i, in += 3) {
      const auto word = static_cast<std::uint32_t>(in[0] | in[1] << 8 | in[2] << 16) << 8;
      Ints_[i] = static_cast<std::int32_t>(word) >> 8;
    }
  } else {
    for (std::size_t i = 0; i < samples; ++i, in += 4) {
      Ints_[i] = static_cast<std::int32_t>(GetLe32(in));
    }
  }
  Carry_.assign(in, bytes + n);
  if (frames > 0 && !FLAC__stream_encoder_process_interleaved(Encoder_->Handle, Ints_.data(),
                                                              static_cast<std::uint32_t>(frames))) {
    return Failed(Error_ != 0 && Broken_ ? Error_ : EIO);
  }
  return !Broken_;
}

bool TFlacSink::Finish() {
  if (!SamplesBegun_ && !Begin()) return false;
  // A frame cut short is none of the writer's: it writes whole frames.
  if (!Carry_.empty()) return Failed(EINVAL);
  FLAC__StreamEncoder* encoder = Encoder_->Handle;
  if (!FLAC__stream_encoder_finish(encoder)) {
    return Failed(Broken_ ? Error_ : EIO);
  }

  // The chunks, a block each; the pad byte behind odd samples is no chunk's.
  std::vector<TBlock> kept;
  std::vector<TPiece> head;
  std::vector<TPiece> tail;
  std::size_t dataEnd = 0;
  const std::size_t tailFrom = SampleBytes_ & 1u && !Tail_.empty() ? 1 : 0;
  if (!Pieces(Head_, 12, true, head, &dataEnd) || !Pieces(Tail_, tailFrom, false, tail, nullptr)) {
    return Failed(EINVAL);
  }
  head.insert(head.begin(), TPiece{0, 12});
  // The flac tool knows RF64, not BW64: the same layout under the other name.
  if (IdIs(Head_.data(), "BW64")) std::memcpy(Head_.data(), "RF64", 4);
  TBlock comments = Comments(Extensible_, Mask_);
  std::vector<FLAC__StreamMetadata*> blocks{comments.get()};
  const auto keep = [&](const std::vector<std::uint8_t>& part, const TPiece& piece) {
    std::vector<std::uint8_t> bytes(
        part.begin() + static_cast<std::ptrdiff_t>(piece.At),
        part.begin() + static_cast<std::ptrdiff_t>(piece.At + piece.Bytes));
    // A last chunk whose pad byte was not written gets it.
    if (bytes.size() % 2 == 1) bytes.push_back(0);
    TBlock block(FLAC__metadata_object_new(FLAC__METADATA_TYPE_APPLICATION));
    if (!block || bytes.size() > kMaxFlacChunkBytes) return false;
    std::memcpy(block->data.application.id, kRiffApplicationId, 4);
    if (!FLAC__metadata_object_application_set_data(
            block.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), true)) {
      return false;
    }
    blocks.push_back(block.get());
    kept.push_back(std::move(block));
    return true;
  };
  for (const TPiece& piece : head) {
    if (!keep(Head_, piece)) return Failed(EFBIG);
  }
  for (const TPiece& piece : tail) {
    if (!keep(Tail_, piece)) return Failed(EFBIG);
  }

  // libFLAC lays the blocks out; the STREAMINFO is the one the encoder of
  // the samples finished with. A padding block fills the room to the frames,
  // which move on when the blocks outgrow it.
  std::vector<std::uint8_t> bytes;
  if (!comments || !LayOut(Channels_, Bits_, Rate_, blocks, bytes)) return Failed(ENOMEM);
  TBlock padding;
  if (bytes.size() != FramesAt_) {
    if (bytes.size() + 4 > FramesAt_) {
      const std::uint64_t more = bytes.size() + 4 + kSpareRoom - FramesAt_;
      if (Target_->MakeRoom(FramesAt_, more) != TRoom::Made) {
        return Failed(Target_->Error() != 0 ? Target_->Error() : ENOSPC);
      }
      FramesAt_ += more;
    }
    padding.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
    if (!padding) return Failed(ENOMEM);
    padding->length = static_cast<std::uint32_t>(FramesAt_ - bytes.size() - 4);
    blocks.push_back(padding.get());
    if (!LayOut(Channels_, Bits_, Rate_, blocks, bytes)) return Failed(ENOMEM);
  }
  if (bytes.size() != FramesAt_ || Meta_.size() < kStreamInfoEnd) return Failed(EIO);
  std::copy(Meta_.begin() + kStreamInfoBody, Meta_.begin() + kStreamInfoEnd,
            bytes.begin() + kStreamInfoBody);
  if (!Target_->Seek(0) || Target_->Write(bytes.data(), bytes.size()) != bytes.size()) {
    return Failed(Target_->Error() != 0 ? Target_->Error() : EIO);
  }
  return true;
}

bool TFlacSink::Close() {
  if (Closed_) return !Broken_;
  Closed_ = true;
  const bool laidOut = !Broken_ && Finish();
  if (!Target_->Close()) Failed(Target_->Error() != 0 ? Target_->Error() : EIO);
  return laidOut && !Broken_;
}

}  // namespace zorv
