// zorv-decode as a user runs it: the real program, its exit status, its
// messages on stderr and the files it leaves.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "app/output_name.h"
#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tools/wav_test_file.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::ParseCanonical;
using test::ReadFile;
using test::TBytes;
using test::TChildResult;
using test::TWavFormat;

const TWavFormat kStereo16{};
const TWavFormat kMono16{1, 1, 44100, 16};

class ZorvDecode : public ::testing::Test {
 protected:
  TChildResult Run(const std::vector<std::string>& args) {
    return test::RunProgram(ZORV_DECODE_PATH, args, Dir.Path().string());
  }
  std::string Wav(const std::string& name, const TWavFormat& format, std::uint32_t frames,
                  std::uint32_t seed = 1) {
    return File(name, test::WavBytes(format, test::SignalBytes(format, frames, seed)));
  }
  std::string File(const std::string& name, const TBytes& bytes) {
    const std::string path = Dir.File(name);
    test::WriteFile(path, bytes);
    return path;
  }

  test::TScratchDir Dir{ZORV_CLI_SCRATCH};
};

// A complete output: canonical header whose sizes state the bytes behind it.
void ExpectValidWav(const std::string& path, std::uint32_t dataBytes) {
  const TBytes file = ReadFile(path);
  const auto image = ParseCanonical(file);
  ASSERT_TRUE(image.has_value()) << path;
  EXPECT_EQ(image->RiffSize, file.size() - 8);
  EXPECT_EQ(image->DataSize, image->Data.size());
  EXPECT_EQ(image->DataSize, dataBytes);
}

TEST_F(ZorvDecode, VersionHelpAndUsageErrors) {
  TChildResult r = Run({"-V"});
  EXPECT_EQ(r.ExitStatus, 0);
  EXPECT_EQ(r.Out, "0.9.1\n");
  r = Run({"--help"});
  EXPECT_EQ(r.ExitStatus, 0);
  EXPECT_TRUE(r.Out.starts_with("Usage: zorv-decode [options] INPUT...")) << r.Out;

  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case usage[] = {
      {{}, "zorv-decode: no input file given\n"},
      {{"a.wav", "--frobnicate"}, "zorv-decode: unknown option: --frobnicate\n"},
      {{"a.wav", "b.wav", "-o", "x.wav"}, "zorv-decode: --output needs exactly one input file\n"},
      {{"a.wav", "b.wav", "--meter-log", "m.csv"},
       "zorv-decode: --meter-log needs exactly one input file\n"},
      {{"a.wav", "-l", "5"}, "zorv-decode: level must be -30.0 .. 0.0 dB in steps of 0.1: 5\n"},
      {{"a.wav", "-o", "x.wav", "--meter-log", "x.wav"},
       "zorv-decode: the meter log and the output must be different files\n"},
  };
  for (const Case& c : usage) {
    r = Run(c.args);
    EXPECT_EQ(r.ExitStatus, 2) << c.message;
    EXPECT_TRUE(r.Err.starts_with(c.message)) << r.Err;
    EXPECT_NE(r.Err.find("Usage: zorv-decode"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(Dir.File("x.wav")));
}

TEST_F(ZorvDecode, RefusesBadInputsWithTheWindowsMessagesAndCreatesNothing) {
  TBytes notRiff = test::WavBytes(kStereo16, TBytes(400, 0));
  notRiff[0] = 'X';
  TBytes notWave = test::WavBytes(kStereo16, TBytes(400, 0));
  notWave[8] = 'X';
  TBytes noFmt = test::WavBytes(kStereo16, TBytes(400, 0));
  noFmt[12] = 'X';
  TBytes noData = test::WavBytes(kStereo16, TBytes(400, 0));
  noData[36] = 'X';
  struct Case {
    std::string name;
    TBytes bytes;
    std::vector<std::string> extra;
    std::string message;
  };
  const Case cases[] = {
      {"notriff", notRiff, {}, "No RIFF File: "},
      {"notwave", notWave, {}, "No WAV File: "},
      {"nofmt", noFmt, {}, "No fmt chunk in WAV File: "},
      {"nodata", noData, {}, "No data chunk in WAV File: "},
      {"rate",
       test::WavBytes({1, 2, 22050, 16}, TBytes(400, 0)),
       {},
       "Not supported sampling rate: "},
      {"channels",
       test::WavBytes({1, 6, 22050, 16}, TBytes(480, 0)),
       {},
       "Not supported number of audio channels: "},
      {"int8",
       test::WavBytes({1, 1, 44100, 8}, TBytes(400, 0)),
       {},
       "Not supported audio format: "},
      {"float64",
       test::WavBytes({3, 1, 44100, 64}, TBytes(400, 0)),
       {},
       "Not supported audio format: "},
      {"monodebug",
       test::WavBytes(kMono16, TBytes(400, 0)),
       {"--debug-band", "A"},
       "Control signal debug output in (R) needs 2-ch stereo input file: "},
  };
  for (const Case& c : cases) {
    const std::string in = File(c.name + ".wav", c.bytes);
    std::vector<std::string> args = {"-q", in};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const TChildResult r = Run(args);
    EXPECT_EQ(r.ExitStatus, 1) << c.name;
    EXPECT_EQ(r.Err, c.message + in + "\n") << c.name;
    EXPECT_FALSE(fs::exists(Dir.File(c.name + "_dec.wav"))) << c.name;
  }

  const std::string missing = Dir.File("missing.wav");
  TChildResult r = Run({missing});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "Cannot open: " + missing + "\n");

  const std::string good = Wav("good.wav", kStereo16, 100);
  const std::string nowhere = Dir.File("no/such/folder/out.wav");
  r = Run({good, "-o", nowhere});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "Cannot create: " + nowhere + "\n");
}

