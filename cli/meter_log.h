// SPDX-License-Identifier: GPL-3.0-or-later
// The --meter-log listener: the band meters' positions of a run as CSV, one
// row per meter point.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "app/decode_run.h"
#include "dsp/meter_listener.h"

namespace zorv::cli {

class TMeterLog final : public TMeterListener {
 public:
  // Writes the two header lines at once: a comment that states the format
  // ("# zorv-decode meter log: 44100 Hz, ...") and the column names
  // "frame,seconds,A1,B1,C1,D1[,A2,B2,C2,D2]". The run tells which frames the
  // decoder is working on.
  TMeterLog(std::ostream& out, const TDecodeRun& run, std::uint32_t sampleRate,
            std::uint32_t channels);

  // Rows "4400,0.099773,-123,-45,0,12,...": frame index from the start of the
  // input's data, its time in seconds, every channel's four band positions
  // in tenths of a dB. Points behind the end of the data (the last block is
  // decoded whole) are left out.
  void MeterPosition(int channel, int band, std::int32_t position) override;
  // Writes the rows of the block in hand; called once the run has ended.
  void Finish();

 private:
  void WriteRows();

  std::ostream& Out_;
  const TDecodeRun& Run_;
  const std::uint32_t SampleRate_;
  const std::uint32_t Channels_;
  // The positions of the block in hand: point p, channel c, band b at
  // [(p * Channels_ + c) * kBands + b], and the calls per channel so far.
  std::vector<std::int32_t> Positions_;
  std::vector<std::uint32_t> Calls_;
  std::uint64_t BlockEnd_ = 0;
  std::uint64_t BlockFirstFrame_ = 0;
  std::uint64_t FramesRead_ = 0;
};

}  // namespace zorv::cli
