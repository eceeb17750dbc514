// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder's per-sample work on lanes of doubles: the band split, the four
// detectors and the expansion of a channel, its bands A..D in the four lanes
// of a vector; up to kMaxGroups channels side by side.
//
// Included by one source file per instruction set (after <algorithm>, <array>, <bit>,
// <cstdint>, <cstring>, <initializer_list>, <utility> and
// "dsp/fast/lane_state.h"), inside an anonymous namespace, so that nothing
// compiled here for one instruction set can be picked by the linker for
// another. Uses only GCC vector extensions: the same source becomes SSE2,
// AVX2 or AVX-512 code.
//
// The arithmetic is plain double precision in the order of the extended
// reference: results differ from the reference only in last bits. It is the
// same arithmetic in every build, operation for operation, so that every
// processor writes the same output for an input: no fused multiply-adds (a
// product and a sum are rounded apart, and the files are built with
// -ffp-contract=off so that the compiler fuses none either). Builds for AVX
// define ZORV_LANE_AVX for the processor's own select, min and max, which
// give exactly the bits of the generic forms.
// The constants are the reference's (dsp/detector_constants.h), each taken
// as the double nearest to it.

namespace detector = zorv::detector;

// The kernel's steps are inlined into the frame loop, so that the steps of
// the channels side by side stand next to each other and overlap.
#define ZORV_LANE_INLINE inline __attribute__((always_inline))
using zorv::fast::kLanes;

typedef double TDouble4 __attribute__((vector_size(4 * sizeof(double))));
// 64-bit lanes whatever the width of long (32 bits in WebAssembly).
typedef std::int64_t TInt4 __attribute__((vector_size(4 * sizeof(double))));

// A vector of the four lanes of one channel.
struct TLanes {
  using V = TDouble4;  // 4 doubles
  using I = TInt4;     // 4 64-bit integers, or lane masks

  static V Load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Save(double* p, V v) { std::memcpy(p, &v, sizeof v); }
  static V Splat(double x) { return V{x, x, x, x}; }
  static I SplatI(std::int64_t x) { return I{x, x, x, x}; }
  // Whether any lane of a mask is true.
#if ZORV_LANE_AVX
  static bool Any(I mask) {
    return _mm256_movemask_pd((V)mask) != 0;
  }
#else
  static bool Any(I mask) {
    return (mask[0] | mask[1] | mask[2] | mask[3]) != 0;
  }
#endif
  // Lane-wise select: mask lanes are all ones (true) or all zeros.
#if ZORV_LANE_AVX
  static V Select(I mask, V a, V b) {
    return _mm256_blendv_pd(b, a, (V)mask);
  }
  // v > limit ? limit : v, and v < limit ? limit : v: the processor's min
  // and max, whose operand order gives exactly these (a NaN v passes).
  static V AtMost(double limit, V v) {
    return _mm256_min_pd(Splat(limit), v);
  }
  static V AtMost(V limit, V v) {
    return _mm256_min_pd(limit, v);
  }
  static V AtLeast(V limit, V v) {
    return _mm256_max_pd(limit, v);
  }
#else
  static V Select(I mask, V a, V b) {
    const I ai = (I)a;
    const I bi = (I)b;
    return (V)((ai & mask) | (bi & ~mask));
  }
  static V AtMost(double limit, V v) {
    return Select(v > limit, Splat(limit), v);
  }
  static V AtMost(V limit, V v) {
    return Select(v > limit, limit, v);
  }
  static V AtLeast(V limit, V v) {
    return Select(v < limit, limit, v);
  }
#endif
};
static_assert(kLanes == 4, "one vector of four doubles holds the bands of a channel");

using L = TLanes;
using V = TLanes::V;
using I = TLanes::I;

// a x b + c, the product rounded before the sum (never fused: see above).
ZORV_LANE_INLINE V Fma(V a, V b, V c) {
  return a * b + c;
}
ZORV_LANE_INLINE V Fma(V a, double b, double c) {
  return Fma(a, L::Splat(b), L::Splat(c));
}
ZORV_LANE_INLINE V Fma(V a, double b, V c) {
  return Fma(a, L::Splat(b), c);
}

