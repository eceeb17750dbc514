// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/power_of_ten.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include "dsp/power_of_ten_table.h"

// The error-free sums and products below hold only when every operation is
// rounded on its own, as written.
#if defined(__FAST_MATH__)
#error "the reference arithmetic must not be built with -ffast-math"
#endif

namespace zorv {
namespace power_of_ten {
namespace {

static_assert(std::numeric_limits<Extended>::max_exponent == 16384 &&
                  std::numeric_limits<Extended>::is_iec559,
              "Extended is the x87 80-bit format: 64-bit significand, 15-bit exponent");

// ---- The quick estimate: sums of two Extended numbers ---------------------

// a + b = Hi + Lo exactly, Hi the rounded sum (Knuth).
TSplit TwoSum(Extended a, Extended b) {
  const Extended s = a + b;
  const Extended bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// The same where a is 0 or its exponent is at least b's.
TSplit FastTwoSum(Extended a, Extended b) {
  const Extended s = a + b;
  return {s, b - (s - a)};
}

// a = Hi + Lo exactly, each with at most 32 significant bits (Veltkamp).
TSplit HalvesOf(Extended a) {
  constexpr Extended kSplitter = 0x1p32L + 1;
  const Extended c = kSplitter * a;
  const Extended hi = c - (c - a);
  return {hi, a - hi};
}

// a x b = Hi + Lo exactly, Hi the rounded product: the products of the
// halves are exact (Dekker).
TSplit TwoProduct(Extended a, Extended b) {
  const Extended p = a * b;
  const TSplit x = HalvesOf(a);
  const TSplit y = HalvesOf(b);
  return {p, ((x.Hi * y.Hi - p) + x.Hi * y.Lo + x.Lo * y.Hi) + x.Lo * y.Lo};
}

// 2^k for the exponents of normal numbers, from its bits.
Extended PowerOfTwo(int k) {
  const std::uint64_t significand = std::uint64_t{1} << 63;
  const auto exponent = static_cast<std::uint16_t>(k + 16383);
  unsigned char bytes[sizeof(Extended)] = {};
  std::memcpy(bytes, &significand, sizeof significand);
  std::memcpy(bytes + sizeof significand, &exponent, sizeof exponent);
  Extended value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// Bound of the quick estimate's error, z.Hi + z.Lo against 2^(j/128) e^r:
// its relative error is below 2^-80.4 (the polynomial's roundings 2^-80.5,
// the reduction's 2^-91, the series cut off after r^8 2^-95), and z lies
// below 2.01.
constexpr Extended kQuickError = 0x1p-78L;
// The reduction's products with nearest are exact: it lies below 2^21 in
// size, the head of ln(2)/128 has 43 significant bits.
static_assert(kLimit * kScaledLog2Of10 < 0x1p21L);
static_assert(static_cast<std::int64_t>(kLn2Over128Hi * 0x1p50L) == kLn2Over128Hi * 0x1p50L);
// 1/k! of the series of e^r, k = 3..8.
constexpr Extended kInverseFactorial[] = {1.0L / 6,   1.0L / 24,   1.0L / 120,
                                          1.0L / 720, 1.0L / 5040, 1.0L / 40320};

// ---- The accurate computation: 256-bit integers ---------------------------

// A number of [0, 16) in fixed point: the integer of these 64-bit limbs
// (least significant first) times 2^-252.
constexpr int kPointBits = 252;
using TWide = std::array<std::uint64_t, 4>;
__extension__ typedef unsigned __int128 TDoubleLimb;

// ln(2) and log2(10), rounded down (the tests check the constants and the
// table derived from them against MPFR).
constexpr TWide kLn2 = {0xd8a0d175b8baafa2, 0xf40f343267298b62, 0xbc9e3b39803f2f6a,
                        0x0b17217f7d1cf79a};
constexpr TWide kLog2Of10 = {0xa46dab2020b9e167, 0x365b157f8deceb53, 0x924afdbfd36bf6d3,
                             0x35269e12f346e2bf};
constexpr TWide kOne = {0, 0, 0, std::uint64_t{1} << (kPointBits - 192)};

bool IsZero(const TWide& a) {
  return (a[0] | a[1] | a[2] | a[3]) == 0;
}

TWide Add(const TWide& a, const TWide& b) {
  TWide sum;
  TDoubleLimb carry = 0;
  for (int i = 0; i < 4; ++i) {
    carry += TDoubleLimb{a[i]} + b[i];
    sum[i] = static_cast<std::uint64_t>(carry);
    carry >>= 64;
  }
  return sum;
}

// a - b for a >= b.
TWide Subtract(const TWide& a, const TWide& b) {
  TWide difference;
  std::uint64_t borrow = 0;
  for (int i = 0; i < 4; ++i) {
    const std::uint64_t d = a[i] - b[i];
    difference[i] = d - borrow;
    borrow = (a[i] < b[i] || d < borrow) ? 1 : 0;
  }
  return difference;
}

// a x b, rounded down (an error below 2^-252).
TWide Multiply(const TWide& a, const TWide& b) {
  std::uint64_t p[8] = {};
  for (int i = 0; i < 4; ++i) {
    TDoubleLimb carry = 0;
    for (int j = 0; j < 4; ++j) {
      carry += TDoubleLimb{a[i]} * b[j] + p[i + j];
      p[i + j] = static_cast<std::uint64_t>(carry);
      carry >>= 64;
    }
    p[i + 4] = static_cast<std::uint64_t>(carry);
  }
  constexpr int kShift = kPointBits - 192;  // within limb 3
  TWide product;
  for (int k = 0; k < 4; ++k) product[k] = (p[3 + k] >> kShift) | (p[4 + k] << (64 - kShift));
  return product;
}

// a / d, rounded down.
TWide Divide(const TWide& a, std::uint64_t d) {
  TWide quotient;
  TDoubleLimb rest = 0;
  for (int i = 3; i >= 0; --i) {
    rest = (rest << 64) | a[i];
    quotient[i] = static_cast<std::uint64_t>(rest / d);
    rest %= d;
  }
  return quotient;
}

// e^y for 0 <= y < 1 by its series, to within 2^-245.
TWide Exp(const TWide& y) {
  TWide sum = kOne;
  TWide term = kOne;
  for (std::uint64_t k = 1; !IsZero(term); ++k) {
    term = Divide(Multiply(term, y), k);
    sum = Add(sum, term);
  }
  return sum;
}

bool Less(const TWide& a, const TWide& b) {
  for (int i = 3; i >= 0; --i) {
    if (a[i] != b[i]) return a[i] < b[i];
  }
  return false;
}

bool BitOf(const TWide& a, int bit) {
  return bit >= 0 && ((a[bit / 64] >> (bit % 64)) & 1) != 0;
}

// The place of the highest bit of a non-zero a.
int TopBit(const TWide& a) {
  int limb = 3;
  while (a[limb] == 0) --limb;
  return limb * 64 + 63 - std::countl_zero(a[limb]);
}

// The 64 bits of a from bit `low` up (bits below bit 0 are zeros).
std::uint64_t BitsFrom(const TWide& a, int low) {
  if (low < 0) return BitsFrom(a, 0) << -low;
  const int limb = low / 64;
  const int shift = low % 64;
  std::uint64_t bits = limb < 4 ? a[limb] >> shift : 0;
  if (shift != 0 && limb + 1 < 4) bits |= a[limb + 1] << (64 - shift);
  return bits;
}

// a rounded to its headBits highest bits (to nearest, ties to even).
TWide Rounded(const TWide& a, int headBits) {
  if (IsZero(a)) return a;
  const int low = TopBit(a) - (headBits - 1);  // the lowest bit kept
  if (low <= 0) return a;
  TWide kept = a;
  TWide below = {};
  for (int i = 0; i < 4; ++i) {
    const int bits = std::clamp(low - 64 * i, 0, 64);
    const std::uint64_t mask = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    below[i] = a[i] & mask;
    kept[i] &= ~mask;
  }
  TWide half = {};
  half[(low - 1) / 64] = std::uint64_t{1} << ((low - 1) % 64);
  if (Less(half, below) || (!Less(below, half) && BitOf(a, low))) {
    TWide unit = {};
    unit[low / 64] = std::uint64_t{1} << (low % 64);
    kept = Add(kept, unit);
  }
  return kept;
}

// a x 2^scale, a of at most 64 significant bits, as an Extended (exact).
Extended ExtendedOf(const TWide& a, int scale) {
  if (IsZero(a)) return 0;
  const int low = TopBit(a) - 63;
  return static_cast<Extended>(BitsFrom(a, low)) * PowerOfTwo(low - kPointBits + scale);
}

// a as the nearest Extended with headBits significant bits and the nearest
// Extended to the rest.
TSplit SplitOf(const TWide& a, int headBits) {
  const TWide head = Rounded(a, headBits);
  const bool up = Less(a, head);
  const Extended rest = ExtendedOf(Rounded(up ? Subtract(head, a) : Subtract(a, head), 64), 0);
  return {ExtendedOf(head, 0), up ? -rest : rest};
}

}  // namespace

bool Quick(Extended x, Extended& result) {
  // x log2(10) = (128 n + j) / 128 + r / ln(2): n and j from the nearest
  // integer to x 128 log2(10) (adding and subtracting 1.5 x 2^63 rounds to
  // an integer).
  constexpr Extended kRound = 0x1.8p63L;
  const Extended nearest = (x * kScaledLog2Of10 + kRound) - kRound;
  const auto scaled = static_cast<std::int64_t>(nearest);
  const auto j = static_cast<int>(scaled & 127);
  const auto n = static_cast<int>((scaled - j) / 128);

  // r = x ln(10) - nearest ln(2)/128 in two parts. The product of nearest
  // (below 2^21 in size) and the 43-bit head of ln(2)/128 is exact, and so
  // is its difference with the head of x ln(10): both are multiples of the
  // latter's last place, and the difference is smaller than it.
  const TSplit p = TwoProduct(x, kLn10Hi);
  const Extended head = p.Hi - nearest * kLn2Over128Hi;
  const TSplit r = TwoSum(head, p.Lo + (x * kLn10Lo - nearest * kLn2Over128Lo));

  // e^r - 1 = r + r^2 (1/2 + r/6 + ... + r^6/8!) + (r.Lo + r.Hi r.Lo) + ...
  Extended series = kInverseFactorial[5];
  for (int k = 4; k >= 0; --k) series = kInverseFactorial[k] + r.Hi * series;
  const Extended square = r.Hi * r.Hi * (0.5L + r.Hi * series);
  const TSplit w = FastTwoSum(r.Hi, square);
  const Extended wLo = w.Lo + (r.Lo + r.Lo * r.Hi);

  // z = 2^(j/128) e^r = T + T (e^r - 1), T = kTwoToThe[j].
  const TSplit& t = kTwoToThe[j];
  const TSplit tw = TwoProduct(t.Hi, w.Hi);
  const Extended small = tw.Lo + (t.Hi * wLo + (t.Lo + t.Lo * w.Hi));
  const TSplit u = FastTwoSum(t.Hi, tw.Hi);
  const TSplit z = FastTwoSum(u.Hi, u.Lo + small);

  // z.Hi is the rounded z.Hi + z.Lo; it is the rounded exact value too when
  // z.Lo and the error together stay inside half a unit in the last place
  // of z.Hi (z lies in [0.99, 2.01); below a power of two the unit is half).
  Extended half = z.Hi < 1 ? 0x1p-65L : (z.Hi < 2 ? 0x1p-64L : 0x1p-63L);
  if (z.Lo < 0 && (z.Hi == 1 || z.Hi == 2)) half *= 0.5L;
  const Extended distance = z.Lo < 0 ? -z.Lo : z.Lo;
  if (!(distance + kQuickError < half)) return false;
  result = z.Hi * PowerOfTwo(n);
  return true;
}

Extended Accurate(Extended x) {
  // x = significand x 2^(exponent - 63).
  std::uint64_t significand = 0;
  std::uint16_t signAndExponent = 0;
  unsigned char bytes[sizeof(Extended)];
  std::memcpy(bytes, &x, sizeof x);
  std::memcpy(&significand, bytes, sizeof significand);
  std::memcpy(&signAndExponent, bytes + sizeof significand, sizeof signAndExponent);
  const int exponent = (signAndExponent & 0x7FFF) - 16383;
  const bool negative = (signAndExponent & 0x8000) != 0;

  // |x| log2(10) in fixed point with 252 bits after the point (exact but for
  // the constant's last bit, then rounded down): the 320-bit product of the
  // significand and the constant, shifted right by 63 - exponent.
  std::uint64_t product[5] = {};
  TDoubleLimb carry = 0;
  for (int i = 0; i < 4; ++i) {
    carry += TDoubleLimb{significand} * kLog2Of10[i];
    product[i] = static_cast<std::uint64_t>(carry);
    carry >>= 64;
  }
  product[4] = static_cast<std::uint64_t>(carry);
  const int shift = 63 - exponent;  // at least 50 for |x| <= kLimit
  std::uint64_t shifted[5] = {};
  if (significand != 0 && shift < 320) {
    const int limbs = shift / 64;
    const int bits = shift % 64;
    for (int i = 0; i + limbs < 5; ++i) {
      shifted[i] = product[i + limbs] >> bits;
      if (bits != 0 && i + limbs + 1 < 5) shifted[i] |= product[i + limbs + 1] << (64 - bits);
    }
  }
  // Its whole part, and its fraction f in [0, 1).
  constexpr int kWholeShift = kPointBits - 192;
  const auto whole =
      static_cast<std::int64_t>((shifted[3] >> kWholeShift) | (shifted[4] << (64 - kWholeShift)));
  TWide fraction = {shifted[0], shifted[1], shifted[2],
                    shifted[3] & ((std::uint64_t{1} << kWholeShift) - 1)};
  // 10^x = 2^n 2^f, f in [0, 1): for a negative x, -(whole + fraction) is
  // -(whole + 1) + (1 - fraction).
  std::int64_t n = whole;
  if (negative) {
    n = -whole;
    if (!IsZero(fraction)) {
      n -= 1;
      fraction = Subtract(kOne, fraction);
    }
  }
  // 2^f = e^(f ln 2), in [1, 2).
  const TWide power = Exp(Multiply(fraction, kLn2));
  return ExtendedOf(Rounded(power, 64), static_cast<int>(n));
}

TSplit ConstantOf(TConstant constant, int headBits) {
  switch (constant) {
    case TConstant::Ln2:
      return SplitOf(kLn2, headBits);
    case TConstant::Log2Of10:
      return SplitOf(kLog2Of10, headBits);
    case TConstant::Ln10:
    default:
      return SplitOf(Multiply(kLn2, kLog2Of10), headBits);
  }
}

TSplit TwoToTheFraction(std::uint32_t numerator, int bits) {
  TWide fraction = {};
  fraction[3] = std::uint64_t{numerator} << (kPointBits - 192 - bits);
  return SplitOf(Exp(Multiply(fraction, kLn2)), 64);
}

}  // namespace power_of_ten

Extended PowerOfTen(Extended x) {
  if (!(x >= -power_of_ten::kLimit && x <= power_of_ten::kLimit)) {
    return std::numeric_limits<Extended>::quiet_NaN();
  }
  Extended result;
  if (power_of_ten::Quick(x, result)) return result;
  return power_of_ten::Accurate(x);
}

}  // namespace zorv
