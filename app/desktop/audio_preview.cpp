// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/audio_preview.h"

#include <pthread.h>
#include <sched.h>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QList>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace zorv {
namespace {

constexpr int kStereo = 2;
constexpr qint64 kFrameBytes = kStereo * sizeof(float);
// How long Play waits for the first samples (the silent settling of a
// position far into a file of many channels included).
constexpr int kFirstSamplesWaitMs = 5000;
// Below a sound server's own threads (which take 5 and up).
constexpr int kRealTimePriority = 3;

using TClock = std::chrono::steady_clock;

double Since(TClock::time_point then, TClock::time_point now) {
  return std::chrono::duration<double, std::milli>(now - then).count();
}

QString ErrorText(QAudio::Error error) {
  switch (error) {
    case QAudio::NoError:
      return {};
    case QAudio::OpenError:
      return QStringLiteral("the audio output could not be opened");
    case QAudio::IOError:
      return QStringLiteral("the audio output failed while playing");
    case QAudio::UnderrunError:
      return {};  // the output ran dry: found as a gap by the top-ups
    case QAudio::FatalError:
      return QStringLiteral("the audio output is not usable");
  }
  return QStringLiteral("the audio output failed");
}

QString Sentence(const QString& text) {
  return text[0].toUpper() + text.mid(1) + QLatin1Char('.');
}

}  // namespace

// The audio output on a thread of its own: topped up to the length of its
// buffer every few milliseconds from what the feeder has ready (silence,
// counted as a gap, when the feeder is behind), a top-up that came later
// than the sound the output held counted as a gap, and what is heard
// published for the window.
class TAudioPreview::TOutput : public QObject {
 public:
  explicit TOutput(TAudioPreview& owner) : Owner_(owner) {}
  ~TOutput() override {
    // A sink stopped a moment ago may still be called back by the sound
    // server (an operation it began when it ran dry): it is let go only
    // once the server is through with it.
    const double wait = kRetireMs - Since(RetiredAt_, TClock::now());
    const QList<QAudioSink*> sinks = std::exchange(Retired_, {});
    if (!sinks.empty() && wait > 0.0) QThread::msleep(static_cast<unsigned long>(wait));
    // A sink's end handles events: none of the timers below may find it.
    qDeleteAll(sinks);
  }

  QString Start(const QAudioDevice& device, const QAudioFormat& format, std::uint64_t startFrame,
                int play) {
    if (Timer_ == nullptr) {
      Timer_ = new QTimer(this);
      Timer_->setTimerType(Qt::PreciseTimer);
      Timer_->setInterval(kPumpMilliseconds);
      QObject::connect(Timer_, &QTimer::timeout, this, [this] { Pump(); });
    }
    StartFrame_ = startFrame;
    Play_ = play;
    Pumped_ = false;
    AllHanded_ = false;
    Sink_ = new QAudioSink(device, format, this);
    Sink_->setBufferSize(format.bytesForDuration(kBufferMilliseconds * 1000));
    QObject::connect(Sink_, &QAudioSink::stateChanged, this, [this] { StateChanged(); });
    // Topped up by the program rather than read in fixed pieces: the output
    // starts as soon as its whole buffer is there.
    Io_ = Sink_->start();
    const QString error = ErrorText(Sink_->error());
    if (Io_ == nullptr || !error.isEmpty()) {
      Stop();
      return error.isEmpty() ? QStringLiteral("The audio output could not be opened.")
                             : Sentence(error);
    }
    Owner_.Granted_ =
        static_cast<int>(Sink_->format().durationForBytes(Sink_->bufferSize()) / 1000);
    Pump();
    Timer_->start();
    return {};
  }

  void Stop() {
    if (Timer_ != nullptr) Timer_->stop();
    Io_ = nullptr;
    if (Sink_ == nullptr) return;
    QAudioSink* sink = Sink_;
    Sink_ = nullptr;
    sink->disconnect(this);
    sink->stop();
    // Not at once: this may run in one of the sink's own signals, and the
    // sound server may still call it back.
    Retired_.push_back(sink);
    RetiredAt_ = TClock::now();
    QTimer::singleShot(kRetireMs, this, [this, sink] {
      if (Retired_.removeOne(sink)) delete sink;
    });
  }

 private:
  double HeldMs() const {
    const qint64 held = std::max<qint64>(Sink_->bufferSize() - Sink_->bytesFree(), 0);
    return static_cast<double>(held) / kFrameBytes * 1000.0 / Owner_.Engine_.SampleRate();
  }

  void Ended(const QString& error) {
    Stop();
    TAudioPreview* owner = &Owner_;
    QMetaObject::invokeMethod(
        owner, [owner, play = Play_, error] { owner->OutputEnded(play, error); },
        Qt::QueuedConnection);
  }

