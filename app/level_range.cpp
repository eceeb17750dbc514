// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/level_range.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/audio_files.h"
#include "app/format_check.h"
#include "app/limit_counter.h"
#include "app/sample_conversion.h"
#include "dsp/fast/kernel_for.h"
#include "dsp/reference_level_range.h"
#include "dsp/start_constants.h"
#include "dsp/start_values.h"
#include "dsp/zorv_calc.h"
#include "wav/io_stop.h"

namespace zorv {
namespace {

using detector::kVoltageMax;
using detector::kVoltageMin;

// The analysis decode's limits: a decade of gain beyond the real ones, more
// than the level range can shift a voltage (30 dB of level: 2.73 V).
constexpr double kWideMin = kVoltageMin - 3.64;
constexpr double kWideMax = kVoltageMax + 3.64;
// Histogram bins, volts wide.
constexpr double kBinVolts = 0.001;
constexpr auto kBins = static_cast<std::size_t>((kWideMax - kWideMin) / kBinVolts) + 1;

// The reference level as the decoder holds it.
double LevelFactor(double dB) {
  return TZorvCalc::LevelFactorOf(dB);
}

std::string Tenths(double value, char decimalPoint) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", std::round(value * 10.0) / 10.0 + 0.0);
  std::string result = text;
  std::replace(result.begin(), result.end(), '.', decimalPoint);
  return result;
}

double TenthsToDb(int tenths) {
  return tenths / 10.0;
}

}  // namespace

static_assert(TLevelAnalysis::kAnalysisLevelDb == start::kShiftFromTenths / 10.0,
              "the table of shifts is from the analysis level");

double VoltageShift(double fromDb, double toDb) {
  // Half the level's change in gain: 3.64 / 2 V per decade of level. From
  // the analysis level to a level on the grid, every build reads the
  // extended computation's value from the table.
  const double toTenths = std::round(toDb * 10.0);
  if (fromDb == TLevelAnalysis::kAnalysisLevelDb && toTenths / 10.0 == toDb &&
      toTenths >= kMinLevelTenths && toTenths <= kMaxLevelTenths) {
    return start_values::LevelShift(static_cast<int>(toTenths));
  }
  return start_values::ReferenceVoltageShift(LevelFactor(fromDb), LevelFactor(toDb));
}

TLevelAnalysis::TLevelAnalysis(std::uint32_t channels, std::uint32_t sampleRate,
                               std::uint32_t framesPerBlock)
    : Channels_(channels),
      SampleRate_(sampleRate),
      FramesPerBlock_(std::clamp<std::uint32_t>(framesPerBlock, 1, kBlockCapacity)),
      Path_(FastestPath()),
      Decoders_(channels),
      Meters_(channels),
      Out_(kBlockCapacity) {
  for (TChannelDecoder& decoder : Decoders_) {
    decoder.Setup(sampleRate);
    for (TControlSignalGenerator& generator : decoder.Generator) {
      generator.VoltageMin = kWideMin;
      generator.VoltageMax = kWideMax;
    }
  }
  TBand band;
  band.Lowest = HUGE_VAL;
  band.Highest = -HUGE_VAL;
  band.Frames.assign(kBins, 0);
  Bands_.assign(static_cast<std::size_t>(channels) * detector::kBands, band);
}

std::size_t TLevelAnalysis::BinOf(double volts) const {
  const double bin = std::floor((volts - kWideMin) / kBinVolts);
  return static_cast<std::size_t>(std::clamp(bin, 0.0, static_cast<double>(kBins - 1)));
}

void TLevelAnalysis::AddBlock(const double* const* in, std::uint32_t frames) {
  frames = std::min(frames, FramesPerBlock_);
  if (frames == 0) return;
  const double level = LevelFactor(kAnalysisLevelDb);
  for (std::uint32_t c = 0; c < Channels_; ++c) {
    TChannelDecoder& decoder = Decoders_[c];
    decoder.PackLanes();
    fast::TLaneBlock block{};
    block.Channels = 1;
    block.State[0] = &decoder.Lanes;
    block.In[0] = in[c];
    block.Out[0] = Out_.data();
    block.MeterVolts[0] = Meters_[c].At;
    block.DebugVolts = nullptr;
    block.Level[0] = level;
    block.Count = frames;
    fast::KernelFor(Path_)(block);
    decoder.UnpackLanes();

    constexpr std::uint32_t interval = detector::kMeterInterval;
    for (std::uint32_t offset = 0, p = 0; offset < frames; offset += interval, ++p) {
      if (Frame_ + offset < TLimitCounter::SettleFrames(SampleRate_)) continue;
      const std::uint32_t span = std::min(interval, frames - offset);
      const double* x = in[c] + offset;
      if (std::all_of(x, x + span, [](double sample) { return sample == 0.0; })) continue;
      if (c == 0) Counted_ += span;
      for (int b = 0; b < detector::kBands; ++b) {
        TBand& band = Bands_[c * detector::kBands + static_cast<std::size_t>(b)];
        const double volts = Meters_[c].At[p][b];
        band.Lowest = std::min(band.Lowest, volts);
        band.Highest = std::max(band.Highest, volts);
        band.Frames[BinOf(volts)] += span;
      }
    }
  }
  Frame_ += frames;
}

double TLevelAnalysis::FloorSeconds(double levelDb) const {
  const double limit = kFloorVolts - VoltageShift(kAnalysisLevelDb, levelDb);
  std::uint64_t frames = 0;
  for (const TBand& band : Bands_) {
    for (std::size_t k = 0; k < kBins && kWideMin + (k + 0.5) * kBinVolts <= limit; ++k) {
      frames += band.Frames[k];
    }
  }
  return static_cast<double>(frames) / SampleRate_;
}

