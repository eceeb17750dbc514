// SPDX-License-Identifier: GPL-3.0-or-later
// The reference arithmetic pinned down: for a handful of short generated
// signals, a hash of every decoded double and every meter position of the
// extended-precision path, compared exactly. Any change of a rounding point
// (a sum or a product regrouped, a value held in double instead of extended
// precision) changes some hash. The reference's arithmetic is basic
// operations alone (its power of ten too), so the hashes are the same on
// every x86-64 processor. After a change that is meant, run the disabled
// test PrintNewValues and review the new table by its diff.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dsp/zorv_calc.h"
#include "tests/support/recording_meters.h"

namespace zorv {
namespace {

// What a case's signal holds in each channel.
enum class TContent {
  BandA,      // a tone in band A
  BandB,      // a tone in band B
  BandC,      // a tone in band C
  BandD,      // a tone in band D
  Programme,  // tones in every band over noise, swelling
};

struct TGoldenCase {
  const char* Name;
  std::uint32_t Rate;
  std::uint32_t Channels;
  double LevelDb;
  std::uint32_t Debug;
  TContent Content;
  std::uint64_t Samples;  // hash of the decoded doubles
  std::uint64_t Meters;   // hash of the meter updates
};

void PrintTo(const TGoldenCase& c, std::ostream* os) {
  *os << c.Name;
}

// FNV-1a over bytes.
class THash {
 public:
  void Add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) Value_ = (Value_ ^ bytes[i]) * 0x100000001B3ULL;
  }
  std::uint64_t Value() const { return Value_; }

 private:
  std::uint64_t Value_ = 0xCBF29CE484222325ULL;
};

// A tone by the two-term recurrence y[n] = 2 cos(w) y[n-1] - y[n-2], with
// cos(w) from its series: plain IEEE arithmetic, the same bits everywhere.
std::vector<double> Tone(double frequency, double amplitude, double rate, std::size_t frames) {
  const double w = 2 * 3.141592653589793 * frequency / rate;
  const double w2 = w * w;
  const double cosine = 1 - w2 / 2 + w2 * w2 / 24 - w2 * w2 * w2 / 720;
  const double sine = w - w * w2 / 6 + w * w2 * w2 / 120;
  std::vector<double> out(frames);
  double previous = -amplitude * sine;  // y[-1]
  double current = 0.0;
  for (std::size_t i = 0; i < frames; ++i) {
    out[i] = current;
    const double next = 2 * cosine * current - previous;
    previous = current;
    current = next;
  }
  return out;
}

std::vector<double> Signal(TContent content, std::uint32_t channel, double rate,
                           std::size_t frames) {
  // Each channel its own frequencies and levels.
  const double shift = 1.0 + 0.07 * channel;
  const double bandTone[4] = {110.0, 1000.0, 3600.0, 9500.0};
  const double level = 0.25 / (1.0 + channel);
  if (content != TContent::Programme) {
    const int band = static_cast<int>(content);
    return Tone(bandTone[band] * shift, level, rate, frames);
  }
  std::vector<double> sum(frames, 0.0);
  std::uint64_t noise = 0x9E3779B97F4A7C15ULL * (channel + 1);
  for (int band = 0; band < 4; ++band) {
    const std::vector<double> tone = Tone(bandTone[band] * shift, level / (band + 1), rate, frames);
    for (std::size_t i = 0; i < frames; ++i) sum[i] += tone[i];
  }
  // Noise, and a swell: loud in the middle third, so that the detectors
  // charge and release.
  for (std::size_t i = 0; i < frames; ++i) {
    noise = noise * 6364136223846793005ULL + 1442695040888963407ULL;
    const double swell = (i > frames / 3 && i < 2 * frames / 3) ? 3.0 : 0.5;
    sum[i] = swell * sum[i] + 0.01 * (static_cast<double>(noise >> 11) * 0x1.0p-53 - 0.5);
  }
  return sum;
}

struct THashes {
  std::uint64_t Samples;
  std::uint64_t Meters;
};

