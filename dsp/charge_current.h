// SPDX-License-Identifier: GPL-3.0-or-later
// Charging characteristics of the band level detector: the current (amperes)
// with which a detector level (volts) charges the integrating capacitor.
// Zero up to 0.138 V, piecewise linear over the next 0.7 V, then a staircase.
#pragma once

#include <array>
#include <cstdint>

#include "dsp/detector_constants.h"

namespace zorv {

using TCurrentTable = std::array<double, detector::kCurvePoints>;

// Curve values at the breakpoints 0, 0.1, ... 1.3, 1.5, 2, 3, 4 of the level
// offset (level - 0.138).
inline constexpr TCurrentTable CurrentTableAB{
    0,          2.64e-08,   1.92e-07,   8.854e-07, 2.4577e-06, 4.5357e-06,
    7.3087e-06, 1.0985e-05, 1.9299e-05, 3.63e-05,  7.3684e-05, 0.00014018,
    0.000233,   0.0003529,  0.00064,    0.001459,  0.003257,   0.00512};
inline constexpr TCurrentTable CurrentTableC{
    0,          2.64e-08,   1.92e-07,   8.854e-07, 2.4577e-06, 4.5357e-06,
    7.3087e-06, 1.0985e-05, 1.9299e-05, 3.63e-05,  6.315e-05,  0.0001034,
    0.000121,   0.0001929,  0.000337,   0.000667,  0.0015,     0.002333};
inline constexpr TCurrentTable CurrentTableD{0,          2.64e-08, 1.92e-07,  8.854e-07, 2.4577e-06,
                                             4.5357e-06, 7e-06,    1.005e-05, 1.565e-05, 2.495e-05,
                                             3.824e-05,  5.46e-05, 7.38e-05,  8.11e-05,  0.0001404,
                                             0.000229,   0.000514, 0.0008};

// The curve of a band index: A and B share one; none for other indices.
const TCurrentTable* CurrentTableForBand(std::int32_t band);

// Charging current in amperes for a detector level in volts; 0.0 for a band
// index outside 0..3.
double ChargeCurrent(std::int32_t band, double level);

}  // namespace zorv
