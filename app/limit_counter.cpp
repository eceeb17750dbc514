// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/limit_counter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/gain_history.h"
#include "dsp/detector_constants.h"

namespace zorv {
namespace {

constexpr char kBandLetters[] = "ABCD";
// Shorter times would read 0.0 s.
constexpr double kShortestTold = 0.05;

std::string SecondsText(double seconds, char decimalPoint) {
  if (seconds < kShortestTold) return std::string("less than 0") + decimalPoint + "1 s";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  std::string result = text;
  std::replace(result.begin(), result.end(), '.', decimalPoint);
  return result;
}

}  // namespace

TBandLimit BandLimitOf(double volts) {
  if (volts <= kFloorVolts) return TBandLimit::Floor;
  if (volts >= kCeilingVolts) return TBandLimit::Ceiling;
  return TBandLimit::Inside;
}

void TLimitCounter::Start(std::uint32_t channels, std::uint32_t sampleRate,
                          std::uint64_t dataFrames, std::uint32_t meterInterval,
                          TBlockSource source, TGainHistory* marks) {
  Channels_ = channels;
  SampleRate_ = sampleRate;
  Interval_ = std::max<std::uint32_t>(1, meterInterval);
  DataFrames_ = dataFrames;
  Source_ = std::move(source);
  Marks_ = marks;
  Bands_.assign(static_cast<std::size_t>(channels) * kBands, TBandCount{});
  ChannelCounts_.assign(channels, TChannelCount{});
}

void TLimitCounter::Stop() {
  Source_ = nullptr;
  Marks_ = nullptr;
}

bool TLimitCounter::IntervalSilent(int channel, std::uint64_t frame, const double* samples,
                                   std::uint32_t frames) {
  TChannelCount& count = ChannelCounts_[static_cast<std::size_t>(channel)];
  if (count.SilenceFrame == frame) return count.Silent;
  count.SilenceFrame = frame;
  count.Silent = samples != nullptr && std::all_of(samples, samples + frames,
                                                   [](double sample) { return sample == 0.0; });
  return count.Silent;
}

void TLimitCounter::MeterVoltage(int channel, int band, double volts) {
  if (channel < 0 || static_cast<std::uint32_t>(channel) >= Channels_ || band < 0 ||
      band >= kBands || !Source_) {
    return;
  }
  const TBlockInHand block = Source_(channel);
  TBandCount& counts = Bands_[static_cast<std::size_t>(channel) * kBands + band];
  // The decoder counts its meter points afresh in every block.
  if (counts.Block != block.FirstFrame) {
    counts.Block = block.FirstFrame;
    counts.Point = 0;
  }
  const std::uint32_t offset = counts.Point++ * Interval_;
  const std::uint64_t frame = block.FirstFrame + offset;
  if (frame < SettleFrames(SampleRate_) || offset >= block.Frames) return;
  if (DataFrames_ != 0 && frame >= DataFrames_) return;
  // The point stands for the frames up to the next one, within the data.
  std::uint64_t frames = std::min(Interval_, block.Frames - offset);
  if (DataFrames_ != 0) frames = std::min(frames, DataFrames_ - frame);

  const bool silent =
      IntervalSilent(channel, frame, block.Samples != nullptr ? block.Samples + offset : nullptr,
                     static_cast<std::uint32_t>(frames));
  if (band == 0) {
    TChannelCount& channelCount = ChannelCounts_[static_cast<std::size_t>(channel)];
    channelCount.Counted += frames;
    if (silent) channelCount.Silence += frames;
  }
  if (silent) return;
  const TBandLimit limit = BandLimitOf(volts);
  if (limit == TBandLimit::Inside) return;
  (limit == TBandLimit::Floor ? counts.Floor : counts.Ceiling) += frames;
  if (Marks_ != nullptr) {
    Marks_->MarkLimit(frame, channel, band, limit);
  } else if (MarkSink_) {
    MarkSink_(frame, channel, band, limit);
  }
}

const TLimitCounter::TBandCount* TLimitCounter::Find(int channel, int band) const {
  if (channel < 0 || static_cast<std::uint32_t>(channel) >= Channels_ || band < 0 ||
      band >= kBands) {
    return nullptr;
  }
  return &Bands_[static_cast<std::size_t>(channel) * kBands + band];
}

std::uint64_t TLimitCounter::FloorFrames(int channel, int band) const {
  const TBandCount* counts = Find(channel, band);
  return counts != nullptr ? counts->Floor : 0;
}

std::uint64_t TLimitCounter::CeilingFrames(int channel, int band) const {
  const TBandCount* counts = Find(channel, band);
  return counts != nullptr ? counts->Ceiling : 0;
}

double TLimitCounter::FloorSeconds(int channel, int band) const {
  return SampleRate_ == 0 ? 0.0 : static_cast<double>(FloorFrames(channel, band)) / SampleRate_;
}

double TLimitCounter::CeilingSeconds(int channel, int band) const {
  return SampleRate_ == 0 ? 0.0 : static_cast<double>(CeilingFrames(channel, band)) / SampleRate_;
}

double TLimitCounter::SilenceSeconds(int channel) const {
  if (SampleRate_ == 0 || channel < 0 || static_cast<std::size_t>(channel) >= ChannelCounts_.size())
    return 0.0;
  return static_cast<double>(ChannelCounts_[static_cast<std::size_t>(channel)].Silence) /
         SampleRate_;
}

std::uint64_t TLimitCounter::CountedFrames(int channel) const {
  if (channel < 0 || static_cast<std::size_t>(channel) >= ChannelCounts_.size()) return 0;
  return ChannelCounts_[static_cast<std::size_t>(channel)].Counted;
}

bool TLimitCounter::AnyLimit() const {
  return std::any_of(Bands_.begin(), Bands_.end(),
                     [](const TBandCount& b) { return b.Floor != 0 || b.Ceiling != 0; });
}

TLimitTimes LimitTimesOf(const TLimitCounter& counter) {
  TLimitTimes times;
  for (int c = 0; c < static_cast<int>(counter.Channels()); ++c) {
    std::array<double, 4> floor{};
    std::array<double, 4> ceiling{};
    for (int b = 0; b < TLimitCounter::kBands; ++b) {
      floor[static_cast<std::size_t>(b)] = counter.FloorSeconds(c, b);
      ceiling[static_cast<std::size_t>(b)] = counter.CeilingSeconds(c, b);
    }
    times.FloorSeconds.push_back(floor);
    times.CeilingSeconds.push_back(ceiling);
    times.SilenceSeconds.push_back(counter.SilenceSeconds(c));
  }
  return times;
}

std::vector<std::string> DescribeLimitTimes(const TLimitCounter& counter, char decimalPoint) {
  std::vector<std::string> lines;
  for (int c = 0; c < static_cast<int>(counter.Channels()); ++c) {
    for (int b = 0; b < TLimitCounter::kBands; ++b) {
      const std::string band =
          std::string("band ") + kBandLetters[b] + " of channel " + std::to_string(c + 1);
      if (counter.CeilingFrames(c, b) != 0) {
        lines.push_back(band + " at its +10 dB ceiling for " +
                        SecondsText(counter.CeilingSeconds(c, b), decimalPoint));
      }
      if (counter.FloorFrames(c, b) != 0) {
        lines.push_back(band + " at its -32 dB floor for " +
                        SecondsText(counter.FloorSeconds(c, b), decimalPoint));
      }
    }
  }
  return lines;
}

std::string LimitSummary(const TLimitCounter& counter, char decimalPoint) {
  std::string text;
  for (int c = 0; c < static_cast<int>(counter.Channels()); ++c) {
    for (int b = 0; b < TLimitCounter::kBands; ++b) {
      std::string band(1, kBandLetters[b]);
      band.append(std::to_string(c + 1));
      for (const bool ceiling : {true, false}) {
        const std::uint64_t frames =
            ceiling ? counter.CeilingFrames(c, b) : counter.FloorFrames(c, b);
        if (frames == 0) continue;
        const double s = ceiling ? counter.CeilingSeconds(c, b) : counter.FloorSeconds(c, b);
        if (!text.empty()) text.append(", ");
        text.append(band).append(ceiling ? " ceiling " : " floor ");
        text.append(SecondsText(s, decimalPoint));
      }
    }
  }
  return text.empty() ? text : "bands at their limits: " + text;
}

}  // namespace zorv
