// SPDX-License-Identifier: GPL-3.0-or-later
// Listening without an audio output (the tests reach no sound server): Play
// is disabled and says why, and the play position is set all the same.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/desktop/audio_preview.h"
#include "app/desktop/listen_panel.h"
#include "tests/desktop/window_fixture.h"
#include "widgets/gain_history_plot.h"

namespace zorv::test {
namespace {

using ListenTest = WindowTest;

TEST_F(ListenTest, WithoutAnOutputPlayIsDisabledAndSaysWhy) {
  TListenPanel& listen = *Form->Listen;
  const QString input = WriteWav("tape.wav", TWavFormat{1, 2, 44100, 16}, 10 * 44100);
  ChooseInput(input);
  QTest::qWait(300);  // the panel looks at the input between its ticks
  EXPECT_FALSE(listen.PlayButton->isEnabled());
  EXPECT_TRUE(listen.PlayButton->toolTip().contains(QStringLiteral("No audio output device")))
      << Std(listen.PlayButton->toolTip());
  EXPECT_EQ(Std(listen.PlayFor(44100)), Std(listen.PlayButton->toolTip()));
  EXPECT_FALSE(listen.Playing());
  // Space on the plot does nothing either.
  Form->GainPlot->setFocus();
  QTest::keyClick(Form->GainPlot, Qt::Key_Space);
  EXPECT_FALSE(listen.Playing());

  // The play position from the plot: a click halfway along the time axis...
  const QRect area = Form->GainPlot->rect();
  int middle = area.left();
  while (middle < area.right() && Form->GainPlot->ShareAt(middle) < 0.5) ++middle;
  QTest::mouseClick(Form->GainPlot, Qt::LeftButton, {}, QPoint(middle, area.center().y()));
  EXPECT_NEAR(static_cast<double>(listen.PlayFrame()), 5.0 * 44100, 44100 * 0.1);
  double shown = 0.0;
  ASSERT_TRUE(TListenPanel::ParsePlayTime(listen.PlayTimeEdit->text(), shown));
  EXPECT_NEAR(shown, static_cast<double>(listen.PlayFrame()) / 44100, 0.1);
  EXPECT_GE(Form->GainPlot->Cursor(), 0.49);
  // ... and from the time field (a comma as decimal mark too); a time past
  // the end, or what is not a time, is refused in red and changes nothing.
  const auto type = [&](const char* text) {
    listen.PlayTimeEdit->setFocus();
    listen.PlayTimeEdit->selectAll();
    QTest::keyClicks(listen.PlayTimeEdit, QString::fromLatin1(text));
    QTest::keyClick(listen.PlayTimeEdit, Qt::Key_Return);
  };
  type("0:03,5");
  EXPECT_EQ(listen.PlayFrame(), 3 * 44100 + 22050u);
  EXPECT_FALSE(listen.PlayTimeEdit->Refusing());
  EXPECT_EQ(Std(listen.PlayTimeEdit->text()), "0:03.5");
  for (const char* refused : {"12:00", "soon", "-1"}) {
    SCOPED_TRACE(refused);
    type(refused);
    EXPECT_EQ(listen.PlayFrame(), 3 * 44100 + 22050u);
    EXPECT_TRUE(listen.PlayTimeEdit->Refusing());
    EXPECT_EQ(Std(listen.PlayTimeEdit->text()), refused) << "what was typed stays to be mended";
    EXPECT_TRUE(listen.ListenLabel->text().contains(QStringLiteral("0:03.5")))
        << Std(listen.ListenLabel->text());
  }
  EXPECT_TRUE(listen.ListenLabel->text().contains(QStringLiteral("not a time")));
  // Esc puts the position back in the field.
  QTest::keyClick(listen.PlayTimeEdit, Qt::Key_Escape);
  EXPECT_EQ(Std(listen.PlayTimeEdit->text()), "0:03.5");
  EXPECT_FALSE(listen.PlayTimeEdit->Refusing());

  // A/B by key B, and the window still decodes.
  QTest::keyClick(Form.get(), Qt::Key_B);
  EXPECT_TRUE(listen.ABButton->isChecked());
  EXPECT_TRUE(listen.Preview().Engine().ListensToInput());
  ChooseOutput(Path("out.wav"));
  PressStart();
  EXPECT_EQ(Std(Form->DoneLabel->text()).substr(0, 4), "Done") << Std(Form->DoneLabel->text());
}

TEST(PlayTimeText, ReadsWhatItWrites) {
  EXPECT_EQ(Std(TListenPanel::PlayTimeText(0.0)), "0:00.0");
  EXPECT_EQ(Std(TListenPanel::PlayTimeText(3725.46)), "62:05.4");
  double seconds = -1.0;
  for (const char* text : {"1:02.5", "62.5", "0:01:02.5", " 1:02.5 "}) {
    ASSERT_TRUE(TListenPanel::ParsePlayTime(QString::fromLatin1(text), seconds)) << text;
    EXPECT_DOUBLE_EQ(seconds, 62.5) << text;
  }
  for (const char* text : {"", "1:60", "1.5:00", "-3", "1:2:3:4", "nan", "inf"}) {
    EXPECT_FALSE(TListenPanel::ParsePlayTime(QString::fromLatin1(text), seconds)) << text;
  }
}

}  // namespace
}  // namespace zorv::test
