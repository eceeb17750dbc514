// SPDX-License-Identifier: GPL-3.0-or-later
// The window from the keyboard, through the real event loop: the way Tab
// takes, the reference level by keys and typed, menus and shortcuts, Enter,
// Space and Esc on a run, and the level's text in the user's locale.
#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "app/desktop/listen_panel.h"
#include "tests/desktop/window_fixture.h"

namespace zorv::test {
namespace {

const TWavFormat kStereo16{};

class WindowKeyboard : public WindowTest {
 protected:
  WindowKeyboard() { Activate(); }

  void Activate() {
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  }
  // Keys go where the focus is, as the window system would send them.
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target != nullptr ? target : Form.get(), key, modifiers);
  }
  QString LevelText() const { return Form->RefLabel->text(); }
};

TEST_F(WindowKeyboard, TabGoesInputOutputLevelMeasureStart) {
  MakeReady(WriteWav("in.wav", kStereo16, kBlock44), Path("out.wav"));
  Form->InputFileButton->setFocus();
  // Then the listening controls (Play is disabled without an audio output).
  const QWidget* expected[] = {Form->OutPutFileButton, Form->LevelBar,
                               Form->RefLabel,         Form->MeasureButton,
                               Form->StartButton,      Form->Listen->PlayTimeEdit,
                               Form->Listen->ABButton, Form->InputFileButton};
  for (const QWidget* next : expected) {
    Key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), next)
        << (QApplication::focusWidget() ? Std(QApplication::focusWidget()->objectName()) : "none");
  }
}

TEST_F(WindowKeyboard, LevelAnswersArrowsPagesHomeAndEnd) {
  Form->LevelBar->setFocus();
  ASSERT_TRUE(Form->LevelBar->hasFocus());
  const struct {
    Qt::Key Key;
    int Position;
    const char* Text;
  } steps[] = {
      {Qt::Key_Right, -99, "-9.9 dB"},  {Qt::Key_Left, -100, "-10.0 dB"},
      {Qt::Key_Up, -99, "-9.9 dB"},     {Qt::Key_Down, -100, "-10.0 dB"},
      {Qt::Key_PageUp, -90, "-9.0 dB"}, {Qt::Key_PageDown, -100, "-10.0 dB"},
      {Qt::Key_Home, -300, "-30.0 dB"}, {Qt::Key_Left, -300, "-30.0 dB"},
      {Qt::Key_End, 0, "0.0 dB"},       {Qt::Key_Right, 0, "0.0 dB"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.Text);
    Key(step.Key);
    EXPECT_EQ(Form->LevelBar->value(), step.Position);
    EXPECT_EQ(Std(LevelText()), step.Text) << "the value beside the bar in step";
    EXPECT_DOUBLE_EQ(Form->LevelDb(), step.Position / 10.0);
  }
}

TEST_F(WindowKeyboard, TypedLevelCountsOnceCompleteAndMovesTheBar) {
  Form->RefLabel->setFocus();
  QLineEdit* field = Form->RefLabel;
  ASSERT_NE(field, nullptr);
  field->selectAll();
  QTest::keyClicks(field, QStringLiteral("-12.5"));
  EXPECT_EQ(Form->LevelBar->value(), -100) << "a half-typed value reached the decoder";
  Key(Qt::Key_Return);
  EXPECT_EQ(Form->LevelBar->value(), -125);
  EXPECT_EQ(Std(LevelText()), "-12.5 dB");
  EXPECT_DOUBLE_EQ(Form->LevelDb(), -125 / 10.0);

  // Arrows and pages in the field: 0.1 dB and 1 dB.
  Key(Qt::Key_Up);
  EXPECT_EQ(Form->LevelBar->value(), -124);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(Form->LevelBar->value(), -134);

  // Leaving the field completes a value too.
  field->selectAll();
  QTest::keyClicks(field, QStringLiteral("-3"));
  Key(Qt::Key_Tab);
  EXPECT_EQ(Form->LevelBar->value(), -30);
  EXPECT_FALSE(Form->RefLabel->hasFocus());
}