// One filter section per lane, held in registers for a block.
struct TSection {
  // The feedback coefficients negated: y = ... - a1 Y1 is y = ... + (-a1) Y1.
  V b0, gain, b1, minusA1, b2, minusA2, X1, Y1, X2, Y2;

  explicit TSection(const zorv::fast::TLaneSection& s)
      : b0(L::Load(s.b0)),
        gain(L::Load(s.gain)),
        b1(L::Load(s.b1)),
        minusA1(-L::Load(s.a1)),
        b2(L::Load(s.b2)),
        minusA2(-L::Load(s.a2)),
        X1(L::Load(s.X1)),
        Y1(L::Load(s.Y1)),
        X2(L::Load(s.X2)),
        Y2(L::Load(s.Y2)) {}

  void SaveState(zorv::fast::TLaneSection& s) const {
    L::Save(s.X1, X1);
    L::Save(s.Y1, Y1);
    L::Save(s.X2, X2);
    L::Save(s.Y2, Y2);
  }

  V FirstOrderStep(V x) {
    const V y = Fma(minusA1, Y1, Fma(b0, x, b1 * X1));
    X1 = x;
    Y1 = y;
    return y;
  }

  V SecondOrderStep(V x) {
    const V y = Fma(minusA2, Y2, Fma(minusA1, Y1, Fma(b2, X2, Fma(b1, X1, b0 * x))));
    X2 = X1;
    X1 = x;
    Y2 = Y1;
    Y1 = y;
    return gain * y;
  }
};

// std::bit_cast, which the WebAssembly build's C++ library lacks.
template <typename To, typename From>
constexpr To BitCast(const From& from) {
  return __builtin_bit_cast(To, from);
}

// The largest double not above an extended-precision value: a double d lies
// above the extended breakpoint b exactly when it lies above this. The
// breakpoints are decimals of a few digits, which lie much farther from any
// double than a long double's rounding moves them: a long double of 113 bits
// (WebAssembly) gives the same thresholds as the x87 one.
constexpr double DoubleBelow(long double x) {
  double d = static_cast<double>(x);
  if (static_cast<long double>(d) > x) {
    d = BitCast<double>(BitCast<std::uint64_t>(d) - (d > 0 ? 1 : -1));
  }
  return d;
}

// The neighbours of a positive double (the levels near the breakpoints are).
constexpr double NextUp(double d) {
  return BitCast<double>(BitCast<std::uint64_t>(d) + 1);
}
constexpr double NextDown(double d) {
  return BitCast<double>(BitCast<std::uint64_t>(d) - 1);
}

// The largest level whose distance above the offset, level - offset as the
// kernel rounds it, is not above the threshold t: since that distance grows
// with the level, it lies above t exactly when the level lies above this.
constexpr double LevelAtMost(double t, double offset) {
  double level = t + offset;
  while (level - offset > t) level = NextDown(level);
  while (NextUp(level) - offset <= t) level = NextUp(level);
  return level;
}

constexpr std::array<double, detector::kCurvePoints> LevelThresholds() {
  std::array<double, detector::kCurvePoints> t{};
  for (int k = 0; k < detector::kCurvePoints; ++k)
    t[k] = LevelAtMost(DoubleBelow(detector::kCurveBreakpoint[k]),
                       static_cast<double>(detector::kCurveOffset));
  return t;
}

// The constants as doubles. Each is the double nearest to the reference's
// value, which is also the double the kernels were first written with.
constexpr double kCurveOffset = static_cast<double>(detector::kCurveOffset);
constexpr double kCurveInterpolation = static_cast<double>(detector::kCurveInterpolation);
constexpr double kVoltsPerDecade = static_cast<double>(detector::kVoltsPerDecade);
constexpr double kRectifierClamp = detector::kRectifierClamp;
constexpr int kCurveFirstStep = detector::kCurveFirstStep;
static_assert(kCurveOffset == 0.138 && kVoltsPerDecade == 3.64 && kCurveInterpolation == 10.0);
static_assert(static_cast<double>(detector::kCurveBreakpoint[1]) == 0.1 &&
              static_cast<double>(detector::kCurveBreakpoint[6]) == 0.6);

