// SPDX-License-Identifier: GPL-3.0-or-later
// One decode of the open input file into the open output file: the provisional
// header, the block loop (read, split, decode, event pass, merge, write) and
// the final header. The owner (the window or the command line) opens the
// files, starts the run, and may abort it from inside its event pass.
//
// When the decoder has a worker pool, the file work overlaps the decoding:
// while block k decodes, blocks k + 1 to k + 3 are read and begun (each is
// split and decoded once the workers are through with the one before) and
// block k - 1 is merged and written. Five blocks are in hand at most,
// whatever the file's length.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/block_pipeline.h"
#include "app/block_work.h"
#include "app/input_faults.h"
#include "app/output_shape.h"
#include "app/run_settings.h"
#include "app/run_warning.h"
#include "app/sample_conversion.h"
#include "dsp/page_buffer.h"
#include "dsp/zorv_calc.h"
#include "wav/md5.h"
#include "wav/output_layout.h"
#include "wav/wav_file_in.h"
#include "wav/wav_file_out.h"

namespace zorv {

enum class TRunStatus {
  Idle,              // no run yet
  Working,           // started
  Done,              // the input was decoded to its end
  Aborted,           // ended early by Abort
  SampleCountError,  // the decoder did not process a block whole; the run ended there
  WriteError,        // the output file did not take everything; nothing was written after
  ReadError,         // a read failed, or the input was cut shorter during the run
};

std::string_view StatusText(TRunStatus status);
// "elapsed time: N msec", N read as an unsigned number.
std::string ElapsedTimeText(std::int32_t milliseconds);

class TProcessingRun {
 public:
  // Called once per block, right after the decoder: the owner handles its
  // events, shows progress, and may call Abort.
  using TEventPass = std::function<void()>;

  TProcessingRun();
  ~TProcessingRun();
  TProcessingRun(const TProcessingRun&) = delete;
  TProcessingRun& operator=(const TProcessingRun&) = delete;

  TWavFileIn& Reader() { return Reader_; }
  TWavFileOut& Writer() { return Writer_; }
  TZorvCalc& Decoder() { return Decoder_; }
  TBlockPipeline& Pipeline() { return Pipeline_; }

  void SetEventPass(TEventPass pass) { EventPass_ = std::move(pass); }
  // The reference levels the CodingHistory line names ("reference level
  // -10.0 dB", "reference levels -12.5/-13.0 dB", or a history of them),
  // given the frames decoded so far; unset: the decoder's levels. Asked when the output begins and
  // again when it ends, where a longer answer replaces the line.
  using TLevelText = std::function<std::string(std::uint64_t frames)>;
  void SetLevelText(TLevelText text) { LevelText_ = std::move(text); }
  void SetMeterListener(TMeterListener* listener) { Pipeline_.SetMeterListener(listener); }
  // 0 none, 1..4: channel 2 of the output carries channel 1's control voltage
  // of band A..D. Read when a run starts.
  void SetDebugChannel(std::uint32_t band) { DebugChannel_ = band; }
  // The output holds 32-bit float samples whatever the input's format (so
  // nothing clips). Read when a run starts.
  void SetOutputFloat(bool on) { OutputFloat_ = on; }
  // The canonical 44-byte header of today for every input: format fields
  // and data only, no other chunk of the input. Read when a run starts.
  void SetCanonicalHeader(bool canonical) { CanonicalHeader_ = canonical; }
  bool CanonicalHeader() const { return CanonicalHeader_; }
  // Where the channels begin: null (the default) leaves the decoder's state
  // as it is (the start-up state of a new run); otherwise the state a
  // previous run ended in. Read when a run starts.
  void SetInitialState(std::shared_ptr<const TDecoderState> state) {
    InitialState_ = std::move(state);
  }
  // The state of every channel of the decoder now.
  std::shared_ptr<const TDecoderState> CaptureState() const;
  // The largest RIFF size written as plain RIFF; larger outputs are RF64.
  void SetMaxRiffSize(std::uint64_t bytes) { MaxRiffSize_ = bytes; }
  // Blocks in hand at once: 1 reads, decodes and writes each block in
  // turn; 2 reads the next block while one decodes; 3 also writes the
  // previous one meanwhile; 4 also begins the next block's decode before the
  // one in hand is finished; 5 (the default) reads and begins three blocks
  // ahead and waits for two at a time. The output, the meters, the progress
  // and the decoder's state after the run are the same in every case.
  // (The decoder's own limit of blocks begun is TBlockPipeline's.)
  static constexpr int kMaxBlocksInHand = 5;
  void SetBlocksInFlight(int blocks);
  int BlocksInFlight() const { return BlocksInFlight_; }

