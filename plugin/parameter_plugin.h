// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder plugin for the formats whose hosts hand its controls over as
// parameters (VST3, CLAP): the same instance the LV2 ports drive, the level
// the next block takes, and the band gains for the host to read. The level
// and the gains may be read and set from any thread; Process runs on the
// host's audio thread and neither allocates, locks nor calls the system.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "plugin/decoder_plugin.h"
#include "plugin/plugin_parameters.h"

namespace zorv::plugin {

// The level changes a host hands over with one block: one at its first
// frame applies to the block, one later within it from the next block on
// (as a control port read once per block); the latest of each counts.
class TLevelChanges {
 public:
  void Add(std::uint32_t frame, double levelDb) {
    (frame == 0 ? AtStart_ : Later_) = levelDb;
    (frame == 0 ? HasAtStart_ : HasLater_) = true;
  }

 private:
  friend class TParameterPlugin;
  bool HasAtStart_ = false;
  bool HasLater_ = false;
  double AtStart_ = 0.0;
  double Later_ = 0.0;
};

class TParameterPlugin {
 public:
  explicit TParameterPlugin(std::uint32_t channels);

  std::uint32_t Channels() const { return Channels_; }

  // Main thread. Makes the decoder for the host's rate, or says why not in
  // refusal ("Not supported sampling rate: N"). Allocates; the level stays.
  bool SetSampleRate(double sampleRate, std::string& refusal);
  std::uint32_t SampleRate() const { return Plugin_ != nullptr ? Plugin_->SampleRate() : 0; }
  // Main thread. The decoder from its start-up state (allocates); a
  // deactivation writes what was replaced in the input since the activation
  // to the standard error stream, as the LV2 plugin without a host log does.
  void Activate();
  void Deactivate();
  // Audio thread: back to the start-up state without allocating.
  void Reset();

  // Any thread: the level of the next block, in tenths of a dB.
  double Level() const;
  // Any thread: rounded to a tenth of a dB and kept in range, as the LV2
  // control; not a number keeps the level.
  void SetLevel(double levelDb);
  // Any thread: the value of a parameter (the level, or the latest gain of a
  // band), in tenths of a dB; 0 for an id the plugin does not have.
  double Value(std::uint32_t id) const;

  // Audio thread. Decodes frames from in to out (one array per channel;
  // they may be the same buffers), silence before an activation. With no
  // frames only the level changes.
  void Process(const float* const* in, float* const* out, std::uint32_t frames,
               const TLevelChanges& changes = {});
  // Audio thread, after Process: report(id, dB) for each band gain that
  // changed since the last call (every gain on the first call).
  template <class TReport>
  void ReportChangedGains(TReport report) {
    for (std::uint32_t i = 0; i < kBands * Channels_; ++i) {
      const float gain = GainPort_[i];
      if (gain != Reported_[i]) {
        Reported_[i] = gain;
        report(1 + i, GainDb(gain));
      }
    }
  }

 private:
  // A band gain output in tenths of a dB, as the meters hold it.
  static double GainDb(float output) {
    return std::round(static_cast<double>(output) * 10.0) / 10.0;
  }
  void ConnectControls();

  std::uint32_t Channels_;
  std::unique_ptr<TDecoderPlugin> Plugin_;
  std::atomic<float> Level_;
  // What the instance's ports point to, written on the audio thread.
  float LevelPort_ = 0.0F;
  float GainPort_[2 * kBands];
  float LatencyPort_ = 0.0F;
  float Reported_[2 * kBands];
  std::atomic<float> Gain_[2 * kBands];
};

}  // namespace zorv::plugin
