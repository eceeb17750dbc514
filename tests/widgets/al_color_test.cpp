// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/al_color.h"

#include <gtest/gtest.h>

#include <QPalette>
#include <stdexcept>
#include <string>

namespace zorv {
namespace {

struct MulDivCase {
  std::int32_t a, b, d;
  std::int64_t expected;
};

TEST(MulDiv, RoundsHalvesAwayFromZeroWithoutOverflow) {
  const MulDivCase cases[] = {
      {150, 255, 299, 128},  // 127.93
      {1, 3, 2, 2},          // 1.5
      {-1, 3, 2, -2},        // -1.5
      {1, 3, -2, -2},        // -1.5
      {-1, 3, -2, 2},        // 1.5
      {1, 5, 4, 1},          // 1.25
      {-1, 7, 4, -2},        // -1.75
      {2147483647, 2147483647, 1, 4611686014132420609},
      {7, 9, 0, 0},  // no quotient
  };
  for (const MulDivCase& c : cases) {
    EXPECT_EQ(MulDiv(c.a, c.b, c.d), c.expected) << c.a << " * " << c.b << " / " << c.d;
  }
}

TEST(GradientColor, RejectsIndexOutsideTheRun) {
  const struct { int index, count; } cases[] = {{0, 5}, {6, 5}, {-1, 5}, {1, 0}};
  for (const auto& c : cases) {
    try {
      GradientColor(0, 0, c.index, c.count, QPalette());
      ADD_FAILURE() << "no error for index " << c.index << " of " << c.count;
    } catch (const std::range_error& e) {
      EXPECT_EQ(std::string(e.what()),
                "ColorIndex can't be less than 1 or greater than " + std::to_string(c.count));
    }
  }
}

}  // namespace
}  // namespace zorv
