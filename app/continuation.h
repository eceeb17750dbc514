// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of one tape (a reel transferred as several files) decoded one
// after the other, each from where the decode of the part before ended: the
// one rule of when a part may go on from the part before, for the command
// line's --continue and the window's queue alike. A part goes on only from
// a part before it that was decoded whole, of the same rate, channel count
// and sample format; after a part that was not (skipped, missing, refused,
// failed or interrupted), where the next part begins is unknown.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/run_settings.h"

namespace zorv {

// What a part is: its rate, channel count and sample format.
struct TPartFormat {
  std::uint32_t SampleRate = 0;
  std::uint32_t Channels = 0;
  std::uint32_t FormatTag = 0;  // 1 integer, 3 float (an extensible file's sub-format)
  std::uint32_t BitsPerSample = 0;

  bool operator==(const TPartFormat&) const = default;
};

// "44100 Hz, 2 channels, 16-bit integer"
std::string PartFormatText(const TPartFormat& format);

// How a part ended that no part may go on from.
enum class TPartEnding { Skipped, Missing, Refused, Failed, Interrupted };

// The end of a part decoded whole, for the part after it.
struct TPartEnd {
  std::string Input;  // the part's input name, as given
  // Of the part's output's audio data, as its record states; empty when
  // none was made.
  std::string OutputMd5;
  TPartFormat Format;
  std::shared_ptr<const TDecoderState> State;
};

class TContinuation {
 public:
  // A new tape: its first part begins from the decoder's start-up state.
  void Restart();
  // The last part was decoded whole: the next goes on from its end.
  void PartDecoded(TPartEnd end);
  // The part named input ended as said: no part after it may go on.
  void PartNotDecoded(const std::string& input, TPartEnding ending);

  // Whether the next part is the tape's first (it begins from the start-up
  // state).
  bool First() const { return First_; }
  // Why the next part cannot go on from the part before, whatever it is (a
  // part before it was not decoded whole); empty when it may.
  std::optional<std::string> Broken() const;
  // Why the next part, of format, cannot go on from the part before; empty
  // when it may, or when it is the first.
  std::optional<std::string> Refusal(const TPartFormat& format) const;
  // The end the next part goes on from; null for the first part and after
  // a part not decoded whole.
  const TPartEnd* Previous() const { return Previous_ ? &*Previous_ : nullptr; }

 private:
  bool First_ = true;
  std::optional<TPartEnd> Previous_;
  // The part that broke the tape, and how.
  std::string BrokenBy_;
  TPartEnding Ending_ = TPartEnding::Refused;
};

// The CodingHistory and the record of a continued part say so.
inline constexpr std::string_view kContinuedHistory = "continued from the previous part";

}  // namespace zorv
