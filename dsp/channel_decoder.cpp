// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/channel_decoder.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "dsp/charge_current.h"
#include "dsp/rate_coefficients.h"
#include "dsp/start_values.h"

namespace zorv {
namespace {

using detector::kDebugFullScale;
using detector::kMeterInterval;

// Split sections of bands A..D: first stage, and second stage (none for D).
constexpr int kSplitStage1[detector::kBands] = {0, 2, 4, 6};
constexpr int kSplitStage2[detector::kBands] = {1, 3, 5, -1};

void PackSectionCoefficients(fast::TLaneSection& lanes, int lane, const TFilterSection& s) {
  lanes.b0[lane] = s.Coefficients.b0;
  lanes.gain[lane] = s.Coefficients.gain;
  lanes.b1[lane] = s.Coefficients.b1;
  lanes.a1[lane] = s.Coefficients.a1;
  lanes.b2[lane] = s.Coefficients.b2;
  lanes.a2[lane] = s.Coefficients.a2;
}

void PackSectionState(fast::TLaneSection& lanes, int lane, const TFilterSection& s) {
  lanes.X1[lane] = s.X1;
  lanes.Y1[lane] = s.Y1;
  lanes.X2[lane] = s.X2;
  lanes.Y2[lane] = s.Y2;
}

void UnpackSectionState(const fast::TLaneSection& lanes, int lane, TFilterSection& s) {
  s.X0 = lanes.X1[lane];  // the latest input
  s.X1 = lanes.X1[lane];
  s.Y1 = lanes.Y1[lane];
  s.X2 = lanes.X2[lane];
  s.Y2 = lanes.Y2[lane];
}

// Each weighting section of a band's generator beside the lanes that hold
// it: f(lanes, section).
template <typename Lanes, typename Generator, typename F>
void ForEachWeightingSection(Lanes& st, Generator& g, F f) {
  f(st.Filter1, g.Filter1);
  f(st.Filter2, g.Filter2);
  f(st.Filter3, g.Filter3);
  f(st.Filter4, g.Filter4);
  f(st.Filter5, g.Filter5);
}

// Each value of a band's detector that changes as it runs, beside the lanes
// that hold it: f(lanes, value).
template <typename Lanes, typename Generator, typename F>
void ForEachDetectorValue(Lanes& st, Generator& g, F f) {
  f(st.ChargeStep, g.ChargeStep);
  f(st.Voltage, g.Voltage);
  f(st.RectifierInput, g.RectifierInput);
  f(st.RectifierLevel, g.RectifierLevel);
  f(st.GainFactor, g.GainFactor);
}

// The band's second split stage, or the pass-through that band D's lane runs
// (its result is not used).
const TFilterSection& SplitStage2(const TFilterSection* split, int band) {
  static const TFilterSection kPassThrough{};
  return kSplitStage2[band] >= 0 ? split[kSplitStage2[band]] : kPassThrough;
}

}  // namespace

std::int32_t MeterPositionOf(double voltage) {
  // The quotient in doubles lies within 2^-40 of the exact one (|q| <= 320,
  // three roundings), and the extended quotient closer still: where the
  // double one is farther than 2^-30 from every integer, all three truncate
  // to the same position. Only the rare voltages near a step take the
  // extended division, which costs several times more (in WebAssembly a
  // call into software arithmetic).
  const double q = voltage * static_cast<double>(detector::kMeterScale) /
                   static_cast<double>(detector::kVoltsPerDecade);
  if (std::fabs(q - std::nearbyint(q)) > 0x1p-30) return static_cast<std::int32_t>(q);
  // Truncated straight from the extended quotient: at the lower limit it lies
  // just above -320 and must give -319.
  return static_cast<std::int32_t>(Extended{voltage} * detector::kMeterScale /
                                   detector::kVoltsPerDecade);
}

void TChannelDecoder::Init() {
  for (TFilterSection& section : Split) section.Init();
  for (TControlSignalGenerator& generator : Generator) generator.Init();
  LaneCoefficientsLoaded_ = false;
}

void TChannelDecoder::Setup(std::uint32_t sampleRate) {
  for (int band = 0; band < kBands; ++band) Generator[band].Setup(band, sampleRate);
  LaneCoefficientsLoaded_ = false;
  const int rate = RateIndex(sampleRate);
  if (rate < 0) return;
  for (int section = 0; section < kSplitSections; ++section) {
    Split[section].SetCoefficients(SplitCoefficientsAt(section, rate));
  }
}

void TChannelDecoder::Decode(const double* in, double* out, std::uint32_t count, double level,
                             TMeterVolts& meters, double* debugOut, int debugBand) {
  TFilterSection* split = Split;
  TControlSignalGenerator* generator = Generator;
  const TControlSignalGenerator& debugGenerator = Generator[debugBand];

  for (std::uint32_t i = 0; i < count; ++i) {
    const double w = Store(Extended{in[i]} / level);

    double band[kBands];
    band[0] = split[1].FirstOrderStep(split[0].FirstOrderStep(w));
    band[1] = split[3].FirstOrderStep(split[2].FirstOrderStep(w));
    band[2] = split[5].FirstOrderStep(split[4].FirstOrderStep(w));
    band[3] = split[6].FirstOrderStep(w);
    // Each detector listens to the full-band input; its gain factor divides
    // the band sample of the same frame. The decoder's feedback law is 0:
    // the square of the previous gain factor.
    for (int b = 0; b < kBands; ++b) {
      const double gain = generator[b].Step(b, 0, w);
      band[b] = Store(Extended{band[b]} / gain);
    }

    if (i % kMeterInterval == 0) {
      for (int b = 0; b < kBands; ++b) {
        meters.At[i / kMeterInterval][b] = generator[b].ControlVoltage();
      }
    }

    const double y = Store(Extended{band[0]} + band[1] + band[2] + band[3]);
    out[i] = Store(Extended{y} * level);
    if (debugOut != nullptr) {
      debugOut[i] = Store(Extended{debugGenerator.ControlVoltage()} / kDebugFullScale);
    }
  }
}

void TChannelDecoder::PackCoefficients() {
  fast::TLaneChannel& st = Lanes;
  for (int band = 0; band < kBands; ++band) {
    PackSectionCoefficients(st.Split1, band, Split[kSplitStage1[band]]);
    PackSectionCoefficients(st.Split2, band, SplitStage2(Split, band));
    const TControlSignalGenerator& g = Generator[band];
    ForEachWeightingSection(st, g, [band](fast::TLaneSection& lanes, const TFilterSection& f) {
      PackSectionCoefficients(lanes, band, f);
    });
    st.VoltageMax[band] = g.VoltageMax;
    st.VoltageMin[band] = g.VoltageMin;
    st.LeakStep[band] = g.LeakStep;
    st.InputScale[band] = g.InputScale;
    for (int k = 0; k < detector::kCurvePoints; ++k) {
      // As the generator divides a current.
      st.Curves.Charge[k][band] = start_values::Charge(g.SampleRate, band, k, g.Capacitance);
      st.Curves.ChargeSlope[k][band] =
          start_values::ChargeSlope(g.SampleRate, band, k, g.Capacitance);
    }
  }
  LaneCoefficientsLoaded_ = true;
}

void TChannelDecoder::PackLanes(fast::TLaneStage stage) {
  if (!LaneCoefficientsLoaded_) PackCoefficients();
  fast::TLaneChannel& st = Lanes;
  for (int band = 0; band < kBands; ++band) {
    const TControlSignalGenerator& g = Generator[band];
    if (fast::Weighs(stage)) {
      ForEachWeightingSection(st, g, [band](fast::TLaneSection& lanes, const TFilterSection& f) {
        PackSectionState(lanes, band, f);
      });
    }
    if (fast::Detects(stage)) {
      PackSectionState(st.Split1, band, Split[kSplitStage1[band]]);
      PackSectionState(st.Split2, band, SplitStage2(Split, band));
      ForEachDetectorValue(st, g, [band](auto& lanes, double value) { lanes[band] = value; });
    }
  }
}

void TChannelDecoder::UnpackLanes(fast::TLaneStage stage) {
  const fast::TLaneChannel& st = Lanes;
  for (int band = 0; band < kBands; ++band) {
    TControlSignalGenerator& g = Generator[band];
    if (fast::Weighs(stage)) {
      ForEachWeightingSection(st, g, [band](const fast::TLaneSection& lanes, TFilterSection& f) {
        UnpackSectionState(lanes, band, f);
      });
    }
    if (fast::Detects(stage)) {
      UnpackSectionState(st.Split1, band, Split[kSplitStage1[band]]);
      if (kSplitStage2[band] >= 0) UnpackSectionState(st.Split2, band, Split[kSplitStage2[band]]);
      ForEachDetectorValue(st, g,
                           [band](const auto& lanes, double& value) { value = lanes[band]; });
      g.ForgetGainVoltage();
    }
  }
}

void TChannelDecoder::Save(TState& state, fast::TLaneStage stage) const {
  if (stage == fast::TLaneStage::Whole) {
    std::copy(std::begin(Split), std::end(Split), std::begin(state.Split));
    std::copy(std::begin(Generator), std::end(Generator), std::begin(state.Generator));
    return;
  }
  if (stage == fast::TLaneStage::Detect) {
    std::copy(std::begin(Split), std::end(Split), std::begin(state.Split));
  }
  for (int band = 0; band < kBands; ++band) {
    if (stage == fast::TLaneStage::Weigh) {
      Generator[band].CopyWeightingTo(state.Generator[band]);
    } else {
      Generator[band].CopyDetectorTo(state.Generator[band]);
    }
  }
}

void TChannelDecoder::Restore(const TState& state) {
  std::copy(std::begin(state.Split), std::end(state.Split), std::begin(Split));
  std::copy(std::begin(state.Generator), std::end(state.Generator), std::begin(Generator));
}

void EmitMeterPositions(TMeterListener& listener, int channel, const TMeterVolts& volts,
                        std::uint32_t count) {
  const std::uint32_t points = (count + kMeterInterval - 1) / kMeterInterval;
  if (!listener.WantsPositions()) {
    for (std::uint32_t p = 0; p < points; ++p) {
      for (int band = 0; band < detector::kBands; ++band) {
        listener.MeterVoltage(channel, band, volts.At[p][band]);
      }
    }
    return;
  }
  for (std::uint32_t p = 0; p < points; ++p) {
    for (int band = 0; band < detector::kBands; ++band) {
      listener.MeterVoltage(channel, band, volts.At[p][band]);
      listener.MeterPosition(channel, band, MeterPositionOf(volts.At[p][band]));
    }
  }
}

}  // namespace zorv
