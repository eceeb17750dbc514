// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/autoplay.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/desktop/audio_preview.h"
#include "app/desktop/autostart.h"
#include "app/desktop/listen_panel.h"
#include "app/desktop/main_window.h"
#include "app/desktop/path_label.h"

namespace zorv {

int RunAutoplay(TForm1& form, double from, double seconds) {
  TListenPanel& listen = *form.Listen;
  listen.UpdateEnabled();
  if (!listen.PlayButton->isEnabled()) {
    PrintAutoLine(stderr, form.InputReader().IsOpen() ? listen.PlayButton->toolTip()
                                                      : form.InputFileLabel->text());
    return 1;
  }
  TPreviewEngine& engine = listen.Preview().Engine();
  // The input is opened for playing by the first play; its rate is known then.
  const std::uint32_t rate = form.InputReader().SampleRate();
  listen.SetPlayFrame(static_cast<std::uint64_t>(std::llround(from * rate)));
  const auto frames = static_cast<std::uint64_t>(std::llround(seconds * rate));
  bool ended = false;
  QObject::connect(&listen, &TListenPanel::Stopped, &listen, [&ended] { ended = true; });
  if (const QString error = listen.PlayFor(frames); !error.isEmpty()) {
    PrintAutoLine(stderr, error);
    return 1;
  }
  const std::uint64_t first = listen.PlayFrame();
  const int buffer = listen.Preview().BufferMilliseconds();
  // What a level change would wait behind, looked at as it plays.
  double queuedSum = 0.0;
  double queuedMax = 0.0;
  int looks = 0;
  while (!ended) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!listen.Playing()) continue;
    const double queued = listen.Preview().QueuedMilliseconds();
    queuedSum += queued;
    queuedMax = std::max(queuedMax, queued);
    ++looks;
  }
  const bool complete = engine.Position() >= std::min(first + frames, engine.Frames());
  PrintAutoLine(stdout,
                QStringLiteral("played %1 s from %2 s at %3 dB; a level change waited behind "
                               "%4 ms on average, %5 ms at most (output buffer %6 ms, block %7 "
                               "ms)")
                    .arg(static_cast<double>(frames) / rate, 0, 'f', 1)
                    .arg(static_cast<double>(first) / rate, 0, 'f', 1)
                    .arg(form.LevelDb(), 0, 'f', 1)
                    .arg(looks == 0 ? 0.0 : queuedSum / looks, 0, 'f', 0)
                    .arg(queuedMax, 0, 'f', 0)
                    .arg(buffer)
                    .arg(TPreviewEngine::kBlockMilliseconds));
  if (!complete) PrintAutoLine(stderr, listen.ListenLabel->text());
  return complete && listen.ListenLabel->text().isEmpty() ? 0 : 1;
}

}  // namespace zorv
