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

// Integrating capacitance per band A..D, farads.
inline constexpr double kBandCapacitance[4] = {4.7e-7, 6.8e-8, 1e-8, 3.3e-9};

class TControlSignalGenerator {
 public:
  // Volts of control voltage per decade (20 dB) of gain.
  static constexpr Extended kVoltsPerDecade = 3.64L;
  // Constant discharge current, amperes: sets the release slope.
  static constexpr Extended kDischargeCurrent = 7.04545e-7L;
  // Input weighting, and the rectifier clamp (4 x the weighting), volts.
  static constexpr double kInputScale = 0.523;
  static constexpr double kRectifierClamp = 2.092;
  // Voltage limits: +10 dB (0.5 x 3.64) and -32 dB (-1.6 x 3.64) of gain.
  static constexpr double kVoltageMax = 1.82;
  static constexpr double kVoltageMin = -5.824;

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
  void UpdateLeakStep();

  // The voltage GainFactor was last computed from.
  double GainVoltage_ = 0;
};

// 10^(-voltage / 3.64): the divisor a band is expanded with.
double GainFactorOf(double voltage);

}  // namespace zorv
