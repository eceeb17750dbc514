// SPDX-License-Identifier: GPL-3.0-or-later
// The decode played on the desktop's default audio output as plain stereo
// 32-bit float. Two threads of its own keep the sound going whatever the
// window does: the feeder renders ahead, and the output's thread tops the
// output up every few milliseconds with ready samples to the length of its
// buffer, up to an end frame. What is heard now, for the meters and the
// plot's cursor; and every gap in the sound, counted with its place and
// length.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "app/preview_engine.h"
#include "app/preview_feeder.h"

class QThread;

namespace zorv {

// Silence the listener heard where the decode should have been: the output
// had nothing to play from Frame on (the frame heard after it), for about
// Milliseconds.
struct TPlaybackGap {
  std::uint64_t Frame = 0;
  double Milliseconds = 0.0;
};

class TAudioPreview : public QObject {
  Q_OBJECT

 public:
  // The output buffer asked of the device (a sound server grants somewhat
  // less): what a level change (or A/B) waits behind, with the rest of the
  // block being handed over. With 100 ms or less granted, a sound server
  // that is itself kept waiting by busy processors skipped and silenced
  // pieces of the stream now and then.
  static constexpr int kBufferMilliseconds = 250;
  // What the feeder keeps rendered beyond it: a processor busy with other
  // work for that long delays nothing that is heard.
  static constexpr int kAheadMilliseconds = 400;
  // The output is topped up this often; a top-up later than the sound it
  // held, by more than the tolerance, found it empty: a gap.
  static constexpr int kPumpMilliseconds = 10;
  static constexpr double kStallToleranceMs = 10.0;

  explicit TAudioPreview(QObject* parent = nullptr);
  ~TAudioPreview() override;

  // Why nothing can be played: no output device; empty when one is there.
  static QString OutputProblem();

  // Opening and closing the input, while nothing plays; the rest goes
  // through the calls below.
  TPreviewEngine& Engine() { return Engine_; }
  // Plays the open input from frame to endFrame (clamped to its end); the
  // output's error in words when it could not start.
  QString Play(std::uint64_t frame, std::uint64_t endFrame);
  void Stop();
  // The last Play failed for the output, not for the input: nothing can be
  // played through it.
  bool OutputFailed() const { return OutputFailed_; }
  bool Playing() const { return Playing_; }

  // What is heard, at once where it can be: the level and A/B render the
  // samples not yet handed to the output again; the channels heard on the
  // left and the right (0-based; the same one twice for a solo) apply to
  // what is handed over next.
  void SetLevel(double dB) { SetLevels({dB}); }
  // Each channel's (the tracks of a multitrack tape).
  void SetLevels(std::vector<double> dB);
  void SetListenToInput(bool input);
  void SetHeardChannels(std::uint32_t left, std::uint32_t right);

  // The frame heard now (the play position before anything is heard).
  std::uint64_t HeardFrame() const { return Heard_; }
  // The frame the output is handed next (after Stop: where it stopped).
  std::uint64_t HandedFrame() const { return Feeder_.NextFrame(); }
  // The meter positions of the blocks handed over up to frame, oldest first.
  std::vector<TPlayedMeter> TakeMeters(std::uint64_t frame) { return Feeder_.TakeMeters(frame); }
  // What a level change set now waits behind, in milliseconds: the samples
  // the output holds and the rest of the block handed to it in part.
  double QueuedMilliseconds() const { return Playing_ ? Queued_.load() : 0.0; }
  // The output's buffer as it was granted, in milliseconds (0 when not playing).
  int BufferMilliseconds() const { return Playing_ ? Granted_.load() : 0; }
  // Rendered ahead of the output now, in milliseconds.
  double AheadMilliseconds() const;
  // The gaps of the playing going on (or of the last one), oldest first.
  std::vector<TPlaybackGap> Gaps() const;
  // From Play to the first samples handed to the output, ms (-1 before).
  double StartMilliseconds() const { return StartMs_; }
  // Of the playing going on (or the last one): the longest time between two
  // top-ups of the output, and the least it held at a top-up once it had
  // been filled, in milliseconds.
  double LongestPumpMilliseconds() const { return LongestPump_; }
  double LeastHeldMilliseconds() const { return LeastHeld_; }

 signals:
  // Everything up to the end frame was heard, or the output failed (error
  // in words, else empty).
  void Ended(const QString& error);

 private:
  class TOutput;
  // On the output's thread.
  void AddSilence(std::uint64_t frame, std::uint32_t frames);
  void AddGap(std::uint64_t frame, double milliseconds);
  void OutputEnded(int play, const QString& error);

  TPreviewEngine Engine_;
  TPreviewFeeder Feeder_{Engine_};
  QThread* Thread_ = nullptr;
  TOutput* Output_ = nullptr;  // lives on Thread_
  bool Playing_ = false;
  bool OutputFailed_ = false;
  int Play_ = 0;  // which Play an end belongs to
  std::atomic<std::uint32_t> Left_{0};
  std::atomic<std::uint32_t> Right_{1};
  // Published by the output's thread.
  std::atomic<std::uint64_t> Heard_{0};
  std::atomic<double> Queued_{0.0};
  std::atomic<int> Granted_{0};
  std::atomic<double> StartMs_{-1.0};
  std::atomic<double> LongestPump_{0.0};
  std::atomic<double> LeastHeld_{0.0};
  mutable std::mutex GapLock_;
  std::vector<TPlaybackGap> Gaps_;
  bool InSilence_ = false;  // the last top-up ended in silence
  std::uint64_t SilentFrames_ = 0;
  std::chrono::steady_clock::time_point PlayTime_;
};

}  // namespace zorv
