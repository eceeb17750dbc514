// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-decode with the reference level from each input's own reference
// tone: the measurement lines, decodes at the measured levels against decodes
// at the same level typed by hand, and the inputs without a usable tone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "tests/app/scratch_dir.h"
#include "tests/app/tone_material.h"
#include "tests/cli/child_process.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::TBytes;
using test::TChannelBuilder;
using test::TChildResult;
using test::TWavFormat;

class ToneLevel : public ::testing::Test {
 protected:
  TChildResult Run(const std::vector<std::string>& args) {
    test::TChildOptions options;
    options.WorkingDirectory = Dir.Path().string();
    return test::RunProgram(ZORV_DECODE_PATH, args, Dir.Path().string(), options);
  }
  // 2 s of leader, 3 s of a 1 kHz tone at the channels' levels, programme.
  std::string Tape(const std::string& name, const TWavFormat& format, double left, double right,
                   double toneSeconds = 3.0) {
    const double rate = format.SampleRate;
    const auto l = TChannelBuilder(rate, 3).Silence(2.0).Tone(1000, left, toneSeconds).Music(1.0);
    const auto r = TChannelBuilder(rate, 4).Silence(2.0).Tone(1000, right, toneSeconds).Music(1.0);
    const std::string path = Dir.File(name);
    test::WriteFile(path,
                    test::ToneFile(format, l.Samples, format.Channels == 2 ? &r.Samples : nullptr));
    return path;
  }
  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Dir.Path())) {
      const std::string name = entry.path().filename().string();
      if (!name.starts_with("child")) names.insert(name);
    }
    return names;
  }

  test::TScratchDir Dir{ZORV_CLI_SCRATCH};
};

TEST_F(ToneLevel, MeasureLevelPrintsALinePerInputAndDecodesNothing) {
  Tape("tape.wav", {1, 2, 44100, 16}, -14.3, -14.3);
  Tape("brief.wav", {1, 2, 44100, 16}, -14.3, -14.3, 1.0);
  test::WriteFile(Dir.File("text.wav"), TBytes(100, 'x'));
  const std::set<std::string> before = Files();

  TChildResult r = Run({"--measure-level", "tape.wav", "brief.wav", "text.wav"});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Out,
            "tape.wav: reference tone 1000 Hz at -14.3 dBFS (0:02.0-0:05.0); reference level "
            "-14.3 dB; levels -30.0 .. -5.8 dB keep every band inside its range; the tone's "
            "level -14.3 dB lies inside it\n"
            "brief.wav: no steady tone (one frequency, level steady within 0.5 dB, at least 2 s) "
            "in 0:00.0-0:04.0; no reference level suggested; levels -30.0 .. -5.8 dB keep every "
            "band inside its range\n");
  EXPECT_EQ(r.Err, "zorv-decode: text.wav: not a RIFF file\n");
  EXPECT_EQ(Files(), before) << "nothing is written";

  r = Run({"--measure-level", "tape.wav", "--tone-start", "3", "--tone-length", "10"});
  EXPECT_EQ(r.ExitStatus, 0);
  EXPECT_EQ(r.Out,
            "tape.wav: reference tone 1000 Hz at -14.3 dBFS (0:03.0-0:05.0); reference level "
            "-14.3 dB; levels -30.0 .. -5.8 dB keep every band inside its range; the tone's "
            "level -14.3 dB lies inside it\n");
  EXPECT_EQ(r.Err, "");
}

