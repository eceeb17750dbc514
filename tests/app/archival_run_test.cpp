// SPDX-License-Identifier: GPL-3.0-or-later
// Runs of archival inputs: the CodingHistory line the run writes, an output
// that passes the RF64 limit (lowered here so that no test file needs 4 GiB)
// read by other tools, and the samples, which do not depend on the chunks.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <sstream>

#include "app/decode_run.h"
#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tests/wav/wav_builder.h"
#include "tools/wav_test_file.h"
#include "wav/byte_sink.h"
#include "wav/byte_source.h"
#include "wav/coding_history.h"
#include "wav/md5.h"

namespace zorv {
namespace {

using test::TBytes;

class ArchivalRun : public ::testing::Test {
 protected:
  // Decodes in into out with a fresh run of the settings setup makes.
  TBytes Decode(const TBytes& in, const std::string& name,
                const std::function<void(TRunSettings&)>& setup = {}) {
    const std::string inPath = Dir.File(name + "_in.wav");
    const std::string outPath = Dir.File(name + ".wav");
    test::WriteFile(inPath, in);
    TRunSettings settings;
    if (setup) setup(settings);
    TDecodeRun run(settings);
    EXPECT_FALSE(run.OpenInput(OpenFileSource(inPath), inPath));
    EXPECT_FALSE(run.OpenOutput(CreateFileSink(outPath), outPath));
    const TRunResult result = run.Run();
    EXPECT_EQ(result.Status, TRunStatus::Done);
    Container = result.Container;
    return test::ReadFile(outPath);
  }

