// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/decode_run.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>

#include "app/audio_files.h"
#include "app/messages.h"
#include "dsp/reference_level_range.h"
#include "wav/flac_sink.h"
#include "wav/flac_source.h"

namespace zorv {
namespace {

std::string Reason(int error) {
  return std::strerror(error);
}

// The levels of the channels at the start of a run (one at least).
std::vector<double> StartLevels(const TRunSettings& settings, std::uint32_t channels) {
  std::vector<double> levels(std::max<std::uint32_t>(channels, 1), settings.LevelDb);
  for (std::size_t c = 0; c < levels.size() && c < settings.ChannelLevelsDb.size(); ++c) {
    levels[c] = settings.ChannelLevelsDb[c];
  }
  return levels;
}

// The levels of a history that applied to some of the first frames: a
// change asked for after the last block applied to nothing.
std::vector<TLevelChange> AppliedLevels(std::vector<TLevelChange> levels, std::uint64_t frames) {
  std::erase_if(levels, [&](const TLevelChange& change) {
    return change.Frame != 0 && change.Frame >= frames;
  });
  return levels;
}

std::string PeakText(double peak) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.1f", 20.0 * std::log10(peak));
  return text;
}

// The warnings about the output of a complete decode as a whole.
std::vector<TRunWarning> OutputWarnings(const TRunResult& result, bool fromStream) {
  std::vector<TRunWarning> warnings;
  const TSampleStats& stats = result.Stats;
  if (stats.Clipped > 0 && stats.Peak > 0) {
    warnings.push_back({warning_codes::kClipped, "clipped " + std::to_string(stats.Clipped) +
                                                     " samples (peak " + PeakText(stats.Peak) +
                                                     " dBFS)"});
  }
  // A stream's length is what it delivers.
  const std::uint32_t frameBytes = result.FrameBytes;
  if (frameBytes != 0 && result.DeliverableBytes < result.DataBytes && !fromStream) {
    warnings.push_back({warning_codes::kShortInput,
                        "input shorter than its header: " + std::to_string(result.Frames) + " of " +
                            std::to_string(result.DataBytes / frameBytes) + " frames"});
  }
  return warnings;
}

}  // namespace

TDecodeRun::TDecodeRun(const TRunSettings& settings) : Settings_(settings) {
  Reader_.OnEOFReached = [this] { EofReached_ = true; };
  Decoder_.SetPath(FastestPath());
}

TDecodeRun::~TDecodeRun() = default;

std::optional<TRefusal> TDecodeRun::CheckSettings(const std::string& name) {
  TWavFileIn& reader = Reader_;
  if (Settings_.DebugBand == 0 || reader.Channels() == 2) return std::nullopt;
  reader.CloseFile();
  return TRefusal{std::string(messages::kDebugNeedsStereo) + ": ", name, {}};
}

std::optional<TRefusal> TDecodeRun::OpenInput(std::unique_ptr<TByteSource> source,
                                              const std::string& name) {
  TWavFileIn& reader = Reader_;
  reader.CloseFile();
  reader.Filename = name;
  InputName_ = name;
  Flac_.reset();
  if (!source) {
    return TRefusal{std::string(messages::kCannotOpen), name, Reason(EBADF),
                    TRefusal::TStage::Open};
  }
  InputStream_ = !source->Seekable();
  if (const auto* flac = dynamic_cast<const TFlacSource*>(source.get())) Flac_ = flac->Findings();
  // The first bytes name what kind of file a refused one is (a stream's are
  // gone once read).
  std::string start;
  if (!InputStream_) {
    start.resize(12);
    start.resize(source->Read(start.data(), start.size()));
    source->Seek(0);
  }
  reader.OpenSource(std::move(source));
  if (auto refusal = CheckDecodable(reader, name, start)) return refusal;
  return CheckSettings(name);
}

std::optional<TRefusal> TDecodeRun::FlacRefusal(const std::string& name) const {
  const std::string problem =
      FlacOutputProblem(Reader_, Settings_.Float, Settings_.CanonicalHeader);
  if (problem.empty()) return std::nullopt;
  return TRefusal{std::string(messages::kNotForFlac), name, problem};
}

