// SPDX-License-Identifier: GPL-3.0-or-later
// The choice of the pair of channels that the eight meters show, for inputs
// of more than two channels (tape machines with 8, 16 or 24 tracks).
#include <QComboBox>
#include <QLabel>

#include "app/desktop/main_window.h"
#include "widgets/al_progress_bar.h"
#include "widgets/gain_history_plot.h"

namespace zorv {

void TForm1::CreateChannelPairBox() {
  ChannelPairBox = new QComboBox(this);
  ChannelPairBox->setObjectName(QStringLiteral("ChannelPairBox"));
  ChannelPairBox->setToolTip(QStringLiteral("Channels shown by the meters"));
  ChannelPairBox->hide();
  connect(ChannelPairBox, &QComboBox::currentIndexChanged, this, &TForm1::ChannelPairBoxChange);
}

void TForm1::ShowChannelPairs(std::uint32_t channels) {
  InputChannels_ = channels;
  {
    const QSignalBlocker quiet(ChannelPairBox);
    ChannelPairBox->clear();
    for (std::uint32_t first = 1; first <= channels; first += 2) {
      ChannelPairBox->addItem(first < channels
                                  ? QStringLiteral("Channels %1-%2").arg(first).arg(first + 1)
                                  : QStringLiteral("Channel %1").arg(first));
    }
    ChannelPairBox->setCurrentIndex(channels > 0 ? 0 : -1);
  }
  ChannelPairBox->setVisible(channels > 2);
  ShownPair_ = 0;
  GainPlot->SetFirstChannel(0);
  UpdateMeterCaptions();
  // Without an input the meters show no level at all.
  for (int band = 0; band < 4; ++band) {
    Meter(0, band)->SetShowPosText(channels > 0);
    Meter(1, band)->SetShowPosText(ShowsSecondChannel() && channels > 0);
  }
}

bool TForm1::ShowsSecondChannel() const {
  const std::uint32_t channels = InputChannels_ != 0 ? InputChannels_ : Input_.Channels();
  return static_cast<std::uint32_t>(2 * ShownPair_ + 1) < channels;
}

void TForm1::ChannelPairBoxChange(int index) {
  if (index < 0) return;
  ShownPair_ = index;
  GainPlot->SetFirstChannel(2 * index);
  UpdateMeterCaptions();
  // The chosen channels at once, as they stood after the latest block.
  const bool second = ShowsSecondChannel();
  for (int column = 0; column < 2; ++column) {
    const int channel = 2 * ShownPair_ + column;
    for (int band = 0; band < 4; ++band) {
      MeterPending_[column][band] = false;
      TALProgressBar* meter = Meter(column, band);
      meter->SetPosition(column == 0 || second ? LatestMeter_[channel][band] : kMeterMin);
      if (column == 1) meter->SetShowPosText(second);
    }
  }
}

void TForm1::UpdateMeterCaptions() {
  if (InputChannels_ <= 2) {
    MeterCaptions_[0]->setText(QStringLiteral("Gain (dB) Ch 1 (left)"));
    MeterCaptions_[1]->setText(QStringLiteral("Gain (dB) Ch 2 (right)"));
    return;
  }
  const int first = 2 * ShownPair_ + 1;
  MeterCaptions_[0]->setText(QStringLiteral("Gain (dB) Ch %1").arg(first));
  MeterCaptions_[1]->setText(ShowsSecondChannel() ? QStringLiteral("Gain (dB) Ch %1").arg(first + 1)
                                                  : QString());
}

}  // namespace zorv
