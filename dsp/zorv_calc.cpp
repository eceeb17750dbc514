// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/zorv_calc.h"

#include <cmath>

#include "dsp/level_factors.h"
#include "dsp/reference_level_range.h"
#ifndef ZORV_NO_EXTENDED
#include "dsp/power_of_ten.h"
#endif

namespace zorv {
namespace {

// Until Prepare: the two channels of the original stereo decoder.
constexpr std::size_t kInitialChannels = 2;

}  // namespace

double TZorvCalc::LevelFactorOf(double dB) {
  // A level on the 0.1 dB grid is the tenths over 10.0, rounded once.
  if (dB >= kMinLevelDb && dB <= kMaxLevelDb) {
    const int tenths = static_cast<int>(dB * 10.0 + (dB < 0 ? -0.5 : 0.5));
    if (tenths / 10.0 == dB) return kLevelFactors[tenths - kMinLevelTenths];
  }
  return LevelFactorByPower(dB);
}

double TZorvCalc::LevelFactorByPower(double dB) {
#ifndef ZORV_NO_EXTENDED
  return Store(PowerOfTen(Extended{dB} / 20.0L));
#else
  // Without the reference arithmetic a level off the grid of tenths has no
  // factor bit for bit the reference's: the front ends of such a build take
  // levels on the grid alone, whose factors come from the table.
  return std::pow(10.0, dB / 20.0);
#endif
}

TZorvCalc::TZorvCalc() : Decoders_(kInitialChannels) {
  SetLevel(kDefaultLevelDb);
  Block_.Meters.resize(Decoders_.size());
}

void TZorvCalc::SetLevel(double dB) {
  LevelDb_.fill(dB);
  LevelFactor_.fill(LevelFactorOf(dB));
}

void TZorvCalc::SetChannelLevel(std::uint32_t channel, double dB) {
  if (channel >= kMaxChannels) return;
  LevelDb_[channel] = dB;
  LevelFactor_[channel] = LevelFactorOf(dB);
}

void TZorvCalc::SetPath(TDecodePath path) {
  Path_ = PathSupported(path) ? path : TDecodePath::Portable;
}

void TZorvCalc::Prepare(std::uint32_t sampleRate, std::uint32_t channels,
                        std::uint32_t debugChannel) {
  SampleRate_ = sampleRate;
  Channels_ = channels;
  DebugChannel_ = debugChannel;
  // Channels are added, never dropped: each keeps its state for later runs.
  if (channels <= kMaxChannels && channels > Decoders_.size()) {
    Decoders_.resize(channels);
    Block_.Meters.resize(channels);
  }
  for (TChannelDecoder& decoder : Decoders_) decoder.Setup(SampleRate_);
  Prepared_ = true;
}

void TZorvCalc::Reset() {
  // A new decoder's channels start from Init; Prepare then sets them up for
  // the rate, which loads coefficients and leaves the state alone.
  for (TChannelDecoder& decoder : Decoders_) {
    decoder.Init();
    if (Prepared_) decoder.Setup(SampleRate_);
  }
}

bool TZorvCalc::PlanBlock(TBlock& block, const double* const* in, double* const* out,
                          std::uint32_t count, int threads, bool staged) const {
  const bool debug = DebugChannel_ >= 1 && DebugChannel_ <= kBands;
  // The debug output takes channel 2's place; then only channel 1 is decoded.
  const int channels = debug ? 1 : static_cast<int>(Channels_);
  double* debugOut = debug && Channels_ >= 2 && out != nullptr ? out[1] : nullptr;
  const bool debugMissing = debug && Channels_ >= 2 && debugOut == nullptr;
  if (in == nullptr || out == nullptr || debugMissing) return false;
  return PlanChannels(block, channels, in, out, debugOut, count, threads, staged);
}

double* TZorvCalc::TBlock::WeightedOf(int channel) {
  return Weighted + static_cast<std::size_t>(channel) * Count * kBands;
}

bool TZorvCalc::PlanChannels(TBlock& block, int channels, const double* const* in,
                             double* const* out, double* debugOut, std::uint32_t count, int threads,
                             bool staged) const {
  if (SampleRate_ == 0 || Channels_ == 0 || Channels_ > kMaxChannels || count == 0) return false;
  // More frames than a block holds would run past the meter tables.
  if (count > BlockCapacity) return false;
  for (int c = 0; c < channels; ++c) {
    if (in[c] == nullptr || out[c] == nullptr) return false;
  }

  block.Path = Path_;
  block.Count = count;
  std::copy(LevelFactor_.begin(), LevelFactor_.begin() + channels, block.Level.begin());
  block.Channels = channels;
  block.DebugOut = debugOut;
  block.DebugBand = debugOut != nullptr ? static_cast<int>(DebugChannel_) - 1 : 0;
  std::copy(in, in + channels, block.In.begin());
  std::copy(out, out + channels, block.Out.begin());
  if (block.Meters.size() < static_cast<std::size_t>(channels)) block.Meters.resize(channels);
  // The fast paths decode channels side by side in one kernel call, which
  // costs a thread less time per channel than a channel alone: two or more
  // to a job (a channel alone only when there is one), as many as keep every
  // thread busy. The reference gains nothing from that. Measured on one
  // thread (CPU time per frame of a job, AVX2): 40 ns for one channel, 52
  // for two, 68 for three, 90 for four. So the jobs are shared out evenly:
  // five channels are jobs of three and two (120 ns), not four and one
  // (130 ns).
  threads = std::max(threads, 1);
  const int perThread = (channels + threads - 1) / threads;
  block.ChannelsPerJob = block.Path == TDecodePath::Extended
                             ? 1
                             : std::clamp(perThread, std::min(channels, 2), fast::kMaxGroups);
  block.Jobs = (channels + block.ChannelsPerJob - 1) / block.ChannelsPerJob;
  block.Staged =
      staged && block.Path != TDecodePath::Extended && debugOut == nullptr && channels <= 2;
  if (block.Staged) {
    block.ChannelsPerJob = channels;
    block.Jobs = 2;
    const std::size_t size = static_cast<std::size_t>(channels) * count * kBands;
    if (size <= block.WeightedRoomSize) {
      block.Weighted = block.WeightedRoom;
    } else {
      if (block.OwnWeighted.Size() < size * sizeof(double))
        block.OwnWeighted = TPageBuffer(size * sizeof(double));
      block.Weighted = reinterpret_cast<double*>(block.OwnWeighted.Data());
    }
  }
  return true;
}

void TZorvCalc::DecodeJob(TBlock& block, int job) {
  const int first = block.FirstChannel(job);
  const int channels = block.JobChannels(job);
  if (block.Path != TDecodePath::Extended) {
    DecodeLanes(block, first, channels, block.JobStage(job));
    return;
  }
  for (int c = first; c < first + channels; ++c) {
    Decoders_[c].Decode(block.In[c], block.Out[c], block.Count, block.Level[c], block.Meters[c],
                        c == 0 ? block.DebugOut : nullptr, block.DebugBand);
  }
}

void TZorvCalc::HandOverMeters(const TBlock& block) const {
  if (Meters_ == nullptr) return;
  for (int c = 0; c < block.Channels; ++c) {
    EmitMeterPositions(*Meters_, c, block.Meters[c], block.Count);
  }
}

std::int32_t TZorvCalc::DecodePlanned(TBlock& block) {
  for (int job = 0; job < block.Jobs; ++job) DecodeJob(block, job);
  HandOverMeters(block);
  return static_cast<std::int32_t>(block.Count);
}

std::int32_t TZorvCalc::ProcessBlock(const double* const* in, double* const* out,
                                     std::uint32_t count) {
  if (!PlanBlock(Block_, in, out, count, 1, false)) return 0;
  return DecodePlanned(Block_);
}

std::int32_t TZorvCalc::ProcessBlock(const double* inL, const double* inR, double* outL,
                                     double* outR, std::uint32_t count) {
  if (inL == nullptr || outL == nullptr) return 0;
  const bool debug = DebugChannel_ >= 1 && DebugChannel_ <= kBands;
  const bool stereo = Channels_ >= 2 && inR != nullptr && outR != nullptr && !debug;
  const double* in[] = {inL, inR};
  double* out[] = {outL, outR};
  if (!PlanChannels(Block_, stereo ? 2 : 1, in, out, debug ? outR : nullptr, count, 1, false))
    return 0;
  return DecodePlanned(Block_);
}

}  // namespace zorv
