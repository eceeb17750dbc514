// SPDX-License-Identifier: GPL-3.0-or-later
// One decode of one input into one output, the same for every front end:
// settings in, the input's bytes and the output's sink taken (or a refusal
// with its reason), the blocks decoded, and a result out. The run opens no
// file by name: where the bytes come from and where they go is the front
// end's (app/file_target.h for files; memory or the front end's own streams
// otherwise). The output is complete when the run is Done, a complete file
// of what was decoded when it was stopped (Aborted), and of no use else.
//
// Run() steps the blocks on the calling thread; RequestLevel and
// RequestStop may be called from any other thread meanwhile and take effect
// between two blocks.
//
// When the decoder has a worker pool, the file work overlaps the decoding:
// while block k decodes, blocks k + 1 to k + 3 are read and begun (each is
// split and decoded once the workers are through with the one before) and
// block k - 1 is merged and written. Five blocks are in hand at most,
// whatever the input's length (TRunSettings::BlocksInHand).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/audio_files.h"
#include "app/block_pipeline.h"
#include "app/block_work.h"
#include "app/channel_levels.h"
#include "app/input_faults.h"
#include "app/limit_counter.h"
#include "app/output_shape.h"
#include "app/run_settings.h"
#include "app/run_status.h"
#include "app/run_warning.h"
#include "app/sample_conversion.h"
#include "dsp/page_buffer.h"
#include "dsp/zorv_calc.h"
#include "wav/byte_sink.h"
#include "wav/byte_source.h"
#include "wav/flac_source.h"
#include "wav/md5.h"
#include "wav/output_layout.h"
#include "wav/wav_file_in.h"
#include "wav/wav_file_out.h"

namespace zorv {

struct TRunResult {
  TRunStatus Status = TRunStatus::Idle;
  // The system's reason of a read or write failure.
  std::string Reason;
  std::uint64_t Frames = 0;            // decoded and written
  std::uint64_t DataBytes = 0;         // the input's declared data (0: a stream to its end)
  std::uint64_t DeliverableBytes = 0;  // what the input holds of it
  std::uint32_t SampleRate = 0;
  std::uint32_t Channels = 0;
  std::uint32_t FrameBytes = 0;  // of the input
  TSampleStats Stats;
  // Input samples that were not numbers, infinite or above +60 dBFS.
  TInputFaults InputFaults;
  std::vector<TLevelChange> Levels;
  // What was left out or changed besides decoding (a partial frame, a chunk
  // that ran past the end, samples that were not numbers), one each.
  std::vector<TRunWarning> Warnings;
  // Of a complete decode, about the output as a whole: samples clipped, an
  // input file shorter than its header says.
  std::vector<TRunWarning> OutputWarnings;
  // The arithmetic the decoder used.
  TDecodePath Arithmetic = TDecodePath::Extended;
  std::int32_t ElapsedMs = 0;
  TContainer Container = TContainer::Riff;
  // Of the output's audio data, of a complete or stopped run that computes
  // digests (and, once the output is kept, only when it was).
  std::optional<std::string> Md5;
  // Of the input's audio data as it was read (the data chunk's bytes, all
  // of what the input held of them when it was read to its end).
  std::string InputMd5;
  // The file that holds the result: the output, or the partial file of an
  // interrupted decode; none when nothing was kept (or for a stream). Set
  // by the file target (app/file_target.h).
  std::optional<std::string> Kept;
  // The output holds the part decoded before a stop.
  bool Partial = false;
  // The system's error when the complete (or partial) output could not take
  // its name: nothing was kept then. EEXIST: a file of that name appeared
  // meanwhile and was left alone.
  int CommitErrno = 0;
  // Where the decoder's channels ended: a next run may go on from there.
  std::shared_ptr<const TDecoderState> EndState;
  // Of a decode split along time: the segments begun (0: not split), the
  // seconds each joined segment took to agree with the chain before it,
  // and the seconds decoded twice (by a segment's chain before it joined,
  // and by chains whose work was not used).
  struct TTimeSplit {
    int Segments = 0;
    std::vector<double> JoinedAfter;
    int NotJoined = 0;
    double RedoneSeconds = 0.0;
  } TimeSplit;
};

class TDecodeRun {
 public:
  explicit TDecodeRun(const TRunSettings& settings);
  ~TDecodeRun();
  TDecodeRun(const TDecodeRun&) = delete;
  TDecodeRun& operator=(const TDecodeRun&) = delete;

