// SPDX-License-Identifier: GPL-3.0-or-later
// A FLAC file read as the WAV file it was packed from: the RIFF chunks that
// `flac --keep-foreign-metadata` keeps in APPLICATION blocks ("riff"), in
// their order, with the data chunk's samples decoded by libFLAC in its place;
// a plain WAV header where the file keeps no chunks. The WAV reader walks it
// as it walks any WAV file, so that every chunk is carried the same way.
//
// As `flac -d --keep-foreign-metadata` does, the sizes (RIFF, ds64, data) are
// the stream's own; the fmt chunk is the one kept when it describes the
// stream (a 16-byte fmt of 24-bit samples stays 16 bytes), else the one that
// tool writes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wav/byte_source.h"

namespace zorv {

// The first bytes of a FLAC stream.
bool IsFlacStart(const std::uint8_t* bytes, std::size_t n);

// What the STREAMINFO MD5 says of the samples decoded.
enum class TFlacMd5Check {
  Unchecked,  // the samples have not been decoded from the first to the last in one pass
  Absent,     // the file has no MD5 (all zeros)
  Matches,
  Differs,  // the file is damaged: its samples are not those it was made from
};

// What reading a FLAC file found out, kept for its reader beyond the
// source's life (the WAV reader closes its source when a run ends).
struct TFlacFindings {
  // Set once the last sample has been decoded in a pass that began with the
  // first.
  TFlacMd5Check Md5 = TFlacMd5Check::Unchecked;
  // What was changed in presenting the file ("the fmt chunk kept ...").
  std::vector<std::string> Notes;
};

class TFlacSource final : public TByteSource {
 public:
  // Reads the FLAC metadata of source from its start. Null, with problem set,
  // when it is no FLAC stream this can present as a WAV file; readFailed is
  // then set when a read of source failed (problem: the system's reason).
  static std::unique_ptr<TFlacSource> Open(std::unique_ptr<TByteSource> source,
                                           std::string& problem, bool& readFailed);
  ~TFlacSource() override;
  TFlacSource(const TFlacSource&) = delete;
  TFlacSource& operator=(const TFlacSource&) = delete;

  std::size_t Read(void* destination, std::size_t n) override;
  bool Seek(std::uint64_t position) override;
  std::uint64_t Position() const override { return Position_; }
  std::uint64_t Size() const override;
  int ReadErrno() const override { return ReadErrno_; }
  std::string ReadErrorText() const override { return ReadErrorText_; }
  bool Seekable() const override;
  bool Interrupted() const override { return Interrupted_; }

  TFlacMd5Check Md5Check() const { return Findings_->Md5; }
  // The STREAMINFO MD5, as hexadecimal digits.
  std::string StreamMd5() const;
  // The file keeps RIFF chunks (false: the header was made from STREAMINFO).
  bool KeepsRiffChunks() const { return KeepsChunks_; }
  const std::vector<std::string>& Notes() const { return Findings_->Notes; }
  std::shared_ptr<const TFlacFindings> Findings() const { return Findings_; }

  struct TDecoder;

 private:
  explicit TFlacSource(std::unique_ptr<TByteSource> source);
  bool ReadMetadata(std::string& problem);
  bool CountFrames(std::string& problem);
  bool Present(std::string& problem);
  // n sample bytes from offset within the data into out; fewer on a failure.
  std::size_t ReadSamples(std::uint64_t offset, std::uint8_t* out, std::size_t n);
  // Decodes until the frame that holds offset is in Frame_; false on a
  // failure, which it notes.
  bool DecodeTo(std::uint64_t offset);
  bool Restart();
  void Fail(int error, std::string text);
  void FinishPass();
  // The check of the STREAMINFO MD5 against the digest of the samples.
  void SetMd5Check(bool matches);

  friend struct TDecoder;
  std::unique_ptr<TByteSource> Source_;
  std::unique_ptr<TDecoder> Decoder_;

  // STREAMINFO.
  std::uint32_t Channels_ = 0;
  std::uint32_t Bits_ = 0;
  std::uint32_t Rate_ = 0;
  std::uint64_t TotalFrames_ = 0;
  std::uint8_t StreamMd5_[16] = {};
  std::uint32_t ChannelMask_ = 0;  // from WAVEFORMATEXTENSIBLE_CHANNEL_MASK; 0 none
  bool MaskTagged_ = false;
  bool MetadataRead_ = false;
  bool Counting_ = false;
  // The "riff" blocks as stored, in order.
  std::vector<std::vector<std::uint8_t>> Blocks_;
  std::uint64_t BlockBytes_ = 0;

  // The WAV file presented: head, samples, tail.
  std::vector<std::uint8_t> Head_;
  std::vector<std::uint8_t> Tail_;
  std::uint64_t DataBytes_ = 0;
  std::uint32_t FrameBytes_ = 0;
  std::uint32_t SampleBytes_ = 0;
  bool KeepsChunks_ = false;
  std::uint64_t Position_ = 0;

  // The decoded frame in hand: its bytes and the data offset of the first.
  std::vector<std::uint8_t> Frame_;
  std::uint64_t FrameStart_ = 0;
  // The data offset the decoder delivers next.
  std::uint64_t NextOffset_ = 0;
  // The pass began with the first sample and has not seeked since.
  bool WholePass_ = true;
  bool Damaged_ = false;
  bool SourceEnded_ = false;
  std::string Damage_;
  std::shared_ptr<TFlacFindings> Findings_ = std::make_shared<TFlacFindings>();

  int ReadErrno_ = 0;
  std::string ReadErrorText_;
  bool Interrupted_ = false;
};

}  // namespace zorv