std::optional<TRefusal> TDecodeRun::OpenOutput(std::unique_ptr<TByteSink> sink,
                                               const std::string& name) {
  OutputName_ = name;
  OutputOpen_ = false;
  if (!sink) return TRefusal{std::string(messages::kCannotCreate), name, Reason(EBADF)};
  if (dynamic_cast<const TFlacSink*>(sink.get()) != nullptr) {
    if (auto refusal = FlacRefusal(name)) return refusal;
  }
  OutputStream_ = !sink->Seekable();
  Writer_.OpenSink(std::move(sink), name);
  OutputOpen_ = true;
  return std::nullopt;
}

void TDecodeRun::RequestLevel(double dB) {
  const std::lock_guard<std::mutex> hold(LevelLock_);
  RequestedLevel_ = dB;
}

TLimitCounter::TBlockInHand TDecodeRun::BlockInHand(int channel) const {
  TLimitCounter::TBlockInHand block;
  block.FirstFrame = BlockFirstFrame();
  // The frames read up to the end of the block in hand: its data, without
  // what a short last block holds behind it.
  const std::uint64_t read = FramesRead();
  block.Frames = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(read > block.FirstFrame ? read - block.FirstFrame : 0,
                              static_cast<std::uint64_t>(std::max(FramesPerBlock_, 0))));
  const TBlockSlot& slot = Slots_[Hand_];
  const auto c = static_cast<std::size_t>(channel);
  block.Samples = BuffersAllocated_ && c < slot.In.size() ? slot.In[c] : nullptr;
  if (c < SplitInHand_.size()) block.Samples = SplitInHand_[c];
  return block;
}

bool TDecodeRun::Stopping() const {
  return Stop_ || (ExternalStop_ != nullptr && *ExternalStop_);
}

void TDecodeRun::BetweenBlocks() {
  // What the front end does between the blocks (and the level or the stop
  // it asks for meanwhile) applies from the next block.
  if (BlockCallback_) BlockCallback_(DataBytesRead_);
  std::optional<double> level;
  {
    const std::lock_guard<std::mutex> hold(LevelLock_);
    level = std::exchange(RequestedLevel_, std::nullopt);
  }
  // The new level applies from the block after the one in hand; every
  // channel moves by as much as the base level.
  if (level && *level != BaseLevelDb_) {
    // From the levels the run began with, so that a channel held at an end
    // of the range keeps its distance to the others when it comes back.
    std::vector<double> levels = Levels_.front().LevelsDb;
    for (double& dB : levels) {
      dB = dB == Settings_.LevelDb
               ? *level
               : std::clamp(std::round(10.0 * (dB + *level - Settings_.LevelDb)) / 10.0,
                            kMinLevelDb, kMaxLevelDb);
    }
    BaseLevelDb_ = *level;
    for (std::uint32_t c = 0; c < levels.size(); ++c) Decoder_.SetChannelLevel(c, levels[c]);
    const std::uint64_t next =
        BlockFirstFrame() + static_cast<std::uint64_t>(std::max(FramesPerBlock_, 0));
    if (Levels_.back().Frame == next) {
      Levels_.back().LevelsDb = std::move(levels);
    } else {
      Levels_.push_back({next, std::move(levels)});
    }
  }
  if (Stopping()) Stopped_ = true;
}

std::uint64_t TDecodeRun::FramesRead() const {
  return BytesPerFrame_ == 0 ? 0 : DataBytesRead_ / BytesPerFrame_;
}

std::uint64_t TDecodeRun::BlockFirstFrame() const {
  return BytesPerFrame_ == 0 ? 0 : BlockFirstByte_ / BytesPerFrame_;
}

std::shared_ptr<const TDecoderState> TDecodeRun::CaptureState() const {
  auto state = std::make_shared<TDecoderState>();
  state->Channels.resize(Decoder_.Channels());
  for (std::size_t c = 0; c < state->Channels.size(); ++c) {
    Decoder_.Channel(static_cast<int>(c)).Save(state->Channels[c]);
  }
  return state;
}

TOutputShape TDecodeRun::OutputShape() const {
  return {Settings_.Float, Settings_.CanonicalHeader, Settings_.DebugBand, Settings_.MaxRiffSize,
          Settings_.ContinueFrom != nullptr};
}