TEST_F(ZorvDecode, DecodesToTheProposedNameAndReportsDone) {
  const std::string in = Wav("take.1.wav", kStereo16, 3000);
  const TBytes before = ReadFile(in);
  const TChildResult r = Run({in});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  const std::string out = Dir.File("take.1_dec.wav");
  ExpectValidWav(out, 3000 * 4);
  EXPECT_EQ(ReadFile(in), before);
  std::istringstream lines(r.Err);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, in + " -> " + out);
  std::getline(lines, line);
  EXPECT_EQ(line, "Done");
  std::getline(lines, line);
  EXPECT_TRUE(line.starts_with("elapsed time: ") && line.ends_with(" msec")) << line;
  EXPECT_EQ(r.Err.find('\r'), std::string::npos) << "no progress line without a terminal";
  EXPECT_EQ(r.Out, "");
}

TEST_F(ZorvDecode, OneBadInputFailsTheCommandButNotTheOthers) {
  const std::string good = Wav("good.wav", kStereo16, 500);
  const std::string bad = File("bad.wav", TBytes(100, 7));
  const TChildResult r = Run({bad, good});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_NE(r.Err.find("No RIFF File: " + bad), std::string::npos);
  ExpectValidWav(Dir.File("good_dec.wav"), 500 * 4);
}

TEST_F(ZorvDecode, ExistingOutputNeedsForce) {
  const std::string in = Wav("in.wav", kStereo16, 800);
  const std::string out = File("in_dec.wav", {'k', 'e', 'e', 'p'});
  TChildResult r = Run({in});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "Output file exists (use -f to overwrite): " + out + "\n");
  EXPECT_EQ(ReadFile(out), (TBytes{'k', 'e', 'e', 'p'}));

  r = Run({in, "-f"});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  ExpectValidWav(out, 800 * 4);
}

TEST_F(ZorvDecode, NeverWritesIntoAnInput) {
  const std::string in = Wav("in.wav", kStereo16, 800);
  const TBytes before = ReadFile(in);
  fs::create_directory(Dir.File("sub"));
  fs::create_symlink(in, Dir.File("link.wav"));
  const std::string other = Wav("in_dec.wav", kStereo16, 300, 2);  // also an input below
  const TBytes otherBefore = ReadFile(other);
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{in, "-f", "-o", in}, "Cannot use the input file as output: " + in},
      {{in, "-f", "-o", Dir.File("sub/../in.wav")},
       "Cannot use the input file as output: " + Dir.File("sub/../in.wav")},
      {{in, "-f", "-o", Dir.File("link.wav")},
       "Cannot use the input file as output: " + Dir.File("link.wav")},
      {{in, "-f", "--meter-log", in}, "Cannot use the input file as output: " + in},
      // in.wav proposes in_dec.wav, which is the other input.
      {{in, other, "-f", "-j", "1"}, "Cannot use the input file as output: " + other},
  };
  for (const Case& c : cases) {
    const TChildResult r = Run(c.args);
    EXPECT_EQ(r.ExitStatus, 1);
    EXPECT_NE(r.Err.find(c.message + "\n"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadFile(in), before);
    EXPECT_EQ(ReadFile(other), otherBefore);
  }
}

