// SPDX-License-Identifier: GPL-3.0-or-later
// --continue: the parts of one tape, cut anywhere, decode as the whole tape
// does; a part whose start cannot be known is refused, and a continued part
// says what it continued from.
#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/arithmetic.h"
#include "tests/cli/decode_fixture.h"
#include "tests/wav/wav_builder.h"
#include "wav/coding_history.h"

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
      args.push_back(
          File(dir + "/p" + std::to_string(p + 1) + ".wav", test::WavBytes(format, part)));
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

// Two parts of a mono tape, each long enough to be decoded in segments
// along time (on two cores), cut at a random frame: the second part's
// first chain starts from the state the first part's chains handed over,
// and the parts joined are the whole tape decoded as one chain.
TEST_F(Continue, PartsDecodedInSegmentsJoinToTheWholeTape) {
  const TWavFormat mono{1, 1, 44100, 16};
  const std::uint32_t frames = 330 * 44100;
  const TBytes tape = test::SignalBytes(mono, frames, 11);
  std::random_device device;
  const std::uint32_t seed = device();
  std::mt19937 random(seed);
  const std::uint32_t cut = 160 * 44100 + random() % (10 * 44100);
  SCOPED_TRACE(::testing::Message() << "cut at frame " << cut << " (seed " << seed << ")");
  const std::string a =
      File("a.wav", test::WavBytes(mono, TBytes(tape.begin(), tape.begin() + cut * 2)));
  const std::string b =
      File("b.wav", test::WavBytes(mono, TBytes(tape.begin() + cut * 2, tape.end())));
  const std::string whole = File("tape.wav", test::WavBytes(mono, tape));
  test::TChildOptions oneChain;
  oneChain.Environment = {std::string(kTimeSplitVariable) + "=0"};
  ASSERT_EQ(Run({"-q", "-d", Dir.File("out"), whole}, oneChain).ExitStatus, 0);
  const test::TChildResult parts =
      Run({"-d", Dir.File("out"), "--report", Dir.File("parts.jsonl"), "--continue", a, b});
  ASSERT_EQ(parts.ExitStatus, 0) << parts.Err;
  TBytes joined = Data(Dir.File("out/a_dec.wav"));
  const TBytes second = Data(Dir.File("out/b_dec.wav"));
  joined.insert(joined.end(), second.begin(), second.end());
  EXPECT_TRUE(joined == Data(Dir.File("out/tape_dec.wav")));
  const std::vector<nlohmann::json> lines = ReportLines(Dir.File("parts.jsonl"));
  ASSERT_EQ(lines.size(), 2u);
  // More cores take more segments a round: the parts are then too short to
  // split.
  if (std::thread::hardware_concurrency() == 2) {
    for (const nlohmann::json& line : lines) EXPECT_TRUE(line["time_split"].is_object()) << line;
  }
}

