// SPDX-License-Identifier: GPL-3.0-or-later
// The time a file of many distinct chunk identifiers takes, from 10,000 to
// the 1,000,000 a file may have: the reader's walk over them, the metadata
// line, and the output's head and tail with every chunk copied. Each count
// is a file on disk (in the system's temporary folder) read by the real
// reader; the output goes to memory. The time per chunk stays flat when the
// work is linear.
//
//   build/bench/many_chunks_bench [REPEATS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/format_check.h"
#include "wav/output_layout.h"
#include "wav/wav_file_in.h"
#include "wav/wav_file_out.h"

namespace {

using TBytes = std::vector<std::uint8_t>;

void Put32(TBytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// fmt, count chunks of distinct identifiers with 2-byte bodies, 100 ms of
// stereo 16-bit data.
void WriteFile(const std::string& path, std::size_t count) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  TBytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  Put32(b, 16);
  for (const std::uint32_t v : {0x00020001u, 44100u, 44100u * 4, 0x00100004u}) Put32(b, v);
  for (std::size_t i = 0; i < count; ++i) {
    b.insert(b.end(), {static_cast<std::uint8_t>(kLetters[i % 26]),
                       static_cast<std::uint8_t>(kLetters[i / 26 % 62]),
                       static_cast<std::uint8_t>(kLetters[i / 1612 % 62]),
                       static_cast<std::uint8_t>(kLetters[i / 99944 % 62])});
    Put32(b, 2);
    b.push_back(1);
    b.push_back(2);
  }
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  Put32(b, 17640);
  b.resize(b.size() + 17640, 0);
  const auto riff = static_cast<std::uint32_t>(b.size() - 8);
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

double Milliseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string path =
      (std::filesystem::temp_directory_path() / "zorv_many_chunks_bench.wav").string();
  std::printf("%10s %10s %10s %10s %10s %12s\n", "chunks", "walk ms", "names ms", "write ms",
              "total ms", "ns/chunk");
  for (const std::size_t count : {10000u, 30000u, 100000u, 300000u, 999998u}) {
    WriteFile(path, count);
    double best[4] = {1e300, 1e300, 1e300, 1e300};
    for (int r = 0; r < repeats; ++r) {
      zorv::TWavFileIn reader;
      reader.Filename = path;
      const auto start = std::chrono::steady_clock::now();
      if (!reader.OpenFile() || reader.ReadHeader() != zorv::TReadHeaderResult::Ok) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
      }
      const double walk = Milliseconds(start);
      const auto namesStart = std::chrono::steady_clock::now();
      const std::string names = zorv::MetadataText(reader, false);
      const double naming = Milliseconds(namesStart);
      const auto writeStart = std::chrono::steady_clock::now();
      std::vector<std::uint8_t> bytes;
      zorv::TWavFileOut writer;
      writer.OpenMemory(bytes);
      zorv::TOutputLayout layout(reader, {}, true);
      layout.WriteHead(writer);
      layout.WriteTail(writer, 0, {});
      const double writing = Milliseconds(writeStart);
      const double parts[4] = {walk, naming, writing, walk + naming + writing};
      for (int i = 0; i < 4; ++i) best[i] = std::min(best[i], parts[i]);
      if (names.empty()) return 1;
    }
    std::printf("%10zu %10.1f %10.1f %10.1f %10.1f %12.1f\n", count, best[0], best[1], best[2],
                best[3], best[3] * 1e6 / static_cast<double>(count));
  }
  std::filesystem::remove(path);
  return 0;
}
