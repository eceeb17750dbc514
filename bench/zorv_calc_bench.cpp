// Decoder core throughput: 60 s of a synthetic stereo programme decoded in
// the blocks the program makes (100 ms, 38400 bytes at most), reported as
// ns per frame and x real time; and the cost of each piece of the per-sample
// work, to show where the time goes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "dsp/charge_current.h"
#include "dsp/control_signal_generator.h"
#include "dsp/decode_path.h"
#include "dsp/zorv_calc.h"
#include "tests/support/test_signal.h"

namespace {

using namespace zorv;

constexpr std::size_t kSeconds = 60;

void DecodeProgramme(benchmark::State& state) {
  const auto rate = static_cast<std::uint32_t>(state.range(0));
  const auto block = static_cast<std::uint32_t>(state.range(1));
  const auto path = static_cast<TDecodePath>(state.range(2));
  const bool channelThreads = state.range(3) != 0;
  if (!PathSupported(path)) {
    state.SkipWithError("this processor cannot run the path");
    return;
  }
  state.SetLabel(std::string(PathName(path)) + (channelThreads ? ", two threads" : ""));
  const std::size_t frames = rate * kSeconds;
  const std::vector<double> left = test::Programme(rate, frames, 1);
  const std::vector<double> right = test::Programme(rate, frames, 2);
  std::vector<double> outL(block), outR(block);

  double seconds = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    TZorvCalc calc;
    calc.SetPath(path);
    calc.SetChannelThreads(channelThreads);
    calc.Prepare(rate, 2, 0);
    for (std::size_t start = 0; start + block <= frames; start += block) {
      calc.ProcessBlock(left.data() + start, right.data() + start, outL.data(), outR.data(), block);
    }
    benchmark::DoNotOptimize(outL.data());
    benchmark::DoNotOptimize(outR.data());
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count());
    seconds += elapsed.count();
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["ns_per_frame"] = seconds * 1e9 / (static_cast<double>(frames) * iterations);
  state.counters["x_realtime"] = static_cast<double>(kSeconds) * iterations / seconds;
}
// 44.1 kHz 16-bit stereo: 4410-frame blocks; 96 kHz 24-bit stereo: 4800.
// Paths: 0 extended (the reference), 1 portable, 2 AVX2, 3 AVX-512; threads 1:
// the second channel on a thread of its own.
BENCHMARK(DecodeProgramme)
    ->ArgsProduct({{44100}, {4410}, {0, 1, 2, 3}, {0, 1}})
    ->ArgsProduct({{96000}, {4800}, {0, 1, 2, 3}, {0, 1}})
    ->ArgNames({"rate", "block", "path", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// The pieces, per call.
void PowerOfTen(benchmark::State& state) {
  double v = -1.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(GainFactorOf(v));
    v = v < 1.8 ? v + 1e-6 : -5.8;
  }
}
BENCHMARK(PowerOfTen);

void FilterSteps(benchmark::State& state) {
  TFilterSection first;
  first.SetCoefficients({0.98456824, 1, -0.98456824, -0.96913649, 0, 0});
  TFilterSection second;
  second.SetCoefficients({0.6297735, 1.56675, -1.259547, -1.98470206, 0.6297735, 0.98518868});
  double x = 0.1;
  for (auto _ : state) {
    x = -x;
    benchmark::DoNotOptimize(second.SecondOrderStep(first.FirstOrderStep(x)));
  }
  state.SetLabel("one first-order and one second-order step");
}
BENCHMARK(FilterSteps);

void ChargingCurrent(benchmark::State& state) {
  double level = 0.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ChargeCurrent(2, level));
    level = level < 2.092 ? level + 1e-5 : 0.0;
  }
}
BENCHMARK(ChargingCurrent);

void GeneratorStep(benchmark::State& state) {
  TControlSignalGenerator g;
  g.Setup(1, 44100);
  const std::vector<double> input = test::Programme(44100, 44100, 3);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(g.Step(1, 0, input[i]));
    i = i + 1 < input.size() ? i + 1 : 0;
  }
}
BENCHMARK(GeneratorStep);

}  // namespace

BENCHMARK_MAIN();
