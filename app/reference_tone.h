// SPDX-License-Identifier: GPL-3.0-or-later
// The reference level from the recording's own reference tone: the longest
// steady tone in a stretch of the input (by default its first minute) is
// found in every channel, and its peak level, the amplitude of the sine
// relative to full scale, is the reference level to decode with.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/tone_search.h"
#include "dsp/reference_level_range.h"
#include "wav/wav_file_in.h"

namespace zorv {

struct TToneStretch {
  double StartSeconds = 0.0;
  double LengthSeconds = 60.0;
};

// Seconds of input per analysed window: the resolution of a tone's place.
inline constexpr double kToneWindowSeconds = 0.1;

struct TFoundTone {
  double FrequencyHz = 0.0;
  double PeakDbfs = 0.0;      // not rounded
  double StartSeconds = 0.0;  // from the start of the file
  double EndSeconds = 0.0;
};

enum class TToneVerdict {
  Suggested,   // a level in the reference level's range
  OutOfRange,  // a tone, but its level lies outside -30.0 .. 0.0 dB
  NoTone,      // no steady tone in any channel
  Unreadable,  // the input cannot be read or is not a file the program decodes
};

struct TLevelSuggestion {
  TToneVerdict Verdict = TToneVerdict::NoTone;
  // The channels' mean peak level rounded to 0.1 dB (for OutOfRange, the
  // level that is out of range).
  double LevelDb = 0.0;
  // Largest difference between the channels' peak levels, not rounded.
  double SpreadDb = 0.0;
  std::size_t ChannelsWithTone = 0;
};

struct TReferenceTone {
  // One entry per channel of the input; empty when unreadable.
  std::vector<std::optional<TFoundTone>> Channels;
  TLevelSuggestion Suggestion;
  // The stretch actually searched, in seconds from the start of the file.
  double SearchStart = 0.0;
  double SearchEnd = 0.0;
  // Unreadable: the program's message with the path.
  std::string Error;
};

// reader: Filename set, or a memory image opened; the file is read from its
// header on and closed at the end. A read that fails, or finds the file
// shorter than it was when opened, makes it Unreadable with the reason; a
// stop request (IoStopRequested) ends the search early.
TReferenceTone MeasureReferenceTone(TWavFileIn& reader, const TToneStretch& stretch = {});
TReferenceTone MeasureReferenceTone(const std::string& path, const TToneStretch& stretch = {});

// A measurement of an input that could not be read: error is the program's
// message with the path ("Cannot read (Input/output error): tape.wav").
TReferenceTone UnreadableTone(std::string error);

// The suggestion from some of the channels' tones (a channel pair, say).
TLevelSuggestion SuggestLevel(const std::vector<std::optional<TFoundTone>>& tones);

// A measurement restricted to count channels from first (0-based).
TReferenceTone ChannelsOf(const TReferenceTone& all, std::size_t first, std::size_t count);

// Each channel's suggestion from its own tone alone (the tracks of a
// multitrack tape, each decoded at its own level).
std::vector<TLevelSuggestion> ChannelSuggestions(const TReferenceTone& tone);

// "reference tone 1000 Hz at -14.3 dBFS (0:02.0-0:32.0); reference level -14.3 dB",
// or what was found instead. Numbers with decimalPoint as the separator.
std::string DescribeReferenceTone(const TReferenceTone& tone, char decimalPoint = '.');

// "0:02.0": minutes and seconds to a tenth; "1:02:03.4" from an hour on.
std::string ToneTimeText(double seconds, char decimalPoint = '.');

}  // namespace zorv
