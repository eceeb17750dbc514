// SPDX-License-Identifier: GPL-3.0-or-later
// The constants of the band detector and of the decoder around it, defined
// once: the extended-precision reference and every lane kernel read them
// here. Plain constants, nothing else, so that kernels built for different
// instruction sets can include them without sharing code.
//
// Values the reference holds in extended precision are given as long double;
// the lane kernels take the double nearest to each (checked where they do).
#pragma once

#include <cstdint>

#include "dsp/extended.h"

namespace zorv::detector {

// Bands A..D of one channel.
inline constexpr int kBands = 4;

// Volts of control voltage per decade (20 dB) of gain: GainFactor is
// 10^(-Voltage / 3.64).
inline constexpr Extended kVoltsPerDecade = 3.64L;
// Constant discharge current of the integrating capacitor, amperes: sets the
// release slope (DischargeCurrent / Capacitance volts per second).
inline constexpr Extended kDischargeCurrent = 7.04545e-7L;
// Input weighting, and the rectifier clamp (4 x the weighting), volts.
inline constexpr double kInputScale = 0.523;
inline constexpr double kRectifierClamp = 2.092;
// Control voltage limits: +10 dB (0.5 x 3.64) and -32 dB (-1.6 x 3.64) of gain.
inline constexpr double kVoltageMax = 1.82;
inline constexpr double kVoltageMin = -5.824;
// Integrating capacitance per band A..D, farads.
inline constexpr double kBandCapacitance[kBands] = {4.7e-7, 6.8e-8, 1e-8, 3.3e-9};

// The charging-current curves: zero up to the level offset (volts), then
// interpolated between the breakpoints of the level above it up to the
// first step, then a staircase. The breakpoints are the exact decimals.
inline constexpr int kCurvePoints = 18;
inline constexpr Extended kCurveOffset = 0.138L;
inline constexpr Extended kCurveBreakpoint[kCurvePoints] = {0.0L, 0.1L, 0.2L, 0.3L, 0.4L, 0.5L,
                                                            0.6L, 0.7L, 0.8L, 0.9L, 1.0L, 1.1L,
                                                            1.2L, 1.3L, 1.5L, 2.0L, 3.0L, 4.0L};
// Reciprocal of the 0.1 V spacing of the interpolated breakpoints.
inline constexpr Extended kCurveInterpolation = 10.0L;
// Breakpoint index from which on the curve is a staircase.
inline constexpr int kCurveFirstStep = 7;

// The meters are written at every this many frames of a block, counted
// afresh in each block.
inline constexpr std::uint32_t kMeterInterval = 100;
// Tenths of a dB of band gain per volt, times the volts per decade: a meter
// position is Voltage x 200 / 3.64.
inline constexpr Extended kMeterScale = 200.0L;
// Control voltage that is full scale in the debug output, volts.
inline constexpr Extended kDebugFullScale = 6.5536L;

}  // namespace zorv::detector
