#include "cli/progress.h"

#include <cmath>
#include <cstdio>

namespace zorv::cli {
namespace {

// The progress line is cut to this width so that "\r" can overwrite it.
constexpr std::size_t kLineWidth = 79;

std::string Minutes(double seconds) {
  const auto whole = static_cast<long long>(std::ceil(seconds));
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  return text;
}

}  // namespace

std::string FormatProgress(const std::string& name, const TProgress& p, bool rate) {
  const std::uint64_t done = p.DoneBytes < p.TotalBytes ? p.DoneBytes : p.TotalBytes;
  const int percent = p.TotalBytes == 0 ? 100 : static_cast<int>(done * 100 / p.TotalBytes);
  std::string text = name + "  " + std::to_string(percent) + "%";
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
  Redraw();
}

void TProgressBoard::Remove(int id) {
  const std::lock_guard lock(Mutex_);
  Files_.erase(id);
  Redraw();
}

void TProgressBoard::Report(const std::string& lines) {
  const std::lock_guard lock(Mutex_);
  ClearLine();
  Out_ << lines;
  if (!lines.empty() && lines.back() != '\n') Out_ << '\n';
  Out_.flush();
  Redraw();
}

void TProgressBoard::Finish() {
  const std::lock_guard lock(Mutex_);
  ClearLine();
}

std::string TProgressBoard::Compose() const {
  // Several files at once show their percentages only.
  const bool rate = Files_.size() == 1;
  std::string line;
  for (const auto& [id, file] : Files_) {
    if (!line.empty()) line += " | ";
    line += FormatProgress(file.first, file.second, rate);
  }
  if (line.size() > kLineWidth) line.resize(kLineWidth);
  return line;
}

void TProgressBoard::Redraw() {
  if (!Live_) return;
  const std::string line = Compose();
  if (line == Shown_) return;
  // Blanks cover what is left of a longer line before.
  std::string text = "\r" + line;
  if (line.size() < Shown_.size()) {
    text.append(Shown_.size() - line.size(), ' ');
    text += "\r" + line;
  }
  Out_ << text;
  Out_.flush();
  Shown_ = line;
}

void TProgressBoard::ClearLine() {
  if (!Live_ || Shown_.empty()) return;
  Out_ << '\r' << std::string(Shown_.size(), ' ') << '\r';
  Out_.flush();
  Shown_.clear();
}

}  // namespace zorv::cli
