// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/start_values.h"

#include <cmath>

#include "dsp/detector_constants.h"
#include "dsp/extended.h"
#include "dsp/sample_rates.h"
#include "dsp/start_constants.h"
#ifndef ZORV_NO_EXTENDED
#include "dsp/power_of_ten.h"
#endif

namespace zorv::start_values {
namespace {

// The table's entry of a rate and band; null where the table has none (a
// rate the decoder has no coefficients for, a band out of range, a
// capacitance that is not the band's).
const start::TBandSteps* TableEntry(double sampleRate, int band, double capacitance) {
  if (band < 0 || band >= detector::kBands) return nullptr;
  if (capacitance != detector::kBandCapacitance[band]) return nullptr;
  if (!(sampleRate >= 0.0 && sampleRate <= 1e9)) return nullptr;
  const auto rate = static_cast<std::uint32_t>(sampleRate);
  if (static_cast<double>(rate) != sampleRate) return nullptr;
  const int index = RateIndex(rate);
  return index >= 0 ? &start::kBandSteps[index][band] : nullptr;
}

}  // namespace

double ReferenceLeakStep(double sampleRate, double capacitance) {
  return Store(detector::kDischargeCurrent / sampleRate / capacitance);
}

double ReferenceCharge(const TCurrentTable& curve, int k, double sampleRate, double capacitance) {
  return Store(Extended{curve[k]} / sampleRate / capacitance);
}

double ReferenceChargeSlope(const TCurrentTable& curve, int k, double sampleRate,
                            double capacitance) {
  if (k >= detector::kCurveFirstStep) return 0.0;
  return Store((Extended{curve[k + 1]} - curve[k]) * detector::kCurveInterpolation / sampleRate /
               capacitance);
}

double ReferenceRestingGainFactor() {
#ifndef ZORV_NO_EXTENDED
  return Store(PowerOfTen(-Extended{detector::kVoltageMin} / detector::kVoltsPerDecade));
#else
  return std::pow(10.0, -detector::kVoltageMin / 3.64);
#endif
}

double ReferenceVoltageShift(double fromFactor, double toFactor) {
  return static_cast<double>(
      detector::kVoltsPerDecade / 2 *
      std::log10(static_cast<long double>(fromFactor) / static_cast<long double>(toFactor)));
}

double LeakStep(double sampleRate, int band, double capacitance) {
  const start::TBandSteps* entry = TableEntry(sampleRate, band, capacitance);
  return entry != nullptr ? entry->LeakStep : ReferenceLeakStep(sampleRate, capacitance);
}

double Charge(double sampleRate, int band, int k, double capacitance) {
  const start::TBandSteps* entry = TableEntry(sampleRate, band, capacitance);
  return entry != nullptr ? entry->Charge[k]
                          : ReferenceCharge(*CurrentTableForBand(band), k, sampleRate, capacitance);
}

double ChargeSlope(double sampleRate, int band, int k, double capacitance) {
  const start::TBandSteps* entry = TableEntry(sampleRate, band, capacitance);
  return entry != nullptr
             ? entry->ChargeSlope[k]
             : ReferenceChargeSlope(*CurrentTableForBand(band), k, sampleRate, capacitance);
}

double RestingGainFactor() {
  return start::kRestingGainFactor;
}

double LevelShift(int tenths) {
  return start::kLevelShifts[tenths - kMinLevelTenths];
}

}  // namespace zorv::start_values
