// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/little_endian.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace zorv {
namespace {

// Values with the top bit of every byte set, where a sign crept in through
// a promoted byte would show, written, read back and appended alike.
TEST(LittleEndian, ReadsWritesAndAppendsTheLowByteFirst) {
  const std::vector<std::uint8_t> bytes = {0xFE, 0xFF, 0x80, 0x81, 0x82, 0x83, 0x84, 0xF5};
  EXPECT_EQ(GetLe16(bytes.data()), 0xFFFEu);
  EXPECT_EQ(GetLe32(bytes.data() + 2), 0x83828180u);
  EXPECT_EQ(GetLe64(bytes.data()), 0xF584838281'80FFFEull);

  std::vector<std::uint8_t> set(8, 0);
  SetLe64(set.data(), 0xF584838281'80FFFEull);
  EXPECT_EQ(set, bytes);
  SetLe32(set.data() + 2, 0x01020304u);
  SetLe16(set.data() + 6, 0xA0B0u);
  EXPECT_EQ(set, (std::vector<std::uint8_t>{0xFE, 0xFF, 0x04, 0x03, 0x02, 0x01, 0xB0, 0xA0}));

  std::vector<std::uint8_t> appended;
  AppendLe16(appended, 0xFFFEu);
  AppendLe32(appended, 0x83828180u);
  AppendLe16(appended, 0xF584u);
  EXPECT_EQ(appended, bytes);
  AppendLe64(appended, 0xF584838281'80FFFEull);
  EXPECT_EQ(std::vector<std::uint8_t>(appended.begin() + 8, appended.end()), bytes);
}

}  // namespace
}  // namespace zorv