// A part whose start is unknown is refused, as --help says: after a part
// skipped (--skip-existing), missing, refused or of another format; every
// part after it too. The parts before are decoded as ever.
TEST_F(Continue, APartWithoutAKnownStartIsRefused) {
  const TWavFormat stereo{1, 2, 44100, 16};
  const TBytes tape = test::SignalBytes(stereo, 30000, 5);
  const auto part = [&](const std::string& name, std::uint32_t from, std::uint32_t to) {
    return File(name,
                test::WavBytes(stereo, TBytes(tape.begin() + from * 4, tape.begin() + to * 4)));
  };
  const std::string a = part("a.wav", 0, 10001), b = part("b.wav", 10001, 20000);
  const std::string c = part("c.wav", 20000, 30000);
  const auto line = [](const test::TChildResult& r, const std::string& text) {
    return r.Err.find(text) != std::string::npos;
  };

  // Skipped: b's output exists.
  std::filesystem::create_directories(Dir.File("s"));
  File("s/b_dec.wav", TBytes{'o', 'l', 'd'});
  test::TChildResult r = Run({"-d", Dir.File("s"), "--continue", "--skip-existing", a, b, c});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_TRUE(line(r, "zorv-decode: " + c + ": not continued: a part before it (" + b +
                          ") was skipped, so where this part begins is unknown\n"))
      << r.Err;
  EXPECT_TRUE(line(r, "1 decoded, 1 skipped, 1 refused")) << r.Err;
  EXPECT_TRUE(std::filesystem::exists(Dir.File("s/a_dec.wav")));
  EXPECT_FALSE(std::filesystem::exists(Dir.File("s/c_dec.wav")));
  EXPECT_EQ(ReadFile(Dir.File("s/b_dec.wav")), (TBytes{'o', 'l', 'd'}));

  // Missing, then refused (not a WAV file): every part behind is refused,
  // naming the first part that broke the tape.
  const std::string missing = Dir.File("nosuch.wav");
  const std::string junk = File("junk.wav", TBytes(100, 'x'));
  r = Run({"-d", Dir.File("m"), "--continue", a, missing, b, c});
  EXPECT_EQ(r.ExitStatus, 1);
  for (const std::string& after : {b, c}) {
    EXPECT_TRUE(line(r, "zorv-decode: " + after + ": not continued: a part before it (" + missing +
                            ") was missing, so where"))
        << r.Err;
  }
  r = Run({"-d", Dir.File("r"), "--continue", junk, a});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_TRUE(line(r, a + ": not continued: a part before it (" + junk + ") was refused")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(Dir.File("r/a_dec.wav")));

  // Another rate, channel count or sample format than the part before.
  const std::vector<std::pair<TWavFormat, std::string>> others = {
      {{1, 2, 48000, 16}, "48000 Hz, 2 channels, 16-bit integer"},
      {{1, 1, 44100, 16}, "44100 Hz, 1 channel, 16-bit integer"},
      {{1, 2, 44100, 24}, "44100 Hz, 2 channels, 24-bit integer"},
      {{3, 2, 44100, 32}, "44100 Hz, 2 channels, 32-bit float"},
  };
  for (std::size_t i = 0; i < others.size(); ++i) {
    const std::string other =
        File(std::string("other").append(std::to_string(i)) + ".wav",
             test::WavBytes(others[i].first, test::SignalBytes(others[i].first, 5000)));
    const std::string dir = Dir.File(std::string("f").append(std::to_string(i)));
    r = Run({"-d", dir, "--continue", a, other, c});
    EXPECT_EQ(r.ExitStatus, 1);
    EXPECT_TRUE(line(r, "zorv-decode: " + other + ": not continued: " + others[i].second +
                            " after 44100 Hz, 2 channels, 16-bit integer (" + a + ")\n"))
        << r.Err;
    EXPECT_TRUE(line(r, c + ": not continued: a part before it (" + other + ") was refused"))
        << r.Err;
    EXPECT_FALSE(std::filesystem::exists(
        std::filesystem::path(dir) / (std::filesystem::path(other).stem().string() + "_dec.wav")));
  }
}

