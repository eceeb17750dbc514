// SPDX-License-Identifier: GPL-3.0-or-later
// The reader's chunk list: every chunk in order with its place, RF64 and BW64
// sizes from ds64, what is refused and what is left out, and WAV streams.
#include <gtest/gtest.h>

#include <vector>

#include "tests/wav/pipe_feed.h"
#include "tests/wav/wav_builder.h"
#include "wav/wav_file_in.h"

namespace zorv {
namespace {

using test::TBytes;
using test::TextBytes;
using test::TWavBuilder;

// Reads a stream's data to its end, checking every byte against the test
// signal; returns how many bytes came.
std::size_t StreamedData(TWavFileIn& r) {
  std::size_t total = 0;
  bool ended = false;
  r.OnEOFReached = [&] { ended = true; };
  while (!ended) {
    const std::uint32_t n = r.ReadBuffer();
    for (std::uint32_t i = 0; i < n; ++i) {
      EXPECT_EQ(r.Buffer()[i], test::SampleByte(total + i)) << "at " << total + i;
      if (r.Buffer()[i] != test::SampleByte(total + i)) return total + i;
    }
    total += n;
  }
  return total;
}

std::vector<std::string> Names(const TWavFileIn& r) {
  std::vector<std::string> names;
  for (const TChunkInfo& chunk : r.Chunks()) {
    names.push_back(chunk.Name() + (chunk.AfterData ? "/after" : ""));
  }
  return names;
}

TBytes Body(TWavFileIn& r, const TChunkInfo& chunk) {
  TBytes body(static_cast<std::size_t>(chunk.Size));
  EXPECT_TRUE(r.ReadChunkBody(chunk, 0, body.data(), body.size())) << chunk.Name();
  return body;
}

TEST(WavChunks, EveryChunkInOrderWithItsPlaceAndBody) {
  const TBytes ixml = TextBytes("<BWFXML><PROJECT>tape</PROJECT></BWFXML>");
  const TBytes big(100000, 0x5A);  // read from the input when needed, not kept
  const TBytes file = TWavBuilder()
                          .Chunk("JUNK", TBytes(28, 0))
                          .Chunk("bext", test::BextBody("Tape 1", "A=ANALOGUE\r\n"))
                          .Fmt(1, 2, 48000, 24)
                          .Chunk("iXML", ixml)
                          .Chunk("LIST", big)
                          .Data(6 * 10)
                          .Chunk("cue ", TBytes(5, 1))
                          .Chunk("MD5 ", TBytes(16, 2))
                          .Bytes();
  TWavFileIn r;
  r.OpenMemory(file.data(), file.size());
  ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"JUNK", "bext", "fmt", "iXML", "LIST", "data",
                                                "cue/after", "MD5/after"}));
  EXPECT_EQ(r.Container(), TContainer::Riff);
  EXPECT_EQ(r.DataSize(), 60u);
  EXPECT_EQ(Body(r, r.Chunks()[3]), ixml);
  EXPECT_EQ(Body(r, r.Chunks()[4]), big);
  EXPECT_EQ(Body(r, r.Chunks()[6]), TBytes(5, 1));
  EXPECT_EQ(r.FmtBody(), test::FmtBody(1, 2, 48000, 24));
  EXPECT_TRUE(r.Notes().empty());
  // Reading a body moves the input, and the data still comes from the data.
  std::uint8_t part[3];
  EXPECT_TRUE(r.ReadChunkBody(r.Chunks()[4], 99997, part, 3));
  EXPECT_FALSE(r.ReadChunkBody(r.Chunks()[4], 99998, part, 3));
  ASSERT_EQ(r.ReadBuffer(), 60u);
  for (std::size_t i = 0; i < 60; ++i) ASSERT_EQ(r.Buffer()[i], test::SampleByte(i));
}

