// SPDX-License-Identifier: GPL-3.0-or-later
// The band split: seven first-order sections per channel (bilinear designs
// prewarped at the corner), coefficients b0, b1, a1 per sample rate.
//
//   band A = section 1 (section 0 (x))   high-pass 1 Hz, low-pass 213 Hz
//   band B = section 3 (section 2 (x))   high-pass 212 Hz, low-pass 1320 Hz
//   band C = section 5 (section 4 (x))   high-pass 1440 Hz, low-pass 3300 Hz
//   band D = section 6 (x)               high-pass 4750 Hz
#pragma once

#include "dsp/filter_section.h"
#include "dsp/sample_rates.h"

namespace zorv {

inline constexpr int kSplitSections = 7;

constexpr TSectionCoefficients FirstOrder(double b0, double b1, double a1) {
  return {b0, 1.0, b1, a1, 0.0, 0.0};
}

// [section][44100, 48000, 96000 Hz]
inline constexpr TSectionCoefficients kSplitCoefficients[kSplitSections][kSpecifiedRateCount] = {
    {FirstOrder(0.99992877, -0.99992877, -0.99985753),
     FirstOrder(0.99993455, -0.99993455, -0.99986911),
     FirstOrder(0.99996728, -0.99996728, -0.99993455)},
    {FirstOrder(0.01494801, 0.01494801, -0.97010398),
     FirstOrder(0.01375002, 0.01375002, -0.97249996),
     FirstOrder(0.00692227, 0.00692227, -0.98615546)},
    {FirstOrder(0.98512114, -0.98512114, -0.97024227),
     FirstOrder(0.98631366, -0.98631366, -0.97262731),
     FirstOrder(0.99311001, -0.99311001, -0.98622001)},
    {FirstOrder(0.08618401, 0.08618401, -0.82763198),
     FirstOrder(0.07970609, 0.07970609, -0.84058782), FirstOrder(0.0414329, 0.0414329, -0.9171342)},
    {FirstOrder(0.90666437, -0.90666437, -0.81332874),
     FirstOrder(0.91363597, -0.91363597, -0.82727195),
     FirstOrder(0.95496499, -0.95496499, -0.90992999)},
    {FirstOrder(0.19323202, 0.19323202, -0.61353595),
     FirstOrder(0.17992918, 0.17992918, -0.64014164),
     FirstOrder(0.09781005, 0.09781005, -0.80437991)},
    {FirstOrder(0.73969126, -0.73969126, -0.47938252),
     FirstOrder(0.75682722, -0.75682722, -0.51365443),
     FirstOrder(0.86452273, -0.86452273, -0.72904547)},
};

}  // namespace zorv
