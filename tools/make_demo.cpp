// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-make-demo: writes a synthetic WAV file (tones in all four bands
// swelling and fading, over noise; every channel different) for trying
// zorv-decode: stereo 44.1 kHz 16-bit unless told otherwise.
#include <charconv>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "tools/wav_test_file.h"

namespace {

constexpr const char* kUsage =
    "Usage: zorv-make-demo OUTPUT.wav [SECONDS [CHANNELS [RATE [BITS]]]]\n"
    "  (default 4 seconds, 2 channels, 44100 Hz, 16 bits; BITS 16, 24, 32 or float)\n";

// A whole number within [low, high], or false.
bool ParseNumber(std::string_view word, unsigned low, unsigned high, unsigned& value) {
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  return error == std::errc() && end == word.data() + word.size() && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  // An option word is never taken for the name of the file to write.
  if (argc < 2 || argc > 6 || argv[1][0] == '-') {
    std::fputs(kUsage, stderr);
    return 2;
  }
  unsigned seconds = 4;
  unsigned channels = 2;
  unsigned rate = 44100;
  zorv::test::TWavFormat format{1, 2, 44100, 16};
  if (argc > 2 && !ParseNumber(argv[2], 1, 3600, seconds)) {
    std::fprintf(stderr, "zorv-make-demo: SECONDS must be 1 .. 3600: %s\n", argv[2]);
    return 2;
  }
  if (argc > 3 && !ParseNumber(argv[3], 1, 64, channels)) {
    std::fprintf(stderr, "zorv-make-demo: CHANNELS must be 1 .. 64: %s\n", argv[3]);
    return 2;
  }
  if (argc > 4 && !ParseNumber(argv[4], 8000, 192000, rate)) {
    std::fprintf(stderr, "zorv-make-demo: RATE must be 8000 .. 192000: %s\n", argv[4]);
    return 2;
  }
  if (argc > 5) {
    const std::string_view bits = argv[5];
    if (bits == "float") {
      format.Tag = 3;
      format.Bits = 32;
    } else if (bits == "16" || bits == "24" || bits == "32") {
      format.Bits = static_cast<std::uint16_t>(bits == "16" ? 16 : bits == "24" ? 24 : 32);
    } else {
      std::fprintf(stderr, "zorv-make-demo: BITS must be 16, 24, 32 or float: %s\n", argv[5]);
      return 2;
    }
  }
  format.Channels = static_cast<std::uint16_t>(channels);
  format.SampleRate = rate;
  const std::uint64_t bytes = std::uint64_t{seconds} * rate * format.FrameBytes();
  if (bytes > 0xFFFFFFFFu - 64) {
    std::fputs("zorv-make-demo: that much audio does not fit into a WAV file\n", stderr);
    return 2;
  }
  try {
    zorv::test::WriteFile(
        argv[1], zorv::test::WavBytes(format, zorv::test::SignalBytes(format, seconds * rate)));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zorv-make-demo: %s\n", error.what());
    return 1;
  }
  return 0;
}
