// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/input_faults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace zorv {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(SanitiseInput, ReplacesWhatTheDecoderCannotTakeAndCountsTheWrittenFrames) {
  std::vector<double> x = {0.5,     kNaN, -kInf, 1000.0, -1000.0, 1000.0001,
                           -3.4e38, kInf, -0.0,  1e30,   -kNaN,   2e3};
  // The last two frames are not written (a frame cut short by the end of the data).
  const TInputFaults f = SanitiseInput(x.data(), 12, 10);
  const std::vector<double> want = {0.5,     0.0, 0.0,  1000.0, -1000.0, 1000.0,
                                    -1000.0, 0.0, -0.0, 1000.0, 0.0,     1000.0};
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_EQ(x[i], want[i]) << i;
  EXPECT_TRUE(std::signbit(x[8]));  // ordinary samples are left exactly as they were
  EXPECT_EQ(f.NonFinite, 3u);
  EXPECT_EQ(f.FirstNonFinite, 1u);
  EXPECT_EQ(f.Clamped, 3u);
  EXPECT_EQ(f.FirstClamped, 5u);

  std::vector<double> fine = {0.0, 1.0, -999.0};
  EXPECT_FALSE(SanitiseInput(fine.data(), 3, 3).Any());
}

TEST(InputFaults, AddSumsAndKeepsTheEarliestFirstFrame) {
  TInputFaults run;
  run.Add({2, 5, 0, 0}, 1000);   // block at frame 1000
  run.Add({1, 3, 4, 7}, 500);    // another channel's, earlier block
  run.Add({}, 0);                // nothing changes nothing
  run.Add({0, 99, 1, 2}, 2000);  // a count of 0 has no first frame
  EXPECT_EQ(run, (TInputFaults{3, 503, 5, 507}));
}

TEST(InputFaults, NotesSayHowManyAndWhereTheFirstWas) {
  EXPECT_TRUE(InputFaultNotes({}, 48000).empty());
  EXPECT_EQ(InputFaultNotes({10, 48000, 0, 0}, 48000),
            std::vector<std::string>{
                "10 non-finite input samples decoded as silence, first at 0:01.000"});
  EXPECT_EQ(InputFaultNotes({1, 0, 1, 44100 * 61 + 441}, 44100),
            (std::vector<std::string>{
                "1 non-finite input sample decoded as silence, first at 0:00.000",
                "1 input sample above +60 dBFS clamped to +60 dBFS, first at 1:01.010"}));
  EXPECT_EQ(FaultTimeText(96000ull * 3723 + 95999, 96000), "1:02:03.999");
  EXPECT_EQ(FaultTimeText(47, 48000), "0:00.000");  // never rounded up past the sample
}

}  // namespace
}  // namespace zorv
