// SPDX-License-Identifier: GPL-3.0-or-later
// The fast arithmetic paths write the same files as the extended-precision
// reference: byte for byte in 16- and 24-bit integer formats, at most one
// sample in 100,000 one unit apart in 32-bit integer and float formats, and
// the same meter logs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
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

struct TCase {
  const char* name;
  TWavFormat format;
  std::uint32_t seconds10;  // length in tenths of a second
  std::vector<std::string> options;
};

class ArithmeticPaths : public testing::TestWithParam<TCase> {
 protected:
  // Decodes in with the given arithmetic (empty: --exact); output and log bytes.
  std::pair<TBytes, TBytes> Decode(const std::string& in, const std::string& arithmetic,
                                   const std::vector<std::string>& options) {
    const std::string tag = arithmetic.empty() ? "exact" : arithmetic;
    const std::string out = Dir.File(tag + ".wav");
    const std::string log = Dir.File(tag + ".csv");
    std::vector<std::string> args = {in, "-q", "-o", out, "--meter-log", log};
    args.insert(args.end(), options.begin(), options.end());
    if (arithmetic.empty()) {
      args.push_back("--exact");
      ::unsetenv(kArithmeticVariable);
    } else {
      ::setenv(kArithmeticVariable, arithmetic.c_str(), 1);
    }
    const test::TChildResult r = test::RunProgram(ZORV_DECODE_PATH, args, Dir.Path().string());
    ::unsetenv(kArithmeticVariable);
    EXPECT_EQ(r.ExitStatus, 0) << r.Err;
    return {test::ReadFile(out), test::ReadFile(log)};
  }

  test::TScratchDir Dir{ZORV_CLI_SCRATCH};
};

// Samples of the output that differ, and whether each differs by one unit in
// the last place of its format at the most.
struct TDiff {
  std::size_t samples = 0;
  std::size_t differing = 0;
  bool withinOneUnit = true;
};

TDiff Compare(const TBytes& a, const TBytes& b, const TWavFormat& f) {
  TDiff d;
  const std::size_t width = f.Bits / 8;
  for (std::size_t k = 44; k + width <= a.size() && k + width <= b.size(); k += width) {
    ++d.samples;
    if (std::memcmp(&a[k], &b[k], width) == 0) continue;
    ++d.differing;
    std::int64_t x = 0, y = 0;
    if (f.Tag == 3) {
      std::int32_t ia, ib;
      std::memcpy(&ia, &a[k], 4);
      std::memcpy(&ib, &b[k], 4);
      x = ia;  // neighbouring floats of one sign have neighbouring bit patterns
      y = ib;
    } else {
      for (std::size_t i = 0; i < width; ++i) {
        x |= static_cast<std::int64_t>(a[k + i]) << (8 * i);
        y |= static_cast<std::int64_t>(b[k + i]) << (8 * i);
      }
    }
    if (std::llabs(x - y) > 1) d.withinOneUnit = false;
  }
  return d;
}

TEST_P(ArithmeticPaths, WriteWhatTheReferenceWrites) {
  const TCase& c = GetParam();
  const std::string in = Dir.File("in.wav");
  test::WriteFile(
      in, test::WavBytes(c.format,
                         test::SignalBytes(c.format, c.format.SampleRate * c.seconds10 / 10, 7)));
  const auto [reference, referenceLog] = Decode(in, "", c.options);
  ASSERT_GT(reference.size(), 44u);
  for (TDecodePath path : {TDecodePath::Portable, TDecodePath::Avx2, TDecodePath::Avx512}) {
    if (!PathSupported(path)) continue;
    SCOPED_TRACE(std::string(PathName(path)));
    const auto [got, log] = Decode(in, std::string(PathName(path)), c.options);
    ASSERT_EQ(got.size(), reference.size());
    EXPECT_TRUE(log == referenceLog) << "meter logs differ";
    const TDiff d = Compare(got, reference, c.format);
    if (c.format.Tag == 1 && c.format.Bits <= 24) {
      EXPECT_EQ(d.differing, 0u) << "of " << d.samples;
    } else {
      EXPECT_LE(d.differing * 100000, d.samples) << "of " << d.samples;
      EXPECT_TRUE(d.withinOneUnit);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ArithmeticPaths,
    testing::Values(TCase{"Stereo16At44k", {1, 2, 44100, 16}, 10, {}},
                    TCase{"Stereo24At96k", {1, 2, 96000, 24}, 5, {"-l", "-20"}},
                    TCase{"Stereo32At48k", {1, 2, 48000, 32}, 5, {"-l", "-3.5"}},
                    TCase{"StereoFloatAt44k", {3, 2, 44100, 32}, 10, {}},
                    TCase{"Mono16At48k", {1, 1, 48000, 16}, 10, {"-l", "-30"}},
                    TCase{"DebugBandD24At44k", {1, 2, 44100, 24}, 5, {"--debug-band", "D"}},
                    TCase{"Stereo24At192k", {1, 2, 192000, 24}, 5, {"-l", "-20"}},
                    TCase{"Mono16At176k4", {1, 1, 176400, 16}, 5, {}},
                    TCase{"StereoFloatAt88k2", {3, 2, 88200, 32}, 5, {}},
                    TCase{"Stereo16At32k", {1, 2, 32000, 16}, 10, {"-l", "-3"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zorv
