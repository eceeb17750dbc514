// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/reference_tone.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "app/audio_files.h"
#include "app/format_check.h"
#include "app/messages.h"
#include "app/sample_conversion.h"
#include "wav/io_stop.h"

namespace zorv {
namespace {

double RoundToTenth(double value) {
  const double rounded = std::round(value * 10.0) / 10.0;
  return rounded == 0.0 ? 0.0 : rounded;  // never "-0.0"
}

std::string WithPoint(std::string text, char decimalPoint) {
  std::replace(text.begin(), text.end(), '.', decimalPoint);
  return text;
}

// One decimal: "-14.3", "0.0"; "+2.0" with plusSign.
std::string TenthText(double value, char decimalPoint, bool plusSign) {
  char text[32];
  const double rounded = RoundToTenth(value);
  std::snprintf(text, sizeof text, plusSign && rounded > 0.0 ? "%+.1f" : "%.1f", rounded);
  return WithPoint(text, decimalPoint);
}

std::string LevelText(double db, char decimalPoint) {
  return TenthText(db, decimalPoint, true);
}

std::string ToneText(const TFoundTone& tone, char decimalPoint) {
  return std::to_string(std::llround(tone.FrequencyHz)) + " Hz at " +
         LevelText(tone.PeakDbfs, decimalPoint) + " dBFS (" +
         ToneTimeText(tone.StartSeconds, decimalPoint) + "-" +
         ToneTimeText(tone.EndSeconds, decimalPoint) + ")";
}

// Reads the stretch block by block and hands every channel's full windows to
// its analyser.
class TStretchReader {
 public:
  TStretchReader(TWavFileIn& reader, const TToneStretch& stretch) : Reader_(reader) {
    const double rate = reader.SampleRate();
    Channels_ = reader.Channels();
    WindowFrames_ = static_cast<std::size_t>(std::lround(rate * kToneWindowSeconds));
    First_ = static_cast<std::uint64_t>(std::llround(std::max(0.0, stretch.StartSeconds) * rate));
    Frames_ = static_cast<std::uint64_t>(std::llround(std::max(0.0, stretch.LengthSeconds) * rate));
    for (std::uint32_t c = 0; c < Channels_; ++c) {
      Analysers_.emplace_back(rate, WindowFrames_);
      Pending_.emplace_back();
      Pending_.back().reserve(WindowFrames_);
      Windows_.emplace_back();
    }
  }

  void Run() {
    const std::uint32_t frameBytes = Reader_.BlockAlign();
    const TFrameLayout layout = FrameLayoutOf(frameBytes, Channels_, Reader_.FormatTag());
    const std::size_t blockFrames = Reader_.BlockFrames();
    std::vector<std::vector<double>> block(Channels_, std::vector<double>(blockFrames));
    std::vector<double*> channels;
    for (std::vector<double>& samples : block) channels.push_back(samples.data());
    std::uint64_t position = 0;
    const std::uint64_t end = First_ + Frames_;
    // A stop request ends the search too: the caller, which asked for it,
    // takes nothing of what was found.
    while (position < end && !IoStopRequested()) {
      const std::uint32_t bytes = Reader_.ReadBuffer();
      const std::uint64_t frames = bytes / frameBytes;
      if (frames == 0) break;
      if (position + frames > First_) {
        SplitBlock(Reader_.Buffer(), static_cast<std::uint32_t>(frames * frameBytes), layout,
                   channels.data());
        const std::uint64_t from = First_ > position ? First_ - position : 0;
        const std::uint64_t to = std::min(frames, end - position);
        for (std::uint32_t c = 0; c < Channels_; ++c) Take(c, block[c].data() + from, to - from);
        Searched_ += to - from;
      }
      position += frames;
    }
  }

  std::uint64_t FirstFrame() const { return First_; }
  std::uint64_t SearchedFrames() const { return Searched_; }
  std::size_t WindowFrames() const { return WindowFrames_; }
  const std::vector<TToneWindow>& Windows(std::uint32_t channel) const { return Windows_[channel]; }

