// SPDX-License-Identifier: GPL-3.0-or-later
// A file decoded in segments along time against the same build without
// the split and on one thread, in one run: x real time, the share of the
// decode done twice, and CPU time. Prints a table; no pass or fail.
//
//   time_split_bench [DIR [REPEATS]]   (files are written to DIR, /tmp default)
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/decode_run.h"
#include "tools/wav_test_file.h"
#include "wav/byte_sink.h"
#include "wav/byte_source.h"

namespace {

using namespace zorv;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct TTimed {
  double Wall = 0.0;
  double Cpu = 0.0;
  double Redone = 0.0;
  int Segments = 0;
};

TTimed Decode(const std::string& in, const std::string& out, const TRunSettings& settings,
              int repeats) {
  TTimed best{1e30, 0.0, 0.0, 0};
  for (int r = 0; r < repeats; ++r) {
    TDecodeRun run(settings);
    if (run.OpenInput(OpenFileSource(in), in) || run.OpenOutput(CreateFileSink(out), out)) {
      std::fprintf(stderr, "cannot open %s or %s\n", in.c_str(), out.c_str());
      std::exit(1);
    }
    const double cpu = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const TRunResult result = run.Run();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result.Status != TRunStatus::Done) {
      std::fprintf(stderr, "decode of %s failed\n", in.c_str());
      std::exit(1);
    }
    if (wall < best.Wall) {
      best = {wall, CpuSeconds() - cpu, result.TimeSplit.RedoneSeconds, result.TimeSplit.Segments};
    }
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp";
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  struct TCase {
    const char* Name;
    std::uint16_t Channels;
    std::uint32_t Rate;
    std::uint32_t Seconds;
  };
  const TCase cases[] = {{"10 min 44.1 kHz mono", 1, 44100, 600},
                         {"10 min 44.1 kHz stereo", 2, 44100, 600},
                         {"60 s 44.1 kHz stereo", 2, 44100, 60},
                         {"60 s 48 kHz 24 channels", 24, 48000, 60}};
  std::printf("%-26s %9s %9s %9s %8s %8s %8s %8s %8s\n", "file", "split x", "whole x", "1 thr x",
              "gain", "redone", "CPU spl", "CPU whl", "CPU 1t");
  for (const TCase& c : cases) {
    const test::TWavFormat format{1, c.Channels, c.Rate, 16};
    const std::string in = dir + "/time_split_bench_in.wav";
    const std::string out = dir + "/time_split_bench_out.wav";
    test::WriteFile(in, test::WavBytes(format, test::SignalBytes(format, c.Seconds * c.Rate, 7)));
    TRunSettings settings;
    settings.Digests = false;
    settings.TimeSplit = true;
    const TTimed split = Decode(in, out, settings, repeats);
    settings.TimeSplit = false;
    const TTimed whole = Decode(in, out, settings, repeats);
    settings.ChannelThreads = false;
    const TTimed one = Decode(in, out, settings, repeats);
    const double seconds = c.Seconds;
    std::printf("%-26s %9.0f %9.0f %9.0f %7.2fx %7.1f%% %8.2f %8.2f %8.2f   (%d segments)\n",
                c.Name, seconds / split.Wall, seconds / whole.Wall, seconds / one.Wall,
                whole.Wall / split.Wall, 100.0 * split.Redone / seconds, split.Cpu, whole.Cpu,
                one.Cpu, split.Segments);
    if (c.Channels >= 2 && c.Channels < 8 && c.Seconds >= 300) {
      // Split although the channels fill the cores: what it would give.
      settings = {};
      settings.Digests = false;
      settings.TimeSplit = true;
      settings.TimeSplitSegments = 2;
      const TTimed forced = Decode(in, out, settings, repeats);
      std::printf("%-26s %9.0f %9s %9s %7.2fx %7.1f%% %8.2f   (split forced, %d segments)\n",
                  "  the same, split forced", seconds / forced.Wall, "", "",
                  whole.Wall / forced.Wall, 100.0 * forced.Redone / seconds, forced.Cpu,
                  forced.Segments);
    }
    std::remove(in.c_str());
    std::remove(out.c_str());
  }
  return 0;
}
