// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-decode on a file long enough to be decoded in segments along time
// (by default and with ZORV_TIME_SPLIT=1): the output and the meter log the
// same as without the split (ZORV_TIME_SPLIT=0) and on one thread, the segments named in the
// summary and the report; a pipe of the same bytes is never split.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "app/arithmetic.h"
#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tools/wav_test_file.h"

namespace zorv {
namespace {

using test::ReadFile;
using test::TBytes;

class TimeSplitCli : public ::testing::Test {
 protected:
  test::TScratchDir Dir{ZORV_CLI_SCRATCH};

  struct TDecoded {
    TBytes Output, Log;
    nlohmann::json Report;
    std::string Err;
  };
  TDecoded Decode(const std::string& in, const std::string& tag,
                  const std::vector<std::string>& environment) {
    const std::string out = Dir.File(tag + ".wav");
    const std::string log = Dir.File(tag + ".csv");
    const std::string report = Dir.File(tag + ".jsonl");
    test::TChildOptions options;
    options.Environment = environment;
    const test::TChildResult r = test::RunProgram(
        ZORV_DECODE_PATH, {in, "-f", "-o", out, "--meter-log", log, "--report", report},
        Dir.Path().string(), options);
    EXPECT_EQ(r.ExitStatus, 0) << r.Err;
    const TBytes line = ReadFile(report);
    return {ReadFile(out), ReadFile(log),
            nlohmann::json::parse(std::string(line.begin(), line.end())), r.Err};
  }
};

TEST_F(TimeSplitCli, ASplitFileDecodesAsTheWholeChainAndSaysSo) {
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one core: no pool, no split";
  // 160 s of mono: with fewer channels than cores, rounds of 30 s segments.
  const test::TWavFormat format{1, 1, 44100, 16};
  const std::string in = Dir.File("long.wav");
  test::WriteFile(in, test::WavBytes(format, test::SignalBytes(format, 160 * 44100, 3)));
  const TDecoded split = Decode(in, "split", {std::string(kTimeSplitVariable) + "=1"});
  const TDecoded whole = Decode(in, "whole", {std::string(kTimeSplitVariable) + "=0"});
  const TDecoded one = Decode(in, "one", {std::string(kWorkersVariable) + "=0"});
  const TDecoded plain = Decode(in, "plain", {});  // on unless turned off
  EXPECT_TRUE(whole.Report["time_split"].is_null());
  EXPECT_EQ(plain.Report["time_split"], split.Report["time_split"]);
  EXPECT_TRUE(plain.Output == whole.Output);
  EXPECT_TRUE(split.Output == whole.Output);
  EXPECT_TRUE(split.Log == whole.Log);
  EXPECT_TRUE(one.Output == whole.Output);
  EXPECT_TRUE(one.Log == whole.Log);
  EXPECT_EQ(split.Report["md5"], whole.Report["md5"]);

  // More cores take more segments a round: 160 s are then too short to split.
  if (std::thread::hardware_concurrency() > 2) return;
  ASSERT_TRUE(split.Report["time_split"].is_object()) << split.Report.dump();
  const nlohmann::json& facts = split.Report["time_split"];
  EXPECT_GE(facts["segments"].get<int>(), 2);
  // Every round's segments after its first join or fall back.
  const std::size_t segments = facts["segments"].get<std::size_t>();
  const std::size_t ends =
      facts["joined_after_seconds"].size() + facts["not_joined"].get<std::size_t>();
  EXPECT_GE(segments, 2u);
  EXPECT_GE(ends, 1u);
  EXPECT_LT(ends, segments);
  EXPECT_GT(facts["redone_seconds"].get<double>(), 0.0);
  EXPECT_NE(split.Err.find(std::to_string(facts["segments"].get<int>()) + " segments"),
            std::string::npos)
      << split.Err;
  EXPECT_TRUE(whole.Report["time_split"].is_null());
  EXPECT_EQ(whole.Err.find("segments"), std::string::npos) << whole.Err;
  EXPECT_TRUE(one.Report["time_split"].is_null());

  // The same bytes through a pipe: a stream is read once, never split.
  const std::string report = Dir.File("pipe.jsonl");
  const test::TChildResult r = test::RunProgram(
      "/bin/sh",
      {"-c", "cat '" + in + "' | ZORV_TIME_SPLIT=1 '" + ZORV_DECODE_PATH + "' -q -f -o '" +
                 Dir.File("pipe.wav") + "' --report '" + report + "' -"},
      Dir.Path().string());
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  const TBytes line = ReadFile(report);
  const auto piped = nlohmann::json::parse(std::string(line.begin(), line.end()));
  EXPECT_TRUE(piped["time_split"].is_null());
  EXPECT_EQ(piped["md5"], whole.Report["md5"]);
}

}  // namespace
}  // namespace zorv