 private:
  void Take(std::uint32_t channel, const double* samples, std::uint64_t count) {
    std::vector<double>& pending = Pending_[channel];
    while (count > 0) {
      const std::size_t take =
          static_cast<std::size_t>(std::min<std::uint64_t>(count, WindowFrames_ - pending.size()));
      pending.insert(pending.end(), samples, samples + take);
      samples += take;
      count -= take;
      if (pending.size() == WindowFrames_) {
        Windows_[channel].push_back(Analysers_[channel].Analyse(pending.data()));
        pending.clear();
      }
    }
  }

  TWavFileIn& Reader_;
  std::uint32_t Channels_ = 0;
  std::size_t WindowFrames_ = 0;
  std::uint64_t First_ = 0;
  std::uint64_t Frames_ = 0;
  std::uint64_t Searched_ = 0;
  std::vector<TToneWindowAnalyser> Analysers_;
  std::vector<std::vector<double>> Pending_;  // the samples of a window being filled
  std::vector<std::vector<TToneWindow>> Windows_;
};

}  // namespace

TReferenceTone UnreadableTone(std::string error) {
  TReferenceTone result;
  result.Suggestion.Verdict = TToneVerdict::Unreadable;
  result.Error = std::move(error);
  return result;
}

std::string ToneTimeText(double seconds, char decimalPoint) {
  const long long tenths = std::llround(std::max(0.0, seconds) * 10.0);
  const long long hours = tenths / 36000;
  const long long minutes = tenths / 600 % 60;
  const long long secondTenths = tenths % 600;
  char text[48];
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%lld", hours, minutes, secondTenths / 10,
                  secondTenths % 10);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", minutes, secondTenths / 10,
                  secondTenths % 10);
  }
  return WithPoint(text, decimalPoint);
}

namespace {

// The tone of an input whose header was read and checked.
TReferenceTone MeasureDecodable(TWavFileIn& reader, const TToneStretch& stretch) {
  const std::string path = reader.Filename;
  TStretchReader stretchReader(reader, stretch);
  stretchReader.Run();
  reader.CloseFile();
  // A read that failed, or a file cut shorter meanwhile: what was searched
  // is only part of the stretch.
  if (const std::string refusal = ReadFailureRefusal(reader); !refusal.empty()) {
    return UnreadableTone(refusal + path);
  }

  TReferenceTone result;
  const double rate = reader.SampleRate();
  const double windowSeconds = static_cast<double>(stretchReader.WindowFrames()) / rate;
  const double start = static_cast<double>(stretchReader.FirstFrame()) / rate;
  result.SearchStart = start;
  result.SearchEnd = start + static_cast<double>(stretchReader.SearchedFrames()) / rate;
  TSteadyToneRules rules;
  rules.MinWindows = static_cast<std::size_t>(std::ceil(2.0 / windowSeconds - 1e-9));
  for (std::uint32_t c = 0; c < reader.Channels(); ++c) {
    const auto steady = LongestSteadyTone(stretchReader.Windows(c), rules);
    if (!steady) {
      result.Channels.emplace_back();
      continue;
    }
    TFoundTone tone;
    tone.FrequencyHz = steady->Frequency;
    tone.PeakDbfs = steady->LevelDb;
    tone.StartSeconds = start + static_cast<double>(steady->FirstWindow) * windowSeconds;
    tone.EndSeconds = tone.StartSeconds + static_cast<double>(steady->Windows) * windowSeconds;
    result.Channels.push_back(tone);
  }
  result.Suggestion = SuggestLevel(result.Channels);
  return result;
}

}  // namespace

TReferenceTone MeasureReferenceTone(TWavFileIn& reader, const TToneStretch& stretch) {
  if (auto refusal = CheckDecodable(reader, reader.Filename)) {
    return UnreadableTone(refusal->Line());
  }
  return MeasureDecodable(reader, stretch);
}

TReferenceTone MeasureReferenceTone(const std::string& path, const TToneStretch& stretch) {
  TWavFileIn reader;
  if (auto refusal = OpenDecodableInput(reader, path)) return UnreadableTone(refusal->Line());
  return MeasureDecodable(reader, stretch);
}

