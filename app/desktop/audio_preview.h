// SPDX-License-Identifier: GPL-3.0-or-later
// The decode played on the desktop's default audio output: the preview
// engine's blocks handed to a QAudioSink as 32-bit float samples as the
// output asks for them, up to an end frame; and what is heard now, for the
// meters and the plot's cursor.
#pragma once

#include <QAudioDevice>
#include <QIODevice>
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/preview_engine.h"
#include "dsp/meter_listener.h"

class QAudioSink;

namespace zorv {

// A meter position of a block played, at its frame of the input.
struct TPlayedMeter {
  std::uint64_t Frame = 0;
  std::int32_t Channel = 0;
  std::int32_t Band = 0;
  std::int32_t Position = 0;
};

class TAudioPreview : public QObject, private TMeterListener {
  Q_OBJECT

 public:
  // The output buffer asked of the device: with a block of the engine, the
  // time a level change takes to be heard.
  static constexpr int kBufferMilliseconds = 100;

  explicit TAudioPreview(QObject* parent = nullptr);
  ~TAudioPreview() override;

  // Why nothing can be played: no output device; empty when one is there.
  static QString OutputProblem();

  TPreviewEngine& Engine() { return Engine_; }
  // Plays the open input from frame to endFrame (clamped to its end); the
  // output's error in words when it could not start.
  QString Play(std::uint64_t frame, std::uint64_t endFrame);
  void Stop();
  // The last Play failed for the output, not for the input: nothing can be
  // played through it.
  bool OutputFailed() const { return OutputFailed_; }
  bool Playing() const { return Sink_ != nullptr; }
  // The frame heard now (the play position before anything is heard).
  std::uint64_t HeardFrame() const;
  // The meter positions of the blocks played up to frame, oldest first, taken
  // from those waiting.
  std::vector<TPlayedMeter> TakeMeters(std::uint64_t frame);
  // What a level change set now waits behind, in milliseconds: the samples
  // the output holds and the rest of the block handed to it in part.
  double QueuedMilliseconds() const;
  // The output's buffer as it was granted, in milliseconds (0 when not playing).
  int BufferMilliseconds() const;

 signals:
  // Everything up to the end frame was heard, or the output failed (error
  // in words, else empty).
  void Ended(const QString& error);

 private:
  class TSource;
  void MeterPosition(int channel, int band, std::int32_t position) override;
  void SinkStateChanged();

  TPreviewEngine Engine_;
  std::unique_ptr<TSource> Source_;
  QAudioSink* Sink_ = nullptr;
  std::uint64_t StartFrame_ = 0;
  bool OutputFailed_ = false;
  // The meter points of the block being rendered.
  std::uint64_t BlockFrame_ = 0;
  std::vector<std::uint32_t> PointsInBlock_;
  std::vector<TPlayedMeter> Meters_;
};

}  // namespace zorv