std::string TDecodeRun::CodingHistoryLine() const {
  // Every level the frames decoded so far were decoded at.
  const std::string levels =
      ReferenceLevelHistoryText(AppliedLevels(Levels_, FramesRead()), Reader_.SampleRate());
  return DecodeCodingHistoryLine(Reader_.HeaderImage(), OutputShape(), levels);
}

void TDecodeRun::ChooseOutputLayout() {
  OutLayout_ = OutputFrameLayout(Layout_, OutputShape());
  // Wider output frames: a block should still fit the writer's buffer (for
  // more than two channels, the reader's wide one). The decoder's results do
  // not depend on the block length. A block larger than the writer's buffer
  // is written in pieces. And the decoder takes at most its capacity in a
  // block: a wide buffer could hold more frames than that of a few channels
  // over a long interval.
  const std::uint32_t outFrame = OutLayout_.BytesPerFrame();
  while ((Reader_.BlockFrames() * outFrame > Reader_.BufferCapacity() ||
          Reader_.BlockFrames() > TZorvCalc::BlockCapacity) &&
         Reader_.TimeInterval() > TWavFileIn::kMinTimeInterval) {
    Reader_.SetTimeInterval(Reader_.TimeInterval() / 2);
  }
}

void TDecodeRun::BeginOutput() {
  // The writer's image holds the format fields of the output; its chunks and
  // sizes are laid out from the input's chunk list.
  const TOutputShape shape = OutputShape();
  Writer_.HeaderImage() = OutputHeader(Reader_.HeaderImage(), shape);
  const TOutputPlan plan =
      OutputPlanOf(Reader_.HeaderImage(), Reader_.FmtBody(), shape, CodingHistoryLine());
  Output_ = std::make_unique<TOutputLayout>(Reader_, plan, Writer_.Seekable());
  OutputMd5_.reset();
  if (Output_->NeedsMd5()) OutputMd5_ = std::make_unique<TMd5>();
  Output_->WriteHead(Writer_);
  OutputContainer_ = Output_->Container();
}

void TDecodeRun::CompleteOutput() {
  if (!Output_) return;
  // A write that failed may have left part of a frame: the header states the
  // whole frames before it, and nothing is written behind it.
  const std::uint64_t data =
      WholeFrameBytes(Writer_.TotalBytes(), Writer_.HeaderImage().BlockAlign());
  Output_->SetCodingHistoryLine(CodingHistoryLine());
  Output_->WriteTail(Writer_, data, OutputMd5_ ? OutputMd5_->Digest() : TMd5Digest{});
  OutputContainer_ = Output_->Container();
  Writer_.HeaderImage().SetDataSize(DataSizeField(data));

  namespace codes = warning_codes;
  Warnings_.clear();
  if (std::string note = Reader_.DataSizeNote(); !note.empty()) {
    Warnings_.push_back({codes::kDataSizeZero, std::move(note)});
  }
  // Everything the reader says it left out is a chunk (or what stood behind
  // the end the header states).
  for (const std::string& note : Reader_.Notes()) Warnings_.push_back({codes::kChunkLeftOut, note});
  if (DroppedBytes_ != 0) {
    Warnings_.push_back({codes::kPartialFrame, "a partial frame of " +
                                                   std::to_string(DroppedBytes_) +
                                                   (DroppedBytes_ == 1 ? " byte" : " bytes") +
                                                   " at the end of the data: left out"});
  }
  for (std::size_t i = 0; i < Output_->Notes().size(); ++i) {
    Warnings_.push_back({Output_->NoteCodes()[i], Output_->Notes()[i]});
  }
  // The lines of the input's faults: the non-finite samples' first.
  std::vector<std::string> faults = InputFaultNotes(InputFaults_, SampleRate_);
  for (std::size_t i = 0; i < faults.size(); ++i) {
    const bool nonFinite = i == 0 && InputFaults_.NonFinite != 0;
    Warnings_.push_back({nonFinite ? codes::kNonFiniteInput : codes::kInputClamped, faults[i]});
  }
  Output_.reset();
}

