// SPDX-License-Identifier: GPL-3.0-or-later
// Inputs that are ambiguous, cut short or built to hurt, through the real
// zorv-decode: each refused with a message naming what was found, or decoded
// into an output of whole frames whose sizes agree with its bytes.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tests/wav/wav_builder.h"
#include "tools/wav_test_file.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::TBytes;
using test::TChildResult;
using test::TWavBuilder;

class BadInput : public ::testing::Test {
 protected:
  TChildResult Decode(const std::string& name, const TBytes& bytes,
                      std::vector<std::string> extra = {}) {
    test::WriteFile(Dir.File(name + ".wav"), bytes);
    std::vector<std::string> args = {Dir.File(name + ".wav")};
    args.insert(args.end(), extra.begin(), extra.end());
    return test::RunProgram(ZORV_DECODE_PATH, args, Dir.Path().string());
  }
  std::optional<test::TChunkedFile> Output(const std::string& name) {
    return test::ParseChunks(test::ReadFile(Dir.File(name + "_dec.wav")));
  }
  // Report lines between the first ("in -> out") and the elapsed time.
  std::string Middle(const TChildResult& r) const {
    const std::size_t first = r.Err.find('\n') + 1;
    const std::size_t last = r.Err.rfind("elapsed time: ");
    return r.Err.substr(first, last - first);
  }

  test::TScratchDir Dir{ZORV_CLI_SCRATCH};
};

TEST_F(BadInput, AmbiguousFilesAreRefusedNamingWhatWasFound) {
  TBytes fmt15 = test::FmtBody(1, 2, 44100, 16);
  fmt15.resize(15);
  const struct {
    const char* Name;
    TBytes Bytes;
    const char* Found;
  } cases[] = {
      {"twodata", TWavBuilder().Fmt(1, 2, 44100, 16).Data(400).Data(400).Bytes(),
       "two data chunks"},
      {"twofmt", TWavBuilder().Fmt(1, 2, 44100, 16).Fmt(1, 1, 44100, 24).Data(400).Bytes(),
       "two fmt chunks"},
      {"fmt15", TWavBuilder().Chunk("fmt ", fmt15).Data(400).Bytes(), "a fmt chunk of 15 bytes"},
      {"nods64",
       [] {
         TBytes b = TWavBuilder().Fmt(1, 2, 44100, 16).Data(400).Bytes();
         std::copy_n("RF64", 4, b.begin());
         return b;
       }(),
       "an RF64 file without a ds64 chunk"},
  };
  for (const auto& c : cases) {
    const TChildResult r = Decode(c.Name, c.Bytes);
    EXPECT_EQ(r.ExitStatus, 1) << c.Name;
    EXPECT_EQ(r.Err, "zorv-decode: " + Dir.File(std::string(c.Name) + ".wav") +
                         ": unusable WAV file (" + std::string(c.Found) + ")\n");
    EXPECT_FALSE(fs::exists(Dir.File(std::string(c.Name) + "_dec.wav"))) << c.Name;
  }
}

TEST_F(BadInput, OutputsHoldWholeFramesAndPadBytes) {
  // Cut mid-frame: 49957 data bytes of 4-byte frames.
  const test::TWavFormat stereo{};
  TBytes cut = test::WavBytes(stereo, test::SignalBytes(stereo, 20000));
  cut.resize(50001);
  TChildResult r = Decode("cut", cut);
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(Middle(r), "Done\na partial frame of 1 byte at the end of the data: left out\n");
  auto out = Output("cut");
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->Consistent);
  EXPECT_EQ(out->Find("data")->Size, 49956u);

  // 24-bit mono, an odd number of frames: odd data and its pad byte.
  const test::TWavFormat mono24{1, 1, 48000, 24};
  r = Decode("odd", test::WavBytes(mono24, test::SignalBytes(mono24, 1001)));
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(Middle(r), "Done\n");
  out = Output("odd");
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->Consistent);
  EXPECT_EQ(out->Find("data")->Size, 3003u);
  EXPECT_EQ(test::ReadFile(Dir.File("odd_dec.wav")).size(), 44u + 3003 + 1);
}

TEST_F(BadInput, SizesThatDisagreeWithTheFileAreHandledSafely) {
  // ds64 claims 10 GB of data; a LIST behind the data that runs past the end.
  const TBytes huge =
      TWavBuilder().Fmt(1, 2, 44100, 16).Data(4000).Rf64Bytes("RF64", 10000000000ull);
  TChildResult r = Decode("huge", huge);
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  auto out = Output("huge");
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->Consistent);
  EXPECT_EQ(out->Form, "RF64");
  EXPECT_EQ(out->Find("data")->Size, 4000u);

  const TBytes broken =
      TWavBuilder().Fmt(1, 2, 44100, 16).Data(4000).Header("LIST", 5000).Raw(TBytes(20, 1)).Bytes();
  r = Decode("broken", broken);
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(Middle(r), "Done\na chunk 'LIST' that runs past the end: left out\n");
  out = Output("broken");
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->Consistent);
  EXPECT_EQ(out->Ids(), (std::vector<std::string>{"fmt ", "data"}));

  // 100,000 tiny chunks are carried, and the output is no larger than the
  // input.
  TWavBuilder many;
  many.Fmt(1, 2, 44100, 16);
  for (int i = 0; i < 100000; ++i) many.Header("tiny", 0);
  const TBytes manyBytes = many.Data(4000).Bytes();
  r = Decode("many", manyBytes);
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(Middle(r), "Done\nmetadata: tiny\n");
  EXPECT_EQ(test::ReadFile(Dir.File("many_dec.wav")).size(), manyBytes.size());
}

TEST_F(BadInput, CanonicalHeaderLeavesEveryOtherChunkOut) {
  const TBytes bwf = TWavBuilder()
                         .Chunk("bext", test::BextBody("d", ""))
                         .Chunk("fmt ", test::ExtensibleBody(2, 48000, 24, 1))
                         .Data(6 * 100)
                         .List(7)
                         .Bytes();
  const TChildResult r = Decode("bwf", bwf, {"--canonical-header"});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(Middle(r), "Done\n");
  const TBytes out = test::ReadFile(Dir.File("bwf_dec.wav"));
  const auto image = test::ParseCanonical(out);
  ASSERT_TRUE(image);
  EXPECT_EQ(out.size(), 44u + 600);
  EXPECT_EQ(image->FmtSize, 16u);
  EXPECT_EQ(image->Tag, 1);
}

}  // namespace
}  // namespace zorv
