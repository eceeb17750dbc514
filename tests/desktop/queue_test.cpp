// SPDX-License-Identifier: GPL-3.0-or-later
// Several inputs at once: the queue is reviewed first (a level per file, set,
// measured from its tone or the main one), then decodes each into its
// proposed output, asks per file about the outputs that exist, lists each
// result, and can be aborted; against zorv-decode and separate decodes.
#include <QApplication>
#include <QDeadlineTimer>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>

#include "tests/app/tone_material.h"
#include "tests/desktop/window_fixture.h"
#include "widgets/gain_history_plot.h"

namespace zorv::test {
namespace {

const TWavFormat kStereo16{};
const TWavFormat kMono24{1, 1, 48000, 24};

class WindowQueue : public WindowTest {
 protected:
  // The file dialog answered with several files.
  void ChooseInputs(const QStringList& paths) {
    Dialogs.InputListAnswers.push_back(paths);
    ASSERT_TRUE(Form->InputFileButton->isEnabled());
    Form->InputFileButton->click();
  }
  void PressStartQueue() {
    ASSERT_TRUE(Form->QueueStartButton->isEnabled());
    Form->QueueStartButton->click();
  }
  // The event loop until the queue has ended.
  void WaitForQueue() {
    QDeadlineTimer deadline(60000);
    while (Form->QueueRunning() && !deadline.hasExpired()) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_FALSE(Form->QueueRunning()) << "the queue did not end";
  }
  // The texts of a row of the Queue tab: file, format, duration, level,
  // output, state.
  QStringList Row(int row) const {
    QStringList texts;
    for (int column = 0; column < Form->QueueTable->columnCount(); ++column) {
      const QTableWidgetItem* item = Form->QueueTable->item(row, column);
      texts << (item != nullptr ? item->text() : Form->QueueLevelBox(row)->text());
    }
    return texts;
  }
  QString State(int row) const { return Row(row).back(); }
  bool RowIsRed(int row) const {
    return Form->QueueTable->item(row, 0)->foreground().color() == QColor(Qt::red);
  }
  // 2 s of leader, a tone in both channels at toneDbfs, programme.
  QString WriteTape(const std::string& name, double toneDbfs) {
    const auto l = TChannelBuilder(44100, 5).Silence(2.0).Tone(1000, toneDbfs, 3.0).Music(1.5);
    const auto r = TChannelBuilder(44100, 6).Silence(2.0).Tone(1000, toneDbfs, 3.0).Music(1.5);
    return WriteBytes(name, ToneFile({1, 2, 44100, 16}, l.Samples, &r.Samples));
  }
  // What the window decoded, against zorv-decode at level.
  void ExpectAsCommandLine(const QString& input, const std::string& output, const char* level) {
    SCOPED_TRACE(output);
    const QString reference = Path("cli.wav");
    QProcess cli;
    cli.start(QStringLiteral(ZORV_DECODE_PATH),
              {"-q", "-f", "-l", QLatin1String(level), "-o", reference, input});
    ASSERT_TRUE(cli.waitForFinished(120000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const TBytes expected = ReadFile(Std(reference));
    ASSERT_GT(expected.size(), 44U);
    EXPECT_EQ(ReadFile(Dir.File(output)), expected);
  }
  // What the window decoded, against a run of its own on the same input.
  void ExpectDecodedAlone(const std::string& input, const std::string& output) {
    const TBytes decoded = ReadFile(Dir.File(output));
    EXPECT_EQ(decoded, DirectDecode(Dir.File(input), Dir.File("alone.wav"))) << output;
  }
};

// Five files reviewed, then run: a level measured from a's tone, b's output
// there already and kept, c no WAV file, d a level typed in (which a move of
// the main level during its decode does not change), e the main level. Each
// output is zorv-decode's at that file's level.
TEST_F(WindowQueue, ReviewedFilesAreDecodedEachAtItsLevel) {
  const QString a = WriteTape("a.wav", -17.4);
  const QString b = WriteWav("b.wav", kStereo16, 6 * kBlock44);
  const TBytes earlier(10, 'o');
  WriteBytes("b_dec.wav", earlier);
  const QString c = WriteBytes("c.wav", TBytes(200, 'x'));
  const QString d = WriteWav("d.wav", kMono24, 3 * 4800 + 77);
  const QString e = WriteWav("e.wav", kStereo16, 5 * kBlock44 + 17);

  ChooseInputs({a, b, c, d, e});
  // Nothing is decoded or asked yet: the rows wait for review.
  EXPECT_FALSE(Form->QueueRunning());
  EXPECT_TRUE(Dialogs.Questions.isEmpty());
  EXPECT_EQ(Form->LowerTabs->currentWidget(), Form->QueuePage);
  ASSERT_EQ(Form->QueueTable->rowCount(), 5);
  EXPECT_EQ(Row(0), (QStringList{"a.wav", "44100 Hz, 2 ch, 16 bit", "0:00:07", "main", "a_dec.wav",
                                 "waiting"}));
  EXPECT_EQ(Row(3), (QStringList{"d.wav", "48000 Hz, 1 ch, 24 bit", "0:00:00", "main", "d_dec.wav",
                                 "waiting"}));
  EXPECT_EQ(Std(State(2)), "No RIFF File: " + Std(c)) << "refused at once, and why";
  EXPECT_TRUE(RowIsRed(2));
  EXPECT_FALSE(RowIsRed(0));
  EXPECT_FALSE(QFileInfo::exists(Path("a_dec.wav")));
  EXPECT_TRUE(Form->StartButton->text() == QStringLiteral("Start"));

  // a measured on its row, d typed, the main level moved for e.
  EXPECT_FALSE(Form->QueueMeasureButton->isEnabled()) << "no row selected";
  Form->QueueTable->selectRow(0);
  ASSERT_TRUE(Form->QueueMeasureButton->isEnabled());
  Form->QueueMeasureButton->click();
  EXPECT_EQ(Std(Form->QueueLevelBox(0)->text()), "-17.4 dB");
  EXPECT_TRUE(State(0).contains(QStringLiteral("reference level -17.4 dB"))) << Std(State(0));
  EXPECT_EQ(Form->Queue().Rows()[0].LevelFrom, TRowLevel::Measured);
  Form->QueueLevelBox(3)->setValue(-7.5);
  EXPECT_EQ(Form->Queue().Rows()[3].LevelFrom, TRowLevel::Set);
  Form->LevelBar->setValue(-140);
  // The main level moved while d is decoded reaches neither d nor, being
  // moved back, e.
  std::function<void()> duringD = [&] {
    if (Form->InputFileName() != d) {
      AfterBlock(0, duringD);
      return;
    }
    Form->LevelBar->setValue(-250);
    AfterBlock(1, [&] { Form->LevelBar->setValue(-140); });
  };
  // The first pause is a's: its status names it.
  QString statusDuringA;
  AfterBlock(0, [&] {
    statusDuringA = Form->DoneLabel->text();
    duringD();
  });

  Dialogs.ReplaceAnswers.push_back(TReplaceChoice::Skip);
  PressStartQueue();
  EXPECT_EQ(Dialogs.Questions, QStringList{QStringLiteral("OK to overwrite b_dec.wav ?")});
  EXPECT_TRUE(Form->QueueRunning());
  EXPECT_FALSE(Form->QueueStartButton->isEnabled());
  EXPECT_FALSE(Form->QueueLevelBox(4)->isEnabled()) << "the levels stay as they were";
  EXPECT_EQ(Std(Form->StartButton->text()), "Abort");
  WaitForQueue();

  EXPECT_EQ(Std(statusDuringA), "Working (file 1 of 5: a.wav)");
  EXPECT_TRUE(State(0).startsWith(QStringLiteral("Done, elapsed time: "))) << Std(State(0));
  EXPECT_EQ(Std(State(1)), "Skipped: b_dec.wav exists and was kept");
  EXPECT_FALSE(RowIsRed(1));
  EXPECT_EQ(Std(State(2)), "No RIFF File: " + Std(c));
  EXPECT_TRUE(State(3).startsWith(QStringLiteral("Done, "))) << Std(State(3));
  EXPECT_TRUE(State(4).startsWith(QStringLiteral("Done, "))) << Std(State(4));
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Queue: 3 of 5 files decoded");
  EXPECT_TRUE(IsRed(Form->DoneLabel)) << "a file was refused";
  EXPECT_EQ(Std(Form->LowerTabs->tabText(Form->LowerTabs->indexOf(Form->GainPlot))),
            "Band gains: e.wav")
      << "the plot names the file it shows";

  EXPECT_EQ(ReadFile(Dir.File("b_dec.wav")), earlier) << "the skipped output is untouched";
  EXPECT_FALSE(QFileInfo::exists(Path("c_dec.wav")));
  ExpectAsCommandLine(a, "a_dec.wav", "-17.4");
  ExpectAsCommandLine(d, "d_dec.wav", "-7.5");
  ExpectAsCommandLine(e, "e_dec.wav", "-14.0");
  EXPECT_EQ(Form->LevelDb(), -14.0) << "the main level is the user's, not a row's";

  // Afterwards the last file is ready for another run, as after one of its own.
  EXPECT_EQ(Form->InputFileName(), e);
  EXPECT_EQ(Form->OutputFileName(), Path("e_dec.wav"));
  EXPECT_TRUE(Form->StartButton->isEnabled());
  EXPECT_EQ(Std(Form->StartButton->text()), "Start");
  EXPECT_TRUE(Form->InputFileButton->isEnabled());
  EXPECT_FALSE(Form->QueueStartButton->isEnabled()) << "nothing waits";
}

// The outputs that exist are asked about one by one: Skip keeps that file's
// output and the rest of the queue (a Cancel once dropped every file),
// Replace All answers for the files after it.
TEST_F(WindowQueue, SkipOneOutputKeepsTheRestReplaceAllAnswersTheOthers) {
  const QStringList inputs = {WriteWav("p.wav", kStereo16, 3000),
                              WriteWav("q.wav", kStereo16, 3000),
                              WriteWav("r.wav", kStereo16, 3000), WriteWav("s.wav", kMono24, 3000)};
  for (const char* name : {"p_dec.wav", "r_dec.wav", "s_dec.wav"}) {
    WriteBytes(name, TBytes(5, 'o'));
  }
  ChooseInputs(inputs);
  Dialogs.ReplaceAnswers = {TReplaceChoice::Skip, TReplaceChoice::ReplaceAll};
  PressStartQueue();
  EXPECT_EQ(Dialogs.Questions, QStringList({QStringLiteral("OK to overwrite p_dec.wav ? [all]"),
                                            QStringLiteral("OK to overwrite r_dec.wav ? [all]")}));
  WaitForQueue();

  EXPECT_EQ(ReadFile(Dir.File("p_dec.wav")), TBytes(5, 'o'));
  EXPECT_EQ(Std(State(0)), "Skipped: p_dec.wav exists and was kept");
  ExpectDecodedAlone("q.wav", "q_dec.wav");
  ExpectDecodedAlone("r.wav", "r_dec.wav");
  ExpectDecodedAlone("s.wav", "s_dec.wav");
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Queue: 3 of 4 files decoded");
  EXPECT_FALSE(IsRed(Form->DoneLabel));
}

// Abort during the second file: it keeps what was decoded as a valid file,
// the first stays decoded, the third is never begun.
TEST_F(WindowQueue, AbortedMidwayEndsTheQueue) {
  constexpr std::uint32_t kFrames = 30 * kBlock44;
  const QStringList inputs = {WriteWav("one.wav", kStereo16, kFrames),
                              WriteWav("two.wav", kStereo16, kFrames),
                              WriteWav("three.wav", kStereo16, kFrames)};
  // Esc after the tenth block of the second file.
  QString statusDuringSecond;
  std::function<void()> atBlock10 = [&] {
    if (Form->InputFileName() != inputs[1]) {
      AfterBlock(10, atBlock10);
      return;
    }
    statusDuringSecond = Form->DoneLabel->text();
    QTest::keyClick(Form.get(), Qt::Key_Escape);
  };
  AfterBlock(10, atBlock10);
  ChooseInputs(inputs);
  PressStartQueue();
  WaitForQueue();

  EXPECT_EQ(Std(statusDuringSecond), "Working (file 2 of 3: two.wav)");
  EXPECT_TRUE(State(0).startsWith(QStringLiteral("Done, "))) << Std(State(0));
  EXPECT_TRUE(State(1).startsWith(QString::fromStdString(Aborted("two_dec") + ", ")))
      << Std(State(1));
  EXPECT_EQ(Std(State(2)), "Not decoded: the queue was aborted");
  for (int row = 0; row < 3; ++row) EXPECT_FALSE(RowIsRed(row)) << row;
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Queue aborted: 1 of 3 files decoded");
  EXPECT_FALSE(IsRed(Form->DoneLabel));

  ExpectDecodedAlone("one.wav", "one_dec.wav");
  EXPECT_FALSE(QFileInfo::exists(Path("two_dec.wav"))) << "nothing under the final name";
  const std::optional<TWavImage> part = ParseCanonical(ReadFile(Dir.File("two_dec.partial.wav")));
  ASSERT_TRUE(part.has_value()) << "the aborted file is a valid WAV file";
  EXPECT_EQ(part->Data.size(), 11U * kBlock44 * 4U);
  EXPECT_EQ(part->DataSize, part->Data.size());
  EXPECT_FALSE(QFileInfo::exists(Path("three_dec.wav")));
  EXPECT_EQ(Form->InputFileName(), inputs[1]);
  EXPECT_EQ(Std(Form->StartButton->text()), "Start");
}

// Dropped together: a file and an earlier decode of it. The decode is not
// decoded again but replaced by the new one (after the question).
TEST_F(WindowQueue, DroppedFilesAreQueuedAnEarlierOutputAmongThemIsSkipped) {
  const QString input = WriteWav("take.wav", kStereo16, 5000);
  const QString earlier = WriteBytes("take_dec.wav", TBytes(44, 'e'));
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(earlier), QUrl::fromLocalFile(input)});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Form.get(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Form.get(), &dropped);
  ASSERT_EQ(Form->QueueTable->rowCount(), 2);
  EXPECT_EQ(Std(State(0)), "Skipped: take_dec.wav is the output of take.wav");
  Dialogs.ReplaceAnswers.push_back(TReplaceChoice::Replace);
  PressStartQueue();
  EXPECT_EQ(Dialogs.Questions, QStringList{QStringLiteral("OK to overwrite take_dec.wav ?")});
  WaitForQueue();

