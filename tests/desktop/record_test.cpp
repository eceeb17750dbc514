// SPDX-License-Identifier: GPL-3.0-or-later
// The record of a finished run: what the Record tab says, checked against
// the output file itself and the run's result; Copy puts the JSON line on
// the clipboard that zorv-decode --report writes of the same decode.
#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QProcess>
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

  // Copied as the report's JSON line: every channel's level history.
  QApplication::clipboard()->clear();
  Form->RecordPanel->CopyButton->click();
  const QJsonObject copied =
      QJsonDocument::fromJson(QApplication::clipboard()->text().toUtf8()).object();
  ASSERT_FALSE(copied.isEmpty()) << Std(QApplication::clipboard()->text());
  const QJsonArray levels = copied[QStringLiteral("levels")].toArray();
  ASSERT_EQ(levels.size(), 6);
  for (const QJsonValue channel : levels) {
    ASSERT_EQ(channel.toArray().size(), 2);
    EXPECT_EQ(channel.toArray()[1].toObject()[QStringLiteral("frame")].toInteger(), changed);
    EXPECT_EQ(channel.toArray()[1].toObject()[QStringLiteral("level_db")].toDouble(), -9.0);
  }
  EXPECT_EQ(copied[QStringLiteral("md5")].toString(), Field(record, QStringLiteral("Output MD5:")));
}

// What Copy puts on the clipboard is the line zorv-decode --report writes
// of the same decode: the same fields, with the same values but for the
// names, the times and the tool.
TEST_F(WindowRecord, CopyGivesTheCommandLinesReportLine) {
  struct TCase {
    TWavFormat Format;
    std::uint32_t Frames;
    int Level;  // tenths of a dB
  };
  // A file cut short in a frame (warnings), and a float tape at 0 dB.
  for (const TCase& c : {TCase{{1, 2, 44100, 16}, 44100 * 2 + 17, -120},
                         TCase{{3, 1, 96000, 32}, 96000 * 3 / 2, 0}}) {
    const QString input = WriteWav("tape.wav", c.Format, c.Frames);
    if (c.Frames % 2 == 1) {
      // Cut short by 1001 bytes: shorter than its header says, and ending in
      // a partial frame; both are warnings.
      ASSERT_TRUE(QFile::resize(input, QFileInfo(input).size() - 1001));
    }
    QFile::remove(Path("window.wav"));
    MakeReady(input, Path("window.wav"));
    Form->LevelBar->setValue(c.Level);
    PressStart();
    ASSERT_TRUE(Form->LastResult().has_value());
    QApplication::clipboard()->clear();
    Form->RecordPanel->CopyButton->click();
    const QString text = QApplication::clipboard()->text();
    EXPECT_FALSE(text.contains(QLatin1Char('\n'))) << "one line";
    const QJsonObject window = QJsonDocument::fromJson(text.toUtf8()).object();
    ASSERT_FALSE(window.isEmpty()) << Std(text);

    const bool exact =
        window[QStringLiteral("arithmetic")].toString() == QStringLiteral("extended");
    QFile::remove(Path("cli.wav"));
    QFile::remove(Path("report.jsonl"));
    QProcess cli;
    QStringList args{"-q",
                     "-l",
                     QString::number(c.Level / 10.0, 'f', 1),
                     "-o",
                     Path("cli.wav"),
                     "--report",
                     Path("report.jsonl"),
                     input};
    if (exact) args.prepend(QStringLiteral("--exact"));
    cli.start(QStringLiteral(ZORV_DECODE_PATH), args);
    ASSERT_TRUE(cli.waitForFinished(120000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    QFile report(Path("report.jsonl"));
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QJsonObject line = QJsonDocument::fromJson(report.readLine()).object();
    ASSERT_FALSE(line.isEmpty());

    EXPECT_EQ(window.keys(), line.keys()) << "the same fields";
    for (const QString& key : line.keys()) {
      if (key == QStringLiteral("input") || key == QStringLiteral("output") ||
          key == QStringLiteral("message") || key == QStringLiteral("tool") ||
          key == QStringLiteral("started") || key == QStringLiteral("finished") ||
          key == QStringLiteral("elapsed_ms")) {
        continue;
      }
      EXPECT_EQ(window[key], line[key]) << Std(key) << "\nwindow: " << Std(text);
    }
    EXPECT_EQ(window[QStringLiteral("input")].toString(), input);
    EXPECT_EQ(window[QStringLiteral("output")].toString(), Path("window.wav"));
    EXPECT_TRUE(window[QStringLiteral("tool")].toString().startsWith("zorv-audio-decoder "));
    EXPECT_EQ(window[QStringLiteral("status")].toString(), QStringLiteral("decoded"));
  }
}

}  // namespace
}  // namespace zorv::test
