// SPDX-License-Identifier: GPL-3.0-or-later
// The output file's chunks around its samples: the input's chunks in the
// input's order and place, carried byte for byte except for fmt (the
// output's format), bext (a CodingHistory line appended), fact (the frames
// written), MD5 (of the data written) and ds64 (the output's own); RIFF, or
// RF64 / BW64 where the input is one or the sizes need 64 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "wav/chunk_list.h"
#include "wav/md5.h"
#include "wav/wav_file_in.h"
#include "wav/wav_file_out.h"

namespace zorv {

struct TOutputPlan {
  // The canonical 44-byte header of the format fields and the data, and no
  // other chunk (RF64 all the same when the data needs 64-bit sizes).
  bool Canonical = false;
  // Appended to the CodingHistory of a bext chunk; empty: none.
  std::string CodingHistoryLine;
  // The output's fmt body; empty: the input's own, its byte rate made to
  // agree with rate and block align (the first 16 bytes of the image's for a
  // canonical output).
  std::vector<std::uint8_t> FmtBody;
  // The largest RIFF size written as plain RIFF.
  std::uint64_t MaxRiffSize = 0xFFFFFFFFu;
  // A fact chunk (the frames written) behind the fmt chunk when the input
  // has none: float samples made from integer ones. Not in a canonical
  // output.
  bool Fact = false;
};

class TOutputLayout {
 public:
  // For an input whose ReadHeader succeeded, written to a target that can
  // (seekable) or cannot be rewritten.
  TOutputLayout(TWavFileIn& input, const TOutputPlan& plan, bool seekable);

  // Everything before the samples, with the sizes the output will have when
  // the input delivers its declared data in whole frames (0xFFFFFFFF where
  // that is not known); false when the writer did not take it all.
  bool WriteHead(TWavFileOut& out);
  // After the last of dataBytes sample bytes: the pad byte, the chunks behind
  // the data and, where the target can be rewritten, the sizes of what was
  // written. md5 is the digest of those bytes when NeedsMd5.
  bool WriteTail(TWavFileOut& out, std::uint64_t dataBytes, const TMd5Digest& md5);

  // The CodingHistory line as the run ends, when it says more than the one
  // laid out (a level moved during the run): the bext chunk takes it in the
  // tail, growing in place where it stands before the samples of a file.
  void SetCodingHistoryLine(std::string line) { FinalLine_ = std::move(line); }

  bool NeedsMd5() const;
  TContainer Container() const { return Container_; }
  // Bytes of the output before the samples, once the head is written.
  std::uint64_t HeadBytes() const;
  // What was changed about the chunks besides their sizes, one line each.
  const std::vector<std::string>& Notes() const { return Notes_; }
  // The code of each note ("chunk_left_out", "chunk_moved", ...), in the same
  // order.
  const std::vector<std::string>& NoteCodes() const { return NoteCodes_; }

 private:
  enum class TKind { Ds64, Reserve, Fmt, Data, Copy, Bext, Fact, Md5 };
  struct TItem {
    TKind Kind;
    std::array<char, 4> Id{};
    std::uint64_t Size = 0;
    bool AfterData = false;
    std::vector<std::uint8_t> Body;  // all but Copy and Data
    std::size_t Chunk = 0;           // Copy: the input's chunk
    std::uint64_t Position = 0;      // of the chunk header in the output, once written
  };

  void Note(const char* code, std::string text);
  void Add(TKind kind, const char* id, std::vector<std::uint8_t> body, bool afterData);
  // The item for the input's chunk of that index.
  void AddChunk(std::size_t index);
  // The first bext, with the CodingHistory line; false (said in Notes where
  // that is why) when it cannot take the line and is copied as it is.
  bool AddBext(std::size_t index);
  std::uint64_t ExpectedRiffSize(std::uint64_t dataBytes) const;
  std::uint64_t TailBytes() const;
  // Sets the size fields of the items for dataBytes of samples.
  void SetSizes(std::uint64_t dataBytes, bool known);
  bool WriteItem(TWavFileOut& out, TItem& item);
  // The chunks are written in pieces of at least 64 KiB, not one write per
  // chunk header and body: Put collects, Flush writes what was collected.
  bool Put(TWavFileOut& out, const void* data, std::size_t n);
  bool Flush(TWavFileOut& out);
  bool Patch(TWavFileOut& out, const TItem& item);
  // The bext item with the final line; false only when the output failed.
  bool RelayBext(TWavFileOut& out);

  TWavFileIn& Input_;
  bool Seekable_;
  std::uint64_t MaxRiffSize_;
  std::string CodingHistoryLine_;
  std::string FinalLine_;
  // The first bext's body as the input has it, before the line.
  std::vector<std::uint8_t> BextBase_;
  // The head's RIFF size is written as unknown: chunks that cannot be
  // counted yet may follow the data.
  bool RiffOpen_ = false;
  std::uint16_t BlockAlign_ = 0;
  TContainer Container_ = TContainer::Riff;
  std::vector<TItem> Items_;
  std::vector<std::string> Notes_;
  std::vector<std::string> NoteCodes_;
  std::vector<std::uint8_t> Pending_;
  std::array<std::uint8_t, 12> RiffHeader_{};
  std::vector<std::uint8_t> Fmt_;
  std::uint32_t DataSize32_ = 0;
  std::size_t ChunksSeen_ = 0;  // of the input's list when laid out
  bool BextDone_ = false;
  std::uint64_t ExpectedData_ = 0;
  bool ExpectedKnown_ = true;
};

// The input's chunks that a non-canonical output carries besides its format
// and data, by name, each once, in the input's order ("bext", "iXML",
// "LIST"); fillers (JUNK, PAD) left out.
// The first limit of them; count, when given, gets how many there are.
std::vector<std::string> CarriedMetadata(const TWavFileIn& input, std::size_t limit = SIZE_MAX,
                                         std::size_t* count = nullptr);

}  // namespace zorv
