// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/autoplay.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "app/desktop/audio_preview.h"
#include "app/desktop/autostart.h"
#include "app/desktop/listen_panel.h"
#include "app/desktop/main_window.h"
#include "app/desktop/path_label.h"

namespace zorv {

int RunAutoplay(TForm1& form, const TAutoplay& play) {
  TListenPanel& listen = *form.Listen;
  listen.UpdateEnabled();
  if (!listen.PlayButton->isEnabled()) {
    PrintAutoLine(stderr, form.InputReader().IsOpen() ? listen.PlayButton->toolTip()
                                                      : form.InputFileLabel->text());
    return 1;
  }
  if (play.Left > 0) {
    if (const QString refusal = listen.HearChannels(play.Left, play.Right); !refusal.isEmpty()) {
      PrintAutoLine(stderr, refusal);
      return 1;
    }
  }
  TAudioPreview& preview = listen.Preview();
  // The input is opened for playing by the first play; its rate is known then.
  const std::uint32_t rate = form.InputReader().SampleRate();
  listen.SetPlayFrame(static_cast<std::uint64_t>(std::llround(play.From * rate)));
  const auto frames = static_cast<std::uint64_t>(std::llround(play.Seconds * rate));
  bool ended = false;
  QObject::connect(&listen, &TListenPanel::Stopped, &listen, [&ended] { ended = true; });
  // The moment Play is pressed, on the system clock, for a recording to be
  // timed against.
  const auto pressed = std::chrono::system_clock::now();
  if (const QString error = listen.PlayFor(frames); !error.isEmpty()) {
    PrintAutoLine(stderr, error);
    return 1;
  }
  const std::uint64_t first = listen.PlayFrame();
  const int buffer = preview.BufferMilliseconds();
  // What a level change would wait behind, looked at as it plays.
  double queuedSum = 0.0;
  double queuedMax = 0.0;
  double aheadMin = TAudioPreview::kAheadMilliseconds;
  int looks = 0;
  while (!ended) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!listen.Playing()) continue;
    const double queued = preview.QueuedMilliseconds();
    queuedSum += queued;
    queuedMax = std::max(queuedMax, queued);
    // Once the feeder has filled its queue, and before it meets the end: how
    // far it ran ahead at least.
    const std::uint64_t ahead = rate / 1000 * TAudioPreview::kAheadMilliseconds;
    if (looks > 4 && preview.HandedFrame() + 2 * ahead < first + frames) {
      aheadMin = std::min(aheadMin, preview.AheadMilliseconds());
    }
    ++looks;
  }
  const bool complete =
      preview.HandedFrame() >= std::min(first + frames, preview.Engine().Frames()) &&
      listen.ListenLabel->text().isEmpty();
  double gapMs = 0.0;
  for (const TPlaybackGap& gap : preview.Gaps()) gapMs += gap.Milliseconds;
  PrintAutoLine(
      stdout, QStringLiteral("played %1 s from %2 s at %3 dB; a level change waited behind "
                             "%4 ms on average, %5 ms at most (output buffer %6 ms, block %7 "
                             "ms); rendered ahead %8 ms at least; %9 playback gaps, %10 ms; "
                             "Play pressed at %11 s, first samples handed over after %12 ms; "
                             "the output topped up after %13 ms at most, holding %14 ms at least")
                  .arg(static_cast<double>(frames) / rate, 0, 'f', 1)
                  .arg(static_cast<double>(first) / rate, 0, 'f', 1)
                  .arg(form.LevelDb(), 0, 'f', 1)
                  .arg(looks == 0 ? 0.0 : queuedSum / looks, 0, 'f', 0)
                  .arg(queuedMax, 0, 'f', 0)
                  .arg(buffer)
                  .arg(TPreviewEngine::kBlockMilliseconds)
                  .arg(aheadMin, 0, 'f', 0)
                  .arg(static_cast<qsizetype>(preview.Gaps().size()))
                  .arg(gapMs, 0, 'f', 0)
                  .arg(std::chrono::duration<double>(pressed.time_since_epoch()).count(), 0, 'f', 6)
                  .arg(preview.StartMilliseconds(), 0, 'f', 1)
                  .arg(preview.LongestPumpMilliseconds(), 0, 'f', 1)
                  .arg(preview.LeastHeldMilliseconds(), 0, 'f', 1));
  if (!listen.ListenLabel->text().isEmpty()) PrintAutoLine(stderr, listen.ListenLabel->text());
  return complete ? 0 : 1;
}

}  // namespace zorv
