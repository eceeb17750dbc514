// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/md5.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace zorv