// The breakpoints as thresholds of the level itself, so that the compares
// need not wait for the subtraction of the offset.
constexpr std::array<double, detector::kCurvePoints> kLevelThreshold = LevelThresholds();
constexpr bool LevelThresholdsHold() {
  for (int k = 0; k < detector::kCurvePoints; ++k) {
    const double t = DoubleBelow(detector::kCurveBreakpoint[k]);
    const double offset = static_cast<double>(detector::kCurveOffset);
    if (!(kLevelThreshold[k] - offset <= t && NextUp(kLevelThreshold[k]) - offset > t))
      return false;
  }
  return true;
}
static_assert(LevelThresholdsHold());
// The rectifier's clamp holds the level at or below kRectifierClamp, so the
// breakpoints from the first whose level threshold is not below it can never
// be passed and need no compare.
constexpr int ReachableCurvePoints() {
  int k = 0;
  while (k < detector::kCurvePoints && kLevelThreshold[k] < kRectifierClamp) ++k;
  return k;
}
constexpr int kReachableCurvePoints = ReachableCurvePoints();
static_assert(kReachableCurvePoints > kCurveFirstStep);

// The value of the interval of breakpoints [Lo, Hi) that holds each lane's
// level, given that the level lies above breakpoint Lo (or Lo is the first):
// the last breakpoint the level lies above wins. The breakpoints ascend, so
// a level above one lies above all before it, and halving the interval at
// each select gives that value with log2(Hi - Lo) selects in a row instead
// of one select per breakpoint.
template <int Lo, int Hi, typename Values>
ZORV_LANE_INLINE V IntervalValue(const std::array<I, detector::kCurvePoints>& above,
                                 const Values& value) {
  if constexpr (Hi - Lo == 1) {
    return value(Lo);
  } else {
    constexpr int kMid = Lo + (Hi - Lo + 1) / 2;
    return L::Select(above[kMid], IntervalValue<kMid, Hi>(above, value),
                     IntervalValue<Lo, kMid>(above, value));
  }
}

// Reproduces ChargeCurrent / SampleRate / Capacitance of TControlSignalGenerator::Step.
// Charge step (volts per sample) of each lane's curve for the lane's detector
// level. The interval is found by selects over the ascending breakpoints: no
// per-lane loads, short dependency chains. On the staircase the step is the
// curve's own, divided by rate and capacitance beforehand as the reference
// divides it; between breakpoints it is the step at the breakpoint below
// plus the level's distance above it times the interval's slope, both
// divided by rate and capacitance beforehand: one product and one sum after
// the distance, where interpolating the current and scaling it took three
// products and a sum on the way from one frame's level to the next.
//
// Levels on the staircase are rare in programme (a few in ten thousand
// frames), and its eleven compares and ten selects are half of this work:
// they are made only when a lane is on it, and the branch is then the one
// seldom taken.
ZORV_LANE_INLINE V ChargeStepOf(const zorv::fast::TLaneCurves& curves, V level) {
  const V d = level - kCurveOffset;
  std::array<I, detector::kCurvePoints> above{};
  for (int j = 0; j <= kCurveFirstStep; ++j) above[j] = level > kLevelThreshold[j];
  const V charge =
      IntervalValue<0, kCurveFirstStep>(above, [&](int j) { return L::Load(curves.Charge[j]); });
  const V slope = IntervalValue<0, kCurveFirstStep>(
      above, [&](int j) { return L::Load(curves.ChargeSlope[j]); });
  const V breakpoint = IntervalValue<0, kCurveFirstStep>(
      above, [](int j) { return L::Splat(static_cast<double>(detector::kCurveBreakpoint[j])); });
  V rising = Fma(d - breakpoint, slope, charge);
  if (L::Any(above[kCurveFirstStep])) [[unlikely]] {
    for (int j = kCurveFirstStep + 1; j < kReachableCurvePoints; ++j)
      above[j] = level > kLevelThreshold[j];
    const V step = IntervalValue<kCurveFirstStep, kReachableCurvePoints>(
        above, [&](int j) { return L::Load(curves.Charge[j]); });
    rising = L::Select(above[kCurveFirstStep], step, rising);
  }
  return (V)((I)rising & above[0]);
}

