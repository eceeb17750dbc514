// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/reference_level.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/app/scratch_dir.h"
#include "tests/app/tone_material.h"

namespace zorv::cli {
namespace {

using test::TChannelBuilder;
using test::ToneFile;

class ReferenceLevelTest : public ::testing::Test {
 protected:
  std::string Tape(const std::string& name, double dbfs, double toneSeconds = 3.0) {
    const std::string path = Dir.File(name);
    const auto samples =
        TChannelBuilder(44100, 3).Silence(2.0).Tone(1000, dbfs, toneSeconds).Music(1.0).Samples;
    test::WriteFile(path, ToneFile({1, 1, 44100, 16}, samples));
    return path;
  }
  test::TScratchDir Dir{ZORV_CLI_SCRATCH};
};

TEST_F(ReferenceLevelTest, OneLinePerInputInOrderAndWhetherAllHadALevel) {
  const std::string good = Tape("good.wav", -12.0);
  const std::string loud = Tape("loud.wav", -0.3);
  const std::string brief = Tape("brief.wav", -12.0, 1.0);
  const std::string missing = Dir.File("missing.wav");
  const std::atomic<bool> go{false};

  std::ostringstream out, err;
  EXPECT_TRUE(MeasureLevels({good, loud}, {}, out, err, go));
  // Each line also has the levels that keep every band inside its range,
  // and whether the tone's lies among them.
  EXPECT_EQ(out.str(), good +
                           ": reference tone 1000 Hz at -12.0 dBFS (0:02.0-0:05.0); "
                           "reference level -12.0 dB; levels -30.0 .. -5.5 dB keep every band "
                           "inside its range; the tone's level -12.0 dB lies inside it\n" +
                           loud +
                           ": reference tone 1000 Hz at -0.3 dBFS (0:02.0-0:05.0); "
                           "reference level -0.3 dB; levels -20.6 .. -5.5 dB keep every band "
                           "inside its range; the tone's level -0.3 dB lies outside it\n");
  EXPECT_EQ(err.str(), "");

  // A file without a tone is a finding; one that cannot be read, a refusal.
  out.str("");
  EXPECT_FALSE(MeasureLevels({brief, missing, good}, {}, out, err, go));
  EXPECT_EQ(out.str(), brief +
                           ": no steady tone (one frequency, level steady within 0.5 dB, "
                           "at least 2 s) in 0:00.0-0:04.0; no reference level suggested; "
                           "levels -30.0 .. -5.5 dB keep every band inside its range\n" +
                           good +
                           ": reference tone 1000 Hz at -12.0 dBFS (0:02.0-0:05.0); "
                           "reference level -12.0 dB; levels -30.0 .. -5.5 dB keep every band "
                           "inside its range; the tone's level -12.0 dB lies inside it\n");
  EXPECT_EQ(err.str(), "zorv-decode: " + missing + ": cannot open: No such file or directory\n");

  // The stretch searched is the one given.
  out.str("");
  EXPECT_FALSE(MeasureLevels({good}, {3.5, 10.0}, out, err, go));
  EXPECT_NE(out.str().find("in 0:03.5-0:06.0"), std::string::npos) << out.str();

  // Stopped: nothing more is measured.
  out.str("");
  const std::atomic<bool> stopped{true};
  EXPECT_FALSE(MeasureLevels({good}, {}, out, err, stopped));
  EXPECT_EQ(out.str(), "");
}

TEST_F(ReferenceLevelTest, ALevelOnlyFromAUsableTone) {
  const std::string good = Tape("good.wav", -17.4);
  TToneLevel level = LevelFromTone(good, {});
  ASSERT_TRUE(level.LevelDb.has_value());
  EXPECT_NEAR(*level.LevelDb, -17.4, 1e-9);
  EXPECT_EQ(level.Lines, std::vector<std::string>{"reference tone 1000 Hz at -17.4 dBFS "
                                                  "(0:02.0-0:05.0); reference level -17.4 dB"});

  const std::string faint = Tape("faint.wav", -33.0);
  level = LevelFromTone(faint, {});
  EXPECT_FALSE(level.LevelDb.has_value());
  EXPECT_EQ(level.Lines, (std::vector<std::string>{
                             "No usable reference tone: " + faint,
                             "reference tone 1000 Hz at -33.0 dBFS (0:02.0-0:05.0); no reference "
                             "level suggested: -33.0 dB is outside -30.0 .. 0.0 dB"}));

  const std::string missing = Dir.File("missing.wav");
  level = LevelFromTone(missing, {});
  EXPECT_FALSE(level.LevelDb.has_value());
  EXPECT_EQ(level.Lines, std::vector<std::string>{"Cannot open: " + missing});
}

}  // namespace
}  // namespace zorv::cli