TLevelSuggestion SuggestLevel(const std::vector<std::optional<TFoundTone>>& tones) {
  TLevelSuggestion suggestion;
  double sum = 0.0;
  double lowest = HUGE_VAL;
  double highest = -HUGE_VAL;
  for (const auto& tone : tones) {
    if (!tone) continue;
    ++suggestion.ChannelsWithTone;
    sum += tone->PeakDbfs;
    lowest = std::min(lowest, tone->PeakDbfs);
    highest = std::max(highest, tone->PeakDbfs);
  }
  if (suggestion.ChannelsWithTone == 0) return suggestion;
  suggestion.SpreadDb = highest - lowest;
  suggestion.LevelDb = RoundToTenth(sum / static_cast<double>(suggestion.ChannelsWithTone));
  const bool inRange = suggestion.LevelDb >= kMinLevelDb && suggestion.LevelDb <= kMaxLevelDb;
  suggestion.Verdict = inRange ? TToneVerdict::Suggested : TToneVerdict::OutOfRange;
  return suggestion;
}

TReferenceTone ChannelsOf(const TReferenceTone& all, std::size_t first, std::size_t count) {
  TReferenceTone some = all;
  if (all.Suggestion.Verdict == TToneVerdict::Unreadable) return some;
  const std::size_t begin = std::min(first, all.Channels.size());
  const std::size_t end = std::min(begin + count, all.Channels.size());
  some.Channels.assign(all.Channels.begin() + static_cast<std::ptrdiff_t>(begin),
                       all.Channels.begin() + static_cast<std::ptrdiff_t>(end));
  some.Suggestion = SuggestLevel(some.Channels);
  return some;
}

std::vector<TLevelSuggestion> ChannelSuggestions(const TReferenceTone& tone) {
  std::vector<TLevelSuggestion> suggestions;
  for (const auto& found : tone.Channels) suggestions.push_back(SuggestLevel({found}));
  return suggestions;
}

std::string DescribeReferenceTone(const TReferenceTone& tone, char decimalPoint) {
  const TLevelSuggestion& suggestion = tone.Suggestion;
  if (suggestion.Verdict == TToneVerdict::Unreadable) return tone.Error;
  if (suggestion.Verdict == TToneVerdict::NoTone) {
    return "no steady tone (one frequency, level steady within 0" + std::string(1, decimalPoint) +
           "5 dB, at least 2 s) in " + ToneTimeText(tone.SearchStart, decimalPoint) + "-" +
           ToneTimeText(tone.SearchEnd, decimalPoint) + "; no reference level suggested";
  }

  // One description when every channel shows the same, else one per channel.
  std::vector<std::string> texts;
  for (const auto& found : tone.Channels) {
    texts.push_back(found ? ToneText(*found, decimalPoint) : std::string());
  }
  std::string text = "reference tone ";
  if (std::all_of(texts.begin(), texts.end(),
                  [&](const std::string& t) { return t == texts[0]; })) {
    text += texts[0];
  } else {
    for (std::size_t c = 0; c < texts.size(); ++c) {
      if (c > 0) text += ", ";
      text += (texts[c].empty() ? std::string("none") : texts[c]) + " in channel " +
              std::to_string(c + 1);
    }
  }

  const std::string level = LevelText(suggestion.LevelDb, decimalPoint) + " dB";
  if (suggestion.Verdict == TToneVerdict::OutOfRange) {
    return text + "; no reference level suggested: " + level + " is outside " +
           LevelText(kMinLevelDb, decimalPoint) + " .. " + LevelText(kMaxLevelDb, decimalPoint) +
           " dB";
  }
  text += "; reference level " + level;
  if (suggestion.ChannelsWithTone < tone.Channels.size()) {
    text += suggestion.ChannelsWithTone == 1 ? " (from the one channel with a tone)"
                                             : " (from the channels with a tone)";
  } else if (suggestion.SpreadDb > 0.5) {
    text += " (the mean of the channels, which differ by " +
            TenthText(suggestion.SpreadDb, decimalPoint, false) + " dB)";
  }
  return text;
}

}  // namespace zorv
