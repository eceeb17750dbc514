// SPDX-License-Identifier: GPL-3.0-or-later
// A meter listener that keeps every position the decoder hands over.
#pragma once

#include <cstdint>
#include <vector>

#include "dsp/meter_listener.h"

namespace zorv::test {

struct TMeterUpdate {
  int channel;
  int band;
  std::int32_t position;
  bool operator==(const TMeterUpdate&) const = default;
};

class TRecordingMeters : public TMeterListener {
 public:
  void MeterPosition(int channel, int band, std::int32_t position) override {
    Updates.push_back({channel, band, position});
  }
  std::vector<TMeterUpdate> Updates;
};

}  // namespace zorv::test