TEST_F(ZorvDecode, OptionsReachTheDecoder) {
  const std::string in = Wav("in.wav", kStereo16, 2000);
  ASSERT_EQ(Run({in, "-o", Dir.File("plain.wav")}).ExitStatus, 0);
  ASSERT_EQ(Run({"-o", Dir.File("exact.wav"), "--exact", in}).ExitStatus, 0);
  ASSERT_EQ(Run({in, "-l", "-20", "-o", Dir.File("level.wav")}).ExitStatus, 0);
  ASSERT_EQ(Run({in, "--debug-band", "B", "-o", Dir.File("debug.wav")}).ExitStatus, 0);
  const TBytes plain = ReadFile(Dir.File("plain.wav"));
  EXPECT_EQ(ReadFile(Dir.File("exact.wav")), plain);
  EXPECT_NE(ReadFile(Dir.File("level.wav")), plain);
  const auto debug = ParseCanonical(ReadFile(Dir.File("debug.wav")));
  const auto normal = ParseCanonical(plain);
  ASSERT_TRUE(debug && normal);
  // Channel 1 is the same, channel 2 is the control signal.
  bool rightDiffers = false;
  for (std::size_t k = 0; k < normal->Data.size(); k += 4) {
    ASSERT_EQ(debug->Data[k], normal->Data[k]);
    ASSERT_EQ(debug->Data[k + 1], normal->Data[k + 1]);
    rightDiffers = rightDiffers || debug->Data[k + 2] != normal->Data[k + 2];
  }
  EXPECT_TRUE(rightDiffers);
}

TEST_F(ZorvDecode, MeterLogListsEveryUpdateWithinTheData) {
  // Two blocks of 4410 frames; the second holds only 150 frames of data, so
  // of its updates at 4410, 4510, 4610, ... only the first two are logged.
  const std::string in = Wav("in.wav", kStereo16, 4410 + 150);
  const std::string log = Dir.File("meters.csv");
  const TChildResult r = Run({in, "--meter-log", log, "-q"});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;

  const TBytes logBytes = ReadFile(log);
  std::istringstream lines(std::string(logBytes.begin(), logBytes.end()));
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "frame,channel,band,position");
  std::vector<std::string> rows;
  while (std::getline(lines, line)) rows.push_back(line);
  ASSERT_EQ(rows.size(), (45u + 2u) * 4 * 2);

  std::size_t k = 0;
  // Block by block: channel 1 then channel 2, frames 0..4400 then 4410, 4510.
  const std::vector<std::vector<std::uint32_t>> blocks = {[] {
                                                            std::vector<std::uint32_t> f;
                                                            for (std::uint32_t i = 0; i <= 4400;
                                                                 i += 100)
                                                              f.push_back(i);
                                                            return f;
                                                          }(),
                                                          {4410, 4510}};
  for (const auto& frames : blocks) {
    for (const char channel : {'1', '2'}) {
      for (const std::uint32_t frame : frames) {
        for (const char band : {'A', 'B', 'C', 'D'}) {
          ASSERT_LT(k, rows.size());
          const std::string prefix = std::to_string(frame) + "," + channel + "," + band + ",";
          ASSERT_TRUE(rows[k].starts_with(prefix)) << rows[k] << " expected " << prefix;
          const int position = std::stoi(rows[k].substr(prefix.size()));
          EXPECT_GE(position, -319);
          EXPECT_LE(position, 100);
          ++k;
        }
      }
    }
  }
}

