// SPDX-License-Identifier: GPL-3.0-or-later
// A read that fails or finds the file cut short, at every read of every pass
// that measures before (or instead of) a decode: the tone search and the
// level-range pass of --measure-level, the tone search of -l tone (with and
// without --per-channel). Each run either gives what a clean run gives, or
// fails with the system's reason and keeps nothing; never a measurement of
// part of the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <random>

#include "tests/app/tone_material.h"
#include "tests/cli/decode_fixture.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TBytes;
using test::TChildResult;

// Every read; under the sanitizers, whose runs take ten times as long,
// every fifth from a random first one, which still meets both passes often.
#ifdef __SANITIZE_ADDRESS__
constexpr int kStride = 5;
#else
constexpr int kStride = 1;
#endif

constexpr const char* kFailedRead = "ZORV_FAULT_READ_FAIL_NTH=";
constexpr const char* kEarlyEnd = "ZORV_FAULT_READ_END_NTH=";

class MeasureFaults : public test::DecodeTest {
 protected:
  void SetUp() override {
    // 3.5 s of mono: 35 blocks in each pass.
    const auto tape =
        test::TChannelBuilder(44100, 3).Silence(0.5).Tone(1000, -14.3, 2.5).Music(0.5);
    File("tape.wav", test::ToneFile({1, 1, 44100, 16}, tape.Samples, nullptr));
  }

  // In the scratch folder, with and without a fault.
  TChildResult Here(const std::vector<std::string>& args, test::TChildOptions options = {}) {
    options.WorkingDirectory = Dir.Path().string();
    return Run(args, options);
  }
  TChildResult Faulty(const std::vector<std::string>& args, const std::string& fault) {
    fs::remove(Mark());
    return Here(args,
                test::WithFaults({fault, "ZORV_FAULT_PATH=tape.wav", "ZORV_FAULT_MARK=" + Mark()}));
  }
  std::string Mark() const { return Dir.File("child-fault-mark"); }

  static std::string Reason(const std::string& setting) {
    return setting == kFailedRead ? "Input/output error"
                                  : "the input file became shorter during the decode";
  }

  // Injects the fault at read 1, 2, ... until a run meets none; check sees
  // each run before its files are removed. The number of runs that failed.
  template <class TCheck>
  int EveryRead(const std::vector<std::string>& args, const std::string& setting, TCheck check) {
    int failed = 0;
    bool reachedEnd = false;
    const int first = std::uniform_int_distribution<int>(1, kStride)(Random);
    for (int n = first; n < 300 && !reachedEnd; n += kStride) {
      SCOPED_TRACE(setting + std::to_string(n));
      const TChildResult r = Faulty(args, setting + std::to_string(n));
      reachedEnd = !fs::exists(Mark());
      if (reachedEnd) {
        EXPECT_EQ(r.ExitStatus, 0) << r.Err;
      }
      failed += r.ExitStatus != 0 ? 1 : 0;
      check(r);
      fs::remove(Dir.File("r.jsonl"));
      fs::remove(Dir.File("out.wav"));
    }
    EXPECT_TRUE(reachedEnd);
    std::cout << "[ measured ] " << args.front() << " " << setting << ": " << failed
              << " runs failed\n";
    return failed * kStride;
  }

  std::mt19937 Random{std::random_device{}()};
};

// Both passes of --measure-level: the line, the exit status and the report
// are the clean run's, or the refusal of an unreadable input.
TEST_F(MeasureFaults, EveryReadOfTheMeasurementIsChecked) {
  const std::vector<std::string> args = {"--measure-level", "--report", "r.jsonl", "tape.wav"};
  const TChildResult clean = Here(args);
  ASSERT_EQ(clean.ExitStatus, 0) << clean.Err;
  const TBytes cleanReport = ReadFile(Dir.File("r.jsonl"));
  fs::remove(Dir.File("r.jsonl"));
  ASSERT_NE(clean.Out.find("reference level -14.3 dB; levels"), std::string::npos) << clean.Out;

  for (const std::string setting : {kFailedRead, kEarlyEnd}) {
    const int failed = EveryRead(args, setting, [&](const TChildResult& r) {
      const TBytes bytes = ReadFile(Dir.File("r.jsonl"));
      const auto report = nlohmann::json::parse(bytes.begin(), bytes.end());
      if (r.ExitStatus == 0) {
        EXPECT_EQ(r.Out, clean.Out);
        EXPECT_EQ(report["level_range_db"], nlohmann::json::parse(cleanReport)["level_range_db"]);
        return;
      }
      EXPECT_EQ(r.ExitStatus, 1);
      EXPECT_EQ(r.Out, "") << "nothing measured";
      EXPECT_EQ(r.Err, "zorv-decode: tape.wav: cannot read: " + Reason(setting) + "\n");
      EXPECT_EQ(report["status"], "refused");
      EXPECT_EQ(report["no_level_reason"], "unreadable");
      EXPECT_EQ(report["level_range_db"], nullptr);
    });
    // Every read of the samples in both passes (an estimate with a stride).
    EXPECT_GE(failed, 66);
  }
}

// -l tone and -l tone --per-channel: the decode is the clean one, or none.
TEST_F(MeasureFaults, EveryReadOfTheToneSearchBeforeADecodeIsChecked) {
  for (const bool perChannel : {false, true}) {
    std::vector<std::string> args = {"-l", "tone", "tape.wav", "-o", "out.wav"};
    if (perChannel) args.push_back("--per-channel");
    const TChildResult clean = Here(args);
    ASSERT_EQ(clean.ExitStatus, 0) << clean.Err;
    const TBytes reference = ReadFile(Dir.File("out.wav"));
    fs::remove(Dir.File("out.wav"));

    for (const std::string setting : {kFailedRead, kEarlyEnd}) {
      const int failed = EveryRead(args, setting, [&](const TChildResult& r) {
        if (r.ExitStatus == 0) {
          EXPECT_EQ(ReadFile(Dir.File("out.wav")), reference);
          return;
        }
        EXPECT_EQ(r.ExitStatus, 1);
        EXPECT_EQ(Names(), std::set<std::string>{"tape.wav"}) << "nothing kept";
        EXPECT_NE(r.Err.find("zorv-decode: tape.wav: cannot read: " + Reason(setting) + "\n"),
                  std::string::npos)
            << r.Err;
      });
      // The tone search's reads and the decode's.
      EXPECT_GE(failed, 66);
    }
  }
}

}  // namespace
}  // namespace zorv
