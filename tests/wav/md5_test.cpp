// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/md5.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "wav/md5_portable.h"

namespace zorv {
namespace {

std::string Md5Of(const std::string& text) {
  TMd5 md5;
  md5.Update(text.data(), text.size());
  return HexDigest(md5.Digest());
}

TEST(Md5, KnownDigestsOfTheStandardTestSuite) {
  EXPECT_EQ(Md5Of(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Of("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(
      Md5Of("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
      "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PiecesGiveTheDigestOfTheWholeAndFeedingGoesOnAfterADigest) {
  TMd5 md5;
  md5.Update("message ", 8);
  const TMd5Digest early = md5.Digest();
  md5.Update("digest", 6);
  EXPECT_EQ(HexDigest(early), Md5Of("message "));
  EXPECT_EQ(HexDigest(md5.Digest()), "f96b697d7cb7938d525a2f31aaf161d0");
  md5.Reset();
  EXPECT_EQ(HexDigest(md5.Digest()), "d41d8cd98f00b204e9800998ecf8427e");
}

// The portable MD5 (builds without libcrypto) gives libcrypto's digests:
// lengths around every block and padding boundary, and random data fed in
// pieces cut at random points, with digests taken along the way.
TEST(Md5, ThePortableDigestsAreLibcryptos) {
  std::mt19937_64 random(20261209);
  std::vector<std::uint8_t> bytes(70000);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
  for (std::size_t size = 0; size <= 200; ++size) {
    TMd5 reference;
    TPortableMd5 portable;
    reference.Update(bytes.data(), size);
    portable.Update(bytes.data(), size);
    ASSERT_EQ(HexDigest(portable.Digest()), HexDigest(reference.Digest())) << size << " bytes";
  }
  for (int round = 0; round < 20; ++round) {
    TMd5 reference;
    TPortableMd5 portable;
    std::size_t at = 0;
    while (at < bytes.size()) {
      const std::size_t piece = std::min<std::size_t>(bytes.size() - at, random() % 9000);
      reference.Update(bytes.data() + at, piece);
      portable.Update(bytes.data() + at, piece);
      at += piece;
      if (random() % 4 == 0) {
        ASSERT_EQ(HexDigest(portable.Digest()), HexDigest(reference.Digest())) << at;
      }
    }
    EXPECT_EQ(HexDigest(portable.Digest()), HexDigest(reference.Digest()));
    portable.Reset();
    EXPECT_EQ(HexDigest(portable.Digest()), "d41d8cd98f00b204e9800998ecf8427e");
  }
}

}  // namespace
}  // namespace zorv
