// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/wav_file_in.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/wav/wav_builder.h"

namespace zorv {
namespace {

using test::CanonicalWav;
using test::TBytes;
using test::TWavBuilder;

TBytes Image(const TWavFileIn& r) {
  return {r.HeaderImage().Bytes.begin(), r.HeaderImage().Bytes.end()};
}

// The reader keeps reading from file: it must outlive the reads.
TReadHeaderResult ReadHeaderOf(TWavFileIn& r, const TBytes& file) {
  r.OpenMemory(file.data(), file.size());
  return r.ReadHeader();
}
TReadHeaderResult ReadHeaderOf(TWavFileIn& r, TBytes&& file) = delete;

// What ReadBuffer raised, in order: "eof", or "ready:<l>".
struct TEventLog {
  std::vector<std::string> Events;
  explicit TEventLog(TWavFileIn& r) {
    r.OnEOFReached = [this] { Events.push_back("eof"); };
    r.OnBufferReady = [this, &r](const std::uint8_t* pb, std::uint32_t l) {
      EXPECT_EQ(pb, r.Buffer());
      Events.push_back("ready:" + std::to_string(l));
    };
  }
};

TEST(WavReader, CanonicalFileImageIsTheFirst44Bytes) {
  const TBytes file = CanonicalWav(2, 44100, 16, 1000);
  TWavFileIn r;
  ASSERT_EQ(ReadHeaderOf(r, file), TReadHeaderResult::Ok);
  EXPECT_EQ(r.DataStart(), 44u);
  EXPECT_EQ(r.DataRemaining(), 1000u);
  EXPECT_EQ(Image(r), TBytes(file.begin(), file.begin() + 44));
  EXPECT_EQ(r.FormatTag(), 1u);
  EXPECT_EQ(r.Channels(), 2u);
  EXPECT_EQ(r.SampleRate(), 44100u);
  EXPECT_EQ(r.BlockAlign(), 4u);
  EXPECT_EQ(r.BlockFrames(), 4410u);
  EXPECT_EQ(r.BlockBytes(), 17640u);
}

struct TCodeCase {
  const char* Name;
  TBytes File;
  TReadHeaderResult Expected;
};

TEST(WavReader, RefusedHeadersGiveTheCodeOfTheirFault) {
  const TBytes canonical = CanonicalWav(1, 48000, 16, 10);
  TBytes lower = canonical;
  lower[0] = 'r';
  TBytes not_wave = canonical;
  not_wave[11] = 'X';
  TBytes zero_in_id = canonical;
  zero_in_id[15] = 0;  // "fmt\0"
  const std::vector<TCodeCase> cases = {
      {"empty file", {}, TReadHeaderResult::NoRiff},
      {"lower-case riff", lower, TReadHeaderResult::NoRiff},
      {"form type not WAVE", not_wave, TReadHeaderResult::NoWave},
      {"zero byte in the fmt id", zero_in_id, TReadHeaderResult::NoFmt},
      {"no fmt chunk", TWavBuilder().List(4).Data(8).Bytes(), TReadHeaderResult::NoFmt},
      {"upper-case FMT",
       TWavBuilder().Chunk("FMT ", test::FmtBody(1, 1, 48000, 16)).Data(8).Bytes(),
       TReadHeaderResult::NoFmt},
      {"fmt behind the RIFF size",
       TWavBuilder().List(4).Fmt(1, 1, 48000, 16).Data(8).RiffSize(12).Bytes(),
       TReadHeaderResult::NoFmt},
      {"chunk ends behind the RIFF size",
       TWavBuilder().Header("LIST", 0xFFFFFFF0u).Fmt(1, 1, 48000, 16).Bytes(),
       TReadHeaderResult::NoFmt},
      {"chunk ends behind the file",
       TWavBuilder().Header("LIST", 0x7FFFFFF0u).Fmt(1, 1, 48000, 16).RiffSize(0xFFFFFFFFu).Bytes(),
       TReadHeaderResult::NoFmt},
      {"data before fmt", TWavBuilder().Data(8).Fmt(1, 1, 48000, 16).Bytes(),
       TReadHeaderResult::NoData},
      {"fmt only", TWavBuilder().Fmt(1, 1, 48000, 16).Bytes(), TReadHeaderResult::NoData},
      {"chunk before data ends behind the RIFF size",
       TWavBuilder().Fmt(1, 1, 48000, 16).Header("LIST", 0xFFFFFFF0u).Data(8).Bytes(),
       TReadHeaderResult::NoData},
      {"chunk before data ends behind the file",
       TWavBuilder()
           .Fmt(1, 1, 48000, 16)
           .Header("LIST", 0x80000000u)
           .Data(8)
           .RiffSize(0xFFFFFFFFu)
           .Bytes(),
       TReadHeaderResult::NoData},
  };
  for (const auto& c : cases) {
    TWavFileIn r;
    EXPECT_EQ(ReadHeaderOf(r, c.File), c.Expected) << c.Name;
    EXPECT_TRUE(r.IsOpen()) << c.Name;
  }
}

struct TWalkCase {
  const char* Name;
  TBytes File;
  std::uint32_t DataStart;
  std::uint32_t DataSize;
};

TEST(WavReader, WalksOverOtherChunksPadBytesAndLongFmt) {
  TBytes fmt18 = test::FmtBody(1, 2, 44100, 16);
  fmt18.insert(fmt18.end(), {0, 0});  // cbSize 0
  TBytes fmt17 = test::FmtBody(1, 2, 44100, 16);
  fmt17.push_back(0x55);
  const std::vector<TWalkCase> cases = {
      {"LIST before fmt", TWavBuilder().List(26).Fmt(1, 2, 44100, 16).Data(40).Bytes(), 78, 40},
      {"LIST between fmt and data", TWavBuilder().Fmt(1, 2, 44100, 16).List(26).Data(40).Bytes(),
       78, 40},
      {"odd chunks with pad bytes",
       TWavBuilder().List(3).Fmt(1, 2, 44100, 16).List(5).Data(7).List(1).Bytes(), 70, 7},
      {"18-byte fmt", TWavBuilder().Chunk("fmt ", fmt18).Data(40).Bytes(), 46, 40},
      {"17-byte fmt and its pad byte", TWavBuilder().Chunk("fmt ", fmt17).Data(40).Bytes(), 46, 40},
      {"zero-length data chunk at the end", CanonicalWav(2, 44100, 16, 0), 44, 0},
      {"chunks behind the data", TWavBuilder().Fmt(1, 2, 44100, 16).Data(5).List(3).Bytes(), 44, 5},
  };
  const TBytes expected_fields = test::FmtBody(1, 2, 44100, 16);
  for (const auto& c : cases) {
    TWavFileIn r;
    ASSERT_EQ(ReadHeaderOf(r, c.File), TReadHeaderResult::Ok) << c.Name;
    const THeaderImage& h = r.HeaderImage();
    EXPECT_TRUE(h.IdIs(THeaderImage::kFmtId, "fmt ")) << c.Name;
    EXPECT_EQ(h.FmtSize(), 16u) << c.Name;
    EXPECT_TRUE(std::equal(expected_fields.begin(), expected_fields.end(),
                           h.Bytes.begin() + THeaderImage::kFormatTag))
        << c.Name;
    EXPECT_TRUE(h.IdIs(THeaderImage::kDataId, "data")) << c.Name;
    EXPECT_EQ(h.DataSize(), c.DataSize) << c.Name;
    EXPECT_EQ(h.RiffSize(), c.File.size() - 8) << c.Name;
    EXPECT_EQ(r.DataStart(), c.DataStart) << c.Name;
    EXPECT_EQ(r.DataRemaining(), c.DataSize) << c.Name;
  }
}

struct TExtensibleCase {
  const char* Name;
  TBytes Body;
  std::uint16_t Tag;
  std::uint32_t FmtSize;
};

TEST(WavReader, ExtensibleFmtOfPcmOrFloatBecomesThePlainTag) {
  TBytes foreign_guid = test::ExtensibleBody(2, 48000, 24, 1);
  foreign_guid.back() ^= 1;
  const std::vector<TExtensibleCase> cases = {
      {"PCM", test::ExtensibleBody(2, 48000, 24, 1), kFormatPcm, 16},
      {"float", test::ExtensibleBody(2, 48000, 32, 3), kFormatIeeeFloat, 16},
      {"other sub-format", test::ExtensibleBody(2, 48000, 24, 2), kFormatExtensible, 40},
      {"not the base GUID", foreign_guid, kFormatExtensible, 40},
      {"cbSize too small", test::ExtensibleBody(2, 48000, 24, 1, 20), kFormatExtensible, 40},
  };
  for (const auto& c : cases) {
    const TBytes file = TWavBuilder().Chunk("fmt ", c.Body).Data(12).Bytes();
    TWavFileIn r;
    ASSERT_EQ(ReadHeaderOf(r, file), TReadHeaderResult::Ok) << c.Name;
    EXPECT_EQ(r.HeaderImage().FormatTag(), c.Tag) << c.Name;
    EXPECT_EQ(r.FormatTag(), c.Tag) << c.Name;
    EXPECT_EQ(r.HeaderImage().FmtSize(), c.FmtSize) << c.Name;
    // Everything else is the file's own bytes.
    EXPECT_TRUE(
        std::equal(file.begin() + 22, file.begin() + 36, r.HeaderImage().Bytes.begin() + 22))
        << c.Name;
    EXPECT_EQ(r.DataStart(), 68u) << c.Name;
  }
}

// What cannot be read one way only is refused, saying what was found.
TEST(WavReader, AmbiguousOrShortChunksAreRefusedNamingWhatWasFound) {
  TBytes fmt14 = test::FmtBody(1, 1, 44100, 16);
  fmt14.resize(14);
  struct TCase {
    const char* Name;
    TBytes File;
    const char* Problem;
  };
  const std::vector<TCase> cases = {
      {"two data chunks", TWavBuilder().Fmt(1, 2, 44100, 16).Data(4).Data(8).Bytes(),
       "two data chunks"},
      {"two fmt chunks", TWavBuilder().Fmt(1, 2, 44100, 16).Fmt(1, 1, 48000, 24).Data(12).Bytes(),
       "two fmt chunks"},
      {"second fmt behind the data",
       TWavBuilder().Fmt(1, 2, 44100, 16).Data(12).Fmt(1, 1, 48000, 24).Bytes(), "two fmt chunks"},
      {"fmt of 14 bytes", TWavBuilder().Chunk("fmt ", fmt14).Data(8).Bytes(),
       "a fmt chunk of 14 bytes"},
      {"empty fmt", TWavBuilder().Chunk("fmt ", {}).Data(8).Bytes(), "a fmt chunk of 0 bytes"},
  };
  for (const auto& c : cases) {
    TWavFileIn r;
    EXPECT_EQ(ReadHeaderOf(r, c.File), TReadHeaderResult::Malformed) << c.Name;
    EXPECT_EQ(r.Problem(), c.Problem) << c.Name;
  }
}

// A file cut at every length inside its header gives the code of the walk it
// ended in, and the image holds nothing of the file read before it.
TEST(WavReader, TruncatedHeaderAtEveryLength) {
  // LIST at 12 (5 bytes and a pad byte), fmt at 26, LIST at 50, data at 62.
  const TBytes full = TWavBuilder().List(5).Fmt(1, 2, 44100, 16).List(4).Data(8).Bytes();
  ASSERT_EQ(std::count(full.begin(), full.end(), 0xAB), 0);
  const TBytes stale =
      TWavBuilder().Chunk("fmt ", TBytes(16, 0xAB)).Header("data", 0xABABABABu).Bytes();
  for (std::size_t length = 0; length < 70; ++length) {
    TWavFileIn r;
    ASSERT_EQ(ReadHeaderOf(r, stale), TReadHeaderResult::Ok);
    const TBytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
    const TReadHeaderResult expected = length < 4    ? TReadHeaderResult::NoRiff
                                       : length < 12 ? TReadHeaderResult::NoWave
                                       : length < 34 ? TReadHeaderResult::NoFmt
                                                     : TReadHeaderResult::NoData;
    EXPECT_EQ(ReadHeaderOf(r, cut), expected) << "length " << length;
    const TBytes image = Image(r);
    EXPECT_EQ(std::count(image.begin(), image.end(), 0xAB), 0) << "length " << length;
    EXPECT_NE(r.SampleRate(), 0xABABABABu) << "length " << length;
    // A chunk header cut short is what the file holds, then zeros, not the
    // rest of the header read before it.
    for (const auto& [slot, header] : {std::pair{THeaderImage::kFmtId, std::size_t{26}},
                                       std::pair{THeaderImage::kDataId, std::size_t{62}}}) {
      if (length <= header || length >= header + 8) continue;
      TBytes expected_slot(full.begin() + static_cast<std::ptrdiff_t>(header),
                           full.begin() + static_cast<std::ptrdiff_t>(length));
      expected_slot.resize(8, 0);
      EXPECT_EQ(TBytes(image.begin() + static_cast<std::ptrdiff_t>(slot),
                       image.begin() + static_cast<std::ptrdiff_t>(slot) + 8),
                expected_slot)
          << "length " << length;
    }
  }
  TWavFileIn r;
  EXPECT_EQ(ReadHeaderOf(r, full), TReadHeaderResult::Ok);
}

// Reads until the end event; the bytes delivered and the events raised.
TBytes ReadAll(TWavFileIn& r, std::vector<std::uint32_t>& counts) {
  TBytes out;
  bool ended = false;
  auto eof = r.OnEOFReached;
  r.OnEOFReached = [&] {
    ended = true;
    if (eof) eof();
  };
  for (int guard = 0; !ended && guard < 1000; ++guard) {
    const std::uint32_t n = r.ReadBuffer();
    counts.push_back(n);
    out.insert(out.end(), r.Buffer(), r.Buffer() + n);
  }
  return out;
}

struct TDeliveryCase {
  const char* Name;
  TBytes File;
  std::vector<std::uint32_t> Counts;
  std::vector<std::string> LastEvents;
};

TEST(WavReader, DeliversTheDataInBlocksAndSignalsTheEnd) {
  // Mono 16-bit at 44100 Hz: 8820-byte blocks.
  TBytes longer = CanonicalWav(1, 44100, 16, 20000);
  longer.resize(44 + 5000);
  const std::vector<TDeliveryCase> cases = {
      {"exact multiple", CanonicalWav(1, 44100, 16, 2 * 8820), {8820, 8820, 0}, {"eof", "ready:0"}},
      {"remainder",
       TWavBuilder().Fmt(1, 1, 44100, 16).Data(8820 + 101).List(6).Bytes(),
       {8820, 101, 0},
       {"ready:101", "eof", "ready:0"}},
      {"data longer than the file", longer, {5000}, {"eof", "ready:5000"}},
      {"empty data", CanonicalWav(1, 44100, 16, 0), {0}, {"eof", "ready:0"}},
  };
  for (const auto& c : cases) {
    TWavFileIn r;
    TEventLog log(r);
    ASSERT_EQ(ReadHeaderOf(r, c.File), TReadHeaderResult::Ok) << c.Name;
    std::vector<std::uint32_t> counts;
    const TBytes data = ReadAll(r, counts);
    EXPECT_EQ(counts, c.Counts) << c.Name;
    ASSERT_GE(log.Events.size(), c.LastEvents.size()) << c.Name;
    EXPECT_EQ(
        std::vector<std::string>(
            log.Events.end() - static_cast<std::ptrdiff_t>(c.LastEvents.size()), log.Events.end()),
        c.LastEvents)
        << c.Name;
    EXPECT_EQ(std::count(log.Events.begin(), log.Events.end(), "eof"), 1) << c.Name;
    for (std::size_t i = 0; i < data.size(); ++i) ASSERT_EQ(data[i], test::SampleByte(i)) << c.Name;
  }
}

TEST(WavReader, SampleRateZeroEndsAtTheFirstBlock) {
  TWavFileIn r;
  TEventLog log(r);
  const TBytes file = CanonicalWav(1, 0, 16, 100);
  ASSERT_EQ(ReadHeaderOf(r, file), TReadHeaderResult::Ok);
  EXPECT_EQ(r.BlockBytes(), 0u);
  EXPECT_EQ(r.ReadBuffer(), 0u);
  EXPECT_EQ(log.Events, (std::vector<std::string>{"eof", "ready:0"}));
}

TEST(WavReader, RepeatFileStartsTheDataOver) {
  TWavFileIn r;
  TEventLog log(r);
  r.RepeatFile = true;
  const TBytes file = CanonicalWav(1, 44100, 16, 100);
  ASSERT_EQ(ReadHeaderOf(r, file), TReadHeaderResult::Ok);
  EXPECT_EQ(r.ReadBuffer(), 100u);
  EXPECT_EQ(r.ReadBuffer(), 0u);  // the end, turned into a rewind
  EXPECT_EQ(r.ReadBuffer(), 100u);
  EXPECT_EQ(r.Buffer()[99], test::SampleByte(99));
  EXPECT_EQ(std::count(log.Events.begin(), log.Events.end(), "eof"), 0);
}

struct TBlockCase {
  std::uint16_t Channels;
  std::uint16_t Bits;
  std::uint32_t Rate;
  std::uint32_t Interval;
  std::uint32_t Frames;
};

TEST(WavReader, BlockSizesOfAFreshReader) {
  const std::vector<TBlockCase> cases = {
      {1, 16, 44100, 100, 4410},
      {1, 16, 48000, 100, 4800},
      {1, 16, 96000, 100, 9600},
      {2, 16, 44100, 100, 4410},
      {2, 16, 48000, 100, 4800},
      {2, 16, 96000, 100, 9600},
      {2, 24, 44100, 100, 4410},
      {2, 24, 48000, 100, 4800},
      {2, 24, 96000, 50, 4800},
      {2, 32, 44100, 100, 4410},
      {2, 32, 48000, 100, 4800},
      {2, 32, 96000, 50, 4800},
      // More than two channels: the wide buffer.
      {3, 16, 96000, 100, 9600},
      {24, 24, 48000, 100, 4800},
      {24, 32, 48000, 100, 4800},
      {24, 24, 96000, 50, 4800},
      {64, 24, 48000, 50, 2400},
      {64, 32, 96000, 12, 1152},
  };
  for (const auto& c : cases) {
    TWavFileIn r;
    const TBytes file = CanonicalWav(c.Channels, c.Rate, c.Bits, 4);
    ASSERT_EQ(ReadHeaderOf(r, file), TReadHeaderResult::Ok);
    const std::uint32_t align = c.Channels * c.Bits / 8u;
    EXPECT_EQ(r.TimeInterval(), c.Interval) << align << " bytes at " << c.Rate;
    EXPECT_EQ(r.BlockFrames(), c.Frames) << align << " bytes at " << c.Rate;
    EXPECT_EQ(r.BlockBytes(), c.Frames * align) << align << " bytes at " << c.Rate;
  }
}

TEST(WavReader, TimeIntervalCarriesOverToTheNextFile) {
  TWavFileIn r;
  const TBytes first = CanonicalWav(2, 96000, 32, 8);
  ASSERT_EQ(ReadHeaderOf(r, first), TReadHeaderResult::Ok);
  EXPECT_EQ(r.TimeInterval(), 50u);
  const TBytes next = CanonicalWav(2, 44100, 16, 8);
  ASSERT_EQ(ReadHeaderOf(r, next), TReadHeaderResult::Ok);
  EXPECT_EQ(r.TimeInterval(), 50u);
  EXPECT_EQ(r.BlockFrames(), 2205u);
  EXPECT_EQ(r.BlockBytes(), 8820u);
}

TEST(WavReader, TimeIntervalClamps) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {0, 10}, {5, 10}, {10, 10}, {250, 250}, {500, 500}, {1000, 500}, {4294967295u, 500}};
  for (const auto& [set, expected] : cases) {
    TWavFileIn r;
    r.SetTimeInterval(set);
    EXPECT_EQ(r.TimeInterval(), expected) << set;
  }
}

