// SPDX-License-Identifier: GPL-3.0-or-later
// A signal ends zorv-decode at once wherever it waits: on an input pipe that
// has stopped giving, on an output pipe that has stopped taking, and in the
// walk over a million chunks read from a slow disk. Each measures how long
// the program took to end after the signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <random>
#include <thread>

#include "tests/cli/decode_fixture.h"
#include "tests/wav/wav_builder.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TBytes;
using test::TChildResult;

constexpr std::uint32_t kBlockBytes = 17640;
// The bound checked; the program's aim is 100 ms.
constexpr double kBoundSeconds = 1.0;

class Stall : public test::DecodeTest {
 protected:
  std::string Fifo() {
    const std::string path = Dir.File("pipe");
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    return path;
  }
  // Sends SIGTERM, waits for the end; the seconds it took.
  static double Terminate(test::TChildProcess& child, TChildResult& result) {
    const auto sent = std::chrono::steady_clock::now();
    child.Signal(SIGTERM);
    result = child.Wait();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
  }
  // Waits a random time in [from, to) ms once the program answers signals,
  // then sends one; the milliseconds until the program ended (it is killed when it has not
  // after 10 s: the test fails instead of hanging).
  double SignalAtRandom(test::TChildProcess& child, int signal, int from, int to) {
    EXPECT_TRUE(child.Catches(signal, std::chrono::seconds(30)));
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(from, to - 1)(Random)));
    const auto sent = std::chrono::steady_clock::now();
    child.Signal(signal);
    const bool ended = child.EndsWithin(std::chrono::seconds(10));
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count();
    EXPECT_TRUE(ended) << "signal " << signal << " ignored";
    if (!ended) child.Signal(SIGKILL);
    return ms;
  }
  static void PrintLatencies(const std::string& what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::cout << "[ measured ] " << what << ": ended after " << ms[ms.size() / 2]
              << " ms (median), " << ms.back() << " ms (longest) of " << ms.size() << " signals\n";
  }

  std::mt19937 Random{std::random_device{}()};
};

// (head -c N long.wav; sleep) | zorv-decode - -o out.wav: the part decoded
// is kept as out.partial.wav, as for a signal in any other phase.
TEST_F(Stall, ASignalEndsADecodeWaitingForItsInput) {
  const TBytes wav = ReadFile(LongWav("long.wav"));
  const std::string fifo = Fifo();
  test::TChildProcess child(
      "/bin/sh", {"-c", "exec '" + std::string(ZORV_DECODE_PATH) + "' - -o out.wav < pipe"},
      Dir.Path().string(), {{}, test::TStderr::Captured, {}, Dir.Path().string()});
  const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  const std::size_t given = 44 + 20 * kBlockBytes;
  ASSERT_EQ(::write(writer, wav.data(), given), static_cast<ssize_t>(given));
  ASSERT_TRUE(WaitForTemporaryOutput(44 + 10 * kBlockBytes));
  // Everything given is decoded; the program now waits for more.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  TChildResult r;
  const double seconds = Terminate(child, r);
  ::close(writer);
  std::cout << "[ measured ] SIGTERM on a stalled input pipe: ended after " << seconds * 1000
            << " ms\n";
  EXPECT_LT(seconds, kBoundSeconds);
  EXPECT_EQ(r.ExitStatus, 128 + SIGTERM) << r.Err;
  EXPECT_NE(r.Err.find("\nInterrupted; what was decoded is in: out.partial.wav\n"),
            std::string::npos)
      << r.Err;
  EXPECT_EQ(Names(), (std::set<std::string>{"long.wav", "pipe", "out.partial.wav"}));
  const TBytes partial = ReadFile(Dir.File("out.partial.wav"));
  const auto image = test::ParseCanonical(partial);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->RiffSize, partial.size() - 8);
  EXPECT_EQ(image->DataSize, image->Data.size());
  // What was decoded when the signal came: the blocks read ahead of the one
  // in hand are dropped, as in any other phase.
  EXPECT_GE(image->DataSize, 10u * kBlockBytes);
  EXPECT_LE(image->DataSize, 20u * kBlockBytes);
  EXPECT_EQ(image->DataSize % kBlockBytes, 0u);
}

// zorv-decode long.wav -o - | (a reader that takes nothing).
TEST_F(Stall, ASignalEndsADecodeWaitingForItsOutput) {
  LongWav("long.wav");
  const std::string fifo = Fifo();
  // Open for reading and writing: the program's open does not wait, and
  // nothing is ever read.
  const int held = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(held, 0);
  test::TChildProcess child(
      "/bin/sh", {"-c", "exec '" + std::string(ZORV_DECODE_PATH) + "' long.wav -o - > pipe"},
      Dir.Path().string(), {{}, test::TStderr::Captured, {}, Dir.Path().string()});
  // The pipe holds 64 KiB; the program fills it within a few blocks.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  TChildResult r;
  const double seconds = Terminate(child, r);
  ::close(held);
  std::cout << "[ measured ] SIGTERM on a stalled output pipe: ended after " << seconds * 1000
            << " ms\n";
  EXPECT_LT(seconds, kBoundSeconds);
  EXPECT_EQ(r.ExitStatus, 128 + SIGTERM) << r.Err;
  EXPECT_NE(r.Err.find("\naborted\n"), std::string::npos) << r.Err;
  EXPECT_EQ(Names(), (std::set<std::string>{"long.wav", "pipe"}));
}

