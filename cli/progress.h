// SPDX-License-Identifier: GPL-3.0-or-later
// The progress line of zorv-decode and the per-file reports, on one stream
// shared by all decoding threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <string>

namespace zorv::cli {

struct TProgress {
  std::uint64_t DoneBytes = 0;
  std::uint64_t TotalBytes = 0;
  double AudioSeconds = 0;  // decoded so far
  double WallSeconds = 0;   // since the decode began
};

// "  45%  3.2x real time  0:12 left"; the speed and the time left are left
// out until they can be told, and when rate is false. A total of 0 with bytes
// done (a stream of unknown length): "  12.3 MB".
std::string ProgressFigures(const TProgress& progress, bool rate = true);
// The name followed by its figures: "tape.wav  45%  3.2x real time  0:12 left".
std::string FormatProgress(const std::string& name, const TProgress& progress, bool rate = true);

// Columns of the terminal on stderr (COLUMNS, else 80, when it cannot tell).
std::size_t TerminalColumns();

class TProgressBoard {
 public:
  using TClock = std::chrono::steady_clock;
  // Without live, only the reports are written (no progress line). columns
  // and now stand for the terminal's width and the clock (tests).
  TProgressBoard(std::ostream& out, bool live, std::function<std::size_t()> columns = {},
                 std::function<TClock::time_point()> now = {});
  ~TProgressBoard() { Finish(); }
  TProgressBoard(const TProgressBoard&) = delete;
  TProgressBoard& operator=(const TProgressBoard&) = delete;

  // A place on the line for one file of totalBytes data bytes; the returned
  // id names it. name is shown as it is given (escape it first).
  int Add(const std::string& name, std::uint64_t totalBytes);
  // Redraws at most ten times a second.
  void Update(int id, const TProgress& progress);
  void Remove(int id);
  // Writes whole lines, each report in one piece, above the progress line.
  void Report(const std::string& lines);
  // Clears the progress line.
  void Finish();
  // True once a write to the stream has failed (a closed stderr, a reader of
  // the pipe gone); nothing more is written then.
  bool WriteFailed() const;

 private:
  std::string Compose() const;
  void Redraw();
  void ClearLine();
  void Write(const std::string& text);

  mutable std::mutex Mutex_;
  std::ostream& Out_;
  const bool Live_;
  std::function<std::size_t()> Columns_;
  std::function<TClock::time_point()> Now_;
  TClock::time_point LastDraw_{};
  bool WriteFailed_ = false;
  int NextId_ = 0;
  std::map<int, std::pair<std::string, TProgress>> Files_;
  std::string Shown_;  // the progress line on the screen now
  std::size_t ShownWidth_ = 0;
};

}  // namespace zorv::cli
