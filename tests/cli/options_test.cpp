// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options.h"

#include <gtest/gtest.h>

namespace zorv::cli {
namespace {

using Words = std::vector<std::string>;

TEST(ParseCommandLine, TakesOptionsBeforeAndAfterTheInputs) {
  const TParseResult r =
      ParseCommandLine({"-q", "a.wav", "--level", "-12.5", "b.wav", "--debug-band=c", "-fj3",
                        "--exact", "--force", "--", "-odd.wav"});
  ASSERT_TRUE(r.Ok()) << r.Error;
  EXPECT_EQ(r.Options.Inputs, (Words{"a.wav", "b.wav", "-odd.wav"}));
  EXPECT_EQ(r.Options.LevelDb, -12.5);
  EXPECT_EQ(r.Options.DebugBand, 3u);
  EXPECT_EQ(r.Options.Jobs, 3u);
  EXPECT_TRUE(r.Options.Force);
  EXPECT_TRUE(r.Options.Quiet);
  EXPECT_TRUE(r.Options.Exact);
  EXPECT_FALSE(r.Options.Output.has_value());
}

TEST(ParseCommandLine, HasTheDocumentedDefaults) {
  const TParseResult r = ParseCommandLine({"in.wav"});
  ASSERT_TRUE(r.Ok());
  EXPECT_EQ(r.Options.LevelDb, -10.0);
  EXPECT_EQ(r.Options.DebugBand, 0u);
  EXPECT_EQ(r.Options.Jobs, 0u);
  EXPECT_FALSE(r.Options.Force || r.Options.Quiet || r.Options.Exact || r.Options.Help ||
               r.Options.Version);
  EXPECT_FALSE(r.Options.MeterLog || r.Options.Output || r.Options.OutputDir || r.Options.Report);
  EXPECT_FALSE(r.Options.SkipExisting || r.Options.Float);
}

TEST(ParseCommandLine, ReadsTheBatchOptions) {
  const TParseResult r = ParseCommandLine(
      {"a.wav", "-d", "out", "--skip-existing", "b.wav", "--report=r.jsonl", "--float", "-q"});
  ASSERT_TRUE(r.Ok()) << r.Error;
  EXPECT_EQ(r.Options.Inputs, (Words{"a.wav", "b.wav"}));
  EXPECT_EQ(r.Options.OutputDir.value_or(""), "out");
  EXPECT_EQ(r.Options.Report.value_or(""), "r.jsonl");
  EXPECT_TRUE(r.Options.SkipExisting);
  EXPECT_TRUE(r.Options.Float);
  EXPECT_TRUE(r.Options.Quiet);
  // The last of a repeated option counts, as before.
  EXPECT_EQ(ParseCommandLine({"-o", "x.wav", "in.wav", "-o", "y.wav"}).Options.Output, "y.wav");
  // The output's extension in any case; "-" is the one name without it.
  EXPECT_TRUE(ParseCommandLine({"in.wav", "-o", "OUT.Wav"}).Ok());
}

TEST(ParseCommandLine, ReadsEveryValueSpelling) {
  struct Case {
    Words args;
    std::string output, meterLog;
    double level;
  };
  const Case cases[] = {
      {{"-o", "x.wav", "in.wav"}, "x.wav", "", -10.0},
      {{"-ox.wav", "in.wav"}, "x.wav", "", -10.0},
      {{"in.wav", "--output=x.wav"}, "x.wav", "", -10.0},
      {{"in.wav", "--output", "x.wav", "--meter-log", "m.csv"}, "x.wav", "m.csv", -10.0},
      {{"in.wav", "-l", "0"}, "", "", 0.0},
      {{"in.wav", "-l-30"}, "", "", -30.0},
      {{"in.wav", "--level=-0.1"}, "", "", -0.1},
      {{"in.wav", "--level", "-7.30"}, "", "", -7.3},
  };
  for (const Case& c : cases) {
    const TParseResult r = ParseCommandLine(c.args);
    ASSERT_TRUE(r.Ok()) << r.Error;
    EXPECT_EQ(r.Options.Output.value_or(""), c.output);
    EXPECT_EQ(r.Options.MeterLog.value_or(""), c.meterLog);
    // The same double as the window's scroll bar position / 10.
    EXPECT_EQ(r.Options.LevelDb, c.level);
  }
}

TEST(ParseCommandLine, RefusesWhatCannotBeMeant) {
  struct Case {
    Words args;
    std::string error;
  };
  const Case cases[] = {
      {{}, "no input file given"},
      {{"-q"}, "no input file given"},
      {{"--bogus", "in.wav"}, "unknown option: --bogus"},
      {{"-x", "in.wav"}, "unknown option: -x"},
      {{"in.wav", "-o"}, "option -o needs a value"},
      {{"a.wav", "b.wav", "-o", "x.wav"}, "--output needs exactly one input file"},
      {{"a.wav", "b.wav", "--meter-log", "m.csv"}, "--meter-log needs exactly one input file"},
      {{"in.wav", "-l", "-30.1"}, "level must be -30.0 .. 0.0 dB in steps of 0.1: -30.1"},
      {{"in.wav", "-l", "0.1"}, "level must be -30.0 .. 0.0 dB in steps of 0.1: 0.1"},
      {{"in.wav", "-l", "-10.05"}, "level must be -30.0 .. 0.0 dB in steps of 0.1: -10.05"},
      {{"in.wav", "-l", "loud"}, "level must be -30.0 .. 0.0 dB in steps of 0.1: loud"},
      {{"in.wav", "-l", "nan"}, "level must be -30.0 .. 0.0 dB in steps of 0.1: nan"},
      {{"in.wav", "--debug-band", "E"}, "debug band must be A, B, C or D: E"},
      {{"in.wav", "--debug-band", "AB"}, "debug band must be A, B, C or D: AB"},
      {{"in.wav", "-j", "0"}, "jobs must be a whole number of at least 1: 0"},
      {{"in.wav", "-j", "2x"}, "jobs must be a whole number of at least 1: 2x"},
      {{"in.wav", "--force=yes"}, "option --force takes no value"},
      {{"in.wav", "--frobnicate=1"}, "unknown option: --frobnicate"},
      {{"in.wav", "--frobnicate", "x"}, "unknown option: --frobnicate"},
      {{"in.wav", "-o", ""}, "option -o needs a file name"},
      {{"in.wav", "--report"}, "option --report needs a value"},
      {{"in.wav", "-o", "out.mp3"}, "the output file name must end in .wav or .flac: out.mp3"},
      {{"in.wav", "-o", "out"}, "the output file name must end in .wav or .flac: out"},
      {{"in.wav", "--format", "mp3"}, "format must be wav or flac: mp3"},
      {{"in.wav", "--format", "flac", "-o", "out.wav"},
       "--format flac and the output out.wav disagree"},
      {{"in.wav", "--format", "flac", "-o", "-"}, "--format flac and the output - disagree"},
      {{"-"}, "standard input (-) needs -o FILE or -o -"},
      {{"-", "-d", "out"}, "standard input (-) needs -o FILE or -o -"},
      {{"-", "b.wav", "-o", "x.wav"}, "--output needs exactly one input file"},
      {{"-l", "tone", "-", "-o", "x.wav"},
       "--level tone reads the input twice and cannot take standard input (-): give the level "
       "in dB"},
      {{"--measure-level", "-"}, "--measure-level cannot take standard input (-): give a file"},
      {{"in.wav", "--canonical-header=1"}, "option --canonical-header takes no value"},
      {{"in.wav", "-o", "x.wav", "-d", "out"}, "--output and --output-dir exclude each other"},
      {{"in.wav", "-f", "--skip-existing"}, "--force and --skip-existing exclude each other"},
  };
  for (const Case& c : cases) {
    const TParseResult r = ParseCommandLine(c.args);
    EXPECT_EQ(r.Error, c.error) << (c.args.empty() ? "" : c.args.back());
  }
}

TEST(ParseCommandLine, StandardStreamsAndTheCanonicalHeader) {
  const TParseResult piped = ParseCommandLine({"-", "-o", "-", "--canonical-header"});
  ASSERT_TRUE(piped.Ok()) << piped.Error;
  EXPECT_EQ(piped.Options.Inputs, (Words{"-"}));
  EXPECT_EQ(piped.Options.Output.value_or(""), "-");
  EXPECT_TRUE(piped.Options.CanonicalHeader);
  EXPECT_FALSE(ParseCommandLine({"in.wav"}).Options.CanonicalHeader);
}

TEST(ParseCommandLine, ReadsTheReferenceToneAndPlotOptions) {
  TParseResult r = ParseCommandLine(
      {"a.wav", "--level", "tone", "b.wav", "--tone-start=12.5", "--tone-length", "30"});
  ASSERT_TRUE(r.Ok()) << r.Error;
  EXPECT_TRUE(r.Options.LevelFromTone);
  EXPECT_FALSE(r.Options.MeasureLevel);
  EXPECT_EQ(r.Options.ToneStartSeconds, 12.5);
  EXPECT_EQ(r.Options.ToneLengthSeconds, 30.0);
  // A level typed after "tone" counts, as the last of a repeated option does.
  r = ParseCommandLine({"a.wav", "-l", "tone", "-l", "-3"});
  EXPECT_FALSE(r.Options.LevelFromTone);
  EXPECT_EQ(r.Options.LevelDb, -3.0);

  r = ParseCommandLine({"--measure-level", "a.wav", "b.wav"});
  ASSERT_TRUE(r.Ok()) << r.Error;
  EXPECT_TRUE(r.Options.MeasureLevel);
  EXPECT_EQ(r.Options.ToneStartSeconds, 0.0);
  EXPECT_EQ(r.Options.ToneLengthSeconds, 60.0);

  r = ParseCommandLine({"a.wav", "--plot", "gains.PNG"});
  ASSERT_TRUE(r.Ok()) << r.Error;
  EXPECT_EQ(r.Options.Plot.value_or(""), "gains.PNG");
  EXPECT_FALSE(ParseCommandLine({"in.wav"}).Options.Plot.has_value());
}

TEST(ParseCommandLine, RefusesReferenceToneAndPlotOptionsThatCannotBeMeant) {
  struct Case {
    Words args;
    std::string error;
  };
  const Case cases[] = {
      {{"in.wav", "-l", "Tone"}, "level must be -30.0 .. 0.0 dB in steps of 0.1: Tone"},
      {{"in.wav", "--tone-start", "-1"}, "tone start must be a number of seconds, 0 or more: -1"},
      {{"in.wav", "--tone-start", "1:30"},
       "tone start must be a number of seconds, 0 or more: 1:30"},
      {{"in.wav", "--tone-length", "1.5"},
       "tone length must be a number of seconds, 2 or more: 1.5"},
      {{"in.wav", "--tone-length", "inf"},
       "tone length must be a number of seconds, 2 or more: inf"},
      {{"a.wav", "b.wav", "--plot", "p.png"}, "--plot needs exactly one input file"},
      {{"in.wav", "--plot", "p.jpg"}, "the plot file name must end in .png: p.jpg"},
      {{"in.wav", "--plot", ""}, "option --plot needs a file name"},
      {{"--measure-level", "in.wav", "-o", "x.wav"},
       "--measure-level decodes nothing: leave out --output"},
      {{"--measure-level", "in.wav", "-d", "out"},
       "--measure-level decodes nothing: leave out --output-dir"},
      {{"--measure-level", "in.wav", "--plot", "p.png"},
       "--measure-level decodes nothing: leave out --plot"},
      {{"--measure-level", "in.wav", "--strict"},
       "--measure-level decodes nothing: leave out --strict"},
      {{"--measure-level", "in.wav", "--report", "r.jsonl"}, ""},
      {{"in.wav", "-o", "-", "--report", "-"},
       "--report - and -o - both write to standard output: give one a file"},
      {{"--measure-level", "in.wav", "-l", "tone"},
       "--measure-level decodes nothing: leave out --level tone"},
      {{"--measure-level=1", "in.wav"}, "option --measure-level takes no value"},
  };
  for (const Case& c : cases) {
    const TParseResult r = ParseCommandLine(c.args);
    EXPECT_EQ(r.Error, c.error) << c.args.back();
  }
}

// A list sets every channel; N=DB sets channels over the rest whatever
// order the options come in; a later level, list or "tone" replaces an
// earlier one.
TEST(ParseCommandLine, ReadsLevelsPerChannel) {
  using TOverrides = std::vector<std::pair<std::uint32_t, double>>;
  TParseResult r = ParseCommandLine({"in.wav", "-l", "-12.5,-13.0,-9"});
  ASSERT_TRUE(r.Ok()) << r.Error;
  EXPECT_EQ(r.Options.ChannelLevelsDb, (std::vector<double>{-12.5, -13.0, -9.0}));
  EXPECT_EQ(r.Options.LevelDb, -10.0);

  r = ParseCommandLine({"-l", "3=-11.2", "in.wav", "-l", "-12", "--level=1=-20,6=0"});
  ASSERT_TRUE(r.Ok()) << r.Error;
  EXPECT_TRUE(r.Options.ChannelLevelsDb.empty());
  EXPECT_EQ(r.Options.LevelDb, -12.0);
  EXPECT_EQ(r.Options.ChannelLevelOverrides, (TOverrides{{3, -11.2}, {1, -20.0}, {6, 0.0}}));

  r = ParseCommandLine({"in.wav", "-l", "-12,-13", "-l", "-14"});
  EXPECT_TRUE(r.Options.ChannelLevelsDb.empty());
  EXPECT_EQ(r.Options.LevelDb, -14.0);

  r = ParseCommandLine(
      {"in.wav", "-l", "tone", "--per-channel", "-l", "4=-18", "--fallback", "mean"});
  ASSERT_TRUE(r.Ok()) << r.Error;
  EXPECT_TRUE(r.Options.LevelFromTone && r.Options.PerChannel && r.Options.FallbackMean);
  EXPECT_EQ(r.Options.ChannelLevelOverrides, (TOverrides{{4, -18.0}}));

  const std::pair<Words, std::string> refused[] = {
      {{"in.wav", "-l", "-12,-31"}, "level must be -30.0 .. 0.0 dB in steps of 0.1: -31"},
      {{"in.wav", "-l", "-12,"}, "level must be -30.0 .. 0.0 dB in steps of 0.1: "},
      {{"in.wav", "-l", "3=-11,-12"},
       "a level list gives either every channel's level or N=DB items, not both: 3=-11,-12"},
      {{"in.wav", "-l", "0=-11"}, "channel must be a number 1 .. 64 before '=': 0=-11"},
      {{"in.wav", "-l", "65=-11"}, "channel must be a number 1 .. 64 before '=': 65=-11"},
      {{"in.wav", "-l", "2=loud"}, "level must be -30.0 .. 0.0 dB in steps of 0.1: loud"},
      {{"in.wav", "--per-channel"}, "--per-channel needs --level tone"},
      {{"in.wav", "-l", "tone", "-l", "-12", "--per-channel"}, "--per-channel needs --level tone"},
      {{"in.wav", "-l", "tone", "--fallback", "mean"},
       "--fallback mean needs --level tone --per-channel"},
      {{"in.wav", "-l", "tone", "--per-channel", "--fallback", "zero"},
       "fallback must be mean: zero"},
  };
  for (const auto& [args, error] : refused) EXPECT_EQ(ParseCommandLine(args).Error, error);
}

TEST(ParseCommandLine, HelpAndVersionNeedNoInput) {
  EXPECT_TRUE(ParseCommandLine({"-h"}).Options.Help);
  EXPECT_TRUE(ParseCommandLine({"--help"}).Ok());
  EXPECT_TRUE(ParseCommandLine({"-V"}).Options.Version);
  EXPECT_TRUE(ParseCommandLine({"--version"}).Ok());
}

}  // namespace
}  // namespace zorv::cli
