// SPDX-License-Identifier: GPL-3.0-or-later
// The reference levels that keep every band of every channel inside the
// range of its control voltage, found from one decode of the input.
//
// Why one decode suffices: dividing the input by a level L' instead of L
// scales every filter output by k = L / L'. A control voltage higher by
// 1.82 x log10(k) V divides the gain factor by k^0.5, so the rectifier's
// input s x g^2 is the same, and with it every charging step: the voltage
// stays shifted by that much, and the decoded output is the one at L times
// k^-0.5 (a gain of half the level's change in dB). That holds as long as no
// voltage meets a limit (-5.824 V, the floor; +1.82 V, the ceiling). The
// analysis therefore decodes once at kAnalysisLevelDb with the limits moved
// far out, keeps the lowest and the highest voltage of every band and a
// histogram of them, and shifts these for every candidate level.
//
// Counted as the decode counts (TLimitCounter): at the meter points of
// blocks of the run's length, after the first second and outside digital
// silence. The bands start from the decoder's power-on state, which the
// first second's settle leaves behind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dsp/channel_decoder.h"
#include "dsp/decode_path.h"
#include "wav/wav_file_in.h"

namespace zorv {

// The reference levels looked at: -30.0 .. 0.0 dB in steps of 0.1 dB.
inline constexpr int kLowestLevelTenths = -300;
inline constexpr int kHighestLevelTenths = 0;

struct TLevelRange {
  // Meter points were counted (the input lasts longer than the first second
  // and is not all digital silence).
  bool Analysed = false;
  // Levels from LowestDb to HighestDb keep every band inside its range.
  bool Found = false;
  double LowestDb = 0.0;
  double HighestDb = 0.0;
  // Otherwise: the level with the least time at a limit, and that time,
  // summed over channels and bands, with the part at the ceiling.
  double BestDb = 0.0;
  double BestSeconds = 0.0;
  double BestCeilingSeconds = 0.0;
  // Not empty when the input could not be read (or the file was cut shorter
  // while it was): the program's message with the path, and nothing above
  // holds.
  std::string Error;
};

// The control voltage a level adds to the one at the analysis level:
// 1.82 x log10(analysis level / level), both as the decoder holds them.
double VoltageShift(double fromDb, double toDb);

class TLevelAnalysis {
 public:
  static constexpr double kAnalysisLevelDb = -15.0;
  // How far the limits lie inside the voltages allowed: an end of the range
  // keeps this distance from a limit (a decode's arithmetic path and the
  // first second's settle may differ by a trace).
  static constexpr double kMarginVolts = 1e-4;

  // Channels at sampleRate, decoded in blocks of framesPerBlock (the run's
  // block length, which sets the meter points).
  TLevelAnalysis(std::uint32_t channels, std::uint32_t sampleRate, std::uint32_t framesPerBlock);

  // The next block, at most framesPerBlock frames of every channel.
  void AddBlock(const double* const* in, std::uint32_t frames);

  TLevelRange Range() const;
  // Time (seconds, summed over channels and bands) at a limit when decoded
  // at a level, by the histogram: at the floor and at the ceiling.
  double FloorSeconds(double levelDb) const;
  double CeilingSeconds(double levelDb) const;

 private:
  struct TBand {
    double Lowest = 0.0;
    double Highest = 0.0;
    std::vector<std::uint64_t> Frames;  // per voltage bin
  };
  std::size_t BinOf(double volts) const;

  std::uint32_t Channels_;
  std::uint32_t SampleRate_;
  std::uint32_t FramesPerBlock_;
  std::uint64_t Frame_ = 0;
  std::uint64_t Counted_ = 0;
  TDecodePath Path_;
  std::vector<TChannelDecoder> Decoders_;
  std::vector<TMeterVolts> Meters_;
  std::vector<double> Out_;
  std::vector<TBand> Bands_;  // per channel and band
};

// Reads the whole input (reader: Filename set, or a memory image opened; it
// is read from its header on and closed); Error set when it cannot be read.
// A stop request (IoStopRequested) ends the pass early.
TLevelRange AnalyseLevelRange(TWavFileIn& reader);
TLevelRange AnalyseLevelRange(const std::string& path);

// "levels -19.4 .. -8.1 dB keep every band inside its range", or what keeps
// most inside; with a tone's level, whether it lies inside the range.
std::string DescribeLevelRange(const TLevelRange& range, std::optional<double> toneLevelDb,
                               char decimalPoint = '.');

}  // namespace zorv
