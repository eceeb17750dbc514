// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/wav_file_out.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#include "tests/wav/wav_builder.h"

namespace zorv {
namespace {

using test::TBytes;

class WavWriter : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(ZORV_WAV_SCRATCH) + "/" + info->name() + "_" + name;
  }
  static TBytes Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                      std::filesystem::directory_iterator()));
  }
};

// The header protocol of a run: provisional header, blocks, final sizes.
void WriteRun(TWavFileOut& w, const TBytes& header, std::size_t n) {
  std::copy(header.begin(), header.begin() + 44, w.HeaderImage().Bytes.begin());
  w.WriteHeader();
  w.WriteDataHeader();
  for (std::size_t done = 0; done < n;) {
    const std::size_t block = std::min<std::size_t>(n - done, kWavBufferBytes);
    for (std::size_t i = 0; i < block; ++i) w.Buffer()[i] = test::SampleByte(done + i);
    w.WriteBuffer(static_cast<std::int32_t>(block));
    done += block;
  }
  w.HeaderImage().SetRiffSize(w.HeaderBytes() + w.TotalBytes() - 8);
  w.HeaderImage().SetDataSize(w.TotalBytes());
  w.WriteHeader();
  w.WriteDataHeader();
}

TEST_F(WavWriter, StartsWithTheDefaultHeader) {
  TWavFileOut w;
  EXPECT_TRUE(w.Filename.empty()) << "no file of a name nobody chose";
  EXPECT_FALSE(w.IsOpen());
  EXPECT_EQ(w.TimerInterval(), 100u);
  EXPECT_EQ(w.BlockBytes(), 0u);
  TBytes expected = test::TWavBuilder().Fmt(1, 1, 8000, 16).Header("data", 0).RiffSize(0).Bytes();
  EXPECT_EQ(TBytes(w.HeaderImage().Bytes.begin(), w.HeaderImage().Bytes.end()), expected);
  w.UpdateBufferSize();
  EXPECT_EQ(w.BlockBytes(), 1600u);
}

TEST_F(WavWriter, TimerIntervalClampsAndSetsTheBlock) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {0, 10}, {9, 10}, {250, 250}, {500, 500}, {501, 500}, {4294967295u, 500}};
  for (const auto& [set, expected] : cases) {
    TWavFileOut w;
    w.SetTimerInterval(set);
    EXPECT_EQ(w.TimerInterval(), expected) << set;
    EXPECT_EQ(w.BlockBytes(), 8000 * expected / 1000 * 2) << set;
  }
}

TEST_F(WavWriter, FinalHeaderStatesTheBytesWritten) {
  // The input's header carries sizes of its own; the output's must not.
  const TBytes input = test::TWavBuilder().Fmt(1, 2, 44100, 16).Header("data", 123456).Bytes();
  for (std::size_t n :
       {std::size_t{0}, std::size_t{1}, std::size_t{1001}, std::size_t{2 * kWavBufferBytes + 7}}) {
    TWavFileOut w;
    std::vector<std::uint32_t> written;
    w.OnBufferWritten = [&](const std::uint8_t* pb, std::uint32_t l) {
      EXPECT_EQ(pb, w.Buffer());
      written.push_back(l);
    };
    const std::string path = Path(std::to_string(n) + ".wav");
    ASSERT_TRUE(w.OpenFileNamed(path));
    WriteRun(w, input, n);
    EXPECT_EQ(w.HeaderBytes(), 44u);
    EXPECT_EQ(w.TotalBytes(), n);
    w.CloseFile();
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(w.WriteFailed()) << n;

    const TBytes file = Contents(path);
    ASSERT_EQ(file.size(), 44 + n) << n;
    THeaderImage h;
    std::copy(file.begin(), file.begin() + 44, h.Bytes.begin());
    EXPECT_EQ(h.RiffSize(), 36 + n) << n;
    EXPECT_EQ(h.DataSize(), n) << n;
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 4, input.begin()));
    EXPECT_TRUE(std::equal(file.begin() + 8, file.begin() + 40, input.begin() + 8));
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(file[44 + i], test::SampleByte(i)) << n;
    EXPECT_EQ(written.size(), (n + kWavBufferBytes - 1) / kWavBufferBytes);
  }
}