  // Takes the input's bytes, named name (a WAV file; a FLAC file through its
  // source, wav/flac_source.h, whose findings become warnings), and checks
  // its header and format: a refusal when it cannot be decoded. A source
  // that cannot seek is a stream, whose length is what it delivers.
  std::optional<TRefusal> OpenInput(std::unique_ptr<TByteSource> source, const std::string& name);
  // Takes the sink of the output, named name. A FLAC sink (wav/flac_sink.h)
  // makes a FLAC output: refused when the input's cannot be one (FlacRefusal);
  // any other sink gets a WAV file, a sink that cannot seek a WAV stream.
  std::optional<TRefusal> OpenOutput(std::unique_ptr<TByteSink> sink, const std::string& name);
  // Why the output of the open input cannot be written as FLAC with these
  // settings; none when it can.
  std::optional<TRefusal> FlacRefusal(const std::string& name) const;

  const TWavFileIn& Input() const { return Reader_; }
  const TRunSettings& Settings() const { return Settings_; }
  // The level to begin with, when it is known only once the input is open
  // (measured from its reference tone): every channel's, or each channel's.
  void SetLevel(double dB) {
    Settings_.LevelDb = dB;
    Settings_.ChannelLevelsDb.clear();
  }
  void SetChannelLevels(std::vector<double> levelsDb) {
    Settings_.ChannelLevelsDb = std::move(levelsDb);
  }
  // Where the channels begin, when that is known only once the input is
  // open (the part before was of the same format): see TRunSettings.
  void SetContinueFrom(std::shared_ptr<const TDecoderState> state) {
    Settings_.ContinueFrom = std::move(state);
  }

  // Receives the meter positions, on the thread of Run.
  void SetMeterListener(TMeterListener* listener) {
    MeterListener_ = listener;
    Pipeline_.SetMeterListener(listener);
  }
  // Called after every block on the thread of Run with the input's data
  // bytes read so far, the block in hand included (progress, meters).
  using TBlockCallback = std::function<void(std::uint64_t dataBytesRead)>;
  void SetBlockCallback(TBlockCallback callback) { BlockCallback_ = std::move(callback); }
  // The block in hand while the decoder hands over its meter points (on the
  // thread of Run, from a meter listener): its first frame, its frames of
  // data (not what a short last block holds behind them) and the input
  // samples of channel. Also the data bytes read up to its end.
  TLimitCounter::TBlockInHand BlockInHand(int channel) const;
  std::uint64_t DataBytesRead() const { return DataBytesRead_; }
  // From any thread: the level of the blocks after the one in hand. With a
  // level per channel, every channel moves by the change of the settings'
  // LevelDb (kept inside the level range).
  void RequestLevel(double dB);
  // From any thread: the run ends after the block in hand, its output a
  // complete file of what was decoded (kept under the partial name by the
  // file target).
  void RequestStop() { Stop_ = true; }
  // Also stops when this flag is set (the command line's signal flag).
  void SetStopFlag(const std::atomic<bool>* stop) { ExternalStop_ = stop; }

  // Decodes everything (or until stopped) and closes the output: the
  // result says how the run ended (Done, Aborted, an error). What becomes of
  // the output is the front end's (TFileTarget::Commit for a file).
  TRunResult Run();

  // The names the input and the output were given.
  const std::string& InputName() const { return InputName_; }
  const std::string& OutputName() const { return OutputName_; }
  bool InputIsStream() const { return InputStream_; }
  bool OutputIsStream() const { return OutputStream_; }

 private:
  // One block's bytes and its working buffers. The bytes read are split
  // into the input buffers by the threads that decode the block (its work):
  // the bytes pass from the run's thread to theirs, not the three times
  // larger doubles.
  struct TBlockSlot final : TBlockWork {
    const TDecodeRun* Run = nullptr;
    std::vector<double*> In;       // per channel of the input
    std::vector<double*> Out;      // per channel
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

