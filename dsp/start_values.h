// SPDX-License-Identifier: GPL-3.0-or-later
// The values a detector computes once, when it is set up for a rate: the
// leak step of its discharge current, the charge steps of its current curve
// and the gain factor it starts with. They are quotients and a power of ten
// in extended precision, rounded once to double. A platform whose long
// double is not the 64-bit significand of the reference arithmetic (a
// WebAssembly build) could not repeat them bit for bit, so every build reads
// them from dsp/start_constants.h, written from the reference computations
// below by zorv-power-tables and checked against them by the tests.
#pragma once

#include <cstdint>

#include "dsp/charge_current.h"

namespace zorv::start_values {

// The reference computations (extended precision, rounded once).
// Discharge current / rate / capacitance: volts drained per sample.
double ReferenceLeakStep(double sampleRate, double capacitance);
// Current[k] / rate / capacitance, and (Current[k + 1] - Current[k]) x the
// interpolation factor / rate / capacitance below the curve's first step
// (0 from there on).
double ReferenceCharge(const TCurrentTable& curve, int k, double sampleRate, double capacitance);
double ReferenceChargeSlope(const TCurrentTable& curve, int k, double sampleRate,
                            double capacitance);
// 10^(-VoltageMin / 3.64): the gain factor at the voltage a detector starts with.
double ReferenceRestingGainFactor();
// The control voltage a reference level of factor toFactor adds to the one
// at a level of factor fromFactor: 3.64 / 2 x log10(fromFactor / toFactor).
double ReferenceVoltageShift(double fromFactor, double toFactor);

// What the decoder takes: the table's value at a supported rate, the
// reference computation at any other.
double LeakStep(double sampleRate, int band, double capacitance);
double Charge(double sampleRate, int band, int k, double capacitance);
double ChargeSlope(double sampleRate, int band, int k, double capacitance);
double RestingGainFactor();
// The voltage shift from the level start::kShiftFromTenths to the level of
// tenths of a dB (kMinLevelTenths .. kMaxLevelTenths), factors as the
// decoder holds them: the table's.
double LevelShift(int tenths);

}  // namespace zorv::start_values
