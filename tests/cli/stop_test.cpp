// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever stops zorv-decode, the final name holds a complete output or
// nothing: signals mid-run, SIGKILL, a stderr that goes away, a stop while
// thousands of inputs are being checked.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "tests/cli/decode_fixture.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TBytes;
using test::TChildResult;

constexpr std::uint32_t kBlockBytes = 17640;  // 100 ms of 16-bit stereo at 44.1 kHz
constexpr std::uint32_t kLongBytes = 10 * 44100 * 4;

class Stop : public test::DecodeTest {
 protected:
  // Reads of the input slowed down, so that a signal comes mid-run.
  test::TChildOptions Slow() {
    return test::WithFaults({"ZORV_FAULT_PATH=long.wav", "ZORV_FAULT_READ_DELAY_US=3000"});
  }
};

TEST_F(Stop, EveryTerminatingSignalKeepsTheDecodedPartUnderThePartialName) {
  const std::string in = LongWav("long.wav");
  const std::string out = Dir.File("long_dec.wav");
  const std::string partial = Dir.File("long_dec.partial.wav");
  for (const int signal :
       {SIGHUP, SIGINT, SIGTERM, SIGPIPE, SIGUSR1, SIGUSR2, SIGQUIT, SIGXCPU, SIGXFSZ}) {
    fs::remove(partial);
    test::TChildProcess child(ZORV_DECODE_PATH, {in}, Dir.Path().string(), Slow());
    ASSERT_TRUE(WaitForTemporaryOutput(44 + 3 * kBlockBytes));
    child.Signal(signal);
    const TChildResult r = child.Wait();
    EXPECT_EQ(child.TermSignal(), 0) << strsignal(signal);
    EXPECT_EQ(r.ExitStatus, 128 + signal) << strsignal(signal);
    EXPECT_EQ(r.Err.substr(0, r.Err.find("elapsed")), in + " -> " + out + "\naborted\n") << r.Err;
    EXPECT_NE(r.Err.find("\nInterrupted; what was decoded is in: " + partial + "\n"),
              std::string::npos)
        << r.Err;
    EXPECT_EQ(Names(), (std::set<std::string>{"long.wav", "long_dec.partial.wav"}))
        << strsignal(signal);
    const TBytes file = ReadFile(partial);
    const auto image = test::ParseCanonical(file);
    ASSERT_TRUE(image) << strsignal(signal);
    EXPECT_EQ(image->RiffSize, file.size() - 8);
    EXPECT_EQ(image->DataSize, image->Data.size());
    EXPECT_GE(image->DataSize, 3u * kBlockBytes);
    EXPECT_LT(image->DataSize, kLongBytes) << "the whole input was decoded";
    EXPECT_EQ(image->DataSize % kBlockBytes, 0u) << "ended on a block";
  }
}

// SIGKILL cannot be answered: the decode in progress is a temporary file
// whose name says so, and the final name holds nothing.
TEST_F(Stop, KillLeavesNothingUnderTheFinalName) {
  const std::string in = LongWav("long.wav");
  test::TChildProcess child(ZORV_DECODE_PATH, {in}, Dir.Path().string(), Slow());
  ASSERT_TRUE(WaitForTemporaryOutput(44 + 3 * kBlockBytes));
  child.Signal(SIGKILL);
  child.Wait();
  EXPECT_EQ(child.TermSignal(), SIGKILL);
  const std::set<std::string> names = Names();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_TRUE(names.contains("long.wav"));
  EXPECT_TRUE(names.rbegin()->starts_with("long_dec.wav.incomplete-")) << *names.rbegin();
  EXPECT_FALSE(fs::exists(Dir.File("long_dec.wav")));
}

// With -f, an interrupted decode leaves the earlier output as it was.
TEST_F(Stop, AnInterruptedReplacementKeepsTheEarlierOutput) {
  const std::string in = LongWav("long.wav");
  const std::string out = File("long_dec.wav", {'o', 'l', 'd'});
  test::TChildProcess child(ZORV_DECODE_PATH, {"-f", in}, Dir.Path().string(), Slow());
  ASSERT_TRUE(WaitForTemporaryOutput(44 + 3 * kBlockBytes));
  child.Signal(SIGINT);
  const TChildResult r = child.Wait();
  EXPECT_EQ(r.ExitStatus, 130);
  EXPECT_EQ(ReadFile(out), (TBytes{'o', 'l', 'd'}));
  EXPECT_TRUE(fs::exists(Dir.File("long_dec.partial.wav")));
  EXPECT_EQ(Names().size(), 3u);
}

