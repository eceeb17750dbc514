// SPDX-License-Identifier: GPL-3.0-or-later
// The meters of an input with more than two channels: the choice of the pair
// they show, before, during and after a run.
#include <QComboBox>
#include <QLabel>
#include <QTimer>
#include <array>
#include <utility>

#include "tests/desktop/window_fixture.h"
#include "tests/support/recording_meters.h"
#include "widgets/al_progress_bar.h"
#include "widgets/gain_history_plot.h"

namespace zorv::test {
namespace {

using WindowChannelPairs = WindowTest;

using TCaptions = std::pair<std::string, std::string>;

// The captions above the two meter columns.
TCaptions Captions(const TForm1& form) {
  return {Std(form.findChild<QLabel*>(QStringLiteral("MeterCaption1"))->text()),
          Std(form.findChild<QLabel*>(QStringLiteral("MeterCaption2"))->text())};
}

std::vector<std::string> Items(const QComboBox& box) {
  std::vector<std::string> items;
  for (int i = 0; i < box.count(); ++i) items.push_back(Std(box.itemText(i)));
  return items;
}

// The last position of every channel's meters in a direct run of the input,
// from its second block on.
std::vector<std::array<std::int32_t, 4>> LastPositions(const std::string& input,
                                                       const std::string& output,
                                                       std::uint32_t channels) {
  TRecordingMeters meters;
  DirectDecode(input, output, [&](TDecodeRun& run, int block) {
    if (block == 0) run.SetMeterListener(&meters);
  });
  std::vector<std::array<std::int32_t, 4>> last(channels, {-350, -350, -350, -350});
  for (const TMeterUpdate& u : meters.Updates) last[u.channel][u.band] = u.position;
  return last;
}

TEST_F(WindowChannelPairs, OfferedOnlyForMoreThanTwoChannels) {
  ChooseInput(WriteWav("stereo.wav", TWavFormat{1, 2, 48000, 16}, 1000));
  EXPECT_TRUE(Form->ChannelPairBox->isHidden());
  EXPECT_EQ(Captions(*Form), TCaptions("Gain (dB) Ch 1 (left)", "Gain (dB) Ch 2 (right)"));

  ChooseInput(WriteWav("seven.wav", TWavFormat{1, 7, 48000, 24}, 1000));
  EXPECT_FALSE(Form->ChannelPairBox->isHidden());
  EXPECT_EQ(Items(*Form->ChannelPairBox), (std::vector<std::string>{"Channels 1-2", "Channels 3-4",
                                                                    "Channels 5-6", "Channel 7"}));
  EXPECT_EQ(Form->ChannelPairBox->currentIndex(), 0);
  EXPECT_EQ(Captions(*Form), TCaptions("Gain (dB) Ch 1", "Gain (dB) Ch 2"));
  Form->ChannelPairBox->setCurrentIndex(2);
  EXPECT_EQ(Captions(*Form), TCaptions("Gain (dB) Ch 5", "Gain (dB) Ch 6"));
  EXPECT_NE(Std(Form->WavParamsLabel->text()).find("ch = 7"), std::string::npos)
      << Std(Form->WavParamsLabel->text());

  // A refused input takes the choice away again, and the captions of two
  // channels come back.
  ChooseInput(WriteWav("bad.wav", TWavFormat{1, 7, 22050, 16}, 100));
  EXPECT_TRUE(Form->ChannelPairBox->isHidden());
  EXPECT_EQ(Form->ChannelPairBox->count(), 0);
  EXPECT_EQ(Captions(*Form).first, "Gain (dB) Ch 1 (left)");
}

TEST_F(WindowChannelPairs, ThePairChosenDuringARunIsShownAndTheOutputStaysTheSame) {
  constexpr std::uint32_t kChannels = 6;
  const QString input = WriteWav("six.wav", TWavFormat{1, kChannels, 44100, 16}, 10000);
  MakeReady(input, Path("six_dec.wav"));
  // Chosen while the run goes on, after its first block.
  bool chosenDuringTheRun = false;
  AfterBlock(0, [&] {
    chosenDuringTheRun = Form->Busy();
    Form->ChannelPairBox->setCurrentIndex(1);
  });
  PressStart();
  // A multitrack tape's status names its level.
  ASSERT_EQ(Std(Form->DoneLabel->text()), "Done (reference level -10.0 dB)");
  EXPECT_TRUE(chosenDuringTheRun);

  const auto last = LastPositions(Std(input), Dir.File("direct.wav"), kChannels);
  EXPECT_EQ(ReadFile(Dir.File("six_dec.wav")), ReadFile(Dir.File("direct.wav")));
  const auto expectShown = [&](int pair) {
    for (int column = 0; column < 2; ++column) {
      for (int band = 0; band < 4; ++band) {
        EXPECT_EQ(Form->Meter(column, band)->Position(), last[2 * pair + column][band])
            << "pair " << pair << " column " << column << " band " << band;
      }
    }
  };
  expectShown(1);
  // The channels differ, so the pairs show different positions.
  EXPECT_NE(last[2], last[4]);
  // After the run any pair can be looked at.
  Form->ChannelPairBox->setCurrentIndex(2);
  expectShown(2);
  // The band gains plot follows the pair; its history holds every channel.
  EXPECT_EQ(Form->GainPlot->FirstChannel(), 4);
  const TGainHistory* history = Form->GainPlot->History();
  ASSERT_NE(history, nullptr);
  EXPECT_EQ(history->Channels(), kChannels);
  EXPECT_TRUE(history->At(kChannels - 1, 3, 0).has_value());
  Form->ChannelPairBox->setCurrentIndex(0);
  expectShown(0);
  EXPECT_EQ(Form->GainPlot->FirstChannel(), 0);
}

TEST_F(WindowChannelPairs, TheLastChannelOfAnOddCountStandsAlone) {
  const QString input = WriteWav("three.wav", TWavFormat{3, 3, 96000, 32}, 3000);
  MakeReady(input, Path("three_dec.wav"));
  Form->ChannelPairBox->setCurrentIndex(1);
  EXPECT_EQ(Captions(*Form), TCaptions("Gain (dB) Ch 3", ""));
  PressStart();
  for (int band = 0; band < 4; ++band) {
    EXPECT_EQ(Form->Meter(1, band)->Position(), -350);
    EXPECT_FALSE(Form->Meter(1, band)->ShowPosText());
    EXPECT_NE(Form->Meter(0, band)->Position(), -350) << "channel 3 is decoded";
  }
  // Back to channels 1-2: the right column shows channel 2 with its text.
  Form->ChannelPairBox->setCurrentIndex(0);
  for (int band = 0; band < 4; ++band) {
    EXPECT_NE(Form->Meter(1, band)->Position(), -350);
    EXPECT_TRUE(Form->Meter(1, band)->ShowPosText());
  }
}

}  // namespace
}  // namespace zorv::test
