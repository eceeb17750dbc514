// SPDX-License-Identifier: GPL-3.0-or-later
// The WAV reader: opens one file (or stream) at a time, walks its chunks
// (RIFF, RF64 and BW64), keeps the list of them for the writer, and hands the
// sample data out in blocks of at most 38400 bytes through a buffer of its
// own.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "wav/byte_source.h"
#include "wav/chunk_list.h"
#include "wav/header_image.h"

namespace zorv {

// Bytes of the reader's and the writer's block buffer.
inline constexpr std::uint32_t kWavBufferBytes = 38400;
// The reader's buffer for frames of more than two channels: large enough
// that 24 tracks of 48 kHz still come in blocks of 100 ms, not 10 ms, which
// would leave the decoding threads waiting on each other ten times as often.
inline constexpr std::uint32_t kWideBufferBytes = 512 * 1024;

// Results of TWavFileIn::ReadHeader.
enum class TReadHeaderResult {
  Ok,
  NoRiff,  // the first four bytes are not "RIFF"
  NoWave,  // bytes 8..11 are not "WAVE"
  NoFmt,   // no "fmt " chunk before the end of the RIFF chunk (or of the file)
  NoData,  // no "data" chunk after the format fields
  // The chunks contradict each other or the file (two fmt or data chunks, a
  // fmt chunk too short for its fields, an RF64 file without a usable ds64,
  // too many chunks): Problem() says what was found.
  Malformed,
  // A read failed (ReadFailure, ReadFailureText say how), or a stop was
  // requested while the chunks were walked (ReadFailure Interrupted).
  ReadError,
};

// Why a read came back short. A file whose chunks claim more than the file
// held when it was opened simply ends (None), and so does a stream whose
// header says that it runs to its end; a read that fails (Error), a file that
// became shorter while it was read (Shrank) and a stream that ends before
// the size its header states (StreamEnded) are failures. Interrupted: a stop
// was requested (IoStopRequested) while the input was waited for or walked.
enum class TReadFailure { None, Error, Shrank, StreamEnded, Interrupted };
// The most chunks a file may have; a list this long is kept in memory.
inline constexpr std::size_t kMaxChunks = 1000000;
// The most chunk bytes kept in memory; a stream's chunks before its data must
// all fit (on a file, larger bodies are read from the file when copied).
inline constexpr std::uint64_t kMaxHeldBytes = 64u << 20;

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
  // Reads a WAV stream from a descriptor already open (standard input, a
  // pipe), from where it stands; the descriptor stays open after CloseFile.
  // A data size of 0 or 0xFFFFFFFF then means "to the end of the stream".
  bool OpenStream(int fd);
  // Reads from a source its caller has opened (a FLAC file presented as the
  // WAV file it was packed from); false for none.
  bool OpenSource(std::unique_ptr<TByteSource> source);
  void CloseFile();
  bool IsOpen() const { return Source_ != nullptr; }

  // Walks the header.
  TReadHeaderResult ReadHeader();
  void UpdateBufferSize();
  // Next block into Buffer; its byte count (0 at the end).
  std::uint32_t ReadBuffer();
  // Set by a ReadBuffer that came back short through a failure; cleared when
  // a file is opened. ReadErrno: the system's error number for Error.
  TReadFailure ReadFailure() const { return ReadFailure_; }
  int ReadErrno() const { return ReadErrno_; }
  // The failure in words: the system's reason, "the input file became
  // shorter during the decode", "the stream ended after N of M frames"...
  const std::string& ReadFailureText() const { return ReadFailureText_; }

  const THeaderImage& HeaderImage() const { return HeaderImage_; }
  const std::uint8_t* Buffer() const { return Buffer_.data(); }
  // The most bytes a block may hold: kWavBufferBytes for one or two
  // channels, kWideBufferBytes for more. Buffer() holds at least as many.
  std::uint32_t BufferCapacity() const;
  // The buffer pointer handed to OnBufferReady: null until the first
  // successful OpenFile.
  const std::uint8_t* BufferPointer() const { return BufferPointer_; }

  std::uint64_t DataStart() const { return DataStartPosition_; }
  std::uint64_t DataRemaining() const { return DataRemaining_; }
  // The data chunk's size, from the ds64 chunk for RF64; kUnknownSize for a
  // stream whose data runs to its end.
  std::uint64_t DataSize() const { return DataSize_; }
  bool DataSizeKnown() const { return DataSize_ != kUnknownSize; }
  // A data chunk whose size is 0 (in ds64 for RF64) runs to the end of the
  // file or stream; once samples were found there: "the data chunk's size is
  // 0: decoded to the end of the file" ("... of the stream"), else empty.
  std::string DataSizeNote() const;
  // Data bytes the input can deliver: a data chunk may claim more than the
  // file holds. The declared size for a stream.
  std::uint64_t DeliverableDataBytes() const;

