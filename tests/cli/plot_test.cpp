// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-decode --plot: the PNG file opens, and it is the window's picture of
// the band gains the meter log of the same decode lists; it is written like
// the other outputs (never over an existing file without -f, never through a
// link) and kept beside the partial output when interrupted.
#include <gtest/gtest.h>
#include <signal.h>

#include <QGuiApplication>
#include <QImage>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/gain_history.h"
#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tools/wav_test_file.h"
#include "widgets/gain_history_picture.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::TChildResult;
using test::TWavFormat;

class Plot : public ::testing::Test {
 protected:
  TChildResult Run(const std::vector<std::string>& args) {
    test::TChildOptions options;
    options.WorkingDirectory = Dir.Path().string();
    return test::RunProgram(ZORV_DECODE_PATH, args, Dir.Path().string(), options);
  }
  void Wav(const std::string& name, const TWavFormat& format, std::uint32_t frames) {
    test::WriteFile(Dir.File(name), test::WavBytes(format, test::SignalBytes(format, frames)));
  }
  test::TScratchDir Dir{ZORV_CLI_SCRATCH};
};

// The history a meter log describes: every row's positions at its frame.
TGainHistory FromMeterLog(const std::string& path, std::uint32_t channels, std::uint32_t rate,
                          std::uint64_t frames) {
  TGainHistory history;
  history.Start(channels, rate, frames);
  std::ifstream log(path);
  std::string line;
  std::getline(log, line);  // the comment
  std::getline(log, line);  // the column names
  while (std::getline(log, line)) {
    std::istringstream row(line);
    std::string cell;
    std::getline(row, cell, ',');
    const std::uint64_t frame = std::stoull(cell);
    std::getline(row, cell, ',');  // seconds
    for (std::uint32_t c = 0; c < channels; ++c) {
      for (int band = 0; band < 4; ++band) {
        std::getline(row, cell, ',');
        history.Add(frame, static_cast<int>(c), band, std::stoi(cell));
      }
    }
  }
  return history;
}

TEST_F(Plot, IsThePictureOfTheDecodesMeterPositions) {
  const struct {
    TWavFormat format;
    std::uint32_t frames;
  } cases[] = {{{1, 2, 44100, 16}, 44100 * 3 + 123}, {{3, 1, 96000, 32}, 96000 * 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format.SampleRate);
    Wav("in.wav", c.format, c.frames);
    const TChildResult r =
        Run({"-f", "in.wav", "--plot", "gains.png", "--meter-log", "meters.csv"});
    ASSERT_EQ(r.ExitStatus, 0) << r.Err;
    const QImage png(QString::fromStdString(Dir.File("gains.png")), "PNG");
    ASSERT_FALSE(png.isNull()) << "the PNG file opens";
    EXPECT_EQ(png.size(), QSize(1200, 520));
    TGainHistory history =
        FromMeterLog(Dir.File("meters.csv"), c.format.Channels, c.format.SampleRate, c.frames);
    ASSERT_FALSE(history.Empty());
    const QImage untitled = GainHistoryImage(history, 0, png.size());
    history.SetTitle("reference level -10.0 dB");
    const QImage expected = GainHistoryImage(history, 0, png.size());
    EXPECT_TRUE(png.convertToFormat(QImage::Format_RGB32) == expected)
        << "the picture of what the meter log lists, titled with the level";
    EXPECT_FALSE(untitled == expected) << "the title is drawn";
  }
}

TEST_F(Plot, WrittenLikeTheOtherOutputs) {
  Wav("in.wav", {}, 20000);
  test::WriteFile(Dir.File("old.png"), {'o', 'l', 'd'});
  TChildResult r = Run({"in.wav", "--plot", "old.png"});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: old.png: output file exists (use -f to overwrite)\n");
  EXPECT_FALSE(fs::exists(Dir.File("in_dec.wav"))) << "refused before anything is written";
  EXPECT_EQ(test::ReadFile(Dir.File("old.png")), (test::TBytes{'o', 'l', 'd'}));

  fs::create_symlink(Dir.File("old.png"), Dir.File("link.png"));
  r = Run({"-f", "in.wav", "--plot", "link.png"});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: link.png: output is a symbolic link\n");

  r = Run({"-f", "in.wav", "--plot", "old.png"});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_FALSE(QImage(QString::fromStdString(Dir.File("old.png"))).isNull());

  r = Run({"-f", "in.wav", "--plot", "p.png", "--meter-log", "./p.png"});
  EXPECT_EQ(r.ExitStatus, 2);
  EXPECT_TRUE(
      r.Err.starts_with("zorv-decode: the plot and the meter log must be different files\n"))
      << r.Err;

  r = Run({"-f", "in.wav", "--plot", "no/such/folder/p.png"});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: no/such/folder/p.png: cannot create: No such file or directory\n");
}

TEST_F(Plot, AnInterruptedDecodeKeepsThePictureOfItsPart) {
  // Long enough to be stopped in the middle (the decode takes seconds).
  Wav("long.wav", {}, 44100 * 120);
  test::TChildOptions options;
  options.WorkingDirectory = Dir.Path().string();
  test::TChildProcess child(ZORV_DECODE_PATH, {"long.wav", "--plot", "long.png"},
                            Dir.Path().string(), options);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool started = false;
  while (!started && std::chrono::steady_clock::now() < deadline) {
    for (const auto& entry : fs::directory_iterator(Dir.Path())) {
      if (entry.path().filename().string().starts_with("long_dec.wav.incomplete-") &&
          entry.file_size() > 1000000) {
        started = true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(started);
  child.Signal(SIGINT);
  const TChildResult r = child.Wait();
  EXPECT_EQ(r.ExitStatus, 128 + SIGINT) << r.Err;
  EXPECT_FALSE(fs::exists(Dir.File("long.png")));
  const QImage part(QString::fromStdString(Dir.File("long.partial.png")), "PNG");
  EXPECT_FALSE(part.isNull()) << r.Err;
  EXPECT_TRUE(fs::exists(Dir.File("long_dec.partial.wav")));
}

}  // namespace
}  // namespace zorv

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
