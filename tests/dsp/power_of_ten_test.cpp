// SPDX-License-Identifier: GPL-3.0-or-later
// The reference power of ten against MPFR's correctly rounded 10^x, bit for
// bit: over the decoder's whole range of arguments (the gain factor's
// -V/3.64 for V in -5.824 .. 1.82 V, the level factor's dB/20 for -30 .. 0 dB)
// and beyond it, [-2.75, 2.75], no result may differ. Also each of its two
// ways on its own, its table and constants, and its domain.
#include "dsp/power_of_ten.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "dsp/detector_constants.h"
#include "dsp/power_of_ten_table.h"
#include "dsp/reference_level_range.h"

namespace zorv {
namespace {

using power_of_ten::TSplit;

// Arguments in arithmetic progressions (fewer in the sanitizer builds).
#ifndef ZORV_POWER_OF_TEN_ARGUMENTS
#define ZORV_POWER_OF_TEN_ARGUMENTS 10000000
#endif
constexpr long kProgressionArguments = ZORV_POWER_OF_TEN_ARGUMENTS;

bool SameBits(Extended a, Extended b) {
  return std::memcmp(&a, &b, 10) == 0;  // the 80 bits of the format
}

std::string Text(Extended x) {
  char text[64];
  std::snprintf(text, sizeof text, "%La", x);
  return text;
}

// MPFR numbers of a precision, freed at the end of the scope.
class TMpfr {
 public:
  explicit TMpfr(mpfr_prec_t precision) { mpfr_init2(Value, precision); }
  ~TMpfr() { mpfr_clear(Value); }
  TMpfr(const TMpfr&) = delete;
  TMpfr& operator=(const TMpfr&) = delete;
  mpfr_t Value;
};

// MPFR's 10^x, correctly rounded to 64 bits.
Extended OraclePowerOfTen(Extended x) {
  TMpfr in(64), out(64);
  mpfr_set_ld(in.Value, x, MPFR_RNDN);  // exact
  mpfr_exp10(out.Value, in.Value, MPFR_RNDN);
  return mpfr_get_ld(out.Value, MPFR_RNDN);  // exact
}

// The arguments x0, x0 + h, x0 + 2h, ... and MPFR's 10^x of each, from
// products at 320 bits rounded to 64 where their error allows (else from
// MPFR's 10^x afresh): 10^(x0 + i h) = 10^x0 (10^h)^i. x0 and h are
// multiples of 2^-62 and every argument lies within +-4, so each sum is
// exact.
class TProgression {
 public:
  TProgression(Extended x0, Extended h) : X_(x0) {
    TMpfr exact(64);
    mpfr_set_ld(exact.Value, x0, MPFR_RNDN);
    mpfr_exp10(Power_.Value, exact.Value, MPFR_RNDN);
    mpfr_set_ld(exact.Value, h, MPFR_RNDN);
    mpfr_exp10(Step_.Value, exact.Value, MPFR_RNDN);
    H_ = h;
  }
  Extended Argument() const { return X_; }
  Extended Power() {
    // 2i + 1 roundings of 2^-320 each at most.
    const int errorBits = 320 - std::bit_width(static_cast<unsigned long>(2 * I_ + 2));
    if (mpfr_can_round(Power_.Value, errorBits, MPFR_RNDN, MPFR_RNDZ, 65) != 0) {
      mpfr_set(Rounded_.Value, Power_.Value, MPFR_RNDN);
      return mpfr_get_ld(Rounded_.Value, MPFR_RNDN);
    }
    return OraclePowerOfTen(X_);
  }
  void Advance() {
    X_ += H_;
    mpfr_mul(Power_.Value, Power_.Value, Step_.Value, MPFR_RNDN);
    ++I_;
  }

 private:
  Extended X_;
  Extended H_ = 0;
  long I_ = 0;
  TMpfr Power_{320}, Step_{320}, Rounded_{64};
};

// What a run of comparisons found.
struct TTally {
  long Arguments = 0;
  long Differing = 0;
  long Doubtful = 0;  // the quick estimate was in doubt
  long Accurate = 0;  // accurate computations compared
  long AccurateDiffering = 0;
  std::vector<std::string> Examples;

