#include "byte_source.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "wav_builder.h"

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

}  // namespace
}  // namespace zorv