TEST(WavChunks, Rf64AndBw64TakeTheirSizesFromDs64) {
  const TWavBuilder chunks = TWavBuilder().Fmt(1, 2, 44100, 16).Data(400).List(3);
  for (const char* form : {"RF64", "BW64"}) {
    SCOPED_TRACE(form);
    const TBytes file = chunks.Rf64Bytes(form);
    TWavFileIn r;
    r.OpenMemory(file.data(), file.size());
    ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
    EXPECT_EQ(r.Container(), std::string(form) == "RF64" ? TContainer::Rf64 : TContainer::Bw64);
    EXPECT_EQ(Names(r), (std::vector<std::string>{"ds64", "fmt", "data", "LIST/after"}));
    EXPECT_EQ(r.DataSize(), 400u);
    EXPECT_EQ(r.DataStart(), 80u);
    EXPECT_EQ(r.HeaderImage().DataSize(), 0xFFFFFFFFu);
    EXPECT_EQ(r.ReadBuffer(), 400u);
  }
  // A ds64 that claims more data than the file holds: what is there.
  const TBytes longer = chunks.Rf64Bytes("RF64", 5000000000ull);
  TWavFileIn r;
  r.OpenMemory(longer.data(), longer.size());
  ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
  EXPECT_EQ(r.DataSize(), 5000000000ull);
  EXPECT_EQ(r.DeliverableDataBytes(), longer.size() - 80);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"ds64", "fmt", "data"}));
}

TEST(WavChunks, MalformedRf64AndEndlessListsAreRefused) {
  TBytes noDs64 = TWavBuilder().Fmt(1, 2, 44100, 16).Data(8).Bytes();
  std::copy_n("RF64", 4, noDs64.begin());
  TBytes shortDs64 = TWavBuilder().Fmt(1, 2, 44100, 16).Data(8).Rf64Bytes();
  shortDs64[16] = 20;  // ds64 of 20 bytes
  TBytes longTable = TWavBuilder().Fmt(1, 2, 44100, 16).Data(8).Rf64Bytes();
  longTable[20 + 24] = 1;  // one table entry, but no room for it
  TBytes unsized = TWavBuilder().Fmt(1, 2, 44100, 16).Header("LIST", 0xFFFFFFFFu).Data(8).Bytes();
  unsized = TWavBuilder().Raw(TBytes(unsized.begin() + 12, unsized.end())).Rf64Bytes();
  TWavBuilder endless;
  for (std::size_t i = 0; i <= kMaxChunks; ++i) endless.Header("JUNK", 0);
  const TBytes tooMany = endless.Fmt(1, 1, 44100, 16).Data(2).Bytes();
  const struct {
    const char* Name;
    const TBytes& File;
    const char* Problem;
  } cases[] = {
      {"RF64 without ds64", noDs64, "an RF64 file without a ds64 chunk"},
      {"short ds64", shortDs64, "a ds64 chunk of 20 bytes"},
      {"table beyond ds64", longTable, "a ds64 table longer than its chunk"},
      {"size missing from ds64", unsized, "a chunk 'LIST' without its size in ds64"},
      {"more chunks than kept", tooMany, "more than 1000000 chunks"},
  };
  for (const auto& c : cases) {
    TWavFileIn r;
    r.OpenMemory(c.File.data(), c.File.size());
    EXPECT_EQ(r.ReadHeader(), TReadHeaderResult::Malformed) << c.Name;
    EXPECT_EQ(r.Problem(), c.Problem) << c.Name;
  }
}

// Behind the data, what cannot be walked (more chunks than are kept, a size
// missing from ds64) is left out and said, from a file as from a stream:
// the samples are all there.
TEST(WavChunks, WhatCannotBeWalkedBehindTheDataIsLeftOutOfFileAndStream) {
  TWavBuilder endless;
  endless.Fmt(1, 1, 44100, 16).Data(2000);
  for (std::size_t i = 0; i <= kMaxChunks; ++i) endless.Header("JUNK", 0);
  const TBytes unsized =
      TWavBuilder().Fmt(1, 1, 44100, 16).Data(2000).Header("LIST", 0xFFFFFFFFu).Rf64Bytes();
  const struct {
    TBytes File;
    const char* Note;
  } cases[] = {
      {endless.Bytes(), "more than 1000000 chunks: the rest left out"},
      {unsized, "a chunk 'LIST' without its size in ds64: the rest left out"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Note);
    TWavFileIn file;
    file.OpenMemory(c.File.data(), c.File.size());
    ASSERT_EQ(file.ReadHeader(), TReadHeaderResult::Ok);
    EXPECT_EQ(file.Notes(), std::vector<std::string>{c.Note});
    // A note, not a problem: the file is not malformed.
    EXPECT_EQ(file.Problem(), "");
    EXPECT_EQ(StreamedData(file), 2000u);
    test::TPipeFeed feed(c.File);
    TWavFileIn stream;
    ASSERT_TRUE(stream.OpenStream(feed.fd()));
    ASSERT_EQ(stream.ReadHeader(), TReadHeaderResult::Ok);
    EXPECT_EQ(StreamedData(stream), 2000u);
    stream.ReadTrailingChunks();
    EXPECT_EQ(stream.Notes(), file.Notes());
  }
}

