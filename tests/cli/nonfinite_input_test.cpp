// SPDX-License-Identifier: GPL-3.0-or-later
// Float inputs holding samples the decoder must not see as they are: NaN and
// infinities are decoded as silence, magnitudes above +60 dBFS as +60 dBFS.
// On every arithmetic path and for 1 to 64 channels, the output is the
// decode of the same input with those samples so replaced, byte for byte
// (so no output sample is ever NaN or infinite and nothing around them is
// disturbed), and the run says how many there were and where the first was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/arithmetic.h"
#include "dsp/decode_path.h"
#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tools/wav_test_file.h"

namespace zorv {
namespace {

using test::TBytes;
using test::TWavFormat;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A sample to overwrite; channel -1 is every channel of the frame.
struct TPoke {
  std::uint32_t frame;
  int channel;
  float value;
};

float Sanitised(float value) {
  if (!std::isfinite(value)) return 0.0F;
  return std::fabs(value) > 1000.0F ? std::copysign(1000.0F, value) : value;
}

TBytes Poked(TBytes data, const TWavFormat& f, const std::vector<TPoke>& pokes, bool sanitise) {
  for (const TPoke& p : pokes) {
    for (int c = 0; c < f.Channels; ++c) {
      if (p.channel >= 0 && p.channel != c) continue;
      const float value = sanitise ? Sanitised(p.value) : p.value;
      std::memcpy(&data[(std::size_t{p.frame} * f.Channels + c) * 4], &value, 4);
    }
  }
  return data;
}

// How many samples the pokes make non-finite and too loud, and the first frame of each.
struct TExpected {
  std::uint64_t nonFinite = 0, clamped = 0;
  std::uint32_t firstNonFinite = UINT32_MAX, firstClamped = UINT32_MAX;
};

TExpected Expect(const TWavFormat& f, const std::vector<TPoke>& pokes) {
  TExpected e;
  for (const TPoke& p : pokes) {
    const std::uint64_t n = p.channel < 0 ? f.Channels : 1;
    if (!std::isfinite(p.value)) {
      e.nonFinite += n;
      e.firstNonFinite = std::min(e.firstNonFinite, p.frame);
    } else if (std::fabs(p.value) > 1000.0F) {
      e.clamped += n;
      e.firstClamped = std::min(e.firstClamped, p.frame);
    }
  }
  return e;
}

std::string TimeOf(std::uint32_t frame, std::uint32_t rate) {
  const std::uint64_t ms = std::uint64_t{frame} * 1000 / rate;
  char text[32];
  std::snprintf(
      text, sizeof text, "%llu:%02llu.%03llu", static_cast<unsigned long long>(ms / 60000),
      static_cast<unsigned long long>(ms / 1000 % 60), static_cast<unsigned long long>(ms % 1000));
  return text;
}

// Every output sample of a float WAV (after the canonical 44-byte header) is finite.
std::size_t NonFiniteSamples(const TBytes& file) {
  std::size_t bad = 0;
  for (std::size_t k = 44; k + 4 <= file.size(); k += 4) {
    float x;
    std::memcpy(&x, &file[k], 4);
    bad += !std::isfinite(x);
  }
  return bad;
}

class NonFiniteInput : public testing::Test {
 protected:
  std::string File(const std::string& name, const TBytes& bytes) {
    const std::string path = Dir.File(name);
    test::WriteFile(path, bytes);
    return path;
  }
  test::TChildResult Run(const std::vector<std::string>& args, const test::TChildOptions& options) {
    return test::RunProgram(ZORV_DECODE_PATH, args, Dir.Path().string(), options);
  }

  struct TDecode {
    test::TChildResult result;
    TBytes output;
    nlohmann::json report;
  };
  TDecode Decode(const std::string& in, const std::string& tag, TDecodePath path,
                 const std::vector<std::string>& extra = {}) {
    const std::string out = Dir.File(tag + "-decoded.wav");
    const std::string report = Dir.File(tag + ".jsonl");
    std::vector<std::string> args = {in, "-f", "-o", out, "--report", report};
    args.insert(args.end(), extra.begin(), extra.end());
    test::TChildOptions options;
    options.Environment = {std::string(kArithmeticVariable) + "=" + std::string(PathName(path))};
    TDecode d;
    d.result = Run(args, options);
    d.output = test::ReadFile(out);
    const TBytes line = test::ReadFile(report);
    d.report = nlohmann::json::parse(std::string(line.begin(), line.end()), nullptr, false);
    return d;
  }

