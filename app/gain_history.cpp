// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/gain_history.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace zorv {
namespace {

constexpr std::int32_t kNoMin = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kNoMax = std::numeric_limits<std::int32_t>::min();

std::uint16_t SaturatedSum(std::uint16_t a, std::uint16_t b) {
  return static_cast<std::uint16_t>(
      std::min<std::uint32_t>(std::uint32_t{a} + b, std::numeric_limits<std::uint16_t>::max()));
}

}  // namespace

TGainHistory::TGainHistory(std::size_t columns) : Capacity_(columns) {
  if (columns < 2) throw std::invalid_argument("a gain history needs at least 2 columns");
}

void TGainHistory::Start(std::uint32_t channels, std::uint32_t sampleRate,
                         std::uint64_t expectedFrames) {
  Channels_ = channels;
  SampleRate_ = sampleRate;
  ExpectedFrames_ = expectedFrames;
  Frames_ = 0;
  Used_ = 0;
  // The expected length fills the columns; an unknown one starts at one
  // frame per column and coarsens as it comes.
  ColumnFrames_ = std::max<std::uint64_t>(1, (expectedFrames + Capacity_ - 1) / Capacity_);
  Cells_.assign(static_cast<std::size_t>(channels) * kBands * Capacity_,
                TCell{kNoMin, kNoMax, 0, 0, 0, 0});
  Cells_.shrink_to_fit();
}

void TGainHistory::Merge() {
  const std::size_t half = (Used_ + 1) / 2;
  for (std::size_t c = 0; c < Channels_; ++c) {
    for (std::size_t b = 0; b < kBands; ++b) {
      for (std::size_t k = 0; k < half; ++k) {
        const TCell first = Cell(c, b, 2 * k);
        const TCell second =
            2 * k + 1 < Capacity_ ? Cell(c, b, 2 * k + 1) : TCell{kNoMin, kNoMax, 0, 0, 0, 0};
        Cell(c, b, k) = {std::min(first.Min, second.Min),
                         std::max(first.Max, second.Max),
                         first.Sum + second.Sum,
                         first.Count + second.Count,
                         SaturatedSum(first.Floor, second.Floor),
                         SaturatedSum(first.Ceiling, second.Ceiling)};
      }
      for (std::size_t k = half; k < Capacity_; ++k) Cell(c, b, k) = {kNoMin, kNoMax, 0, 0, 0, 0};
    }
  }
  Used_ = half;
  ColumnFrames_ *= 2;
}

void TGainHistory::Add(std::uint64_t frame, int channel, int band, std::int32_t position) {
  if (channel < 0 || static_cast<std::uint32_t>(channel) >= Channels_ || band < 0 ||
      band >= kBands) {
    return;
  }
  const std::size_t column = ColumnOf(frame);
  TCell& cell = Cell(static_cast<std::size_t>(channel), static_cast<std::size_t>(band), column);
  cell.Min = std::min(cell.Min, position);
  cell.Max = std::max(cell.Max, position);
  cell.Sum += position;
  ++cell.Count;
  Used_ = std::max(Used_, column + 1);
  Frames_ = std::max(Frames_, frame + 1);
}

std::size_t TGainHistory::ColumnOf(std::uint64_t frame) {
  while (frame / ColumnFrames_ >= Capacity_) Merge();
  return static_cast<std::size_t>(frame / ColumnFrames_);
}

void TGainHistory::MarkLimit(std::uint64_t frame, int channel, int band, TBandLimit limit) {
  if (channel < 0 || static_cast<std::uint32_t>(channel) >= Channels_ || band < 0 ||
      band >= kBands || limit == TBandLimit::Inside) {
    return;
  }
  const std::size_t column = ColumnOf(frame);
  TCell& cell = Cell(static_cast<std::size_t>(channel), static_cast<std::size_t>(band), column);
  std::uint16_t& points = limit == TBandLimit::Floor ? cell.Floor : cell.Ceiling;
  points = SaturatedSum(points, 1);
}

std::optional<TGainSpan> TGainHistory::At(int channel, int band, std::size_t column) const {
  if (channel < 0 || static_cast<std::uint32_t>(channel) >= Channels_ || band < 0 ||
      band >= kBands || column >= Capacity_) {
    return std::nullopt;
  }
  const TCell& cell =
      Cell(static_cast<std::size_t>(channel), static_cast<std::size_t>(band), column);
  if (cell.Count == 0) return std::nullopt;
  return TGainSpan{cell.Min, cell.Max,
                   static_cast<double>(cell.Sum) / static_cast<double>(cell.Count), cell.Floor,
                   cell.Ceiling};
}

void TGainHistoryRecorder::Start(std::uint32_t channels, std::uint32_t sampleRate,
                                 std::uint32_t framesPerBlock, std::uint64_t dataFrames,
                                 std::uint32_t meterInterval) {
  History_.Start(channels, sampleRate, dataFrames);
  FramesPerBlock_ = framesPerBlock;
  Interval_ = std::max<std::uint32_t>(1, meterInterval);
  PointsPerBlock_ = std::max<std::uint32_t>(1, (framesPerBlock + Interval_ - 1) / Interval_);
  DataFrames_ = dataFrames;
  Counts_.assign(static_cast<std::size_t>(channels) * TGainHistory::kBands, 0);
}

void TGainHistoryRecorder::MeterPosition(int channel, int band, std::int32_t position) {
  const std::size_t index =
      static_cast<std::size_t>(channel) * TGainHistory::kBands + static_cast<std::size_t>(band);
  if (channel < 0 || band < 0 || band >= TGainHistory::kBands || index >= Counts_.size()) return;
  const std::uint64_t n = Counts_[index]++;
  const std::uint64_t frame =
      n / PointsPerBlock_ * FramesPerBlock_ + n % PointsPerBlock_ * Interval_;
  if (DataFrames_ == 0 || frame < DataFrames_) History_.Add(frame, channel, band, position);
}

}  // namespace zorv
