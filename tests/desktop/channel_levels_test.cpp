// SPDX-License-Identifier: GPL-3.0-or-later
// The levels per channel of a multitrack input: the table beside the
// reference level, filled by Measure from each track's own tone, moved as
// one by the scroll bar, and the run decoding each track at its level.
#include <QApplication>
#include <QDoubleSpinBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>

#include "tests/app/tone_material.h"
#include "tests/desktop/window_fixture.h"

namespace zorv::test {
namespace {

constexpr double kTones[] = {-12.5, -13.5, -9.3, -20.1, -16.8, -11.0};

class WindowChannelLevels : public WindowTest {
 protected:
  // Six tracks with a tone each, track 4 of a toneless tape without one.
  QString WriteTape(const std::string& name, bool toneless4) {
    std::vector<std::vector<double>> tracks;
    for (int c = 0; c < 6; ++c) {
      TChannelBuilder track(44100, 21 + c);
      track.Silence(2.0);
      if (toneless4 && c == 3) {
        track.Music(4.0);
      } else {
        track.Tone(1000, kTones[c], 3.0).Music(1.0);
      }
      tracks.push_back(track.Samples);
    }
    return WriteBytes(name, ToneFile({1, 6, 44100, 16}, tracks));
  }
  std::string Cell(int row, int column) const {
    const QTableWidgetItem* item = Form->ChannelLevelsTable->item(row, column);
    return item == nullptr ? std::string() : Std(item->text());
  }
};

TEST_F(WindowChannelLevels, MeasureFillsTheTableAndTheScrollBarMovesEveryChannel) {
  ChooseInput(WriteBytes(
      "mono.wav", ToneFile({1, 1, 44100, 16}, TChannelBuilder(44100, 1).Music(1.0).Samples)));
  EXPECT_FALSE(Form->ChannelLevelsButton->isVisibleTo(Form.get())) << "two channels or fewer";

  ChooseInput(WriteTape("six.wav", true));
  ASSERT_TRUE(Form->ChannelLevelsButton->isVisibleTo(Form.get()));
  Form->ChannelLevelsButton->click();
  EXPECT_EQ(Form->LowerTabs->currentWidget(), Form->ChannelLevelsTable);
  ASSERT_EQ(Form->ChannelLevelsTable->rowCount(), 6);
  EXPECT_EQ(Cell(5, 0), "6");
  EXPECT_EQ(Cell(5, 1), "-10.0 dB") << "every channel at the scroll bar's level";

  Form->MeasureButton->click();
  // The scroll bar takes the mean of channels 1 and 2; each channel its own.
  EXPECT_EQ(Form->LevelBar->value(), -130);
  const char* levels[] = {"-12.5 dB", "-13.5 dB", "-9.3 dB", "-13.0 dB", "-16.8 dB", "-11.0 dB"};
  for (int c = 0; c < 6; ++c) EXPECT_EQ(Cell(c, 1), levels[c]) << c + 1;
  EXPECT_EQ(Cell(2, 2),
            "reference tone 1000 Hz at -9.3 dBFS (0:02.0-0:05.0); "
            "reference level -9.3 dB");
  EXPECT_TRUE(Cell(3, 2).starts_with("no steady tone")) << Cell(3, 2);
  // The finding under the level speaks of every track and its level.
  const QString finding = Form->MeasureLabel->text();
  EXPECT_TRUE(finding.contains(QStringLiteral("-11.0 dBFS (0:02.0-0:05.0) in channel 6")))
      << Std(finding);
  EXPECT_TRUE(finding.contains(
      QStringLiteral("; levels per channel -12.5/-13.5/-9.3/-13.0/-16.8/-11.0 dB")))
      << Std(finding);

  // One dB up: every channel one dB up, the toneless one with the scroll bar.
  Form->LevelBar->setValue(-120);
  const char* moved[] = {"-11.5 dB", "-12.5 dB", "-8.3 dB", "-12.0 dB", "-15.8 dB", "-10.0 dB"};
  for (int c = 0; c < 6; ++c) EXPECT_EQ(Cell(c, 1), moved[c]) << c + 1;

  ChooseOutput(Path("out.wav"));
  PressStart();
  ASSERT_TRUE(Form->LastResult().has_value());
  EXPECT_EQ(Form->LastResult()->Levels.front().LevelsDb,
            (std::vector<double>{-11.5, -12.5, -8.3, -12.0, -15.8, -10.0}));

  // Moved during a run: every channel by as much, from the next block on,
  // and the status says each channel's level.
  AfterBlock(1, [this] { Form->LevelBar->setValue(-140); });
  ChooseOutput(Path("out.wav"), true);
  PressStart();
  ASSERT_TRUE(Form->LastResult().has_value());
  const auto& history = Form->LastResult()->Levels;
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[1].LevelsDb, (std::vector<double>{-13.5, -14.5, -10.3, -14.0, -17.8, -12.0}));
  // From the third block on (the run's blocks are 0.1 s at most).
  EXPECT_TRUE(Form->DoneLabel->text().startsWith(
      QStringLiteral("Done (reference levels -11.5/-12.5/-8.3/-12.0/-15.8/-10.0 dB; "
                     "-13.5/-14.5/-10.3/-14.0/-17.8/-12.0 dB from 0:00:00.")))
      << Std(Form->DoneLabel->text());
}

// A master queued with another file: Measure gives its row each track's own
// level, shown channel by channel, and the queue decodes it as the command
// line does with -l tone --per-channel --fallback mean (the toneless track
// at the mean of the others).
TEST_F(WindowChannelLevels, AQueuedMasterIsDecodedAtEachTracksLevel) {
  const QString master = WriteTape("master.wav", true);
  const QString other = WriteWav("other.wav", TWavFormat{}, 4410);
  Dialogs.InputListAnswers.push_back({master, other});
  Form->InputFileButton->click();
  Form->QueueTable->selectRow(0);
  Form->QueueMeasureButton->click();
  const QTableWidgetItem* level = Form->QueueTable->item(0, 3);
  ASSERT_NE(level, nullptr);
  EXPECT_EQ(Std(level->text()), "-12.5/-13.5/-9.3/-12.6/-16.8/-11.0 dB");
  EXPECT_TRUE(level->toolTip().contains(QStringLiteral("channel 4: -12.6 dB")));
  EXPECT_EQ(Form->QueueLevelBox(1)->value(), Form->QueueLevelBox(1)->minimum()) << "main";
  Form->QueueStartButton->click();
  while (Form->QueueRunning()) QApplication::processEvents(QEventLoop::AllEvents, 20);

  QProcess cli;
  cli.start(QStringLiteral(ZORV_DECODE_PATH), {"-q", "-l", "tone", "--per-channel", "--fallback",
                                               "mean", "-o", Path("reference.wav"), master});
  ASSERT_TRUE(cli.waitForFinished(120000));
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  EXPECT_EQ(ReadFile(Dir.File("master_dec.wav")), ReadFile(Dir.File("reference.wav")));
}

}  // namespace
}  // namespace zorv::test
