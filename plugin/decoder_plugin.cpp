// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/decoder_plugin.h"

#include <algorithm>
#include <cmath>

#include "app/messages.h"
#include "app/sample_conversion.h"
#include "dsp/sample_rates.h"

namespace zorv::plugin {
namespace {

// The rate as a whole number of Hz that the decoder has tables for, else 0.
std::uint32_t SupportedRate(double sampleRate) {
  if (!(sampleRate > 0.0 && sampleRate < 1e6) || sampleRate != std::floor(sampleRate)) return 0;
  const auto rate = static_cast<std::uint32_t>(sampleRate);
  return RateIndex(rate) >= 0 ? rate : 0;
}

std::string RateText(double sampleRate) {
  if (std::isfinite(sampleRate) && sampleRate == std::floor(sampleRate) &&
      std::fabs(sampleRate) < 1e15) {
    return std::to_string(static_cast<long long>(sampleRate));
  }
  return std::to_string(sampleRate);
}

// The port buffers hold native floats: the bytes of a little-endian 32-bit
// float block of one channel, which the program's own conversion reads and
// writes (float to double exactly; double rounded to float, not clipped).
const std::uint8_t* BytesOf(const float* samples) {
  return reinterpret_cast<const std::uint8_t*>(samples);
}
std::uint8_t* BytesOf(float* samples) {
  return reinterpret_cast<std::uint8_t*>(samples);
}

}  // namespace

double LevelOfControl(float value, double previous) {
  if (std::isnan(value)) return previous;
  const double tenths = std::round(static_cast<double>(value) * 10.0);
  return std::clamp(tenths / 10.0, kMinLevelDb, kMaxLevelDb);
}

std::unique_ptr<TDecoderPlugin> TDecoderPlugin::Create(std::uint32_t channels, double sampleRate,
                                                       TDecodePath path, std::string& refusal) {
  const std::uint32_t rate = SupportedRate(sampleRate);
  if (rate == 0) {
    refusal = std::string(messages::kUnsupportedRate) + RateText(sampleRate);
    return nullptr;
  }
  return std::unique_ptr<TDecoderPlugin>(new TDecoderPlugin(channels, rate, path));
}

TDecoderPlugin::TDecoderPlugin(std::uint32_t channels, std::uint32_t sampleRate, TDecodePath path)
    : Ports_{channels}, SampleRate_(sampleRate), Path_(path) {
  for (std::uint32_t c = 0; c < channels; ++c) {
    InBuffer_[c] = std::make_unique<double[]>(TZorvCalc::BlockCapacity);
    OutBuffer_[c] = std::make_unique<double[]>(TZorvCalc::BlockCapacity);
  }
}

void TDecoderPlugin::ConnectPort(std::uint32_t port, void* data) {
  if (port == TPorts::kLevel) {
    LevelPort_ = static_cast<const float*>(data);
    return;
  }
  if (port == Ports_.Latency()) {
    LatencyPort_ = static_cast<float*>(data);
    return;
  }
  for (std::uint32_t c = 0; c < Ports_.Channels; ++c) {
    if (port == Ports_.AudioIn(c)) In_[c] = static_cast<const float*>(data);
    if (port == Ports_.AudioOut(c)) Out_[c] = static_cast<float*>(data);
    for (std::uint32_t b = 0; b < kBands; ++b) {
      if (port == Ports_.Gain(c, b)) GainPort_[c][b] = static_cast<float*>(data);
    }
  }
}

void TDecoderPlugin::Activate() {
  // A fresh decoder: filter and detector states, and the level, as at start-up.
  // Built aside, so that a failed allocation leaves no half-prepared decoder.
  Decoder_.reset();
  auto decoder = std::make_unique<TZorvCalc>();
  decoder->SetPath(Path_);
  decoder->SetMeterListener(&Meters_);
  decoder->Prepare(SampleRate_, Ports_.Channels, 0);
  Decoder_ = std::move(decoder);
  LevelDb_ = kDefaultLevelDb;
  Meters_.Reset();
  Faults_ = {};
  FramesRun_ = 0;
}

void TDecoderPlugin::Reset() {
  if (Decoder_ != nullptr) Decoder_->Reset();
  Meters_.Reset();
}

std::vector<std::string> TDecoderPlugin::TakeInputFaultLines() {
  std::vector<std::string> lines = InputFaultNotes(TakeInputFaults(), SampleRate_);
  for (std::string& line : lines) line = "Zorv decoder: " + line + " (since the activation)";
  return lines;
}

void TDecoderPlugin::Run(std::uint32_t frames) {
  bool connected = Decoder_ != nullptr;
  for (std::uint32_t c = 0; c < Ports_.Channels; ++c) {
    connected = connected && In_[c] != nullptr && Out_[c] != nullptr;
  }
  if (!connected) {
    WriteSilence(frames);
    WriteControls();
    return;
  }

  // The level applies from this block on, as the window's applies from the next block.
  if (LevelPort_ != nullptr) {
    const double level = LevelOfControl(*LevelPort_, LevelDb_);
    if (level != LevelDb_) {
      LevelDb_ = level;
      Decoder_->SetLevel(level);
    }
  }

  const bool stereo = Ports_.Channels == 2;
  for (std::uint32_t done = 0; done < frames;) {
    const std::uint32_t piece = std::min(frames - done, TZorvCalc::BlockCapacity);
    const std::uint32_t bytes = piece * static_cast<std::uint32_t>(sizeof(float));
    for (std::uint32_t c = 0; c < Ports_.Channels; ++c) {
      SplitBlock(BytesOf(In_[c] + done), bytes, TSampleLayout::Float32Mono, InBuffer_[c].get(),
                 nullptr);
      Faults_.Add(SanitiseInput(InBuffer_[c].get(), piece, piece), FramesRun_ + done);
    }
    Decoder_->ProcessBlock(InBuffer_[0].get(), stereo ? InBuffer_[1].get() : nullptr,
                           OutBuffer_[0].get(), stereo ? OutBuffer_[1].get() : nullptr, piece);
    for (std::uint32_t c = 0; c < Ports_.Channels; ++c) {
      MergeBlock(OutBuffer_[c].get(), nullptr, bytes, TSampleLayout::Float32Mono,
                 BytesOf(Out_[c] + done));
    }
    done += piece;
  }
  FramesRun_ += frames;
  WriteControls();
}

void TDecoderPlugin::WriteSilence(std::uint32_t frames) {
  for (std::uint32_t c = 0; c < Ports_.Channels; ++c) {
    if (Out_[c] != nullptr) std::fill_n(Out_[c], frames, 0.0F);
  }
}

void TDecoderPlugin::WriteControls() {
  for (std::uint32_t c = 0; c < Ports_.Channels; ++c) {
    for (std::uint32_t b = 0; b < kBands; ++b) {
      if (GainPort_[c][b] != nullptr) *GainPort_[c][b] = Meters_.GainDb(c, b);
    }
  }
  if (LatencyPort_ != nullptr) *LatencyPort_ = static_cast<float>(kLatencyFrames);
}

}  // namespace zorv::plugin