// A million chunks before the data, read from a disk that takes 20 ms a
// read: the walk over them takes seconds, a signal ends it at once.
TEST_F(Stall, ASignalEndsTheWalkOverAMillionChunks) {
  test::TWavBuilder wav;
  wav.Fmt(1, 2, 44100, 16);
  TBytes chunks;
  for (std::uint32_t i = 0; i < 999000; ++i) {
    chunks.push_back(static_cast<std::uint8_t>('A' + i % 26));
    for (int k = 0; k < 3; ++k)
      chunks.push_back(static_cast<std::uint8_t>('a' + (i >> (5 * k + 5)) % 26));
    AppendLe32(chunks, 2);
    chunks.push_back(1);
    chunks.push_back(2);
  }
  wav.Raw(chunks).Data(4000);
  File("many.wav", wav.Bytes());
  test::TChildProcess child(
      ZORV_DECODE_PATH, {"many.wav", "-o", "out.wav"}, Dir.Path().string(), [&] {
        test::TChildOptions options =
            test::WithFaults({"ZORV_FAULT_PATH=many.wav", "ZORV_FAULT_READ_DELAY_US=20000"});
        options.WorkingDirectory = Dir.Path().string();
        return options;
      }());
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  TChildResult r;
  const double seconds = Terminate(child, r);
  std::cout << "[ measured ] SIGTERM during the chunk walk: ended after " << seconds * 1000
            << " ms\n";
  EXPECT_LT(seconds, kBoundSeconds);
  EXPECT_EQ(r.ExitStatus, 128 + SIGTERM) << r.Err;
  EXPECT_EQ(r.Err, "zorv-decode: many.wav: not decoded, interrupted\n");
  EXPECT_EQ(Names(), (std::set<std::string>{"many.wav"}));
}

// zorv-decode 3000 refusals 2> (a pipe nobody reads): the lines wait for
// room in the pipe, and a signal ends the wait.
TEST_F(Stall, ASignalEndsAWriteToAStalledStandardError) {
  const std::string fifo = Fifo();
  const int held = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  ASSERT_GE(held, 0);
  std::string names;
  for (int i = 0; i < 3000; ++i) names += " missing-" + std::to_string(i) + ".wav";
  std::vector<double> latencies;
  for (const int signal : {SIGINT, SIGTERM, SIGINT, SIGTERM}) {
    test::TChildProcess child(
        "/bin/sh", {"-c", "exec '" + std::string(ZORV_DECODE_PATH) + "'" + names + " 2> pipe"},
        Dir.Path().string(), {{}, test::TStderr::Captured, {}, Dir.Path().string()});
    // Until the pipe is full: what it holds stops growing.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int heldBytes = 0;
    for (int last = -1, still = 0; still < 100 && std::chrono::steady_clock::now() < deadline;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      last = std::exchange(heldBytes, 0);
      ASSERT_EQ(::ioctl(held, FIONREAD, &heldBytes), 0);
      still = heldBytes == last && heldBytes > 0 ? still + 1 : 0;
    }
    ASSERT_GT(heldBytes, 32 * 1024);
    latencies.push_back(SignalAtRandom(child, signal, 0, 300));
    const TChildResult r = child.Wait();
    EXPECT_EQ(r.ExitStatus, 128 + signal);
    // Emptied for the next run.
    char drain[4096];
    while (::read(held, drain, sizeof drain) > 0) {
    }
  }
  ::close(held);
  PrintLatencies("SIGINT/SIGTERM while writing to a stalled standard error", latencies);
  for (const double ms : latencies) EXPECT_LT(ms, kBoundSeconds * 1000);
}

// --report PIPE while nothing reads the pipe: the open waits for a reader,
// and a signal ends the wait before anything is written.
TEST_F(Stall, ASignalEndsTheWaitForTheReaderOfAReportPipe) {
  test::WriteFile(Dir.File("in.wav"), test::WavBytes({}, test::SignalBytes({}, 4410)));
  Fifo();
  std::vector<double> latencies;
  for (const bool measure : {false, true, false, true}) {
    const int signal = measure ? SIGTERM : SIGINT;
    const std::vector<std::string> args =
        measure ? std::vector<std::string>{"--measure-level", "in.wav", "--report", "pipe"}
                : std::vector<std::string>{"in.wav", "-o", "out.wav", "--report", "pipe"};
    test::TChildProcess child(ZORV_DECODE_PATH, args, Dir.Path().string(),
                              {{}, test::TStderr::Captured, {}, Dir.Path().string()});
    latencies.push_back(SignalAtRandom(child, signal, 0, 500));
    const TChildResult r = child.Wait();
    EXPECT_EQ(r.ExitStatus, 128 + signal) << r.Err;
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(Names(), (std::set<std::string>{"in.wav", "pipe"}));
  }
  PrintLatencies("SIGINT/SIGTERM while --report waits for the pipe's reader", latencies);
  for (const double ms : latencies) EXPECT_LT(ms, kBoundSeconds * 1000);
}

}  // namespace
}  // namespace zorv