TEST_F(ZorvDecode, ParallelJobsGiveTheSameBytesAsOneByOne) {
  const std::string a = Wav("a.wav", kStereo16, 6000, 1);
  const std::string b = Wav("b.wav", {1, 1, 48000, 24}, 7000, 2);
  ASSERT_EQ(Run({a, "-o", Dir.File("a_single.wav")}).ExitStatus, 0);
  ASSERT_EQ(Run({b, "-o", Dir.File("b_single.wav")}).ExitStatus, 0);
  const TChildResult r = Run({"-j", "2", a, b});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(ReadFile(Dir.File("a_dec.wav")), ReadFile(Dir.File("a_single.wav")));
  EXPECT_EQ(ReadFile(Dir.File("b_dec.wav")), ReadFile(Dir.File("b_single.wav")));
  // Each report stays in one piece.
  for (const std::string& name : {a, b}) {
    const std::string head = name + " -> " + ProposeOutputName(name) + "\nDone\nelapsed time: ";
    EXPECT_NE(r.Err.find(head), std::string::npos) << r.Err;
  }
}

TEST_F(ZorvDecode, InterruptCompletesTheOutputAndFails) {
  for (const int signal : {SIGINT, SIGTERM}) {
    const std::string in = Dir.File("long.wav");
    ASSERT_EQ(test::RunProgram(ZORV_MAKE_DEMO_PATH, {in, "30"}, Dir.Path().string()).ExitStatus, 0);
    const std::string out = Dir.File("long_dec.wav");
    fs::remove(out);
    test::TChildProcess child(ZORV_DECODE_PATH, {in}, Dir.Path().string());
    // Wait until a few blocks are on disk.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code error;
    while (std::chrono::steady_clock::now() < deadline &&
           (!fs::exists(out, error) || fs::file_size(out, error) < 44 + 3 * 17640)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    child.Signal(signal);
    const TChildResult r = child.Wait();
    EXPECT_EQ(r.ExitStatus, 1) << r.Err;
    EXPECT_NE(r.Err.find("\naborted\n"), std::string::npos) << r.Err;
    const TBytes file = ReadFile(out);
    const auto image = ParseCanonical(file);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->RiffSize, file.size() - 8);
    EXPECT_EQ(image->DataSize, image->Data.size());
    EXPECT_GE(image->DataSize, 3u * 17640);
    EXPECT_LT(image->DataSize, 30u * 44100 * 4) << "the whole input was decoded";
    EXPECT_EQ(image->DataSize % 17640, 0u) << "ended on a block";
  }
}

}  // namespace
}  // namespace zorv

namespace zorv {
namespace {

// The meter log is a file the user names like the output: it is never the
// output, an existing one needs -f, and a refusal leaves it as it was.
TEST_F(ZorvDecode, MeterLogIsGuardedLikeTheOutput) {
  const std::string in = Wav("in.wav", kStereo16, 2000);
  const std::string out = Dir.File("out.wav");
  const std::string log = Dir.File("meters.csv");

  File("out.wav", TBytes{'k', 'e', 'e', 'p'});
  fs::create_hard_link(out, Dir.File("link.csv"));
  TChildResult r = Run({in, "-f", "-o", out, "--meter-log", Dir.File("link.csv")});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_NE(r.Err.find("Cannot use the output file as meter log: " + Dir.File("link.csv")),
            std::string::npos)
      << r.Err;
  EXPECT_EQ(ReadFile(out), (TBytes{'k', 'e', 'e', 'p'}));

  File("meters.csv", TBytes{'o', 'l', 'd'});
  r = Run({in, "-o", Dir.File("fresh.wav"), "--meter-log", log});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_NE(r.Err.find("Output file exists (use -f to overwrite): " + log), std::string::npos);
  EXPECT_FALSE(fs::exists(Dir.File("fresh.wav")));
  EXPECT_EQ(ReadFile(log), (TBytes{'o', 'l', 'd'}));

  r = Run({in, "-f", "-o", Dir.File("missing/out.wav"), "--meter-log", log});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_NE(r.Err.find("Cannot create: " + Dir.File("missing/out.wav")), std::string::npos);
  EXPECT_EQ(ReadFile(log), (TBytes{'o', 'l', 'd'}));

  r = Run({in, "-f", "-o", Dir.File("fresh.wav"), "--meter-log", log});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  const TBytes written = ReadFile(log);
  EXPECT_EQ(std::string(written.begin(), written.begin() + 27), "frame,channel,band,position");
}

}  // namespace
}  // namespace zorv
