// SPDX-License-Identifier: GPL-3.0-or-later
// A data chunk that says 0 bytes (a recorder stopped before it wrote the
// sizes; in RF64 and BW64 the size in ds64): the data runs to the end, from a
// file as from standard input, every frame decoded and the warning said.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tests/wav/wav_builder.h"
#include "tools/wav_test_file.h"

namespace zorv {
namespace {

using test::TBytes;
using test::TChildResult;

constexpr std::uint32_t kFrames = 30011;

class ZeroDataSize : public ::testing::Test {
 protected:
  // zorv-decode on in.wav, as a file or on standard input, into out.wav with
  // a report; stdout: the report's line.
  TChildResult Decode(const TBytes& input, bool stream) {
    test::WriteFile(Dir.File("in.wav"), input);
    std::filesystem::remove(Dir.File("out.wav"));
    const std::string source = stream ? "- < in.wav" : "in.wav";
    return test::RunProgram("/bin/sh",
                            {"-c", "cd '" + Dir.Path().string() + "' && exec '" + ZORV_DECODE_PATH +
                                       "' " + source + " -o out.wav --report -"},
                            Dir.Path().string());
  }
  TBytes Output() const { return test::ReadFile(Dir.File("out.wav")); }

  test::TScratchDir Dir{ZORV_CLI_SCRATCH};
};

TEST_F(ZeroDataSize, TheDataRunsToTheEndOfAFileAsOfAStream) {
  const test::TWavFormat format{1, 2, 44100, 24};
  const TBytes samples = test::SignalBytes(format, kFrames);
  test::TWavBuilder right;
  right.Fmt(1, 2, 44100, 24).Chunk("bext", test::BextBody("take 1", "")).Chunk("data", samples);
  test::TWavBuilder zero;
  zero.Fmt(1, 2, 44100, 24).Chunk("bext", test::BextBody("take 1", "")).Header("data", 0);
  zero.Raw(samples);
  test::TWavBuilder nothingWritten = zero;
  nothingWritten.RiffSize(0);

  struct TCase {
    const char* Name;
    TBytes Input;
    TBytes Right;  // the same file with its sizes
  };
  const TCase cases[] = {
      {"RIFF", zero.Bytes(), right.Bytes()},
      {"RIFF of RIFF size 0", nothingWritten.Bytes(), right.Bytes()},
      {"RF64", right.Rf64Bytes("RF64", 0), right.Rf64Bytes("RF64")},
      {"BW64", right.Rf64Bytes("BW64", 0), right.Rf64Bytes("BW64")},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_EQ(Decode(c.Right, false).ExitStatus, 0);
    const TBytes expected = Output();
    for (const bool stream : {false, true}) {
      SCOPED_TRACE(stream ? "standard input" : "file");
      const TChildResult r = Decode(c.Input, stream);
      ASSERT_EQ(r.ExitStatus, 0) << r.Err;
      if (!stream) {
        EXPECT_EQ(Output(), expected);
      } else {
        // A stream of unknown length gets room for a ds64 chunk (JUNK) in
        // its output, in case it passes 4 GiB; every other chunk is the same.
        const auto got = test::ParseChunks(Output());
        const auto want = test::ParseChunks(expected);
        ASSERT_TRUE(got && want && got->Consistent);
        EXPECT_EQ(got->Form, want->Form);
        for (const test::TFileChunk& chunk : want->Chunks) {
          ASSERT_TRUE(got->Find(chunk.Id)) << chunk.Id;
          EXPECT_EQ(got->Find(chunk.Id)->Body, chunk.Body) << chunk.Id;
        }
      }
      const std::string warning =
          std::string("the data chunk's size is 0: decoded to the end of the ") +
          (stream ? "stream" : "file");
      EXPECT_NE(r.Err.find("\n" + warning + "\n"), std::string::npos) << r.Err;
      const auto report = nlohmann::json::parse(r.Out);
      EXPECT_EQ(report["frames"], kFrames);
      EXPECT_EQ(
          report["warnings"],
          nlohmann::json::parse(R"([{"code":"data_size_zero","message":")" + warning + R"("}])"));
    }
  }
}

// A file that really holds no audio: 0 frames, no warning, not an error.
TEST_F(ZeroDataSize, AHeaderAloneHoldsNoFrames) {
  test::TWavBuilder empty;
  empty.Fmt(1, 2, 44100, 16).Header("data", 0);
  for (const TBytes& input : {empty.Bytes(), empty.Rf64Bytes("RF64", 0)}) {
    for (const bool stream : {false, true}) {
      const TChildResult r = Decode(input, stream);
      ASSERT_EQ(r.ExitStatus, 0) << r.Err;
      const auto report = nlohmann::json::parse(r.Out);
      EXPECT_EQ(report["frames"], 0);
      EXPECT_EQ(report["warnings"], nlohmann::json::array()) << r.Err;
    }
  }
  // Chunks behind an empty data chunk, ending where the RIFF size says (a
  // decode of a file of no frames writes such a file): no frames, the
  // chunks kept, not audio. (A stream cannot look ahead: there a data size
  // of 0 runs to its end.)
  test::TWavBuilder chunksBehind;
  chunksBehind.Fmt(1, 2, 44100, 16).Header("data", 0).Chunk("LIST", TBytes(26, 'x'));
  chunksBehind.Chunk(std::string(4, '\0'), {});
  for (const TBytes& input : {chunksBehind.Bytes(), chunksBehind.Rf64Bytes("BW64")}) {
    const TChildResult r = Decode(input, false);
    ASSERT_EQ(r.ExitStatus, 0) << r.Err;
    const auto report = nlohmann::json::parse(r.Out);
    EXPECT_EQ(report["frames"], 0);
    EXPECT_EQ(report["warnings"], nlohmann::json::array()) << r.Err;
    const auto out = test::ParseChunks(Output());
    ASSERT_TRUE(out && out->Consistent);
    ASSERT_TRUE(out->Find("LIST"));
    EXPECT_EQ(out->Find("LIST")->Body, TBytes(26, 'x'));
  }
}

}  // namespace
}  // namespace zorv