TEST(WavReader, BlocksNeverExceedTheBuffer) {
  // 2 channels of 32 bits at 960 kHz: 10 ms are 76800 bytes.
  TWavFileIn r;
  const TBytes fast = TWavBuilder().Fmt(1, 2, 960000, 32).Data(80000).Bytes();
  ASSERT_EQ(ReadHeaderOf(r, fast), TReadHeaderResult::Ok);
  EXPECT_EQ(r.BufferCapacity(), kWavBufferBytes);
  EXPECT_EQ(r.TimeInterval(), 10u);
  EXPECT_EQ(r.BlockFrames(), 4800u);
  EXPECT_EQ(r.BlockBytes(), kWavBufferBytes);
  EXPECT_EQ(r.ReadBuffer(), kWavBufferBytes);

  // 64 channels of 32 bits at 384 kHz: 10 ms are 983040 bytes, beyond even
  // the wide buffer.
  const TBytes wide = TWavBuilder().Fmt(1, 64, 384000, 32).Data(1100000).Bytes();
  ASSERT_EQ(ReadHeaderOf(r, wide), TReadHeaderResult::Ok);
  EXPECT_EQ(r.BufferCapacity(), kWideBufferBytes);
  EXPECT_EQ(r.TimeInterval(), 10u);
  EXPECT_EQ(r.BlockFrames(), kWideBufferBytes / 256);
  EXPECT_EQ(r.BlockBytes(), kWideBufferBytes);
  EXPECT_EQ(r.ReadBuffer(), kWideBufferBytes);
  EXPECT_EQ(r.Buffer()[kWideBufferBytes - 1], test::SampleByte(kWideBufferBytes - 1));

  // A later, longer interval is capped the same way; back at two channels
  // the buffer is the plain one again.
  const TBytes stereo = CanonicalWav(2, 96000, 32, 8);
  ASSERT_EQ(ReadHeaderOf(r, stereo), TReadHeaderResult::Ok);
  EXPECT_EQ(r.BufferCapacity(), kWavBufferBytes);
  r.SetTimeInterval(500);
  EXPECT_EQ(r.BlockFrames(), 4800u);
  EXPECT_EQ(r.BlockBytes(), kWavBufferBytes);

  // A single frame larger than the buffer: no block at all.
  TBytes huge = CanonicalWav(1, 44100, 16, 8);
  huge[32] = huge[33] = 0xFF;
  ASSERT_EQ(ReadHeaderOf(r, huge), TReadHeaderResult::Ok);
  EXPECT_EQ(r.BlockFrames(), 0u);
  EXPECT_EQ(r.BlockBytes(), 0u);
  EXPECT_EQ(r.ReadBuffer(), 0u);
}

