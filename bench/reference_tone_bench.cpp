// SPDX-License-Identifier: GPL-3.0-or-later
// The reference-tone measurement of the window's Measure button and of
// zorv-decode --measure-level: the first minute of a stereo transfer (5 s of
// leader, 30 s of tone, 25 s of programme) read from memory and searched,
// reported as milliseconds per measurement and x real time.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "app/reference_tone.h"
#include "tests/app/tone_material.h"

namespace {

using namespace zorv;

void MeasureFirstMinute(benchmark::State& state) {
  const auto rate = static_cast<std::uint32_t>(state.range(0));
  const auto bits = static_cast<std::uint16_t>(state.range(1));
  const test::TWavFormat format{static_cast<std::uint16_t>(bits == 32 ? 3 : 1), 2, rate, bits};
  state.SetLabel(std::to_string(bits) + (bits == 32 ? "-bit float" : "-bit"));
  const auto channel = [rate](std::uint64_t seed) {
    return test::TChannelBuilder(rate, seed).Silence(5).Tone(1000, -14.3, 30).Music(25).Samples;
  };
  const auto left = channel(1);
  const auto right = channel(2);
  const test::TBytes file = test::ToneFile(format, left, &right);

  for (auto _ : state) {
    TWavFileIn reader;
    reader.OpenMemory(file.data(), file.size());
    const TReferenceTone tone = MeasureReferenceTone(reader);
    if (tone.Suggestion.Verdict != TToneVerdict::Suggested) {
      state.SkipWithError("no tone found");
      return;
    }
    benchmark::DoNotOptimize(tone.Suggestion.LevelDb);
  }
  const double seconds = static_cast<double>(left.size()) / rate;
  state.counters["x_real_time"] = benchmark::Counter(
      seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(MeasureFirstMinute)
    ->Args({44100, 16})
    ->Args({48000, 24})
    ->Args({96000, 24})
    ->Args({96000, 32})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
