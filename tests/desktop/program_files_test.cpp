// SPDX-License-Identifier: GPL-3.0-or-later
// What the window needs around it: dialog filters, where the help page is,
// the command line.
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/desktop/command_line.h"
#include "app/desktop/program_info.h"
#include "app/desktop/qt_file_dialogs.h"
#include "tests/desktop/window_fixture.h"

namespace zorv::test {

namespace {

TEST(WindowFileDialogs, FiltersAreRenderedFromTheirPairs) {
  const struct {
    std::string_view Pairs;
    const char* Qt;
  } cases[] = {
      {kInputFileFilter,
       "WAV and FLAC sound files (*.wav *.flac);;WAV sound files (*.wav);;"
       "FLAC sound files (*.flac);;all files (*.*)"},
      {kOutputFileFilter, "WAV sound files (*.wav);;FLAC sound files (*.flac);;all files (*.*)"},
      {"Sound|*.wav;*.wave|odd", "Sound (*.wav *.wave)"},
  };
  for (const auto& c : cases) EXPECT_EQ(Std(QtFileFilter(c.Pairs)), c.Qt) << c.Pairs;
}

TEST(WindowProgramFiles, HelpPageIsFoundBesideTheProgramOrInstalled) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString bin = root.filePath("bin/");
  const QString beside = bin + kHelpPage;
  const QString installed =
      root.filePath("share/zorv-audio-decoder/help/helpnaltZorvaudiodecoder.htm");
  const auto create = [](const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
  };
  EXPECT_EQ(HelpPagePath(bin), beside) << "neither";
  ASSERT_TRUE(create(installed));
  EXPECT_EQ(HelpPagePath(bin), installed) << "installed";
  ASSERT_TRUE(create(beside));
  EXPECT_EQ(HelpPagePath(bin), beside) << "both";
  // The build puts the page beside the program.
  EXPECT_TRUE(QFileInfo::exists(QStringLiteral(ZORV_PROGRAM_DIR "/") + kHelpPage));
}

TEST(WindowCommandLine, InputAndHiddenOptions) {
  const QString cwd = QDir::currentPath() + '/';
  const struct {
    QStringList Arguments;
    bool Ok;
    QString Input;
    QString Output;
    bool Quit;
    QStringList Queued{};
  } cases[] = {
      {{}, true, {}, {}, false},
      {{"a.wav"}, true, cwd + "a.wav", {}, false, {cwd + "a.wav"}},
      {{"/x/a.wav", "--autostart", "o.wav"}, true, "/x/a.wav", cwd + "o.wav", false, {"/x/a.wav"}},
      {{"--autostart", "/o.wav", "--autoquit", "a.wav"},
       true,
       cwd + "a.wav",
       "/o.wav",
       true,
       {cwd + "a.wav"}},
      {{"-platform", "xcb", "-reverse", "a.wav"}, true, cwd + "a.wav", {}, false, {cwd + "a.wav"}},
      // A file manager's "Open with" of several files (Exec=... %F): a queue.
      {{"a.wav", "/x/b.wav"}, true, {}, {}, false, {cwd + "a.wav", "/x/b.wav"}},
      {{"a.wav", "b.wav", "--autostart", "o.wav"}, false, {}, {}, false},
      {{"--autostart", "o.wav"}, false, {}, {}, false},
      {{"--autoquit", "a.wav"}, false, {}, {}, false},
      {{"--bogus"}, false, {}, {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Std(c.Arguments.join(' ')));
    TCommandLine result;
    QString error;
    ASSERT_EQ(ParseCommandLine(QStringList{"zorv-audio-decoder"} + c.Arguments, result, error),
              c.Ok);
    EXPECT_EQ(error.isEmpty(), c.Ok);
    if (!c.Ok) continue;
    EXPECT_EQ(result.InputFile, c.Input);
    EXPECT_EQ(result.InputFiles, c.Queued);
    EXPECT_EQ(result.AutostartOutput, c.Output);
    EXPECT_EQ(result.AutoQuit, c.Quit);
  }
}

TEST(WindowCommandLine, AutoplayAndLevel) {
  TCommandLine result;
  QString error;
  ASSERT_TRUE(ParseCommandLine(
      {"zorv-audio-decoder", "--autoplay", "2.0,5", "--level", "-12.5", "a.wav"}, result, error))
      << Std(error);
  EXPECT_EQ(result.AutoplayFrom, 2.0);
  EXPECT_EQ(result.AutoplaySeconds, 5.0);
  EXPECT_TRUE(result.LevelGiven);
  EXPECT_EQ(result.LevelDb, -12.5);
  ASSERT_TRUE(ParseCommandLine({"zorv-audio-decoder", "a.wav"}, result, error));
  EXPECT_LT(result.AutoplaySeconds, 0.0);
  EXPECT_FALSE(result.LevelGiven);
  // Each refused with a message of its own.
  const QStringList refused[] = {
      {"--autoplay", "2.0", "a.wav"},  {"--autoplay", "2,0", "a.wav"},
      {"--autoplay", "-1,5", "a.wav"}, {"--autoplay", "x,5", "a.wav"},
      {"--autoplay", "1,5"},           {"--autoplay", "1,5", "a.wav", "b.wav"},
      {"--level", "-31", "a.wav"},     {"--level", "3", "a.wav"},
      {"--level", "nan", "a.wav"},     {"--autoplay", "1,5", "--autostart", "o.wav", "a.wav"},
  };
  for (const QStringList& arguments : refused) {
    SCOPED_TRACE(Std(arguments.join(' ')));
    EXPECT_FALSE(ParseCommandLine(QStringList{"zorv-audio-decoder"} + arguments, result, error));
    EXPECT_FALSE(error.isEmpty());
  }
}

}  // namespace
}  // namespace zorv::test
