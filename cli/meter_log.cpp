#include "cli/meter_log.h"

#include <cstdio>

namespace zorv::cli {

TMeterLog::TMeterLog(std::ostream& out, const TProcessingRun& run) : Out_(out), Run_(run) {
  Out_ << "frame,channel,band,position\n";
}

void TMeterLog::MeterPosition(int channel, int band, std::int32_t position) {
  // The decoder updates the four bands at frames 0, 100, 200, ... of a block,
  // channel 1 through the whole block first, then channel 2.
  const std::uint64_t blockEnd = Run_.DataBytesRead();
  if (blockEnd != BlockEnd_ || channel != Channel_) {
    BlockEnd_ = blockEnd;
    Channel_ = channel;
    Calls_ = 0;
  }
  const std::uint64_t frame = Run_.BlockFirstFrame() + Calls_ / kBands * TZorvCalc::kMeterInterval;
  ++Calls_;
  if (frame >= Run_.FramesRead()) return;

  char line[64];
  const int length =
      std::snprintf(line, sizeof line, "%llu,%d,%c,%d\n", static_cast<unsigned long long>(frame),
                    channel + 1, static_cast<char>('A' + band), static_cast<int>(position));
  Out_.write(line, length);
}

}  // namespace zorv::cli
