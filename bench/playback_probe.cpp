// SPDX-License-Identifier: GPL-3.0-or-later
// The listening side of bench/playback.sh, on recordings of a sound
// server's monitor (raw 32-bit float stereo):
//   playback_probe record OUT.raw   copies standard input to OUT.raw and
//                                   prints, as it happens, the system clock's
//                                   time when the first sound arrives
//   playback_probe gaps IN.raw RATE prints the silences inside the sound
//                                   (1 ms and longer): how many, how long in all
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

int Record(const char* path) {
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return 1;
  std::vector<float> piece(256);
  bool heard = false;
  std::size_t got;
  // Small reads, so that an arrival is timed to within a few milliseconds.
  while ((got = std::fread(piece.data(), sizeof(float), piece.size(), stdin)) > 0) {
    const double now = Now();
    std::fwrite(piece.data(), sizeof(float), got, out);
    if (heard) continue;
    for (std::size_t i = 0; i < got; ++i) {
      if (piece[i] == 0.0f) continue;
      heard = true;
      std::printf("first sound at %.6f\n", now);
      std::fflush(stdout);
      break;
    }
  }
  std::fclose(out);
  return 0;
}

int Gaps(const char* path, double rate) {
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) return 1;
  std::vector<float> samples;
  std::vector<float> piece(65536);
  std::size_t got;
  while ((got = std::fread(piece.data(), sizeof(float), piece.size(), in)) > 0) {
    samples.insert(samples.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got));
  }
  std::fclose(in);
  const std::size_t frames = samples.size() / 2;
  const auto silent = [&](std::size_t f) {
    return samples[2 * f] == 0.0f && samples[2 * f + 1] == 0.0f;
  };
  std::size_t first = 0;
  while (first < frames && silent(first)) ++first;
  std::size_t last = frames;
  while (last > first && silent(last - 1)) --last;
  int count = 0;
  std::size_t total = 0;
  for (std::size_t f = first; f < last;) {
    std::size_t end = f;
    while (end < last && silent(end)) ++end;
    if (static_cast<double>(end - f) >= rate / 1000.0) {
      ++count;
      total += end - f;
    }
    f = end + 1;
  }
  std::printf("%d %.1f %.3f\n", count, static_cast<double>(total) * 1000.0 / rate,
              static_cast<double>(last - first) / rate);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "record" && argc == 3) return Record(argv[2]);
  if (mode == "gaps" && argc == 4) return Gaps(argv[2], std::stod(argv[3]));
  std::fprintf(stderr, "usage: playback_probe record OUT.raw | gaps IN.raw RATE\n");
  return 2;
}
