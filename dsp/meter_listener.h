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
  // The control voltage behind the position that follows, in volts. The
  // position cannot tell a band pinned at its lower limit (-319) from one
  // within a tenth of a dB of it; a listener that needs to know overrides this.
  virtual void MeterVoltage(int /*channel*/, int /*band*/, double /*volts*/) {}
  // False: the listener takes the voltages alone (a listener that keeps
  // them to hand over later, with the positions then); MeterPosition is
  // not called.
  virtual bool WantsPositions() const { return true; }

 protected:
  ~TMeterListener() = default;
};

}  // namespace zorv
