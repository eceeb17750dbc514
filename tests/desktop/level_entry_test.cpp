// SPDX-License-Identifier: GPL-3.0-or-later
// A typed level or listening time is applied exactly as typed, or not at
// all: the field turns red and says why, and what is applied is always
// what the window shows.
#include <QScrollBar>
#include <QTest>

#include "tests/desktop/window_fixture.h"

namespace zorv::test {
namespace {

TEST(LevelEntry, ReadsWhatTheDecoderTakesAndSaysWhyNot) {
  const struct {
    const char* Typed;
    int Tenths;           // when taken
    const char* Refusal;  // a part of the reason when not
  } cases[] = {
      {"-12.5", -125, nullptr},
      {"-12,5", -125, nullptr},
      {" -12.50 dB ", -125, nullptr},
      {"\u2212"
       "7,3",
       -73, nullptr},
      {"0", 0, nullptr},
      {"-0.0", 0, nullptr},
      {"-30", -300, nullptr},
      {"-.5", -5, nullptr},
      {"-35", 0, "outside"},
      {"+3", 0, "outside"},
      {"-30.05", 0, "outside"},
      {"0.04", 0, "outside"},
      {"-12.55", 0, "steps of 0.1 dB"},
      {"abc", 0, "not a level"},
      {"", 0, "not a level"},
      {"-1e1", 0, "not a level"},
      {"--3", 0, "not a level"},
      {"1,2,3", 0, "not a level"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Typed);
    int tenths = 999;
    const QString refusal = ReadLevelEntry(QString::fromUtf8(c.Typed), -300, 0, tenths);
    if (c.Refusal == nullptr) {
      EXPECT_TRUE(refusal.isEmpty()) << Std(refusal);
      EXPECT_EQ(tenths, c.Tenths);
    } else {
      EXPECT_TRUE(refusal.contains(QLatin1String(c.Refusal))) << Std(refusal);
      EXPECT_TRUE(refusal.contains(QStringLiteral("-30.0 to 0.0 dB"))) << "the range is said";
      EXPECT_EQ(tenths, 999) << "nothing taken";
    }
  }
}

using WindowLevelEntry = WindowTest;

// The entries of an archivist's session typed key by key: each one either
// moves the level to exactly the value the field then shows, or leaves the
// level as it was with the field red and the reason under the level.
TEST_F(WindowLevelEntry, AppliedIsShownOrNothingIsApplied) {
  TEntryField* field = Form->RefLabel;
  const struct {
    const char* Typed;
    int Applied;  // tenths; 0 with Shown null: refused
    const char* Shown;
  } entries[] = {
      {"-35", -100, nullptr},      {"-12,5", -125, "-12.5 dB"}, {"+3", -125, nullptr},
      {"abc", -125, nullptr},      {"-30.05", -125, nullptr},   {"-30", -300, "-30.0 dB"},
      {"-7.3 dB", -73, "-7.3 dB"},
  };
  for (const auto& e : entries) {
    SCOPED_TRACE(e.Typed);
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QString::fromLatin1(e.Typed));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(Form->LevelBar->value(), e.Applied);
    EXPECT_DOUBLE_EQ(Form->LevelDb(), e.Applied / 10.0);
    if (e.Shown != nullptr) {
      EXPECT_EQ(Std(field->text()), e.Shown) << "the value applied is the one shown";
      EXPECT_FALSE(field->Refusing());
      EXPECT_FALSE(IsRed(Form->MeasureLabel));
    } else {
      EXPECT_TRUE(field->Refusing());
      EXPECT_EQ(Std(field->text()), e.Typed) << "the entry stays to be mended";
      EXPECT_EQ(field->palette().color(QPalette::Text), QColor(Qt::red).darker(130));
      const QString note = Form->MeasureLabel->text();
      EXPECT_TRUE(IsRed(Form->MeasureLabel));
      EXPECT_TRUE(note.contains(QStringLiteral("-30.0 to 0.0 dB"))) << Std(note);
      EXPECT_TRUE(note.contains(QStringLiteral("the level stays ") +
                                QString::number(e.Applied / 10.0, 'f', 1) + QStringLiteral(" dB")))
          << Std(note);
    }
  }
  // Esc in the field puts the level applied back; the red goes.
  field->selectAll();
  QTest::keyClicks(field, QStringLiteral("-99"));
  QTest::keyClick(field, Qt::Key_Return);
  ASSERT_TRUE(field->Refusing());
  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_EQ(Std(field->text()), "-7.3 dB");
  EXPECT_FALSE(field->Refusing());
  EXPECT_TRUE(Form->MeasureLabel->text().isEmpty());
  // A decode runs at the level applied.
  MakeReady(WriteWav("in.wav", TWavFormat{}, kBlock44), Path("out.wav"));
  PressStart();
  ASSERT_TRUE(Form->LastResult().has_value());
  ASSERT_FALSE(Form->LastResult()->Levels.empty());
  EXPECT_DOUBLE_EQ(Form->LastResult()->Levels.front().LevelsDb.front(), -7.3);
}

}  // namespace
}  // namespace zorv::test
