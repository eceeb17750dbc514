// SPDX-License-Identifier: GPL-3.0-or-later
// The reference level measured from the input's tone, and the gain plot of
// a run: what the user sees, when the controls are there, the saved picture.
#include <QApplication>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QLocale>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "tests/app/tone_material.h"
#include "tests/desktop/window_fixture.h"
#include "widgets/al_progress_bar.h"
#include "widgets/gain_history_picture.h"
#include "widgets/gain_history_plot.h"

namespace zorv::test {
namespace {

class WindowMeasure : public WindowTest {
 protected:
  // 2 s of leader, a tone in both channels, programme.
  QString WriteTape(const std::string& name, double left, double right, double toneSeconds = 3.0) {
    const auto l = TChannelBuilder(44100, 5).Silence(2.0).Tone(1000, left, toneSeconds).Music(1.5);
    const auto r = TChannelBuilder(44100, 6).Silence(2.0).Tone(1000, right, toneSeconds).Music(1.5);
    return WriteBytes(name, ToneFile({1, 2, 44100, 16}, l.Samples, &r.Samples));
  }
};

TEST_F(WindowMeasure, SetsTheLevelToTheTonesAndSaysWhatItFound) {
  EXPECT_FALSE(Form->MeasureButton->isEnabled()) << "no input yet";
  ChooseInput(WriteTape("tape.wav", -17.4, -17.4));
  ASSERT_TRUE(Form->MeasureButton->isEnabled());
  Form->MeasureButton->click();
  EXPECT_EQ(Form->LevelBar->value(), -174);
  EXPECT_EQ(Std(Form->RefLabel->text()), "-17.4 dB");
  EXPECT_DOUBLE_EQ(Form->LevelDb(), -174 / 10.0);
  EXPECT_EQ(Std(Form->MeasureLabel->text()),
            "Reference tone 1000 Hz at -17.4 dBFS (0:02.0-0:05.0); reference level -17.4 dB; "
            "levels -30.0 .. -6.0 dB keep every band inside its range; the tone's level "
            "-17.4 dB lies inside it");
  EXPECT_FALSE(IsRed(Form->MeasureLabel));
  // The input is still ready to decode from its start.
  ChooseOutput(Path("out.wav"));
  PressStart();
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Done");
  EXPECT_EQ(ReadFile(Dir.File("out.wav")).size(), ReadFile(Dir.File("tape.wav")).size());

  // Channels apart: their mean, and the difference said.
  ChooseInput(WriteTape("apart.wav", -12.0, -13.0));
  EXPECT_TRUE(Form->MeasureLabel->text().isEmpty()) << "another input, no finding yet";
  Form->MeasureButton->click();
  EXPECT_EQ(Form->LevelBar->value(), -125);
  EXPECT_TRUE(Form->MeasureLabel->text().contains(QStringLiteral(
      "reference level -12.5 dB (the mean of the channels, which differ by 1.0 dB); levels ")))
      << Std(Form->MeasureLabel->text());
}

TEST_F(WindowMeasure, WithoutAUsableToneTheLevelStaysAndTheReasonIsRed) {
  const struct {
    const char* name;
    double left, right, seconds;
    const char* text;
  } cases[] = {
      {"brief.wav", -12.0, -12.0, 1.0,
       "No steady tone (one frequency, level steady within 0.5 dB, at least 2 s) in "
       "0:00.0-0:04.5; no reference level suggested; levels -30.0 .. -6.0 dB keep every band "
       "inside its range"},
      {"faint.wav", -34.0, -34.0, 3.0,
       "Reference tone 1000 Hz at -34.0 dBFS (0:02.0-0:05.0); no reference level suggested: "
       "-34.0 dB is outside -30.0 .. 0.0 dB; levels -30.0 .. -6.0 dB keep every band inside "
       "its range; the tone's level -34.0 dB lies outside it"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ChooseInput(WriteTape(c.name, c.left, c.right, c.seconds));
    Form->LevelBar->setValue(-77);
    Form->MeasureButton->click();
    EXPECT_EQ(Form->LevelBar->value(), -77);
    EXPECT_EQ(Std(Form->MeasureLabel->text()), c.text);
    EXPECT_TRUE(IsRed(Form->MeasureLabel));
  }
}

// The file cut shorter while Measure reads it (in either of its passes): the
// reason in red, the level as it was; never a finding from part of the file.
TEST_F(WindowMeasure, AReadThatFailsIsSaidInRed) {
  const auto samples = TChannelBuilder(44100, 7).Silence(2.0).Tone(1000, -12.0, 3.0).Music(25.0);
  const std::string tape =
      Std(WriteBytes("tape.wav", ToneFile({1, 1, 44100, 16}, samples.Samples)));
  ChooseInput(QString::fromStdString(tape));
  Form->LevelBar->setValue(-77);
  // Cut as soon as Measure holds the file open beside the window's own reader.
  std::atomic<bool> cut{false};
  std::jthread cutter([&](std::stop_token stop) {
    namespace fs = std::filesystem;
    while (!stop.stop_requested()) {
      int open = 0;
      std::error_code error;
      for (const auto& fd : fs::directory_iterator("/proc/self/fd", error)) {
        open += fs::read_symlink(fd.path(), error) == fs::path(tape) ? 1 : 0;
      }
      if (open >= 2) {
        fs::resize_file(tape, 100000);
        cut = true;
        return;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  Form->MeasureButton->click();
  cutter.request_stop();
  cutter.join();
  ASSERT_TRUE(cut);
  EXPECT_EQ(Std(Form->MeasureLabel->text()),
            "Cannot read (the input file became shorter during the decode): " + tape);
  EXPECT_TRUE(IsRed(Form->MeasureLabel));
  EXPECT_EQ(Form->LevelBar->value(), -77);
}

TEST_F(WindowMeasure, SpeaksTheUsersLocale) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  ChooseInput(WriteTape("tape.wav", -9.6, -9.6));
  Form->MeasureButton->click();
  EXPECT_EQ(Std(Form->MeasureLabel->text()),
            "Reference tone 1000 Hz at -9,6 dBFS (0:02,0-0:05,0); reference level -9,6 dB; "
            "levels -29,9 .. -6,0 dB keep every band inside its range; the tone's level "
            "-9,6 dB lies inside it");
  QLocale::setDefault(saved);
}

TEST_F(WindowMeasure, NotDuringARunNorForARefusedInput) {
  MakeReady(WriteTape("tape.wav", -12.0, -12.0), Path("out.wav"));
  bool enabledDuringRun = true;
  AfterBlock(0, [&] {
    enabledDuringRun = Form->MeasureButton->isEnabled();
    Form->MeasureButtonClick();  // as a shortcut would
  });
  PressStart();
  EXPECT_FALSE(enabledDuringRun);
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Done");
  EXPECT_TRUE(Form->MeasureLabel->text().isEmpty()) << "nothing was measured during the run";
  EXPECT_EQ(Form->LevelBar->value(), TForm1::kLevelStart);
  EXPECT_TRUE(Form->MeasureButton->isEnabled()) << "the input is ready again after the run";

  ChooseInput(WriteBytes("text.wav", TBytes(64, 'x')));
  EXPECT_FALSE(Form->MeasureButton->isEnabled());
}

// A tone 25 dB over the reference holds band B at its ceiling: the final
// status says for how long, and the plot's history marks the stretch.
TEST_F(WindowMeasure, TheStatusNamesTheBandsAtTheirLimits) {
  MakeReady(WriteTape("tape.wav", -5.0, -5.0), Path("out.wav"));
  Form->LevelBar->setValue(-300);
  PressStart();
  const std::string status = Std(Form->DoneLabel->text());
  EXPECT_EQ(status.rfind("Done; bands at their limits: ", 0), 0u) << status;
  EXPECT_NE(status.find("B1 ceiling 3.0 s"), std::string::npos) << status;
  EXPECT_NE(status.find("B2 ceiling 3.0 s"), std::string::npos) << status;
  EXPECT_NEAR(Form->LimitCounts().CeilingSeconds(0, 1), 3.0, 0.05);
  bool marked = false;
  for (std::size_t column = 0; column < Form->GainHistory().Columns(); ++column) {
    const auto span = Form->GainHistory().At(0, 1, column);
    marked = marked || (span && span->CeilingPoints > 0);
  }
  EXPECT_TRUE(marked);

  // At the tone's level nothing meets a limit: the status is as ever.
  ChooseOutput(Path("out2.wav"));
  Form->LevelBar->setValue(-80);
  PressStart();
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Done");
}

using WindowPlot = WindowTest;

// Whether any pixel of the panel's rows at column x shows one of the bands.
bool TraceAt(const QImage& image, const QRect& panel, int x) {
  for (int y = panel.top(); y <= panel.bottom(); ++y) {
    for (int band = 0; band < 4; ++band) {
      if (image.pixel(x, y) == BandColour(band).rgb()) return true;
    }
  }
  return false;
}

TEST_F(WindowPlot, GrowsDuringTheRunAndHoldsTheWholeFileAfterIt) {
  constexpr std::uint32_t kFrames = 40 * kBlock44;
  MakeReady(WriteWav("in.wav", {}, kFrames), Path("out.wav"));
  ASSERT_TRUE(Form->GainHistory().Empty());
  EXPECT_FALSE(Form->SavePlot1->isEnabled()) << "nothing to save yet";
  // A look in the middle of the run, after its sixteenth block: the plot
  // reaches as far as the decode.
  std::uint64_t framesDuring = 0;
  QImage during;
  auto* plot = Form->GainPlot;
  AfterBlock(15, [&] {
    framesDuring = Form->GainHistory().Frames();
    during = plot->Render(plot->size());
  });
  PressStart();
  ASSERT_EQ(Std(Form->DoneLabel->text()), "Done");
  // Sixteen blocks decoded: the plot holds their meter points.
  ASSERT_GT(framesDuring, 15U * kBlock44) << "no look during the run";
  ASSERT_LE(framesDuring, 16U * kBlock44);

  const TGainHistory& history = Form->GainHistory();
  EXPECT_EQ(history.Channels(), 2U);
  EXPECT_EQ(history.AxisFrames(), kFrames);
  EXPECT_GT(history.Frames(), kFrames - 100);
  // The last column holds the positions the meters show at the end.
  for (int channel = 0; channel < 2; ++channel) {
    for (int band = 0; band < 4; ++band) {
      const auto last = history.At(channel, band, history.Columns() - 1);
      ASSERT_TRUE(last.has_value());
      const int shown = Form->Meter(channel, band)->Position();
      EXPECT_LE(last->Min, shown);
      EXPECT_GE(last->Max, shown);
    }
  }

  const TGainPlotLayout layout =
      LayOutGainPlot(QRect(QPoint(0, 0), plot->size()), QFontMetrics(plot->font()), 2);
  const QImage after = plot->Render(plot->size());
  for (const QRect& panel : layout.Panels) {
    EXPECT_TRUE(TraceAt(after, panel, panel.left() + 2));
    EXPECT_TRUE(TraceAt(after, panel, panel.right() - 2));
    EXPECT_TRUE(TraceAt(during, panel, panel.left() + 2));
    EXPECT_FALSE(TraceAt(during, panel, panel.right() - 2)) << "the end was not decoded yet";
  }
  EXPECT_TRUE(Form->SavePlot1->isEnabled());
}

// At 192 kHz a meter point every 100 frames is 1920 a second: the plot
// still spans the file, and its last column holds what the meters show.
TEST_F(WindowPlot, HoldsTheWholeFileAtTheHighestRate) {
  const TWavFormat format{1, 2, 192000, 24};
  // 120 whole blocks of 25 ms (4800 frames of 6 bytes fill the reader's buffer).
  const std::uint32_t frames = 4800 * 120;
  MakeReady(WriteWav("in192.wav", format, frames), Path("out192.wav"));
  PressStart();
  ASSERT_EQ(Std(Form->DoneLabel->text()), "Done");
  const TGainHistory& history = Form->GainHistory();
  EXPECT_EQ(history.SampleRate(), 192000U);
  EXPECT_EQ(history.AxisFrames(), frames);
  EXPECT_GT(history.Frames(), frames - 100);
  EXPECT_LE(history.Frames(), frames);
  for (int channel = 0; channel < 2; ++channel) {
    for (int band = 0; band < 4; ++band) {
      const auto last = history.At(channel, band, history.Columns() - 1);
      ASSERT_TRUE(last.has_value());
      const int shown = Form->Meter(channel, band)->Position();
      EXPECT_LE(last->Min, shown);
      EXPECT_GE(last->Max, shown);
    }
  }
}

TEST_F(WindowPlot, SavedAsPngUnderTheOutputsNameAndClearedByAnotherInput) {
  MakeReady(WriteWav("in.wav", {}, 6 * kBlock44), Path("out.wav"));
  PressStart();
  ASSERT_TRUE(Form->SavePlot1->isEnabled());
  Dialogs.PlotAnswers.push_back(Path("in_dec_gains.png"));
  Form->SavePlot1->trigger();
  ASSERT_EQ(Dialogs.PlotProposals.size(), 1);
  EXPECT_EQ(Dialogs.PlotProposals.front(), Path("in_dec_gains.png"));
  const QImage saved(Path("in_dec_gains.png"));
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(saved.size(), Form->GainPlot->size());
  EXPECT_TRUE(saved.convertToFormat(QImage::Format_RGB32) ==
              Form->GainPlot->Render(Form->GainPlot->size()));

  // An existing picture is replaced only when the user agrees.
  const TBytes before = ReadFile(Dir.File("in_dec_gains.png"));
  Dialogs.PlotAnswers.push_back(Path("in_dec_gains.png"));
  Dialogs.OverwriteAnswers.push_back(false);
  Form->SavePlot1->trigger();
  EXPECT_EQ(Dialogs.Questions.back(), "OK to overwrite in_dec_gains.png ?");
  EXPECT_EQ(ReadFile(Dir.File("in_dec_gains.png")), before);

  // A folder that cannot take it: said in red.
  Dialogs.PlotAnswers.push_back(Path("no/such/folder/gains.png"));
  Form->SavePlot1->trigger();
  EXPECT_EQ(
      Std(Form->DoneLabel->text()),
      "Cannot create: " + Std(Path("no/such/folder/gains.png")) + ": No such file or directory");
  EXPECT_TRUE(IsRed(Form->DoneLabel));

  // The same input again keeps the plot; another one clears it.
  ChooseInput(Path("in.wav"));
  EXPECT_FALSE(Form->GainHistory().Empty());
  ChooseInput(WriteWav("other.wav", {}, kBlock44));
  EXPECT_TRUE(Form->GainHistory().Empty());
  EXPECT_FALSE(Form->SavePlot1->isEnabled());
}

}  // namespace
}  // namespace zorv::test