TEST_F(WavWriter, CountZeroWritesNothing) {
  TWavFileOut w;
  std::vector<std::uint32_t> written;
  w.OnBufferWritten = [&](const std::uint8_t*, std::uint32_t l) { written.push_back(l); };
  ASSERT_TRUE(w.OpenFileNamed(Path("zero.wav")));
  w.WriteBuffer(7);
  w.WriteBuffer(0);
  w.WriteBuffer(-5);
  EXPECT_EQ(written, (std::vector<std::uint32_t>{7, 0, 0}));
  EXPECT_EQ(w.TotalBytes(), 7u);
  EXPECT_FALSE(w.WriteFailed());
  w.CloseFile();
  EXPECT_EQ(Contents(Path("zero.wav")).size(), 7u);
}

TEST_F(WavWriter, CountBeyondTheBufferIsCutAndReported) {
  TWavFileOut w;
  ASSERT_TRUE(w.OpenFileNamed(Path("big.wav")));
  w.WriteBuffer(static_cast<std::int32_t>(kWavBufferBytes) + 1);
  EXPECT_EQ(w.TotalBytes(), kWavBufferBytes);
  EXPECT_TRUE(w.WriteFailed());
}

TEST_F(WavWriter, ReopenClosesTheFirstFileAndResetsCounters) {
  TWavFileOut w;
  ASSERT_TRUE(w.OpenFileNamed(Path("first.wav")));
  const std::size_t open_with_one = OpenDescriptors();
  WriteRun(w, TBytes(w.HeaderImage().Bytes.begin(), w.HeaderImage().Bytes.end()), 10);
  ASSERT_TRUE(w.OpenFileNamed(Path("second.wav")));
  EXPECT_EQ(OpenDescriptors(), open_with_one);
  EXPECT_TRUE(w.IsOpen());
  EXPECT_EQ(w.HeaderBytes(), 0u);
  EXPECT_EQ(w.TotalBytes(), 0u);
  EXPECT_EQ(Contents(Path("first.wav")).size(), 54u);
  EXPECT_TRUE(Contents(Path("second.wav")).empty());
}

TEST_F(WavWriter, FailedOpenLeavesNothingOpen) {
  TWavFileOut w;
  ASSERT_TRUE(w.OpenFileNamed(Path("open.wav")));
  w.WriteBuffer(3);
  const std::size_t open_with_one = OpenDescriptors();
  EXPECT_FALSE(w.OpenFileNamed(Path("no-such-folder/out.wav")));
  EXPECT_FALSE(w.IsOpen());
  EXPECT_EQ(w.HeaderBytes(), 0u);
  EXPECT_EQ(w.TotalBytes(), 0u);
  EXPECT_EQ(OpenDescriptors(), open_with_one - 1);
  EXPECT_EQ(w.Filename, Path("no-such-folder/out.wav"));
  EXPECT_FALSE(w.OpenFileNamed(ZORV_WAV_SCRATCH));  // a folder
}

// A named pipe nobody reads from cannot take a WAV file: the open fails at
// once instead of waiting for a reader that never comes.
TEST_F(WavWriter, NamedPipeWithoutAReaderFailsAtOnce) {
  const std::string path = Path("out.fifo");
  std::remove(path.c_str());
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  TWavFileOut w;
  auto opening = std::async(std::launch::async, [&] { return w.OpenFileNamed(path); });
  const bool returned = opening.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  int reader = -1;
  // Let a waiting open go on, so that the test can end.
  if (!returned) reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  EXPECT_TRUE(returned) << "opening a named pipe waits for a reader";
  EXPECT_FALSE(opening.get());
  EXPECT_FALSE(w.IsOpen());
  w.CloseFile();
  if (reader >= 0) ::close(reader);
  std::remove(path.c_str());
}

TEST_F(WavWriter, EmptyNameChangesNothing) {
  TWavFileOut w;
  ASSERT_TRUE(w.OpenFileNamed(Path("kept.wav")));
  w.WriteBuffer(5);
  EXPECT_FALSE(w.OpenFileNamed(""));
  EXPECT_TRUE(w.IsOpen());
  EXPECT_EQ(w.Filename, Path("kept.wav"));
  EXPECT_EQ(w.TotalBytes(), 5u);
}

