// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/byte_source.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <memory>
#include <string>

#include "tests/wav/wav_builder.h"

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

}  // namespace
}  // namespace zorv