  test::TScratchDir Dir{ZORV_CLI_SCRATCH};
};

TEST_F(NonFiniteInput, DecodedAsTheSameInputWithThoseSamplesReplaced) {
  for (const std::uint16_t channels : {1, 2, 5, 64}) {
    const TWavFormat f{3, channels, 48000, 32};
    // Short for many channels; still several of the run's blocks.
    const std::uint32_t frames = channels > 8 ? 12000 : 48000;
    // At the start, inside the first block, a long stretch of NaN, single
    // channels, around where blocks meet, and the last frame.
    const std::vector<TPoke> pokes = {
        {0, -1, kNaN},
        {1234, 0, kInf},
        {2000, -1, 3.4e38F},
        {2001, -1, -1e30F},
        {frames / 3, -1, kNaN},
        {frames / 3 + 1, -1, kNaN},
        {frames / 3 + 2, -1, -kInf},
        {frames / 2, static_cast<int>(channels - 1), -kNaN},
        {frames / 2 + 7, static_cast<int>(channels / 2), 1001.0F},
        {frames / 2 + 8, -1, 1000.0F},  // at the limit: taken as it is
        {frames - 4800, -1, kInf},
        {frames - 4799, -1, 1e30F},
        {frames - 1, -1, -3.4e38F},
    };
    const TBytes data = test::SignalBytes(f, frames, channels);
    const std::string poisoned =
        File("poisoned.wav", test::WavBytes(f, Poked(data, f, pokes, false)));
    const std::string clean = File("clean.wav", test::WavBytes(f, Poked(data, f, pokes, true)));
    const TExpected e = Expect(f, pokes);
    const std::string nonFiniteLine = std::to_string(e.nonFinite) +
                                      " non-finite input samples decoded as silence, first at " +
                                      TimeOf(e.firstNonFinite, f.SampleRate);
    const std::string clampedLine = std::to_string(e.clamped) +
                                    " input samples above +60 dBFS clamped to +60 dBFS, first at " +
                                    TimeOf(e.firstClamped, f.SampleRate);
    for (const TDecodePath path :
         {TDecodePath::Extended, TDecodePath::Portable, TDecodePath::Avx2, TDecodePath::Avx512}) {
      if (!PathSupported(path)) continue;
      SCOPED_TRACE(std::to_string(channels) + " channels, " + std::string(PathName(path)));
      const TDecode got = Decode(poisoned, "poisoned", path);
      const TDecode want = Decode(clean, "clean", path);
      ASSERT_EQ(got.result.ExitStatus, 0) << got.result.Err;
      ASSERT_EQ(want.result.ExitStatus, 0) << want.result.Err;
      ASSERT_EQ(got.output.size(), 44 + std::size_t{frames} * channels * 4);
      EXPECT_EQ(NonFiniteSamples(got.output), 0u);
      EXPECT_TRUE(got.output == want.output) << "not the decode of the sanitised input";
      // Said on the terminal and in the report, as a warning; the clean input warns of nothing.
      EXPECT_NE(got.result.Err.find(nonFiniteLine), std::string::npos) << got.result.Err;
      EXPECT_NE(got.result.Err.find(clampedLine), std::string::npos) << got.result.Err;
      EXPECT_EQ(want.result.Err.find("input sample"), std::string::npos) << want.result.Err;
      ASSERT_TRUE(got.report.is_object());
      EXPECT_EQ(got.report["status"], "decoded");
      const std::string message = got.report["message"];
      EXPECT_NE(message.find(nonFiniteLine), std::string::npos) << message;
      EXPECT_NE(message.find(clampedLine), std::string::npos) << message;
      // The peak is that of what was decoded: far below what 3.4e38 would give.
      ASSERT_TRUE(got.report["peak_dbfs"].is_number());
      EXPECT_LT(got.report["peak_dbfs"].get<double>(), 100.0);
      EXPECT_EQ(got.report["peak_dbfs"], want.report["peak_dbfs"]);
    }
  }
}

// Quiet: the warning is still said; the meter log shows what was decoded.
TEST_F(NonFiniteInput, QuietStillWarnsAndTheMeterLogShowsWhatWasDecoded) {
  const TWavFormat f{3, 2, 44100, 32};
  const std::uint32_t frames = 44100;
  const std::vector<TPoke> pokes = {{22050, -1, kNaN}, {22051, 1, kInf}, {30000, 0, 1e30F}};
  const TBytes data = test::SignalBytes(f, frames, 3);
  const std::string poisoned =
      File("poisoned.wav", test::WavBytes(f, Poked(data, f, pokes, false)));
  const std::string clean = File("clean.wav", test::WavBytes(f, Poked(data, f, pokes, true)));
  const TDecodePath path = FastestPath();
  const TDecode got = Decode(poisoned, "poisoned", path, {"-q", "--meter-log", Dir.File("p.csv")});
  const TDecode want = Decode(clean, "clean", path, {"-q", "--meter-log", Dir.File("c.csv")});
  ASSERT_EQ(got.result.ExitStatus, 0) << got.result.Err;
  const std::string& all = got.result.Err;
  EXPECT_NE(all.find("3 non-finite input samples decoded as silence, first at 0:00.500"),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("1 input sample above +60 dBFS clamped to +60 dBFS, first at 0:00.680"),
            std::string::npos)
      << all;
  EXPECT_TRUE(got.output == want.output);
  EXPECT_TRUE(test::ReadFile(Dir.File("p.csv")) == test::ReadFile(Dir.File("c.csv")));
}

}  // namespace
}  // namespace zorv