  test::TScratchDir Dir{ZORV_APP_SCRATCH};
  TContainer Container = TContainer::Riff;
};

TEST_F(ArchivalRun, CodingHistoryLineStatesFormatLevelAndDebugBand) {
  const TBytes bext = test::BextBody("Reel 7", "A=ANALOGUE,M=stereo,T=Studer A80\r\n");
  const TBytes stereo =
      test::TWavBuilder().Chunk("bext", bext).Fmt(1, 2, 44100, 16).Data(4 * 500).Bytes();
  const TBytes mono =
      test::TWavBuilder().Chunk("bext", bext).Fmt(3, 1, 96000, 32).Data(4 * 500).Bytes();
  const struct {
    const char* Name;
    const TBytes& Input;
    double Level;
    std::uint32_t Debug;
    const char* Line;
    bool Float = false;
  } cases[] = {
      {"default", stereo, -10.0, 0,
       "A=PCM,F=44100,W=16,M=stereo,T=Zorv Audio Decoder 0.9.1 decode;reference level -10.0 dB"},
      {"level", stereo, -20.3, 0,
       "A=PCM,F=44100,W=16,M=stereo,T=Zorv Audio Decoder 0.9.1 decode;reference level -20.3 dB"},
      {"zero", mono, 0.0, 0,
       "A=PCM,F=96000,W=32,M=mono,T=Zorv Audio Decoder 0.9.1 decode;reference level 0.0 dB"},
      {"debug", stereo, -30.0, 2,
       "A=PCM,F=44100,W=16,M=stereo,T=Zorv Audio Decoder 0.9.1 decode;reference level -30.0 "
       "dB;channel 2 is the control signal of band B"},
      // Made float, the output has 32-bit words; a float input stays as it was.
      {"float", stereo, -10.0, 0,
       "A=PCM,F=44100,W=32,M=stereo,T=Zorv Audio Decoder 0.9.1 decode;reference level -10.0 "
       "dB;converted to 32-bit float",
       true},
      {"float_input", mono, -10.0, 0,
       "A=PCM,F=96000,W=32,M=mono,T=Zorv Audio Decoder 0.9.1 decode;reference level -10.0 dB",
       true},
  };
  for (const auto& c : cases) {
    const TBytes out = Decode(c.Input, c.Name, [&](TRunSettings& settings) {
      settings.LevelDb = c.Level;
      settings.DebugBand = c.Debug;
      settings.Float = c.Float;
    });
    const auto chunks = test::ParseChunks(out);
    ASSERT_TRUE(chunks && chunks->Consistent) << c.Name;
    EXPECT_EQ(CodingHistoryText(chunks->Find("bext")->Body),
              "A=ANALOGUE,M=stereo,T=Studer A80\r\n" + std::string(c.Line) + "\r\n")
        << c.Name;
  }
}

// Each track at a level of its own: every channel's level, in channel order,
// without a comma (the line's fields are parted by commas); equal levels
// set one by one are the one level.
TEST_F(ArchivalRun, CodingHistoryLineStatesEachChannelsLevel) {
  const TBytes bext = test::BextBody("Reel 8", "");
  const TBytes four =
      test::TWavBuilder().Chunk("bext", bext).Fmt(1, 4, 48000, 24).Data(12 * 400).Bytes();
  const auto line = [&](const std::vector<double>& levels) {
    const TBytes out =
        Decode(four, "four", [&](TRunSettings& settings) { settings.ChannelLevelsDb = levels; });
    const auto chunks = test::ParseChunks(out);
    return chunks ? CodingHistoryText(chunks->Find("bext")->Body) : std::string();
  };
  EXPECT_EQ(line({-12.5, -13.0, -9.3, -20.1}),
            "A=PCM,F=48000,W=24,M=4,T=Zorv Audio Decoder 0.9.1 decode;reference levels "
            "-12.5/-13.0/-9.3/-20.1 dB\r\n");
  EXPECT_EQ(
      line({-11.2, -11.2, -11.2, -11.2}),
      "A=PCM,F=48000,W=24,M=4,T=Zorv Audio Decoder 0.9.1 decode;reference level -11.2 dB\r\n");
}

TEST_F(ArchivalRun, OutputPastTheRf64LimitIsReadByOtherTools) {
  const test::TWavFormat format{1, 2, 48000, 24};
  const TBytes samples = test::SignalBytes(format, 30000);
  const TBytes input =
      test::TWavBuilder()
          .Chunk("bext", test::BextBody("Reel 9", ""))
          .Fmt(1, 2, 48000, 24)
          .Chunk("data", samples)
          .Chunk("LIST", test::TextBytes(std::string_view("INFOICMT\x04\0\0\0note", 16)))
          .Bytes();
  const TBytes plain = Decode(input, "riff");
  EXPECT_EQ(Container, TContainer::Riff);
  const TBytes wide =
      Decode(input, "rf64", [](TRunSettings& settings) { settings.MaxRiffSize = 100000; });
  EXPECT_EQ(Container, TContainer::Rf64);
  const auto riff = test::ParseChunks(plain);
  const auto rf64 = test::ParseChunks(wide);
  ASSERT_TRUE(riff && rf64);
  EXPECT_TRUE(rf64->Consistent);
  EXPECT_EQ(rf64->Form, "RF64");
  EXPECT_EQ(rf64->Ids(), (std::vector<std::string>{"ds64", "bext", "fmt ", "data", "LIST"}));
  EXPECT_EQ(rf64->Find("data")->Body, riff->Find("data")->Body);
  EXPECT_EQ(rf64->Find("bext")->Body, riff->Find("bext")->Body);

  const std::string path = Dir.File("rf64.wav");
  const std::string scratch = Dir.Path().string();
  if (test::HaveTool("ffprobe")) {
    const test::TChildResult probe = test::RunProgram(
        "ffprobe",
        {"-v", "error", "-show_entries", "stream=codec_name,sample_rate,channels,duration_ts",
         "-of", "default=noprint_wrappers=1", path},
        scratch);
    EXPECT_EQ(probe.ExitStatus, 0) << probe.Err;
    EXPECT_EQ(probe.Out,
              "codec_name=pcm_s24le\nsample_rate=48000\nchannels=2\nduration_ts=30000\n");
    EXPECT_EQ(probe.Err, "");
  }
  if (test::HaveTool("sndfile-info")) {
    const test::TChildResult info = test::RunProgram("sndfile-info", {path}, scratch);
    EXPECT_EQ(info.ExitStatus, 0);
    EXPECT_NE(info.Out.find("Frames      : 30000"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("RF64"), std::string::npos) << info.Out;
  }
  if (!test::HaveTool("ffprobe") || !test::HaveTool("sndfile-info")) {
    GTEST_SKIP() << "ffprobe or sndfile-info is not installed";
  }
}

// Float output of an archival input: the input's own fmt made to say float
// (EXTENSIBLE with the float sub-format), its chunks kept, fact in frames.
TEST_F(ArchivalRun, FloatOutputKeepsTheChunksAndStatesFloat) {
  TBytes fact;
  AppendLe32(fact, 0);
  const TBytes input =
      test::TWavBuilder()
          .Chunk("bext", test::BextBody("Reel 4", ""))
          .Chunk("fmt ", test::ExtensibleBody(2, 48000, 24, 1))
          .Chunk("fact", fact)
          .Data(6 * 3001)
          .Chunk("LIST", test::TextBytes(std::string_view("INFOICMT\x04\0\0\0note", 16)))
          .Bytes();
  const auto out = test::ParseChunks(
      Decode(input, "float", [](TRunSettings& settings) { settings.Float = true; }));
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->Consistent);
  EXPECT_EQ(out->Ids(), (std::vector<std::string>{"bext", "fmt ", "fact", "data", "LIST"}));
  TBytes expectedFmt = test::ExtensibleBody(2, 48000, 32, 3);
  EXPECT_EQ(out->Find("fmt ")->Body, expectedFmt);
  EXPECT_EQ(out->Find("data")->Size, 8u * 3001);
  TBytes frames;
  AppendLe32(frames, 3001);
  EXPECT_EQ(out->Find("fact")->Body, frames);

  const TBytes canonical = Decode(input, "float_canonical", [](TRunSettings& settings) {
    settings.Float = true;
    settings.CanonicalHeader = true;
  });
  const auto image = test::ParseCanonical(canonical);
  ASSERT_TRUE(image);
  EXPECT_EQ(canonical.size(), 44u + 8 * 3001);
  EXPECT_EQ(image->Tag, kFormatIeeeFloat);
  EXPECT_EQ(image->Bits, 32);

  // Other tools read the float EXTENSIBLE output as float, with its frames,
  // and libsndfile finds the fact chunk float files should have.
  const std::string scratch = Dir.Path().string();
  if (test::HaveTool("ffprobe")) {
    const test::TChildResult probe = test::RunProgram(
        "ffprobe",
        {"-v", "error", "-show_entries", "stream=codec_name,sample_rate,channels,duration_ts",
         "-of", "default=noprint_wrappers=1", Dir.File("float.wav")},
        scratch);
    EXPECT_EQ(probe.ExitStatus, 0) << probe.Err;
    EXPECT_EQ(probe.Out, "codec_name=pcm_f32le\nsample_rate=48000\nchannels=2\nduration_ts=3001\n");
    EXPECT_EQ(probe.Err, "");
  }
  if (test::HaveTool("sndfile-info")) {
    const test::TChildResult info =
        test::RunProgram("sndfile-info", {Dir.File("float.wav")}, scratch);
    EXPECT_EQ(info.ExitStatus, 0);
    EXPECT_NE(info.Out.find("Frames      : 3001"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("IEEE float"), std::string::npos) << info.Out;
    for (const char* complaint : {"should", "***", "Error", "Warning"}) {
      EXPECT_EQ(info.Out.find(complaint), std::string::npos) << info.Out;
    }
  }
}

// A write that fails part way (a file size limit, as a full disk would):
// the header, RF64 here, states the whole frames the file took, the MD5
// chunk is their digest, and no chunk is written behind them.
TEST_F(ArchivalRun, FailedWriteLeavesAHeaderOfTheFramesTheFileTook) {
  const test::TWavFormat format{1, 2, 48000, 24};
  constexpr std::uint64_t kFrameBytes = 6, kBlockBytes = 4800 * kFrameBytes;
  const TBytes input = test::TWavBuilder()
                           .Chunk("bext", test::BextBody("Reel 5", ""))
                           .Fmt(1, 2, 48000, 24)
                           .Chunk("MD5 ", TBytes(16, 0))
                           .Chunk("data", test::SignalBytes(format, 10 * 4800))
                           .List(10)
                           .Rf64Bytes();
  const TBytes full = Decode(input, "full");
  const auto complete = test::ParseChunks(full);
  ASSERT_TRUE(complete && complete->Consistent);
  const std::uint64_t head = full.size() - 10 * kBlockBytes - (8 + 10);
  // Two blocks, 100 frames and half a frame fit.
  const std::uint64_t limit = head + 2 * kBlockBytes + 100 * kFrameBytes + 3;
  const std::uint64_t stated = 2 * kBlockBytes + 100 * kFrameBytes;

  const std::string path = Dir.File("failed.wav");
  TDecodeRun run({});
  ASSERT_FALSE(run.OpenInput(OpenFileSource(Dir.File("full_in.wav")), "full_in.wav"));
  ASSERT_FALSE(run.OpenOutput(CreateFileSink(path), path));
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = limit;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const TRunResult result = run.Run();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(result.Status, TRunStatus::WriteError);

  TBytes file = test::ReadFile(path);
  ASSERT_EQ(file.size(), limit);
  // What a reader takes of it: the chunks within the RIFF size.
  const auto got = test::ParseChunks(file);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->Form, "RF64");
  EXPECT_EQ(got->RiffSize, head - 8 + stated);
  file.resize(static_cast<std::size_t>(got->RiffSize + 8));
  const auto kept = test::ParseChunks(file);
  ASSERT_TRUE(kept);
  EXPECT_TRUE(kept->Consistent);
  EXPECT_EQ(kept->Ids(), (std::vector<std::string>{"ds64", "bext", "fmt ", "MD5 ", "data"}));
  const TBytes& data = kept->Find("data")->Body;
  ASSERT_EQ(data.size(), stated);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), complete->Find("data")->Body.begin()));
  TMd5 md5;
  md5.Update(data.data(), data.size());
  const TMd5Digest digest = md5.Digest();
  EXPECT_EQ(kept->Find("MD5 ")->Body, TBytes(digest.begin(), digest.end()));
  EXPECT_EQ(kept->Find("bext")->Body, complete->Find("bext")->Body);
  const TBytes& ds64 = kept->Find("ds64")->Body;
  EXPECT_EQ(ds64[16] | (ds64[17] << 8), 2 * 4800 + 100) << "the frame count";
}

}  // namespace
}  // namespace zorv
