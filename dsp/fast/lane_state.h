// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder state of one channel laid out in lanes for the fast kernels:
// lane b holds band b (A..D). Plain data, no functions, so that kernels
// compiled for different instruction sets share nothing but this layout.
// The fields are named, and ordered, as the generator's and the filter
// section's own.
#pragma once

#include <cstdint>

#include "dsp/detector_constants.h"

namespace zorv::fast {

// Lanes of one channel: its bands A..D.
inline constexpr int kLanes = detector::kBands;
// Channels that one kernel call decodes side by side at most.
inline constexpr int kMaxGroups = 4;

// One filter section per lane: coefficients and state.
struct alignas(32) TLaneSection {
  double b0[kLanes];
  double gain[kLanes];
  double b1[kLanes];
  double a1[kLanes];
  double b2[kLanes];
  double a2[kLanes];
  double X1[kLanes];
  double Y1[kLanes];
  double X2[kLanes];
  double Y2[kLanes];
};

// The charging-current curve of each lane's band as charge steps,
// breakpoint-major: Charge[k][lane] is the value at breakpoint k.
struct alignas(32) TLaneCurves {
  // Current[k] / rate / capacitance: the charge step, volts per sample, of
  // each breakpoint's current.
  double Charge[detector::kCurvePoints][kLanes];
  // How the charge step grows between breakpoint k and the next, volts per
  // sample for each volt of level above k: (Current[k + 1] - Current[k]) x
  // the interpolation factor / rate / capacitance below the first step, 0
  // above.
  double ChargeSlope[detector::kCurvePoints][kLanes];
};

struct alignas(32) TLaneChannel {
  // Band split: stage 1 is the first section of each band, stage 2 the
  // second (band D has none: its stage-2 lane passes stage 1 through).
  TLaneSection Split1;
  TLaneSection Split2;
  // The detectors' weighting chains, in chain order.
  TLaneSection Filter1;  // first order
  TLaneSection Filter2;  // second order
  TLaneSection Filter3;  // first order
  TLaneSection Filter4;  // second order
  TLaneSection Filter5;  // first order
  TLaneCurves Curves;
  double ChargeStep[kLanes];
  double Voltage[kLanes];
  double VoltageMax[kLanes];
  double VoltageMin[kLanes];
  double LeakStep[kLanes];
  double InputScale[kLanes];
  double RectifierInput[kLanes];
  double RectifierLevel[kLanes];
  double GainFactor[kLanes];
};

// What a kernel call does with a block: all of the decode, or one of its two
// stages. The weighting chains depend on the input alone, so they may run a
// block ahead of the rest on another thread: Weigh runs them and leaves each
// frame's weighted input in Weighted; Detect runs the band split, the
// detectors, the expansion and the sum from it. Weigh then Detect give
// exactly what Whole gives. Each stage reads and writes only its own part of
// a channel's state, so the two may run at once on consecutive blocks.
enum class TLaneStage : std::uint8_t { Whole, Weigh, Detect };
// Whether a stage runs the weighting filters; whether it runs the band
// split, the detectors, the expansion and the sum.
constexpr bool Weighs(TLaneStage stage) {
  return stage != TLaneStage::Detect;
}
constexpr bool Detects(TLaneStage stage) {
  return stage != TLaneStage::Weigh;
}

// What one kernel call decodes: Count frames of Channels channels, side by
// side, each with its own state, input and output.
struct TLaneBlock {
  int Channels;
  TLaneChannel* State[kMaxGroups];
  const double* In[kMaxGroups];
  double* Out[kMaxGroups];
  // Per meter point (every kMeterInterval-th frame), the voltage of every lane.
  double (*MeterVolts[kMaxGroups])[kLanes];
  // Per frame, the voltage of lane DebugLane of the first channel (or null:
  // no debug output).
  double* DebugVolts;
  int DebugLane;
  // Each channel's level factor, which its input is divided and its output
  // multiplied by.
  double Level[kMaxGroups];
  // Per channel, the four lanes' weighted input of every frame (Count x
  // kLanes doubles): written by Weigh, read by Detect; unused by Whole.
  double* Weighted[kMaxGroups];
  TLaneStage Stage;
  std::uint32_t Count;
};

// The kernels, one per instruction set; each decodes 1..kMaxGroups channels.
void DecodeLanesPortable(const TLaneBlock& block);
void DecodeLanesAvx2(const TLaneBlock& block);
void DecodeLanesAvx512(const TLaneBlock& block);

// The kernels' gain factor of a control voltage, one value at a time (for
// tests of its accuracy).
double LaneGainFactor(double voltage);

}  // namespace zorv::fast