// At each rate and in each kind of sample: the decode at the tone's level is
// the decode with that level typed, byte for byte, and differs from the
// default level's.
TEST_F(ToneLevel, LevelToneDecodesAsTheMeasuredLevelTyped) {
  const struct {
    TWavFormat format;
    double left, right;
    const char* level;  // the channels' mean, to the tenth
  } cases[] = {
      {{1, 2, 44100, 16}, -14.3, -14.3, "-14.3"},
      {{3, 1, 48000, 32}, -27.9, -27.9, "-27.9"},
      {{1, 2, 96000, 24}, -3.0, -4.0, "-3.5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.level);
    const std::string tape = Tape("tape.wav", c.format, c.left, c.right);
    TChildResult r = Run({"-l", "tone", "-f", "tape.wav", "-o", "tone.wav"});
    ASSERT_EQ(r.ExitStatus, 0) << r.Err;
    EXPECT_NE(r.Err.find(std::string("; reference level ") + c.level + " dB"), std::string::npos)
        << r.Err;
    ASSERT_EQ(Run({"-l", c.level, "-f", "tape.wav", "-o", "typed.wav"}).ExitStatus, 0);
    ASSERT_EQ(Run({"-f", "tape.wav", "-o", "default.wav"}).ExitStatus, 0);
    const TBytes tone = test::ReadFile(Dir.File("tone.wav"));
    EXPECT_EQ(tone, test::ReadFile(Dir.File("typed.wav")));
    EXPECT_NE(tone, test::ReadFile(Dir.File("default.wav")));
  }
}

// Each input at its own level; one without a usable tone is refused before
// anything of it is written, and the report states every input's level.
TEST_F(ToneLevel, EachInputAtItsOwnLevelOneWithoutAToneRefused) {
  Tape("quiet.wav", {1, 2, 44100, 16}, -20.0, -20.0);
  Tape("loud.wav", {1, 2, 44100, 16}, -6.0, -6.0);
  Tape("faint.wav", {1, 2, 44100, 16}, -36.0, -36.0);
  TChildResult r = Run(
      {"-j", "1", "-l", "tone", "quiet.wav", "faint.wav", "loud.wav", "--report", "report.jsonl"});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_NE(r.Err.find("zorv-decode: faint.wav: no usable reference tone (reference tone 1000 Hz "
                       "at -36.0 dBFS (0:02.0-0:05.0); no reference level suggested: -36.0 dB is "
                       "outside -30.0 .. 0.0 dB)\n"),
            std::string::npos)
      << r.Err;
  EXPECT_NE(r.Err.find("2 decoded, 1 refused"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(Dir.File("faint_dec.wav")));

  ASSERT_EQ(Run({"-l", "-20", "quiet.wav", "-o", "quiet_typed.wav"}).ExitStatus, 0);
  ASSERT_EQ(Run({"-l", "-6", "loud.wav", "-o", "loud_typed.wav"}).ExitStatus, 0);
  EXPECT_EQ(test::ReadFile(Dir.File("quiet_dec.wav")), test::ReadFile(Dir.File("quiet_typed.wav")));
  EXPECT_EQ(test::ReadFile(Dir.File("loud_dec.wav")), test::ReadFile(Dir.File("loud_typed.wav")));

  std::istringstream report(
      std::string(reinterpret_cast<const char*>(test::ReadFile(Dir.File("report.jsonl")).data()),
                  test::ReadFile(Dir.File("report.jsonl")).size()));
  std::vector<nlohmann::json> lines;
  for (std::string line; std::getline(report, line);) lines.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[0]["reference_level_db"], -20.0);
  EXPECT_EQ(lines[1]["status"], "refused");
  EXPECT_TRUE(lines[1]["reference_level_db"].is_null());
  EXPECT_EQ(lines[2]["reference_level_db"], -6.0);
}

// A zorv-decode built without Qt refuses --plot before it writes anything;
// one built with Qt writes the picture beside the output.
TEST_F(ToneLevel, PlotIsRefusedUpFrontWhereNotBuilt) {
  Tape("tape.wav", {1, 2, 44100, 16}, -14.3, -14.3);
  const std::set<std::string> before = Files();
  const TChildResult r = Run({"--plot", "gains.png", "tape.wav"});
  if (ZORV_HAS_PLOT) {
    EXPECT_EQ(r.ExitStatus, 0) << r.Err;
    EXPECT_TRUE(fs::exists(Dir.File("gains.png")));
    EXPECT_TRUE(fs::exists(Dir.File("tape_dec.wav")));
  } else {
    EXPECT_EQ(r.ExitStatus, 2);
    EXPECT_TRUE(r.Err.starts_with(
        "zorv-decode: this zorv-decode was built without Qt: --plot is not available\n"))
        << r.Err;
    EXPECT_EQ(Files(), before) << "nothing is written";
  }
}

// The picture is drawn by a module loaded for --plot only. A program that
// cannot find it (copied away from it, and none installed) refuses --plot
// up front, says why, and writes nothing; without --plot it decodes.
TEST_F(ToneLevel, PlotWithoutItsModuleIsRefusedUpFront) {
  if (!ZORV_HAS_PLOT) GTEST_SKIP() << "built without plots";
  if (fs::exists(fs::path(ZORV_PLOT_MODULE_DIR) / "zorv-decode-plot.so")) {
    GTEST_SKIP() << "a plot module is installed";
  }
  Tape("tape.wav", {1, 2, 44100, 16}, -14.3, -14.3);
  const fs::path alone = Dir.Path() / "alone";
  fs::create_directory(alone);
  fs::copy_file(ZORV_DECODE_PATH, alone / "zorv-decode");
  const std::set<std::string> before = Files();
  test::TChildOptions options;
  options.WorkingDirectory = Dir.Path().string();
  const std::string program = (alone / "zorv-decode").string();
  TChildResult r =
      test::RunProgram(program, {"--plot", "gains.png", "tape.wav"}, Dir.Path().string(), options);
  EXPECT_EQ(r.ExitStatus, 2);
  EXPECT_TRUE(
      r.Err.starts_with("zorv-decode: --plot is not available: the plot module cannot be loaded ("))
      << r.Err;
  EXPECT_NE(r.Err.find("zorv-decode-plot.so"), std::string::npos) << r.Err;
  EXPECT_EQ(Files(), before) << "nothing is written";

  r = test::RunProgram(program, {"-q", "tape.wav"}, Dir.Path().string(), options);
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_TRUE(fs::exists(Dir.File("tape_dec.wav")));
}

// A tone 25 dB over the reference holds band B at its ceiling for as long as
// it lasts: said per file and in the report (the leader is hiss, not digital
// silence). 3 dB under the tone's level no band of the tape meets a limit and
// nothing is said.
TEST_F(ToneLevel, TheBandsTimeAtTheirLimitsIsSaidAndReported) {
  Tape("tape.wav", {1, 2, 48000, 24}, -5.0, -5.0);
  TChildResult r = Run({"-f", "-l", "-30", "--report", "r.jsonl", "tape.wav"});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_NE(r.Err.find("band B of channel 1 at its +10 dB ceiling for 3.0 s\n"), std::string::npos)
      << r.Err;
  EXPECT_NE(r.Err.find("band B of channel 2 at its +10 dB ceiling for 3.0 s\n"), std::string::npos);
  const auto report = nlohmann::json::parse(std::ifstream(Dir.File("r.jsonl")));
  for (int c = 0; c < 2; ++c) {
    EXPECT_NEAR(report["ceiling_seconds"][c][1].get<double>(), 3.0, 0.05);
    EXPECT_EQ(report["silence_seconds"][c].get<double>(), 0.0);
    EXPECT_EQ(report["floor_seconds"][c].size(), 4u);
  }

  r = Run({"-f", "-l", "-8", "--report", "quiet.jsonl", "tape.wav"});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(r.Err.find(" at its "), std::string::npos) << r.Err;
  const auto inside = nlohmann::json::parse(std::ifstream(Dir.File("quiet.jsonl")));
  EXPECT_EQ(inside["ceiling_seconds"], nlohmann::json::parse("[[0,0,0,0],[0,0,0,0]]"));
  EXPECT_EQ(inside["floor_seconds"], nlohmann::json::parse("[[0,0,0,0],[0,0,0,0]]"));
}

}  // namespace
}  // namespace zorv
