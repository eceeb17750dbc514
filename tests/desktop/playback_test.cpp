// SPDX-License-Identifier: GPL-3.0-or-later
// The window playing on a real sound server: a PulseAudio server of the
// test's own with a null sink; zorv-audio-decoder --autoplay plays into it,
// with a CPU-bound process beside it, while parec records the sink's
// monitor. The recording, aligned by cross-correlation, must be the float
// decode (the channels asked for, as plain stereo) with no gap; a gap that
// the test makes (the program stopped for a moment) must be reported, at
// its place and with its length. Skipped only where the server cannot start.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/decode_run.h"
#include "app/file_target.h"
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

std::string ReadText(const std::string& path) {
  const test::TBytes bytes = test::ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

// Error against signal over frames stereo frames, in dB.
double ErrorDb(const float* heard, const float* want, std::size_t frames) {
  double error = 0.0;
  double signal = 0.0;
  for (std::size_t i = 0; i < frames * 2; ++i) {
    error += (double{heard[i]} - want[i]) * (double{heard[i]} - want[i]);
    signal += double{want[i]} * want[i];
  }
  return 10.0 * std::log10(std::max(error, 1e-300) / signal);
}

// The frame of want (from frame from on, within a second) that the heard
// frame at heardFrame lines up with best, by normalised cross-correlation.
std::size_t Align(const std::vector<float>& heard, std::size_t heardFrame,
                  const std::vector<float>& want, std::size_t from) {
  constexpr std::size_t kSpan = 2048;
  double best = -2.0;
  std::size_t at = from;
  for (std::size_t d = from; d + kSpan <= want.size() / 2 && d < from + kRate; ++d) {
    if (heardFrame + kSpan > heard.size() / 2) break;
    double product = 0.0;
    double energy = 0.0;
    for (std::size_t i = 0; i < kSpan * 2; ++i) {
      product += double{heard[heardFrame * 2 + i]} * want[d * 2 + i];
      energy += double{want[d * 2 + i]} * want[d * 2 + i];
    }
    const double correlation = energy == 0.0 ? -1.0 : product / std::sqrt(energy);
    if (correlation > best) {
      best = correlation;
      at = d;
    }
  }
  return at;
}

// The server's monitor may miss the first milliseconds of a stream that
// starts or starts again (the sink rewinds to mix it in at once): what is
// heard from a place begins at most this much after it.
constexpr std::size_t kMonitorMiss = kRate / 20;

// The first frame of the recording with sound.
std::size_t FirstSound(const std::vector<float>& heard) {
  std::size_t i = 0;
  while (i < heard.size() && heard[i] == 0.0f) ++i;
  return i / 2;
}

class PlaybackTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* name : {"window.pid", "busy.pid", "parec.pid", "pulse.pid"}) {
      if (const long pid = ReadPid(Dir.File(name)); pid > 0) {
        ::kill(static_cast<pid_t>(pid), SIGCONT);
        ::kill(static_cast<pid_t>(pid), SIGTERM);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::filesystem::remove_all(Runtime_);
  }

  // The environment of every command: the test's own server, its socket in
  // a short folder (a socket's path has at most 107 bytes).
  std::string Env() const {
    const std::string& dir = Runtime_;
    return "XDG_RUNTIME_DIR=" + Quoted(dir) + " PULSE_RUNTIME_PATH=" + Quoted(dir + "/pulse") +
           " HOME=" + Quoted(dir) + " PULSE_SERVER=" + Quoted("unix:" + dir + "/pulse/native") +
           " ";
  }
  std::string InDir() const { return "cd " + Quoted(Dir.Path().string()) + " && "; }

