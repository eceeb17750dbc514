// SPDX-License-Identifier: GPL-3.0-or-later
// The output's chunks around its samples, written through the writer into
// memory: the input's chunks kept in order and place, bext, fact and MD5
// brought up to date, RF64 where sizes need 64 bits, streams written once.
#include "wav/output_layout.h"

#include <gtest/gtest.h>

#include "tests/wav/pipe_feed.h"
#include "tests/wav/wav_builder.h"
#include "tools/wav_test_file.h"
#include "wav/coding_history.h"

namespace zorv {
namespace {

using test::TBytes;
using test::TextBytes;
using test::TWavBuilder;

const std::string kLine = "A=PCM,F=48000,W=24,M=stereo,T=test decode\r\n";

// The input's samples with every byte inverted: output data that differs
// from the input's, as a decode's does.
struct TCopyResult {
  TBytes File;
  std::vector<std::string> Notes;
  TContainer Container;
};

TCopyResult Copy(const TBytes& input, TOutputPlan plan = {}, bool stream = false,
                 std::uint64_t stopAfter = UINT64_MAX) {
  TWavFileIn reader;
  reader.OpenMemory(input.data(), input.size());
  EXPECT_EQ(reader.ReadHeader(), TReadHeaderResult::Ok);
  TBytes out;
  TWavFileOut writer;
  writer.OpenMemory(out);
  if (plan.CodingHistoryLine.empty()) plan.CodingHistoryLine = kLine;
  TOutputLayout layout(reader, plan, !stream);
  EXPECT_TRUE(layout.WriteHead(writer));
  TMd5 md5;
  const std::uint32_t align = reader.BlockAlign();
  bool ended = false;
  reader.OnEOFReached = [&] { ended = true; };
  while (!ended && writer.TotalBytes() < stopAfter) {
    std::uint32_t n = reader.ReadBuffer();
    n -= n % align;
    for (std::uint32_t i = 0; i < n; ++i) writer.Buffer()[i] = reader.Buffer()[i] ^ 0xFF;
    writer.WriteBuffer(static_cast<std::int32_t>(n));
    md5.Update(writer.Buffer(), n);
  }
  EXPECT_TRUE(layout.WriteTail(writer, writer.TotalBytes(), md5.Digest()));
  EXPECT_FALSE(writer.WriteFailed());
  writer.CloseFile();
  return {out, layout.Notes(), layout.Container()};
}

TBytes Inverted(TBytes bytes) {
  for (auto& b : bytes) b ^= 0xFF;
  return bytes;
}

TEST(OutputLayout, PlainInputGivesTheCanonical44Bytes) {
  const TBytes input = test::CanonicalWav(2, 44100, 16, 4000);
  for (const bool canonical : {false, true}) {
    TOutputPlan plan;
    plan.Canonical = canonical;
    const TCopyResult out = Copy(input, plan);
    ASSERT_EQ(out.File.size(), input.size());
    EXPECT_TRUE(std::equal(input.begin(), input.begin() + 44, out.File.begin()));
    EXPECT_EQ(TBytes(out.File.begin() + 44, out.File.end()),
              Inverted(TBytes(input.begin() + 44, input.end())));
    EXPECT_TRUE(out.Notes.empty());
  }
}

TEST(OutputLayout, ArchivalChunksKeepTheirOrderPlaceAndBytes) {
  const TBytes bext = test::BextBody("Tape 12 side A", "A=ANALOGUE,M=stereo,T=Studer A80\r\n", 40);
  TBytes adtl = TextBytes("adtllabl");
  AppendLe32(adtl, 9);
  AppendLe32(adtl, 1);
  for (char c : std::string("Intro")) adtl.push_back(static_cast<std::uint8_t>(c));
  TBytes fact;
  AppendLe32(fact, 1234);
  const TBytes input =
      TWavBuilder()
          .Chunk("JUNK", TBytes(28, 0))
          .Chunk("bext", bext)
          .Chunk("fmt ", test::ExtensibleBody(2, 48000, 24, 1))
          .Chunk("fact", fact)
          .Chunk("iXML", TextBytes("<BWFXML><NOTE>odd</NOTE></BWFXML>"))
          .Chunk("axml", TextBytes("<ebuCoreMain/>"))
          .Chunk("MD5 ", TBytes(16, 0xEE))
          .Data(6 * 501)
          .Chunk("cue ", TBytes(28, 3))
          .Chunk("LIST", adtl)
          .Chunk("LIST", TextBytes(std::string_view("INFOICMT\x06\0\0\0notes\0", 18)))
          .Bytes();
  const TCopyResult out = Copy(input);
  const auto in = test::ParseChunks(input);
  const auto got = test::ParseChunks(out.File);
  ASSERT_TRUE(in && got);
  EXPECT_TRUE(got->Consistent);
  EXPECT_EQ(got->Form, "RIFF");
  ASSERT_EQ(got->Ids(), in->Ids());
  for (std::size_t k = 0; k < in->Chunks.size(); ++k) {
    const std::string& id = in->Chunks[k].Id;
    if (id == "data" || id == "bext" || id == "MD5 " || id == "fact") continue;
    EXPECT_EQ(got->Chunks[k].Body, in->Chunks[k].Body) << id;
  }
  const TBytes data = got->Find("data")->Body;
  EXPECT_EQ(data, Inverted(in->Find("data")->Body));
  // bext: the fixed part as it was, the line behind the text, the zeros
  // after it.
  const TBytes& outBext = got->Find("bext")->Body;
  ASSERT_EQ(outBext.size(), bext.size() + kLine.size());
  EXPECT_TRUE(std::equal(bext.begin(), bext.begin() + 602, outBext.begin()));
  EXPECT_EQ(CodingHistoryText(outBext), "A=ANALOGUE,M=stereo,T=Studer A80\r\n" + kLine);
  EXPECT_EQ(TBytes(outBext.end() - 40, outBext.end()), TBytes(40, 0));
  TMd5 md5;
  md5.Update(data.data(), data.size());
  const TMd5Digest digest = md5.Digest();
  EXPECT_EQ(got->Find("MD5 ")->Body, TBytes(digest.begin(), digest.end()));
  TBytes frames;
  AppendLe32(frames, 501);
  EXPECT_EQ(got->Find("fact")->Body, frames);
  EXPECT_TRUE(out.Notes.empty());
}

TEST(OutputLayout, CodingHistoryGetsItsLineInEveryShape) {
  const struct {
    const char* Name;
    TBytes Bext;
    std::string History;  // expected afterwards
  } cases[] = {
      {"empty history", test::BextBody("d", ""), kLine},
      {"line without its break", test::BextBody("d", "A=ANALOGUE"), "A=ANALOGUE\r\n" + kLine},
      {"only zeros behind the fixed part", test::BextBody("d", "", 256), kLine},
  };
  for (const auto& c : cases) {
    const TBytes input = TWavBuilder().Chunk("bext", c.Bext).Fmt(1, 2, 48000, 24).Data(12).Bytes();
    const auto got = test::ParseChunks(Copy(input).File);
    ASSERT_TRUE(got && got->Consistent) << c.Name;
    EXPECT_EQ(CodingHistoryText(got->Find("bext")->Body), c.History) << c.Name;
  }
  // Shorter than its fixed part: carried as it is, and said.
  const TBytes stub = TextBytes("short bext");
  const TBytes input = TWavBuilder().Chunk("bext", stub).Fmt(1, 2, 48000, 24).Data(12).Bytes();
  const TCopyResult out = Copy(input);
  const auto got = test::ParseChunks(out.File);
  ASSERT_TRUE(got && got->Consistent);
  EXPECT_EQ(got->Find("bext")->Body, stub);
  EXPECT_EQ(out.Notes, std::vector<std::string>{"bext chunk of 10 bytes, shorter than its fixed "
                                                "part: copied without a CodingHistory line"});
}

TEST(OutputLayout, Rf64WhenTheInputIsOneOrTheSizesNeedIt) {
  const TWavBuilder chunks = TWavBuilder().Fmt(1, 2, 44100, 16).List(3).Data(4000).List(5);
  const struct {
    const char* Name;
    TBytes Input;
    std::uint64_t MaxRiffSize;
    bool Canonical;
    const char* Form;
  } cases[] = {
      {"RF64 stays RF64", chunks.Rf64Bytes("RF64"), 0xFFFFFFFFu, false, "RF64"},
      {"BW64 stays BW64", chunks.Rf64Bytes("BW64"), 0xFFFFFFFFu, false, "BW64"},
      {"canonical RF64 that fits", chunks.Rf64Bytes("RF64"), 0xFFFFFFFFu, true, "RIFF"},
      {"RIFF that fits", chunks.Bytes(), 4062, false, "RIFF"},
      {"RIFF past the limit", chunks.Bytes(), 4061, false, "RF64"},
      {"canonical past the limit", chunks.Bytes(), 4035, true, "RF64"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TOutputPlan plan;
    plan.MaxRiffSize = c.MaxRiffSize;
    plan.Canonical = c.Canonical;
    const TCopyResult out = Copy(c.Input, plan);
    const auto got = test::ParseChunks(out.File);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->Form, c.Form);
    EXPECT_TRUE(got->Consistent);
    ASSERT_NE(got->Find("data"), nullptr);
    EXPECT_EQ(got->Find("data")->Size, 4000u);
    if (std::string(c.Form) == "RIFF") {
      EXPECT_EQ(got->Find("ds64"), nullptr);
      continue;
    }
    // The 32-bit fields say 0xFFFFFFFF; ds64 holds RIFF size, data size and
    // the frame count.
    EXPECT_EQ(got->Ids().front(), "ds64");
    EXPECT_EQ(test::ParseCanonical(out.File), std::nullopt);
    const TBytes& ds64 = got->Find("ds64")->Body;
    ASSERT_EQ(ds64.size(), 28u);
    EXPECT_EQ(ds64[16] | (ds64[17] << 8), 1000);
    for (int i = 4; i < 8; ++i) EXPECT_EQ(out.File[static_cast<std::size_t>(i)], 0xFF);
    EXPECT_EQ(got->Chunks.size(), c.Canonical ? 3u : 5u);
  }
}

TEST(OutputLayout, AStreamIsWrittenOnceWithTheSizesKnownInAdvance) {
  TBytes fact;
  AppendLe32(fact, 0);
  const TBytes input = TWavBuilder()
                           .Fmt(1, 1, 48000, 16)
                           .Chunk("MD5 ", TBytes(16, 0))
                           .Chunk("fact", fact)
                           .Data(2 * 30000)
                           .List(4)
                           .Bytes();
  const TCopyResult out = Copy(input, {}, /*stream=*/true);
  const auto got = test::ParseChunks(out.File);
  ASSERT_TRUE(got);
  EXPECT_TRUE(got->Consistent);
  // The digest is known only behind the data: there the MD5 chunk goes.
  EXPECT_EQ(got->Ids(), (std::vector<std::string>{"fmt ", "fact", "data", "MD5 ", "LIST"}));
  TMd5 md5;
  md5.Update(got->Find("data")->Body.data(), 60000);
  const TMd5Digest digest = md5.Digest();
  EXPECT_EQ(got->Find("MD5 ")->Body, TBytes(digest.begin(), digest.end()));
  EXPECT_EQ(got->Find("fact")->Body[0] | (got->Find("fact")->Body[1] << 8), 30000);
  EXPECT_EQ(out.Notes,
            std::vector<std::string>{"MD5 chunk moved behind the data (the output is a stream)"});

  // Cut short after a block, the stream's header states what was expected,
  // and says so.
  const TCopyResult cut = Copy(input, {}, true, 1);
  EXPECT_EQ(cut.Notes.back(), "the stream's header states 60000 data bytes, 9600 were written");
}

TEST(OutputLayout, AFactChunkBehindTheFmtChunkWhereThePlanAsksAndTheInputHasNone) {
  TOutputPlan plan;
  plan.Fact = true;
  const TBytes plain = TWavBuilder().List(4).Fmt(1, 2, 48000, 16).Data(4 * 3000).Bytes();
  const TBytes withFact =
      TWavBuilder().Fmt(1, 2, 48000, 16).Chunk("fact", TBytes(4, 9)).Data(4 * 3000).Bytes();
  for (const bool stream : {false, true}) {
    const auto got = test::ParseChunks(Copy(plain, plan, stream).File);
    ASSERT_TRUE(got);
    EXPECT_TRUE(got->Consistent);
    EXPECT_EQ(got->Ids(), (std::vector<std::string>{"LIST", "fmt ", "fact", "data"}));
    EXPECT_EQ(got->Find("fact")->Body, (TBytes{0xB8, 0x0B, 0, 0}));  // 3000 frames
    const auto one = test::ParseChunks(Copy(withFact, plan, stream).File);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->Ids(), (std::vector<std::string>{"fmt ", "fact", "data"}));
  }
  plan.Canonical = true;
  EXPECT_EQ(Copy(plain, plan).File.size(), 44u + 4 * 3000);
}

TEST(OutputLayout, InterruptedOutputsStateWhatWasWritten) {
  const TWavBuilder chunks = TWavBuilder().Fmt(1, 2, 44100, 16).Data(4 * 30000).List(6);
  for (const TBytes& input : {chunks.Bytes(), chunks.Rf64Bytes()}) {
    // Three blocks of 4410 frames.
    const TCopyResult out = Copy(input, {}, false, 40000);
    const auto got = test::ParseChunks(out.File);
    ASSERT_TRUE(got);
    EXPECT_TRUE(got->Consistent) << got->Form;
    EXPECT_EQ(got->Find("data")->Size, 3u * 4410 * 4);
    EXPECT_EQ(got->Ids().back(), "LIST");
  }
}

// A stream of unknown length into a file: room for ds64 is kept, and used
// when the sizes pass what RIFF can state.
TEST(OutputLayout, StreamOfUnknownLengthBecomesRf64OnlyWhenItMustBe) {
  TBytes input = TWavBuilder().Fmt(1, 2, 44100, 16).Data(4 * 5000).Bytes();
  for (int i = 4; i < 8; ++i) input[static_cast<std::size_t>(i)] = 0xFF;
  for (int i = 40; i < 44; ++i) input[static_cast<std::size_t>(i)] = 0xFF;
  for (const std::uint64_t limit : {std::uint64_t{0xFFFFFFFFu}, std::uint64_t{10000}}) {
    SCOPED_TRACE(limit);
    test::TPipeFeed feed(input);
    TWavFileIn reader;
    reader.OpenStream(feed.fd());
    ASSERT_EQ(reader.ReadHeader(), TReadHeaderResult::Ok);
    ASSERT_FALSE(reader.DataSizeKnown());
    TBytes out;
    TWavFileOut writer;
    writer.OpenMemory(out);
    TOutputPlan plan;
    plan.MaxRiffSize = limit;
    TOutputLayout layout(reader, plan, true);
    ASSERT_TRUE(layout.WriteHead(writer));
    bool ended = false;
    reader.OnEOFReached = [&] { ended = true; };
    while (!ended) {
      const std::uint32_t n = reader.ReadBuffer();
      std::copy_n(reader.Buffer(), n, writer.Buffer());
      writer.WriteBuffer(static_cast<std::int32_t>(n));
    }
    ASSERT_TRUE(layout.WriteTail(writer, writer.TotalBytes(), {}));
    const auto got = test::ParseChunks(out);
    ASSERT_TRUE(got);
    EXPECT_TRUE(got->Consistent);
    EXPECT_EQ(got->Find("data")->Size, 20000u);
    if (limit == 10000) {
      EXPECT_EQ(got->Form, "RF64");
      EXPECT_EQ(got->Ids(), (std::vector<std::string>{"ds64", "fmt ", "data"}));
    } else {
      EXPECT_EQ(got->Form, "RIFF");
      EXPECT_EQ(got->Ids(), (std::vector<std::string>{"JUNK", "fmt ", "data"}));
    }
  }
}

}  // namespace
}  // namespace zorv
