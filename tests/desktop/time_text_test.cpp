// SPDX-License-Identifier: GPL-3.0-or-later
// The window's times: clock texts, playing times, the estimate of what
// remains.
#include "app/desktop/time_text.h"

#include <gtest/gtest.h>

namespace zorv::test {
namespace {

TEST(WindowTimes, ClockTexts) {
  const struct {
    std::int64_t Seconds;
    const char* Minutes;
    const char* Hours;
  } cases[] = {
      {0, "0:00", "0:00:00"},     {9, "0:09", "0:00:09"},     {75, "1:15", "0:01:15"},
      {3599, "59:59", "0:59:59"}, {3725, "62:05", "1:02:05"}, {36000, "600:00", "10:00:00"},
      {-5, "0:00", "0:00:00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Seconds);
    EXPECT_EQ(MinutesText(c.Seconds).toStdString(), c.Minutes);
    EXPECT_EQ(HoursText(c.Seconds).toStdString(), c.Hours);
  }
}

TEST(WindowTimes, DurationIsRoundedToWholeSeconds) {
  EXPECT_EQ(DurationSeconds(0, 44100), 0);
  EXPECT_EQ(DurationSeconds(22049, 44100), 0);
  EXPECT_EQ(DurationSeconds(22050, 44100), 1);
  EXPECT_EQ(DurationSeconds(600ull * 96000, 96000), 600);
  EXPECT_EQ(DurationSeconds(3ull * 3600 * 48000 - 1, 48000), 3 * 3600);
  EXPECT_EQ(DurationSeconds(1000, 0), 0);
}

TEST(WindowTimes, RemainingTimeFromThePaceSoFar) {
  const struct {
    std::int64_t ElapsedMs;
    std::uint64_t Done;
    std::uint64_t Total;
    const char* Text;
  } cases[] = {
      {0, 0, 1000, "elapsed 0:00"},
      {999, 500, 1000, "elapsed 0:00"},  // too early to say
      {1000, 500, 1000, "elapsed 0:01, remaining 0:01"},
      {10000, 250, 1000, "elapsed 0:10, remaining 0:30"},
      {65000, 1, 3, "elapsed 1:05, remaining 2:10"},
      {5000, 0, 1000, "elapsed 0:05"},  // nothing done yet
      {5000, 1200, 1000, "elapsed 0:05, remaining 0:00"},
      {5000, 100, 0, "elapsed 0:05"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunningTimesText(c.ElapsedMs, c.Done, c.Total).toStdString(), c.Text);
  }
}

}  // namespace
}  // namespace zorv::test
