// SPDX-License-Identifier: GPL-3.0-or-later
// Several inputs at once: the queue decodes each into its proposed output,
// asks once about the outputs that exist, lists each result, and can be
// aborted; against separate decodes of the same files.
#include <QApplication>
#include <QDeadlineTimer>
#include <QDropEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QMimeData>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>

#include "tests/desktop/window_fixture.h"

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
  // The event loop until the queue has ended.
  void WaitForQueue() {
    QDeadlineTimer deadline(60000);
    while (Form->QueueRunning() && !deadline.hasExpired()) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_FALSE(Form->QueueRunning()) << "the queue did not end";
  }
  QStringList Lines() const {
    QStringList lines;
    for (int i = 0; i < Form->QueueList->count(); ++i) lines << Form->QueueList->item(i)->text();
    return lines;
  }
  bool LineIsRed(int row) const {
    return Form->QueueList->item(row)->foreground().color() == QColor(Qt::red);
  }
  // What the window decoded, against a run of its own on the same input.
  void ExpectDecodedAlone(const std::string& input, const std::string& output) {
    const TBytes decoded = ReadFile(Dir.File(output));
    EXPECT_EQ(decoded, DirectDecode(Dir.File(input), Dir.File("alone.wav"))) << output;
  }
};

// Three files, the middle one no WAV file, the last one's output there
// already: one question, every result listed, the refusal in red, the others
// decoded as on their own.
TEST_F(WindowQueue, ThreeFilesOneRefusedEachResultListed) {
  const QString a = WriteWav("a.wav", kStereo16, 12 * kBlock44);
  const QString b = WriteBytes("b.wav", TBytes(200, 'x'));
  const QString c = WriteWav("c.wav", kMono24, 7000);
  WriteBytes("c_dec.wav", TBytes(10, 'o'));

  Dialogs.OverwriteAnswers.push_back(true);
  ChooseInputs({a, b, c});
  ASSERT_EQ(Dialogs.Questions, QStringList{QStringLiteral("OK to overwrite c_dec.wav ?")});
  EXPECT_TRUE(Form->QueueRunning());
  EXPECT_EQ(Form->LowerTabs->currentWidget(), Form->QueueList) << "the queue is shown";
  EXPECT_EQ(Lines(), QStringList({QStringLiteral("1. a.wav \u2192 a_dec.wav: waiting"),
                                  QStringLiteral("2. b.wav \u2192 b_dec.wav: waiting"),
                                  QStringLiteral("3. c.wav \u2192 c_dec.wav: waiting")}));
  EXPECT_EQ(Std(Form->StartButton->text()), "Abort");
  EXPECT_FALSE(Form->InputFileButton->isEnabled());
  EXPECT_FALSE(Form->Open1->isEnabled());
  EXPECT_FALSE(Form->MeasureButton->isEnabled());
  WaitForQueue();

  const QStringList lines = Lines();
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(
      lines[0].startsWith(QStringLiteral("1. a.wav \u2192 a_dec.wav: Done, elapsed time: ")))
      << Std(lines[0]);
  EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" msec, 0:00:01 decoded"))) << Std(lines[0]);
  EXPECT_EQ(Std(lines[1]), "2. b.wav \u2192 b_dec.wav: No RIFF File: " + Std(b));
  EXPECT_TRUE(lines[2].startsWith(QStringLiteral("3. c.wav \u2192 c_dec.wav: Done, ")))
      << Std(lines[2]);
  EXPECT_FALSE(LineIsRed(0));
  EXPECT_TRUE(LineIsRed(1));
  EXPECT_FALSE(LineIsRed(2));
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Queue: 2 of 3 files decoded");
  EXPECT_EQ(Std(Form->TimeLabel->text()), "") << "each file's times are in its line";
  EXPECT_TRUE(IsRed(Form->DoneLabel)) << "a file was not decoded";

  EXPECT_FALSE(QFileInfo::exists(Path("b_dec.wav")));
  ExpectDecodedAlone("a.wav", "a_dec.wav");
  ExpectDecodedAlone("c.wav", "c_dec.wav");

  // Afterwards the last file is ready for another run, as after one of its own.
  EXPECT_EQ(Form->InputFileName(), c);
  EXPECT_EQ(Form->OutputFileName(), Path("c_dec.wav"));
  EXPECT_TRUE(Form->StartButton->isEnabled());
  EXPECT_EQ(Std(Form->StartButton->text()), "Start");
  EXPECT_TRUE(Form->InputFileButton->isEnabled());
  EXPECT_EQ(Form->GainHistory().Channels(), 1U) << "the plot shows the last decode";
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
  WaitForQueue();

  EXPECT_TRUE(statusDuringSecond.endsWith(QStringLiteral(" (file 2 of 3)")))
      << Std(statusDuringSecond);
  const QStringList lines = Lines();
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].contains(QStringLiteral(": Done, "))) << Std(lines[0]);
  EXPECT_TRUE(lines[1].startsWith(QStringLiteral("2. two.wav \u2192 two_dec.wav: aborted, ")))
      << Std(lines[1]);
  EXPECT_EQ(Std(lines[2]), "3. three.wav \u2192 three_dec.wav: Not decoded: the queue was aborted");
  for (int row = 0; row < 3; ++row) EXPECT_FALSE(LineIsRed(row)) << row;
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