  void Add(Extended x, Extended want) {
    ++Arguments;
    const Extended got = PowerOfTen(x);
    if (!SameBits(got, want)) {
      ++Differing;
      if (Examples.size() < 5) {
        Examples.push_back("10^" + Text(x) + ": " + Text(got) + ", correctly rounded " +
                           Text(want));
      }
    }
    // The accurate way on every argument the quick one leaves to it, and on
    // one in 1,000 of the others.
    Extended quick;
    const bool doubtful = !power_of_ten::Quick(x, quick);
    if (doubtful) ++Doubtful;
    if (doubtful || Arguments % 1000 == 0) {
      ++Accurate;
      if (!SameBits(power_of_ten::Accurate(x), want)) ++AccurateDiffering;
    }
  }
};

// A multiple of 2^-62 near x.
Extended OnTheGrid(Extended x) {
  return static_cast<Extended>(static_cast<std::int64_t>(x * 0x1p62L)) * 0x1p-62L;
}

TEST(PowerOfTen, IsCorrectlyRoundedOverTheDecodersArguments) {
  TTally tally;
  std::mt19937_64 random(20240610);
  // A dense grid over [-2, 2] and progressions over [-2.75, 2.75] with
  // steps and starts of random low bits.
  const long denseCount = kProgressionArguments * 2 / 5;
  const int progressions = 6;
  const long perProgression = (kProgressionArguments - denseCount) / progressions;
  for (int p = 0; p <= progressions; ++p) {
    const long count = p == 0 ? denseCount : perProgression;
    const Extended span = p == 0 ? 4.0L : 5.5L;
    const Extended jitter = static_cast<Extended>(random() >> 11) * 0x1p-53L;
    const Extended h = OnTheGrid(span / count * (1 + jitter * 1e-3L));
    TProgression progression(OnTheGrid(-span / 2 + jitter * h), h);
    for (long i = 0; i < count; ++i, progression.Advance()) {
      tally.Add(progression.Argument(), progression.Power());
    }
  }
  // Random arguments: the gain factor's own (-V / 3.64 for voltages of the
  // detector's range), uniform ones, and the level factors' dB/20.
  std::uniform_real_distribution<double> volts(detector::kVoltageMin, detector::kVoltageMax);
  for (int i = 0; i < 100000; ++i) {
    const Extended x = -Extended{volts(random)} / detector::kVoltsPerDecade;
    tally.Add(x, OraclePowerOfTen(x));
  }
  for (int i = 0; i < 100000; ++i) {
    const Extended x = static_cast<Extended>(random()) * 0x1p-64L * 5.5L - 2.75L;
    tally.Add(x, OraclePowerOfTen(x));
  }
  for (int tenths = kMinLevelTenths; tenths <= kMaxLevelTenths; ++tenths) {
    const Extended x = Extended{tenths / 10.0} / 20.0L;
    tally.Add(x, OraclePowerOfTen(x));
  }
  // The ends of both ranges, exact powers, and arguments near 0.
  const Extended ends[] = {-Extended{detector::kVoltageMin} / detector::kVoltsPerDecade,
                           -Extended{detector::kVoltageMax} / detector::kVoltsPerDecade,
                           -1.5L,
                           -2.0L,
                           2.0L,
                           -2.75L,
                           2.75L,
                           0.0L,
                           -0.0L,
                           1.0L,
                           2.0L,
                           -1.0L,
                           0x1p-64L,
                           -0x1p-64L,
                           0x1p-66L,
                           -0x1p-66L,
                           0x1p-200L};
  for (const Extended x : ends) tally.Add(x, OraclePowerOfTen(x));

  std::printf(
      "10^x over %ld arguments: %ld differ from MPFR's correctly rounded value; the quick "
      "estimate left %ld to the accurate computation\n",
      tally.Arguments, tally.Differing, tally.Doubtful);
  RecordProperty("arguments", std::to_string(tally.Arguments));
  RecordProperty("differing", std::to_string(tally.Differing));
  EXPECT_GE(tally.Arguments, kProgressionArguments);
  EXPECT_EQ(tally.Differing, 0) << testing::PrintToString(tally.Examples);
  EXPECT_EQ(tally.AccurateDiffering, 0) << "of " << tally.Accurate << " accurate computations";
  // The quick estimate decides nearly all: the accurate way's share is a
  // few in 10,000 (more means its error bound is too wide, or it is wrong).
  EXPECT_LT(tally.Doubtful, tally.Arguments / 1000);
}

// The domain's other arguments, each to its own, and the rest of it.
TEST(PowerOfTen, IsCorrectlyRoundedOverItsWholeDomain) {
  TTally tally;
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    // Sizes from 2^-12 to 2^12, either sign.
    const Extended size =
        (static_cast<Extended>(random()) * 0x1p-64L + 1) *
        static_cast<Extended>(std::ldexp(1.0, static_cast<int>(random() % 24) - 12));
    const Extended x = (random() & 1) != 0 ? -size : size;
    if (x < -power_of_ten::kLimit || x > power_of_ten::kLimit) continue;
    tally.Add(x, OraclePowerOfTen(x));
  }
  for (const Extended x : {power_of_ten::kLimit, -power_of_ten::kLimit}) {
    tally.Add(x, OraclePowerOfTen(x));
  }
  EXPECT_EQ(tally.Differing, 0) << testing::PrintToString(tally.Examples);
  EXPECT_EQ(tally.AccurateDiffering, 0);

