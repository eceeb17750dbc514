// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/meter_log.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace zorv::cli {

TMeterLog::TMeterLog(std::ostream& out, const TDecodeRun& run, std::uint32_t sampleRate,
                     std::uint32_t channels)
    : Out_(out), Run_(run), SampleRate_(sampleRate), Channels_(channels), Calls_(channels, 0) {
  Out_ << "# zorv-decode meter log: " << SampleRate_ << " Hz; one row per meter point (every "
       << TZorvCalc::kMeterInterval
       << " frames of a block); positions in tenths of a dB of band gain\n";
  std::string columns = "frame,seconds";
  for (std::uint32_t c = 1; c <= Channels_; ++c) {
    for (const char band : {'A', 'B', 'C', 'D'}) {
      columns += ',';
      columns += band;
      columns += std::to_string(c);
    }
  }
  Out_ << columns << '\n';
}

void TMeterLog::MeterPosition(int channel, int band, std::int32_t position) {
  if (channel < 0 || static_cast<std::uint32_t>(channel) >= Channels_) return;
  // The decoder reports the points of a block channel by channel; a new
  // block begins when the run has read another one.
  if (Run_.DataBytesRead() != BlockEnd_) {
    WriteRows();
    BlockEnd_ = Run_.DataBytesRead();
    const TLimitCounter::TBlockInHand block = Run_.BlockInHand(channel);
    BlockFirstFrame_ = block.FirstFrame;
    FramesRead_ = block.FirstFrame + block.Frames;
    std::fill(Calls_.begin(), Calls_.end(), 0u);
    Positions_.clear();
  }
  const std::uint32_t point = Calls_[static_cast<std::size_t>(channel)]++ / kBands;
  const std::size_t index =
      (static_cast<std::size_t>(point) * Channels_ + static_cast<std::size_t>(channel)) * kBands +
      static_cast<std::size_t>(band);
  if (Positions_.size() <= index) Positions_.resize((point + 1) * Channels_ * kBands, 0);
  Positions_[index] = position;
}

void TMeterLog::Finish() {
  WriteRows();
  Positions_.clear();
  Out_.flush();
}

void TMeterLog::WriteRows() {
  const std::size_t perPoint = static_cast<std::size_t>(Channels_) * kBands;
  const std::size_t points = perPoint == 0 ? 0 : Positions_.size() / perPoint;
  char text[48];
  for (std::size_t p = 0; p < points; ++p) {
    const std::uint64_t frame = BlockFirstFrame_ + p * TZorvCalc::kMeterInterval;
    if (frame >= FramesRead_) break;
    const double seconds = static_cast<double>(frame) / static_cast<double>(SampleRate_);
    int length = std::snprintf(text, sizeof text, "%llu,%.6f",
                               static_cast<unsigned long long>(frame), seconds);
    Out_.write(text, length);
    for (std::size_t k = 0; k < perPoint; ++k) {
      length =
          std::snprintf(text, sizeof text, ",%d", static_cast<int>(Positions_[p * perPoint + k]));
      Out_.write(text, length);
    }
    Out_.put('\n');
  }
  Positions_.clear();
}

}  // namespace zorv::cli
