// SPDX-License-Identifier: GPL-3.0-or-later
// The preview's decode ahead of what is heard: a thread of its own renders
// the engine's blocks into a queue that it keeps at least Ahead frames long,
// so that the audio output takes ready samples and a busy processor delays
// only the thread, not the sound. A level or A/B change asked for of the
// engine renders the queued blocks again from the first one not yet taken:
// a run of kRunMilliseconds (or to the queue's end) is rendered while the
// old blocks stay queued and are taken meanwhile rather than nothing, then
// put in their place, the old ones after it dropped; a run whose first old
// block was taken meanwhile begins anew after it. So the change is heard as
// soon as the output has played what it holds, and what is heard is always
// what the engine alone makes of the settings at each block.
//
// Start, Stop and WaitQueued belong to one thread, Take and what it asks
// about the taking to one (another) thread at a time.
//
// What is taken goes out as plain stereo: the channel chosen for the left
// and the one for the right (the same one on both for a solo, or for a mono
// input), whatever the input's channel count.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/preview_engine.h"
#include "dsp/meter_listener.h"

namespace zorv {

// A meter position of a block taken, at its frame of the input.
struct TPlayedMeter {
  std::uint64_t Frame = 0;
  std::int32_t Channel = 0;
  std::int32_t Band = 0;
  std::int32_t Position = 0;
};

class TPreviewFeeder : private TMeterListener {
 public:
  // What is rendered again before it takes the place of the old blocks.
  static constexpr std::uint32_t kRunMilliseconds = 60;

  explicit TPreviewFeeder(TPreviewEngine& engine);
  ~TPreviewFeeder();
  TPreviewFeeder(const TPreviewFeeder&) = delete;
  TPreviewFeeder& operator=(const TPreviewFeeder&) = delete;

  // Renders from frame up to endFrame (clamped to the input's end) on the
  // thread, ahead frames ahead of what is taken (the engine's Start, the
  // silent settling, runs there too). Stops what ran before.
  void Start(std::uint64_t frame, std::uint64_t endFrame, std::uint32_t ahead);
  // Ends the thread; the engine is the caller's again.
  void Stop();
  bool Running() const { return Thread_.joinable(); }
  // Waits until frames frames are queued, or everything to the end is, or
  // the input could not be read; false when the wait timed out.
  bool WaitQueued(std::uint32_t frames, int milliseconds);

  // The frame the next one taken begins at (from any thread).
  std::uint64_t NextFrame() const { return Next_; }
  // Takes up to frames frames as stereo float pairs into out: channel left
  // on the left and right on the right (0-based, below the engine's
  // channels). Fewer when no more are queued yet: Ended() then tells the
  // end from a queue that ran dry.
  std::uint32_t Take(float* out, std::uint32_t frames, std::uint32_t left, std::uint32_t right);
  // Everything to the end frame has been taken, or the input failed.
  bool Ended() const;
  bool ReadFailed() const;
  // Frames rendered and not yet taken; of them, those of the block taken in
  // part (rendered with the settings asked for before, whatever comes).
  std::uint64_t QueuedFrames() const;
  std::uint32_t CurrentLeft() const { return Current_.Frames - Offset_; }
  // The level or the A/B setting was asked for anew: the queue is looked at.
  void Changed();
  // Waits until every block queued is rendered with the settings asked for
  // now; false when the wait timed out.
  bool WaitCurrent(int milliseconds);
  // The meter positions of the blocks taken up to frame, oldest first
  // (from any thread).
  std::vector<TPlayedMeter> TakeMeters(std::uint64_t frame);

 private:
  struct TBlock {
    std::uint64_t Frame = 0;
    std::uint32_t Frames = 0;
    std::vector<double> Levels;
    bool Input = false;
    std::vector<float> Samples;  // every channel, interleaved
    std::vector<TPlayedMeter> Meters;
    TPreviewEngine::TMark Before;
  };

  void Loop(std::uint64_t frame);
  // The next block at the engine's position into Rendering_ (cut at the end
  // frame), Lock_ let go meanwhile; its frames, 0 at the end or on failure.
  std::uint32_t Render(std::unique_lock<std::mutex>& hold);
  // A run from the queued block old on rendered again with the settings
  // asked for now and put in place of the old blocks from there (unless old
  // was taken meanwhile). Under Lock_.
  void RenderAgain(std::deque<TBlock>::iterator old, std::unique_lock<std::mutex>& hold);
  // Rendered otherwise than is asked for now; the first such queued block.
  // Under Lock_.
  bool Outdated(const TBlock& block) const;
  std::deque<TBlock>::iterator FirstOutdated();
  void MeterPosition(int channel, int band, std::int32_t position) override;

  TPreviewEngine& Engine_;
  std::thread Thread_;
  std::atomic<bool> Stop_{false};
  std::uint64_t EndFrame_ = 0;
  std::uint64_t AheadFrames_ = 0;

  mutable std::mutex Lock_;
  std::condition_variable Wake_;      // the thread: room, a change, or the end
  std::condition_variable Rendered_;  // the waiter of WaitQueued
  std::deque<TBlock> Queue_;
  std::uint64_t QueuedFrames_ = 0;
  bool RenderedToEnd_ = false;
  bool Failed_ = false;
  bool ChangeAsked_ = false;

  // The block the thread renders, and the meter points seen in it per channel.
  TBlock Rendering_;
  std::vector<std::uint32_t> Points_;
  // The thread's: where the last block queued ends and the engine's state
  // there; the frame up to which the engine's state goes on from what is
  // queued or was taken (kNowhere: from nothing).
  static constexpr std::uint64_t kNowhere = ~std::uint64_t{0};
  std::uint64_t TailFrame_ = 0;
  TPreviewEngine::TMark TailMark_;
  std::uint64_t Continuous_ = kNowhere;

  // The taker's side (one thread).
  TBlock Current_;
  std::uint32_t Offset_ = 0;  // frames of Current_ taken
  std::atomic<std::uint64_t> Next_{0};
  std::vector<TPlayedMeter> Meters_;  // under Lock_
};

}  // namespace zorv