// Reproduces GainFactorOf (dsp/control_signal_generator.cpp), lane by lane.
// The gain factor 10^(-v / 3.64) of control voltages v, to within 1.5 units in
// the last place of the exact value. It is 2^t with t = -v log2(10) / 3.64:
// t = n + r with n an integer and |r| <= 1/2, r found without rounding t
// first, then 2^r by a degree-13 polynomial evaluated by Estrin's scheme.
// Short dependency chains: the gain factor feeds the next sample's detector.
ZORV_LANE_INLINE V GainFactorOf(V voltage) {
  // log2(10) / 3.64: the double nearest, and a 26-bit head with its tail.
  constexpr double kTwosPerVolt = 0x1.d3429d7c65f36p-1;
  constexpr double kTwosPerVoltHi = 0x1.d3429d8p-1;
  constexpr double kTwosPerVoltLo = -0x1.cd064df1012c8p-32;
  constexpr double kRound = 0x1.8p52;  // adding and subtracting rounds to an integer
  // (ln 2)^k / k!, k = 1..13.
  constexpr double c1 = 0x1.62e42fefa39efp-1, c2 = 0x1.ebfbdff82c58fp-3, c3 = 0x1.c6b08d704a0c0p-5,
                   c4 = 0x1.3b2ab6fba4e77p-7, c5 = 0x1.5d87fe78a6731p-10,
                   c6 = 0x1.430912f86c787p-13, c7 = 0x1.ffcbfc588b0c7p-17,
                   c8 = 0x1.62c0223a5c824p-20, c9 = 0x1.b5253d395e7c4p-24,
                   c10 = 0x1.e4cf5158b8ecap-28, c11 = 0x1.e8cac7351bb25p-32,
                   c12 = 0x1.c3bd650fc2986p-36, c13 = 0x1.816193166d0f9p-40;

  // n in the low bits of the mantissa of shifted, and as a double; the
  // voltage's sign goes with the constants (-v x k is v x -k, exactly).
  const V shifted = voltage * -kTwosPerVolt + kRound;
  const V n = shifted - kRound;
  // -v split into a head, rounded to a multiple of 2^-23 by adding and
  // subtracting a constant, and the exact rest (the signs with the
  // constants again): the voltages lie within +-8, so the head has at most
  // 26 bits and its products with the 26-bit head of the constant are
  // exact. Two additions in a row, where splitting by a product takes three
  // operations.
  static_assert(detector::kVoltageMax < 8.0 && detector::kVoltageMin > -8.0);
  constexpr double kHeadRound = 0x1.8p29;  // adding and subtracting rounds to 2^-23
  const V uHi = (kHeadRound - voltage) - kHeadRound;
  const V minusULo = voltage + uHi;
  const V r = ((uHi * kTwosPerVoltHi - n) + minusULo * -kTwosPerVoltHi) + voltage * -kTwosPerVoltLo;
  // 2^r = 1 + (c1 r + r^2 Q(r)), Q by Estrin's scheme: its three quarters
  // C, B and A, then C + r^4 B + r^8 A, the two products side by side. The 1
  // is added last so that its rounding is the final one.
  const V r2 = r * r;
  const V r4 = r2 * r2;
  const V r8 = r4 * r4;
  const V a = Fma(r2, Fma(r, c13, c12), Fma(r, c11, c10));
  const V b = Fma(r2, Fma(r, c9, c8), Fma(r, c7, c6));
  const V c = Fma(r2, Fma(r, c5, c4), Fma(r, c3, c2));
  const V q = (c + r4 * b) + r8 * a;
  const V poly = 1.0 + Fma(r2, q, r * c1);
  // 2^r 2^n: the low 12 bits of the mantissa of shifted hold n (modulo 2^12),
  // and shifted to the exponent's place they add n to the exponent of 2^r,
  // which is exactly the product as long as it is a normal number (the gain
  // factors lie within 10^-0.6 .. 10^1.6).
  return (V)((I)poly + ((I)shifted << 52));
}

// Compensated sum of four band values: as close to the exact sum as the
// extended-precision reference gets.
inline double SumOfBands(double a, double b, double c, double d) {
  double sum = a;
  double error = 0.0;
  for (double x : {b, c, d}) {
    const double s = sum + x;
    const double bv = s - sum;
    error += (sum - (s - bv)) + (x - bv);
    sum = s;
  }
  return sum + error;
}

