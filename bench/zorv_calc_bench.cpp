// SPDX-License-Identifier: GPL-3.0-or-later
// Decoder core throughput: 60 s of a synthetic programme decoded in the
// blocks the program makes (100 ms, 38400 bytes at most), stereo on every
// arithmetic path and 2 to 64 channels on the fastest, with and without
// worker threads, reported as ns per frame, x real time and the CPU time per
// frame of all threads together; and the cost of each piece of the
// per-sample work, to show where the time goes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "app/block_pipeline.h"
#include "app/sample_conversion.h"
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
  state.SetLabel(std::string(PathName(path)) + (channelThreads ? ", a worker per core" : ""));
  const std::size_t frames = rate * kSeconds;
  const std::vector<double> left = test::Programme(rate, frames, 1);
  const std::vector<double> right = test::Programme(rate, frames, 2);
  std::vector<double> outL(block), outR(block);

  double seconds = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    TZorvCalc calc;
    TBlockPipeline pipeline(calc);
    calc.SetPath(path);
    pipeline.SetChannelThreads(channelThreads);
    calc.Prepare(rate, 2, 0);
    double* out[2] = {outL.data(), outR.data()};
    for (std::size_t start = 0; start + block <= frames; start += block) {
      const double* in[2] = {left.data() + start, right.data() + start};
      if (channelThreads) {
        pipeline.ProcessBlock(in, out, block);
      } else {
        calc.ProcessBlock(in[0], in[1], out[0], out[1], block);
      }
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
// a worker pool with a thread per core (here: a channel on each).
BENCHMARK(DecodeProgramme)
    ->ArgsProduct({{44100}, {4410}, {0, 1, 2, 3}, {0, 1}})
    ->ArgsProduct({{96000}, {4800}, {0, 1, 2, 3}, {0, 1}})
    ->ArgNames({"rate", "block", "path", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// 60 s of 48 kHz in many channels (a multitrack tape), every channel its own
// programme, on the fastest path, in the run's blocks for 24-bit samples
// (38400 bytes: 533 frames for 24 channels), on the calling thread alone
// (workers 0) or on a pool. cpu_ns_per_frame counts every thread.
void DecodeChannels(benchmark::State& state) {
  const auto channels = static_cast<std::uint32_t>(state.range(0));
  const auto workers = static_cast<unsigned>(state.range(1));
  constexpr std::uint32_t kRate = 48000;
  const std::uint32_t block = std::min<std::uint32_t>(kRate / 10, 38400 / (3 * channels));
  const std::size_t frames = kRate * kSeconds;
  // Two seconds of programme per channel, decoded over and over: the memory
  // of 64 channels of a whole minute would be more than the decode's.
  const std::size_t loop = std::size_t{kRate} * 2 / block * block;
  std::vector<std::vector<double>> in;
  for (std::uint32_t c = 0; c < channels; ++c) in.push_back(test::Programme(kRate, loop, c + 1));
  std::vector<std::vector<double>> out(channels, std::vector<double>(block));
  std::vector<const double*> inBlock(channels);
  std::vector<double*> outBlock(channels);
  for (std::uint32_t c = 0; c < channels; ++c) outBlock[c] = out[c].data();
  TWorkerPool pool(workers);
  state.SetLabel(std::string(PathName(FastestPath())) + ", " + std::to_string(channels) +
                 " channels, " +
                 (workers == 0 ? "one thread" : std::to_string(workers) + " workers"));

  double seconds = 0.0;
  double cpu = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    TZorvCalc calc;
    TBlockPipeline pipeline(calc);
    calc.SetPath(FastestPath());
    if (workers > 0) pipeline.SetWorkerPool(&pool);
    // The workers measured, not the run's choice between them and the
    // calling thread.
    pipeline.SetPoolChosenByTime(false);
    calc.Prepare(kRate, channels, 0);
    for (std::size_t start = 0; start + block <= frames; start += block) {
      for (std::uint32_t c = 0; c < channels; ++c) inBlock[c] = in[c].data() + start % loop;
      pipeline.ProcessBlock(inBlock.data(), outBlock.data(), block);
    }
    benchmark::DoNotOptimize(out.front().data());
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count());
    seconds += elapsed.count();
    cpu += ProcessCpuSeconds() - cpuStart;
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["ns_per_frame"] = seconds * 1e9 / (static_cast<double>(frames) * iterations);
  state.counters["cpu_ns_per_frame"] = cpu * 1e9 / (static_cast<double>(frames) * iterations);
  state.counters["x_realtime"] = static_cast<double>(kSeconds) * iterations / seconds;
}
// 1 to 5 channels on one thread: what a job of each width costs per channel.
BENCHMARK(DecodeChannels)
    ->ArgsProduct({{1, 2, 3, 4, 5}, {0}})
    ->ArgsProduct({{2, 24, 64}, {1, 2}})
    ->ArgsProduct({{24, 64}, {0}})
    ->ArgNames({"channels", "workers"})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// Where a stereo block's time goes on the fastest path, one thread: the
// whole decode of a block against its two stages (the weighting filters; the
// band split, detectors, expansion and sum), each timed on its own, in the
// blocks of 16-bit (44.1 kHz) and 24-bit (96 and 192 kHz) files.
void DecodeStages(benchmark::State& state) {
  const auto rate = static_cast<std::uint32_t>(state.range(0));
  const std::uint32_t block = std::min<std::uint32_t>(rate / 10, rate == 44100 ? 4410 : 6400);
  const std::size_t frames = std::size_t{rate} * kSeconds;
  const std::vector<double> left = test::Programme(rate, frames, 1);
  const std::vector<double> right = test::Programme(rate, frames, 2);
  std::vector<double> outL(block), outR(block);
  state.SetLabel(std::string(PathName(FastestPath())) + ", stereo, one thread");
  double whole = 0.0;
  double weigh = 0.0;
  double detect = 0.0;
  using TClock = std::chrono::steady_clock;
  for (auto _ : state) {
    for (const bool staged : {false, true}) {
      TZorvCalc calc;
      calc.SetPath(FastestPath());
      calc.Prepare(rate, 2, 0);
      TZorvCalc::TBlock plan;
      double* out[2] = {outL.data(), outR.data()};
      for (std::size_t start = 0; start + block <= frames; start += block) {
        const double* in[2] = {left.data() + start, right.data() + start};
        calc.PlanBlock(plan, in, out, block, 1, staged);
        const auto t0 = TClock::now();
        calc.DecodeJob(plan, 0);
        const auto t1 = TClock::now();
        if (staged) calc.DecodeJob(plan, 1);
        const auto t2 = TClock::now();
        (staged ? weigh : whole) += std::chrono::duration<double>(t1 - t0).count();
        if (staged) detect += std::chrono::duration<double>(t2 - t1).count();
      }
      benchmark::DoNotOptimize(outL.data());
    }
    state.SetIterationTime(whole);
  }
  const double perFrame =
      1e9 / (static_cast<double>(frames) * static_cast<double>(state.iterations()));
  state.counters["whole_ns_per_frame"] = whole * perFrame;
  state.counters["weigh_ns_per_frame"] = weigh * perFrame;
  state.counters["detect_ns_per_frame"] = detect * perFrame;
}
BENCHMARK(DecodeStages)
    ->Arg(44100)
    ->Arg(96000)
    ->Arg(192000)
    ->ArgName("rate")
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

// The conversions around the decoder for 24 channels of 24-bit samples, per
// sample: a block of the file's bytes split into the channels' doubles, job
// by job of four channels as the pool's threads split them, and the decoded
// doubles merged into the output's bytes with the peak and clip count.
constexpr std::uint32_t kConversionChannels = 24;
constexpr std::uint32_t kConversionFrames = 4800;

// Samples of a block of frames, channel after channel.
std::vector<double> Samples(std::uint32_t channels, std::uint32_t frames) {
  std::vector<double> samples(std::size_t{channels} * frames);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = 0.9 * std::sin(0.001 * i);
  return samples;
}

// A block of frames of the layout: its samples' bytes split into the
// channels' doubles, jobChannels channels at a time, as the pool's threads
// split them (all of them: as the run's own thread does).
void SplitOf(benchmark::State& state, TFrameLayout layout, std::uint32_t frames,
             std::uint32_t jobChannels) {
  std::vector<std::uint8_t> bytes(frames * layout.BytesPerFrame());
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  std::vector<double> samples = Samples(layout.Channels, frames);
  std::vector<double*> channels;
  for (std::uint32_t c = 0; c < layout.Channels; ++c)
    channels.push_back(samples.data() + std::size_t{c} * frames);
  const auto len = static_cast<std::uint32_t>(bytes.size());
  for (auto _ : state) {
    for (std::uint32_t first = 0; first < layout.Channels; first += jobChannels)
      SplitChannels(bytes.data(), len, layout, first, jobChannels, channels.data());
    benchmark::DoNotOptimize(samples.data());
  }
  state.SetItemsProcessed(state.iterations() * layout.Channels * frames);
}

// The channels' doubles of a block merged into the output's bytes, with the
// peak and clip count.
void MergeOf(benchmark::State& state, TFrameLayout layout, std::uint32_t frames) {
  std::vector<std::uint8_t> bytes(frames * layout.BytesPerFrame());
  const std::vector<double> samples = Samples(layout.Channels, frames);
  std::vector<const double*> channels;
  for (std::uint32_t c = 0; c < layout.Channels; ++c)
    channels.push_back(samples.data() + std::size_t{c} * frames);
  const auto len = static_cast<std::uint32_t>(bytes.size());
  TSampleStats stats;
  for (auto _ : state) {
    MergeBlock(channels.data(), len, layout, bytes.data(), stats);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetItemsProcessed(state.iterations() * layout.Channels * frames);
}

void SplitChannelsOf24(benchmark::State& state) {
  SplitOf(state, {TSampleFormat::Int24, kConversionChannels}, kConversionFrames, 4);
}
BENCHMARK(SplitChannelsOf24);

void MergeChannelsOf24(benchmark::State& state) {
  MergeOf(state, {TSampleFormat::Int24, kConversionChannels}, kConversionFrames);
}
BENCHMARK(MergeChannelsOf24);

// The same for a stereo file of 16-bit samples, the commonest input, whole
// blocks on the run's thread.
constexpr std::uint32_t kStereoFrames = 9600;

void SplitStereoOf16(benchmark::State& state) {
  SplitOf(state, {TSampleFormat::Int16, 2}, kStereoFrames, 2);
}
BENCHMARK(SplitStereoOf16);

void MergeStereoOf16(benchmark::State& state) {
  MergeOf(state, {TSampleFormat::Int16, 2}, kStereoFrames);
}
BENCHMARK(MergeStereoOf16);

}  // namespace

BENCHMARK_MAIN();
