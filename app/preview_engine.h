// SPDX-License-Identifier: GPL-3.0-or-later
// What the window plays: the decode of an input from any frame on, block by
// block, as float samples for an audio output. It reads the input file
// itself and runs a decoder of its own (the one the file decode uses), so
// that what is heard at a level is, sample for sample, what a float decode
// at that level writes there.
//
// Playing from a frame first decodes the 30 s before it silently, so that
// the decoder's state has become the whole file's decode's (a decoder begun
// from its start-up state on the same input reaches the same state, bit for
// bit, within 5-11 s of programme and within 23 s of speech with pauses, in
// every case measured; in a long stretch of silence it may not, and the
// first seconds played may then differ slightly). From the start of the file
// nothing is skipped, and the samples are those of the whole file's decode. A level set while
// playing applies from the next block; blocks are short (20 ms) so that a
// change is heard at once. The A/B switch fades between the decoded signal
// and the input over 10 ms; the decoder keeps running under the input.
//
// Open, Start, Render, Save and Restore belong to one thread at a time (the
// one that renders ahead of the audio output); SetLevel and
// SetListenToInput may be called from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/block_pipeline.h"
#include "app/decode_run.h"
#include "app/sample_conversion.h"
#include "dsp/meter_listener.h"
#include "dsp/reference_level_range.h"
#include "dsp/zorv_calc.h"
#include "wav/chunk_list.h"
#include "wav/wav_file_in.h"

namespace zorv {

class TPreviewEngine {
 public:
  // Decoded silently before the play position.
  static constexpr double kSettleSeconds = 30.0;
  // The A/B crossfade.
  static constexpr double kCrossfadeSeconds = 0.010;
  // The length of a block.
  static constexpr std::uint32_t kBlockMilliseconds = 20;

  TPreviewEngine();
  TPreviewEngine(const TPreviewEngine&) = delete;
  TPreviewEngine& operator=(const TPreviewEngine&) = delete;

  // The arithmetic of the decodes after (the fastest until told).
  void SetArithmetic(TDecodePath path) { Decoder_.SetPath(path); }

  // Opens path and checks it as a decode would; a refusal when it cannot be
  // decoded. Closes an input open before.
  std::optional<TRefusal> Open(const std::string& path);
  void Close();
  bool IsOpen() const { return Open_; }

  std::uint32_t SampleRate() const { return SampleRate_; }
  std::uint32_t Channels() const { return Channels_; }
  // Whole frames of the input's data.
  std::uint64_t Frames() const { return Frames_; }
  std::uint32_t BlockFrames() const { return BlockFrames_; }
  std::uint32_t CrossfadeFrames() const { return FadeFrames_; }

  // Plays from frame (clamped to the end): the decoder starts from its
  // start-up state kSettleSeconds before it (or at the file's start) and
  // decodes up to it without a sound. False when the input could not be read,
  // or when cancel (may be null) became true meanwhile.
  bool Start(std::uint64_t frame, const std::atomic<bool>* cancel = nullptr);
  // The frame the next block begins at.
  std::uint64_t Position() const { return Position_; }
  bool AtEnd() const { return Position_ >= Frames_; }

  // The next block, Channels() samples a frame interleaved, into out (resized
  // to fit); its frames, 0 at the end of the input or when a read failed
  // (ReadFailed then says so).
  std::uint32_t Render(std::vector<float>& out);
  bool ReadFailed() const { return ReadFailed_; }
  // The system's reason of a failed read.
  const std::string& ReadFailureText() const { return Reader_.ReadFailureText(); }

  // From any thread: the level of the blocks rendered after this, of every
  // channel, or (SetLevels) of each channel (the tracks of a multitrack
  // tape; channels past the list's end at its last level).
  void SetLevel(double dB) { SetLevels({dB}); }
  void SetLevels(std::vector<double> dB);
  // Each channel's level asked for.
  std::vector<double> Levels() const;
  // From any thread: true fades to the input, false back to the decode.
  void SetListenToInput(bool input) { ListenInput_ = input; }
  bool ListensToInput() const { return ListenInput_; }
  // What the last block was rendered with: each channel's level.
  const std::vector<double>& RenderedLevels() const { return RenderedLevels_; }
  bool RenderedInput() const { return RenderedInput_; }

  // Where the engine stands between two blocks: rendering again from a mark
  // gives the same blocks as the first time, at the level and A/B setting
  // asked for then.
  struct TMark {
    std::uint64_t Position = 0;
    std::uint32_t Fade = 0;
    std::vector<TChannelDecoder::TState> Channels;
  };
  void Save(TMark& mark) const;
  void Restore(const TMark& mark);

  // The meter positions of every block rendered (not of the silent start),
  // on the thread of Render.
  void SetMeterListener(TMeterListener* listener) { Meters_ = listener; }

 private:
  // Reads frames from frame on into Bytes_ and splits them into In_; false
  // when the input did not give them.
  bool ReadFrames(std::uint64_t frame, std::uint32_t frames);
  // Decodes the frames read at the level requested.
  void Decode(std::uint32_t frames);

  TWavFileIn Reader_;
  TZorvCalc Decoder_;
  // The channels' jobs shared out as in the file decode.
  TBlockPipeline Pipeline_{Decoder_};
  TFrameLayout Layout_;
  TFrameLayout FloatLayout_;
  bool Open_ = false;
  std::uint32_t SampleRate_ = 0;
  std::uint32_t Channels_ = 0;
  std::uint64_t Frames_ = 0;
  std::uint32_t BlockFrames_ = 0;
  std::uint32_t FadeFrames_ = 1;
  std::optional<TChunkInfo> Data_;
  std::uint64_t Position_ = 0;
  bool ReadFailed_ = false;
  // Frames into the crossfade: 0 the decode alone, FadeFrames_ the input alone.
  std::uint32_t Fade_ = 0;
  mutable std::mutex LevelLock_;
  std::vector<double> RequestedLevels_{kDefaultLevelDb};
  std::atomic<bool> ListenInput_{false};
  std::vector<double> RenderedLevels_;
  bool RenderedInput_ = false;
  TMeterListener* Meters_ = nullptr;

  std::vector<std::uint8_t> Bytes_;
  std::vector<std::uint8_t> FloatBytes_;
  std::vector<double> Samples_;  // In_ and Out_ channel after channel
  std::vector<double*> In_;
  std::vector<double*> Out_;
};

}  // namespace zorv
