// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/queue_model.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "app/audio_files.h"
#include "app/format_check.h"
#include "app/messages.h"
#include "app/output_name.h"
#include "wav/wav_file_in.h"

namespace zorv {
namespace {

std::string FileNameOf(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

}  // namespace

std::string PathKey(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

void ProbeInput(TQueueRow& row) {
  if (row.State != TQueueState::Waiting) return;
  TWavFileIn reader;
  if (const auto refusal = OpenDecodableInput(reader, row.Input)) {
    row.State = TQueueState::Failed;
    row.Result = refusal->Line();
    row.Format.clear();
    row.Seconds = 0.0;
    return;
  }
  const THeaderImage& header = reader.HeaderImage();
  row.Format = std::to_string(header.SampleRate()) + " Hz, " + std::to_string(header.Channels()) +
               " ch, " + std::to_string(header.BitsPerSample()) + " bit" +
               (header.FormatTag() == kFormatIeeeFloat ? " float" : "");
  const std::uint32_t frameBytes = header.BlockAlign();
  const std::uint64_t frames = frameBytes == 0 ? 0 : reader.DeliverableDataBytes() / frameBytes;
  row.Seconds = header.SampleRate() == 0 ? 0.0 : static_cast<double>(frames) / header.SampleRate();
  reader.CloseFile();
}

void TQueueModel::Add(const std::vector<std::string>& inputs) {
  std::erase_if(Rows_, [](const TQueueRow& row) { return row.State != TQueueState::Waiting; });
  std::set<std::string> known;
  for (const TQueueRow& row : Rows_) known.insert(PathKey(row.Input));
  for (const std::string& input : inputs) {
    if (!known.insert(PathKey(input)).second) continue;
    TQueueRow row;
    row.Input = input;
    row.Output = ProposeOutputName(input);
    Rows_.push_back(std::move(row));
  }
  // Which input each proposed output belongs to, and the outputs taken.
  std::map<std::string, std::string> outputOf;
  for (const TQueueRow& row : Rows_) outputOf.emplace(PathKey(row.Output), row.Input);
  std::set<std::string> taken;
  for (TQueueRow& row : Rows_) {
    if (row.State != TQueueState::Waiting) continue;
    const auto source = outputOf.find(PathKey(row.Input));
    if (source != outputOf.end()) {
      row.State = TQueueState::Skipped;
      row.Result =
          "Skipped: " + FileNameOf(row.Input) + " is the output of " + FileNameOf(source->second);
    } else if (!taken.insert(PathKey(row.Output)).second) {
      row.State = TQueueState::Failed;
      row.Result = "Output file already used for another input: " + row.Output;
    }
  }
}

void TQueueModel::Remove(std::size_t row) {
  if (row < Rows_.size()) Rows_.erase(Rows_.begin() + static_cast<std::ptrdiff_t>(row));
}

double TQueueModel::LevelOf(std::size_t row, double mainDb) const {
  const TQueueRow& r = Rows_.at(row);
  return r.LevelFrom == TRowLevel::Main ? mainDb : r.LevelDb;
}

void TQueueModel::SetLevel(std::size_t row, double db) {
  TQueueRow& r = Rows_.at(row);
  r.LevelFrom = TRowLevel::Set;
  r.LevelDb = db;
  r.ChannelLevelsDb.clear();
  r.LevelNote.clear();
}

void TQueueModel::UseMainLevel(std::size_t row) {
  TQueueRow& r = Rows_.at(row);
  r.LevelFrom = TRowLevel::Main;
  r.ChannelLevelsDb.clear();
  r.LevelNote.clear();
}

void TQueueModel::SetMeasuredLevel(std::size_t row, double db, const std::string& note,
                                   const std::vector<double>& channelsDb) {
  TQueueRow& r = Rows_.at(row);
  r.LevelFrom = TRowLevel::Measured;
  r.LevelDb = db;
  r.LevelNote = note;
  const auto [low, high] = std::minmax_element(channelsDb.begin(), channelsDb.end());
  r.ChannelLevelsDb.clear();
  if (low != channelsDb.end() && *high - *low > kChannelSpreadDb + 1e-9)
    r.ChannelLevelsDb = channelsDb;
}

bool TQueueModel::DecideReplace(std::size_t row, const std::function<TReplaceChoice()>& ask) {
  TQueueRow& r = Rows_.at(row);
  if (r.ReplaceAgreed) return true;
  bool replace = false;
  if (AllAnswer_) {
    replace = *AllAnswer_;
  } else {
    const TReplaceChoice choice = ask();
    replace = choice == TReplaceChoice::Replace || choice == TReplaceChoice::ReplaceAll;
    if (choice == TReplaceChoice::ReplaceAll || choice == TReplaceChoice::SkipAll) {
      AllAnswer_ = replace;
    }
  }
  if (replace) {
    r.ReplaceAgreed = true;
  } else {
    r.State = TQueueState::Skipped;
    r.Result = "Skipped: " + FileNameOf(r.Output) + " exists and was kept";
  }
  return replace;
}

std::optional<std::size_t> TQueueModel::NextWaiting(std::size_t from) const {
  for (std::size_t i = from; i < Rows_.size(); ++i) {
    if (Rows_[i].State == TQueueState::Waiting) return i;
  }
  return std::nullopt;
}

void TQueueModel::MarkWaitingNotDecoded() {
  for (TQueueRow& row : Rows_) {
    if (row.State != TQueueState::Waiting) continue;
    row.State = TQueueState::NotDecoded;
    row.Result = "Not decoded: the queue was aborted";
  }
}

std::size_t TQueueModel::CountIn(TQueueState state) const {
  return static_cast<std::size_t>(std::count_if(
      Rows_.begin(), Rows_.end(), [state](const TQueueRow& row) { return row.State == state; }));
}

}  // namespace zorv
