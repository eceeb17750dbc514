#include "cli/progress.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <string_view>

namespace zorv::cli {
namespace {

// Joins texts (also sidesteps a false -Wrestrict of GCC 12 on "..." + string).
std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) text.append(part);
  return text;
}

TEST(FormatProgress, ShowsPercentSpeedAndTimeLeft) {
  // A quarter of 40 s of audio in 2.5 s: 4x real time, 7.5 s left.
  EXPECT_EQ(FormatProgress("tape.wav", {250, 1000, 10.0, 2.5}),
            "tape.wav  25%  4.0x real time  0:08 left");
  EXPECT_EQ(FormatProgress("tape.wav", {0, 1000, 0, 0}), "tape.wav  0%");
  EXPECT_EQ(FormatProgress("long.wav", {1, 3, 20.0, 65.0}),
            "long.wav  33%  0.3x real time  2:10 left");
  // A data chunk that delivers more than declared never shows more than 100%.
  EXPECT_EQ(FormatProgress("x.wav", {1200, 1000, 5.0, 1.0}),
            "x.wav  100%  5.0x real time  0:00 left");
  EXPECT_EQ(FormatProgress("empty.wav", {0, 0, 0, 0}), "empty.wav  100%");
}

TEST(ProgressBoard, RedrawsOnlyWhenTheLineChanges) {
  std::ostringstream out;
  TProgressBoard board(out, true);
  const int id = board.Add("a.wav", 100);
  EXPECT_EQ(out.str(), "\ra.wav  0%");
  out.str("");
  board.Update(id, {0, 100, 0, 0});
  EXPECT_EQ(out.str(), "") << "same text, no output";
  board.Update(id, {50, 100, 1.0, 0.5});
  EXPECT_EQ(out.str(), "\ra.wav  50%  2.0x real time  0:01 left");
  out.str("");
  board.Update(id, {100, 100, 2.0, 1.0});
  // A shorter line blanks what is left of the longer one.
  board.Remove(id);
  board.Finish();
  EXPECT_EQ(out.str(),
            Cat({"\ra.wav  100%  2.0x real time  0:00 left", "\r", std::string(38, ' '), "\r"}));
}

TEST(ProgressBoard, ReportsGoAboveTheProgressLine) {
  std::ostringstream out;
  TProgressBoard board(out, true);
  board.Add("a.wav", 100);
  out.str("");
  board.Report("a.wav -> a_dec.wav\nDone\nelapsed time: 5 msec");
  EXPECT_EQ(out.str(), Cat({"\r", std::string(9, ' '), "\r",
                            "a.wav -> a_dec.wav\nDone\nelapsed time: 5 msec\n", "\ra.wav  0%"}));
}

TEST(ProgressBoard, ShowsSeveralFilesOnOneLine) {
  std::ostringstream out;
  TProgressBoard board(out, true);
  const int a = board.Add("a.wav", 100);
  board.Add("b.wav", 100);
  board.Update(a, {10, 100, 1.0, 0.5});
  EXPECT_TRUE(out.str().ends_with("\ra.wav  10% | b.wav  0%")) << out.str();
}

TEST(ProgressBoard, WithoutATerminalWritesOnlyTheReports) {
  std::ostringstream out;
  {
    TProgressBoard board(out, false);
    const int id = board.Add("a.wav", 100);
    board.Update(id, {50, 100, 1.0, 0.5});
    board.Report("Done\n");
    board.Remove(id);
  }
  EXPECT_EQ(out.str(), "Done\n");
}

}  // namespace
}  // namespace zorv::cli