TEST(WavChunks, ManyTinyChunksAreKeptAndABrokenLastChunkLeftOut) {
  TWavBuilder many;
  many.Fmt(1, 1, 44100, 16);
  for (int i = 0; i < 100000; ++i) many.Chunk("tiny", TBytes(1, static_cast<std::uint8_t>(i)));
  const TBytes file = many.Data(20).Header("LIST", 1000).Raw(TBytes(10, 3)).Bytes();
  TWavFileIn r;
  r.OpenMemory(file.data(), file.size());
  ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
  ASSERT_EQ(r.Chunks().size(), 100002u);
  EXPECT_EQ(Body(r, r.Chunks()[12345]), TBytes(1, static_cast<std::uint8_t>(12344)));
  EXPECT_EQ(r.Notes(), std::vector<std::string>{"a chunk 'LIST' that runs past the end: left out"});
  EXPECT_EQ(r.ReadBuffer(), 20u);
}

TEST(WavStreams, DataRunsToTheEndWhenItsSizeIsUnknown) {
  for (const std::uint32_t size : {0u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(size);
    TBytes file = TWavBuilder().Fmt(1, 2, 44100, 16).List(5).Data(50000).Bytes();
    file[file.size() - 50000 - 4] = static_cast<std::uint8_t>(size);
    for (int i = 1; i < 4; ++i)
      file[file.size() - 50000 - 4 + i] = static_cast<std::uint8_t>(size >> 8 * i);
    for (int i = 4; i < 8; ++i) file[i] = static_cast<std::uint8_t>(size >> 8 * (i - 4));
    test::TPipeFeed feed(file);
    TWavFileIn r;
    ASSERT_TRUE(r.OpenStream(feed.fd()));
    ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
    EXPECT_TRUE(r.IsStream());
    EXPECT_FALSE(r.DataSizeKnown());
    EXPECT_EQ(Names(r), (std::vector<std::string>{"fmt", "LIST", "data"}));
    EXPECT_EQ(Body(r, r.Chunks()[1]), TBytes(5, 'x'));
    EXPECT_EQ(StreamedData(r), 50000u);
  }
}

TEST(WavStreams, Rf64WithItsSizesLeftOpenRunsToTheEnd) {
  // A writer that cannot go back leaves ds64's RIFF and data sizes 0.
  TBytes file = TWavBuilder().Fmt(1, 2, 44100, 16).List(5).Data(50000).Rf64Bytes();
  std::fill(file.begin() + 20, file.begin() + 36, std::uint8_t{0});
  {
    SCOPED_TRACE("file");
    TWavFileIn r;
    r.OpenMemory(file.data(), file.size());
    ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
    EXPECT_EQ(Names(r), (std::vector<std::string>{"ds64", "fmt", "LIST", "data"}));
    EXPECT_EQ(r.DataSize(), 50000u);
    EXPECT_EQ(r.DeliverableDataBytes(), 50000u);
    EXPECT_EQ(r.Notes(), std::vector<std::string>{});
  }
  SCOPED_TRACE("stream");
  test::TPipeFeed feed(file);
  TWavFileIn r;
  ASSERT_TRUE(r.OpenStream(feed.fd()));
  ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
  EXPECT_FALSE(r.DataSizeKnown());
  EXPECT_EQ(StreamedData(r), 50000u);
}

TEST(WavStreams, ChunksBehindKnownDataComeAfterIt) {
  const TBytes file = TWavBuilder()
                          .Fmt(1, 1, 44100, 16)
                          .Data(4001)
                          .Chunk("iXML", TextBytes("<x/>"))
                          .Data(2)
                          .Bytes();
  test::TPipeFeed feed(file);
  TWavFileIn r;
  ASSERT_TRUE(r.OpenStream(feed.fd()));
  ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"fmt", "data"}));
  r.ReadTrailingChunks();  // not before the data has been read
  EXPECT_EQ(r.Chunks().size(), 2u);
  EXPECT_EQ(r.ReadBuffer(), 4001u);
  r.ReadTrailingChunks();
  EXPECT_EQ(Names(r), (std::vector<std::string>{"fmt", "data", "iXML/after"}));
  EXPECT_EQ(Body(r, r.Chunks()[2]), TextBytes("<x/>"));
  EXPECT_EQ(r.Notes(), std::vector<std::string>{"a data chunk behind the data: left out"});
}

