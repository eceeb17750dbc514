// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/preview_feeder.h"

#include <algorithm>
#include <chrono>

namespace zorv {

TPreviewFeeder::TPreviewFeeder(TPreviewEngine& engine) : Engine_(engine) {}

TPreviewFeeder::~TPreviewFeeder() {
  Stop();
}

void TPreviewFeeder::Start(std::uint64_t frame, std::uint64_t endFrame, std::uint32_t ahead) {
  Stop();
  Queue_.clear();
  QueuedFrames_ = 0;
  RenderedToEnd_ = false;
  Failed_ = false;
  ChangeAsked_ = false;
  Current_ = {};
  Offset_ = 0;
  {
    const std::lock_guard<std::mutex> hold(Lock_);
    Meters_.clear();
  }
  Next_ = std::min(frame, Engine_.Frames());
  EndFrame_ = std::min(endFrame, Engine_.Frames());
  AheadFrames_ = std::max<std::uint32_t>(ahead, 1);
  Points_.assign(Engine_.Channels(), 0u);
  Stop_ = false;
  Engine_.SetMeterListener(this);
  Thread_ = std::thread([this, frame] { Loop(frame); });
}

void TPreviewFeeder::Stop() {
  if (!Thread_.joinable()) return;
  Stop_ = true;
  {
    const std::lock_guard<std::mutex> hold(Lock_);
    Wake_.notify_all();
  }
  Thread_.join();
  Engine_.SetMeterListener(nullptr);
}

bool TPreviewFeeder::WaitQueued(std::uint32_t frames, int milliseconds) {
  std::unique_lock<std::mutex> hold(Lock_);
  return Rendered_.wait_for(hold, std::chrono::milliseconds(milliseconds),
                            [&] { return QueuedFrames_ >= frames || RenderedToEnd_ || Failed_; });
}

bool TPreviewFeeder::Outdated(const TBlock& block) const {
  return block.Input != Engine_.ListensToInput() || block.Levels != Engine_.Levels();
}

std::deque<TPreviewFeeder::TBlock>::iterator TPreviewFeeder::FirstOutdated() {
  // The settings asked for read once, not once per block.
  const std::vector<double> levels = Engine_.Levels();
  const bool input = Engine_.ListensToInput();
  return std::find_if(Queue_.begin(), Queue_.end(), [&](const TBlock& block) {
    return block.Input != input || block.Levels != levels;
  });
}

std::uint32_t TPreviewFeeder::Render(std::unique_lock<std::mutex>& hold) {
  hold.unlock();
  Rendering_ = {};
  Rendering_.Frame = Engine_.Position();
  Engine_.Save(Rendering_.Before);
  std::fill(Points_.begin(), Points_.end(), 0u);
  std::uint32_t frames = Rendering_.Frame < EndFrame_ ? Engine_.Render(Rendering_.Samples) : 0;
  Rendering_.Levels = Engine_.RenderedLevels();
  Rendering_.Input = Engine_.RenderedInput();
  // The block cut at the end frame.
  if (frames > 0 && Rendering_.Frame + frames > EndFrame_) {
    frames = static_cast<std::uint32_t>(EndFrame_ - Rendering_.Frame);
    Rendering_.Samples.resize(std::size_t{frames} * Engine_.Channels());
  }
  Rendering_.Frames = frames;
  hold.lock();
  return frames;
}

void TPreviewFeeder::RenderAgain(std::deque<TBlock>::iterator old,
                                 std::unique_lock<std::mutex>& hold) {
  // From where what is heard before it left the decoder: the state the old
  // block began from. The engine no longer stands at the end of the queue.
  const std::uint64_t from = old->Frame;
  const std::uint64_t end = TailFrame_;
  Engine_.Restore(old->Before);
  Continuous_ = kNowhere;
  const std::uint64_t enough = std::uint64_t{Engine_.SampleRate()} * kRunMilliseconds / 1000;
  std::vector<TBlock> run;
  std::uint64_t frames = 0;
  while (!Stop_) {
    const std::uint32_t got = Render(hold);
    if (got == 0) {
      // The input failed: what is queued is played as it is, then it ends.
      Failed_ = Engine_.ReadFailed();
      Rendered_.notify_all();
      return;
    }
    run.push_back(std::move(Rendering_));
    frames += got;
    // The old block was taken meanwhile, or the settings changed again: the
    // run does not go on from what is heard; it begins anew.
    const auto first = FirstOutdated();
    if (first == Queue_.end() || first->Frame != from || Outdated(run.back())) return;
    if (frames >= enough || run.back().Frame + got >= end) break;
  }
  if (Stop_) return;
  // In place of the old blocks from there on, none of which may follow a
  // new one; the rest is rendered at the end of the queue as usual.
  const auto at = std::find_if(Queue_.begin(), Queue_.end(),
                               [from](const TBlock& block) { return block.Frame == from; });
  for (auto block = at; block != Queue_.end(); ++block) QueuedFrames_ -= block->Frames;
  Queue_.erase(at, Queue_.end());
  for (TBlock& block : run) {
    QueuedFrames_ += block.Frames;
    Queue_.push_back(std::move(block));
  }
  TailFrame_ = Queue_.back().Frame + Queue_.back().Frames;
  Continuous_ = TailFrame_;
  Engine_.Save(TailMark_);
  RenderedToEnd_ = TailFrame_ >= EndFrame_;
  Rendered_.notify_all();
}

void TPreviewFeeder::Loop(std::uint64_t frame) {
  if (!Engine_.Start(frame, &Stop_)) {
    const std::lock_guard<std::mutex> hold(Lock_);
    Failed_ = !Stop_;
    Rendered_.notify_all();
    return;
  }
  std::unique_lock<std::mutex> hold(Lock_);
  Engine_.Save(TailMark_);
  TailFrame_ = Engine_.Position();
  Continuous_ = TailFrame_;
  while (!Stop_) {
    // A change asked for: the blocks not taken yet are rendered again one
    // by one, each put in place of its old one, which the output takes
    // meanwhile rather than nothing.
    const auto old = FirstOutdated();
    if (old != Queue_.end() && !Failed_) {
      RenderAgain(old, hold);
      continue;
    }
    if (RenderedToEnd_ || Failed_ || QueuedFrames_ >= AheadFrames_) {
      Wake_.wait(hold, [this] {
        return Stop_ || ChangeAsked_ ||
               (!RenderedToEnd_ && !Failed_ && QueuedFrames_ < AheadFrames_);
      });
      ChangeAsked_ = false;
      continue;
    }
    // On at the end of what was rendered.
    if (Continuous_ != TailFrame_) Engine_.Restore(TailMark_);
    const std::uint32_t frames = Render(hold);
    if (frames == 0) {
      RenderedToEnd_ = true;
      Failed_ = Engine_.ReadFailed();
      Rendered_.notify_all();
      continue;
    }
    if (Rendering_.Frame + frames >= EndFrame_) RenderedToEnd_ = true;
    QueuedFrames_ += frames;
    TailFrame_ = Rendering_.Frame + frames;
    Continuous_ = TailFrame_;
    Engine_.Save(TailMark_);
    Queue_.push_back(std::move(Rendering_));
    Rendered_.notify_all();
  }
}

void TPreviewFeeder::MeterPosition(int channel, int band, std::int32_t position) {
  // Channel by channel, at frames 0, interval, ... of the block, bands A..D.
  if (channel < 0 || static_cast<std::size_t>(channel) >= Points_.size()) return;
  std::uint32_t& points = Points_[static_cast<std::size_t>(channel)];
  const std::uint64_t frame =
      Rendering_.Frame + std::uint64_t{points / kBands} * TZorvCalc::kMeterInterval;
  ++points;
  Rendering_.Meters.push_back({frame, channel, band, position});
}

void TPreviewFeeder::Changed() {
  const std::lock_guard<std::mutex> hold(Lock_);
  ChangeAsked_ = true;
  Wake_.notify_all();
}

bool TPreviewFeeder::WaitCurrent(int milliseconds) {
  std::unique_lock<std::mutex> hold(Lock_);
  return Rendered_.wait_for(hold, std::chrono::milliseconds(milliseconds),
                            [&] { return Failed_ || FirstOutdated() == Queue_.end(); });
}

std::uint32_t TPreviewFeeder::Take(float* out, std::uint32_t frames, std::uint32_t left,
                                   std::uint32_t right) {
  const std::uint32_t channels = Engine_.Channels();
  std::uint32_t done = 0;
  while (done < frames) {
    if (Offset_ == Current_.Frames) {
      {
        const std::lock_guard<std::mutex> hold(Lock_);
        if (Queue_.empty()) break;
        Current_ = std::move(Queue_.front());
        Queue_.pop_front();
        QueuedFrames_ -= Current_.Frames;
        Meters_.insert(Meters_.end(), Current_.Meters.begin(), Current_.Meters.end());
        Wake_.notify_all();
      }
      Offset_ = 0;
    }
    const std::uint32_t count = std::min(frames - done, Current_.Frames - Offset_);
    const float* from = Current_.Samples.data() + std::size_t{Offset_} * channels;
    float* to = out + std::size_t{done} * 2;
    for (std::uint32_t i = 0; i < count; ++i, from += channels, to += 2) {
      to[0] = from[left];
      to[1] = from[right];
    }
    Offset_ += count;
    done += count;
    Next_ += count;
  }
  return done;
}

bool TPreviewFeeder::Ended() const {
  if (Offset_ != Current_.Frames) return false;
  const std::lock_guard<std::mutex> hold(Lock_);
  return Queue_.empty() && (RenderedToEnd_ || Failed_);
}

bool TPreviewFeeder::ReadFailed() const {
  const std::lock_guard<std::mutex> hold(Lock_);
  return Failed_;
}

std::uint64_t TPreviewFeeder::QueuedFrames() const {
  const std::lock_guard<std::mutex> hold(Lock_);
  return QueuedFrames_;
}

std::vector<TPlayedMeter> TPreviewFeeder::TakeMeters(std::uint64_t frame) {
  const std::lock_guard<std::mutex> hold(Lock_);
  const auto due = std::find_if(Meters_.begin(), Meters_.end(),
                                [frame](const TPlayedMeter& meter) { return meter.Frame > frame; });
  std::vector<TPlayedMeter> taken(Meters_.begin(), due);
  Meters_.erase(Meters_.begin(), due);
  return taken;
}

}  // namespace zorv
