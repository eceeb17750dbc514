// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cli/terminal_text.h"

namespace zorv::cli {
namespace {

constexpr std::size_t kDefaultColumns = 80;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr std::string_view kSeparator = " | ";
// A name is shortened to no fewer columns than this; files that leave no
// room for it are counted at the end instead.
constexpr std::size_t kMinNameColumns = 6;

std::string Minutes(double seconds) {
  const auto whole = static_cast<long long>(std::ceil(seconds));
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  return text;
}

}  // namespace

std::string ProgressFigures(const TProgress& p, bool rate) {
  if (p.TotalBytes == 0 && p.DoneBytes > 0) {
    // A stream of unknown length: how much so far.
    char so_far[32];
    std::snprintf(so_far, sizeof so_far, "  %.1f MB", static_cast<double>(p.DoneBytes) / 1e6);
    return so_far;
  }
  const std::uint64_t done = p.DoneBytes < p.TotalBytes ? p.DoneBytes : p.TotalBytes;
  const int percent = p.TotalBytes == 0 ? 100 : static_cast<int>(done * 100 / p.TotalBytes);
  std::string text = "  " + std::to_string(percent) + "%";
  if (rate && p.WallSeconds > 0 && p.AudioSeconds > 0 && done > 0) {
    char speed[32];
    std::snprintf(speed, sizeof speed, "  %.1fx real time", p.AudioSeconds / p.WallSeconds);
    text += speed;
    const double left =
        p.WallSeconds * static_cast<double>(p.TotalBytes - done) / static_cast<double>(done);
    text += "  " + Minutes(left) + " left";
  }
  return text;
}

std::string FormatProgress(const std::string& name, const TProgress& p, bool rate) {
  return name + ProgressFigures(p, rate);
}

std::size_t TerminalColumns() {
  struct winsize size {};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  if (const char* columns = std::getenv("COLUMNS"); columns != nullptr) {
    const long value = std::strtol(columns, nullptr, 10);
    if (value > 0 && value < 10000) return static_cast<std::size_t>(value);
  }
  return kDefaultColumns;
}

TProgressBoard::TProgressBoard(std::ostream& out, bool live, std::function<std::size_t()> columns,
                               std::function<TClock::time_point()> now)
    : Out_(out),
      Live_(live),
      Columns_(columns ? std::move(columns) : TerminalColumns),
      Now_(now ? std::move(now) : [] { return TClock::now(); }) {}

int TProgressBoard::Add(const std::string& name, std::uint64_t totalBytes) {
  const std::lock_guard lock(Mutex_);
  const int id = NextId_++;
  Files_[id] = {name, TProgress{0, totalBytes, 0, 0}};
  Redraw();
  return id;
}

void TProgressBoard::Update(int id, const TProgress& progress) {
  const std::lock_guard lock(Mutex_);
  const auto file = Files_.find(id);
  if (file == Files_.end()) return;
  file->second.second = progress;
  if (Now_() - LastDraw_ >= kRedrawInterval) Redraw();
}

void TProgressBoard::Remove(int id) {
  const std::lock_guard lock(Mutex_);
  Files_.erase(id);
  Redraw();
}

void TProgressBoard::Report(const std::string& lines) {
  const std::lock_guard lock(Mutex_);
  ClearLine();
  std::string text = lines;
  if (!text.empty() && text.back() != '\n') text += '\n';
  Write(text);
  Redraw();
}

void TProgressBoard::Finish() {
  const std::lock_guard lock(Mutex_);
  ClearLine();
}

bool TProgressBoard::WriteFailed() const {
  const std::lock_guard lock(Mutex_);
  return WriteFailed_;
}

void TProgressBoard::Write(const std::string& text) {
  if (WriteFailed_ || text.empty()) return;
  Out_ << text;
  Out_.flush();
  if (!Out_) WriteFailed_ = true;
}

std::string TProgressBoard::Compose() const {
  // Several files at once show their percentages only. The line stays one
  // column short of the terminal's width, so that it never wraps.
  const bool rate = Files_.size() == 1;
  const std::size_t columns = Columns_();
  const std::size_t width = columns > 1 ? columns - 1 : 1;

  std::vector<std::pair<const std::string*, std::string>> parts;
  for (const auto& [id, file] : Files_)
    parts.emplace_back(&file.first, ProgressFigures(file.second, rate));
  // As many files as leave each name some room; the rest are counted.
  std::size_t shown = parts.size();
  std::string more;
  for (;;) {
    more = shown < parts.size()
               ? std::string(kSeparator) + "+" + std::to_string(parts.size() - shown)
               : std::string();
    std::size_t fixed = DisplayWidth(more);
    for (std::size_t i = 0; i < shown; ++i) {
      fixed += DisplayWidth(parts[i].second) + (i > 0 ? kSeparator.size() : 0);
    }
    if (shown <= 1 || fixed + shown * kMinNameColumns <= width) {
      const std::size_t room = width > fixed ? width - fixed : 0;
      std::string line;
      for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) line += kSeparator;
        line += Shortened(*parts[i].first, room / shown) + parts[i].second;
      }
      return line + more;
    }
    --shown;
  }
}

void TProgressBoard::Redraw() {
  if (!Live_ || WriteFailed_) return;
  LastDraw_ = Now_();
  const std::string line = Compose();
  if (line == Shown_) return;
  // Blanks cover what is left of a longer line before.
  const std::size_t width = DisplayWidth(line);
  std::string text = "\r" + line;
  if (width < ShownWidth_) {
    text.append(ShownWidth_ - width, ' ');
    text += "\r" + line;
  }
  Write(text);
  Shown_ = line;
  ShownWidth_ = width;
}

void TProgressBoard::ClearLine() {
  if (!Live_ || Shown_.empty()) return;
  std::string blank(ShownWidth_ + 2, ' ');
  blank.front() = '\r';
  blank.back() = '\r';
  Write(blank);
  Shown_.clear();
  ShownWidth_ = 0;
}

}  // namespace zorv::cli
