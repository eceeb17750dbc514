// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/preview_engine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <thread>

#include "app/audio_files.h"
#include "app/format_check.h"
#include "app/input_faults.h"
#include "app/messages.h"
#include "app/refusal_detail.h"

namespace zorv {

TPreviewEngine::TPreviewEngine() {
  // As a decode run sets its decoder up: the jobs of a block are shared out
  // among threads of its own, which decides how the channels are grouped.
  Pipeline_.SetChannelThreads(std::thread::hardware_concurrency() >= 2);
  // The arithmetic a decode run chooses unless told otherwise.
  Decoder_.SetPath(FastestPath());
}

void TPreviewEngine::Close() {
  Reader_.CloseFile();
  Open_ = false;
  Data_.reset();
  Frames_ = 0;
  Position_ = 0;
}

std::optional<TRefusal> TPreviewEngine::Open(const std::string& path) {
  Close();
  if (auto refusal = OpenDecodableInput(Reader_, path)) return refusal;
  for (const TChunkInfo& chunk : Reader_.Chunks()) {
    if (chunk.Is("data")) {
      Data_ = chunk;
      break;
    }
  }
  SampleRate_ = Reader_.SampleRate();
  Channels_ = Reader_.Channels();
  Layout_ = FrameLayoutOf(Reader_.BlockAlign(), Channels_, Reader_.FormatTag());
  FloatLayout_ = {TSampleFormat::Float32, Channels_};
  const std::uint32_t frameBytes = Layout_.BytesPerFrame();
  // A stream has no place to play from: a file's data chunk is always found.
  if (!Data_ || Reader_.IsStream() || frameBytes == 0) {
    Reader_.CloseFile();
    return TRefusal{std::string(messages::kCannotOpen), path, "not a file that can be played"};
  }
  Frames_ = std::min(Reader_.DeliverableDataBytes(), Data_->Size) / frameBytes;
  BlockFrames_ = std::clamp<std::uint32_t>(SampleRate_ * kBlockMilliseconds / 1000, 1,
                                           TZorvCalc::BlockCapacity);
  FadeFrames_ = std::max<std::uint32_t>(
      1, static_cast<std::uint32_t>(std::lround(SampleRate_ * kCrossfadeSeconds)));
  Bytes_.assign(std::size_t{BlockFrames_} * frameBytes, 0);
  FloatBytes_.assign(std::size_t{BlockFrames_} * FloatLayout_.BytesPerFrame(), 0);
  Samples_.assign(std::size_t{BlockFrames_} * Channels_ * 2, 0.0);
  In_.resize(Channels_);
  Out_.resize(Channels_);
  for (std::uint32_t c = 0; c < Channels_; ++c) {
    In_[c] = Samples_.data() + std::size_t{c} * BlockFrames_;
    Out_[c] = Samples_.data() + std::size_t{Channels_ + c} * BlockFrames_;
  }
  Decoder_.Prepare(SampleRate_, Channels_, 0);
  Open_ = true;
  Position_ = 0;
  return std::nullopt;
}

bool TPreviewEngine::ReadFrames(std::uint64_t frame, std::uint32_t frames) {
  const std::uint32_t frameBytes = Layout_.BytesPerFrame();
  const std::uint32_t len = frames * frameBytes;
  if (!Reader_.ReadChunkBody(*Data_, frame * frameBytes, Bytes_.data(), len)) {
    ReadFailed_ = true;
    return false;
  }
  SplitBlock(Bytes_.data(), len, Layout_, In_.data());
  // Float samples can be anything: the decoder sees only what the file
  // decode lets it see.
  if (Layout_.Format == TSampleFormat::Float32) {
    for (double* channel : In_) SanitiseInput(channel, frames, frames);
  }
  return true;
}

void TPreviewEngine::Decode(std::uint32_t frames) {
  RenderedLevels_ = Levels();
  for (std::uint32_t c = 0; c < Channels_; ++c) {
    if (RenderedLevels_[c] != Decoder_.LevelDb(c)) Decoder_.SetChannelLevel(c, RenderedLevels_[c]);
  }
  Pipeline_.ProcessBlock(In_.data(), Out_.data(), frames);
}

void TPreviewEngine::SetLevels(std::vector<double> dB) {
  if (dB.empty()) return;
  const std::lock_guard<std::mutex> hold(LevelLock_);
  RequestedLevels_ = std::move(dB);
}

std::vector<double> TPreviewEngine::Levels() const {
  std::vector<double> levels;
  {
    const std::lock_guard<std::mutex> hold(LevelLock_);
    levels = RequestedLevels_;
  }
  levels.resize(std::max<std::size_t>(Channels_, 1), levels.back());
  return levels;
}

void TPreviewEngine::Save(TMark& mark) const {
  mark.Position = Position_;
  mark.Fade = Fade_;
  mark.Channels.resize(Channels_);
  for (std::uint32_t c = 0; c < Channels_; ++c) {
    Decoder_.SaveChannel(static_cast<int>(c), mark.Channels[c]);
  }
}

void TPreviewEngine::Restore(const TMark& mark) {
  Position_ = mark.Position;
  Fade_ = mark.Fade;
  for (std::uint32_t c = 0; c < Channels_ && c < mark.Channels.size(); ++c) {
    Decoder_.RestoreChannel(static_cast<int>(c), mark.Channels[c]);
  }
}

bool TPreviewEngine::Start(std::uint64_t frame, const std::atomic<bool>* cancel) {
  if (!Open_) return false;
  ReadFailed_ = false;
  frame = std::min(frame, Frames_);
  const auto settle = static_cast<std::uint64_t>(kSettleSeconds * SampleRate_);
  std::uint64_t at = frame > settle ? frame - settle : 0;
  Decoder_.Reset();
  Decoder_.SetMeterListener(nullptr);
  while (at < frame) {
    if (cancel != nullptr && *cancel) return false;
    const auto frames =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(BlockFrames_, frame - at));
    if (!ReadFrames(at, frames)) return false;
    Decode(frames);
    at += frames;
  }
  Decoder_.SetMeterListener(Meters_);
  Position_ = frame;
  Fade_ = ListenInput_ ? FadeFrames_ : 0;
  return true;
}

