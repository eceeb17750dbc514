// SPDX-License-Identifier: GPL-3.0-or-later
// The recursive filter building block of the decoder: a first-order section,
// or a second-order section with an output gain outside the feedback loop.
//
//   first order:  H(z) = (b0 + b1 z^-1) / (1 + a1 z^-1)
//   second order: H(z) = gain (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2)
//
// The feedback weights are the denominator's coefficients and are subtracted.
#pragma once

#include "dsp/extended.h"

namespace zorv {

// Six coefficients, in the order the coefficient tables list them.
struct TSectionCoefficients {
  double b0;    // weight of the current input x[n]
  double gain;  // output gain, read by SecondOrderStep only
  double b1;    // weight of x[n-1]
  double a1;    // weight of y[n-1], subtracted
  double b2;    // weight of x[n-2], second order only
  double a2;    // weight of y[n-2], subtracted, second order only
};

// The pass-through: b0 = 1, gain = 1, every other weight 0.
inline constexpr TSectionCoefficients kIdentitySection{1.0, 1.0, 0.0, 0.0, 0.0, 0.0};

struct TFilterSection {
  TSectionCoefficients Coefficients = kIdentitySection;
  // State, parallel to the coefficients.
  double X0 = 0.0;     // x[n], the latest input
  double Spare = 0.0;  // parallel to the gain: never read or written by a step
  double X1 = 0.0;     // x[n-1]
  double Y1 = 0.0;     // y[n-1], before the gain
  double X2 = 0.0;     // x[n-2]
  double Y2 = 0.0;     // y[n-2], before the gain

  // Identity coefficients and cleared state.
  void Init() { *this = TFilterSection{}; }

  // Replaces the coefficients; the state carries on.
  void SetCoefficients(const TSectionCoefficients& c) { Coefficients = c; }

  double FirstOrderStep(double x) {
    const TSectionCoefficients& c = Coefficients;
    X0 = x;
    const double y = Store((Extended{c.b0} * x + Extended{c.b1} * X1) - Extended{c.a1} * Y1);
    X1 = X0;
    Y1 = y;
    return y;
  }

  double SecondOrderStep(double x) {
    const TSectionCoefficients& c = Coefficients;
    X0 = x;
    const double y = Store(Extended{c.b0} * x + Extended{c.b1} * X1 + Extended{c.b2} * X2 -
                           Extended{c.a1} * Y1 - Extended{c.a2} * Y2);
    X2 = X1;
    X1 = X0;
    Y2 = Y1;
    Y1 = y;
    return Store(Extended{c.gain} * y);
  }
};

}  // namespace zorv