  // A debug output needs a stereo input.
  std::optional<TRefusal> CheckSettings(const std::string& name);
  bool Stopping() const;
  // Between two blocks, on the run's thread: the block callback, then the
  // level asked for meanwhile (from the next block on), then a stop.
  void BetweenBlocks();

  // The settings that shape the output, and the CodingHistory line for
  // them and the levels of the frames decoded so far.
  TOutputShape OutputShape() const;
  std::string CodingHistoryLine() const;
  // The output's frame layout (the input's, or float), with the reader's
  // interval shortened until a block fits the buffers and the decoder.
  void ChooseOutputLayout();
  void BeginOutput();
  // The final header of what the output took, and the run's warnings.
  void CompleteOutput();

  // Decodes the open input into the open output, block by block, and
  // closes both; how the run ended.
  TRunStatus DecodeBlocks();
  // The same for a file decoded in segments along time (decode_run_split.cpp):
  // whether it is, and its block loop, which ends as DecodeBlocks' does.
  bool SplitsInTime() const;
  bool DecodeSplitBlocks(bool& stalled);
  void AllocateBuffers();
  void ReleaseBuffers();
  // Reads the next block into slot; false at the end of the data.
  bool ReadBlock(TBlockSlot& slot, const TBlockSlot* previous);
  void WriteBlock(const TBlockSlot& slot);
  std::uint64_t FramesRead() const;
  // Frame index, from the start of the data, of the block in hand.
  std::uint64_t BlockFirstFrame() const;
  // The state of every channel of the decoder now.
  std::shared_ptr<const TDecoderState> CaptureState() const;

  TRunSettings Settings_;
  TWavFileIn Reader_;
  TWavFileOut Writer_;
  TZorvCalc Decoder_;
  TBlockPipeline Pipeline_{Decoder_};
  // What the FLAC source of a FLAC input found (its checksum's verdict).
  std::shared_ptr<const TFlacFindings> Flac_;
  std::string InputName_;
  std::string OutputName_;
  bool InputStream_ = false;
  bool OutputStream_ = false;
  bool OutputOpen_ = false;
  // Made only for a run that reports digests: setting up the digest library
  // is a noticeable share of a short run.
  std::optional<TMd5> Md5_;
  std::optional<TMd5> InputMd5_;
  TBlockCallback BlockCallback_;
  TMeterListener* MeterListener_ = nullptr;
  // The input of the block in hand of a decode split along time, per channel.
  std::vector<const double*> SplitInHand_;
  TRunResult::TTimeSplit SplitReport_;
  std::atomic<bool> Stop_{false};
  const std::atomic<bool>* ExternalStop_ = nullptr;
  // A stop seen between two blocks: the run ends after the block in hand.
  bool Stopped_ = false;
  std::mutex LevelLock_;
  std::optional<double> RequestedLevel_;
  // The level that channels' offsets are measured from (LevelDb, then the
  // last one requested).
  double BaseLevelDb_ = 0.0;
  std::vector<TLevelChange> Levels_;

  // The block loop's state.
  std::uint32_t Channels_ = 0;
  std::uint32_t SampleRate_ = 0;
  std::uint32_t BytesPerFrame_ = 0;
  std::int32_t FramesPerBlock_ = 0;
  TFrameLayout Layout_;
  TFrameLayout OutLayout_;
  bool EofReached_ = false;  // the reader's end of data
  bool InputEnded_ = false;
  std::uint64_t DataBytesRead_ = 0;
  std::uint64_t BlockFirstByte_ = 0;
  std::uint64_t DroppedBytes_ = 0;
  TSampleStats Stats_;
  TInputFaults InputFaults_;
  std::int32_t ElapsedMs_ = 0;
  // The output's layout and the digest of its data a chunk states, from
  // its head to its tail.
  std::unique_ptr<TOutputLayout> Output_;
  std::unique_ptr<TMd5> OutputMd5_;
  TContainer OutputContainer_ = TContainer::Riff;
  std::vector<TRunWarning> Warnings_;

  std::array<TBlockSlot, kSlots> Slots_;
  TPageBuffer SlotBuffers_;  // every slot's samples and bytes read
  int Hand_ = 0;             // the slot of the block in hand
  bool BuffersAllocated_ = false;
};

}  // namespace zorv
