// zorv-make-demo: writes a synthetic stereo 44.1 kHz 16-bit WAV file (tones in
// all four bands swelling and fading, over noise) for trying zorv-decode.
#include <charconv>
#include <cstdio>
#include <exception>
#include <string>

#include "tools/wav_test_file.h"

int main(int argc, char** argv) {
  static constexpr const char* kUsage =
      "Usage: zorv-make-demo OUTPUT.wav [SECONDS]  (default 4 seconds)\n";
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  // An option word is never taken for the name of the file to write.
  if (argc < 2 || argc > 3 || argv[1][0] == '-') {
    std::fputs(kUsage, stderr);
    return 2;
  }
  unsigned seconds = 4;
  if (argc == 3) {
    const std::string word = argv[2];
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), seconds);
    if (error != std::errc() || end != word.data() + word.size() || seconds == 0 ||
        seconds > 3600) {
      std::fprintf(stderr, "zorv-make-demo: SECONDS must be 1 .. 3600: %s\n", argv[2]);
      return 2;
    }
  }
  const zorv::test::TWavFormat format{1, 2, 44100, 16};
  try {
    zorv::test::WriteFile(
        argv[1], zorv::test::WavBytes(format, zorv::test::SignalBytes(format, seconds * 44100)));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zorv-make-demo: %s\n", error.what());
    return 1;
  }
  return 0;
}
