// SPDX-License-Identifier: GPL-3.0-or-later
// The reference arithmetic's power of ten: 10^x correctly rounded to the
// 64-bit significand (to nearest, ties to even), from the IEEE basic
// operations on Extended and on integers alone. No x87 transcendental
// instruction and no library function: every x86-64 processor gives the
// same bits.
//
// How: 10^x = 2^n x 2^(j/128) x e^r, with n and j from x log2(10) and r the
// rest (|r| <= ln(2)/256), found with the constants in two parts and exact
// products and sums. The quick estimate takes 2^(j/128) from a table in two
// parts and e^r from a polynomial, within 2^-80 of the value; it is kept
// where it and its error bound round to the same 64-bit number (all but
// about one argument in 16,000). The others go to the accurate computation,
// in 256-bit integer arithmetic, within 2^-230 of the value.
#pragma once

#include <cstdint>

#include "dsp/extended.h"

namespace zorv {

// 10^x for |x| <= power_of_ten::kLimit (a quiet NaN for other x and NaN).
Extended PowerOfTen(Extended x);

namespace power_of_ten {

// The arguments taken: the results lie well within the normal numbers.
inline constexpr Extended kLimit = 4096;

// The two ways of PowerOfTen, for its tests and for the program that writes
// its table. Both for |x| <= kLimit.
// The quick estimate, rounded, where its rounding is certain (then true).
bool Quick(Extended x, Extended& result);
// The accurate computation, always.
Extended Accurate(Extended x);

// A value as the nearest Extended with Head significant bits and the
// nearest Extended to the rest.
struct TSplit {
  Extended Hi = 0;
  Extended Lo = 0;
};
enum class TConstant { Ln2, Ln10, Log2Of10 };
TSplit ConstantOf(TConstant constant, int headBits = 64);
// 2^(numerator / 2^bits), 0 <= numerator < 2^bits, bits <= 32.
TSplit TwoToTheFraction(std::uint32_t numerator, int bits);

}  // namespace power_of_ten
}  // namespace zorv