  EXPECT_EQ(PowerOfTen(0.0L), 1.0L);
  EXPECT_EQ(PowerOfTen(1.0L), 10.0L);
  EXPECT_EQ(PowerOfTen(-1.0L), 0.1L);
  EXPECT_EQ(PowerOfTen(27.0L), 1e27L);  // 10^27 is exact in 64 bits
  for (const Extended x :
       {std::nextafter(power_of_ten::kLimit, 1e9L), -1e9L,
        std::numeric_limits<Extended>::infinity(), std::numeric_limits<Extended>::quiet_NaN()}) {
    EXPECT_TRUE(std::isnan(PowerOfTen(x))) << Text(x);
  }
}

// The quick estimate's table and constants are the values they name, each
// part rounded to the nearest (checked at 256 bits).
TEST(PowerOfTen, TableAndConstantsAreTheNearestInTwoParts) {
  TMpfr exact(256), difference(256), rounded(64), scratch(256);
  // Hi with headBits bits and Lo (unless there is none) are the nearest to
  // exact and to the rest.
  const auto check = [&](const char* name, const TSplit& split, int headBits, bool rest = true) {
    TMpfr head(headBits);
    mpfr_set(head.Value, exact.Value, MPFR_RNDN);
    EXPECT_EQ(mpfr_get_ld(head.Value, MPFR_RNDN), split.Hi) << name;
    if (!rest) return;
    mpfr_sub(difference.Value, exact.Value, head.Value, MPFR_RNDN);  // exact
    mpfr_set(rounded.Value, difference.Value, MPFR_RNDN);
    EXPECT_TRUE(SameBits(mpfr_get_ld(rounded.Value, MPFR_RNDN), split.Lo)) << name;
  };
  for (int j = 0; j < 128; ++j) {
    mpfr_set_si(scratch.Value, j, MPFR_RNDN);
    mpfr_div_ui(scratch.Value, scratch.Value, 128, MPFR_RNDN);  // exact
    mpfr_exp2(exact.Value, scratch.Value, MPFR_RNDN);
    check(("2^(" + std::to_string(j) + "/128)").c_str(), power_of_ten::kTwoToThe[j], 64);
  }
  mpfr_const_log2(exact.Value, MPFR_RNDN);
  mpfr_div_ui(exact.Value, exact.Value, 128, MPFR_RNDN);  // exact
  check("ln(2)/128", {power_of_ten::kLn2Over128Hi, power_of_ten::kLn2Over128Lo}, 43);
  mpfr_set_ui(scratch.Value, 10, MPFR_RNDN);
  mpfr_log(exact.Value, scratch.Value, MPFR_RNDN);
  check("ln(10)", {power_of_ten::kLn10Hi, power_of_ten::kLn10Lo}, 64);
  mpfr_log2(exact.Value, scratch.Value, MPFR_RNDN);
  mpfr_mul_ui(exact.Value, exact.Value, 128, MPFR_RNDN);  // exact
  check("128 log2(10)", {power_of_ten::kScaledLog2Of10, 0}, 64, false);
}

}  // namespace
}  // namespace zorv