// SumOfBands of four frames at once, lane k the sum of frame k's bands: the
// frames turned into bands, then the same operations lane by lane.
inline V SumOfBandsOf4(V f0, V f1, V f2, V f3) {
  const V t0 = __builtin_shufflevector(f0, f1, 0, 4, 2, 6);
  const V t1 = __builtin_shufflevector(f0, f1, 1, 5, 3, 7);
  const V t2 = __builtin_shufflevector(f2, f3, 0, 4, 2, 6);
  const V t3 = __builtin_shufflevector(f2, f3, 1, 5, 3, 7);
  V sum = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);  // band A of the four frames
  V error = L::Splat(0.0);
  for (V x :
       {__builtin_shufflevector(t1, t3, 0, 1, 4, 5), __builtin_shufflevector(t0, t2, 2, 3, 6, 7),
        __builtin_shufflevector(t1, t3, 2, 3, 6, 7)}) {
    const V s = sum + x;
    const V bv = s - sum;
    error += (sum - (s - bv)) + (x - bv);
    sum = s;
  }
  return sum + error;
}

// One channel's weighting chains (its four detectors' filters), held in
// registers for a block: the part of the decode that depends on the input
// alone.
struct TWeighChain {
  explicit TWeighChain(const zorv::fast::TLaneChannel& st)
      : Filter1(st.Filter1),
        Filter2(st.Filter2),
        Filter3(st.Filter3),
        Filter4(st.Filter4),
        Filter5(st.Filter5),
        InputScale(L::Load(st.InputScale)) {}

  void Save(zorv::fast::TLaneChannel& st) const {
    Filter1.SaveState(st.Filter1);
    Filter2.SaveState(st.Filter2);
    Filter3.SaveState(st.Filter3);
    Filter4.SaveState(st.Filter4);
    Filter5.SaveState(st.Filter5);
  }

  // A frame's weighting of the input w (the channel's input over the
  // reference level), in two halves, each run over many frames in turn so
  // that the sections of a half keep their state in registers.
  V WeighFirst(V w) {
    V s = w * InputScale;
    s = Filter1.FirstOrderStep(s);
    return Filter2.SecondOrderStep(s);
  }
  void WeighSecond(V& weighted) {
    V s = Filter3.FirstOrderStep(weighted);
    s = Filter4.SecondOrderStep(s);
    weighted = Filter5.FirstOrderStep(s);
  }

  TSection Filter1, Filter2, Filter3, Filter4, Filter5;
  V InputScale;
};

// One channel's band split and the rest of its four detectors, held in
// registers for a block, with the generator's names.
struct TBandDetector {
  explicit TBandDetector(const zorv::fast::TLaneChannel& st)
      : Split1(st.Split1),
        Split2(st.Split2),
        ChargeStep(L::Load(st.ChargeStep)),
        Voltage(L::Load(st.Voltage)),
        VoltageMax(L::Load(st.VoltageMax)),
        VoltageMin(L::Load(st.VoltageMin)),
        LeakStep(L::Load(st.LeakStep)),
        RectifierLevel(L::Load(st.RectifierLevel)),
        GainFactor(L::Load(st.GainFactor)),
        LastInput(L::Load(st.RectifierInput)) {}

  void Save(zorv::fast::TLaneChannel& st) const {
    Split1.SaveState(st.Split1);
    Split2.SaveState(st.Split2);
    L::Save(st.ChargeStep, ChargeStep);
    L::Save(st.Voltage, Voltage);
    // The clamped input: the level with the sign of the last input (the
    // magnitude and the clamp do not depend on the sign).
    L::Save(st.RectifierInput, (V)((I)RectifierLevel | ((I)LastInput & ~kMagnitude)));
    L::Save(st.RectifierLevel, RectifierLevel);
    L::Save(st.GainFactor, GainFactor);
  }

  // The band samples of the input w (band D has no second split section).
  V Band(V w) {
    const V first = Split1.FirstOrderStep(w);
    return L::Select(kBandD, first, Split2.FirstOrderStep(first));
  }

