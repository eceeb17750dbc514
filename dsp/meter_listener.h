// SPDX-License-Identifier: GPL-3.0-or-later
// Receives the band meters' positions while the decoder processes a block.
#pragma once

#include <cstdint>

namespace zorv {

class TMeterListener {
 public:
  // channel 0 = left, 1 = right; band 0..3 = A..D; position in tenths of a dB
  // of band gain. Called synchronously, bands A..D in order, at frames 0, 100,
  // 200, ... of every block.
  virtual void MeterPosition(int channel, int band, std::int32_t position) = 0;

 protected:
  ~TMeterListener() = default;
};

}  // namespace zorv
