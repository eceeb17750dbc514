// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/charge_current.h"

#include "dsp/detector_constants.h"

namespace zorv {
namespace {

// The curve's offset and breakpoints are held in extended precision, so the
// interval tests compare against the exact decimals.
using detector::kCurveBreakpoint;
using detector::kCurveFirstStep;
using detector::kCurveInterpolation;
using detector::kCurveOffset;

}  // namespace

const TCurrentTable* CurrentTableForBand(std::int32_t band) {
  switch (band) {
    case 0:
    case 1:
      return &CurrentTableAB;
    case 2:
      return &CurrentTableC;
    case 3:
      return &CurrentTableD;
    default:
      return nullptr;
  }
}

double ChargeCurrent(std::int32_t band, double level) {
  const TCurrentTable* table = CurrentTableForBand(band);
  if (table == nullptr) return 0.0;
  const TCurrentTable& t = *table;

  const double d = Store(Extended{level} - kCurveOffset);

  // Intervals are tested from the top down: open below, closed above.
  for (int k = detector::kCurvePoints - 1; k >= kCurveFirstStep; --k) {
    if (d > kCurveBreakpoint[k]) return t[k];
  }
  for (int k = kCurveFirstStep - 1; k >= 1; --k) {
    if (d > kCurveBreakpoint[k]) {
      return Store(((d - kCurveBreakpoint[k]) * kCurveInterpolation) *
                       (Extended{t[k + 1]} - Extended{t[k]}) +
                   t[k]);
    }
  }
  if (d > 0.0) return Store((kCurveInterpolation * d) * Extended{t[1]} + t[0]);
  return 0.0;
}

}  // namespace zorv
