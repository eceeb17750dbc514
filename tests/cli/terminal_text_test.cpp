// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_text.h"

#include <gtest/gtest.h>

namespace zorv::cli {
namespace {

TEST(Escaped, MakesEveryControlCharacterVisibleAndKeepsTheRest) {
  const std::pair<std::string, std::string> cases[] = {
      {"tape 1.wav", "tape 1.wav"},
      {"a\nb.wav", "a\\nb.wav"},
      {"a\tb\rc", "a\\tb\\rc"},
      {"\x1b[2Jx.wav", "\\x1b[2Jx.wav"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"del\x7f", "del\\x7f"},
      {"csi\xc2\x9b"
       "2J",
       "csi\\u009b2J"},  // C1 control, valid UTF-8
      {"caf\xc3\xa9 \xe6\x97\xa5.wav", "caf\xc3\xa9 \xe6\x97\xa5.wav"},
      {"bad\xff\xc3", "bad\\xff\\xc3"},     // not UTF-8, and cut in the middle
      {"\xc0\xaf", "\\xc0\\xaf"},           // overlong '/'
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},  // a surrogate
  };
  for (const auto& [raw, shown] : cases) EXPECT_EQ(Escaped(raw), shown) << shown;
}

TEST(DisplayWidth, CountsColumnsNotBytes) {
  EXPECT_EQ(DisplayWidth("abc"), 3u);
  EXPECT_EQ(DisplayWidth("caf\xc3\xa9"), 4u);               // é: two bytes, one column
  EXPECT_EQ(DisplayWidth("e\xcc\x81"), 1u);                 // e + combining acute
  EXPECT_EQ(DisplayWidth("\xe6\x97\xa5\xe6\x9c\xac"), 4u);  // two wide characters
  EXPECT_EQ(DisplayWidth("\xf0\x9f\x8e\xb5"), 2u);          // an emoji
  EXPECT_EQ(DisplayWidth("\xff"), 1u);
}

TEST(Shortened, CutsOnCharacterBoundariesWithinTheWidth) {
  EXPECT_EQ(Shortened("short.wav", 20), "short.wav");
  EXPECT_EQ(Shortened("a_rather_long_name_of_a_tape.wav", 16), "a_rathe...pe.wav");
  // Wide characters are never split, and the result never exceeds the width.
  const std::string wide = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe5\x90\x8d.wav";
  for (std::size_t width = 0; width < 16; ++width) {
    const std::string cut = Shortened(wide, width);
    EXPECT_LE(DisplayWidth(cut), width) << width;
    EXPECT_EQ(Escaped(cut), cut) << "no broken UTF-8 at width " << width;
  }
  EXPECT_EQ(Shortened(wide, 9), "\xe6\x97\xa5...wav");  // 2 + 3 + 3 columns
  EXPECT_EQ(HeadWithin("\xe6\x97\xa5x", 1), "");
  EXPECT_EQ(TailWithin("x\xe6\x97\xa5", 1), "");
  EXPECT_EQ(TailWithin("ab\xc3\xa9", 2), "b\xc3\xa9");
}

}  // namespace
}  // namespace zorv::cli