TRunResult TDecodeRun::Run() {
  TRunResult result;
  const TWavFileIn& reader = Reader_;
  result.SampleRate = reader.SampleRate();
  result.Channels = reader.Channels();
  result.FrameBytes = reader.BlockAlign();
  result.DataBytes = reader.DataSizeKnown() ? reader.DataSize() : 0;
  result.DeliverableBytes = reader.DataSizeKnown() ? reader.DeliverableDataBytes() : 0;

  // The checksums as the blocks are read and written: no second pass.
  if (Settings_.Digests) {
    Md5_.emplace();
    InputMd5_.emplace();
    Writer_.OnBufferWritten = [this](const std::uint8_t* data, std::uint32_t size) {
      Md5_->Update(data, size);
    };
    Reader_.OnBufferReady = [this](const std::uint8_t* data, std::uint32_t size) {
      InputMd5_->Update(data, size);
    };
  }
  Decoder_.SetPath(Settings_.Exact ? TDecodePath::Extended
                                   : Settings_.Arithmetic.value_or(FastestPath()));
  result.Arithmetic = Decoder_.Path();
  const std::vector<double> levels = StartLevels(Settings_, result.Channels);
  Decoder_.SetLevel(Settings_.LevelDb);
  for (std::uint32_t c = 0; c < levels.size(); ++c) Decoder_.SetChannelLevel(c, levels[c]);
  if (Settings_.Pool != nullptr) {
    Pipeline_.SetWorkerPool(Settings_.Pool);
  } else {
    Pipeline_.SetChannelThreads(Settings_.ChannelThreads &&
                                std::thread::hardware_concurrency() >= 2);
  }
  Pipeline_.SetStageSplit(Settings_.StageSplit);
  if (Settings_.PoolTrialBlocks > 0) {
    Pipeline_.PoolChoice().SetTrial(std::chrono::nanoseconds(0), Settings_.PoolTrialBlocks);
  }
  // The CodingHistory names every level the samples were decoded at.
  Levels_ = {{0, levels}};
  BaseLevelDb_ = Settings_.LevelDb;

  if (!OutputOpen_) {
    result.Status = TRunStatus::Idle;
    return result;
  }
  result.Status = DecodeBlocks();
  result.Frames = FramesRead();
  result.Stats = Stats_;
  result.InputFaults = InputFaults_;
  result.ElapsedMs = ElapsedMs_;
  result.Warnings = Warnings_;
  if (Flac_) {
    std::vector<TRunWarning> flac;
    for (const std::string& note : Flac_->Notes) flac.push_back({warning_codes::kFlacChunks, note});
    if (Flac_->Md5 == TFlacMd5Check::Differs) {
      flac.push_back(
          {warning_codes::kInputChecksum,
           "the samples do not match the MD5 the FLAC file states: the file is damaged"});
    }
    for (TRunWarning& warning : flac) result.Warnings.push_back(std::move(warning));
  }
  if (result.Status == TRunStatus::Done)
    result.OutputWarnings = OutputWarnings(result, InputStream_);
  if (Settings_.Digests) result.InputMd5 = HexDigest(InputMd5_->Digest());
  result.Container = OutputContainer_;
  if (result.Status == TRunStatus::WriteError) {
    // Past 4 GiB the output is RF64: a size is never the reason.
    result.Reason = Reason(Writer_.WriteErrno() != 0 ? Writer_.WriteErrno() : EIO);
  } else if (result.Status == TRunStatus::ReadError) {
    result.Reason = reader.ReadFailureText();
  }
  // A change asked for after the last block applied to nothing.
  Levels_ = AppliedLevels(std::move(Levels_), result.Frames);
  result.Levels = Levels_;
  result.EndState = CaptureState();
  result.TimeSplit = SplitReport_;
  // Of what the output holds: everything, or what was decoded before a stop
  // (a complete file too).
  if (result.Status == TRunStatus::Done || result.Status == TRunStatus::Aborted) {
    if (Settings_.Digests) result.Md5 = HexDigest(Md5_->Digest());
    result.Partial = result.Status == TRunStatus::Aborted;
  }
  return result;
}

}  // namespace zorv
