// SPDX-License-Identifier: GPL-3.0-or-later
// The window playing on a real sound server: a PulseAudio server of the
// test's own with a null sink at the file's rate; zorv-audio-decoder
// --autoplay plays 5 s from 2.0 s into it while parec records the sink's
// monitor; the recording, aligned by cross-correlation, must be the float
// decode of those seconds. Skipped only where the server cannot start.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "app/decode_run.h"
#include "tests/app/scratch_dir.h"
#include "tools/wav_test_file.h"

namespace zorv {
namespace {

constexpr std::uint32_t kRate = 44100;
constexpr double kLevel = -12.5;

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

long ReadPid(const std::string& path) {
  std::ifstream in(path);
  long pid = 0;
  in >> pid;
  return pid;
}

std::vector<float> ReadFloats(const std::string& path) {
  const test::TBytes bytes = test::ReadFile(path);
  std::vector<float> samples(bytes.size() / 4);
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
  return samples;
}

class PlaybackTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* name : {"parec.pid", "pulse.pid"}) {
      if (const long pid = ReadPid(Dir.File(name)); pid > 0)
        ::kill(static_cast<pid_t>(pid), SIGTERM);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }

  // The environment of every command: the test's own server.
  std::string Env() const {
    const std::string dir = Dir.Path().string();
    return "XDG_RUNTIME_DIR=" + Quoted(dir) + " PULSE_RUNTIME_PATH=" + Quoted(dir + "/pulse") +
           " HOME=" + Quoted(dir) + " PULSE_SERVER=" + Quoted("unix:" + dir + "/pulse/native") +
           " ";
  }

