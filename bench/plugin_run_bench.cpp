// SPDX-License-Identifier: GPL-3.0-or-later
// The plugin's cost per stereo frame inside each format's audio call (LV2's
// run, VST3's and CLAP's process), at the block sizes hosts use, beside the
// decoder core decoding the same programme in blocks of the same size and
// in the program's own 100 ms blocks. All are measured in every iteration,
// one after the other, so that the ratios come from the same moment of a
// shared machine; times are the thread's CPU time.
#include <benchmark/benchmark.h>
#include <time.h>

#include <vector>

#include "dsp/decode_path.h"
#include "dsp/zorv_calc.h"
#include "tests/plugin/clap_host.h"
#include "tests/plugin/lv2_host.h"
#include "tests/plugin/vst3_host.h"
#include "tests/support/test_signal.h"

namespace {

using namespace zorv;

constexpr std::uint32_t kRate = 44100;
constexpr std::size_t kFrames = 10 * kRate;
constexpr std::uint32_t kProgramBlock = 4410;

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct TProgramme {
  std::vector<double> Left = test::Programme(kRate, kFrames, 1);
  std::vector<double> Right = test::Programme(kRate, kFrames, 2);
  std::vector<float> LeftFloat{Left.begin(), Left.end()};
  std::vector<float> RightFloat{Right.begin(), Right.end()};
};

// Seconds of CPU for the whole programme through a fresh decoder core.
double CoreSeconds(const TProgramme& p, std::uint32_t block) {
  std::vector<double> outL(block), outR(block);
  const double start = ThreadSeconds();
  TZorvCalc calc;
  calc.SetPath(FastestPath());
  calc.Prepare(kRate, 2, 0);
  for (std::size_t at = 0; at + block <= kFrames; at += block) {
    calc.ProcessBlock(p.Left.data() + at, p.Right.data() + at, outL.data(), outR.data(), block);
  }
  benchmark::DoNotOptimize(outL.data());
  benchmark::DoNotOptimize(outR.data());
  return ThreadSeconds() - start;
}

// The same through the bundle's library, as a host runs it: the ports
// connected to the host's buffers, run once per block.
double PluginSeconds(const TProgramme& p, std::uint32_t block, std::vector<float> (&out)[2]) {
  test::THostFeatures host;
  test::TPluginInstance plugin(2, kRate, host.WithLog());
  plugin.Activate();
  const double start = ThreadSeconds();
  for (std::size_t at = 0; at + block <= kFrames; at += block) {
    plugin.Connect(1, const_cast<float*>(p.LeftFloat.data() + at));
    plugin.Connect(2, const_cast<float*>(p.RightFloat.data() + at));
    plugin.Connect(3, out[0].data() + at);
    plugin.Connect(4, out[1].data() + at);
    plugin.RunConnected(block);
  }
  benchmark::DoNotOptimize(out[0].data());
  return ThreadSeconds() - start;
}

// The same through the VST3 module or the CLAP file (either test host):
// process once per block, the host's buffers handed over.
template <class TPlugin>
double FormatSeconds(const TProgramme& p, std::uint32_t block, std::vector<float> (&out)[2]) {
  TPlugin plugin(2, kRate);
  const double start = ThreadSeconds();
  for (std::size_t at = 0; at + block <= kFrames; at += block) {
    const float* in[2] = {p.LeftFloat.data() + at, p.RightFloat.data() + at};
    float* outputs[2] = {out[0].data() + at, out[1].data() + at};
    plugin.Process(in, outputs, block);
  }
  benchmark::DoNotOptimize(out[0].data());
  return ThreadSeconds() - start;
}

void PluginRun(benchmark::State& state) {
  const auto block = static_cast<std::uint32_t>(state.range(0));
  static const TProgramme programme;
  std::vector<float> out[2] = {std::vector<float>(kFrames), std::vector<float>(kFrames)};
  state.SetLabel(std::string(PathName(FastestPath())));
  double plugin = 0, vst3 = 0, clap = 0, core = 0, coreProgram = 0;
  for (auto _ : state) {
    coreProgram += CoreSeconds(programme, kProgramBlock);
    core += CoreSeconds(programme, block);
    plugin += PluginSeconds(programme, block, out);
    vst3 += FormatSeconds<test::TVst3Plugin>(programme, block, out);
    clap += FormatSeconds<test::TClapPlugin>(programme, block, out);
  }
  const double frames = static_cast<double>(kFrames) * static_cast<double>(state.iterations());
  state.counters["plugin_ns"] = plugin * 1e9 / frames;
  state.counters["vst3_ns"] = vst3 * 1e9 / frames;
  state.counters["clap_ns"] = clap * 1e9 / frames;
  // Per host block, in microseconds.
  const double blocks = frames / block;
  state.counters["lv2_block_us"] = plugin * 1e6 / blocks;
  state.counters["vst3_block_us"] = vst3 * 1e6 / blocks;
  state.counters["clap_block_us"] = clap * 1e6 / blocks;
  state.counters["core_ns"] = core * 1e9 / frames;
  state.counters["core4410_ns"] = coreProgram * 1e9 / frames;
  state.counters["vs_core"] = plugin / core;
  state.counters["vs_core4410"] = plugin / coreProgram;
  state.counters["vst3_vs_lv2"] = vst3 / plugin;
  state.counters["clap_vs_lv2"] = clap / plugin;
}
BENCHMARK(PluginRun)
    ->ArgName("block")
    ->Arg(64)
    ->Arg(256)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
