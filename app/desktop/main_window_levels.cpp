// SPDX-License-Identifier: GPL-3.0-or-later
// The levels per channel of an input of more than two channels (the tracks
// of a multitrack tape): a table in a tab of its own, filled by Measure from
// each channel's own reference tone; the scroll bar moves every channel by
// the same amount.
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <algorithm>

#include "app/desktop/main_window.h"
#include "app/desktop/text_conversion.h"

namespace zorv {
namespace {

enum TColumn { kChannelColumn, kLevelColumn, kToneColumn, kColumns };

QString LevelText(int tenths) {
  return QLocale().toString(tenths / 10.0, 'f', 1) + QStringLiteral(" dB");
}

char DecimalPoint() {
  const QString point = QLocale().decimalPoint();
  return point.size() == 1 && point.front().unicode() < 0x80 ? point.front().toLatin1() : '.';
}

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

}  // namespace

void TForm1::CreateChannelLevels() {
  ChannelLevelsButton = new QPushButton(QStringLiteral("Levels per &channel"), this);
  ChannelLevelsButton->setObjectName(QStringLiteral("ChannelLevelsButton"));
  ChannelLevelsButton->setToolTip(
      QStringLiteral("Each channel's reference level (the tracks of a multitrack tape)"));
  ChannelLevelsButton->hide();
  ChannelLevelsTable = new QTableWidget(0, kColumns, this);
  ChannelLevelsTable->setObjectName(QStringLiteral("ChannelLevelsTable"));
  ChannelLevelsTable->setHorizontalHeaderLabels(
      {QStringLiteral("Channel"), QStringLiteral("Level"), QStringLiteral("Measured tone")});
  ChannelLevelsTable->verticalHeader()->hide();
  ChannelLevelsTable->horizontalHeader()->setStretchLastSection(true);
  ChannelLevelsTable->hide();
  connect(ChannelLevelsButton, &QPushButton::clicked, this, [this] {
    if (LowerTabs->indexOf(ChannelLevelsTable) < 0) {
      LowerTabs->addTab(ChannelLevelsTable, QStringLiteral("Levels per channel"));
    }
    LowerTabs->setCurrentWidget(ChannelLevelsTable);
  });
}

void TForm1::ShowChannelLevels(std::uint32_t channels) {
  const bool many = channels > 2;
  ChannelOffsets_.assign(many ? channels : 0, 0);
  ChannelLevelsTable->setRowCount(static_cast<int>(ChannelOffsets_.size()));
  for (int c = 0; c < ChannelLevelsTable->rowCount(); ++c) {
    ChannelLevelsTable->setItem(c, kChannelColumn, Cell(QString::number(c + 1)));
    ChannelLevelsTable->setItem(c, kToneColumn, Cell(QString()));
  }
  UpdateChannelLevels();
  ChannelLevelsButton->setVisible(many);
  const int tab = LowerTabs->indexOf(ChannelLevelsTable);
  if (!many && tab >= 0) LowerTabs->removeTab(tab);
}

void TForm1::FillChannelLevels(const TReferenceTone& found) {
  if (ChannelOffsets_.empty() || found.Channels.size() != ChannelOffsets_.size()) return;
  const std::vector<TLevelSuggestion> own = ChannelSuggestions(found);
  for (std::size_t c = 0; c < own.size(); ++c) {
    const bool suggested = own[c].Verdict == TToneVerdict::Suggested;
    // A channel without a usable tone stays at the scroll bar's level.
    ChannelOffsets_[c] =
        suggested ? static_cast<int>(std::lround(own[c].LevelDb * 10.0)) - LevelBar->value() : 0;
    const std::string tone = DescribeReferenceTone(ChannelsOf(found, c, 1), DecimalPoint());
    ChannelLevelsTable->item(static_cast<int>(c), kToneColumn)->setText(Text(tone));
  }
  UpdateChannelLevels();
}

void TForm1::UpdateChannelLevels() {
  for (std::size_t c = 0; c < ChannelOffsets_.size(); ++c) {
    const int tenths = std::clamp(LevelBar->value() + ChannelOffsets_[c], kLevelMin, kLevelMax);
    ChannelLevelsTable->setItem(static_cast<int>(c), kLevelColumn, Cell(LevelText(tenths)));
  }
}

std::vector<double> TForm1::ChannelLevelsDb() const {
  if (std::all_of(ChannelOffsets_.begin(), ChannelOffsets_.end(),
                  [](int offset) { return offset == 0; })) {
    return {};
  }
  std::vector<double> levels;
  for (const int offset : ChannelOffsets_) {
    levels.push_back(std::clamp(LevelBar->value() + offset, kLevelMin, kLevelMax) / 10.0);
  }
  return levels;
}

}  // namespace zorv
