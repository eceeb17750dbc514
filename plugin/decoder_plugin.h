// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder as an audio plugin: one instance per track, its ports, the
// decoder and the working buffers. The host's blocks may have any length;
// they are decoded in pieces the decoder takes. Nothing in Run allocates,
// locks, waits or calls the system.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/input_faults.h"
#include "dsp/decode_path.h"
#include "dsp/meter_listener.h"
#include "dsp/reference_level_range.h"
#include "dsp/zorv_calc.h"

namespace zorv::plugin {

// Port numbers, as the Turtle files declare them: the reference level, the
// audio inputs, the audio outputs, the band gains (channel 1 A..D, then
// channel 2 A..D) and the latency.
struct TPorts {
  std::uint32_t Channels;
  static constexpr std::uint32_t kLevel = 0;
  std::uint32_t AudioIn(std::uint32_t channel) const { return 1 + channel; }
  std::uint32_t AudioOut(std::uint32_t channel) const { return 1 + Channels + channel; }
  std::uint32_t Gain(std::uint32_t channel, std::uint32_t band) const {
    return 1 + 2 * Channels + kBands * channel + band;
  }
  std::uint32_t Latency() const { return 1 + (2 + kBands) * Channels; }
  std::uint32_t Count() const { return Latency() + 1; }
};

// The reference level control takes kMinLevelDb .. kMaxLevelDb, from
// kDefaultLevelDb (dsp/reference_level_range.h; zorv.ttl states them too).
// What a band gain output shows before the first block: the gain of the
// decoder's start-up state, the lowest a meter reports (-32 dB truncated to
// the meters' tenths), dB. The outputs span -31.9 .. +10.0, as the Turtle
// file states.
inline constexpr float kGainBeforeFirstBlock = -31.9F;

// The decoder works sample by sample: the output is not delayed.
inline constexpr std::uint32_t kLatencyFrames = 0;

// The level the decoder takes for a control value: rounded to a tenth of a
// dB, as the window's scroll bar and the command line hold it, and kept in
// -30.0 .. 0.0. Not a number gives the previous level.
double LevelOfControl(float value, double previous);

// The latest meter position of every band, as the decoder hands them over.
class TLatestMeters : public TMeterListener {
 public:
  TLatestMeters() { Reset(); }
  void MeterPosition(int channel, int band, std::int32_t position) override {
    Position_[channel][band] = position;
    Seen_ = true;
  }
  void Reset() { Seen_ = false; }
  // The band gain in dB: the position / 10, or the start value before the
  // decoder has handed over any.
  float GainDb(int channel, int band) const {
    return Seen_ ? static_cast<float>(Position_[channel][band]) / 10.0F : kGainBeforeFirstBlock;
  }

 private:
  std::int32_t Position_[kMaxChannels][kBands] = {};
  bool Seen_ = false;
};

class TDecoderPlugin {
 public:
  // An instance for channels (1 or 2) at sampleRate, or null with the reason
  // in refusal when the decoder has no tables for the rate.
  static std::unique_ptr<TDecoderPlugin> Create(std::uint32_t channels, double sampleRate,
                                                TDecodePath path, std::string& refusal);

  TDecoderPlugin(const TDecoderPlugin&) = delete;
  TDecoderPlugin& operator=(const TDecoderPlugin&) = delete;

  // data is a float (control port) or an array of floats (audio port); an
  // unknown port is ignored.
  void ConnectPort(std::uint32_t port, void* data);
  // The decoder from its start-up state, as when the program starts: every
  // activation after a deactivation starts afresh. Allocates.
  void Activate();
  void Deactivate() {}
  // The decoder back to its start-up state without allocating (a host's
  // reset on its audio thread); the level stays.
  void Reset();
  // Decodes frames frames from the inputs to the outputs (which may be the
  // same buffers) and sets the control outputs. An input sample that is not
  // finite is decoded as silence, one above +60 dBFS as +60 dBFS, and counted.
  void Run(std::uint32_t frames);
  // What Run changed in the input since the activation (or since the last
  // call), the frames counted from the activation; resets the counts. For
  // the host's log, outside Run.
  TInputFaults TakeInputFaults() { return std::exchange(Faults_, {}); }
  // The same as the lines a host's log shows: "Zorv decoder: ... (since the
  // activation)", without the line end.
  std::vector<std::string> TakeInputFaultLines();

  const TPorts& Ports() const { return Ports_; }
  std::uint32_t SampleRate() const { return SampleRate_; }
  TDecodePath Path() const { return Path_; }

 private:
  TDecoderPlugin(std::uint32_t channels, std::uint32_t sampleRate, TDecodePath path);
  // Silence on the connected outputs: before an activation, or when an
  // audio port is missing.
  void WriteSilence(std::uint32_t frames);
  void WriteControls();

  TPorts Ports_;
  std::uint32_t SampleRate_;
  TDecodePath Path_;

  const float* LevelPort_ = nullptr;
  const float* In_[kMaxChannels] = {};
  float* Out_[kMaxChannels] = {};
  float* GainPort_[kMaxChannels][kBands] = {};
  float* LatencyPort_ = nullptr;

  std::unique_ptr<TZorvCalc> Decoder_;
  TLatestMeters Meters_;
  double LevelDb_ = kDefaultLevelDb;
  TInputFaults Faults_;
  std::uint64_t FramesRun_ = 0;  // since the activation
  // One piece of the host's block per channel, in doubles.
  std::unique_ptr<double[]> InBuffer_[kMaxChannels];
  std::unique_ptr<double[]> OutBuffer_[kMaxChannels];
};

}  // namespace zorv::plugin