  // The start steps, with the reader and the writer open (a debug output
  // for a stereo input only: TDecodeRun refuses any other): takes the
  // channel count, clears the flags and marks the run as working. The owner
  // then calls StartProcess.
  void Start();

  // The run itself; returns when it has ended, the files closed.
  void StartProcess();
  // The run ends after the current block.
  void Abort();
  // Handler of the reader's end of data.
  void WavFilein1EOFReached() { EofReached_ = true; }

  bool Running() const { return Running_; }
  bool AbortRequested() const { return AbortRequested_; }
  bool EofReached() const { return EofReached_; }
  TRunStatus Status() const { return Status_; }
  std::string_view StatusText() const { return zorv::StatusText(Status_); }
  std::uint32_t StartTime() const { return StartTime_; }
  std::int32_t ElapsedTime() const { return ElapsedTime_; }
  std::string ElapsedTimeText() const { return zorv::ElapsedTimeText(ElapsedTime_); }

  std::uint32_t SampleRate() const { return SampleRate_; }
  std::uint32_t Channels() const { return Channels_; }
  std::int32_t FramesPerBlock() const { return FramesPerBlock_; }
  std::uint32_t BytesPerFrame() const { return BytesPerFrame_; }
  std::uint32_t FormatTag() const { return FormatTag_; }
  std::uint32_t DebugChannel() const { return DebugChannel_; }
  std::int32_t ProcessedCount() const { return ProcessedCount_; }

  // The working buffers of the block in hand: channel 1 (left) and 2 (right),
  // or channel c. InRight is null for a mono input; OutRight exists for mono
  // too (the debug output). All null outside a run.
  const double* InLeft() const { return In(0); }
  const double* InRight() const { return In(1); }
  const double* OutLeft() const { return Out(0); }
  const double* OutRight() const { return Out(1); }
  const double* In(std::uint32_t channel) const;
  const double* Out(std::uint32_t channel) const;

  // For a progress display: the data chunk's declared size (0 for a stream
  // that runs to its end), the data bytes read so far (the block in hand
  // included), and whole frames of them.
  std::uint64_t DataBytes() const { return DataBytes_; }
  std::uint64_t DataBytesRead() const { return DataBytesRead_; }
  std::uint64_t FramesRead() const;
  // Frame index, from the start of the data, of the block in hand.
  std::uint64_t BlockFirstFrame() const;
  // Samples clamped to full scale and the peak of the decoded signal, over
  // what the run has written.
  const TSampleStats& OutputStats() const { return Stats_; }
  // Input samples decoded as silence or clamped (app/input_faults.h), over
  // what the run has written; told among the notes too.
  const TInputFaults& InputFaults() const { return InputFaults_; }
  // Bytes of a frame cut short by the end of the data, which the output
  // leaves out (it holds whole frames only).
  std::uint64_t DroppedBytes() const { return DroppedBytes_; }
  // The output's container, once the run has written it.
  TContainer OutputContainer() const { return OutputContainer_; }
  // What the last run left out or changed besides decoding (a partial frame
  // dropped, a chunk that ran past the end of the input), one line each.
  const std::vector<std::string>& Notes() const { return Notes_; }
  // The same, each with its code ("chunk_left_out", "partial_frame_dropped").
  const std::vector<TRunWarning>& Warnings() const { return Warnings_; }
  // The CodingHistory line for a bext chunk, for the current settings and
  // the frames decoded so far.
  std::string CodingHistoryLine() const;

