// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-decode in pipelines: standard input and output as WAV streams, with
// sox and ffmpeg at the other end, a reader that goes away, and standard
// input or output that is a terminal or empty.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tools/wav_test_file.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::TBytes;
using test::TChildResult;

class Pipes : public ::testing::Test {
 protected:
  // A shell command line, run in the scratch folder; zorv stands for the
  // program.
  TChildResult Shell(const std::string& command) {
    const std::string line =
        "cd '" + Dir.Path().string() + "' && zorv='" + ZORV_DECODE_PATH + "' && " + command;
    return test::RunProgram("/bin/sh", {"-c", line}, Dir.Path().string());
  }
  std::string Wav(const std::string& name, std::uint32_t frames) {
    const test::TWavFormat format{};
    test::WriteFile(Dir.File(name), test::WavBytes(format, test::SignalBytes(format, frames)));
    return Dir.File(name);
  }
  TBytes Data(const std::string& name) {
    const auto chunks = test::ParseChunks(test::ReadFile(Dir.File(name)));
    EXPECT_TRUE(chunks && chunks->Find("data")) << name;
    return chunks && chunks->Find("data") ? chunks->Find("data")->Body : TBytes{};
  }

  test::TScratchDir Dir{ZORV_CLI_SCRATCH};
};

TEST_F(Pipes, SoxIntoStandardInputOutOfStandardOutputGivesTheFileDecode) {
  if (!test::HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
  Wav("in.wav", 30000);
  ASSERT_EQ(Shell("$zorv -q in.wav -o file.wav").ExitStatus, 0);
  const TChildResult piped = Shell("sox in.wav -t wav - | $zorv - -o - > streamed.wav");
  ASSERT_EQ(piped.ExitStatus, 0) << piped.Err;
  EXPECT_EQ(piped.Err.find("- -> -\n"), 0u) << piped.Err;
  EXPECT_EQ(piped.Out, "");
  EXPECT_EQ(Data("streamed.wav"), Data("file.wav"));
  // sox states the sizes in its stream: the header carries them.
  EXPECT_EQ(test::ReadFile(Dir.File("streamed.wav")), test::ReadFile(Dir.File("file.wav")));
  EXPECT_FALSE(fs::exists(Dir.File("-")));
}

TEST_F(Pipes, StreamsOfUnknownLengthAsFfmpegWritesThem) {
  if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  Wav("in.wav", 30000);
  ASSERT_EQ(Shell("$zorv -q in.wav -o file.wav").ExitStatus, 0);
  // ffmpeg writes 0xFFFFFFFF sizes into a pipe; so does zorv-decode then.
  TChildResult r = Shell("ffmpeg -v error -i in.wav -f wav - | $zorv -q - -o - > streamed.wav");
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  const TBytes streamed = test::ReadFile(Dir.File("streamed.wav"));
  ASSERT_GE(streamed.size(), 44u);
  for (const std::size_t at : {std::size_t{4}}) {
    EXPECT_EQ(streamed[at] & streamed[at + 1] & streamed[at + 2] & streamed[at + 3], 0xFF);
  }
  // Into a file, the sizes are those written.
  r = Shell("ffmpeg -v error -i in.wav -f wav - | $zorv -q - -o fromstream.wav");
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  const auto chunks = test::ParseChunks(test::ReadFile(Dir.File("fromstream.wav")));
  ASSERT_TRUE(chunks);
  EXPECT_TRUE(chunks->Consistent);
  EXPECT_EQ(chunks->Form, "RIFF");
  EXPECT_EQ(Data("fromstream.wav"), Data("file.wav"));
}

TEST_F(Pipes, Rf64StreamsWithOpenSizesGiveTheFileDecode) {
  if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  Wav("in.wav", 30000);
  ASSERT_EQ(Shell("$zorv -q in.wav -o file.wav").ExitStatus, 0);
  // Into a pipe, ffmpeg leaves the sizes of its ds64 chunk 0.
  const TChildResult r =
      Shell("ffmpeg -v error -i in.wav -rf64 always -f wav - | $zorv -q - -o fromstream.wav");
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  const auto chunks = test::ParseChunks(test::ReadFile(Dir.File("fromstream.wav")));
  ASSERT_TRUE(chunks);
  EXPECT_EQ(chunks->Form, "RF64");
  EXPECT_EQ(Data("fromstream.wav"), Data("file.wav"));
}

TEST_F(Pipes, AReaderThatGoesAwayEndsTheDecodeAsFailed) {
  Wav("long.wav", 44100 * 20);
  const TChildResult r = Shell(
      "{ $zorv -q long.wav -o - 2>err.txt; echo $? > status.txt; } | head -c 1000 > /dev/null");
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  const TBytes status = test::ReadFile(Dir.File("status.txt"));
  EXPECT_EQ(std::string(status.begin(), status.end()), "1\n");
  const TBytes err = test::ReadFile(Dir.File("err.txt"));
  EXPECT_NE(std::string(err.begin(), err.end()).find("\nError: could not write the output file\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(Dir.File("-")));
}

TEST_F(Pipes, EmptyOrTerminalStandardStreamsAreRefused) {
  Wav("in.wav", 1000);
  TChildResult r = Shell("$zorv - -o out.wav < /dev/null");
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err,
            "zorv-decode: -: not a RIFF file (found no RIFF header; accepted: WAV files "
            "(RIFF/WAVE))\n");
  EXPECT_FALSE(fs::exists(Dir.File("out.wav")));

  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string terminal = ::ptsname(master);
  r = Shell("$zorv - -o out.wav < " + terminal);
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: -: cannot read a WAV stream from a terminal\n");
  r = Shell("$zorv in.wav -o - > " + terminal);
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: -: cannot write a WAV stream to a terminal\n");
  ::close(master);
  EXPECT_FALSE(fs::exists(Dir.File("out.wav")));
  EXPECT_FALSE(fs::exists(Dir.File("-")));
}

}  // namespace
}  // namespace zorv
