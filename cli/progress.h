// The progress line of zorv-decode and the per-file reports, on one stream
// shared by all decoding threads.
#pragma once

#include <cstdint>
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

// "tape.wav  45%  3.2x real time  0:12 left"; the speed and the time left are
// left out until they can be told, and when rate is false.
std::string FormatProgress(const std::string& name, const TProgress& progress, bool rate = true);

class TProgressBoard {
 public:
  // Without live, only the reports are written (no progress line).
  TProgressBoard(std::ostream& out, bool live) : Out_(out), Live_(live) {}
  ~TProgressBoard() { Finish(); }
  TProgressBoard(const TProgressBoard&) = delete;
  TProgressBoard& operator=(const TProgressBoard&) = delete;

  // A place on the line for one file of totalBytes data bytes; the returned
  // id names it.
  int Add(const std::string& name, std::uint64_t totalBytes);
  void Update(int id, const TProgress& progress);
  void Remove(int id);
  // Writes whole lines, each report in one piece, above the progress line.
  void Report(const std::string& lines);
  // Clears the progress line.
  void Finish();

 private:
  std::string Compose() const;
  void Redraw();
  void ClearLine();

  std::mutex Mutex_;
  std::ostream& Out_;
  const bool Live_;
  int NextId_ = 0;
  std::map<int, std::pair<std::string, TProgress>> Files_;
  std::string Shown_;  // the progress line on the screen now
};

}  // namespace zorv::cli
