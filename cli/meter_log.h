// The --meter-log listener: every band meter update of a run as a CSV line
// "frame,channel,band,position".
#pragma once

#include <cstdint>
#include <ostream>

#include "app/processing_run.h"
#include "dsp/meter_listener.h"

namespace zorv::cli {

class TMeterLog final : public TMeterListener {
 public:
  // Writes the header line at once. The run tells which frames the decoder
  // is working on.
  TMeterLog(std::ostream& out, const TProcessingRun& run);

  // Lines "4400,1,C,-123": frame index from the start of the input's data,
  // channel 1 or 2, band letter, position in tenths of a dB. Updates at
  // frames behind the end of the data (the last block is decoded whole) are
  // left out.
  void MeterPosition(int channel, int band, std::int32_t position) override;

 private:
  std::ostream& Out_;
  const TProcessingRun& Run_;
  // Which block and channel the updates of Calls_ belong to.
  std::uint64_t BlockEnd_ = 0;
  int Channel_ = -1;
  std::uint64_t Calls_ = 0;
};

}  // namespace zorv::cli
