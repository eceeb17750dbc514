// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/control_signal_generator.h"

#include <cmath>

#include "dsp/charge_current.h"
#include "dsp/detector_constants.h"
#include "dsp/rate_coefficients.h"
#include "dsp/sample_rates.h"
#include "dsp/start_values.h"
#ifndef ZORV_NO_EXTENDED
#include "dsp/power_of_ten.h"
#endif

namespace zorv {

using namespace detector;

double GainFactorOf(double voltage) {
#ifndef ZORV_NO_EXTENDED
  return Store(PowerOfTen(-Extended{voltage} / kVoltsPerDecade));
#else
  // Without the reference arithmetic there is no extended-precision path,
  // which alone steps a generator; the lane kernels have their own.
  return std::pow(10.0, -voltage / 3.64);
#endif
}

void TControlSignalGenerator::Init() {
  InputScale = kInputScale;
  Capacitance = kBandCapacitance[1];
  SampleRate = 96000;
  UpdateLeakStep(1);
  VoltageMin = kVoltageMin;
  VoltageMax = kVoltageMax;
  ResetVoltage();
  GainFactor = start_values::RestingGainFactor();
  GainVoltage_ = Voltage;
  ChargeStep = 0;
  RectifierInput = 0;
  RectifierLevel = 0;
  Filter1.Init();
  Filter2.Init();
  Filter3.Init();
  Filter4.Init();
  Filter5.Init();
}

void TControlSignalGenerator::UpdateLeakStep(int band) {
  // The discharge current over the capacitance is the slope in volts per
  // second; over the rate, volts per sample.
  LeakStep = start_values::LeakStep(SampleRate, band, Capacitance);
}

void TControlSignalGenerator::Setup(std::int32_t band, std::uint32_t sampleRate) {
  if (band < 0 || band > 3) return;  // no such band: nothing to set up
  Capacitance = kBandCapacitance[band];
  SampleRate = static_cast<double>(sampleRate);
  UpdateLeakStep(band);

  const int rate = RateIndex(sampleRate);
  if (rate < 0) return;
  const TWeightingChain& chain = WeightingChainAt(band, rate);
  Filter1.SetCoefficients(chain.Filter1);
  if (band == kBandWithoutFilter2) {
    Filter2.Init();
  } else {
    Filter2.SetCoefficients(chain.Filter2);
  }
  Filter3.SetCoefficients(chain.Filter3);
  if (band == kBandWithoutFilter4) {
    Filter4.Init();
  } else {
    Filter4.SetCoefficients(chain.Filter4);
  }
  Filter5.SetCoefficients(chain.Filter5);
}

double TControlSignalGenerator::Step(std::int32_t band, std::uint32_t feedbackLaw, double x) {
  const double g = GainFactor;  // left by the previous step

  double s = Store(Extended{x} * InputScale);
  s = Filter1.FirstOrderStep(s);
  s = Filter2.SecondOrderStep(s);
  s = Filter3.FirstOrderStep(s);
  s = Filter4.SecondOrderStep(s);
  s = Filter5.FirstOrderStep(s);

  // The detector sees its input through the band's own gain: the square (or
  // the cube) of the previous gain factor.
  RectifierInput = feedbackLaw == 0 ? Store(Extended{s} * g * g) : Store(Extended{s} * g * g * g);
  if (RectifierInput > kRectifierClamp) RectifierInput = kRectifierClamp;
  if (RectifierInput < -kRectifierClamp) RectifierInput = -kRectifierClamp;
  RectifierLevel = std::fabs(RectifierInput);

  const double current = ChargeCurrent(band, RectifierLevel);  // amperes
  ChargeStep = Store(Extended{current} / SampleRate / Capacitance);
  Voltage = Store(Extended{Voltage} + ChargeStep);
  Voltage = Store(Extended{Voltage} - LeakStep);
  if (Voltage < VoltageMin) Voltage = VoltageMin;
  if (Voltage > VoltageMax) Voltage = VoltageMax;

  // The power of ten is the costly part of a step; while the voltage rests
  // (silence at the lower limit, overload at the upper) the last one serves.
  if (Voltage != GainVoltage_) {
    GainFactor = GainFactorOf(Voltage);
    GainVoltage_ = Voltage;
  }
  return GainFactor;
}

void TControlSignalGenerator::CopyWeightingTo(TControlSignalGenerator& to) const {
  to.Filter1 = Filter1;
  to.Filter2 = Filter2;
  to.Filter3 = Filter3;
  to.Filter4 = Filter4;
  to.Filter5 = Filter5;
}

void TControlSignalGenerator::CopyDetectorTo(TControlSignalGenerator& to) const {
  to.Capacitance = Capacitance;
  to.ChargeStep = ChargeStep;
  to.Voltage = Voltage;
  to.VoltageMax = VoltageMax;
  to.VoltageMin = VoltageMin;
  to.LeakStep = LeakStep;
  to.InputScale = InputScale;
  to.RectifierInput = RectifierInput;
  to.RectifierLevel = RectifierLevel;
  to.SampleRate = SampleRate;
  to.GainFactor = GainFactor;
  to.GainVoltage_ = GainVoltage_;
}

}  // namespace zorv
