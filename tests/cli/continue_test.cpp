// SPDX-License-Identifier: GPL-3.0-or-later
// --continue: the parts of one tape, cut anywhere, decode as the whole tape
// does; a part whose start cannot be known is refused, and a continued part
// says what it continued from.
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/cli/decode_fixture.h"

namespace zorv {
namespace {

using test::ParseChunks;
using test::ReadFile;
using test::TBytes;
using test::TWavFormat;

class Continue : public test::DecodeTest {
 protected:
  // The audio data of a WAV file the program wrote.
  static TBytes Data(const std::string& path) {
    const auto chunks = ParseChunks(ReadFile(path));
    const test::TFileChunk* data = chunks ? chunks->Find("data") : nullptr;
    EXPECT_NE(data, nullptr) << path;
    return data != nullptr ? data->Body : TBytes{};
  }
  // The report's lines, one JSON object each.
  static std::vector<nlohmann::json> ReportLines(const std::string& path) {
    const TBytes bytes = ReadFile(path);
    std::vector<nlohmann::json> lines;
    std::string text(bytes.begin(), bytes.end());
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find('\n', at);
      lines.push_back(nlohmann::json::parse(text.substr(at, end - at)));
      at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
  }
};

// A tape of mono to six channels at two rates, cut at random frames (most
// off the 100 ms block grid, some parts a single frame or shorter than a
// block), some parts with the first bytes of the next frame behind their
// last whole one (a partial frame, left out): the parts' outputs joined are
// the whole tape's output, byte for byte.
TEST_F(Continue, PartsCutAnywhereJoinToTheWholeTape) {
  const std::vector<TWavFormat> formats = {
      {1, 1, 44100, 16}, {1, 2, 48000, 24}, {3, 3, 96000, 32}, {1, 4, 44100, 32},
      {1, 5, 96000, 16}, {1, 6, 48000, 24}, {1, 2, 96000, 16}, {3, 6, 44100, 32},
  };
  std::mt19937 random(20261210);
  constexpr int kCutSets = 24;
  int offGrid = 0, partialFrames = 0;
  for (int set = 0; set < kCutSets; ++set) {
    const TWavFormat& format = formats[static_cast<std::size_t>(set) % formats.size()];
    const std::uint32_t frameBytes = format.FrameBytes();
    const std::uint32_t block = format.SampleRate / 10;
    const std::uint32_t frames = format.SampleRate + random() % format.SampleRate / 2;
    const TBytes tape = test::SignalBytes(format, frames, static_cast<std::uint32_t>(set) + 3);
    const std::string dir = "set" + std::to_string(set);
    std::filesystem::create_directories(Dir.File(dir));
    const std::string tapeName = File(dir + "/tape.wav", test::WavBytes(format, tape));

    // Two to four parts; the odd set has a part of one frame, or of a few.
    const int count = 2 + static_cast<int>(random() % 3);
    std::vector<std::uint32_t> cuts;
    while (cuts.size() + 1 < static_cast<std::size_t>(count)) {
      std::uint32_t cut = 1 + random() % (frames - 1);
      if (set % 5 == 4 && !cuts.empty()) cut = std::min(frames - 1, cuts.back() + 1 + set % 3);
      if (std::find(cuts.begin(), cuts.end(), cut) == cuts.end()) cuts.push_back(cut);
      std::sort(cuts.begin(), cuts.end());
    }
    cuts.insert(cuts.begin(), 0);
    cuts.push_back(frames);
    std::vector<std::string> args = {"-q", "-d", Dir.File(dir + "/out"), "--continue"};
    for (std::size_t p = 0; p + 1 < cuts.size(); ++p) {
      TBytes part(tape.begin() + cuts[p] * frameBytes, tape.begin() + cuts[p + 1] * frameBytes);
      if (cuts[p + 1] % block != 0 && p + 2 < cuts.size()) ++offGrid;
      // A partial frame: the start of the next frame, which the next part
      // holds whole.
      if (p + 2 < cuts.size() && frameBytes > 1 && random() % 2 == 0) {
        const std::uint32_t extra = 1 + random() % (frameBytes - 1);
        part.insert(part.end(), tape.begin() + cuts[p + 1] * frameBytes,
                    tape.begin() + cuts[p + 1] * frameBytes + extra);
        ++partialFrames;
      }
      args.push_back(File(dir + "/p" + std::to_string(p + 1) + ".wav",
                          test::WavBytes(format, part)));
    }

    const test::TChildResult whole = Run({"-q", "-d", Dir.File(dir + "/out"), tapeName});
    ASSERT_EQ(whole.ExitStatus, 0) << whole.Err;
    const test::TChildResult parts = Run(args);
    ASSERT_EQ(parts.ExitStatus, 0) << parts.Err;
    TBytes joined;
    for (std::size_t p = 1; p < cuts.size(); ++p) {
      const TBytes data = Data(Dir.File(dir + "/out/p" + std::to_string(p) + "_dec.wav"));
      joined.insert(joined.end(), data.begin(), data.end());
    }
    const TBytes expected = Data(Dir.File(dir + "/out/tape_dec.wav"));
    ASSERT_EQ(joined.size(), expected.size()) << "set " << set;
    const auto differ = std::mismatch(joined.begin(), joined.end(), expected.begin());
    EXPECT_TRUE(differ.first == joined.end())
        << "set " << set << " (" << format.Channels << " channels at " << format.SampleRate
        << " Hz, cuts " << testing::PrintToString(cuts) << "): first difference at frame "
        << (differ.first - joined.begin()) / frameBytes;
  }
  EXPECT_GE(offGrid, kCutSets);
  EXPECT_GE(partialFrames, 5);
}

}  // namespace
}  // namespace zorv
