// SPDX-License-Identifier: GPL-3.0-or-later
// The run's blocks: their slots and buffers, reading and writing them, and
// the block loop.
#include <algorithm>
#include <chrono>
#include <utility>

#include "app/decode_run.h"

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/asan_interface.h>
#endif

namespace zorv {
namespace {

// A millisecond counter that wraps at 32 bits; differences stay right.
std::uint32_t Now() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

}  // namespace

void TDecodeRun::AllocateBuffers() {
  const auto frames = static_cast<std::size_t>(FramesPerBlock_ > 0 ? FramesPerBlock_ : 0);
  // One output per channel (a debug output takes channel 2's place).
  const std::size_t outputs = Channels_;
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

void TDecodeRun::ReleaseBuffers() {
  for (TBlockSlot& slot : Slots_) {
    slot.In.clear();
    slot.Out.clear();
    slot.Read = {};
  }
  SlotBuffers_ = {};
  BuffersAllocated_ = false;
}

bool TDecodeRun::ReadBlock(TBlockSlot& slot, const TBlockSlot* previous) {
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

void TDecodeRun::TBlockSlot::BeforeChannels(int first, int count) {
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

void TDecodeRun::WriteBlock(const TBlockSlot& slot) {
  for (const TInputFaults& faults : slot.Faults) {
    InputFaults_.Add(faults, slot.FirstByte / std::max<std::uint32_t>(BytesPerFrame_, 1));
  }
  // Whole frames only: a frame cut short by the end of the data is left out.
  const std::uint32_t whole = BytesPerFrame_ == 0 ? 0 : slot.Len - slot.Len % BytesPerFrame_;
  DroppedBytes_ += slot.Len - whole;
  const auto outLen =
      static_cast<std::uint32_t>(OutputBytes(whole, BytesPerFrame_, Layout_, OutLayout_));
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
    if (OutputMd5_) {
      const std::uint64_t taken = Writer_.TotalBytes() - before;
      OutputMd5_->Update(Writer_.Buffer(), static_cast<std::size_t>(WholeFrameBytes(
                                               taken, Writer_.HeaderImage().BlockAlign())));
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

TRunStatus TDecodeRun::DecodeBlocks() {
  const std::uint32_t startTime = Now();
  Warnings_.clear();
  Stopped_ = false;
  EofReached_ = false;
  InputEnded_ = false;
  Channels_ = Reader_.Channels();
  BytesPerFrame_ = Reader_.BlockAlign();
  DataBytesRead_ = 0;
  BlockFirstByte_ = 0;
  DroppedBytes_ = 0;
  Stats_ = {};
  InputFaults_ = {};
  Layout_ = FrameLayoutOf(BytesPerFrame_, Channels_, Reader_.FormatTag());
  ChooseOutputLayout();
  BeginOutput();

  SampleRate_ = Reader_.SampleRate();
  FramesPerBlock_ = static_cast<std::int32_t>(Reader_.BlockFrames());
  const std::uint32_t debugBand = Settings_.DebugBand;
  Decoder_.Prepare(SampleRate_, Channels_, debugBand);
  if (const auto& from = Settings_.ContinueFrom) {
    const std::size_t common = std::min<std::size_t>(Channels_, from->Channels.size());
    for (std::size_t c = 0; c < common; ++c) {
      Decoder_.RestoreChannel(static_cast<int>(c), from->Channels[c]);
    }
    // The state holds the coefficients of its own rate: this input's again.
    Decoder_.Prepare(SampleRate_, Channels_, debugBand);
  }
  AllocateBuffers();

  // The block in hand decodes (on the decoder's worker pool) while the next
  // ones are read and the one before is written. Blocks are read and written
  // in order, and only by this thread. Begun ahead, the next blocks decode
  // as soon as the workers are through with the block in hand, whatever
  // this thread is doing; they are dropped again (the decoder put back as
  // it was) when the run ends with the block in hand or the level changes
  // between the blocks, so that everything happens as in the plain order.
  const bool onPool = Pipeline_.WorkerPool() != nullptr;
  // The pool is timed against this thread anew: the time since the last
  // run's blocks is no block's.
  Pipeline_.PoolChoice().Restart();
  const int inHand = std::clamp(Settings_.BlocksInHand, 1, kMaxBlocksInHand);
  const int readAhead = inHand >= 5 && onPool ? 3 : inHand >= 2 ? 1 : 0;
  const bool writeBehind = inHand >= 3;
  const bool beginAhead = inHand >= 4 && onPool;
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
  bool stalled = false;
  SplitReport_ = {};
  SplitInHand_.clear();
  if (SplitsInTime()) {
    DecodeSplitBlocks(stalled);
  } else {
    const TBlockSlot* unwritten = nullptr;
    int held = ReadBlock(Slots_[0], nullptr) ? 1 : 0;  // blocks read, from the one in hand on
    // The first failed write ends the run: nothing is written behind a gap.
    while (held > 0 && !Stopped_ && !Writer_.WriteFailed()) {
      TBlockSlot& slot = slotAt(0);
      BlockFirstByte_ = slot.FirstByte;
      DataBytesRead_ = slot.FirstByte + slot.Len;

      for (int ahead = 0; ahead <= readAhead; ++ahead) {
        if (ahead >= held) {
          if (!ReadBlock(slotAt(ahead), &slotAt(ahead - 1))) break;
          ++held;
        }
        TBlockSlot& block = slotAt(ahead);
        if ((ahead == 0 || beginAhead) && !block.Begun) {
          // The block's whole frames only: a shorter last one ends where the
          // input does, and the decoder's state after it is the state at the
          // input's last frame (where the next part of a tape goes on from).
          Pipeline_.BeginBlock(block.In.data(), block.Out.data(), block.Whole, &block);
          block.Begun = true;
        }
      }
      if (unwritten != nullptr) WriteBlock(*std::exchange(unwritten, nullptr));
      if (awaitPairs && !Pipeline_.BlockDecoded(0)) Pipeline_.AwaitBlock(1);
      const std::int32_t processed = Pipeline_.FinishBlock();
      slot.Begun = false;
      BetweenBlocks();
      stalled = processed != static_cast<std::int32_t>(slot.Whole);
      // Not the blocks behind a write that failed.
      if (stalled || Writer_.WriteFailed() || Stopped_ || Pipeline_.NewestBlockOutdated()) {
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
    // The block in hand when the loop ended (by a stop, or at the end) is
    // written too, unless a write failed.
    if (unwritten != nullptr && !Writer_.WriteFailed() && !stalled) WriteBlock(*unwritten);
  }

  // Also after a failed write: the header then states what the file took,
  // and nothing is written behind it.
  CompleteOutput();
  ElapsedMs_ = static_cast<std::int32_t>(Now() - startTime);

  ReleaseBuffers();
  Reader_.CloseFile();
  Writer_.CloseFile();
  // Judged after the close, which can fail too. A stream given up on for a
  // stop request ends the run as a stop between the blocks does.
  const bool interrupted =
      Reader_.ReadFailure() == TReadFailure::Interrupted || Writer_.Interrupted();
  if (stalled) return TRunStatus::SampleCountError;
  if (Writer_.WriteFailed() && !interrupted) return TRunStatus::WriteError;
  if (Reader_.ReadFailure() != TReadFailure::None && !interrupted) return TRunStatus::ReadError;
  return Stopped_ || interrupted ? TRunStatus::Aborted : TRunStatus::Done;
}

}  // namespace zorv
