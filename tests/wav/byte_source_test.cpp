// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/byte_source.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "tests/wav/wav_builder.h"
#include "wav/byte_sink.h"
#include "wav/io_stop.h"

namespace zorv {
namespace {

// Both sources hold the same ten bytes and must behave alike.
TEST(ByteSource, FileAndMemoryReadAndSeekAlike) {
  test::TBytes bytes(10);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = test::SampleByte(i);
  const std::string path = std::string(ZORV_WAV_SCRATCH) + "/byte_source.bin";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 10);

  std::unique_ptr<TByteSource> sources[] = {OpenFileSource(path),
                                            MemorySource(bytes.data(), bytes.size())};
  for (auto& s : sources) {
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Size(), 10u);
    std::uint8_t got[16] = {};
    EXPECT_EQ(s->Read(got, 4), 4u);
    EXPECT_EQ(got[3], bytes[3]);
    EXPECT_TRUE(s->Seek(7));
    EXPECT_EQ(s->Read(got, 16), 3u);  // short at the end
    EXPECT_EQ(got[2], bytes[9]);
    EXPECT_EQ(s->Position(), 10u);
    EXPECT_FALSE(s->Seek(11));
    EXPECT_EQ(s->Position(), 10u);
    EXPECT_TRUE(s->Seek(10));
    EXPECT_EQ(s->Read(got, 1), 0u);
  }
  EXPECT_EQ(OpenFileSource(path + ".missing"), nullptr);
  EXPECT_EQ(MemorySource(nullptr, 5)->Size(), 0u);
}

// A named pipe nobody writes to must be refused at once: opening it for
// reading would otherwise wait for a writer, for ever, and no interrupt ends
// that wait.
TEST(ByteSource, NamedPipeIsRefusedWithoutWaitingForAWriter) {
  const std::string path = std::string(ZORV_WAV_SCRATCH) + "/byte_source.fifo";
  std::remove(path.c_str());
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  auto opening = std::async(std::launch::async, [&] { return OpenFileSource(path) == nullptr; });
  const bool returned = opening.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  if (!returned) {
    // Let the waiting open go on, so that the test can end.
    const int writer = ::open(path.c_str(), O_WRONLY);
    if (writer >= 0) ::close(writer);
  }
  EXPECT_TRUE(returned) << "opening a named pipe waits for a writer";
  EXPECT_TRUE(opening.get());
  std::remove(path.c_str());
}

// Small reads come from a buffer filled 64 KiB at a time, large ones from the
// file; mixed with seeks back and forth, both give the file's bytes.
TEST(ByteSource, BufferedFileReadsGiveTheFilesBytesWhereverTheySeek) {
  test::TBytes bytes(300000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = test::SampleByte(i * 13 + i / 7);
  const std::string path = std::string(ZORV_WAV_SCRATCH) + "/byte_source_large.bin";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  auto file = OpenFileSource(path);
  ASSERT_NE(file, nullptr);
  // (position, count): small reads, a read across the buffer's end, large
  // reads, seeks back into a buffer already filled and past it.
  const std::pair<std::size_t, std::size_t> reads[] = {
      {0, 8},         {8, 100},   {65530, 12}, {65542, 70000},   {100, 8},  {299990, 20},
      {140000, 4095}, {70000, 8}, {12, 4096},  {200000, 100000}, {65536, 1}};
  for (const auto& [at, count] : reads) {
    SCOPED_TRACE(std::to_string(at) + "+" + std::to_string(count));
    ASSERT_TRUE(file->Seek(at));
    test::TBytes got(count);
    const std::size_t expected = std::min(count, bytes.size() - at);
    EXPECT_EQ(file->Read(got.data(), count), expected);
    got.resize(expected);
    EXPECT_EQ(got, test::TBytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                bytes.begin() + static_cast<std::ptrdiff_t>(at + expected)));
    EXPECT_EQ(file->Position(), at + expected);
  }
  EXPECT_EQ(file->ReadErrno(), 0);
  std::remove(path.c_str());
}

// A stream read that waits for a pipe nobody writes to gives up when a stop
// is requested (the signal handler's flag and self-pipe), and says so; data
// that is there is read first.
TEST(ByteSource, AStopEndsAReadWaitingForAStalledPipe) {
  int data[2];
  int wake[2];
  ASSERT_EQ(::pipe(data), 0);
  ASSERT_EQ(::pipe(wake), 0);
  std::atomic<bool> stop{false};
  SetIoStop(&stop, wake[0]);
  ASSERT_EQ(::write(data[1], "RIFF", 4), 4);
  auto stream = StreamSource(data[0]);
  auto reading = std::async(std::launch::async, [&] {
    std::uint8_t got[8] = {};
    const std::size_t n = stream->Read(got, sizeof got);
    return std::make_pair(n, std::string(reinterpret_cast<char*>(got), n));
  });
  EXPECT_EQ(reading.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout)
      << "waits for the rest";
  stop = true;
  ASSERT_EQ(::write(wake[1], "x", 1), 1);
  ASSERT_EQ(reading.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const auto [n, text] = reading.get();
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(text, "RIFF");
  EXPECT_TRUE(stream->Interrupted());
  EXPECT_EQ(stream->ReadErrno(), 0);
  SetIoStop(nullptr, -1);
  for (const int fd : {data[0], data[1], wake[0], wake[1]}) ::close(fd);
}

// The same for a write to a pipe whose reader takes nothing: it fails with
// EINTR, having written what the pipe took.
TEST(ByteSink, AStopEndsAWriteWaitingForAStalledPipe) {
  int data[2];
  int wake[2];
  ASSERT_EQ(::pipe(data), 0);
  ASSERT_EQ(::pipe(wake), 0);
  std::atomic<bool> stop{false};
  SetIoStop(&stop, wake[0]);
  auto sink = StreamSink(data[1]);
  const std::vector<std::uint8_t> bytes(1 << 20, 7);
  auto writing =
      std::async(std::launch::async, [&] { return sink->Write(bytes.data(), bytes.size()); });
  EXPECT_EQ(writing.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  stop = true;
  ASSERT_EQ(::write(wake[1], "x", 1), 1);
  ASSERT_EQ(writing.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const std::size_t written = writing.get();
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, bytes.size());
  EXPECT_EQ(sink->Error(), EINTR);
  SetIoStop(nullptr, -1);
  for (const int fd : {data[0], data[1], wake[0], wake[1]}) ::close(fd);
}

}  // namespace
}  // namespace zorv
