// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/record_panel.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstring>

#include "app/channel_levels.h"
#include "app/desktop/text_conversion.h"
#include "app/desktop/time_text.h"

namespace zorv {
namespace {

QString Line(const char* name, const QString& value) {
  return QStringLiteral("%1 %2\n").arg(QLatin1String(name), -18).arg(value);
}

// One channel's levels from each frame on, a change only where it moved.
std::vector<TLevelChange> ChannelHistory(const std::vector<TLevelChange>& levels, std::size_t c) {
  std::vector<TLevelChange> own;
  for (const TLevelChange& change : levels) {
    if (c >= change.LevelsDb.size()) continue;
    if (own.empty() || own.back().LevelsDb.front() != change.LevelsDb[c]) {
      own.push_back({change.Frame, {change.LevelsDb[c]}});
    }
  }
  return own;
}

}  // namespace

QString RunRecordText(const TRunRecord& record, const TRunResult& result) {
  QString text = Line("Result:", record.Status);
  text += Line("Input:", record.Input);
  if (result.Kept && result.Partial) {
    text += Line("Output:", record.Output + QStringLiteral(" (not written: the run stopped)"));
    text += Line("Decoded part in:", FromLocal(*result.Kept));
  } else if (result.Kept) {
    text += Line("Output:", FromLocal(*result.Kept));
  } else {
    text += Line("Output:", record.Output + QStringLiteral(" (nothing kept)"));
  }
  const double seconds =
      result.SampleRate == 0 ? 0.0 : static_cast<double>(result.Frames) / result.SampleRate;
  text += Line("Decoded:", QStringLiteral("%1 (%2 frames, %3 Hz, %4 channels)")
                               .arg(HoursText(DurationSeconds(result.Frames, result.SampleRate)))
                               .arg(result.Frames)
                               .arg(result.SampleRate)
                               .arg(result.Channels));
  // Each channel's level and its changes, channel by channel.
  for (std::size_t c = 0; c < result.Channels; ++c) {
    const std::vector<TLevelChange> own = ChannelHistory(result.Levels, c);
    if (own.empty()) break;
    text +=
        Line(c == 0 ? "Reference level:" : "", QStringLiteral("channel %1: ").arg(c + 1) +
                                                   Text(LevelHistoryText(own, result.SampleRate)));
  }
  text += Line("Peak:",
               result.Stats.Peak > 0.0
                   ? QStringLiteral("%1 dBFS").arg(20.0 * std::log10(result.Stats.Peak), 0, 'f', 2)
                   : QStringLiteral("silence"));
  text += Line("Clipped samples:", QString::number(result.Stats.Clipped));
  text += Line("Output MD5:", result.Md5 ? Text(*result.Md5) : QStringLiteral("none"));
  if (!result.InputMd5.empty()) text += Line("Input MD5:", Text(result.InputMd5));
  text +=
      Line("Bands at limits:", record.Limits.isEmpty() ? QStringLiteral("none") : record.Limits);
  for (const auto* list : {&result.Warnings, &result.OutputWarnings}) {
    for (const TRunWarning& warning : *list) text += Line("Warning:", Text(warning.Message));
  }
  text += Line("Arithmetic:", Text(PathName(result.Arithmetic)));
  const double speed = result.ElapsedMs > 0 ? seconds * 1000.0 / result.ElapsedMs : 0.0;
  text +=
      Line("Time taken:",
           QStringLiteral("%1 ms (%2 x real time)").arg(result.ElapsedMs).arg(speed, 0, 'f', 1));
  return text;
}

TRecordPanel::TRecordPanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("RecordPanel"));
  RecordText = new QPlainTextEdit(this);
  RecordText->setObjectName(QStringLiteral("RecordText"));
  RecordText->setReadOnly(true);
  RecordText->setLineWrapMode(QPlainTextEdit::NoWrap);
  RecordText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  CopyButton = new QPushButton(QStringLiteral("Cop&y"), this);
  CopyButton->setObjectName(QStringLiteral("RecordCopyButton"));
  CopyButton->setToolTip(QStringLiteral(
      "Put the record on the clipboard as one JSON line, as zorv-decode --report writes it"));
  CopyButton->setEnabled(false);
  connect(CopyButton, &QPushButton::clicked, this,
          [this] { QGuiApplication::clipboard()->setText(JsonLine_); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(CopyButton);
  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(4, 4, 4, 4);
  page->addWidget(RecordText, 1);
  page->addLayout(buttons);
}

void TRecordPanel::Show(const QString& text, const QString& jsonLine) {
  RecordText->setPlainText(text);
  JsonLine_ = jsonLine;
  CopyButton->setEnabled(!jsonLine.isEmpty());
}

QString TRecordPanel::Text() const {
  return RecordText->toPlainText();
}

}  // namespace zorv
