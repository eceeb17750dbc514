// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/processing_run.h"

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/asan_interface.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

#include "app/channel_levels.h"
#include "app/output_shape.h"

namespace zorv {

std::string_view StatusText(TRunStatus status) {
  switch (status) {
    case TRunStatus::Idle:
      return {};
    case TRunStatus::Working:
      return "Working";
    case TRunStatus::Done:
      return "Done";
    case TRunStatus::Aborted:
      return "aborted";
    case TRunStatus::SampleCountError:
      return "Error: Number of processed samples does not match data";
    case TRunStatus::WriteError:
      return "Error: could not write the output file";
    case TRunStatus::ReadError:
      return "Error: could not read the input file";
  }
  return {};
}

std::string ElapsedTimeText(std::int32_t milliseconds) {
  return "elapsed time: " + std::to_string(static_cast<std::uint32_t>(milliseconds)) + " msec";
}

TProcessingRun::TProcessingRun() {
  Reader_.OnEOFReached = [this] { WavFilein1EOFReached(); };
  Decoder_.SetPath(FastestPath());
}

TProcessingRun::~TProcessingRun() = default;

std::uint32_t TProcessingRun::Now() const {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  // The millisecond counter wraps at 32 bits; differences stay right.
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

std::shared_ptr<const TDecoderState> TProcessingRun::CaptureState() const {
  auto state = std::make_shared<TDecoderState>();
  state->Channels.resize(Decoder_.Channels());
  for (std::size_t c = 0; c < state->Channels.size(); ++c) {
    Decoder_.Channel(static_cast<int>(c)).Save(state->Channels[c]);
  }
  return state;
}

std::uint64_t TProcessingRun::FramesRead() const {
  return BytesPerFrame_ == 0 ? 0 : DataBytesRead_ / BytesPerFrame_;
}

std::uint64_t TProcessingRun::BlockFirstFrame() const {
  return BytesPerFrame_ == 0 ? 0 : BlockFirstByte_ / BytesPerFrame_;
}

void TProcessingRun::SetBlocksInFlight(int blocks) {
  BlocksInFlight_ = std::clamp(blocks, 1, kMaxBlocksInHand);
}

const double* TProcessingRun::In(std::uint32_t channel) const {
  const TBlockSlot& slot = Slots_[Hand_];
  return BuffersAllocated_ && channel < slot.In.size() ? slot.In[channel] : nullptr;
}

const double* TProcessingRun::Out(std::uint32_t channel) const {
  const TBlockSlot& slot = Slots_[Hand_];
  return BuffersAllocated_ && channel < slot.Out.size() ? slot.Out[channel] : nullptr;
}

void TProcessingRun::Start() {
  Channels_ = Reader_.Channels();
  EofReached_ = false;
  Running_ = true;
  AbortRequested_ = false;
  Status_ = TRunStatus::Working;
}

TOutputShape TProcessingRun::OutputShape() const {
  return {OutputFloat_, CanonicalHeader_, DebugChannel_, MaxRiffSize_, InitialState_ != nullptr};
}

std::string TProcessingRun::CodingHistoryLine() const {
  std::string level;
  if (LevelText_) {
    level = LevelText_(FramesRead());
  } else {
    // Each channel's level; one when they are equal.
    std::vector<double> levels(std::max<std::uint32_t>(Reader_.HeaderImage().Channels(), 1));
    for (std::uint32_t c = 0; c < levels.size() && c < kMaxChannels; ++c) {
      levels[c] = Decoder_.LevelDb(c);
    }
    level = ReferenceLevelsText(levels);
  }
  return DecodeCodingHistoryLine(Reader_.HeaderImage(), OutputShape(), level);
}

void TProcessingRun::BeginOutput() {
  // The writer's image holds the format fields of the output; its chunks and
  // sizes are laid out from the input's chunk list.
  const TOutputShape shape = OutputShape();
  Writer_.HeaderImage() = OutputHeader(Reader_.HeaderImage(), shape);
  const TOutputPlan plan =
      OutputPlanOf(Reader_.HeaderImage(), Reader_.FmtBody(), shape, CodingHistoryLine());
  Output_ = std::make_unique<TOutputLayout>(Reader_, plan, Writer_.Seekable());
  Md5_.reset();
  if (Output_->NeedsMd5()) Md5_ = std::make_unique<TMd5>();
  Output_->WriteHead(Writer_);
  OutputContainer_ = Output_->Container();
}

void TProcessingRun::ChooseOutputLayout() {
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

std::uint32_t TProcessingRun::OutputBytes(std::uint32_t len) const {
  return static_cast<std::uint32_t>(zorv::OutputBytes(len, BytesPerFrame_, Layout_, OutLayout_));
}

std::uint64_t TProcessingRun::WholeFrames(std::uint64_t bytes) const {
  return WholeFrameBytes(bytes, Writer_.HeaderImage().BlockAlign());
}

void TProcessingRun::CompleteOutput() {
  if (!Output_) return;
  THeaderImage& header = Writer_.HeaderImage();
  // A write that failed may have left part of a frame: the header states the
  // whole frames before it, and nothing is written behind it.
  const std::uint64_t data = WholeFrames(Writer_.TotalBytes());
  if (LevelText_) Output_->SetCodingHistoryLine(CodingHistoryLine());
  Output_->WriteTail(Writer_, data, Md5_ ? Md5_->Digest() : TMd5Digest{});
  OutputContainer_ = Output_->Container();
  header.SetDataSize(DataSizeField(data));

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
  Notes_.clear();
  for (const TRunWarning& warning : Warnings_) Notes_.push_back(warning.Message);
  Output_.reset();
}

void TProcessingRun::AllocateBuffers() {
  const auto frames = static_cast<std::size_t>(FramesPerBlock_ > 0 ? FramesPerBlock_ : 0);
  // Channel 2's output exists for a mono input too: the debug output.
  const std::size_t outputs = Channels_ < 2 ? 2 : Channels_;
  const std::size_t readBytes = std::max<std::size_t>(kWavBufferBytes, frames * BytesPerFrame_);
  // One buffer for every slot, each slot's samples and bytes read on whole
  // cache lines, a line apart.
  constexpr std::size_t kLine = 64;
  const auto linesAndOneMore = [](std::size_t bytes) {
    return ((bytes + kLine - 1) / kLine + 1) * kLine;
  };
  const std::size_t sampleBytes = (Channels_ + outputs) * frames * sizeof(double);
  const std::size_t readPlace = linesAndOneMore(sampleBytes);
  const std::size_t slotBytes = readPlace + linesAndOneMore(readBytes);
  SlotBuffers_ = TPageBuffer(slotBytes * Slots_.size());
  std::byte* place = SlotBuffers_.Data();
  for (TBlockSlot& slot : Slots_) {
    slot.Run = this;
    slot.In.resize(Channels_);
    slot.Out.resize(outputs);
    auto* next = reinterpret_cast<double*>(place);
    for (double*& in : slot.In) in = std::exchange(next, next + frames);
    for (double*& out : slot.Out) out = std::exchange(next, next + frames);
    slot.Read = {reinterpret_cast<std::uint8_t*>(place + readPlace), readBytes};
#ifdef __SANITIZE_ADDRESS__
    // The lines between the parts are no part's: AddressSanitizer reports a
    // walk past one into the next.
    ASAN_POISON_MEMORY_REGION(place + sampleBytes, readPlace - sampleBytes);
    ASAN_POISON_MEMORY_REGION(place + readPlace + readBytes, slotBytes - readPlace - readBytes);
#endif
    place += slotBytes;
    slot.Len = 0;
    slot.FirstByte = 0;
    slot.Whole = 0;
    slot.Begun = false;
    slot.Faults.assign(Channels_, {});
  }
  Hand_ = 0;
  BuffersAllocated_ = true;
}

void TProcessingRun::ReleaseBuffers() {
  for (TBlockSlot& slot : Slots_) {
    slot.In.clear();
    slot.Out.clear();
    slot.Read = {};
  }
  SlotBuffers_ = {};
  BuffersAllocated_ = false;
}

bool TProcessingRun::ReadBlock(TBlockSlot& slot, const TBlockSlot* previous) {
  if (InputEnded_) return false;
  const std::uint32_t len = Reader_.ReadBuffer();
  // A failed read ends the run before the block it spoilt; an empty read
  // ends the data (the reader has raised its end event); a short one is the
  // last block.
  const bool failed = Reader_.ReadFailure() != TReadFailure::None;
  if (failed || len == 0 || EofReached_) InputEnded_ = true;
  if (failed || len == 0) return false;
  slot.Len = len;
  slot.FirstByte = previous != nullptr ? previous->FirstByte + previous->Len : 0;
  // A frame cut short by the end of the data is split whole, with what the
  // reader's buffer holds behind it; only the whole frames are decoded.
  slot.Frames = BytesPerFrame_ == 0 ? 0 : (len + BytesPerFrame_ - 1) / BytesPerFrame_;
  slot.Whole = BytesPerFrame_ == 0 ? 0 : len / BytesPerFrame_;
  // A block the decoder refuses (no whole frame) is not split: no faults
  // of an earlier block of this slot are counted again.
  for (TInputFaults& faults : slot.Faults) faults = {};
  const std::size_t bytes =
      std::min<std::size_t>({std::size_t{slot.Frames} * BytesPerFrame_,
                             std::size_t{Reader_.BufferCapacity()}, slot.Read.size()});
  std::copy_n(Reader_.Buffer(), bytes, slot.Read.data());
  return true;
}

void TProcessingRun::TBlockSlot::BeforeChannels(int first, int count) {
  const auto from = static_cast<std::uint32_t>(first);
  const auto channels = static_cast<std::uint32_t>(count);
  SplitChannels(Read.data(), Len, Run->Layout_, from, channels, In.data());
  // Float samples can be anything: the decoder sees none it cannot take.
  if (Run->Layout_.Format == TSampleFormat::Float32) {
    const std::uint32_t written = Len / Run->BytesPerFrame_;
    for (std::uint32_t c = from; c < from + channels && c < In.size(); ++c) {
      Faults[c] = SanitiseInput(In[c], Frames, written);
    }
  }
}

void TProcessingRun::WriteBlock(const TBlockSlot& slot) {
  for (const TInputFaults& faults : slot.Faults) {
    InputFaults_.Add(faults, slot.FirstByte / std::max<std::uint32_t>(BytesPerFrame_, 1));
  }
  // Whole frames only: a frame cut short by the end of the data is left out.
  const std::uint32_t whole = BytesPerFrame_ == 0 ? 0 : slot.Len - slot.Len % BytesPerFrame_;
  DroppedBytes_ += slot.Len - whole;
  const std::uint32_t outLen = OutputBytes(whole);
  // Whole frames that fit the writer's buffer at a time (a block of many
  // channels in float does not fit it whole); the first failed write ends it.
  const std::uint32_t frameBytes = OutLayout_.BytesPerFrame();
  const std::uint32_t pieceFrames = frameBytes == 0 ? 0 : kWavBufferBytes / frameBytes;
  const std::uint32_t pieceBytes = frameBytes == 0 ? outLen : pieceFrames * frameBytes;
  std::array<const double*, kMaxChannels> from{};
  std::uint32_t done = 0;
  for (std::uint32_t piece = 0; done < outLen && !Writer_.WriteFailed(); ++piece) {
    for (std::size_t c = 0; c < slot.Out.size() && c < from.size(); ++c) {
      from[c] = slot.Out[c] + static_cast<std::size_t>(piece) * pieceFrames;
    }
    const std::uint32_t bytes = std::min(pieceBytes, outLen - done);
    MergeBlock(from.data(), bytes, OutLayout_, Writer_.Buffer(), Stats_);
    const std::uint64_t before = Writer_.TotalBytes();
    Writer_.WriteBuffer(static_cast<std::int32_t>(bytes));
    // The digest covers what the header will state: after a failed write,
    // the whole frames the file took.
    if (Md5_) {
      const std::uint64_t taken = Writer_.TotalBytes() - before;
      Md5_->Update(Writer_.Buffer(), static_cast<std::size_t>(WholeFrames(taken)));
    }
    done += bytes;
  }
  if (Writer_.WriteFailed()) {
    // The run ends at the block whose write failed: what was read behind
    // it while it waited to be written is not counted.
    BlockFirstByte_ = slot.FirstByte;
    DataBytesRead_ = slot.FirstByte + slot.Len;
  }
}

void TProcessingRun::StartProcess() {
  StartTime_ = Now();
  Notes_.clear();
  Warnings_.clear();
  BytesPerFrame_ = Reader_.BlockAlign();
  FormatTag_ = Reader_.FormatTag();
  Layout_ = FrameLayoutOf(BytesPerFrame_, Channels_, FormatTag_);
  ChooseOutputLayout();
  BeginOutput();

  SampleRate_ = Reader_.SampleRate();
  FramesPerBlock_ = static_cast<std::int32_t>(Reader_.BlockFrames());
  DataBytes_ = Reader_.DataSizeKnown() ? Reader_.DataSize() : 0;
  DataBytesRead_ = 0;
  BlockFirstByte_ = 0;
  DroppedBytes_ = 0;
  Stats_ = {};
  InputFaults_ = {};
  InputEnded_ = false;

  Decoder_.Prepare(SampleRate_, Channels_, DebugChannel_);
  if (InitialState_) {
    const std::size_t common = std::min<std::size_t>(Channels_, InitialState_->Channels.size());
    for (std::size_t c = 0; c < common; ++c) {
      Decoder_.RestoreChannel(static_cast<int>(c), InitialState_->Channels[c]);
    }
    // The state holds the coefficients of its own rate: this input's again.
    Decoder_.Prepare(SampleRate_, Channels_, DebugChannel_);
  }
  AllocateBuffers();

  // The block in hand decodes (on the decoder's worker pool) while the next
  // ones are read and the one before is written. Blocks are read and written
  // in order, and only by this thread. Begun ahead, the next blocks decode
  // as soon as the workers are through with the block in hand, whatever
  // this thread is doing; they are dropped again (the decoder put back as
  // it was) when the run ends with the block in hand or the level changes
  // in the event pass, so that everything happens as in the plain order.
  const bool onPool = Pipeline_.WorkerPool() != nullptr;
  // The pool is timed against this thread anew: the time since the last
  // run's blocks is no block's.
  Pipeline_.PoolChoice().Restart();
  const int readAhead = BlocksInFlight_ >= 5 && onPool ? 3 : BlocksInFlight_ >= 2 ? 1 : 0;
  const bool writeBehind = BlocksInFlight_ >= 3;
  const bool beginAhead = BlocksInFlight_ >= 4 && onPool;
  // With blocks begun ahead, this thread sleeps until the block after the
  // one in hand is decoded too: it then wakes once for two blocks, and the
  // workers still have two more to go on with while it wakes.
  const bool awaitPairs = readAhead >= 2 && beginAhead;
  const auto slotAt = [this](int ahead) -> TBlockSlot& { return Slots_[(Hand_ + ahead) % kSlots]; };
  const auto dropBegunAhead = [&] {
    for (int ahead = Pipeline_.BlocksInFlight(); ahead > 0; --ahead) {
      Pipeline_.CancelBlock();
      slotAt(ahead).Begun = false;
    }
  };
  const TBlockSlot* unwritten = nullptr;
  bool stalled = false;
  int held = ReadBlock(Slots_[0], nullptr) ? 1 : 0;  // blocks read, from the one in hand on
  // The first failed write ends the run: nothing is written behind a gap.
  while (held > 0 && !AbortRequested_ && !Writer_.WriteFailed()) {
    TBlockSlot& slot = slotAt(0);
    BlockFirstByte_ = slot.FirstByte;
    DataBytesRead_ = slot.FirstByte + slot.Len;

    for (int ahead = 0; ahead <= readAhead; ++ahead) {
      if (ahead >= held) {
        if (!ReadBlock(slotAt(ahead), &slotAt(ahead - 1))) break;
        ++held;
      }
      TBlockSlot& block = slotAt(ahead);
      if ((ahead == 0 || beginAhead) && !block.Begun) BeginDecode(block);
    }
    if (unwritten != nullptr) WriteBlock(*std::exchange(unwritten, nullptr));
    if (awaitPairs && !Pipeline_.BlockDecoded(0)) Pipeline_.AwaitBlock(1);
    ProcessedCount_ = FinishDecode();
    slot.Begun = false;
    stalled = ProcessedCount_ != static_cast<std::int32_t>(slot.Whole);
    // Not the blocks behind a write that failed.
    if (stalled || Writer_.WriteFailed() || AbortRequested_ || Pipeline_.NewestBlockOutdated()) {
      dropBegunAhead();
    }
    // A block the decoder did not take whole ends the run at once, with an
    // error: what was written before it is kept as decoded.
    if (stalled || Writer_.WriteFailed()) break;
    if (writeBehind) {
      unwritten = &slot;
    } else {
      WriteBlock(slot);
    }
    --held;
    Hand_ = (Hand_ + 1) % kSlots;
    // Read in turn, when nothing is read ahead.
    if (held == 0 && ReadBlock(slotAt(0), &slot)) held = 1;
  }
  // Blocks begun ahead of a run that ended (a failed write) are dropped.
  dropBegunAhead();
  // The block in hand when the loop ended (by Abort, or at the end) is
  // written too, unless a write failed.
  if (unwritten != nullptr && !Writer_.WriteFailed() && !stalled) WriteBlock(*unwritten);

  // Also after a failed write: the header then states what the file took,
  // and nothing is written behind it.
  CompleteOutput();
  ElapsedTime_ = static_cast<std::int32_t>(Now() - StartTime_);

  ReleaseBuffers();
  Reader_.CloseFile();
  Writer_.CloseFile();
  // Judged after the close, which can fail too. A stream given up on for a
  // stop request ends the run as Abort does.
  const bool interrupted =
      Reader_.ReadFailure() == TReadFailure::Interrupted || Writer_.Interrupted();
  if (stalled) {
    Status_ = TRunStatus::SampleCountError;
  } else if (Writer_.WriteFailed() && !interrupted) {
    Status_ = TRunStatus::WriteError;
  } else if (Reader_.ReadFailure() != TReadFailure::None && !interrupted) {
    Status_ = TRunStatus::ReadError;
  } else {
    Status_ = AbortRequested_ || interrupted ? TRunStatus::Aborted : TRunStatus::Done;
  }
  if (Running_) {
    Running_ = false;
    AbortRequested_ = true;
  }
}

void TProcessingRun::BeginDecode(TBlockSlot& slot) {
  // The block's whole frames only: a shorter last one ends where the input
  // does, and the decoder's state after it is the state at the input's last
  // frame (where the next part of a tape goes on from).
  Pipeline_.BeginBlock(slot.In.data(), slot.Out.data(), slot.Whole, &slot);
  slot.Begun = true;
}

std::int32_t TProcessingRun::FinishDecode() {
  const std::int32_t processed = Pipeline_.FinishBlock();
  if (EventPass_) EventPass_();
  return processed;
}

void TProcessingRun::Abort() {
  Running_ = false;
  AbortRequested_ = true;
}

}  // namespace zorv
