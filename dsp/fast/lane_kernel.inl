// The decoder's per-sample work on lanes of doubles: the band split, the four
// detectors and the expansion of one channel (4 lanes) or two (8 lanes).
//
// Included by one source file per instruction set (after <array>, <bit>,
// <cstdint>, <cstring>, <initializer_list> and <utility>), inside an anonymous
// namespace, so that nothing compiled here for one instruction set can be
// picked by the linker for another. Uses only GCC vector extensions: the
// same source becomes SSE2, AVX2 or AVX-512 code.
//
// The arithmetic is plain double precision in the order of the extended
// reference, without fused multiply-adds (the file is built with
// -ffp-contract=off): results differ from the reference only in last bits.

typedef double TDouble4 __attribute__((vector_size(4 * sizeof(double))));
typedef long TInt4 __attribute__((vector_size(4 * sizeof(double))));
typedef double TDouble8 __attribute__((vector_size(8 * sizeof(double))));
typedef long TInt8 __attribute__((vector_size(8 * sizeof(double))));

template <int N>
struct TVectorTypes;
template <>
struct TVectorTypes<4> {
  using V = TDouble4;
  using I = TInt4;
};
template <>
struct TVectorTypes<8> {
  using V = TDouble8;
  using I = TInt8;
};

template <int N>
struct TLanes {
  using V = typename TVectorTypes<N>::V;  // N doubles
  using I = typename TVectorTypes<N>::I;  // N 64-bit integers, or lane masks

  static V Load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Save(double* p, V v) { std::memcpy(p, &v, sizeof v); }
  static V Splat(double x) {
    V v;
    for (int l = 0; l < N; ++l) v[l] = x;
    return v;
  }
  static I SplatI(long x) {
    I v;
    for (int l = 0; l < N; ++l) v[l] = x;
    return v;
  }
  // Lane-wise select: mask lanes are all ones (true) or all zeros.
  static V Select(I mask, V a, V b) {
    const I ai = (I)a;
    const I bi = (I)b;
    return (V)((ai & mask) | (bi & ~mask));
  }
};

// One filter section per lane, held in registers for a block.
template <int N>
struct TSection {
  using L = TLanes<N>;
  using V = typename L::V;
  V b0, gain, b1, a1, b2, a2, X1, Y1, X2, Y2;

  // The section's lanes from lane `first` on.
  TSection(const zorv::fast::TLaneSection& s, int first)
      : b0(L::Load(s.b0 + first)),
        gain(L::Load(s.gain + first)),
        b1(L::Load(s.b1 + first)),
        a1(L::Load(s.a1 + first)),
        b2(L::Load(s.b2 + first)),
        a2(L::Load(s.a2 + first)),
        X1(L::Load(s.X1 + first)),
        Y1(L::Load(s.Y1 + first)),
        X2(L::Load(s.X2 + first)),
        Y2(L::Load(s.Y2 + first)) {}

  void SaveState(zorv::fast::TLaneSection& s, int first) const {
    L::Save(s.X1 + first, X1);
    L::Save(s.Y1 + first, Y1);
    L::Save(s.X2 + first, X2);
    L::Save(s.Y2 + first, Y2);
  }

  V FirstOrder(V x) {
    const V y = (b0 * x + b1 * X1) - a1 * Y1;
    X1 = x;
    Y1 = y;
    return y;
  }

  V SecondOrder(V x) {
    const V y = b0 * x + b1 * X1 + b2 * X2 - a1 * Y1 - a2 * Y2;
    X2 = X1;
    X1 = x;
    Y2 = Y1;
    Y1 = y;
    return gain * y;
  }
};

// The largest double not above an extended-precision value: a double d lies
// above the extended breakpoint b exactly when it lies above this.
constexpr double DoubleBelow(long double x) {
  double d = static_cast<double>(x);
  if (static_cast<long double>(d) > x) {
    d = std::bit_cast<double>(std::bit_cast<std::uint64_t>(d) - (d > 0 ? 1 : -1));
  }
  return d;
}

constexpr double kCurveThreshold[18] = {
    DoubleBelow(0.0L), DoubleBelow(0.1L), DoubleBelow(0.2L), DoubleBelow(0.3L), DoubleBelow(0.4L),
    DoubleBelow(0.5L), DoubleBelow(0.6L), DoubleBelow(0.7L), DoubleBelow(0.8L), DoubleBelow(0.9L),
    DoubleBelow(1.0L), DoubleBelow(1.1L), DoubleBelow(1.2L), DoubleBelow(1.3L), DoubleBelow(1.5L),
    DoubleBelow(2.0L), DoubleBelow(3.0L), DoubleBelow(4.0L)};