  // Starts the server and a CPU-bound process beside it; false when the
  // server does not answer within 10 s.
  bool StartServer() {
    const std::string config = Dir.File("server.pa");
    std::ofstream(config) << "load-module module-native-protocol-unix\n"
                          << "load-module module-null-sink sink_name=check rate=" << kRate
                          << " channels=2 format=float32le\n"
                          << "set-default-sink check\n";
    std::filesystem::create_directories(Runtime_ + "/pulse");
    const std::string start = InDir() + "exec env " + Env() +
                              "pulseaudio --daemonize=no --exit-idle-time=-1 --high-priority=yes "
                              "--realtime=yes -n -F " +
                              Quoted(config) + " > server.log 2>&1 & echo $! > " +
                              Quoted(Dir.File("pulse.pid"));
    if (std::system(start.c_str()) != 0) return false;
    bool up = false;
    for (int i = 0; i < 100 && !up; ++i) {
      up = std::system((Env() + "pactl info > /dev/null 2>&1").c_str()) == 0;
      if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!up) return false;
    const std::string busy =
        InDir() + "sh -c 'while :; do :; done' & echo $! > " + Quoted(Dir.File("busy.pid"));
    return std::system(busy.c_str()) == 0;
  }

  // The float decode of input at the test's level, interleaved.
  std::vector<float> FloatDecode(const std::string& input) {
    TRunSettings settings;
    settings.LevelDb = kLevel;
    settings.Float = true;
    settings.CanonicalHeader = true;
    TDecodeRun run(settings);
    TFileTarget files;
    EXPECT_FALSE(files.OpenInput(run, input).has_value());
    EXPECT_FALSE(files.OpenOutput(run, Dir.File("decoded.wav")).has_value());
    EXPECT_EQ(files.Run(run).Status, TRunStatus::Done);
    const auto image = test::ParseCanonical(test::ReadFile(Dir.File("decoded.wav")));
    EXPECT_TRUE(image.has_value());
    std::vector<float> decoded(image ? image->Data.size() / 4 : 0);
    if (image) std::memcpy(decoded.data(), image->Data.data(), decoded.size() * 4);
    return decoded;
  }