  // What ReadHeader found besides the image.
  TContainer Container() const { return Container_; }
  bool IsStream() const { return Source_ && !Source_->Seekable(); }
  // Every chunk of the file in order, fmt and data included; for a stream
  // only those before the data until ReadTrailingChunks.
  const std::vector<TChunkInfo>& Chunks() const { return Chunks_; }
  // The body of the first fmt chunk, all of it.
  const std::vector<std::uint8_t>& FmtBody() const { return FmtBody_; }
  // For Malformed: what was found ("two data chunks").
  const std::string& Problem() const { return Problem_; }
  // What was found and left out (a chunk that runs past the end of the
  // file), one line each.
  const std::vector<std::string>& Notes() const { return Notes_; }
  // A chunk's body, or part of it; false when the input does not give it.
  bool ReadChunkBody(const TChunkInfo& chunk, std::uint64_t offset, void* destination,
                     std::size_t n);
  // A stream's chunks behind its data, once the data has been read to its
  // declared end. Nothing for a file (found by ReadHeader) or a stream whose
  // data runs to its end.
  void ReadTrailingChunks();
  // A stream whose header leaves room for chunks behind its data, which
  // ReadTrailingChunks has not read yet.
  bool ChunksMayFollowData() const;
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
  // Takes the format fields from the fmt body and normalises an extensible
  // chunk of PCM or float samples.
  void ReadFormatFields();
  // The chunk walk from position on; false (with Problem_) when the file is
  // malformed.
  enum class TWalkEnd { Done, Malformed, Failed };
  TWalkEnd Walk(std::uint64_t position, bool trailing);
  // Whether the chunks from position on, walked by their sizes, end exactly
  // where the RIFF size says the file ends, within the file: a data chunk of
  // size 0 followed by them is then empty indeed (a file of no frames), not
  // left unsized by a recorder that stopped.
  bool ChunksEndAtRiffEnd(std::uint64_t position);
  bool ReadDs64(const std::uint8_t* body, std::uint64_t size);
  // ds64's RIFF and data sizes both 0 (or all ones): a stream writer's, which
  // cannot know them in advance.
  bool Ds64SizesOpen() const;
  // A 32-bit size of 0xFFFFFFFF in an RF64 file stands for the size in ds64.
  bool ChunkSize(const std::array<char, 4>& id, std::uint32_t size32, std::uint64_t& size);
  bool Hold(TChunkInfo& chunk);
  void Note(std::string text);
  // Bytes of a block at the current interval, before the cap to Buffer.
  std::uint64_t UncappedBlockBytes() const;
  // Tells a short read from a failure (see TReadFailure); the read ended at
  // the source's position.
  void NoteShortRead();
  void Fail(TReadFailure failure, std::string text);
  // Reads from the source; a short read is looked at by NoteShortRead.
  std::size_t ReadSome(void* destination, std::size_t n);
  // Where a walk over a stream's chunks behind its data ran out of input:
  // a failure unless the header says the stream runs to its end and it
  // ended between two chunks.
  TWalkEnd TrailingEnd(std::uint64_t position, bool betweenChunks);

  std::unique_ptr<TByteSource> Source_;
  std::uint64_t DataStartPosition_ = 0;
  std::uint64_t DataPosition_ = 0;  // the next data byte's position in the input
  std::uint32_t BlockBytes_ = 0;
  std::uint32_t BlockFrames_ = 0;
  std::uint32_t FormatTag_ = 0;
  std::uint32_t BlockAlign_ = 0;
  std::uint32_t Channels_ = 0;
  std::uint32_t SampleRate_ = 0;
  std::uint32_t TimeInterval_ = kDefaultTimeInterval;
  TReadFailure ReadFailure_ = TReadFailure::None;
  int ReadErrno_ = 0;
  std::string ReadFailureText_;
  std::uint64_t DataRemaining_ = 0;
  std::uint64_t DataSize_ = 0;
  std::uint64_t WalkEnd_ = 0;  // chunk headers start before this position

  TContainer Container_ = TContainer::Riff;
  std::vector<TChunkInfo> Chunks_;
  std::vector<std::uint8_t> Held_;
  std::vector<std::uint8_t> FmtBody_;
  std::string Problem_;
  std::vector<std::string> Notes_;
  bool FmtFound_ = false;
  bool DataFound_ = false;
  bool DataBeforeFmt_ = false;
  bool TrailingRead_ = false;
  bool DataSizeZero_ = false;  // the data chunk said 0 bytes
  // ds64: RIFF and data sizes, and the sizes of other chunks.
  std::uint64_t Ds64RiffSize_ = 0;
  std::uint64_t Ds64DataSize_ = 0;
  // Identifier (its four bytes as one number) to size; the first entry of an
  // identifier counts.
  std::unordered_map<std::uint32_t, std::uint64_t> Ds64Table_;
  const std::uint8_t* BufferPointer_ = nullptr;
  std::vector<std::uint8_t> Buffer_ = std::vector<std::uint8_t>(kWavBufferBytes);
  THeaderImage HeaderImage_;
};

}  // namespace zorv