  // Reproduces TControlSignalGenerator::Step from the rectifier to the voltage clamp.
  // The rectifier with the gain feedback, the charging current and the
  // capacitor, for the weighted input s...
  void Detect(V s, const zorv::fast::TLaneCurves& curves) {
    // The level is the clamped input's magnitude: the magnitude clamped.
    // The input is s times positive gain factors, and its magnitude is
    // that of s times them (the products round alike for either sign):
    // the magnitude is taken of s, away from the feedback.
    const V absolute = (V)((I)s & kMagnitude);
    const V magnitude = absolute * GainFactor * GainFactor;
    RectifierLevel = L::AtMost(kRectifierClamp, magnitude);
    LastInput = s;
    ChargeStep = ChargeStepOf(curves, RectifierLevel);
    Voltage = Voltage + ChargeStep;
    Voltage = Voltage - LeakStep;
    Voltage = L::AtMost(VoltageMax, L::AtLeast(VoltageMin, Voltage));
  }

  // ... and the gain factor.
  void UpdateGainFactor() { GainFactor = GainFactorOf(Voltage); }

  static constexpr I kBandD = {0, 0, 0, -1};
  static constexpr I kMagnitude = {0x7FFFFFFFFFFFFFFFL, 0x7FFFFFFFFFFFFFFFL, 0x7FFFFFFFFFFFFFFFL,
                                   0x7FFFFFFFFFFFFFFFL};

  TSection Split1, Split2;
  V ChargeStep, Voltage, VoltageMax, VoltageMin, LeakStep;
  V RectifierLevel, GainFactor;
  // The weighted input of the last frame, whose sign the rectifier's input
  // has.
  V LastInput;
};

// The parts of G channels that a stage runs, loaded from their states (none
// where the stage does not run that part).
template <typename Part, int G>
std::array<Part, G> LoadParts(const zorv::fast::TLaneBlock& block) {
  return [&]<std::size_t... g>(std::index_sequence<g...>) {
    return std::array<Part, G>{Part(*block.State[g])...};
  }
  (std::make_index_sequence<G>{});
}

