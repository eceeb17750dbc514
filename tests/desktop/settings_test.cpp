// SPDX-License-Identifier: GPL-3.0-or-later
// What the window remembers between sessions (in the test program's own
// settings scope): the level, the folders, its size and place, the File
// menu's options, and the last inputs under File > Recent.
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QScrollBar>
#include <QSettings>
#include <functional>

#include "app/desktop/window_settings.h"
#include "tests/desktop/window_fixture.h"

namespace zorv::test {

namespace {

const TWavFormat kStereo16{};

class WindowSettings : public WindowTest {
 protected:
  // The window closed as the user closes it, and a new one opened;
  // meanwhile is done in between.
  void Restart(const std::function<void()>& meanwhile = {}) {
    ASSERT_TRUE(Form->close());
    Form.reset();
    if (meanwhile) meanwhile();
    Form = std::make_unique<TForm1>(Dialogs);
    Form->show();
  }
  // File > Recent's inputs, as their tooltips name them.
  QStringList RecentInputs() const {
    QStringList paths;
    for (const QAction* item : Form->Recent1->actions()) {
      if (item->objectName().startsWith(QStringLiteral("RecentInput"))) paths << item->toolTip();
    }
    return paths;
  }
};

TEST_F(WindowSettings, SurviveARestartOfTheWindow) {
  EXPECT_EQ(Form->LevelBar->value(), -100) << "nothing remembered yet";
  EXPECT_FALSE(Form->Recent1->isEnabled());
  const QString input = WriteWav("tape.wav", kStereo16, 2000);
  ASSERT_TRUE(QDir().mkpath(Path("decoded")));
  Form->LevelBar->setValue(-143);
  ChooseInput(input);
  ChooseOutput(Path("decoded/mine.wav"));
  Form->CanonicalHeader1->setChecked(true);
  Form->ContinueFromPrevious1->setChecked(true);
  Form->resize(720, 760);
  Form->move(40, 30);
  QApplication::processEvents();
  const QSize size = Form->size();
  const QPoint place = Form->pos();

  Restart();
  EXPECT_EQ(Form->LevelBar->value(), -143);
  EXPECT_EQ(Std(Form->RefLabel->text()), "-14.3 dB");
  // Said to be the last one used, until the user sets one.
  EXPECT_EQ(Std(Form->MeasureLabel->text()),
            "The reference level -14.3 dB is the one last used: measure it or set the one of this "
            "tape.");
  Form->LevelBar->setValue(-142);
  EXPECT_TRUE(Form->MeasureLabel->text().isEmpty());
  Form->LevelBar->setValue(-143);
  EXPECT_TRUE(Form->CanonicalHeader1->isChecked());
  // Not remembered: a queue of one tape's parts is chosen anew, never
  // carried on from another session's runs.
  EXPECT_FALSE(Form->ContinueFromPrevious1->isChecked());
  EXPECT_EQ(Form->size(), size);
  EXPECT_EQ(Form->pos(), place);
  EXPECT_EQ(RecentInputs(), QStringList{input});

  // The input dialog starts in the last input's folder, the output dialog
  // in the last output's.
  Dialogs.InputAnswers.push_back(QString());
  Form->InputFileButton->click();
  EXPECT_EQ(Dialogs.InputProposals.back(), Path("input.wav"));
  // File > Recent opens the input again.
  Form->Recent1->actions().front()->trigger();
  QApplication::processEvents();
  EXPECT_EQ(Form->InputFileName(), input);
  EXPECT_TRUE(Form->InputReader().IsOpen());
  ChooseOutput(std::nullopt);
  EXPECT_EQ(Dialogs.OutputProposals.back(), Path("decoded/tape_dec.wav"));
}

// The last ten inputs, the latest first, each once; a refused file is not
// among them. A level in the settings that is no level is not taken, and
// Clear the List empties the menu for good.
TEST_F(WindowSettings, RecentHoldsTheLastTenInputsLatestFirst) {
  QStringList opened;
  for (int i = 0; i < 12; ++i) {
    opened << WriteWav(QStringLiteral("f%1.wav").arg(i).toStdString(), kStereo16, 500);
    ChooseInput(opened.back());
  }
  ChooseInput(opened[5]);
  ChooseInput(WriteBytes("bad.wav", TBytes(100, 'x')));
  const QStringList expected = {opened[5], opened[11], opened[10], opened[9], opened[8],
                                opened[7], opened[6],  opened[4],  opened[3], opened[2]};
  EXPECT_EQ(RecentInputs(), expected);
  const QList<QAction*> items = Form->Recent1->actions();
  EXPECT_EQ(Std(items[0]->text()), "&1 f5.wav");
  EXPECT_EQ(Std(items[9]->text()), "1&0 f2.wav");

  Restart([] { QSettings().setValue(QStringLiteral("level"), QStringLiteral("loud")); });
  EXPECT_EQ(Form->LevelBar->value(), -100);
  EXPECT_EQ(RecentInputs(), expected);
  Restart([] { QSettings().setValue(QStringLiteral("level"), 6.0); });
  EXPECT_EQ(Form->LevelBar->value(), -100) << "above the range";

  Form->findChild<QAction*>(QStringLiteral("ClearRecent1"))->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(RecentInputs().isEmpty());
  EXPECT_FALSE(Form->Recent1->isEnabled());
  Restart();
  EXPECT_TRUE(RecentInputs().isEmpty());
}

// Two inputs of one name in two folders are told apart by their folders;
// the others are named by their file names alone.
TEST(RecentLabels, NameAsManyFoldersAsItTakes) {
  EXPECT_EQ(
      RecentLabels({"/a/reel1/side_A.wav", "/a/reel2/side_A.wav", "/a/reel2/side_B.wav",
                    "/b/reel1/side_A.wav"}),
      QStringList({"a/reel1/side_A.wav", "reel2/side_A.wav", "side_B.wav", "b/reel1/side_A.wav"}));
  EXPECT_EQ(RecentLabels({"/x.wav", "/y/x.wav"}), QStringList({"x.wav", "y/x.wav"}));
}

}  // namespace
}  // namespace zorv::test
