// SPDX-License-Identifier: GPL-3.0-or-later
// How long each band of each channel sat at the limits of its control
// voltage during a decode: at the floor (-5.824 V, -32 dB of gain), where it
// expands no further, and at the ceiling (+1.82 V, +10 dB), where peaks are no
// longer expanded (within a tenth of a dB, see kNearLimitVolts). Between the two the reference
// level only scales the whole output (a gain of half the level's change); outside, it changes the
// sound.
//
// Counted at the meter points (every 100 frames of a block), each standing
// for the frames up to the next point. Two stretches are left out: the first
// second, in which the bands settle from the state the decode began in, and
// digital silence (a meter interval whose input samples are all zero), where
// every band falls to its floor whatever the level; the silence is counted
// on its own.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dsp/detector_constants.h"
#include "dsp/meter_listener.h"

namespace zorv {

class TGainHistory;

enum class TBandLimit : std::uint8_t { Inside, Floor, Ceiling };

// A band counts as at a limit within a tenth of a dB of gain of it (the
// meter then reads -31.9 dB, or +9.9 and +10.0 dB). A band held at a limit
// is exactly there only now and then: between the charging steps that the
// clamp cuts off, the discharge current lowers it by a ripple of some
// thousandths of a volt (a tenth of a dB is 0.0182 V).
inline constexpr double kNearLimitVolts =
    static_cast<double>(detector::kVoltsPerDecade / detector::kMeterScale);
inline constexpr double kFloorVolts = detector::kVoltageMin + kNearLimitVolts;
inline constexpr double kCeilingVolts = detector::kVoltageMax - kNearLimitVolts;

// Where a control voltage lies: at (within a tenth of a dB of) a limit, or
// inside.
TBandLimit BandLimitOf(double volts);

class TLimitCounter : public TMeterListener {
 public:
  static constexpr int kBands = 4;

  // The block whose meter points are being handed over (the block in hand):
  // its first frame from the start of the data, its length (the decoder's
  // meter points are counted afresh in each block) and the input samples
  // of a channel (null when not known: no silence is then recognised).
  struct TBlockInHand {
    std::uint64_t FirstFrame = 0;
    std::uint32_t Frames = 0;
    const double* Samples = nullptr;
  };
  using TBlockSource = std::function<TBlockInHand(int channel)>;

  // A new decode of channels at sampleRate, with meter points every
  // meterInterval frames of a block; dataFrames (0: not known) ends the
  // count. marks, when given, receives every counted point at a limit (the
  // plot's shading).
  void Start(std::uint32_t channels, std::uint32_t sampleRate, std::uint64_t dataFrames,
             std::uint32_t meterInterval, TBlockSource source, TGainHistory* marks = nullptr);
  // Stops asking for blocks and marking (the run's buffers are gone); the
  // counts stay.
  void Stop();
  // Where the marks go when Start was given no history: a front end that
  // keeps its history on another thread passes them on in order.
  using TMarkSink =
      std::function<void(std::uint64_t frame, int channel, int band, TBandLimit limit)>;
  void SetMarkSink(TMarkSink sink) { MarkSink_ = std::move(sink); }

  void MeterVoltage(int channel, int band, double volts) override;
  void MeterPosition(int /*channel*/, int /*band*/, std::int32_t /*position*/) override {}

  std::uint32_t Channels() const { return Channels_; }
  std::uint32_t SampleRate() const { return SampleRate_; }
  std::uint64_t FloorFrames(int channel, int band) const;
  std::uint64_t CeilingFrames(int channel, int band) const;
  double FloorSeconds(int channel, int band) const;
  double CeilingSeconds(int channel, int band) const;
  // Digital silence in a channel, after the first second.
  double SilenceSeconds(int channel) const;
  // Frames counted (after the first second, silence included) in a channel.
  std::uint64_t CountedFrames(int channel) const;
  // Some band of some channel touched a limit.
  bool AnyLimit() const;

  // Frames after the start of a decode that are not counted.
  static std::uint64_t SettleFrames(std::uint32_t sampleRate) { return sampleRate; }

 private:
  struct TBandCount {
    std::uint64_t Floor = 0;
    std::uint64_t Ceiling = 0;
    std::uint64_t Block = UINT64_MAX;  // first frame of the block of the last point
    std::uint32_t Point = 0;           // its index in that block
  };
  struct TChannelCount {
    std::uint64_t Silence = 0;
    std::uint64_t Counted = 0;
    std::uint64_t SilenceFrame = UINT64_MAX;  // the frame Silent was judged for
    bool Silent = false;
  };
  const TBandCount* Find(int channel, int band) const;
  bool IntervalSilent(int channel, std::uint64_t frame, const double* samples,
                      std::uint32_t frames);

  std::uint32_t Channels_ = 0;
  std::uint32_t SampleRate_ = 0;
  std::uint32_t Interval_ = 1;
  std::uint64_t DataFrames_ = 0;
  TBlockSource Source_;
  TGainHistory* Marks_ = nullptr;
  TMarkSink MarkSink_;
  std::vector<TBandCount> Bands_;  // per channel and band
  std::vector<TChannelCount> ChannelCounts_;
};

// The counts in seconds, per channel (and band A..D), for a report.
struct TLimitTimes {
  std::vector<std::array<double, 4>> FloorSeconds;
  std::vector<std::array<double, 4>> CeilingSeconds;
  std::vector<double> SilenceSeconds;
};
TLimitTimes LimitTimesOf(const TLimitCounter& counter);

// "band D of channel 1 at its +10 dB ceiling for 2.3 s" for every band and
// limit that was touched ("for less than 0.1 s" when briefly); numbers with
// decimalPoint.
std::vector<std::string> DescribeLimitTimes(const TLimitCounter& counter, char decimalPoint = '.');

// The times of every band as a short summary for a status line: "bands at
// their limits: A1 floor 3.2 s, D1 ceiling 2.3 s", or empty when none.
std::string LimitSummary(const TLimitCounter& counter, char decimalPoint = '.');

}  // namespace zorv