// A 16-bit stereo tape: a 1 kHz tone for kTone frames at the channels'
// levels (dBFS), then the signal, kFrames in all.
constexpr std::uint32_t kTone = 3 * 44100, kFrames = kTone + 30000;
TBytes TapeWithTone(double leftDb, double rightDb) {
  TBytes tape = test::SignalBytes({1, 2, 44100, 16}, kFrames, 9);
  for (int c = 0; c < 2; ++c) {
    const double amplitude = 32767.0 * std::pow(10.0, (c == 0 ? leftDb : rightDb) / 20.0);
    for (std::uint32_t i = 0; i < kTone; ++i) {
      const auto v = static_cast<std::int16_t>(
          std::lround(amplitude * std::sin(2 * M_PI * 1000.0 * i / 44100)));
      tape[i * 4 + c * 2] = static_cast<std::uint8_t>(v & 0xFF);
      tape[i * 4 + c * 2 + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    }
  }
  return tape;
}

// A continued part says so: its report line names the part before and the
// MD5 that part's line states, its CodingHistory line ends in "continued
// from the previous part"; the first part's say nothing of it. With -l tone
// the first part's tone is every part's level (the later parts have none).
TEST_F(Continue, AContinuedPartSaysWhatItContinuedFrom) {
  // A 1 kHz tone at -14 dBFS for 3 s, then the signal; cut inside the signal.
  const TBytes tape = TapeWithTone(-14.0, -14.0);
  const auto part = [&](const std::string& name, std::uint32_t from, std::uint32_t to) {
    return File(name, test::TWavBuilder()
                          .Chunk("bext", test::BextBody("reel 1", "A=ANALOGUE,M=stereo\r\n"))
                          .Chunk("fmt ", test::FmtBody(1, 2, 44100, 16))
                          .Chunk("data", TBytes(tape.begin() + from * 4, tape.begin() + to * 4))
                          .Bytes());
  };
  const std::string a = part("a.wav", 0, kTone + 12345);
  const std::string b = part("b.wav", kTone + 12345, kTone + 20000);
  const std::string c = part("c.wav", kTone + 20000, kFrames);
  const std::string whole = part("tape.wav", 0, kFrames);
  const std::string report = Dir.File("report.jsonl");
  test::TChildResult r =
      Run({"-q", "-d", Dir.File("out"), "-l", "tone", "--continue", "--report", report, a, b, c});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  const std::vector<nlohmann::json> lines = ReportLines(report);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_FALSE(lines[0].contains("continued_from"));
  EXPECT_EQ(lines[1]["continued_from"], a);
  EXPECT_EQ(lines[1]["continued_from_md5"], lines[0]["md5"]);
  EXPECT_EQ(lines[2]["continued_from"], b);
  EXPECT_EQ(lines[2]["continued_from_md5"], lines[1]["md5"]);
  for (const nlohmann::json& each : lines) {
    EXPECT_EQ(each["status"], "decoded");
    EXPECT_EQ(each["reference_level_db"], lines[0]["reference_level_db"]);
  }
  EXPECT_NEAR(lines[0]["reference_level_db"].get<double>(), -14.0, 0.51);

  const auto history = [](const std::string& path) {
    const auto chunks = ParseChunks(ReadFile(path));
    return chunks && chunks->Find("bext") ? CodingHistoryText(chunks->Find("bext")->Body)
                                          : std::string();
  };
  const std::string first = history(Dir.File("out/a_dec.wav"));
  EXPECT_EQ(first.find("continued"), std::string::npos) << first;
  for (const char* name : {"out/b_dec.wav", "out/c_dec.wav"}) {
    const std::string text = history(Dir.File(name));
    EXPECT_NE(text.find(";continued from the previous part\r\n"), std::string::npos) << text;
  }
  // The parts at the first part's level are the tape's decode at its tone's.
  ASSERT_EQ(Run({"-q", "-d", Dir.File("out"), "-l", "tone", whole}).ExitStatus, 0);
  TBytes joined;
  for (const char* name : {"out/a_dec.wav", "out/b_dec.wav", "out/c_dec.wav"}) {
    const TBytes data = Data(Dir.File(name));
    joined.insert(joined.end(), data.begin(), data.end());
  }
  EXPECT_TRUE(joined == Data(Dir.File("out/tape_dec.wav")));
}

// -l tone --per-channel with --continue: each channel keeps the level of its
// own tone in the first part through every part, and the parts joined are
// the whole tape's decode at those levels.
TEST_F(Continue, EachChannelKeepsItsFirstPartsToneLevel) {
  const TBytes tape = TapeWithTone(-14.0, -20.0);
  const auto part = [&](const std::string& name, std::uint32_t from, std::uint32_t to) {
    return File(name, test::TWavBuilder()
                          .Chunk("fmt ", test::FmtBody(1, 2, 44100, 16))
                          .Chunk("data", TBytes(tape.begin() + from * 4, tape.begin() + to * 4))
                          .Bytes());
  };
  const std::vector<std::string> parts = {part("a.wav", 0, kTone + 4321),
                                          part("b.wav", kTone + 4321, kTone + 17777),
                                          part("c.wav", kTone + 17777, kFrames)};
  const std::string whole = part("tape.wav", 0, kFrames);
  const std::string report = Dir.File("report.jsonl");
  std::vector<std::string> args = {
      "-q", "-d", Dir.File("out"), "-l", "tone", "--per-channel", "--continue", "--report", report};
  args.insert(args.end(), parts.begin(), parts.end());
  const test::TChildResult r = Run(args);
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  const std::vector<nlohmann::json> lines = ReportLines(report);
  ASSERT_EQ(lines.size(), 3u);
  const nlohmann::json levels = lines[0]["reference_levels_db"];
  ASSERT_EQ(levels.size(), 2u);
  EXPECT_NEAR(levels[0].get<double>(), -14.0, 0.51);
  EXPECT_NEAR(levels[1].get<double>(), -20.0, 0.51);
  for (const nlohmann::json& each : lines) EXPECT_EQ(each["reference_levels_db"], levels);

  ASSERT_EQ(Run({"-q", "-d", Dir.File("out"), "-l", "tone", "--per-channel", whole}).ExitStatus, 0);
  TBytes joined;
  for (const char* name : {"out/a_dec.wav", "out/b_dec.wav", "out/c_dec.wav"}) {
    const TBytes data = Data(Dir.File(name));
    joined.insert(joined.end(), data.begin(), data.end());
  }
  EXPECT_TRUE(joined == Data(Dir.File("out/tape_dec.wav")));
}

}  // namespace
}  // namespace zorv
