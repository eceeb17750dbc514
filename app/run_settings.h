// SPDX-License-Identifier: GPL-3.0-or-later
// What a decode run is told before it begins, as one value.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "dsp/channel_decoder.h"
#include "dsp/decode_path.h"

namespace zorv {

class TWorkerPool;

// The most blocks a run holds at once (TRunSettings::BlocksInHand).
constexpr int kMaxBlocksInHand = 5;

// Where the channels of a decoder stood at the end of a run: a run that
// continues a tape (the next part of a reel transferred as several files)
// begins from there instead of from the start-up state.
struct TDecoderState {
  std::vector<TChannelDecoder::TState> Channels;
};

struct TRunSettings {
  // Reference level, dB: a tone of this level settles near 0 dB of band gain.
  double LevelDb = -10.0;
  // Each channel's own level (the tracks of a multitrack tape), channel by
  // channel from channel 1; channels past its end take LevelDb. Empty: every
  // channel at LevelDb. A level asked for during the run moves each channel
  // by the amount it moves LevelDb.
  std::vector<double> ChannelLevelsDb;
  // The extended-precision reference arithmetic instead of the fastest path
  // of the processor.
  bool Exact = false;
  // The path of the decoder otherwise (tests and benchmarks force one);
  // none: the fastest this processor runs.
  std::optional<TDecodePath> Arithmetic;
  // 0 none, 1..4: channel 2 of the output carries channel 1's control
  // voltage of band A..D (stereo inputs only).
  std::uint32_t DebugBand = 0;
  // 32-bit float output whatever the input's format (nothing clips).
  bool Float = false;
  // The canonical 44-byte header only, none of the input's other chunks.
  bool CanonicalHeader = false;
  // An existing output is replaced (by the complete new one).
  bool ReplaceOutput = false;
  // An existing NAME.partial.wav is replaced by what an interrupted run
  // decoded; otherwise it is another's and stays, and the run's part takes
  // the first free name of NAME.partial-2.wav, NAME.partial-3.wav, ...
  bool ReplacePartial = false;
  // The largest RIFF size written as plain RIFF (tests make it small).
  std::uint64_t MaxRiffSize = 0xFFFFFFFFu;
  // The MD5 of the input's and the output's audio data in the result (for a
  // report). Off, the run spends nothing on them: a tenth of the CPU time of
  // a decode of many channels.
  bool Digests = true;
  // Worker threads shared with other runs; null: threads of the run's own
  // (one per core, the run's thread among them) when ChannelThreads is on,
  // else none: the whole decode on the run's thread.
  TWorkerPool* Pool = nullptr;
  bool ChannelThreads = true;
  // A block decoded in two stages on a pool that serves this run alone
  // (TBlockPipeline::SetStageSplit): the same output; off for benchmarks.
  bool StageSplit = true;
  // Blocks in hand at once, 1 .. kMaxBlocksInHand: 1 reads, decodes and
  // writes each block in turn; 2 reads the next block while one decodes; 3
  // also writes the previous one meanwhile; 4 also begins the next block's
  // decode (on a pool) before the one in hand is finished; 5 reads and
  // begins three blocks ahead and waits for two at a time. The output, the
  // meters, the progress and the decoder's state after the run are the same
  // in every case; fewer blocks only overlap less.
  int BlocksInHand = kMaxBlocksInHand;
  // With a pool: the pool and the run's own thread are tried against each
  // other (TPoolChoice) over trials of this many blocks, without a least
  // time and without warm-up blocks, so the blocks change ways as often as
  // they can; 0: the usual trials. The output is the same either way.
  int PoolTrialBlocks = 0;
  // Null: every run begins from the decoder's start-up state. Otherwise the
  // channels begin where a previous run left them (channels it did not have
  // begin from the start-up state).
  std::shared_ptr<const TDecoderState> ContinueFrom;
  // A file (not a stream) is decoded in segments along time as well as by
  // channel: each segment's chain begins from the start-up state and its
  // output is taken from the first block end where its whole state equals
  // the chain before it. The output is the same either way; off, every
  // channel is one chain from its first frame to its last. Off unless the
  // front end turns it on (zorv-decode and the window do, unless
  // ZORV_TIME_SPLIT=0; the web page, whose memory is bounded, does not).
  bool TimeSplit = false;
  // The length of a segment in frames (tests make it short, and need not
  // end on a block) and segments decoded at once per channel; 0: chosen
  // from the file's length, its channels and the cores. A length given
  // splits any file, also one too short to gain from it. Segments given run
  // on as many decoders side by side, one segment each; chosen, they run
  // on one decoder per core.
  std::uint64_t TimeSplitFrames = 0;
  int TimeSplitSegments = 0;
};

}  // namespace zorv
