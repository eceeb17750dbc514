// SPDX-License-Identifier: GPL-3.0-or-later
// The queue of several inputs as the user reviews it before it runs: one row
// per input with its proposed output, its level (the main control's, one set
// by hand, or one measured from its tone), the answer about an output that
// exists, and what became of it. No widgets: the window shows the rows.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zorv {

enum class TQueueState {
  Waiting,
  Decoding,
  Decoded,
  Failed,      // refused, or not decoded whole
  Aborted,     // the one the user stopped
  Skipped,     // not decoded on purpose (its output kept, or it is another row's output)
  NotDecoded,  // still waiting when the queue was aborted
};

enum class TRowLevel { Main, Set, Measured };

// Channels whose tones lie further apart than this are decoded each at its own.
inline constexpr double kChannelSpreadDb = 0.5;

// The answers to "replace the output that exists?".
enum class TReplaceChoice { Replace, Skip, ReplaceAll, SkipAll };

struct TQueueRow {
  std::string Input;
  std::string Output;
  // "44100 Hz, 2 ch, 16 bit" and the playing time; empty and 0 when the
  // input was refused.
  std::string Format;
  double Seconds = 0.0;
  TRowLevel LevelFrom = TRowLevel::Main;
  double LevelDb = 0.0;  // for Set and Measured
  // Measured: each channel's own level, where the channels' tones differ by
  // more than kChannelSpreadDb (the tracks of a multitrack tape); else empty
  // and every channel at LevelDb.
  std::vector<double> ChannelLevelsDb;
  std::string LevelNote;  // what the tone measurement found, or why nothing was
  TQueueState State = TQueueState::Waiting;
  std::string Result;  // what became of it, once it has ended
  // The user agreed to replace the output that exists.
  bool ReplaceAgreed = false;
};

class TQueueModel {
 public:
  // Inputs added behind the rows still waiting (ended rows are let go);
  // one already waiting is not added twice. An input that is another row's
  // proposed output (an earlier decode) is skipped, and an output that two
  // inputs would share is refused for the second.
  void Add(const std::vector<std::string>& inputs);
  void Remove(std::size_t row);
  void Clear() { Rows_.clear(); }

  const std::vector<TQueueRow>& Rows() const { return Rows_; }
  TQueueRow& Row(std::size_t row) { return Rows_.at(row); }
  std::size_t Size() const { return Rows_.size(); }

  // The level a row decodes at, mainDb being the main control's.
  double LevelOf(std::size_t row, double mainDb) const;
  void SetLevel(std::size_t row, double db);
  void UseMainLevel(std::size_t row);
  // A level measured from the row's tone; note says what was found.
  // channelsDb: each channel's level from its own tone; kept when they
  // differ by more than kChannelSpreadDb.
  void SetMeasuredLevel(std::size_t row, double db, const std::string& note,
                        const std::vector<double>& channelsDb = {});

  // Starts a new round of questions: an earlier "all" answer no longer holds.
  void BeginQuestions() { AllAnswer_.reset(); }
  // Whether the row may replace its existing output: agreed already, the
  // round's "all" answer, or ask's answer (asked only then). A row not to
  // replace it is Skipped.
  bool DecideReplace(std::size_t row, const std::function<TReplaceChoice()>& ask);

  // The first waiting row from from on.
  std::optional<std::size_t> NextWaiting(std::size_t from = 0) const;
  bool AnyWaiting() const { return NextWaiting().has_value(); }
  // The queue was aborted: the rows still waiting are NotDecoded.
  void MarkWaitingNotDecoded();
  std::size_t CountIn(TQueueState state) const;

 private:
  std::vector<TQueueRow> Rows_;
  std::optional<bool> AllAnswer_;  // true: replace all, false: skip all
};

// Reads the header of a waiting row's input: its format and playing time,
// or (Failed) why it is refused, in the words of a refused input file.
void ProbeInput(TQueueRow& row);

// The spelling of a path that two names of one file share, for files that
// need not exist yet.
std::string PathKey(const std::string& path);

}  // namespace zorv