double TLevelAnalysis::CeilingSeconds(double levelDb) const {
  const double limit = kCeilingVolts - VoltageShift(kAnalysisLevelDb, levelDb);
  std::uint64_t frames = 0;
  for (const TBand& band : Bands_) {
    for (std::size_t k = kBins; k > 0 && kWideMin + (k - 0.5) * kBinVolts >= limit; --k) {
      frames += band.Frames[k - 1];
    }
  }
  return static_cast<double>(frames) / SampleRate_;
}

TLevelRange TLevelAnalysis::Range() const {
  TLevelRange range;
  range.Analysed = std::any_of(Bands_.begin(), Bands_.end(),
                               [](const TBand& band) { return band.Lowest <= band.Highest; });
  if (!range.Analysed) return range;
  const auto inside = [this](int tenths) {
    const double shift = VoltageShift(kAnalysisLevelDb, TenthsToDb(tenths));
    return std::all_of(Bands_.begin(), Bands_.end(), [&](const TBand& band) {
      return band.Lowest > band.Highest ||  // nothing counted in it
             (band.Lowest + shift > kFloorVolts + kMarginVolts &&
              band.Highest + shift < kCeilingVolts - kMarginVolts);
    });
  };
  // A higher level lowers every voltage: the levels inside form one stretch.
  for (int t = kLowestLevelTenths; t <= kHighestLevelTenths; ++t) {
    if (!inside(t)) continue;
    int last = t;
    while (last < kHighestLevelTenths && inside(last + 1)) ++last;
    range.Found = true;
    range.LowestDb = TenthsToDb(t);
    range.HighestDb = TenthsToDb(last);
    return range;
  }
  double least = HUGE_VAL;
  for (int t = kLowestLevelTenths; t <= kHighestLevelTenths; ++t) {
    const double ceiling = CeilingSeconds(TenthsToDb(t));
    const double seconds = FloorSeconds(TenthsToDb(t)) + ceiling;
    if (seconds < least) {
      least = seconds;
      range.BestDb = TenthsToDb(t);
      range.BestSeconds = seconds;
      range.BestCeilingSeconds = ceiling;
    }
  }
  return range;
}

namespace {

// The range of an input whose header was read and checked.
TLevelRange AnalyseDecodable(TWavFileIn& reader) {
  TLevelRange unreadable;
  const std::uint32_t channels = reader.Channels();
  const std::uint32_t frameBytes = reader.BlockAlign();
  const TFrameLayout layout = FrameLayoutOf(frameBytes, channels, reader.FormatTag());
  const std::uint32_t blockFrames = reader.BlockFrames();
  TLevelAnalysis analysis(channels, reader.SampleRate(), blockFrames);
  std::vector<std::vector<double>> block(channels, std::vector<double>(blockFrames));
  std::vector<double*> in;
  for (std::vector<double>& samples : block) in.push_back(samples.data());
  while (!IoStopRequested()) {
    const std::uint32_t bytes = reader.ReadBuffer();
    const std::uint32_t frames = frameBytes == 0 ? 0 : bytes / frameBytes;
    if (frames == 0) break;
    SplitBlock(reader.Buffer(), frames * frameBytes, layout, in.data());
    analysis.AddBlock(in.data(), std::min(frames, blockFrames));
  }
  reader.CloseFile();
  // Never a range from part of the file.
  if (const std::string refusal = ReadFailureRefusal(reader); !refusal.empty()) {
    unreadable.Error = refusal + reader.Filename;
    return unreadable;
  }
  return analysis.Range();
}

TLevelRange Unreadable(const TRefusal& refusal) {
  TLevelRange unreadable;
  unreadable.Error = refusal.Line();
  return unreadable;
}

}  // namespace

TLevelRange AnalyseLevelRange(TWavFileIn& reader) {
  if (auto refusal = CheckDecodable(reader, reader.Filename)) return Unreadable(*refusal);
  return AnalyseDecodable(reader);
}

TLevelRange AnalyseLevelRange(const std::string& path) {
  TWavFileIn reader;
  if (auto refusal = OpenDecodableInput(reader, path)) return Unreadable(*refusal);
  return AnalyseDecodable(reader);
}

std::string DescribeLevelRange(const TLevelRange& range, std::optional<double> toneLevelDb,
                               char decimalPoint) {
  const auto dB = [decimalPoint](double value) { return Tenths(value, decimalPoint) + " dB"; };
  if (!range.Analysed) {
    return "no level range: the input holds no sound after its first second";
  }
  if (range.Found) {
    std::string text = "levels " + Tenths(range.LowestDb, decimalPoint) + " .. " +
                       dB(range.HighestDb) + " keep every band inside its range";
    if (toneLevelDb) {
      const bool inside =
          *toneLevelDb >= range.LowestDb - 1e-9 && *toneLevelDb <= range.HighestDb + 1e-9;
      text += std::string("; the tone's level ") + dB(*toneLevelDb) +
              (inside ? " lies inside it" : " lies outside it");
    }
    return text;
  }
  std::string text = "no level keeps every band inside its range; " + dB(range.BestDb) +
                     " leaves the least at a limit: " + Tenths(range.BestSeconds, decimalPoint) +
                     " s summed over the bands (" + Tenths(range.BestCeilingSeconds, decimalPoint) +
                     " s of it at the ceiling)";
  if (toneLevelDb) text += "; the tone's level is " + dB(*toneLevelDb);
  return text;
}

}  // namespace zorv