TEST_F(WindowKeyboard, LevelTextIsInTheUsersLocaleFromTheStart) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  Form = std::make_unique<TForm1>(Dialogs);
  Form->show();
  Activate();
  EXPECT_EQ(Std(LevelText()), "-10,0 dB");
  Form->LevelBar->setValue(-125);
  EXPECT_EQ(Std(LevelText()), "-12,5 dB");
  Form->LevelBar->setValue(-1);
  EXPECT_EQ(Std(LevelText()), "-0,1 dB");

  QLineEdit* field = Form->RefLabel;
  Form->RefLabel->setFocus();
  field->selectAll();
  QTest::keyClicks(field, QStringLiteral("-7,3"));
  Key(Qt::Key_Enter);
  EXPECT_EQ(Form->LevelBar->value(), -73);
  QLocale::setDefault(saved);
}

TEST_F(WindowKeyboard, MenusAndShortcuts) {
  const QString input = WriteWav("in.wav", kStereo16, kBlock44);
  const QString output = Path("out.wav");

  // Alt+F opens the File menu, Alt+H the Help menu.
  for (const auto& [key, name] : {std::pair{Qt::Key_F, "File1"}, std::pair{Qt::Key_H, "Help1"}}) {
    SCOPED_TRACE(name);
    Key(key, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
    EXPECT_EQ(Std(QApplication::activePopupWidget()->objectName()), name);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QTest::keyClick(Form->menuBar(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
    Activate();
  }

  // Ctrl+O the input, Ctrl+S the output.
  Dialogs.InputAnswers.push_back(input);
  Key(Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(Form->InputFileName(), input);
  Dialogs.OutputAnswers.push_back(output);
  Key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(Form->OutputFileName(), output);
  EXPECT_TRUE(Form->StartButton->isEnabled());

  // Ctrl+Q ends the program.
  Key(Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(Form->isVisible());
}

TEST_F(WindowKeyboard, EnterAndSpaceStartEscAborts) {
  const QString input = WriteWav("in.wav", kStereo16, 5 * kBlock44);
  const QString output = Path("out.wav");
  MakeReady(input, output);

  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
    SCOPED_TRACE(key);
    // An aborted run leaves its output under the partial name: nothing to ask.
    Form->StartButton->setFocus();
    // Esc after the run's first block, with the focus elsewhere.
    AfterBlock(0, [this] {
      EXPECT_EQ(Std(Form->StartButton->text()), "Abort");
      Form->LevelBar->setFocus();
      Key(Qt::Key_Escape);
    });
    Key(key);
    WaitForRun();
    EXPECT_EQ(Std(Form->DoneLabel->text()), Aborted("out"));
    EXPECT_EQ(Std(Form->StartButton->text()), "Start");
  }
  EXPECT_TRUE(Dialogs.Questions.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(output));
  // Esc outside a run does nothing.
  Key(Qt::Key_Escape);
  EXPECT_TRUE(Form->isVisible());
  EXPECT_EQ(Std(Form->DoneLabel->text()), Aborted("out"));
}

// Trial runs from the keyboard: Start keeps the focus through a run, also
// through one aborted from it, so Enter begins the next.
TEST_F(WindowKeyboard, StartKeepsTheFocusForTheNextTrialRun) {
  MakeReady(WriteWav("in.wav", kStereo16, 5 * kBlock44), Path("out.wav"));
  Form->StartButton->setFocus();
  Key(Qt::Key_Return);
  WaitForRun();
  ASSERT_EQ(Std(Form->DoneLabel->text()), "Done");
  EXPECT_EQ(QApplication::focusWidget(), Form->StartButton);

  Dialogs.OverwriteAnswers.push_back(true);
  AfterBlock(0, [this] { Key(Qt::Key_Space); });  // Abort
  Key(Qt::Key_Return);
  WaitForRun();
  EXPECT_EQ(Dialogs.Questions.size(), 1) << "the last run's output was asked about";
  ASSERT_EQ(Std(Form->DoneLabel->text()), Aborted("out"));
  EXPECT_EQ(QApplication::focusWidget(), Form->StartButton);

  // Where the focus went elsewhere during the run, it stays there.
  Dialogs.OverwriteAnswers.push_back(true);
  AfterBlock(0, [this] { Form->LevelBar->setFocus(); });
  Key(Qt::Key_Return);
  WaitForRun();
  ASSERT_EQ(Std(Form->DoneLabel->text()), "Done");
  EXPECT_EQ(QApplication::focusWidget(), Form->LevelBar);
}

}  // namespace
}  // namespace zorv::test
