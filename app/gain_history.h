// SPDX-License-Identifier: GPL-3.0-or-later
// The band gains of a whole decode, kept at a bounded resolution: the meter
// positions the decoder hands over are gathered into a fixed number of
// columns per channel and band, each the minimum, maximum and mean of the
// positions in its stretch of time. When a decode runs longer than the
// columns can hold, neighbouring columns are merged and each column covers
// twice the time, so memory does not grow with the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/limit_counter.h"
#include "dsp/meter_listener.h"

namespace zorv {

// Meter positions of one column, in tenths of a dB of band gain.
struct TGainSpan {
  std::int32_t Min = 0;
  std::int32_t Max = 0;
  double Mean = 0.0;
  // Meter points in the column at which the band sat at its floor or its
  // ceiling (outside digital silence and the first second).
  std::uint32_t FloorPoints = 0;
  std::uint32_t CeilingPoints = 0;
};

class TGainHistory {
 public:
  static constexpr std::size_t kDefaultColumns = 2048;
  static constexpr int kBands = 4;

  // columns: at least 2.
  explicit TGainHistory(std::size_t columns = kDefaultColumns);

  // A new decode: forgets what was held. expectedFrames is the length the
  // decode is expected to reach (0 when not known); it sets the first
  // resolution and the time axis of a picture.
  void Start(std::uint32_t channels, std::uint32_t sampleRate, std::uint64_t expectedFrames);
  // A meter position at a frame of the input; channels beyond Channels() and
  // bands beyond D are ignored.
  void Add(std::uint64_t frame, int channel, int band, std::int32_t position);
  // A meter point at which the band sat at a limit (TLimitCounter's marks).
  void MarkLimit(std::uint64_t frame, int channel, int band, TBandLimit limit);

  // What a picture of the history says above its panels (the reference
  // levels decoded with); empty: nothing. Start leaves it.
  void SetTitle(std::string title) { Title_ = std::move(title); }
  const std::string& Title() const { return Title_; }

  std::uint32_t Channels() const { return Channels_; }
  std::uint32_t SampleRate() const { return SampleRate_; }
  std::uint64_t ExpectedFrames() const { return ExpectedFrames_; }
  // One past the last frame that brought a position (0 before the first).
  std::uint64_t Frames() const { return Frames_; }
  // The length of the time axis: the expected length, or what came when more.
  std::uint64_t AxisFrames() const { return Frames_ > ExpectedFrames_ ? Frames_ : ExpectedFrames_; }
  bool Empty() const { return Frames_ == 0; }

  std::size_t Capacity() const { return Capacity_; }
  // Frames per column; column i covers frames [i x ColumnFrames, (i + 1) x ColumnFrames).
  std::uint64_t ColumnFrames() const { return ColumnFrames_; }
  // Columns up to the last one holding a position.
  std::size_t Columns() const { return Used_; }
  // The positions of a column; none when it received none.
  std::optional<TGainSpan> At(int channel, int band, std::size_t column) const;

  // Bytes held for the columns.
  std::size_t MemoryBytes() const { return Cells_.capacity() * sizeof(TCell); }

 private:
  struct TCell {
    std::int32_t Min;
    std::int32_t Max;
    std::int64_t Sum;
    std::uint32_t Count;
    // Points at a limit, held at their largest when more come (the plot
    // asks only whether there were any): the cell stays 24 bytes.
    std::uint16_t Floor;
    std::uint16_t Ceiling;
  };
  TCell& Cell(std::size_t channel, std::size_t band, std::size_t column) {
    return Cells_[(channel * kBands + band) * Capacity_ + column];
  }
  const TCell& Cell(std::size_t channel, std::size_t band, std::size_t column) const {
    return Cells_[(channel * kBands + band) * Capacity_ + column];
  }
  // Halves the resolution: column 2k and 2k + 1 become column k.
  void Merge();
  // The column of a frame, coarsening the columns as needed.
  std::size_t ColumnOf(std::uint64_t frame);

  std::size_t Capacity_;
  std::uint32_t Channels_ = 0;
  std::uint32_t SampleRate_ = 0;
  std::uint64_t ExpectedFrames_ = 0;
  std::uint64_t Frames_ = 0;
  std::uint64_t ColumnFrames_ = 1;
  std::size_t Used_ = 0;
  std::vector<TCell> Cells_;
  std::string Title_;
};

// Feeds a history from the decoder's meter hand-over. A run decodes whole
// blocks of framesPerBlock frames, and the decoder hands over every band's
// position at frames 0, interval, 2 x interval, ... of each block, so the
// n-th position of a channel's band lies at a frame known from n alone.
// Positions behind the end of the data (the tail of a short last block) are
// not kept; a dataFrames of 0 stands for a length not known.
class TGainHistoryRecorder : public TMeterListener {
 public:
  explicit TGainHistoryRecorder(TGainHistory& history) : History_(history) {}

  // Also starts the history.
  void Start(std::uint32_t channels, std::uint32_t sampleRate, std::uint32_t framesPerBlock,
             std::uint64_t dataFrames, std::uint32_t meterInterval);
  void MeterPosition(int channel, int band, std::int32_t position) override;

  TGainHistory& History() { return History_; }

 private:
  TGainHistory& History_;
  std::uint32_t FramesPerBlock_ = 0;
  std::uint32_t Interval_ = 1;
  std::uint32_t PointsPerBlock_ = 1;
  std::uint64_t DataFrames_ = 0;
  std::vector<std::uint64_t> Counts_;  // per channel and band
};

}  // namespace zorv
