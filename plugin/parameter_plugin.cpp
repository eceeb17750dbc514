// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/parameter_plugin.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "dsp/reference_level_range.h"
#include "plugin/plugin_arithmetic.h"

namespace zorv::plugin {

static_assert(std::atomic<float>::is_always_lock_free);

TParameterPlugin::TParameterPlugin(std::uint32_t channels)
    : Channels_(channels), Level_(static_cast<float>(kDefaultLevelDb)) {
  std::fill(std::begin(GainPort_), std::end(GainPort_), kGainBeforeFirstBlock);
  std::fill(std::begin(Reported_), std::end(Reported_), std::numeric_limits<float>::quiet_NaN());
  for (std::atomic<float>& gain : Gain_) gain.store(kGainBeforeFirstBlock);
}

bool TParameterPlugin::SetSampleRate(double sampleRate, std::string& refusal) {
  if (Plugin_ != nullptr && Plugin_->SampleRate() == sampleRate) return true;
  Plugin_ = TDecoderPlugin::Create(Channels_, sampleRate, DefaultArithmetic(), refusal);
  if (Plugin_ == nullptr) return false;
  ConnectControls();
  return true;
}

void TParameterPlugin::ConnectControls() {
  const TPorts& ports = Plugin_->Ports();
  Plugin_->ConnectPort(TPorts::kLevel, &LevelPort_);
  for (std::uint32_t c = 0; c < Channels_; ++c) {
    for (std::uint32_t b = 0; b < kBands; ++b) {
      Plugin_->ConnectPort(ports.Gain(c, b), &GainPort_[kBands * c + b]);
    }
  }
  Plugin_->ConnectPort(ports.Latency(), &LatencyPort_);
}

void TParameterPlugin::Activate() {
  if (Plugin_ != nullptr) Plugin_->Activate();
}

void TParameterPlugin::Deactivate() {
  if (Plugin_ == nullptr) return;
  Plugin_->Deactivate();
  for (const std::string& line : Plugin_->TakeInputFaultLines()) {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

void TParameterPlugin::Reset() {
  if (Plugin_ != nullptr) Plugin_->Reset();
}

double TParameterPlugin::Level() const {
  return LevelOfControl(Level_.load(), kDefaultLevelDb);
}

void TParameterPlugin::SetLevel(double levelDb) {
  Level_.store(static_cast<float>(LevelOfControl(static_cast<float>(levelDb), Level())));
}

double TParameterPlugin::Value(std::uint32_t id) const {
  if (id == kLevelId) return Level();
  if (id >= ParameterCount(Channels_)) return 0.0;
  return GainDb(Gain_[id - 1].load());
}

void TParameterPlugin::Process(const float* const* in, float* const* out, std::uint32_t frames,
                               const TLevelChanges& changes) {
  if (changes.HasAtStart_) SetLevel(changes.AtStart_);
  if (frames > 0 && Plugin_ == nullptr) {
    for (std::uint32_t c = 0; c < Channels_; ++c) std::fill_n(out[c], frames, 0.0F);
  } else if (frames > 0) {
    LevelPort_ = Level_.load();
    const TPorts& ports = Plugin_->Ports();
    for (std::uint32_t c = 0; c < Channels_; ++c) {
      Plugin_->ConnectPort(ports.AudioIn(c), const_cast<float*>(in[c]));
      Plugin_->ConnectPort(ports.AudioOut(c), out[c]);
    }
    Plugin_->Run(frames);
    for (std::uint32_t i = 0; i < kBands * Channels_; ++i) Gain_[i].store(GainPort_[i]);
  }
  if (changes.HasLater_) SetLevel(changes.Later_);
}

}  // namespace zorv::plugin