// Decodes G channels side by side, step by step: their dependency chains are
// independent, and the processor overlaps them when their instructions stand
// close together. Stage Whole decodes; Weigh and Detect run its two stages.
template <int G, zorv::fast::TLaneStage Stage>
void DecodeLanes(const zorv::fast::TLaneBlock& block) {
  using zorv::fast::TLaneStage;
  constexpr bool kWeighs = zorv::fast::Weighs(Stage);
  constexpr bool kDetects = zorv::fast::Detects(Stage);
  constexpr std::uint32_t kMeterInterval = detector::kMeterInterval;
  auto chain = LoadParts < TWeighChain, kWeighs ? G : 0 > (block);
  auto detector = LoadParts < TBandDetector, kDetects ? G : 0 > (block);
  std::array<double, G> level;
  for (int g = 0; g < G; ++g) level[g] = block.Level[g];

  // Meter point by meter point, in three passes over its frames: the band
  // split and the weighting chains, which depend on the input alone; the
  // detectors, whose feedback from one frame to the next sets the pace; the
  // expansion and the band sums, four frames at once. Apart, each pass keeps
  // its own state in registers, and the detectors need not wait for the
  // long chain of sections before them. The voltages of a meter point are
  // those after its first frame. Weigh runs the weighting of the first pass
  // alone; Detect takes the weighting from it.
  //
  // One or two channels leave the processor time to spare while their
  // detectors wait for the feedback: their band split and expansion run
  // beside the detectors instead, in the same frame loop (a stereo Detect
  // stage 44 ns per frame before, 37 after). Three and four channels fill
  // the processor without that, and the larger loop only slows them.
  constexpr bool kBeside = kDetects && G <= 2;
  struct TWeighed {
    V Band, Weighted, Gain;
    // Each lane's band sample divided by its gain factor (beside the
    // detectors, Band holds that already).
    V Expanded() const { return kBeside ? Band : Band / Gain; }
  };
  TWeighed weighed[kMeterInterval][G];
  for (std::uint32_t point = 0, begin = 0; begin < block.Count; ++point) {
    const std::uint32_t end = std::min(block.Count, begin + kMeterInterval);
    for (int g = 0; g < G; ++g) {
      if constexpr (Stage == TLaneStage::Detect && kBeside) break;
      for (std::uint32_t i = begin; i < end; ++i) {
        TWeighed& w = weighed[i - begin][g];
        const V input = L::Splat(block.In[g][i] / level[g]);
        if constexpr (kDetects && !kBeside) w.Band = detector[g].Band(input);
        if constexpr (Stage == TLaneStage::Whole) w.Weighted = chain[g].WeighFirst(input);
        if constexpr (Stage == TLaneStage::Weigh) {
          L::Save(block.Weighted[g] + i * kLanes, chain[g].WeighFirst(input));
        }
        if constexpr (Stage == TLaneStage::Detect) {
          w.Weighted = L::Load(block.Weighted[g] + i * kLanes);
        }
      }
      if constexpr (Stage == TLaneStage::Whole) {
        for (std::uint32_t i = begin; i < end; ++i)
          chain[g].WeighSecond(weighed[i - begin][g].Weighted);
      }
      if constexpr (Stage == TLaneStage::Weigh) {
        for (std::uint32_t i = begin; i < end; ++i) {
          V weighted = L::Load(block.Weighted[g] + i * kLanes);
          chain[g].WeighSecond(weighted);
          L::Save(block.Weighted[g] + i * kLanes, weighted);
        }
      }
    }
    if constexpr (kDetects) {
      for (std::uint32_t i = begin; i < end; ++i) {
        TWeighed* w = weighed[i - begin];
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
          const V weighted = Stage == TLaneStage::Detect && kBeside
                                 ? L::Load(block.Weighted[g] + i * kLanes)
                                 : w[g].Weighted;
          detector[g].Detect(weighted, block.State[g]->Curves);
        }
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) detector[g].UpdateGainFactor();
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
          if constexpr (kBeside) {
            const V band = detector[g].Band(L::Splat(block.In[g][i] / level[g]));
            w[g].Band = band / detector[g].GainFactor;
          } else {
            w[g].Gain = detector[g].GainFactor;
          }
        }
        if (block.DebugVolts != nullptr) block.DebugVolts[i] = detector[0].Voltage[block.DebugLane];
        if (i == begin) {
          for (int g = 0; g < G; ++g) L::Save(block.MeterVolts[g][point], detector[g].Voltage);
        }
      }
      std::uint32_t i = begin;
      for (; i + 4 <= end; i += 4) {
        for (int g = 0; g < G; ++g) {
          const TWeighed* w = &weighed[i - begin][g];
          const V y = SumOfBandsOf4(w[0].Expanded(), w[G].Expanded(), w[2 * G].Expanded(),
                                    w[3 * G].Expanded());
          L::Save(block.Out[g] + i, y * level[g]);
        }
      }
      for (; i < end; ++i) {
        for (int g = 0; g < G; ++g) {
          const V expanded = weighed[i - begin][g].Expanded();
          const double y = SumOfBands(expanded[0], expanded[1], expanded[2], expanded[3]);
          block.Out[g][i] = y * level[g];
        }
      }
    }
    begin = end;
  }
  for (std::size_t g = 0; g < chain.size(); ++g) chain[g].Save(*block.State[g]);
  for (std::size_t g = 0; g < detector.size(); ++g) detector[g].Save(*block.State[g]);
}

template <zorv::fast::TLaneStage Stage>
void DecodeAnyLanesOf(const zorv::fast::TLaneBlock& block) {
  switch (block.Channels) {
    case 1:
      return DecodeLanes<1, Stage>(block);
    case 2:
      return DecodeLanes<2, Stage>(block);
    case 3:
      return DecodeLanes<3, Stage>(block);
    case 4:
      return DecodeLanes<4, Stage>(block);
    default:
      return;
  }
}

// The entry of each instruction set's build.
void DecodeAnyLanes(const zorv::fast::TLaneBlock& block) {
  using zorv::fast::TLaneStage;
  switch (block.Stage) {
    case TLaneStage::Weigh:
      return DecodeAnyLanesOf<TLaneStage::Weigh>(block);
    case TLaneStage::Detect:
      return DecodeAnyLanesOf<TLaneStage::Detect>(block);
    default:
      return DecodeAnyLanesOf<TLaneStage::Whole>(block);
  }
}
