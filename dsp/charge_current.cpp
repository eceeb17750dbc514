#include "dsp/charge_current.h"

#include "dsp/extended.h"

namespace zorv {
namespace {

// The curves start at this level (volts); held in extended precision, as are
// the breakpoints, so the interval tests compare against the exact decimals.
constexpr Extended kLevelOffset = 0.138L;

constexpr Extended kBreakpoint[18] = {0.0L, 0.1L, 0.2L, 0.3L, 0.4L, 0.5L, 0.6L, 0.7L, 0.8L,
                                      0.9L, 1.0L, 1.1L, 1.2L, 1.3L, 1.5L, 2.0L, 3.0L, 4.0L};

// Reciprocal of the 0.1 V spacing of the interpolated breakpoints.
constexpr Extended kInterpolationFactor = 10.0L;

// Above 0.7 V the curve is a staircase; below it is interpolated.
constexpr int kFirstStep = 7;

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

  const double d = Store(Extended{level} - kLevelOffset);

  // Intervals are tested from the top down: open below, closed above.
  for (int k = 17; k >= kFirstStep; --k) {
    if (d > kBreakpoint[k]) return t[k];
  }
  for (int k = kFirstStep - 1; k >= 1; --k) {
    if (d > kBreakpoint[k]) {
      return Store(((d - kBreakpoint[k]) * kInterpolationFactor) *
                       (Extended{t[k + 1]} - Extended{t[k]}) +
                   t[k]);
    }
  }
  if (d > 0.0) return Store((kInterpolationFactor * d) * Extended{t[1]} + t[0]);
  return 0.0;
}

}  // namespace zorv