THashes DecodeCase(const TGoldenCase& c) {
  const std::size_t frames = c.Rate / 8;  // 125 ms
  const std::uint32_t block = c.Rate / 10;
  std::vector<std::vector<double>> in, out;
  for (std::uint32_t ch = 0; ch < c.Channels; ++ch) {
    in.push_back(Signal(c.Content, ch, c.Rate, frames));
    out.emplace_back(frames, 0.0);
  }
  TZorvCalc calc;
  test::TRecordingMeters meters;
  calc.SetMeterListener(&meters);
  calc.SetPath(TDecodePath::Extended);
  calc.SetLevel(c.LevelDb);
  calc.Prepare(c.Rate, c.Channels, c.Debug);
  std::vector<const double*> inBlock(c.Channels);
  std::vector<double*> outBlock(c.Channels);
  for (std::size_t start = 0; start < frames; start += block) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block, frames - start));
    for (std::uint32_t ch = 0; ch < c.Channels; ++ch) {
      inBlock[ch] = in[ch].data() + start;
      outBlock[ch] = out[ch].data() + start;
    }
    EXPECT_EQ(calc.ProcessBlock(inBlock.data(), outBlock.data(), n), static_cast<std::int32_t>(n));
  }
  THash samples;
  for (const std::vector<double>& channel : out) {
    samples.Add(channel.data(), channel.size() * sizeof(double));
  }
  THash positions;
  for (const test::TMeterUpdate& u : meters.Updates) {
    const std::int32_t fields[3] = {u.channel, u.band, u.position};
    positions.Add(fields, sizeof fields);
  }
  return {samples.Value(), positions.Value()};
}

// clang-format off
const TGoldenCase kCases[] = {
    {"Mono44kBandA",         44100, 1, -10.0, 0, TContent::BandA,     0xFC7FB594A94892B3ULL, 0xB4555F1F39D2F6FDULL},
    {"Mono48kBandB",         48000, 1, -10.0, 0, TContent::BandB,     0x22D2F6D564B3D37FULL, 0x28296CCC84B2F154ULL},
    {"Mono96kBandC",         96000, 1, -20.0, 0, TContent::BandC,     0x05BA1417DEEC24F3ULL, 0x5D5EFB75807FEF5FULL},
    {"Mono44kBandDLevel0",   44100, 1,   0.0, 0, TContent::BandD,     0xDAEEA61564934983ULL, 0xF52B8C7FD37E2D10ULL},
    {"Stereo44kProgramme",   44100, 2, -10.0, 0, TContent::Programme, 0xC9DDE7EBC1096DEDULL, 0xDED6B165C7C6C0C5ULL},
    {"Stereo96kLevel30",     96000, 2, -30.0, 0, TContent::Programme, 0xD7316189E7F6082BULL, 0x8510AADB1BB705DCULL},
    {"Stereo48kDebugBandC",  48000, 2, -10.0, 3, TContent::Programme, 0x9902BFBB37FA826BULL, 0x4F1290C7ED960C80ULL},
    {"Three48kProgramme",    48000, 3,  -6.5, 0, TContent::Programme, 0x74E8CC4931A0B702ULL, 0x565F1B0CC1C738FCULL},
};
// clang-format on

class ReferenceGolden : public testing::TestWithParam<TGoldenCase> {};

TEST_P(ReferenceGolden, DecodesToThePinnedBits) {
  const TGoldenCase& c = GetParam();
  const THashes got = DecodeCase(c);
  EXPECT_EQ(got.Samples, c.Samples) << "decoded doubles";
  EXPECT_EQ(got.Meters, c.Meters) << "meter positions";
}

INSTANTIATE_TEST_SUITE_P(Signals, ReferenceGolden, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// Prints the table above with the values of the code as it stands.
TEST(ReferenceGoldenValues, DISABLED_PrintNewValues) {
  for (const TGoldenCase& c : kCases) {
    const THashes got = DecodeCase(c);
    std::printf("%-22s samples 0x%016llXULL  meters 0x%016llXULL\n", c.Name,
                static_cast<unsigned long long>(got.Samples),
                static_cast<unsigned long long>(got.Meters));
  }
}

}  // namespace
}  // namespace zorv
