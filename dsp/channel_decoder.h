// SPDX-License-Identifier: GPL-3.0-or-later
// The decoding of one channel: its band split (7 first-order sections), its
// four band detectors, the expansion of every band by its detector's gain and
// the sum of the bands. A value type: the decoder core holds one per channel
// and composes them.
#pragma once

#include <cstdint>

#include "dsp/control_signal_generator.h"
#include "dsp/detector_constants.h"
#include "dsp/fast/lane_state.h"
#include "dsp/filter_section.h"
#include "dsp/meter_listener.h"
#include "dsp/split_coefficients.h"

namespace zorv {

// Frames of the largest block a decoder takes: 100 ms at the highest rate,
// 192 kHz. (The reader's buffer of two channels holds no more: 19200 frames
// of 16-bit mono.)
inline constexpr std::uint32_t kBlockCapacity = 19200;

// Meter position in tenths of a dB for a control voltage: the gain
// 20 x V / 3.64 dB, with the quotient formed and truncated in extended precision.
std::int32_t MeterPositionOf(double voltage);

// Meter points of the largest block: frames 0, 100, ... 19100.
inline constexpr std::uint32_t kMeterPoints =
    (kBlockCapacity + detector::kMeterInterval - 1) / detector::kMeterInterval;

// The control voltage of every band of a channel at each meter point of a
// block.
struct TMeterVolts {
  double At[kMeterPoints][detector::kBands];
};

// Hands the positions of a block of count frames to the listener, meter
// point by meter point, bands A..D.
void EmitMeterPositions(TMeterListener& listener, int channel, const TMeterVolts& volts,
                        std::uint32_t count);

class TChannelDecoder {
 public:
  static constexpr int kBands = detector::kBands;

  // What a block changes: the sections' and the detectors' state (with
  // their coefficients, which blocks leave alone).
  struct TState {
    TFilterSection Split[kSplitSections];
    TControlSignalGenerator Generator[kBands];
  };

  TChannelDecoder() { Init(); }

  // Power-on state: identity split sections, every detector at its lower limit.
  void Init();
  // Loads the split and the detectors for a rate; every state carries over.
  void Setup(std::uint32_t sampleRate);

  // count frames (at most kBlockCapacity) in the extended-precision
  // reference; the control voltages at the block's meter points into meters.
  // debugOut, when given, receives band debugBand's control voltage as a
  // sample (6.5536 V full scale) for every frame.
  void Decode(const double* in, double* out, std::uint32_t count, double level, TMeterVolts& meters,
              double* debugOut = nullptr, int debugBand = 0);

  // The fast paths keep the state in Lanes for a block: PackLanes before it
  // (the coefficients and curves too when Setup has changed them since),
  // UnpackLanes after it. A stage (fast::TLaneStage) packs and unpacks only
  // the state it changes: the weighting sections, or the rest.
  void PackLanes(fast::TLaneStage stage = fast::TLaneStage::Whole);
  void UnpackLanes(fast::TLaneStage stage = fast::TLaneStage::Whole);

  // The state between blocks, kept and put back (a block begun and then
  // dropped). A stage keeps only the part it changes, as it begins; the
  // state is whole once both stages have kept theirs.
  void Save(TState& state, fast::TLaneStage stage = fast::TLaneStage::Whole) const;
  void Restore(const TState& state);

  TFilterSection Split[kSplitSections];
  TControlSignalGenerator Generator[kBands];
  fast::TLaneChannel Lanes;

 private:
  void PackCoefficients();

  bool LaneCoefficientsLoaded_ = false;
};

}  // namespace zorv
