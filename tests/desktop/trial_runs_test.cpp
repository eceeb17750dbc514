// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one after another: after a run the input stays chosen and the same
// output is proposed again, so that another trial at another level is
// Start and a confirmation.
#include <QFileInfo>
#include <QScrollBar>
#include <QTimer>

#include "tests/desktop/window_fixture.h"
#include "widgets/al_progress_bar.h"

namespace zorv::test {
namespace {

const TWavFormat kStereo16{};

using WindowTrialRuns = WindowTest;

TEST_F(WindowTrialRuns, SecondRunIsStartAndConfirmation) {
  const QString input = WriteWav("in.wav", kStereo16, 3 * kBlock44);
  const QString output = Path("out.wav");
  MakeReady(input, output);
  PressStart();
  ASSERT_EQ(Std(Form->DoneLabel->text()), "Done");
  const TBytes first = ReadFile(Std(output));
  const QString params = Form->WavParamsLabel->text();

  EXPECT_EQ(Form->InputFileLabel->text(), input);
  EXPECT_EQ(Form->OutputFileLabel->text(), output);
  EXPECT_TRUE(Form->InputFileLabel->isEnabled());
  EXPECT_TRUE(Form->OutputFileLabel->isEnabled());
  EXPECT_TRUE(Form->StartButton->isEnabled());
  EXPECT_FALSE(params.isEmpty());
  EXPECT_NE(Form->Meter(0, 1)->Position(), Form->Meter(0, 1)->Min()) << "meters reset";

  // The earlier result is not replaced unasked: Cancel keeps it and runs nothing.
  Form->LevelBar->setValue(-200);
  Dialogs.OverwriteAnswers.push_back(false);
  PressStart();
  EXPECT_EQ(Dialogs.Questions, QStringList{"OK to overwrite out.wav ?"});
  EXPECT_EQ(ReadFile(Std(output)), first);
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Done") << "the last run's status stays";
  EXPECT_TRUE(Form->StartButton->isEnabled());

  // OK: the second trial, at -20 dB, without choosing a file again.
  Dialogs.OverwriteAnswers.push_back(true);
  PressStart();
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Done");
  EXPECT_EQ(Dialogs.InputProposals.size(), 1);
  EXPECT_EQ(Dialogs.OutputProposals.size(), 1);
  const TBytes second = ReadFile(Std(output));
  ASSERT_EQ(second.size(), first.size());
  EXPECT_NE(second, first);
  EXPECT_EQ(Form->WavParamsLabel->text(), params);
  EXPECT_TRUE(Form->StartButton->isEnabled());
}

TEST_F(WindowTrialRuns, AbortedRunProposesTheSameFilesToo) {
  const QString input = WriteWav("in.wav", kStereo16, 5 * kBlock44);
  const QString output = Path("out.wav");
  MakeReady(input, output);
  AfterBlock(0, [this] { Form->StartButton->click(); });
  PressStart();
  ASSERT_EQ(Std(Form->DoneLabel->text()), Aborted("out"));
  EXPECT_TRUE(Form->StartButton->isEnabled());
  // What was decoded is under the partial name: nothing to ask about.
  PressStart();
  EXPECT_TRUE(Dialogs.Questions.isEmpty());
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Done");
  EXPECT_EQ(ReadFile(Std(output)).size(), 44u + 5 * kBlock44 * 4);
}

TEST_F(WindowTrialRuns, InputThatChangedSinceTheRunIsCheckedAgain) {
  const QString input = WriteWav("in.wav", kStereo16, kBlock44);
  MakeReady(input, Path("out.wav"));
  // Replaced while the run goes on (the run holds its own handle on it).
  AfterBlock(0, [this] { WriteWav("in.wav", {1, 2, 22050, 16}, kBlock44); });
  PressStart();
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Done");
  EXPECT_EQ(Std(Form->InputFileLabel->text()), "Not supported sampling rate: " + Std(input));
  EXPECT_TRUE(IsRed(Form->InputFileLabel));
  EXPECT_FALSE(Form->StartButton->isEnabled());
  EXPECT_FALSE(Form->OutPutFileButton->isEnabled());
  EXPECT_FALSE(Form->InputReader().IsOpen());
}

}  // namespace
}  // namespace zorv::test
