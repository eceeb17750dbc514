// The decoder core: splits each channel into bands A..D, expands every band by
// its control-signal generator's gain, sums the bands. Blocks of doubles in,
// blocks of doubles out (full scale +-1.0, not clipped).
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/control_signal_generator.h"
#include "dsp/decode_path.h"
#include "dsp/fast/lane_state.h"
#include "dsp/filter_section.h"
#include "dsp/meter_listener.h"
#include "dsp/split_coefficients.h"

namespace zorv {

class TChannelWorker;

inline constexpr int kBands = 4;
inline constexpr int kMaxChannels = 2;

// Meter position in tenths of a dB for a control voltage: the gain
// 20 x V / 3.64 dB, with the quotient formed and truncated in extended precision.
std::int32_t MeterPositionOf(double voltage);

class TZorvCalc {
 public:
  // Frames of the largest block (100 ms at 96 kHz); the size of every buffer.
  static constexpr std::uint32_t BlockCapacity = 9600;
  // Meters are written at every this many frames of a block.
  static constexpr std::uint32_t kMeterInterval = 100;
  // Control voltage that is full scale in the debug output, volts.
  static constexpr Extended kDebugFullScale = 6.5536L;

  TZorvCalc();
  ~TZorvCalc();
  TZorvCalc(const TZorvCalc&) = delete;
  TZorvCalc& operator=(const TZorvCalc&) = delete;

  // Once per run: rate, channel count (1 or 2), debug selection (0 none, 1..4
  // = band A..D of channel 1 into the channel-2 output). Filter and detector
  // states carry over from the previous run.
  void Prepare(std::uint32_t sampleRate, std::uint32_t channels, std::uint32_t debugChannel);

  // Decodes count frames; inR and outR may be null. Returns count, or 0 when
  // nothing was done (not prepared, count 0 or above BlockCapacity, inL or
  // outL missing).
  std::int32_t ProcessBlock(const double* inL, const double* inR, double* outL, double* outR,
                            std::uint32_t count);

  // Reference level in dB: a tone of this level in a band settles near 0 dB
  // of band gain.
  void SetLevel(double dB);
  double Level() const { return Level_; }

  void SetMeterListener(TMeterListener* listener) { Meters_ = listener; }

  // The arithmetic of the following blocks: the extended-precision reference
  // (the default) or a faster plain-double path. The state carries over, so
  // the path may change between any two blocks. A path the processor cannot
  // run falls back to the portable one.
  void SetPath(TDecodePath path);
  TDecodePath Path() const { return Path_; }

  // Decodes the second channel of a stereo block on a thread of its own
  // while the calling thread decodes the first. The results, the meter
  // positions and their order stay the same; the meters are handed over on
  // the calling thread after the block.
  void SetChannelThreads(bool on);
  bool ChannelThreads() const { return Worker_ != nullptr; }

  std::uint32_t Channels() const { return Channels_; }
  std::uint32_t SampleRate() const { return SampleRate_; }
  std::uint32_t DebugChannel() const { return DebugChannel_; }
  std::uint32_t FeedbackLaw() const { return FeedbackLaw_; }
  const TControlSignalGenerator& Generator(int channel, int band) const {
    return Generator_[channel][band];
  }
  const TFilterSection& SplitFilter(int channel, int section) const {
    return SplitFilter_[channel][section];
  }
  bool BuffersAllocated() const { return WorkBuffer_[0] != nullptr; }

 private:
  using Buffer = std::unique_ptr<double[]>;

  // One channel in the reference arithmetic. The meter positions go to the
  // listener at once, or, given meterVolts, the voltages are kept there.
  void ProcessChannel(int channel, const double* in, double* out, double* debugOut,
                      std::uint32_t count, double (*meterVolts)[fast::kMaxLanes] = nullptr);
  // Hands the voltages kept at the meter points of a block to the listener:
  // channel c's in MeterVolts_[c] (lanes 0..3), or with sharedTable all in
  // MeterVolts_[0] (lanes 4c..4c+3).
  void EmitMeters(int channels, bool sharedTable, std::uint32_t count);
  // The same block on lanes of plain doubles.
  void ProcessLanes(const double* inL, const double* inR, double* outL, double* outR,
                    std::uint32_t count);
  // Copies the state of the channels from firstChannel on into (and back
  // out of) the lane layout, four lanes (bands A..D) per channel.
  void PackLanes(fast::TLaneState& st, int firstChannel, int lanes);
  void UnpackLanes(const fast::TLaneState& st, int firstChannel, int lanes);
  void ReleaseBuffers();

  std::uint32_t Channels_ = 0;
  std::uint32_t SampleRate_ = 0;
  std::uint32_t FeedbackLaw_ = 0;
  std::uint32_t DebugChannel_ = 0;
  double Level_ = 0;
  // Per channel: the normalised input, then the band sum.
  Buffer WorkBuffer_[kMaxChannels];
  // Per channel and band: the band signal, then the expanded band signal.
  Buffer BandBuffer_[kMaxChannels][kBands];
  // Per channel and band: the generator's gain factor per frame.
  Buffer GainBuffer_[kMaxChannels][kBands];
  TFilterSection SplitFilter_[kMaxChannels][kSplitSections];
  TControlSignalGenerator Generator_[kMaxChannels][kBands];
  TMeterListener* Meters_ = nullptr;
  TDecodePath Path_ = TDecodePath::Extended;
  // The lane layout of the state for the fast paths (one per channel when
  // the channels run on two threads), and the control voltages at the meter
  // points of a block, per channel.
  std::unique_ptr<fast::TLaneState[]> Lanes_;
  std::unique_ptr<double[][fast::kMaxLanes]> MeterVolts_[kMaxChannels];
  std::unique_ptr<TChannelWorker> Worker_;
};

}  // namespace zorv
