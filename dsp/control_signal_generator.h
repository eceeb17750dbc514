// SPDX-License-Identifier: GPL-3.0-or-later
// The control-signal generator of one band of one channel: a sample-by-sample
// model of an analogue level detector.
//
//   input x (volts) -> x 0.523 -> five weighting sections -> x g^2 (feedback)
//   -> clamp +-2.092 V -> rectifier -> charging current (amperes)
//   -> capacitor, drained by a constant discharge current -> Voltage
//   -> GainFactor = 10^(-Voltage / 3.64)     (3.64 V per decade of gain)
#pragma once

#include <cstdint>
#include <limits>

#include "dsp/filter_section.h"

namespace zorv {

// Its constants (dsp/detector_constants.h) are shared with the lane kernels.
class TControlSignalGenerator {
 public:
  TControlSignalGenerator() { Init(); }

  // Power-on state: band B capacitance at 96 kHz, Voltage at its lower limit,
  // identity sections.
  void Init();
  // Prepares the band (0..3 = A..D) at a sample rate. Voltage, gain factor and
  // the state of loaded sections carry over.
  void Setup(std::int32_t band, std::uint32_t sampleRate);
  // One input sample (the full-band input over the reference level); returns
  // the new GainFactor.
  double Step(std::int32_t band, std::uint32_t feedbackLaw, double x);
  double ControlVoltage() const { return Voltage; }
  // To be called after Voltage or GainFactor were set from outside (by a
  // faster decoder path): the next step computes its power of ten afresh.
  void ForgetGainVoltage() { GainVoltage_ = std::numeric_limits<double>::quiet_NaN(); }
  void ResetVoltage() { Voltage = VoltageMin; }
  // Copies the weighting sections alone, or everything but them, into
  // another generator: the parts that the two stages of a block decoded in
  // stages change, each on its own thread.
  void CopyWeightingTo(TControlSignalGenerator& to) const;
  void CopyDetectorTo(TControlSignalGenerator& to) const;

  double Capacitance = 0;     // farads
  double ChargeStep = 0;      // volts added by the charging current in the last Step
  double Voltage = 0;         // capacitor voltage: the control signal
  double VoltageMax = 0;      // volts
  double VoltageMin = 0;      // volts
  double LeakStep = 0;        // volts drained per sample by the discharge current
  double InputScale = 0;      // input weighting
  double RectifierInput = 0;  // volts, after the clamp
  double RectifierLevel = 0;  // volts, |RectifierInput|
  double SampleRate = 0;      // Hz
  double GainFactor = 0;      // 10^(-Voltage / 3.64)
  TFilterSection Filter1;
  TFilterSection Filter2;
  TFilterSection Filter5;
  TFilterSection Filter3;
  TFilterSection Filter4;

 private:
  // The leak step of the rate and capacitance, those of band.
  void UpdateLeakStep(int band);

  // The voltage GainFactor was last computed from.
  double GainVoltage_ = 0;
};

// 10^(-voltage / 3.64): the divisor a band is expanded with.
double GainFactorOf(double voltage);

}  // namespace zorv
