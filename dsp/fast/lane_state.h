// The decoder state of one block laid out in lanes for the fast kernels: lane
// b holds band b of channel 1, lane 4 + b band b of channel 2. Plain data,
// no functions, so that kernels compiled for different instruction sets share
// nothing but this layout.
#pragma once

#include <cstdint>

namespace zorv::fast {

inline constexpr int kMaxLanes = 8;

// One filter section per lane: coefficients and state.
struct alignas(64) TLaneSection {
  double b0[kMaxLanes];
  double gain[kMaxLanes];
  double b1[kMaxLanes];
  double a1[kMaxLanes];
  double b2[kMaxLanes];
  double a2[kMaxLanes];
  double X1[kMaxLanes];
  double Y1[kMaxLanes];
  double X2[kMaxLanes];
  double Y2[kMaxLanes];
};

// The charging-current curve of each lane's band, breakpoint-major:
// Current[k][lane] is the value at breakpoint k.
struct alignas(64) TLaneCurves {
  double Current[18][kMaxLanes];
  double Slope[18][kMaxLanes];  // Current[k + 1] - Current[k] for k < 7
};

struct alignas(64) TLaneState {
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
  double Voltage[kMaxLanes];
  double GainFactor[kMaxLanes];
  double ChargeStep[kMaxLanes];
  double RectifierInput[kMaxLanes];
  double RectifierLevel[kMaxLanes];
  double LeakStep[kMaxLanes];
  double SampleRate[kMaxLanes];
  double Capacitance[kMaxLanes];
  double InputScale[kMaxLanes];
  double VoltageMin[kMaxLanes];
  double VoltageMax[kMaxLanes];
  double Level;
  std::uint32_t FeedbackLaw;
};

// What one kernel call decodes: count frames of one channel (lanes 0..3) or
// of two (lanes 0..7).
struct TLaneBlock {
  const double* In[2];
  double* Out[2];
  // Per frame, the voltage of lane DebugLane (or null: no debug output).
  double* DebugVolts;
  int DebugLane;
  // Per meter point (every 100th frame), the voltage of every lane.
  double (*MeterVolts)[kMaxLanes];
  std::uint32_t Count;
};

// Kernels, one per instruction set; each decodes 4 lanes (one channel) or 8
// (two channels: one vector of eight in the portable build, two vectors of
// four, interleaved step by step, with AVX2 and AVX-512).
void DecodeLanesPortable4(TLaneState& state, const TLaneBlock& block);
void DecodeLanesPortable8(TLaneState& state, const TLaneBlock& block);
void DecodeLanesAvx2x4(TLaneState& state, const TLaneBlock& block);
void DecodeLanesAvx2x8(TLaneState& state, const TLaneBlock& block);
void DecodeLanesAvx512x4(TLaneState& state, const TLaneBlock& block);
void DecodeLanesAvx512x8(TLaneState& state, const TLaneBlock& block);

}  // namespace zorv::fast

namespace zorv::fast {
// The kernels' power of ten, one value at a time (for tests of its accuracy).
double LanePow10(double x);
}  // namespace zorv::fast
