// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/audio_preview.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QTimer>
#include <algorithm>
#include <cstring>

namespace zorv {

// What the output reads: the engine's blocks, byte by byte, to the end frame.
class TAudioPreview::TSource : public QIODevice {
 public:
  TSource(TAudioPreview& owner, std::uint64_t endFrame) : Owner_(owner), EndFrame_(endFrame) {
    // Unbuffered: nothing is read ahead of what the output asks for, which
    // would delay a level change.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
  }

  bool isSequential() const override { return true; }
  // Bytes rendered and not yet handed to the output.
  std::size_t Pending() const { return Block_.size() * sizeof(float) - Offset_; }
  bool atEnd() const override { return Ended_; }
  qint64 bytesAvailable() const override {
    return Ended_ ? 0 : static_cast<qint64>(Owner_.Engine_.BlockFrames()) * FrameBytes();
  }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    qint64 done = 0;
    while (done < maxSize) {
      if (Offset_ == Block_.size() * sizeof(float) && !Refill()) break;
      const auto bytes = std::min<qint64>(
          maxSize - done, static_cast<qint64>(Block_.size() * sizeof(float) - Offset_));
      std::memcpy(data + done, reinterpret_cast<const char*>(Block_.data()) + Offset_,
                  static_cast<std::size_t>(bytes));
      Offset_ += static_cast<std::size_t>(bytes);
      done += bytes;
    }
    return done;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  qint64 FrameBytes() const {
    return static_cast<qint64>(Owner_.Engine_.Channels() * sizeof(float));
  }
  // The next block, cut at the end frame; false at the end.
  bool Refill() {
    TPreviewEngine& engine = Owner_.Engine_;
    if (Ended_ || engine.Position() >= EndFrame_) {
      Ended_ = true;
      return false;
    }
    Owner_.BlockFrame_ = engine.Position();
    std::fill(Owner_.PointsInBlock_.begin(), Owner_.PointsInBlock_.end(), 0u);
    const std::uint32_t frames = engine.Render(Block_);
    if (frames == 0) {
      Ended_ = true;
      return false;
    }
    const std::uint64_t past = engine.Position() > EndFrame_ ? engine.Position() - EndFrame_ : 0;
    Block_.resize(Block_.size() - static_cast<std::size_t>(past) * engine.Channels());
    Offset_ = 0;
    return true;
  }

  TAudioPreview& Owner_;
  std::uint64_t EndFrame_;
  std::vector<float> Block_;
  std::size_t Offset_ = 0;
  bool Ended_ = false;
};

namespace {

QString ErrorText(QAudio::Error error) {
  switch (error) {
    case QAudio::NoError:
      return {};
    case QAudio::OpenError:
      return QStringLiteral("the audio output could not be opened");
    case QAudio::IOError:
      return QStringLiteral("the audio output failed while playing");
    case QAudio::UnderrunError:
      return {};  // data came too late: heard as a gap, not a failure
    case QAudio::FatalError:
      return QStringLiteral("the audio output is not usable");
  }
  return QStringLiteral("the audio output failed");
}

}  // namespace

TAudioPreview::TAudioPreview(QObject* parent) : QObject(parent) {
  Engine_.SetMeterListener(this);
}

TAudioPreview::~TAudioPreview() {
  Stop();
}

QString TAudioPreview::OutputProblem() {
  if (QMediaDevices::defaultAudioOutput().isNull()) {
    return QStringLiteral("No audio output device was found: nothing can be played.");
  }
  return {};
}

QString TAudioPreview::Play(std::uint64_t frame, std::uint64_t endFrame) {
  Stop();
  OutputFailed_ = false;
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) {
    OutputFailed_ = true;
    return OutputProblem();
  }
  QAudioFormat format;
  format.setSampleRate(static_cast<int>(Engine_.SampleRate()));
  format.setChannelCount(static_cast<int>(Engine_.Channels()));
  format.setSampleFormat(QAudioFormat::Float);
  if (!device.isFormatSupported(format)) {
    return QStringLiteral("The audio output does not play %1 channels at %2 Hz.")
        .arg(Engine_.Channels())
        .arg(Engine_.SampleRate());
  }
  if (!Engine_.Start(frame)) {
    return QStringLiteral("The input could not be read: ") +
           QString::fromStdString(Engine_.ReadFailureText());
  }
  StartFrame_ = Engine_.Position();
  PointsInBlock_.assign(Engine_.Channels(), 0u);
  Meters_.clear();
  Source_ = std::make_unique<TSource>(*this, std::min(endFrame, Engine_.Frames()));
  Sink_ = new QAudioSink(device, format, this);
  Sink_->setBufferSize(format.bytesForDuration(kBufferMilliseconds * 1000));
  connect(Sink_, &QAudioSink::stateChanged, this, &TAudioPreview::SinkStateChanged);
  Sink_->start(Source_.get());
  if (const QString error = ErrorText(Sink_->error()); !error.isEmpty()) {
    OutputFailed_ = true;
    Stop();
    return error[0].toUpper() + error.mid(1) + QLatin1Char('.');
  }
  return {};
}

