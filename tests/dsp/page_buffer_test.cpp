// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/page_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace zorv {
namespace {

// Every byte asked for is there, zeroed and writable, for buffers below and
// above the size laid out on large pages (and one just past a large page).
TEST(PageBuffer, HoldsEveryByteAskedForZeroed) {
  for (const std::size_t bytes : {std::size_t{1}, std::size_t{4097}, std::size_t{256} << 10,
                                  (std::size_t{2} << 20) + 8, std::size_t{5} << 20}) {
    TPageBuffer buffer(bytes);
    ASSERT_NE(buffer.Data(), nullptr) << bytes;
    EXPECT_EQ(buffer.Size(), bytes);
    EXPECT_TRUE(std::all_of(buffer.Data(), buffer.Data() + bytes, [](std::byte b) {
      return b == std::byte{0};
    })) << bytes;
    std::fill(buffer.Data(), buffer.Data() + bytes, std::byte{0x5A});
    EXPECT_EQ(buffer.Data()[bytes - 1], std::byte{0x5A});
    // Doubles may be laid on it from its start.
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.Data()) % alignof(double), 0U);
  }
}

TEST(PageBuffer, MovesItsPagesAndLeavesNothingBehind) {
  TPageBuffer a(std::size_t{300} << 10);
  a.Data()[0] = std::byte{7};
  std::byte* const pages = a.Data();
  TPageBuffer b(std::move(a));
  EXPECT_EQ(a.Data(), nullptr);
  EXPECT_EQ(a.Size(), 0U);
  EXPECT_EQ(b.Data(), pages);
  EXPECT_EQ(b.Data()[0], std::byte{7});
  TPageBuffer c(16);
  c = std::move(b);
  EXPECT_EQ(c.Data(), pages);
  EXPECT_EQ(b.Data(), nullptr);
  c = TPageBuffer();
  EXPECT_EQ(c.Data(), nullptr);
  EXPECT_EQ(TPageBuffer(0).Data(), nullptr);
}

}  // namespace
}  // namespace zorv
