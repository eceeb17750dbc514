// SPDX-License-Identifier: GPL-3.0-or-later
// The record of a finished run: what the Record tab says, checked against
// the output file itself and the run's result, and the same text on the
// clipboard after Copy.
#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <cmath>

#include "tests/desktop/window_fixture.h"

namespace zorv::test {
namespace {

// The record's value after name ("Peak:").
QString Field(const QString& record, const QString& name) {
  for (const QString& line : record.split(QLatin1Char('\n'))) {
    if (line.startsWith(name)) return line.mid(name.size()).trimmed();
  }
  return {};
}

using WindowRecord = WindowTest;

TEST_F(WindowRecord, AFinishedRunShowsItsRecordAndCopiesIt) {
  // Six tracks with levels of their own, one of them moved during the run.
  const TWavFormat format{1, 6, 48000, 24};
  const QString input = WriteWav("master.wav", format, 48000 * 2);
  MakeReady(input, Path("master_dec.wav"));
  Form->LevelBar->setValue(-120);
  AfterBlock(4, [this] { Form->LevelBar->setValue(-90); });
  PressStart();
  ASSERT_TRUE(Form->LastResult().has_value());
  const TRunResult& result = *Form->LastResult();
  ASSERT_EQ(result.Status, TRunStatus::Done);

  EXPECT_EQ(Form->LowerTabs->currentWidget(), Form->RecordPanel) << "shown at the end";
  const QString record = Form->RecordPanel->Text();
  EXPECT_EQ(Field(record, QStringLiteral("Result:")), Form->DoneLabel->text());
  EXPECT_EQ(Field(record, QStringLiteral("Input:")), input);
  EXPECT_EQ(Field(record, QStringLiteral("Output:")), Path("master_dec.wav"));
  // The MD5 of the output's data, as the file holds it.
  const auto image = ParseCanonical(ReadFile(Dir.File("master_dec.wav")));
  ASSERT_TRUE(image.has_value());
  const QByteArray data(reinterpret_cast<const char*>(image->Data.data()),
                        static_cast<qsizetype>(image->Data.size()));
  EXPECT_EQ(Field(record, QStringLiteral("Output MD5:")),
            QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex()));
  // Every channel's level and its change at the block after the fifth.
  const std::uint64_t changed = 5 * 4800;
  for (int c = 1; c <= 6; ++c) {
    EXPECT_TRUE(
        record.contains(QStringLiteral("channel %1: -12.0 dB; -9.0 dB from 0:00:00.5").arg(c)))
        << c << "\n"
        << Std(record);
  }
  EXPECT_EQ(result.Levels.back().Frame, changed);
  EXPECT_EQ(Field(record, QStringLiteral("Peak:")),
            QStringLiteral("%1 dBFS").arg(20.0 * std::log10(result.Stats.Peak), 0, 'f', 2));
  EXPECT_EQ(Field(record, QStringLiteral("Clipped samples:")),
            QString::number(result.Stats.Clipped));
  EXPECT_TRUE(Field(record, QStringLiteral("Time taken:"))
                  .startsWith(QString::number(result.ElapsedMs) + QStringLiteral(" ms")));
  // The status names the channels' levels of a multitrack tape.
  EXPECT_TRUE(Form->DoneLabel->text().startsWith(
      QStringLiteral("Done (reference level -12.0 dB; -9.0 dB from 0:00:00.5)")))
      << Std(Form->DoneLabel->text());

  QApplication::clipboard()->clear();
  Form->RecordPanel->CopyButton->click();
  EXPECT_EQ(QApplication::clipboard()->text(), record);
}

}  // namespace
}  // namespace zorv::test