  void StateChanged() {
    if (Sink_ == nullptr) return;
    // An output that ran dry is Idle, and is found as a gap; a failed one
    // ends the playing.
    const QString error = ErrorText(Sink_->error());
    if (error.isEmpty() && Sink_->state() != QAudio::StoppedState) return;
    Ended(error.isEmpty() ? error : Sentence(error));
  }

  void Pump() {
    if (Sink_ == nullptr || Io_ == nullptr) return;
    TPreviewFeeder& feeder = Owner_.Feeder_;
    const std::uint32_t rate = Owner_.Engine_.SampleRate();
    const auto now = TClock::now();
    const double held = HeldMs();
    Publish(held);
    if (AllHanded_) {
      // Kept going with silence until the end is heard out: an output that
      // runs dry is a gap to the sound server.
      if (Since(AllHandedAt_, now) > HeldAtEnd_ + kStallToleranceMs) {
        Ended({});
        return;
      }
      const auto room = std::max<qint64>(Sink_->bytesFree(), 0) / kFrameBytes * kFrameBytes;
      Samples_.assign(static_cast<std::size_t>(room) / sizeof(float), 0.0f);
      if (room > 0) Io_->write(reinterpret_cast<const char*>(Samples_.data()), room);
      return;
    }
    if (Pumped_) {
      const double since = Since(LastPump_, now);
      if (since > HeldAfter_ + kStallToleranceMs)
        Owner_.AddGap(feeder.NextFrame(), since - HeldAfter_);
      Owner_.LongestPump_ = std::max(Owner_.LongestPump_.load(), since);
      if (Owner_.StartMs_ >= 0.0 && (Owner_.LeastHeld_ < 0.0 || held < Owner_.LeastHeld_)) {
        Owner_.LeastHeld_ = held;
      }
    }
    const auto room =
        static_cast<std::uint32_t>(std::max<qint64>(Sink_->bytesFree(), 0) / kFrameBytes);
    Samples_.resize(std::size_t{room} * kStereo);
    const std::uint64_t at = feeder.NextFrame();
    std::uint32_t frames = feeder.Take(Samples_.data(), room, Owner_.Left_, Owner_.Right_);
    if (frames > 0 && Owner_.StartMs_ < 0.0) Owner_.StartMs_ = Since(Owner_.PlayTime_, now);
    if (frames == room || feeder.Ended()) {
      Owner_.InSilence_ = false;
    } else if (Owner_.StartMs_ >= 0.0) {
      // Behind: silence, so that the output goes on; the feeder catches up.
      std::fill(Samples_.begin() + std::ptrdiff_t{frames} * kStereo, Samples_.end(), 0.0f);
      Owner_.AddSilence(at + frames, room - frames);
      frames = room;
    }
    if (frames > 0) {
      Io_->write(reinterpret_cast<const char*>(Samples_.data()),
                 static_cast<qint64>(frames) * kFrameBytes);
    }
    Pumped_ = true;
    LastPump_ = now;
    HeldAfter_ = held + frames * 1000.0 / rate;
    if (feeder.Ended()) {
      AllHanded_ = true;
      AllHandedAt_ = now;
      HeldAtEnd_ = HeldAfter_;
    }
  }

  // What is heard now, and what a change waits behind.
  void Publish(double held) {
    const TPreviewFeeder& feeder = Owner_.Feeder_;
    const std::uint32_t rate = Owner_.Engine_.SampleRate();
    const auto played =
        static_cast<std::uint64_t>(std::max<qint64>(Sink_->processedUSecs(), 0)) * rate / 1000000;
    // Silence handed over in gaps took time but no frames of the input.
    const std::uint64_t frames = played > Owner_.SilentFrames_ ? played - Owner_.SilentFrames_ : 0;
    Owner_.Heard_ = std::min(StartFrame_ + frames, feeder.NextFrame());
    Owner_.Queued_ = held + feeder.CurrentLeft() * 1000.0 / rate;
  }

  TAudioPreview& Owner_;
  QAudioSink* Sink_ = nullptr;
  QIODevice* Io_ = nullptr;
  QTimer* Timer_ = nullptr;
  std::vector<float> Samples_;
  std::uint64_t StartFrame_ = 0;
  int Play_ = 0;
  // The last top-up and what the output held after it.
  bool Pumped_ = false;
  TClock::time_point LastPump_;
  double HeldAfter_ = 0.0;
  // Everything to the end was handed over, at that time, the output holding
  // that much of it.
  bool AllHanded_ = false;
  TClock::time_point AllHandedAt_;
  double HeldAtEnd_ = 0.0;
  // Sinks stopped and not yet let go.
  static constexpr int kRetireMs = 1000;
  QList<QAudioSink*> Retired_;
  TClock::time_point RetiredAt_;
};