  // Starts the window playing with arguments in the background, parec
  // recording the sink; during(), once sound is heard; then the recording.
  std::vector<float> Record(const std::string& arguments, int& status,
                            const std::function<void()>& during = {}) {
    const std::string record = InDir() + "exec env " + Env() +
                               "parec -d check.monitor --format=float32le --rate=44100 "
                               "--channels=2 --latency-msec=20 --raw > heard.raw 2> parec.log "
                               "& echo $! > " +
                               Quoted(Dir.File("parec.pid"));
    EXPECT_EQ(std::system(record.c_str()), 0);
    // Recording already (the sink's silence) before anything plays.
    for (int i = 0; i < 100 && test::ReadFile(Dir.File("heard.raw")).size() < 8820; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // Under the leak checker: the system's font library keeps a block it
    // never frees, which is not the program's.
    std::ofstream(Dir.File("lsan.supp")) << "leak:libfontconfig\n";
    // The program's own process id in window.pid, its exit status in status.
    std::ofstream(Dir.File("play.sh"))
        << "echo $$ > window.pid\nexec env " << Env()
        << "QT_QPA_PLATFORM=offscreen LSAN_OPTIONS=suppressions=" << Quoted(Dir.File("lsan.supp"))
        << " " << Quoted(ZORV_PROGRAM_DIR) << "/zorv-audio-decoder " << arguments << "\n";
    const std::string play =
        InDir() + "(sh play.sh > played.txt 2> played.log; echo $? > status) &";
    EXPECT_EQ(std::system(play.c_str()), 0);
    bool sounded = false;
    for (int i = 0; i < 400 && !std::filesystem::exists(Dir.File("status")); ++i) {
      if (during && !sounded) {
        const std::vector<float> sofar = ReadFloats(Dir.File("heard.raw"));
        sounded = FirstSound(sofar) * 2 < sofar.size();
        if (sounded) during();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string code = ReadText(Dir.File("status"));
    status = code.empty() ? -1 : std::stoi(code);
    if (const long recorder = ReadPid(Dir.File("parec.pid")); recorder > 0) {
      ::kill(static_cast<pid_t>(recorder), SIGTERM);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return ReadFloats(Dir.File("heard.raw"));
  }

  std::string WriteInput(const test::TWavFormat& format, std::uint32_t seconds) {
    const std::string input = Dir.File("tape.wav");
    test::WriteFile(input, test::WavBytes(format, test::SignalBytes(format, seconds * kRate, 5)));
    return input;
  }

  test::TScratchDir Dir{ZORV_DESKTOP_SCRATCH};
  std::string Runtime_ = [] {
    char name[] = "/tmp/zorv-pa.XXXXXX";
    return std::string(::mkdtemp(name) != nullptr ? name : "/tmp");
  }();
};

// What the window says after playing.
struct TPlayedLine {
  int Gaps = -1;
  double GapMs = -1.0;
};
TPlayedLine ReadPlayedLine(const std::string& text) {
  std::smatch found;
  TPlayedLine line;
  if (std::regex_search(text, found, std::regex("(\\d+) playback gaps, (\\d+) ms"))) {
    line.Gaps = std::stoi(found[1]);
    line.GapMs = std::stod(found[2]);
  }
  return line;
}

TEST_F(PlaybackTest, WhatIsHeardBesideABusyCoreIsTheDecodeWithoutAGap) {
  if (!StartServer()) {
    GTEST_SKIP() << "PulseAudio could not start here (see " << Dir.File("server.log") << ")";
  }
  const std::string input = WriteInput({3, 2, kRate, 32}, 6);
  const std::vector<float> decoded = FloatDecode(input);
  int status = -1;
  const std::vector<float> heard =
      Record("--autoplay 2,3 --level " + std::to_string(kLevel) + " " + Quoted(input), status);
  const std::string said = ReadText(Dir.File("played.txt"));
  std::printf("%s", said.c_str());
  EXPECT_EQ(status, 0) << ReadText(Dir.File("played.log"));
  EXPECT_EQ(ReadPlayedLine(said).Gaps, 0) << said;

  const std::size_t first = FirstSound(heard);
  ASSERT_LT(first + 2 * kRate, heard.size() / 2) << "less than 2 s was heard";
  const std::size_t at = Align(heard, first, decoded, 2 * kRate - kRate / 2);
  EXPECT_GE(at, 2 * kRate);
  EXPECT_LE(at, 2 * kRate + kMonitorMiss) << "heard from 2.0 s on";
  ASSERT_LE(at + 2 * kRate, decoded.size() / 2);
  const double error = ErrorDb(&heard[first * 2], &decoded[at * 2], 2 * kRate);
  std::printf("2 s heard against the float decode: %.1f dB\n", error);
  EXPECT_LT(error, -60.0);
}

TEST_F(PlaybackTest, TheTracksAskedForAreHeardLeftAndRight) {
  if (!StartServer()) {
    GTEST_SKIP() << "PulseAudio could not start here (see " << Dir.File("server.log") << ")";
  }
  const test::TWavFormat sixTracks{1, 6, kRate, 24};
  const std::string input = WriteInput(sixTracks, 5);
  const std::vector<float> tracks = FloatDecode(input);
  // Tracks 3 and 4 of the decode as left and right; 1 and 2, which the
  // window plays unless asked, to tell them apart.
  std::vector<float> asked;
  std::vector<float> firstPair;
  for (std::size_t frame = 0; frame < tracks.size() / 6; ++frame) {
    asked.insert(asked.end(), {tracks[frame * 6 + 2], tracks[frame * 6 + 3]});
    firstPair.insert(firstPair.end(), {tracks[frame * 6], tracks[frame * 6 + 1]});
  }
  int status = -1;
  const std::vector<float> heard = Record(
      "--autoplay 1,3 --channels 3,4 --level " + std::to_string(kLevel) + " " + Quoted(input),
      status);
  EXPECT_EQ(status, 0) << ReadText(Dir.File("played.log"));
  const std::size_t first = FirstSound(heard);
  ASSERT_LT(first + 2 * kRate, heard.size() / 2) << "less than 2 s was heard";
  const std::size_t at = Align(heard, first, asked, kRate / 2);
  EXPECT_GE(at, kRate);
  EXPECT_LE(at, kRate + kMonitorMiss) << "heard from 1.0 s on";
  const double error = ErrorDb(&heard[first * 2], &asked[at * 2], 2 * kRate);
  EXPECT_LT(error, -60.0) << "left and right are tracks 3 and 4";
  EXPECT_GT(ErrorDb(&heard[first * 2], &firstPair[at * 2], 2 * kRate), -20.0);
}

TEST_F(PlaybackTest, AGapIsReportedWhereItIsHeardAndAsLongAsItIs) {
  if (!StartServer()) {
    GTEST_SKIP() << "PulseAudio could not start here (see " << Dir.File("server.log") << ")";
  }
  const std::string input = WriteInput({3, 2, kRate, 32}, 6);
  const std::vector<float> decoded = FloatDecode(input);
  int status = -1;
  // The whole program held for 400 ms, once it is heard: its threads and
  // their buffers ahead with it; the output runs dry.
  const std::vector<float> heard = Record(
      "--autoplay 1,3 --level " + std::to_string(kLevel) + " " + Quoted(input), status, [this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const auto window = static_cast<pid_t>(ReadPid(Dir.File("window.pid")));
        ASSERT_GT(window, 0);
        ::kill(window, SIGSTOP);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ::kill(window, SIGCONT);
      });
  const std::string said = ReadText(Dir.File("played.txt"));
  const std::string complaint = ReadText(Dir.File("played.log"));
  std::printf("%s%s", said.c_str(), complaint.c_str());
  EXPECT_EQ(status, 1) << "a playing with a gap is not a clean one";
  const TPlayedLine line = ReadPlayedLine(said);
  EXPECT_EQ(line.Gaps, 1);

  // The silence in the recording, within the sound: its length, and the
  // decode's frame heard after it.
  const std::size_t first = FirstSound(heard);
  std::size_t longest = 0;
  std::size_t after = 0;
  for (std::size_t frame = first; frame < heard.size() / 2;) {
    std::size_t end = frame;
    while (end < heard.size() / 2 && heard[end * 2] == 0.0f && heard[end * 2 + 1] == 0.0f) ++end;
    if (end - frame > longest && end < heard.size() / 2) {
      longest = end - frame;
      after = end;
    }
    frame = end + 1;
  }
  const double silentMs = longest * 1000.0 / kRate;
  ASSERT_GT(silentMs, 100.0) << "the recording holds no gap";
  EXPECT_NEAR(line.GapMs, silentMs, 40.0);
  // After the gap the decode goes on where it stopped: nothing is lost.
  const std::size_t before = Align(heard, first, decoded, kRate / 2);
  const std::size_t expected = before + (after - first) - longest;
  const std::size_t resumed = Align(heard, after, decoded, expected - kRate / 10);
  EXPECT_GE(resumed, expected);
  EXPECT_LE(resumed, expected + kMonitorMiss);
  EXPECT_LT(ErrorDb(&heard[after * 2], &decoded[resumed * 2], kRate / 2), -60.0);
  // Where it was: "playback gap: 330 ms at 0:01.9".
  std::smatch place;
  ASSERT_TRUE(
      std::regex_search(complaint, place, std::regex("playback gap: \\d+ ms at 0:(\\d\\d\\.\\d)")))
      << complaint;
  EXPECT_NEAR(std::stod(place[1]), static_cast<double>(resumed) / kRate, 0.15);
}

}  // namespace
}  // namespace zorv