// Outputs that exist are asked about together; Cancel decodes nothing and
// leaves the window as it was.
TEST_F(WindowQueue, OneQuestionForAllExistingOutputsCancelChangesNothing) {
  const QStringList inputs = {WriteWav("p.wav", kStereo16, 3000),
                              WriteWav("q.wav", kStereo16, 3000),
                              WriteWav("r.wav", kStereo16, 3000)};
  WriteBytes("p_dec.wav", TBytes(5, 'p'));
  WriteBytes("r_dec.wav", TBytes(5, 'r'));
  MakeReady(WriteWav("in.wav", kStereo16, 3000), Path("out.wav"));
  const TEnabling before = Enabling(*Form);

  Dialogs.OverwriteAnswers.push_back(false);
  ChooseInputs(inputs);
  EXPECT_EQ(Dialogs.Questions,
            QStringList{QStringLiteral("OK to overwrite 2 existing output files: p_dec.wav, "
                                       "r_dec.wav ?")});
  EXPECT_FALSE(Form->QueueRunning());
  QApplication::processEvents();
  EXPECT_EQ(ReadFile(Dir.File("p_dec.wav")), TBytes(5, 'p'));
  EXPECT_FALSE(QFileInfo::exists(Path("q_dec.wav")));
  EXPECT_EQ(Form->InputFileName(), Path("in.wav"));
  EXPECT_EQ(Form->OutputFileName(), Path("out.wav"));
  EXPECT_EQ(Enabling(*Form), before);
  EXPECT_EQ(Form->LowerTabs->indexOf(Form->QueueList), -1) << "no queue, no queue tab";
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
  Dialogs.OverwriteAnswers.push_back(true);
  QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Form.get(), &dropped);
  EXPECT_EQ(Dialogs.Questions, QStringList{QStringLiteral("OK to overwrite take_dec.wav ?")});
  WaitForQueue();

  const QStringList lines = Lines();
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(Std(lines[0]),
            "1. take_dec.wav \u2192 take_dec_dec.wav: Skipped: take_dec.wav is the output of "
            "take.wav");
  EXPECT_FALSE(LineIsRed(0));
  EXPECT_TRUE(lines[1].contains(QStringLiteral(": Done, "))) << Std(lines[1]);
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Queue: 1 of 2 files decoded");
  EXPECT_FALSE(IsRed(Form->DoneLabel));
  EXPECT_FALSE(QFileInfo::exists(Path("take_dec_dec.wav")));
  ExpectDecodedAlone("take.wav", "take_dec.wav");
}

}  // namespace
}  // namespace zorv::test
