// SPDX-License-Identifier: GPL-3.0-or-later
// The FLAC source and sink alone, beside the run that uses them: 60 s of a
// generated stereo transfer at 44.1 kHz 16-bit and 96 kHz 24-bit, written
// through the sink into memory as the WAV writer writes it (the frames
// encoded and checked by libFLAC), and read back through the source (decoded
// and its MD5 checked); x real time, and the WAV bytes per second.
#include <benchmark/benchmark.h>

#include <string>

#include "tools/wav_test_file.h"
#include "wav/flac_sink.h"
#include "wav/flac_source.h"

namespace {

using namespace zorv;

constexpr std::uint32_t kSeconds = 60;

test::TWavFormat Format(const benchmark::State& state) {
  return {1, 2, static_cast<std::uint32_t>(state.range(0)),
          static_cast<std::uint16_t>(state.range(1))};
}

test::TBytes Wav(const test::TWavFormat& format) {
  return test::WavBytes(format, test::SignalBytes(format, format.SampleRate * kSeconds));
}

// The WAV file through the sink: the 44-byte header, then the samples in the
// writer's blocks of 38400 bytes at most (whole frames), then the sizes again.
bool Pack(const test::TBytes& wav, test::TBytes& flac) {
  auto sink = TFlacSink::Create(MemorySink(flac));
  bool ok = sink->Write(wav.data(), 44) == 44;
  const std::size_t block = 38400 - 38400 % (wav[32] | wav[33] << 8);
  for (std::size_t at = 44; ok && at < wav.size(); at += block) {
    const std::size_t n = std::min(block, wav.size() - at);
    ok = sink->WriteSamples(wav.data() + at, n) == n;
  }
  ok = ok && sink->Seek(0) && sink->Write(wav.data(), 44) == 44;
  return sink->Close() && ok;
}

void Rate(benchmark::State& state, std::size_t bytes) {
  state.counters["x_real_time"] = benchmark::Counter(
      double{kSeconds} * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes * state.iterations()));
}

void FlacSinkWrites(benchmark::State& state) {
  const test::TBytes wav = Wav(Format(state));
  for (auto _ : state) {
    test::TBytes flac;
    if (!Pack(wav, flac)) {
      state.SkipWithError("the sink failed");
      return;
    }
    benchmark::DoNotOptimize(flac.data());
  }
  Rate(state, wav.size());
}

void FlacSourceReads(benchmark::State& state) {
  const test::TBytes wav = Wav(Format(state));
  test::TBytes flac;
  if (!Pack(wav, flac)) {
    state.SkipWithError("the sink failed");
    return;
  }
  test::TBytes block(38400);
  for (auto _ : state) {
    std::string problem;
    bool failed = false;
    auto source = TFlacSource::Open(MemorySource(flac.data(), flac.size()), problem, failed);
    std::size_t total = 0;
    while (const std::size_t n = source->Read(block.data(), block.size())) total += n;
    if (total != wav.size() || source->Md5Check() != TFlacMd5Check::Matches) {
      state.SkipWithError("the source did not give the file back");
      return;
    }
  }
  Rate(state, wav.size());
}

BENCHMARK(FlacSinkWrites)
    ->Args({44100, 16})
    ->Args({96000, 24})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(FlacSourceReads)
    ->Args({44100, 16})
    ->Args({96000, 24})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