void TAudioPreview::Stop() {
  if (Sink_ == nullptr) return;
  QAudioSink* sink = Sink_;
  Sink_ = nullptr;
  sink->disconnect(this);
  sink->stop();
  sink->deleteLater();
  Source_.reset();
}

std::uint64_t TAudioPreview::HeardFrame() const {
  if (Sink_ == nullptr) return Engine_.Position();
  const qint64 heard = Sink_->processedUSecs();
  return std::min(StartFrame_ + static_cast<std::uint64_t>(std::max<qint64>(heard, 0)) *
                                    Engine_.SampleRate() / 1000000,
                  Engine_.Position());
}

double TAudioPreview::QueuedMilliseconds() const {
  if (Sink_ == nullptr || !Source_) return 0.0;
  const qint64 held = Sink_->bufferSize() - Sink_->bytesFree();
  const auto bytes =
      static_cast<double>(std::max<qint64>(held, 0) + static_cast<qint64>(Source_->Pending()));
  return bytes / (Engine_.Channels() * sizeof(float)) * 1000.0 / Engine_.SampleRate();
}

int TAudioPreview::BufferMilliseconds() const {
  if (Sink_ == nullptr) return 0;
  return static_cast<int>(Sink_->format().durationForBytes(Sink_->bufferSize()) / 1000);
}

std::vector<TPlayedMeter> TAudioPreview::TakeMeters(std::uint64_t frame) {
  const auto due = std::find_if(Meters_.begin(), Meters_.end(),
                                [frame](const TPlayedMeter& meter) { return meter.Frame > frame; });
  std::vector<TPlayedMeter> taken(Meters_.begin(), due);
  Meters_.erase(Meters_.begin(), due);
  return taken;
}

void TAudioPreview::MeterPosition(int channel, int band, std::int32_t position) {
  // Channel by channel, at frames 0, interval, ... of the block, bands A..D.
  if (channel < 0 || static_cast<std::size_t>(channel) >= PointsInBlock_.size()) return;
  std::uint32_t& points = PointsInBlock_[static_cast<std::size_t>(channel)];
  const std::uint64_t frame = BlockFrame_ + std::uint64_t{points / 4} * TZorvCalc::kMeterInterval;
  ++points;
  Meters_.push_back({frame, channel, band, position});
}

void TAudioPreview::SinkStateChanged() {
  if (Sink_ == nullptr) return;
  const QString error = ErrorText(Sink_->error());
  // Idle: the source has nothing more, and the output has played it all.
  const bool ended = Sink_->state() == QAudio::IdleState && Source_ && Source_->atEnd();
  if (error.isEmpty() && !ended && Sink_->state() != QAudio::StoppedState) return;
  if (!error.isEmpty() || !ended) {
    Stop();
    emit Ended(error);
    return;
  }
  // The output may still hold what it was given last: heard out first.
  QAudioSink* sink = Sink_;
  QTimer::singleShot(BufferMilliseconds() + 50, this, [this, sink] {
    if (Sink_ != sink) return;
    Stop();
    emit Ended({});
  });
}

}  // namespace zorv
