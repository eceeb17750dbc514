// SPDX-License-Identifier: GPL-3.0-or-later
// A signal ends zorv-decode at once wherever it waits: on an input pipe that
// has stopped giving, on an output pipe that has stopped taking, and in the
// walk over a million chunks read from a slow disk. Each measures how long
// the program took to end after the signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
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

}  // namespace
}  // namespace zorv