class WavReaderFiles : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(ZORV_WAV_SCRATCH) + "/" + info->name() + "_" + name;
  }
  std::string Write(const std::string& name, const TBytes& bytes) {
    const std::string path = Path(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }
};

std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(std::distance(
      std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator()));
}

TEST_F(WavReaderFiles, FileGivesWhatMemoryGives) {
  const TBytes bytes = TWavBuilder().List(3).Fmt(1, 2, 48000, 24).Data(30000).Bytes();
  TWavFileIn from_file;
  from_file.Filename = Write("in.wav", bytes);
  ASSERT_TRUE(from_file.OpenFile());
  EXPECT_EQ(from_file.BufferPointer(), from_file.Buffer());
  ASSERT_EQ(from_file.ReadHeader(), TReadHeaderResult::Ok);
  TWavFileIn from_memory;
  ASSERT_EQ(ReadHeaderOf(from_memory, bytes), TReadHeaderResult::Ok);
  EXPECT_EQ(Image(from_file), Image(from_memory));
  EXPECT_EQ(from_file.DataStart(), from_memory.DataStart());
  std::vector<std::uint32_t> file_counts, memory_counts;
  EXPECT_EQ(ReadAll(from_file, file_counts), ReadAll(from_memory, memory_counts));
  EXPECT_EQ(file_counts, memory_counts);
}