TAudioPreview::TAudioPreview(QObject* parent) : QObject(parent) {
  Thread_ = new QThread(this);
  Thread_->setObjectName(QStringLiteral("AudioOutput"));
  Output_ = new TOutput(*this);
  Output_->moveToThread(Thread_);
  Thread_->start(QThread::TimeCriticalPriority);
  // Where the system allows it (an audio group's real-time limit, or root),
  // the top-ups go before ordinary work, as a sound server's own do; else
  // the buffer alone has to cover the waits.
  QMetaObject::invokeMethod(Output_, [] {
    sched_param priority{};
    priority.sched_priority = std::min(sched_get_priority_max(SCHED_RR), kRealTimePriority);
    pthread_setschedparam(pthread_self(), SCHED_RR, &priority);
  });
}

TAudioPreview::~TAudioPreview() {
  Stop();
  TOutput* output = Output_;
  QMetaObject::invokeMethod(
      output, [output] { delete output; }, Qt::BlockingQueuedConnection);
  Thread_->quit();
  Thread_->wait();
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
  format.setChannelCount(kStereo);
  format.setSampleFormat(QAudioFormat::Float);
  if (!device.isFormatSupported(format)) {
    return QStringLiteral("The audio output does not play stereo at %1 Hz.")
        .arg(Engine_.SampleRate());
  }
  if (!Engine_.IsOpen()) return QStringLiteral("No input to play.");
  const std::uint32_t last = Engine_.Channels() - 1;
  Left_ = std::min<std::uint32_t>(Left_, last);
  Right_ = std::min<std::uint32_t>(Right_, last);
  {
    const std::lock_guard<std::mutex> hold(GapLock_);
    Gaps_.clear();
  }
  InSilence_ = false;
  SilentFrames_ = 0;
  StartMs_ = -1.0;
  LongestPump_ = 0.0;
  LeastHeld_ = -1.0;
  PlayTime_ = TClock::now();
  const std::uint32_t rate = Engine_.SampleRate();
  Feeder_.Start(frame, endFrame, rate / 1000 * kAheadMilliseconds);
  // The output starts with what it can hold, ready.
  Feeder_.WaitQueued(rate / 1000 * kBufferMilliseconds, kFirstSamplesWaitMs);
  if (Feeder_.ReadFailed()) {
    Feeder_.Stop();
    return QStringLiteral("The input could not be read: ") +
           QString::fromStdString(Engine_.ReadFailureText());
  }
  Heard_ = Feeder_.NextFrame();
  Queued_ = 0.0;
  const int play = ++Play_;
  QString error;
  TOutput* output = Output_;
  const std::uint64_t start = Feeder_.NextFrame();
  QMetaObject::invokeMethod(
      output, [&] { error = output->Start(device, format, start, play); },
      Qt::BlockingQueuedConnection);
  if (!error.isEmpty()) {
    OutputFailed_ = true;
    Feeder_.Stop();
    return error;
  }
  Playing_ = true;
  return {};
}

void TAudioPreview::Stop() {
  if (Playing_) {
    TOutput* output = Output_;
    QMetaObject::invokeMethod(
        output, [output] { output->Stop(); }, Qt::BlockingQueuedConnection);
    Playing_ = false;
  }
  Feeder_.Stop();
}

void TAudioPreview::OutputEnded(int play, const QString& error) {
  if (play != Play_ || !Playing_) return;
  Stop();
  emit Ended(error);
}

void TAudioPreview::SetLevels(std::vector<double> dB) {
  Engine_.SetLevels(std::move(dB));
  Feeder_.Changed();
}

void TAudioPreview::SetListenToInput(bool input) {
  Engine_.SetListenToInput(input);
  Feeder_.Changed();
}

void TAudioPreview::SetHeardChannels(std::uint32_t left, std::uint32_t right) {
  Left_ = left;
  Right_ = right;
}

void TAudioPreview::AddSilence(std::uint64_t frame, std::uint32_t frames) {
  const double ms = frames * 1000.0 / Engine_.SampleRate();
  SilentFrames_ += frames;
  const bool going = InSilence_;
  InSilence_ = true;
  if (going) {
    const std::lock_guard<std::mutex> hold(GapLock_);
    if (!Gaps_.empty()) {
      Gaps_.back().Milliseconds += ms;
      return;
    }
  }
  AddGap(frame, ms);
}

void TAudioPreview::AddGap(std::uint64_t frame, double milliseconds) {
  const std::lock_guard<std::mutex> hold(GapLock_);
  Gaps_.push_back({frame, milliseconds});
}

std::vector<TPlaybackGap> TAudioPreview::Gaps() const {
  const std::lock_guard<std::mutex> hold(GapLock_);
  return Gaps_;
}

double TAudioPreview::AheadMilliseconds() const {
  if (!Feeder_.Running() || Engine_.SampleRate() == 0) return 0.0;
  return static_cast<double>(Feeder_.QueuedFrames()) * 1000.0 / Engine_.SampleRate();
}

}  // namespace zorv