std::uint32_t TPreviewEngine::Render(std::vector<float>& out) {
  if (!Open_ || ReadFailed_ || Position_ >= Frames_) return 0;
  const auto frames =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(BlockFrames_, Frames_ - Position_));
  if (!ReadFrames(Position_, frames)) return 0;
  Decoder_.SetMeterListener(Meters_);
  Decode(frames);
  // The float output of a decode, byte for byte.
  MergeBlock(Out_.data(), frames * FloatLayout_.BytesPerFrame(), FloatLayout_, FloatBytes_.data());
  out.resize(std::size_t{frames} * Channels_);
  std::memcpy(out.data(), FloatBytes_.data(), out.size() * sizeof(float));

  const bool input = ListenInput_;
  RenderedInput_ = input;
  if (input || Fade_ != 0) {
    for (std::uint32_t i = 0; i < frames; ++i) {
      if (input && Fade_ < FadeFrames_) ++Fade_;
      if (!input && Fade_ > 0) --Fade_;
      if (Fade_ == 0) continue;
      float* frame = out.data() + std::size_t{i} * Channels_;
      const double share = static_cast<double>(Fade_) / FadeFrames_;
      for (std::uint32_t c = 0; c < Channels_; ++c) {
        const auto original = static_cast<float>(In_[c][i]);
        frame[c] = Fade_ == FadeFrames_
                       ? original
                       : static_cast<float>(frame[c] + (original - frame[c]) * share);
      }
    }
  }
  Position_ += frames;
  return frames;
}

}  // namespace zorv