 private:
  // The settings that shape the output.
  TOutputShape OutputShape() const;
  void BeginOutput();
  // The output's frame layout (the input's, or float), with the reader's
  // interval shortened until a block fits the buffers and the decoder; and
  // the bytes of output for len bytes of input.
  void ChooseOutputLayout();
  std::uint32_t OutputBytes(std::uint32_t len) const;
  // The bytes of the whole output frames in bytes of output samples.
  std::uint64_t WholeFrames(std::uint64_t bytes) const;
  void CompleteOutput();
  // One block's bytes and its working buffers. The bytes read are split
  // into the input buffers by the threads that decode the block (its work):
  // the bytes pass from this thread to theirs, not the three times larger
  // doubles.
  struct TBlockSlot final : TBlockWork {
    const TProcessingRun* Run = nullptr;
    std::vector<double*> In;       // per channel of the input
    std::vector<double*> Out;      // per channel, at least two
    std::span<std::uint8_t> Read;  // the bytes read, in whole frames
    std::uint32_t Len = 0;         // data bytes of the block
    std::uint32_t Frames = 0;      // frames split, a cut-short last one counted
    std::uint32_t Whole = 0;       // whole frames: those decoded
    std::uint64_t FirstByte = 0;
    bool Begun = false;                // the decoder has it in flight
    std::vector<TInputFaults> Faults;  // per channel, set by its split

    void BeforeChannels(int first, int count) override;
  };
  static constexpr int kSlots = kMaxBlocksInHand;

  void AllocateBuffers();
  void ReleaseBuffers();
  // Reads the next block into slot; false at the end of the data.
  bool ReadBlock(TBlockSlot& slot, const TBlockSlot* previous);
  void WriteBlock(const TBlockSlot& slot);
  void BeginDecode(TBlockSlot& slot);
  // Finishes the decode of the block in hand and runs the event pass; the
  // decoder's frame count.
  std::int32_t FinishDecode();
  std::uint32_t Now() const;

  TWavFileIn Reader_;
  TWavFileOut Writer_;
  TZorvCalc Decoder_;
  TBlockPipeline Pipeline_{Decoder_};
  TEventPass EventPass_;
  TLevelText LevelText_;

  bool Running_ = false;
  bool AbortRequested_ = false;
  bool EofReached_ = false;
  TRunStatus Status_ = TRunStatus::Idle;
  std::uint32_t StartTime_ = 0;
  std::int32_t ElapsedTime_ = 0;
  std::uint32_t SampleRate_ = 0;
  std::uint32_t Channels_ = 0;
  std::int32_t FramesPerBlock_ = 0;
  std::uint32_t BytesPerFrame_ = 0;
  std::uint32_t FormatTag_ = 0;
  std::uint32_t DebugChannel_ = 0;
  std::int32_t ProcessedCount_ = 0;
  TFrameLayout Layout_;
  TFrameLayout OutLayout_;
  bool OutputFloat_ = false;
  TSampleStats Stats_;
  TInputFaults InputFaults_;
  bool CanonicalHeader_ = false;
  std::uint64_t MaxRiffSize_ = 0xFFFFFFFFu;
  std::shared_ptr<const TDecoderState> InitialState_;
  std::unique_ptr<TOutputLayout> Output_;
  std::unique_ptr<TMd5> Md5_;
  TContainer OutputContainer_ = TContainer::Riff;
  std::vector<std::string> Notes_;
  std::vector<TRunWarning> Warnings_;
  std::uint64_t DroppedBytes_ = 0;
  int BlocksInFlight_ = kMaxBlocksInHand;
  bool InputEnded_ = false;

  std::uint64_t DataBytes_ = 0;
  std::uint64_t DataBytesRead_ = 0;
  std::uint64_t BlockFirstByte_ = 0;

  std::array<TBlockSlot, kSlots> Slots_;
  TPageBuffer SlotBuffers_;  // every slot's samples and bytes read
  int Hand_ = 0;             // the slot of the block in hand
  bool BuffersAllocated_ = false;
};

}  // namespace zorv