// A stderr whose reader has gone (a pipe into "head -c 1") or that is closed
// is a write error: the decodes go on to complete outputs, the program is not
// killed by SIGPIPE, and the status says that not everything went well.
TEST_F(Stop, AStderrThatGoesAwayIsAWriteErrorNotADeath) {
  const test::TWavFormat stereo{};
  const std::string a = Wav("a.wav", stereo, 3000, 1);
  const std::string b = Wav("b.wav", stereo, 9000, 2);
  const std::string c = Wav("c.wav", stereo, 2000, 3);
  for (const test::TStderr mode : {test::TStderr::DeadPipe, test::TStderr::Closed}) {
    for (const char* name : {"a_dec.wav", "b_dec.wav", "c_dec.wav"}) fs::remove(Dir.File(name));
    test::TChildOptions options;
    options.Stderr = mode;
    test::TChildProcess child(ZORV_DECODE_PATH, {"-j", "2", a, b, c}, Dir.Path().string(), options);
    const TChildResult r = child.Wait();
    EXPECT_EQ(child.TermSignal(), 0) << "killed by a signal";
    EXPECT_EQ(r.ExitStatus, 1) << "the reports could not be written";
    test::ExpectValidWav(Dir.File("a_dec.wav"), 3000 * 4);
    test::ExpectValidWav(Dir.File("b_dec.wav"), 9000 * 4);
    test::ExpectValidWav(Dir.File("c_dec.wav"), 2000 * 4);
  }
  // With -q a plain success has nothing to write: no write error.
  test::TChildOptions dead;
  dead.Stderr = test::TStderr::DeadPipe;
  fs::remove(Dir.File("a_dec.wav"));
  EXPECT_EQ(Run({"-q", a}, dead).ExitStatus, 0);
  test::ExpectValidWav(Dir.File("a_dec.wav"), 3000 * 4);
}

// Ten thousand inputs: a stop while they are checked against each other or
// refused one by one ends the program with the signal's status, and nothing
// is created.
TEST_F(Stop, ThousandsOfInputsAreStoppedInEveryPhase) {
  std::vector<std::string> inputs;
  for (int i = 0; i < 10000; ++i) {
    inputs.push_back(Dir.File(std::to_string(i).append(".wav")));
    test::WriteFile(inputs.back(), {});
  }
  // Sent before the program has started: it waits, blocked, and is the first
  // thing the program sees.
  test::TChildOptions early;
  early.BlockedSignals = {SIGTERM};
  test::TChildProcess first(ZORV_DECODE_PATH, inputs, Dir.Path().string(), early);
  first.Signal(SIGTERM);
  TChildResult r = first.Wait();
  EXPECT_EQ(r.ExitStatus, 143);
  EXPECT_EQ(r.Err, "") << "stopped before any input was looked at";
  // Later, in whatever phase the program is then; a run that was over
  // before the signal came has the status of 10,000 refusals.
  for (const int delayMs : {20, 100}) {
    test::TChildProcess child(ZORV_DECODE_PATH, inputs, Dir.Path().string(), early);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    child.Signal(SIGTERM);
    r = child.Wait();
    EXPECT_EQ(child.TermSignal(), 0) << delayMs << " ms";
    EXPECT_TRUE(r.ExitStatus == 143 || r.ExitStatus == 1) << r.ExitStatus;
    EXPECT_EQ(Names().size(), 10000u) << "nothing was created";
  }
}

// --measure-level stopped in either of its passes over an input (the tone
// search over the first 2 s, then the decode of all 10 s for the range of
// levels, each read slowed down): nothing measured is said, and the report
// says "interrupted" for it and for the input not begun.
TEST_F(Stop, AMeasurementStoppedInEitherPassIsInterrupted) {
  LongWav("long.wav");
  Wav("other.wav", {}, 3000);
  std::mt19937 random{std::random_device{}()};
  for (int run = 0; run < 3; ++run) {
    test::TChildOptions options =
        test::WithFaults({"ZORV_FAULT_PATH=long.wav", "ZORV_FAULT_READ_DELAY_US=10000"});
    options.WorkingDirectory = Dir.Path().string();
    test::TChildProcess child(
        ZORV_DECODE_PATH,
        {"--measure-level", "--tone-length", "2", "--report", "r.jsonl", "long.wav", "other.wav"},
        Dir.Path().string(), options);
    // The tone search takes 0.2 s, the range's pass 1 s after it.
    ASSERT_TRUE(child.Catches(SIGINT, std::chrono::seconds(30)));
    const int ms = std::uniform_int_distribution<int>(0, 1100)(random);
    SCOPED_TRACE(std::to_string(ms) + " ms");
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    child.Signal(SIGINT);
    const TChildResult r = child.Wait();
    EXPECT_EQ(r.ExitStatus, 130);
    EXPECT_EQ(r.Out, "") << "nothing measured";
    EXPECT_EQ(r.Err,
              "zorv-decode: long.wav: not measured, interrupted\n"
              "zorv-decode: other.wav: not measured, interrupted\n");
    const TBytes bytes = ReadFile(Dir.File("r.jsonl"));
    std::istringstream report(std::string(bytes.begin(), bytes.end()));
    int lines = 0;
    for (std::string line; std::getline(report, line); ++lines) {
      const auto object = nlohmann::json::parse(line);
      EXPECT_EQ(object["status"], "interrupted");
      EXPECT_EQ(object["suggested_level_db"], nullptr);
      EXPECT_EQ(object["level_range_db"], nullptr);
    }
    EXPECT_EQ(lines, 2);
    fs::remove(Dir.File("r.jsonl"));
  }
}

}  // namespace
}  // namespace zorv
