// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder's meter hand-over passed on to several listeners (the meter
// log, the plot, the limit count), each in the order they were added.
#pragma once

#include <vector>

#include "dsp/meter_listener.h"

namespace zorv {

class TMeterFanOut final : public TMeterListener {
 public:
  // A null listener is left out.
  void Add(TMeterListener* listener) {
    if (listener != nullptr) Listeners_.push_back(listener);
  }
  void MeterVoltage(int channel, int band, double volts) override {
    for (TMeterListener* listener : Listeners_) listener->MeterVoltage(channel, band, volts);
  }
  void MeterPosition(int channel, int band, std::int32_t position) override {
    for (TMeterListener* listener : Listeners_) listener->MeterPosition(channel, band, position);
  }

 private:
  std::vector<TMeterListener*> Listeners_;
};

}  // namespace zorv
