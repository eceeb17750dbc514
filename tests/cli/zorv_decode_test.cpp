// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-decode as a user runs it: the real program, its exit status, its
// messages on stderr and the files it leaves.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "app/decode_run.h"
#include "app/output_name.h"
#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tests/support/recording_meters.h"
#include "tools/wav_test_file.h"
#include "wav/byte_sink.h"
#include "wav/byte_source.h"

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
  // The version, then the copyright and the licence, as GNU programs give them.
  EXPECT_TRUE(r.Out.starts_with("zorv-decode 0.9.1\nCopyright (C) ")) << r.Out;
  EXPECT_NE(r.Out.find("\nLicense GPL-3.0-or-later: GNU GPL version 3 or later"), std::string::npos)
      << r.Out;
  EXPECT_TRUE(r.Out.ends_with("to the extent permitted by law.\n")) << r.Out;
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
      {{"a.wav", "--frobnicate=1"}, "zorv-decode: unknown option: --frobnicate\n"},
      {{"a.wav", "-o", "x.ogg"},
       "zorv-decode: the output file name must end in .wav or .flac: x.ogg\n"},
      {{"a.wav", "b.wav", "-o", "x.wav"}, "zorv-decode: --output needs exactly one input file\n"},
      {{"a.wav", "b.wav", "--meter-log", "m.csv"},
       "zorv-decode: --meter-log needs exactly one input file\n"},
      {{"a.wav", "-l", "5"}, "zorv-decode: level must be -30.0 .. 0.0 dB in steps of 0.1: 5\n"},
      {{"a.wav", "--levle", "-12"}, "zorv-decode: unknown option: --levle\n"},
      {{"a.wav", "-j", "0"}, "zorv-decode: jobs must be a whole number of at least 1: 0\n"},
      {{"a.wav", "--report", "-", "-o", "-"},
       "zorv-decode: --report - and -o - both write to standard output: give one a file\n"},
      {{"a.wav", "--report", "/dev/stdout", "-o", "-"},
       "zorv-decode: --report /dev/stdout and -o - both write to standard output: give one a "
       "file\n"},
      {{"a.wav", "-o", "x.wav", "--meter-log", "x.wav"},
       "zorv-decode: the meter log and the output must be different files\n"},
  };
  // One line, and where to read more: never the whole help.
  for (const Case& c : usage) {
    r = Run(c.args);
    EXPECT_EQ(r.ExitStatus, 2) << c.message;
    EXPECT_EQ(r.Err, c.message + "Try 'zorv-decode --help'.\n");
    EXPECT_EQ(r.Out, "");
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
  TBytes flac(400, 0);
  for (int i = 0; i < 4; ++i) flac[i] = static_cast<std::uint8_t>("fLaC"[i]);
  TBytes aiff(400, 0);
  for (int i = 0; i < 12; ++i) aiff[i] = static_cast<std::uint8_t>("FORM\0\0\1\0AIFF"[i]);
  struct Case {
    std::string name;
    TBytes bytes;
    std::vector<std::string> extra;
    std::string reason;
    std::string detail;  // what was found and what is accepted
  };
  const std::string formats = "; accepted: 16-, 24- or 32-bit integer, 32-bit float";
  const Case cases[] = {
      {"notriff",
       notRiff,
       {},
       "not a RIFF file",
       "found no RIFF header; accepted: WAV files (RIFF/WAVE)"},
      {"flac", flac, {}, "unusable FLAC file (damaged FLAC metadata)", ""},
      {"aiff",
       aiff,
       {},
       "not a RIFF file",
       "this is an AIFF file; convert it to WAV first, for example with sox"},
      {"notwave", notWave, {}, "not a WAV file", "found RIFF form type \"XAVE\"; accepted: WAVE"},
      {"nofmt",
       noFmt,
       {},
       "no fmt chunk",
       "found no fmt chunk before the end of the file; accepted: WAV files with a fmt chunk"},
      {"nodata",
       noData,
       {},
       "no data chunk",
       "found no data chunk after the fmt chunk; accepted: WAV files with a data chunk"},
      {"rate",
       test::WavBytes({1, 2, 22050, 16}, TBytes(400, 0)),
       {},
       "sampling rate not supported",
       "found 22050 Hz; accepted: 32000, 44100, 48000, 88200, 96000, 176400, 192000 Hz"},
      {"channels",
       test::WavBytes({1, 65, 22050, 16}, TBytes(1300, 0)),
       {},
       "number of channels not supported",
       "found 65 channels; accepted: 1 to 64"},
      {"int8",
       test::WavBytes({1, 1, 44100, 8}, TBytes(400, 0)),
       {},
       "audio format not supported",
       "found 8-bit integer samples" + formats},
      {"float64",
       test::WavBytes({3, 1, 44100, 64}, TBytes(400, 0)),
       {},
       "audio format not supported",
       "found 64-bit float samples" + formats},
      {"align",
       test::WavBytes({1, 2, 44100, 16, 6}, TBytes(600, 0)),
       {},
       "audio format not supported",
       "found a block align of 6 bytes for 2 channels of 16 bits" + formats},
      {"adpcm",
       test::WavBytes({2, 1, 44100, 4}, TBytes(400, 0)),
       {},
       "audio format not supported",
       "found format tag 0x0002" + formats},
      {"monodebug",
       test::WavBytes(kMono16, TBytes(400, 0)),
       {"--debug-band", "A"},
       "control signal debug output in (R) needs 2-ch stereo input file",
       ""},
  };
  for (const Case& c : cases) {
    const std::string in = File(c.name + ".wav", c.bytes);
    std::vector<std::string> args = {"-q", in};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const TChildResult r = Run(args);
    EXPECT_EQ(r.ExitStatus, 1) << c.name;
    // One line: the program, the file, the reason, what was found.
    EXPECT_EQ(r.Err, "zorv-decode: " + in + ": " + c.reason +
                         (c.detail.empty() ? "" : " (" + c.detail + ")") + "\n")
        << c.name;
    EXPECT_FALSE(fs::exists(Dir.File(c.name + "_dec.wav"))) << c.name;
  }

  const std::string missing = Dir.File("missing.wav");
  TChildResult r = Run({missing});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: " + missing + ": cannot open: No such file or directory\n");
  r = Run({Dir.Path().string()});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: " + Dir.Path().string() + ": cannot open: Is a directory\n");

  const std::string good = Wav("good.wav", kStereo16, 100);
  const std::string nowhere = Dir.File("no/such/folder/out.wav");
  r = Run({good, "-o", nowhere});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: " + nowhere + ": cannot create: No such file or directory\n");
  EXPECT_FALSE(fs::exists(Dir.File("no"))) << "no folder is made for an output";
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
  EXPECT_NE(r.Err.find("zorv-decode: " + bad + ": not a RIFF file"), std::string::npos);
  ExpectValidWav(Dir.File("good_dec.wav"), 500 * 4);
}

