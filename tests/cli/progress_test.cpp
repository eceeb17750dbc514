// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/progress.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <string_view>

#include "cli/terminal_text.h"

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

// A board on an 80-column terminal whose clock moves only when told to.
struct TTestBoard {
  std::ostringstream Out;
  std::size_t Columns = 80;
  TProgressBoard::TClock::time_point Now{};
  TProgressBoard Board{Out, true, [this] { return Columns; }, [this] { return Now; }};
  void Wait(int ms) { Now += std::chrono::milliseconds(ms); }
};

TEST(ProgressBoard, RedrawsOnlyWhenTheLineChanges) {
  TTestBoard t;
  std::ostringstream& out = t.Out;
  TProgressBoard& board = t.Board;
  const int id = board.Add("a.wav", 100);
  EXPECT_EQ(out.str(), "\ra.wav  0%");
  out.str("");
  t.Wait(100);
  board.Update(id, {0, 100, 0, 0});
  EXPECT_EQ(out.str(), "") << "same text, no output";
  t.Wait(100);
  board.Update(id, {50, 100, 1.0, 0.5});
  EXPECT_EQ(out.str(), "\ra.wav  50%  2.0x real time  0:01 left");
  out.str("");
  t.Wait(100);
  board.Update(id, {100, 100, 2.0, 1.0});
  // A shorter line blanks what is left of the longer one.
  board.Remove(id);
  board.Finish();
  EXPECT_EQ(out.str(),
            Cat({"\ra.wav  100%  2.0x real time  0:00 left", "\r", std::string(38, ' '), "\r"}));
}

// At most ten pictures a second, however often the decoders report; a file
// added or removed is shown at once.
TEST(ProgressBoard, RedrawsAtMostTenTimesASecond) {
  TTestBoard t;
  const int id = t.Board.Add("a.wav", 1000);
  int redraws = 0;
  for (int ms = 1; ms <= 1000; ++ms) {
    t.Out.str("");
    t.Wait(1);
    t.Board.Update(id, {static_cast<std::uint64_t>(ms), 1000, 0, 0});
    redraws += !t.Out.str().empty();
  }
  EXPECT_EQ(redraws, 10);
  t.Out.str("");
  t.Board.Add("b.wav", 1000);
  EXPECT_FALSE(t.Out.str().empty());
}

// The figures are never cut: the names give way, on character boundaries, so
// that the line stays within the terminal's width; files that leave no room
// for a name are counted.
TEST(ProgressBoard, FitsTheTerminalsWidthByShorteningTheNames) {
  TTestBoard t;
  t.Columns = 50;
  const std::string name = "a_very_long_name_of_a_digitised_tape_side_a.wav";
  const int id = t.Board.Add(name, 100);
  t.Wait(100);
  t.Board.Update(id, {50, 100, 1.0, 0.5});
  EXPECT_EQ(t.Out.str().substr(t.Out.str().rfind('\r') + 1),
            "a_very_...e_a.wav  50%  2.0x real time  0:01 left");
  for (const std::size_t columns : {30u, 50u, 120u}) {
    TTestBoard wide;
    wide.Columns = columns;
    wide.Board.Add("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe5\x90\x8d_tape.wav", 100);
    for (int i = 0; i < 5; ++i) wide.Board.Add(name, 100);
    const std::string text = wide.Out.str();
    const std::string line = text.substr(text.rfind('\r') + 1);
    EXPECT_LE(DisplayWidth(line), columns - 1) << line;
    EXPECT_EQ(Escaped(line), line) << "a character was cut";
    EXPECT_NE(line.find("0%"), std::string::npos);
  }
  TTestBoard narrow;
  narrow.Columns = 30;
  for (int i = 0; i < 6; ++i) narrow.Board.Add(name, 100);
  const std::string text = narrow.Out.str();
  const std::string line = text.substr(text.rfind('\r') + 1);
  EXPECT_TRUE(line.ends_with("  0% | +4")) << line;
  EXPECT_LE(DisplayWidth(line), 29u);
}

TEST(ProgressBoard, ReportsGoAboveTheProgressLine) {
  TTestBoard t;
  std::ostringstream& out = t.Out;
  TProgressBoard& board = t.Board;
  board.Add("a.wav", 100);
  out.str("");
  board.Report("a.wav -> a_dec.wav\nDone\nelapsed time: 5 msec");
  EXPECT_EQ(out.str(), Cat({"\r", std::string(9, ' '), "\r",
                            "a.wav -> a_dec.wav\nDone\nelapsed time: 5 msec\n", "\ra.wav  0%"}));
}

TEST(ProgressBoard, ShowsSeveralFilesOnOneLine) {
  TTestBoard t;
  std::ostringstream& out = t.Out;
  TProgressBoard& board = t.Board;
  const int a = board.Add("a.wav", 100);
  board.Add("b.wav", 100);
  t.Wait(100);
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

// A stream that stops taking text (stderr closed, the pipe's reader gone) is
// a failure the board remembers; it writes nothing more.
TEST(ProgressBoard, RemembersAFailedWrite) {
  std::ostringstream out;
  TProgressBoard board(out, false);
  board.Report("first\n");
  EXPECT_FALSE(board.WriteFailed());
  out.setstate(std::ios::badbit);
  board.Report("second\n");
  EXPECT_TRUE(board.WriteFailed());
  out.clear();
  board.Report("third\n");
  EXPECT_EQ(out.str(), "first\n");
}

}  // namespace
}  // namespace zorv::cli