// A data chunk that claims more than the file holds from the start simply
// ends; a file cut shorter while it is read is a failure, and the next file
// opened starts without it.
TEST_F(WavReaderFiles, AFileCutWhileReadIsAFailureNotTheEnd) {
  TBytes claimsMore = TWavBuilder().Fmt(1, 2, 44100, 16).Data(20000).Bytes();
  claimsMore[40] = 0x00, claimsMore[41] = 0x00, claimsMore[42] = 0x01;  // 65536 bytes
  TWavFileIn r;
  r.Filename = Write("claims.wav", claimsMore);
  ASSERT_TRUE(r.OpenFile());
  ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
  std::vector<std::uint32_t> counts;
  EXPECT_EQ(ReadAll(r, counts).size(), 20000u);
  EXPECT_EQ(r.ReadFailure(), TReadFailure::None);
  r.OnEOFReached = nullptr;  // ReadAll's handler refers to its own locals

  const std::string path = Write("cut.wav", TWavBuilder().Fmt(1, 2, 44100, 16).Data(60000).Bytes());
  r.Filename = path;
  ASSERT_TRUE(r.OpenFile());
  ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
  EXPECT_EQ(r.ReadBuffer(), 17640u);
  EXPECT_EQ(r.ReadFailure(), TReadFailure::None);
  ASSERT_EQ(::truncate(path.c_str(), 44 + 17640 + 100), 0);
  EXPECT_EQ(r.ReadBuffer(), 100u);
  EXPECT_EQ(r.ReadFailure(), TReadFailure::Shrank);
  EXPECT_EQ(r.ReadErrno(), 0);

  r.Filename = Write("whole.wav", CanonicalWav(2, 44100, 16, 400));
  ASSERT_TRUE(r.OpenFile());
  EXPECT_EQ(r.ReadFailure(), TReadFailure::None);
}