// A stream that ends before the size its header states was cut on its way:
// a failure that says how far it came, in its data or behind it. One whose
// header leaves its RIFF size open may end between any two chunks.
TEST(WavStreams, AStreamThatEndsBeforeItsStatedSizeIsAFailure) {
  const TBytes file =
      TWavBuilder().Fmt(1, 2, 44100, 16).Data(4000).Chunk("iXML", TextBytes("<x/>")).Bytes();
  {
    test::TPipeFeed feed(TBytes(file.begin(), file.begin() + 44 + 1002));
    TWavFileIn r;
    ASSERT_TRUE(r.OpenStream(feed.fd()));
    ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
    EXPECT_EQ(StreamedData(r), 1002u);
    EXPECT_EQ(r.ReadFailure(), TReadFailure::StreamEnded);
    EXPECT_EQ(r.ReadFailureText(), "the stream ended after 250 of 1000 frames");
  }
  for (const bool riffOpen : {false, true}) {
    SCOPED_TRACE(riffOpen ? "RIFF size open" : "RIFF size stated");
    TBytes cut(file.begin(), file.begin() + 44 + 4000);  // the iXML missing
    if (riffOpen) std::fill_n(cut.begin() + 4, 4, std::uint8_t{0xFF});
    test::TPipeFeed feed(cut);
    TWavFileIn r;
    ASSERT_TRUE(r.OpenStream(feed.fd()));
    ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
    EXPECT_EQ(StreamedData(r), 4000u);
    EXPECT_EQ(r.ReadFailure(), TReadFailure::None);
    r.ReadTrailingChunks();
    EXPECT_EQ(r.ReadFailure(), riffOpen ? TReadFailure::None : TReadFailure::StreamEnded);
    EXPECT_EQ(Names(r), (std::vector<std::string>{"fmt", "data"}));
  }
}

// An RF64 ds64 RIFF size smaller than the file leaves the chunks behind it
// out, and says so; a data size of all ones under a stated RIFF size cannot
// be told from the chunks behind it and is refused.
TEST(WavChunks, Ds64SizesThatHideChunksAreSaidOrRefused) {
  const TWavBuilder chunks = TWavBuilder().Fmt(1, 2, 44100, 16).Data(400).List(3);
  TBytes small = chunks.Rf64Bytes();
  const std::uint64_t riff = 80 + 400 - 8;  // up to the end of the data
  for (int i = 0; i < 8; ++i) small[20 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
  TWavFileIn r;
  r.OpenMemory(small.data(), small.size());
  ASSERT_EQ(r.ReadHeader(), TReadHeaderResult::Ok);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"ds64", "fmt", "data"}));
  EXPECT_EQ(r.Notes(), std::vector<std::string>{std::to_string(small.size() - 480) +
                                                " bytes behind the end the ds64 RIFF size "
                                                "states: left out"});

  const TBytes open = chunks.Rf64Bytes("RF64", UINT64_MAX);
  r.OpenMemory(open.data(), open.size());
  EXPECT_EQ(r.ReadHeader(), TReadHeaderResult::Malformed);
  EXPECT_EQ(r.Problem(), "a ds64 data size of all ones under a RIFF size of " +
                             std::to_string(open.size() - 8) + " bytes");
}

}  // namespace
}  // namespace zorv
