// The decoder core's fast paths: the state is laid out in lanes for a block,
// decoded by the kernel of the chosen instruction set, and laid back.
#include <algorithm>

#include "dsp/channel_worker.h"
#include "dsp/charge_current.h"
#include "dsp/fast/lane_state.h"
#include "dsp/zorv_calc.h"

namespace zorv {
namespace {

// Split sections of bands A..D: first stage, and second stage (none for D).
constexpr int kSplitStage1[kBands] = {0, 2, 4, 6};
constexpr int kSplitStage2[kBands] = {1, 3, 5, -1};

void PackSection(fast::TLaneSection& lanes, int lane, const TFilterSection& s) {
  lanes.b0[lane] = s.Coefficients.b0;
  lanes.gain[lane] = s.Coefficients.gain;
  lanes.b1[lane] = s.Coefficients.b1;
  lanes.a1[lane] = s.Coefficients.a1;
  lanes.b2[lane] = s.Coefficients.b2;
  lanes.a2[lane] = s.Coefficients.a2;
  lanes.X1[lane] = s.X1;
  lanes.Y1[lane] = s.Y1;
  lanes.X2[lane] = s.X2;
  lanes.Y2[lane] = s.Y2;
}

void UnpackSection(const fast::TLaneSection& lanes, int lane, TFilterSection& s) {
  s.X0 = lanes.X1[lane];  // the latest input
  s.X1 = lanes.X1[lane];
  s.Y1 = lanes.Y1[lane];
  s.X2 = lanes.X2[lane];
  s.Y2 = lanes.Y2[lane];
}

using TKernel = void (*)(fast::TLaneState&, const fast::TLaneBlock&);

TKernel KernelFor(TDecodePath path, int lanes) {
  switch (path) {
    case TDecodePath::Avx512:
      return lanes == 8 ? fast::DecodeLanesAvx512x8 : fast::DecodeLanesAvx512x4;
    case TDecodePath::Avx2:
      return lanes == 8 ? fast::DecodeLanesAvx2x8 : fast::DecodeLanesAvx2x4;
    default:
      return lanes == 8 ? fast::DecodeLanesPortable8 : fast::DecodeLanesPortable4;
  }
}

}  // namespace

void TZorvCalc::SetPath(TDecodePath path) {
  Path_ = PathSupported(path) ? path : TDecodePath::Portable;
  if (Path_ != TDecodePath::Extended && Lanes_ == nullptr) {
    Lanes_ = std::make_unique<fast::TLaneState[]>(kMaxChannels);
  }
}

void TZorvCalc::SetChannelThreads(bool on) {
  if (!on) {
    Worker_.reset();
  } else if (Worker_ == nullptr) {
    Worker_ = std::make_unique<TChannelWorker>();
  }
}

void TZorvCalc::EmitMeters(int channels, bool sharedTable, std::uint32_t count) {
  if (Meters_ == nullptr) return;
  const std::uint32_t points = (count + kMeterInterval - 1) / kMeterInterval;
  for (int ch = 0; ch < channels; ++ch) {
    const double(*volts)[fast::kMaxLanes] = MeterVolts_[sharedTable ? 0 : ch].get();
    const int lane0 = sharedTable ? ch * kBands : 0;
    for (std::uint32_t p = 0; p < points; ++p) {
      for (int band = 0; band < kBands; ++band) {
        Meters_->MeterPosition(ch, band, MeterPositionOf(volts[p][lane0 + band]));
      }
    }
  }
}

void TZorvCalc::PackLanes(fast::TLaneState& st, int firstChannel, int lanes) {
  for (int lane = 0; lane < lanes; ++lane) {
    const int ch = firstChannel + lane / kBands;
    const int band = lane % kBands;
    PackSection(st.Split1, lane, SplitFilter_[ch][kSplitStage1[band]]);
    const int stage2 = kSplitStage2[band];
    PackSection(st.Split2, lane, stage2 >= 0 ? SplitFilter_[ch][stage2] : TFilterSection{});
    const TControlSignalGenerator& g = Generator_[ch][band];
    PackSection(st.Filter1, lane, g.Filter1);
    PackSection(st.Filter2, lane, g.Filter2);
    PackSection(st.Filter3, lane, g.Filter3);
    PackSection(st.Filter4, lane, g.Filter4);
    PackSection(st.Filter5, lane, g.Filter5);
    st.Voltage[lane] = g.Voltage;
    st.GainFactor[lane] = g.GainFactor;
    st.ChargeStep[lane] = g.ChargeStep;
    st.RectifierInput[lane] = g.RectifierInput;
    st.RectifierLevel[lane] = g.RectifierLevel;
    st.LeakStep[lane] = g.LeakStep;
    st.SampleRate[lane] = g.SampleRate;
    st.Capacitance[lane] = g.Capacitance;
    st.InputScale[lane] = g.InputScale;
    st.VoltageMin[lane] = g.VoltageMin;
    st.VoltageMax[lane] = g.VoltageMax;
    const TCurrentTable& curve = *CurrentTableForBand(band);
    for (std::size_t k = 0; k < curve.size(); ++k) {
      st.Curves.Current[k][lane] = curve[k];
      st.Curves.Slope[k][lane] = k + 1 < curve.size() ? curve[k + 1] - curve[k] : 0.0;
    }
  }
  st.Level = Level_;
  st.FeedbackLaw = FeedbackLaw_;
}

void TZorvCalc::UnpackLanes(const fast::TLaneState& st, int firstChannel, int lanes) {
  for (int lane = 0; lane < lanes; ++lane) {
    const int ch = firstChannel + lane / kBands;
    const int band = lane % kBands;
    UnpackSection(st.Split1, lane, SplitFilter_[ch][kSplitStage1[band]]);
    if (kSplitStage2[band] >= 0)
      UnpackSection(st.Split2, lane, SplitFilter_[ch][kSplitStage2[band]]);
    TControlSignalGenerator& g = Generator_[ch][band];
    UnpackSection(st.Filter1, lane, g.Filter1);
    UnpackSection(st.Filter2, lane, g.Filter2);
    UnpackSection(st.Filter3, lane, g.Filter3);
    UnpackSection(st.Filter4, lane, g.Filter4);
    UnpackSection(st.Filter5, lane, g.Filter5);
    g.Voltage = st.Voltage[lane];
    g.GainFactor = st.GainFactor[lane];
    g.ChargeStep = st.ChargeStep[lane];
    g.RectifierInput = st.RectifierInput[lane];
    g.RectifierLevel = st.RectifierLevel[lane];
    g.ForgetGainVoltage();
  }
}

void TZorvCalc::ProcessLanes(const double* inL, const double* inR, double* outL, double* outR,
                             std::uint32_t count) {
  const bool debug = DebugChannel_ >= 1 && DebugChannel_ <= kBands;
  const bool stereo = Channels_ == 2 && inR != nullptr && outR != nullptr && DebugChannel_ == 0;
  const bool threads = stereo && Worker_ != nullptr;

  // Both channels in one call (one vector of eight lanes, or with AVX2 two of
  // four side by side), or one channel per call, each on a thread of its own.
  const int lanesPerCall = stereo && !threads ? 2 * kBands : kBands;
  const int calls = threads ? 2 : 1;
  const TKernel kernel = KernelFor(Path_, lanesPerCall);

  struct TJob {
    fast::TLaneState* state;
    fast::TLaneBlock block;
    TKernel kernel;
  } jobs[kMaxChannels];
  const double* in[kMaxChannels] = {inL, inR};
  double* out[kMaxChannels] = {outL, outR};
  for (int c = 0; c < calls; ++c) {
    fast::TLaneBlock& block = jobs[c].block;
    block = {};
    block.In[0] = in[c];
    block.In[1] = lanesPerCall == 2 * kBands ? inR : nullptr;
    block.Out[0] = out[c];
    block.Out[1] = lanesPerCall == 2 * kBands ? outR : nullptr;
    block.DebugVolts = debug ? outR : nullptr;
    block.DebugLane = debug ? static_cast<int>(DebugChannel_) - 1 : 0;
    block.MeterVolts = MeterVolts_[c].get();
    block.Count = count;
    jobs[c].state = &Lanes_[c];
    jobs[c].kernel = kernel;
    PackLanes(*jobs[c].state, c, lanesPerCall);
  }

  const auto run = [](void* context) {
    auto& job = *static_cast<TJob*>(context);
    job.kernel(*job.state, job.block);
  };
  if (threads) Worker_->Post(run, &jobs[1]);
  run(&jobs[0]);
  if (threads) Worker_->Wait();

  for (int c = 0; c < calls; ++c) UnpackLanes(*jobs[c].state, c, lanesPerCall);
  EmitMeters(stereo ? 2 : 1, !threads, count);

  if (debug) {
    for (std::uint32_t i = 0; i < count; ++i) {
      outR[i] = Store(Extended{outR[i]} / kDebugFullScale);
    }
  }
}

}  // namespace zorv