  EXPECT_FALSE(RowIsRed(0));
  EXPECT_TRUE(State(1).startsWith(QStringLiteral("Done, "))) << Std(State(1));
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Queue: 1 of 2 files decoded");
  EXPECT_FALSE(IsRed(Form->DoneLabel));
  EXPECT_FALSE(QFileInfo::exists(Path("take_dec_dec.wav")));
  ExpectDecodedAlone("take.wav", "take_dec.wav");
}

// FLAC files chosen with WAV files: each decoded into its own type, the FLAC
// one into the command line's FLAC file.
TEST_F(WindowQueue, AFlacInputAmongWavInputsIsDecodedIntoAFlacFile) {
  const QString wav = WriteWav("take.wav", kStereo16, 5000);
  const QString flacInput = PackFlac(wav, "tape.flac");
  ChooseInputs({wav, flacInput});
  ASSERT_EQ(Form->QueueTable->rowCount(), 2);
  EXPECT_EQ(Std(Row(1)[4]), "tape_dec.flac");
  PressStartQueue();
  WaitForQueue();
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Queue: 2 of 2 files decoded");

  QProcess cli;
  cli.start(QStringLiteral(ZORV_DECODE_PATH), {"-q", "-o", Path("cli.flac"), flacInput});
  ASSERT_TRUE(cli.waitForFinished(60000));
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  EXPECT_EQ(ReadFile(Std(Path("tape_dec.flac"))), ReadFile(Std(Path("cli.flac"))));
  ExpectDecodedAlone("take.wav", "take_dec.wav");
}

// "Continue from the previous file's end": the rows of one queue run are the
// parts of one tape, cut anywhere, and decode as zorv-decode --continue
// does over the same files. A row of another format begins fresh and says
// so; the first row of a later queue run, and a run of its own, never go on
// from a run before it.
TEST_F(WindowQueue, ContinuedRowsAreTheCommandLinesContinueAndOnlyThey) {
  const TWavFormat stereo{1, 2, 44100, 16};
  const TBytes tape = SignalBytes(stereo, 40000, 4);
  const auto part = [&](const std::string& name, std::uint32_t from, std::uint32_t to) {
    return WriteBytes(name,
                      WavBytes(stereo, TBytes(tape.begin() + from * 4, tape.begin() + to * 4)));
  };
  const QString p1 = part("p1.wav", 0, 13001), p2 = part("p2.wav", 13001, 27777);
  const QString p3 = part("p3.wav", 27777, 40000);
  // The same parts again, under other names, for the second queue run.
  const QString q2 = part("q2.wav", 13001, 27777), q3 = part("q3.wav", 27777, 40000);
  const QString other = WriteWav("other.wav", {1, 2, 48000, 16}, 6000);
  const auto cli = [](const QStringList& args) {
    QProcess run;
    run.start(QStringLiteral(ZORV_DECODE_PATH), QStringList{"-q", "-f", "-l", "-12.0"} + args);
    ASSERT_TRUE(run.waitForFinished(120000));
    ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
  };
  cli({"-d", Path("cli"), "--continue", p1, p2, p3});
  cli({"-d", Path("alone"), p2, other});
  cli({"-d", Path("from2"), "--continue", p2, p3});

  Form->LevelBar->setValue(-120);
  Form->ContinueFromPrevious1->setChecked(true);
  ChooseInputs({p1, p2, p3, other});
  PressStartQueue();
  WaitForQueue();
  for (const char* name : {"p1_dec.wav", "p2_dec.wav", "p3_dec.wav"}) {
    EXPECT_EQ(ReadFile(Dir.File(name)), ReadFile(Dir.File(std::string("cli/") + name))) << name;
  }
  EXPECT_FALSE(State(0).contains(QStringLiteral("continued"))) << Std(State(0));
  EXPECT_TRUE(State(1).endsWith(QStringLiteral("; continued from ") + p1)) << Std(State(1));
  EXPECT_TRUE(State(2).endsWith(QStringLiteral("; continued from ") + p2)) << Std(State(2));
  EXPECT_TRUE(State(3).endsWith(
      QStringLiteral("; started fresh, not continued: 48000 Hz, 2 channels, 16-bit integer after "
                     "44100 Hz, 2 channels, 16-bit integer (") +
      p3 + QStringLiteral(")")))
      << Std(State(3));
  EXPECT_EQ(ReadFile(Dir.File("other_dec.wav")), ReadFile(Dir.File("alone/other_dec.wav")));

  // A second queue run: its first row begins fresh (not where other.wav or
  // p3.wav ended), its second goes on from it.
  ChooseInputs({q2, q3});
  PressStartQueue();
  WaitForQueue();
  EXPECT_EQ(ReadFile(Dir.File("q2_dec.wav")), ReadFile(Dir.File("alone/p2_dec.wav")));
  EXPECT_EQ(ReadFile(Dir.File("q3_dec.wav")), ReadFile(Dir.File("from2/p3_dec.wav")));
  EXPECT_FALSE(State(0).contains(QStringLiteral("continued"))) << Std(State(0));
  EXPECT_TRUE(State(1).endsWith(QStringLiteral("; continued from ") + q2)) << Std(State(1));

  // A run of its own begins fresh too.
  MakeReady(p2, Path("own.wav"));
  PressStart();
  EXPECT_EQ(ReadFile(Dir.File("own.wav")), ReadFile(Dir.File("alone/p2_dec.wav")));
}

// A row after one that was not decoded (no WAV file, or skipped) is refused,
// as zorv-decode --continue refuses it: where it begins is unknown.
TEST_F(WindowQueue, ARowAfterOneNotDecodedIsNotContinued) {
  const QString a = WriteWav("a.wav", kStereo16, 3000);
  const QString junk = WriteBytes("junk.wav", TBytes(100, 'x'));
  const QString b = WriteWav("b.wav", kStereo16, 3000);
  Form->ContinueFromPrevious1->setChecked(true);
  ChooseInputs({a, junk, b});
  PressStartQueue();
  WaitForQueue();
  EXPECT_TRUE(RowIsRed(2));
  EXPECT_TRUE(State(2).contains(QStringLiteral("not continued: a part before it (") + junk +
                                QStringLiteral(") was refused")))
      << Std(State(2));
  EXPECT_FALSE(QFileInfo::exists(Path("b_dec.wav")));
}

}  // namespace
}  // namespace zorv::test