  // Starts the server; false when it does not answer within 10 s.
  bool StartServer() {
    const std::string config = Dir.File("server.pa");
    std::ofstream(config) << "load-module module-native-protocol-unix\n"
                          << "load-module module-null-sink sink_name=check rate=" << kRate
                          << " channels=2 format=float32le\n"
                          << "set-default-sink check\n";
    std::filesystem::create_directories(Dir.Path() / "pulse");
    const std::string start = "cd " + Quoted(Dir.Path().string()) + " && " + "exec env " + Env() +
                              "pulseaudio --daemonize=no --exit-idle-time=-1 --high-priority=yes "
                              "--realtime=yes -n -F " +
                              Quoted(config) + " > server.log 2>&1 & echo $! > " +
                              Quoted(Dir.File("pulse.pid"));
    if (std::system(start.c_str()) != 0) return false;
    for (int i = 0; i < 100; ++i) {
      if (std::system((Env() + "pactl info > /dev/null 2>&1").c_str()) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  test::TScratchDir Dir{ZORV_DESKTOP_SCRATCH};
};

TEST_F(PlaybackTest, WhatIsHeardIsTheDecode) {
  if (!StartServer()) {
    GTEST_SKIP() << "PulseAudio could not start here (see " << Dir.File("server.log") << ")";
  }
  const test::TWavFormat format{1, 2, kRate, 16};
  const std::string input = Dir.File("tape.wav");
  test::WriteFile(input, test::WavBytes(format, test::SignalBytes(format, 9 * kRate, 5)));

  // The float decode at the level played.
  TRunSettings settings;
  settings.LevelDb = kLevel;
  settings.Float = true;
  settings.CanonicalHeader = true;
  TDecodeRun run(settings);
  ASSERT_FALSE(run.OpenInput(input).has_value());
  ASSERT_FALSE(run.OpenOutput(Dir.File("decoded.wav")).has_value());
  ASSERT_EQ(run.Run().Status, TRunStatus::Done);
  const auto image = test::ParseCanonical(test::ReadFile(Dir.File("decoded.wav")));
  ASSERT_TRUE(image.has_value());
  std::vector<float> decoded(image->Data.size() / 4);
  std::memcpy(decoded.data(), image->Data.data(), decoded.size() * 4);

  const std::string record = "cd " + Quoted(Dir.Path().string()) + " && " + "exec env " + Env() +
                             "parec -d check.monitor --format=float32le --rate=44100 "
                             "--channels=2 --latency-msec=100 --raw > heard.raw 2> parec.log "
                             "& echo $! > " +
                             Quoted(Dir.File("parec.pid"));
  ASSERT_EQ(std::system(record.c_str()), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  // Under the leak checker: the system's font library keeps a block it
  // never frees, which is not the program's.
  std::ofstream(Dir.File("lsan.supp")) << "leak:libfontconfig\n";
  const std::string play =
      "cd " + Quoted(Dir.Path().string()) + " && " + Env() + "QT_QPA_PLATFORM=offscreen " +
      "LSAN_OPTIONS=suppressions=" + Quoted(Dir.File("lsan.supp")) + " " +
      Quoted(ZORV_PROGRAM_DIR) + "/zorv-audio-decoder --autoplay 2.0,5 --level " +
      std::to_string(kLevel) + " " + Quoted(input) + " > played.txt 2> played.log";
  ASSERT_EQ(std::system(play.c_str()), 0) << test::ReadFile(Dir.File("played.log")).size();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const long recorder = ReadPid(Dir.File("parec.pid"));
  ASSERT_GT(recorder, 0);
  ::kill(static_cast<pid_t>(recorder), SIGTERM);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::vector<float> heard = ReadFloats(Dir.File("heard.raw"));

  // Where the sound begins, then the shift against the decode from 2.0 s that
  // matches best (the recording may begin late or early by a fraction of a second).
  std::size_t first = 0;
  while (first < heard.size() && std::fabs(heard[first]) < 1e-6f) ++first;
  ASSERT_LT(first, heard.size()) << "nothing was heard";
  const std::size_t from = 2 * kRate * 2;    // samples of the decode at 2.0 s
  constexpr std::ptrdiff_t kSearch = kRate;  // half a second either way
  constexpr std::size_t kSpan = 8192;
  double best = -1.0;
  std::size_t heardStart = 0;
  std::size_t decodedStart = 0;
  for (std::ptrdiff_t lag = -kSearch; lag <= kSearch; lag += 2) {
    const std::size_t h = first + static_cast<std::size_t>(std::max<std::ptrdiff_t>(-lag, 0));
    const std::size_t d = from + static_cast<std::size_t>(std::max<std::ptrdiff_t>(lag, 0));
    if (h + kSpan > heard.size() || d + kSpan > decoded.size()) continue;
    double product = 0.0;
    for (std::size_t i = 0; i < kSpan; ++i) product += double{heard[h + i]} * decoded[d + i];
    if (product > best) {
      best = product;
      heardStart = h;
      decodedStart = d;
    }
  }
  // A real-time chain on a busy machine drops, repeats or re-renders a few
  // milliseconds now and then (an underrun, the server rewinding its sink):
  // the recording is compared in 10 ms pieces, each aligned anew near the
  // last one's place. A piece that holds such a seam cannot match; the
  // others must, and they must make up most of what was played.
  constexpr std::size_t kPiece = 441 * 2;
  constexpr std::ptrdiff_t kDrift = kRate / 5;  // 0.1 s either way
  const auto errorDb = [&](std::size_t h, std::size_t d) {
    double error = 0.0;
    double signal = 0.0;
    for (std::size_t i = 0; i < kPiece; ++i) {
      const double want = decoded[d + i];
      error += (heard[h + i] - want) * (heard[h + i] - want);
      signal += want * want;
    }
    return signal == 0.0 ? 0.0 : 10.0 * std::log10(std::max(error, 1e-300) / signal);
  };
  const std::size_t end = from + 5 * kRate * 2;
  // Every frame of the decode played, by its two samples' bits.
  const auto Key = [](const float* frame) {
    std::uint64_t key = 0;
    std::memcpy(&key, frame, sizeof key);
    return key;
  };
  std::unordered_map<std::uint64_t, std::size_t> Where;
  for (std::size_t d = from; d + 2 <= std::min(end, decoded.size()); d += 2) {
    Where.emplace(Key(&decoded[d]), d);
  }
  auto lag = static_cast<std::ptrdiff_t>(decodedStart) - static_cast<std::ptrdiff_t>(heardStart);
  std::size_t matched = 0;
  std::size_t seams = 0;
  double worst = -400.0;
  for (std::size_t h = heardStart; h + kPiece <= heard.size(); h += kPiece) {
    double energy = 0.0;
    for (std::size_t i = 0; i < kPiece; ++i) energy += double{heard[h + i]} * heard[h + i];
    if (energy == 0.0) continue;  // a gap of silence
    double best = 400.0;
    std::ptrdiff_t bestLag = lag;
    // The piece against the decode at that lag, where the decode has it.
    const auto tryLag = [&](std::ptrdiff_t candidate) {
      const std::ptrdiff_t d = static_cast<std::ptrdiff_t>(h) + candidate;
      if (d < static_cast<std::ptrdiff_t>(from) ||
          static_cast<std::size_t>(d) + kPiece > std::min(end, decoded.size())) {
        return;
      }
      if (const double e = errorDb(h, static_cast<std::size_t>(d)); e < best) {
        best = e;
        bestLag = candidate;
      }
    };
    for (std::ptrdiff_t step = 0; step <= kDrift && best >= -90.0; step += 2) {
      tryLag(lag + step);
      tryLag(lag - step);
    }
    // Lost after a larger jump: found again by the exact samples.
    for (std::size_t i = 0; i + 2 <= kPiece && best >= -90.0; i += 2) {
      const auto found = Where.find(Key(&heard[h + i]));
      if (found == Where.end()) continue;
      tryLag(static_cast<std::ptrdiff_t>(found->second) - static_cast<std::ptrdiff_t>(h + i));
    }
    if (best >= 400.0) continue;  // past the 5 s played
    if (best < -90.0) {
      ++matched;
      worst = std::max(worst, best);
      lag = bestLag;
    } else {
      ++seams;
    }
  }
  const double matchedSeconds = static_cast<double>(matched * kPiece) / 2.0 / kRate;
  std::printf("heard %.2f s equal to the decode (worst piece %.1f dB), %zu pieces with a seam\n",
              matchedSeconds, worst, seams);
  // Most of the 5 s came through equal to the decode (on an idle machine:
  // all of it but the server's first moments).
  EXPECT_GT(matchedSeconds, 2.5);
  EXPECT_LE(worst, -90.0);
}

}  // namespace
}  // namespace zorv