TEST_F(WavWriter, FullDiskIsReportedAndNotCounted) {
  TWavFileOut w;
  std::vector<std::uint32_t> written;
  w.OnBufferWritten = [&](const std::uint8_t*, std::uint32_t l) { written.push_back(l); };
  ASSERT_TRUE(w.OpenFileNamed("/dev/full"));
  EXPECT_FALSE(w.WriteFailed());
  EXPECT_FALSE(w.WriteHeader());
  EXPECT_FALSE(w.WriteDataHeader());
  EXPECT_EQ(w.HeaderBytes(), 44u);
  w.WriteBuffer(100);
  EXPECT_EQ(written, std::vector<std::uint32_t>{0});
  EXPECT_EQ(w.TotalBytes(), 0u);
  EXPECT_TRUE(w.WriteFailed());
  EXPECT_EQ(w.WriteErrno(), ENOSPC) << "the first failure's reason is kept";
  w.CloseFile();
  EXPECT_TRUE(w.WriteFailed());
  ASSERT_TRUE(w.OpenFileNamed(Path("after.wav")));
  EXPECT_FALSE(w.WriteFailed());
  EXPECT_EQ(w.WriteErrno(), 0);
}

// The counters are 64-bit: data goes on past what 32-bit size fields can
// state (the output is then RF64, laid out by the run).
TEST_F(WavWriter, DataGoesOnPastFourGiB) {
  TWavFileOut w;
  ASSERT_TRUE(w.OpenFileNamed("/dev/null"));
  const std::uint64_t blocks = (std::uint64_t{1} << 32) / kWavBufferBytes + 2;
  for (std::uint64_t i = 0; i < blocks; ++i) w.WriteBuffer(kWavBufferBytes);
  EXPECT_FALSE(w.WriteFailed());
  EXPECT_EQ(w.WriteErrno(), 0);
  EXPECT_EQ(w.TotalBytes(), blocks * kWavBufferBytes);
  EXPECT_GT(w.TotalBytes(), 0xFFFFFFFFu);
}

// A file created by the caller (exclusively, under a name of its choosing) is
// written like one the writer created, and closed by the writer.
TEST_F(WavWriter, AdoptedFileIsWrittenAndClosed) {
  const std::string path = Path("adopted.wav");
  std::remove(path.c_str());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  TWavFileOut w;
  EXPECT_FALSE(w.AdoptFile(-1, path));
  EXPECT_FALSE(w.IsOpen());
  ASSERT_TRUE(w.AdoptFile(fd, path));
  EXPECT_EQ(w.Filename, path);
  const std::size_t open = OpenDescriptors();
  WriteRun(w, test::CanonicalWav(2, 44100, 16, 0), 1000);
  w.CloseFile();
  EXPECT_FALSE(w.WriteFailed());
  EXPECT_EQ(OpenDescriptors(), open - 1);
  EXPECT_EQ(Contents(path).size(), 1044u);
}

TEST_F(WavWriter, WritesOnAClosedWriterFail) {
  TWavFileOut w;
  EXPECT_FALSE(w.WriteHeader());
  w.WriteBuffer(4);
  EXPECT_EQ(w.TotalBytes(), 0u);
  EXPECT_TRUE(w.WriteFailed());
  w.CloseFile();
  EXPECT_FALSE(w.IsOpen());
}

struct THalvingCase {
  std::uint32_t Rate;
  std::uint16_t Align;
  std::uint32_t IntervalBefore;
  std::uint32_t IntervalAfter;
  std::uint32_t Bytes;
};

TEST_F(WavWriter, WriteHeaderHalvesTheIntervalUntilTheBlockFits) {
  const THalvingCase cases[] = {
      {44100, 4, 100, 100, 17640}, {96000, 6, 100, 50, 28800},        {96000, 8, 100, 50, 38400},
      {0, 4, 250, 250, 0},         {96000, 60000, 100, 10, 57600000},
  };
  for (const auto& c : cases) {
    TWavFileOut w;
    ASSERT_TRUE(w.OpenFileNamed(Path("halving.wav")));
    w.SetTimerInterval(c.IntervalBefore);
    w.HeaderImage().SetSampleRate(c.Rate);
    w.HeaderImage().SetBlockAlign(c.Align);
    EXPECT_TRUE(w.WriteHeader());
    EXPECT_EQ(w.TimerInterval(), c.IntervalAfter) << c.Rate << " " << c.Align;
    EXPECT_EQ(w.BlockBytes(), c.Bytes) << c.Rate << " " << c.Align;
  }
}

TEST_F(WavWriter, DestructorClosesWithoutWriting) {
  const std::size_t before = OpenDescriptors();
  {
    TWavFileOut w;
    ASSERT_TRUE(w.OpenFileNamed(Path("left-open.wav")));
    w.WriteBuffer(9);
  }
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(Contents(Path("left-open.wav")).size(), 9u);
}

}  // namespace
}  // namespace zorv
