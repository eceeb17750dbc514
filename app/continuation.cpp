// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/continuation.h"

#include <utility>

namespace zorv {
namespace {

std::string_view EndingText(TPartEnding ending) {
  switch (ending) {
    case TPartEnding::Skipped:
      return "skipped";
    case TPartEnding::Missing:
      return "missing";
    case TPartEnding::Refused:
      return "refused";
    case TPartEnding::Failed:
      return "not decoded whole";
    case TPartEnding::Interrupted:
      return "interrupted";
  }
  return {};
}

}  // namespace

std::string PartFormatText(const TPartFormat& format) {
  return std::to_string(format.SampleRate) + " Hz, " + std::to_string(format.Channels) +
         (format.Channels == 1 ? " channel, " : " channels, ") +
         std::to_string(format.BitsPerSample) + "-bit " +
         (format.FormatTag == 3 ? "float" : "integer");
}

void TContinuation::Restart() {
  First_ = true;
  Previous_.reset();
  BrokenBy_.clear();
}

void TContinuation::PartDecoded(TPartEnd end) {
  // A part after a broken one was refused, never decoded: the tape stays
  // broken.
  if (!BrokenBy_.empty()) return;
  First_ = false;
  Previous_ = std::move(end);
}

void TContinuation::PartNotDecoded(const std::string& input, TPartEnding ending) {
  First_ = false;
  Previous_.reset();
  // The first part that broke the tape is the one every later refusal names.
  if (!BrokenBy_.empty()) return;
  BrokenBy_ = input;
  Ending_ = ending;
}

std::optional<std::string> TContinuation::Broken() const {
  if (BrokenBy_.empty()) return std::nullopt;
  return "not continued: a part before it (" + BrokenBy_ + ") was " +
         std::string(EndingText(Ending_)) + ", so where this part begins is unknown";
}

std::optional<std::string> TContinuation::Refusal(const TPartFormat& format) const {
  if (auto broken = Broken()) return broken;
  if (First_ || !Previous_ || Previous_->Format == format) return std::nullopt;
  return "not continued: " + PartFormatText(format) + " after " +
         PartFormatText(Previous_->Format) + " (" + Previous_->Input + ")";
}

}  // namespace zorv
