#include "dsp/zorv_calc.h"

#include <cmath>

#include "dsp/channel_worker.h"
#include "dsp/fast/lane_state.h"

namespace zorv {
namespace {

// Tenths of a dB of band gain per volt: 200 / 3.64.
constexpr Extended kMeterScale = 200.0L;
// Reference level at start-up, dB.
constexpr Extended kDefaultLevelDb = -10.0L;

double LevelFromDb(Extended dB) {
  return Store(std::pow(10.0L, dB / 20.0L));
}

}  // namespace

std::int32_t MeterPositionOf(double voltage) {
  // Truncated straight from the extended quotient: at the lower limit it lies
  // just above -320 and must give -319.
  return static_cast<std::int32_t>(Extended{voltage} * kMeterScale /
                                   TControlSignalGenerator::kVoltsPerDecade);
}

TZorvCalc::TZorvCalc() : Level_(LevelFromDb(kDefaultLevelDb)) {
  for (auto& channel : SplitFilter_) {
    for (TFilterSection& section : channel) section.Init();
  }
  for (auto& channel : Generator_) {
    for (TControlSignalGenerator& generator : channel) generator.Init();
  }
}

TZorvCalc::~TZorvCalc() = default;

void TZorvCalc::SetLevel(double dB) {
  Level_ = LevelFromDb(dB);
}

void TZorvCalc::ReleaseBuffers() {
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    MeterVolts_[ch].reset();
    WorkBuffer_[ch].reset();
    for (int band = 0; band < kBands; ++band) {
      BandBuffer_[ch][band].reset();
      GainBuffer_[ch][band].reset();
    }
  }
}

void TZorvCalc::Prepare(std::uint32_t sampleRate, std::uint32_t channels,
                        std::uint32_t debugChannel) {
  SampleRate_ = sampleRate;
  Channels_ = channels;
  DebugChannel_ = debugChannel;
  ReleaseBuffers();
  for (auto& channel : Generator_) {
    for (int band = 0; band < kBands; ++band) channel[band].Setup(band, SampleRate_);
  }
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    // Left uninitialised: every element is written before it is read.
    MeterVolts_[ch] = std::make_unique_for_overwrite<double[][fast::kMaxLanes]>(
        BlockCapacity / kMeterInterval + 1);
    WorkBuffer_[ch] = std::make_unique_for_overwrite<double[]>(BlockCapacity);
    for (int band = 0; band < kBands; ++band) {
      BandBuffer_[ch][band] = std::make_unique_for_overwrite<double[]>(BlockCapacity);
      GainBuffer_[ch][band] = std::make_unique_for_overwrite<double[]>(BlockCapacity);
    }
  }
  const int rate = RateIndex(SampleRate_);
  if (rate < 0) return;
  for (auto& channel : SplitFilter_) {
    for (int section = 0; section < kSplitSections; ++section) {
      channel[section].SetCoefficients(kSplitCoefficients[section][rate]);
    }
  }
}

std::int32_t TZorvCalc::ProcessBlock(const double* inL, const double* inR, double* outL,
                                     double* outR, std::uint32_t count) {
  if (SampleRate_ == 0 || Channels_ == 0 || count == 0 || inL == nullptr || outL == nullptr) {
    return 0;
  }
  // More frames than the buffers hold would run past them.
  if (count > BlockCapacity) return 0;

  if (Path_ != TDecodePath::Extended) {
    ProcessLanes(inL, inR, outL, outR, count);
    return static_cast<std::int32_t>(count);
  }
  const bool debug = DebugChannel_ >= 1 && DebugChannel_ <= kBands;
  const bool stereo = Channels_ == 2 && inR != nullptr && outR != nullptr && DebugChannel_ == 0;
  if (stereo && Worker_ != nullptr) {
    struct TJob {
      TZorvCalc* calc;
      const double* in;
      double* out;
      std::uint32_t count;
    } job{this, inR, outR, count};
    Worker_->Post(
        [](void* context) {
          auto& j = *static_cast<TJob*>(context);
          j.calc->ProcessChannel(1, j.in, j.out, nullptr, j.count, j.calc->MeterVolts_[1].get());
        },
        &job);
    ProcessChannel(0, inL, outL, nullptr, count, MeterVolts_[0].get());
    Worker_->Wait();
    EmitMeters(2, false, count);
    return static_cast<std::int32_t>(count);
  }
  ProcessChannel(0, inL, outL, debug ? outR : nullptr, count);
  if (stereo) ProcessChannel(1, inR, outR, nullptr, count);
  return static_cast<std::int32_t>(count);
}

void TZorvCalc::ProcessChannel(int channel, const double* in, double* out, double* debugOut,
                               std::uint32_t count, double (*meterVolts)[fast::kMaxLanes]) {
  TFilterSection* split = SplitFilter_[channel];
  TControlSignalGenerator* generator = Generator_[channel];
  double* work = WorkBuffer_[channel].get();
  double* bandOut[kBands];
  double* gainOut[kBands];
  for (int band = 0; band < kBands; ++band) {
    bandOut[band] = BandBuffer_[channel][band].get();
    gainOut[band] = GainBuffer_[channel][band].get();
  }
  const TControlSignalGenerator& debugGenerator =
      Generator_[0][debugOut != nullptr ? DebugChannel_ - 1 : 0];

  for (std::uint32_t i = 0; i < count; ++i) {
    const double w = Store(Extended{in[i]} / Level_);
    work[i] = w;

    double band[kBands];
    band[0] = split[1].FirstOrderStep(split[0].FirstOrderStep(w));
    band[1] = split[3].FirstOrderStep(split[2].FirstOrderStep(w));
    band[2] = split[5].FirstOrderStep(split[4].FirstOrderStep(w));
    band[3] = split[6].FirstOrderStep(w);
    // Each generator listens to the full-band input; its gain factor divides
    // the band sample of the same frame.
    for (int b = 0; b < kBands; ++b) {
      const double gain = generator[b].Step(b, FeedbackLaw_, w);
      band[b] = Store(Extended{band[b]} / gain);
      bandOut[b][i] = band[b];
      gainOut[b][i] = gain;
    }

    if (i % kMeterInterval == 0) {
      for (int b = 0; b < kBands; ++b) {
        if (meterVolts != nullptr) {
          meterVolts[i / kMeterInterval][b] = generator[b].ControlVoltage();
        } else if (Meters_ != nullptr) {
          Meters_->MeterPosition(channel, b, MeterPositionOf(generator[b].ControlVoltage()));
        }
      }
    }

    const double y = Store(Extended{band[0]} + band[1] + band[2] + band[3]);
    work[i] = y;
    out[i] = Store(Extended{y} * Level_);
    if (debugOut != nullptr) {
      debugOut[i] = Store(Extended{debugGenerator.ControlVoltage()} / kDebugFullScale);
    }
  }
}

}  // namespace zorv