constexpr double kCurveBreakpoint[7] = {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
constexpr double kCurveOffset = 0.138;
constexpr double kCurveFactor = 10.0;
constexpr int kFirstStep = 7;

// Charging current of each lane's curve for the lane's detector level. The
// interval is found by selects over the ascending breakpoints (the last one
// below the level wins): no per-lane loads, short dependency chains.
template <int N>
typename TLanes<N>::V ChargeCurrent(const zorv::fast::TLaneCurves& curves, int first,
                                    typename TLanes<N>::V level) {
  using L = TLanes<N>;
  using V = typename L::V;
  const V d = level - kCurveOffset;
  V current = L::Load(curves.Current[0] + first);
  V slope = L::Load(curves.Slope[0] + first);
  V breakpoint = L::Splat(kCurveBreakpoint[0]);
  for (int j = 1; j < kFirstStep; ++j) {
    const auto above = d > kCurveThreshold[j];
    current = L::Select(above, L::Load(curves.Current[j] + first), current);
    slope = L::Select(above, L::Load(curves.Slope[j] + first), slope);
    breakpoint = L::Select(above, L::Splat(kCurveBreakpoint[j]), breakpoint);
  }
  const V interpolated = ((d - breakpoint) * kCurveFactor) * slope + current;
  V step = L::Load(curves.Current[kFirstStep] + first);
  for (int j = kFirstStep + 1; j < 18; ++j) {
    step = L::Select(d > kCurveThreshold[j], L::Load(curves.Current[j] + first), step);
  }
  const V rising = L::Select(d > kCurveThreshold[kFirstStep], step, interpolated);
  return L::Select(d > kCurveThreshold[0], rising, L::Splat(0.0));
}

// 10^x to within 1.5 units in the last place, for |x| < 100: x = n log10(2) + r
// with |r| <= log10(2) / 2, then 10^x = 2^n e^(r ln 10) with a degree-13
// polynomial evaluated by Estrin's scheme (short dependency chains: the gain
// factor feeds the next sample's detector).
template <int N>
typename TLanes<N>::V Pow10(typename TLanes<N>::V x) {
  using L = TLanes<N>;
  using V = typename L::V;
  using I = typename L::I;
  constexpr double kLog2Of10 = 3.321928094887362347870319429489390175864831393;
  // log10(2) split so that n * kLog10Of2Hi is exact for |n| < 2^20.
  constexpr double kLog10Of2Hi = 0x1.34413509f7p-2;
  constexpr double kLog10Of2Lo = 0.301029995663981195213738894724493026768189881462 - kLog10Of2Hi;
  constexpr double kLn10 = 2.302585092994045684017991454684364207601101488628;
  constexpr double kRound = 0x1.8p52;  // adding and subtracting rounds to an integer

  const V n = (x * kLog2Of10 + kRound) - kRound;
  const V r = (x - n * kLog10Of2Hi) - n * kLog10Of2Lo;
  const V z = r * kLn10;
  // e^z = 1 + (z + z^2 Q(z)), Q holding the Taylor coefficients 1/k! for
  // k = 2..13; the 1 is added last so that its rounding is the final one.
  const V z2 = z * z;
  const V z4 = z2 * z2;
  const V p23 = 1.0 / 2 + z * (1.0 / 6);
  const V p45 = 1.0 / 24 + z * (1.0 / 120);
  const V p67 = 1.0 / 720 + z * (1.0 / 5040);
  const V p89 = 1.0 / 40320 + z * (1.0 / 362880);
  const V p1011 = 1.0 / 3628800 + z * (1.0 / 39916800);
  const V p1213 = 1.0 / 479001600 + z * (1.0 / 6227020800);
  const V q = (p23 + z2 * p45) + z4 * ((p67 + z2 * p89) + z4 * (p1011 + z2 * p1213));
  const V poly = 1.0 + (z + z2 * q);
  const I exponent = (__builtin_convertvector(n, I) + 1023) << 52;
  return poly * (V)exponent;
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

// One group of N lanes: the state of one channel's (N = 4) or two channels'
// (N = 8) band split and detectors, held in registers for a block.
template <int N>
struct TLaneGroup {
  using L = TLanes<N>;
  using V = typename L::V;
  using I = typename L::I;
  static constexpr int kChannels = N / 4;
  static constexpr double kVoltsPerDecade = 3.64;
  static constexpr double kRectifierClamp = 2.092;

  TLaneGroup(const zorv::fast::TLaneState& st, int first)
      : First(first),
        Split1(st.Split1, first),
        Split2(st.Split2, first),
        F1(st.Filter1, first),
        F2(st.Filter2, first),
        F3(st.Filter3, first),
        F4(st.Filter4, first),
        F5(st.Filter5, first),
        Voltage(L::Load(st.Voltage + first)),
        Gain(L::Load(st.GainFactor + first)),
        ChargeStep(L::Load(st.ChargeStep + first)),
        RectifierInput(L::Load(st.RectifierInput + first)),
        RectifierLevel(L::Load(st.RectifierLevel + first)),
        Leak(L::Load(st.LeakStep + first)),
        Rate(L::Load(st.SampleRate + first)),
        Capacitance(L::Load(st.Capacitance + first)),
        InputScale(L::Load(st.InputScale + first)),
        VMin(L::Load(st.VoltageMin + first)),
        VMax(L::Load(st.VoltageMax + first)) {
    for (int l = 0; l < N; ++l) BandD[l] = (l % 4 == 3) ? -1 : 0;
  }

  void Save(zorv::fast::TLaneState& st) const {
    Split1.SaveState(st.Split1, First);
    Split2.SaveState(st.Split2, First);
    F1.SaveState(st.Filter1, First);
    F2.SaveState(st.Filter2, First);
    F3.SaveState(st.Filter3, First);
    F4.SaveState(st.Filter4, First);
    F5.SaveState(st.Filter5, First);
    L::Save(st.Voltage + First, Voltage);
    L::Save(st.GainFactor + First, Gain);
    L::Save(st.ChargeStep + First, ChargeStep);
    L::Save(st.RectifierInput + First, RectifierInput);
    L::Save(st.RectifierLevel + First, RectifierLevel);
  }

  // One frame in three steps, so that the groups of a frame can be
  // interleaved step by step: the band split and the weighting chain of the
  // input w (each lane's channel input over the reference level)...
  void Weigh(V w) {
    const V first = Split1.FirstOrder(w);
    Band = L::Select(BandD, first, Split2.FirstOrder(first));
    V s = w * InputScale;
    s = F1.FirstOrder(s);
    s = F2.SecondOrder(s);
    s = F3.FirstOrder(s);
    s = F4.SecondOrder(s);
    Weighted = F5.FirstOrder(s);
  }

  // ... the rectifier with the gain feedback, the charging current and the
  // capacitor, then the gain factor...
  void Detect(const zorv::fast::TLaneCurves& curves, bool cube) {
    const V s = Weighted;
    RectifierInput = cube ? s * Gain * Gain * Gain : s * Gain * Gain;
    RectifierInput =
        L::Select(RectifierInput > kRectifierClamp, L::Splat(kRectifierClamp), RectifierInput);
    RectifierInput =
        L::Select(RectifierInput < -kRectifierClamp, L::Splat(-kRectifierClamp), RectifierInput);
    RectifierLevel = (V)((I)RectifierInput & L::SplatI(0x7FFFFFFFFFFFFFFFL));
    const V current = ChargeCurrent<N>(curves, First, RectifierLevel);
    ChargeStep = current / Rate / Capacitance;
    Voltage = Voltage + ChargeStep;
    Voltage = Voltage - Leak;
    Voltage = L::Select(Voltage < VMin, VMin, Voltage);
    Voltage = L::Select(Voltage > VMax, VMax, Voltage);
  }

  void UpdateGain() { Gain = Pow10<N>(-Voltage / kVoltsPerDecade); }

  // ... and each lane's band sample divided by its gain factor.
  V Expanded() const { return Band / Gain; }

  int First;
  TSection<N> Split1, Split2, F1, F2, F3, F4, F5;
  V Voltage, Gain, ChargeStep, RectifierInput, RectifierLevel;
  V Band, Weighted;  // of the frame in hand
  V Leak, Rate, Capacitance, InputScale, VMin, VMax;
  I BandD;  // lanes of band D, which has no second split section
};

// Decodes G groups of N lanes side by side, step by step: the groups'
// dependency chains are independent, and the processor overlaps them when
// their instructions stand close together.
template <int N, int G>
void DecodeLanes(zorv::fast::TLaneState& st, const zorv::fast::TLaneBlock& block) {
  static_assert(N == 4 || N == 8, "one channel or two per group");
  using L = TLanes<N>;
  using V = typename L::V;
  constexpr int kChannelsPerGroup = N / 4;
  constexpr std::uint32_t kMeterInterval = 100;

  auto group = [&]<std::size_t... g>(std::index_sequence<g...>) {
    return std::array<TLaneGroup<N>, G>{TLaneGroup<N>(st, static_cast<int>(g) * N)...};
  }
  (std::make_index_sequence<G>{});
  const double level = st.Level;
  const bool cube = st.FeedbackLaw != 0;

  for (std::uint32_t i = 0; i < block.Count; ++i) {
    for (int g = 0; g < G; ++g) {
      const int c0 = g * kChannelsPerGroup;
      if constexpr (kChannelsPerGroup == 1) {
        group[g].Weigh(L::Splat(block.In[c0][i] / level));
      } else {
        const double left = block.In[c0][i] / level;
        const double right = block.In[c0 + 1][i] / level;
        group[g].Weigh(V{left, left, left, left, right, right, right, right});
      }
    }
    for (int g = 0; g < G; ++g) group[g].Detect(st.Curves, cube);
    for (int g = 0; g < G; ++g) group[g].UpdateGain();
    for (int g = 0; g < G; ++g) {
      const int c0 = g * kChannelsPerGroup;
      const V expanded = group[g].Expanded();
      for (int c = 0; c < kChannelsPerGroup; ++c) {
        const double y = SumOfBands(expanded[4 * c], expanded[4 * c + 1], expanded[4 * c + 2],
                                    expanded[4 * c + 3]);
        block.Out[c0 + c][i] = y * level;
      }
      if (i % kMeterInterval == 0) {
        L::Save(block.MeterVolts[i / kMeterInterval] + g * N, group[g].Voltage);
      }
    }
    if (block.DebugVolts != nullptr) block.DebugVolts[i] = group[0].Voltage[block.DebugLane];
  }
  for (const TLaneGroup<N>& g : group) g.Save(st);
}