TEST_F(WavReaderFiles, OpenFileFailsOnMissingFilesAndFolders) {
  for (const std::string& path : {Path("missing.wav"), std::string(ZORV_WAV_SCRATCH)}) {
    TWavFileIn r;
    r.Filename = path;
    EXPECT_FALSE(r.OpenFile()) << path;
    EXPECT_FALSE(r.IsOpen()) << path;
    EXPECT_EQ(r.BufferPointer(), nullptr) << path;
  }
}

TEST_F(WavReaderFiles, OpenFileClosesTheFileOpenBefore) {
  TWavFileIn r;
  r.Filename = Write("first.wav", CanonicalWav(1, 44100, 16, 4));
  ASSERT_TRUE(r.OpenFile());
  const std::size_t open_with_one = OpenDescriptors();
  r.Filename = Write("second.wav", CanonicalWav(2, 48000, 16, 4));
  ASSERT_TRUE(r.OpenFile());
  EXPECT_EQ(OpenDescriptors(), open_with_one);
  ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
  EXPECT_EQ(r.SampleRate(), 48000u);
  r.CloseFile();
  EXPECT_FALSE(r.IsOpen());
  EXPECT_EQ(OpenDescriptors(), open_with_one - 1);
  r.CloseFile();
  EXPECT_FALSE(r.IsOpen());
}

}  // namespace
}  // namespace zorv