TEST_F(ZorvDecode, ExistingOutputNeedsForce) {
  const std::string in = Wav("in.wav", kStereo16, 800);
  const std::string out = File("in_dec.wav", {'k', 'e', 'e', 'p'});
  TChildResult r = Run({in});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: " + out + ": output file exists (use -f to overwrite)\n");
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
      {{in, "-f", "-o", in}, "zorv-decode: " + in},
      {{in, "-f", "-o", Dir.File("sub/../in.wav")}, "zorv-decode: " + Dir.File("sub/../in.wav")},
      {{in, "-f", "-o", Dir.File("link.wav")}, "zorv-decode: " + Dir.File("link.wav")},
      {{in, "-f", "--meter-log", in}, "zorv-decode: " + in},
      // in.wav proposes in_dec.wav, which is a hard link to the other input.
      {{in, Dir.File("other.wav"), "-f", "-j", "1"}, "zorv-decode: " + Dir.File("in_dec.wav")},
  };
  fs::create_hard_link(other, Dir.File("other.wav"));
  for (const Case& c : cases) {
    const TChildResult r = Run(c.args);
    EXPECT_EQ(r.ExitStatus, 1);
    EXPECT_NE(r.Err.find(c.message + ": the input file cannot be an output\n"), std::string::npos)
        << r.Err;
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

// The meter log against the decoder itself: one row per meter point within
// the data, its frame and time, and the positions the decoder handed to its
// meters, channel by channel.
TEST_F(ZorvDecode, MeterLogHasARowPerMeterPointWithTheDecodersPositions) {
  // A block of 4410 frames and one of only 150 frames of data, decoded to
  // its last frame: its points at 4410 and 4510 are logged.
  const std::string in = Wav("in.wav", kStereo16, 4410 + 150);
  const std::string log = Dir.File("meters.csv");
  const TChildResult r = Run({in, "--meter-log", log, "-q"});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;

  TDecodeRun run({});
  test::TRecordingMeters meters;
  run.SetMeterListener(&meters);
  ASSERT_FALSE(run.OpenInput(OpenFileSource(in), in));
  ASSERT_FALSE(run.OpenOutput(CreateFileSink(Dir.File("reference.wav")), "reference.wav"));
  ASSERT_EQ(run.Run().Status, TRunStatus::Done);
  // Per block: channel 1's points, then channel 2's, four bands each; the
  // last block is decoded to the input's last frame (150 frames: 2 points).
  const std::size_t points[] = {45, 2};

  const TBytes logBytes = ReadFile(log);
  std::istringstream lines(std::string(logBytes.begin(), logBytes.end()));
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line,
            "# zorv-decode meter log: 44100 Hz; one row per meter point (every 100 frames of a "
            "block); positions in tenths of a dB of band gain");
  std::getline(lines, line);
  EXPECT_EQ(line, "frame,seconds,A1,B1,C1,D1,A2,B2,C2,D2");
  std::vector<std::string> rows;
  while (std::getline(lines, line)) rows.push_back(line);
  ASSERT_EQ(rows.size(), 45u + 2u);

  std::size_t row = 0;
  std::size_t update = 0;
  std::uint32_t blockStart = 0;
  for (const std::size_t blockPoints : points) {
    for (std::size_t p = 0; p < blockPoints; ++p) {
      const std::uint32_t frame = blockStart + static_cast<std::uint32_t>(p) * 100;
      if (frame >= 4410 + 150) continue;
      ASSERT_LT(row, rows.size());
      char head[48];
      std::snprintf(head, sizeof head, "%u,%.6f", frame, frame / 44100.0);
      std::string expected = head;
      for (int channel = 0; channel < 2; ++channel) {
        for (int band = 0; band < 4; ++band) {
          const test::TMeterUpdate& u =
              meters.Updates[update + (channel * blockPoints + p) * 4 + band];
          ASSERT_EQ(u.channel, channel);
          ASSERT_EQ(u.band, band);
          expected += ',';
          expected += std::to_string(u.position);
        }
      }
      EXPECT_EQ(rows[row], expected) << row;
      ++row;
    }
    update += blockPoints * 2 * 4;
    blockStart += 4410;
  }
  EXPECT_EQ(row, rows.size());
  EXPECT_EQ(update, meters.Updates.size());
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
  EXPECT_NE(r.Err.find("zorv-decode: " + Dir.File("link.csv") +
                       ": the output file cannot be the meter log\n"),
            std::string::npos)
      << r.Err;
  EXPECT_EQ(ReadFile(out), (TBytes{'k', 'e', 'e', 'p'}));

  File("meters.csv", TBytes{'o', 'l', 'd'});
  r = Run({in, "-o", Dir.File("fresh.wav"), "--meter-log", log});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_NE(r.Err.find("zorv-decode: " + log + ": output file exists (use -f to overwrite)\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(Dir.File("fresh.wav")));
  EXPECT_EQ(ReadFile(log), (TBytes{'o', 'l', 'd'}));

  r = Run({in, "-f", "-o", Dir.File("missing/out.wav"), "--meter-log", log});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_NE(r.Err.find("zorv-decode: " + Dir.File("missing/out.wav") +
                       ": cannot create: No such file or directory\n"),
            std::string::npos);
  EXPECT_EQ(ReadFile(log), (TBytes{'o', 'l', 'd'}));

  r = Run({in, "-f", "-o", Dir.File("fresh.wav"), "--meter-log", log});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  const TBytes written = ReadFile(log);
  EXPECT_EQ(std::string(written.begin(), written.begin() + 26), "# zorv-decode meter log: 4");
}

// Every input begins from the decoder's start-up state, whatever was
// decoded before; --continue takes each part of a tape on from where the
// one before ended, so that the parts decode as the whole tape would.
TEST_F(ZorvDecode, ContinueDecodesThePartsOfATapeAsTheWholeTape) {
  // The first part ends on a block's end (100 ms blocks): the decoder's
  // state there is the whole tape's at that frame.
  constexpr std::uint32_t kFirst = 12 * 4410, kSecond = 7000;
  const TBytes whole = test::SignalBytes(kStereo16, kFirst + kSecond, 7);
  const TBytes first(whole.begin(), whole.begin() + kFirst * 4);
  const TBytes second(whole.begin() + kFirst * 4, whole.end());
  const std::string a = File("a.wav", test::WavBytes(kStereo16, first));
  const std::string b = File("b.wav", test::WavBytes(kStereo16, second));
  const std::string tapeWav = File("tape.wav", test::WavBytes(kStereo16, whole));

  const TChildResult tape = Run({"-q", tapeWav});
  ASSERT_EQ(tape.ExitStatus, 0) << tape.Err;
  ASSERT_EQ(Run({"-q", "-d", Dir.File("plain"), b}).ExitStatus, 0);
  const TChildResult parts = Run({"-q", "-d", Dir.File("parts"), "--continue", "-j", "2", a, b});
  ASSERT_EQ(parts.ExitStatus, 0) << parts.Err;

  const auto data = [](const std::string& path) {
    const auto image = ParseCanonical(ReadFile(path));
    EXPECT_TRUE(image.has_value()) << path;
    return image ? image->Data : TBytes{};
  };
  TBytes joined = data(Dir.File("parts/a_dec.wav"));
  const TBytes continued = data(Dir.File("parts/b_dec.wav"));
  joined.insert(joined.end(), continued.begin(), continued.end());
  EXPECT_EQ(joined, data(Dir.File("tape_dec.wav")));
  EXPECT_NE(continued, data(Dir.File("plain/b_dec.wav"))) << "the state was carried on";

  // Without --continue, b decodes as on its own even after a.
  ASSERT_EQ(Run({"-q", "-d", Dir.File("again"), "-j", "1", a, b}).ExitStatus, 0);
  EXPECT_EQ(data(Dir.File("again/b_dec.wav")), data(Dir.File("plain/b_dec.wav")));
}

}  // namespace
}  // namespace zorv
