// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of the headers that zorv-power-tables writes: the constants
// and the table of the reference power of ten (dsp/power_of_ten_table.h),
// from its 256-bit integer arithmetic, and the factors of the reference
// levels on the 0.1 dB grid (dsp/level_factors.h), from the power of ten
// itself. Used only by that program and by the tests that check the headers.
#pragma once

#include <string>

namespace zorv::tables {

std::string PowerOfTenTableText();
std::string LevelFactorsText();
// The values a detector computes when it is set up (dsp/start_constants.h),
// from the reference computations of dsp/start_values.h.
std::string StartConstantsText();

}  // namespace zorv::tables
