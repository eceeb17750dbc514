// SPDX-License-Identifier: GPL-3.0-or-later
// Text for a terminal: names with their control characters made visible, and
// lengths measured in the columns a text takes on the screen.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorv::cli {

// The text with every control character (C0, DEL, C1) and every byte that is
// not part of valid UTF-8 written as an escape: "\n", "\t", "\r", "\x1b",
// "\u009b"; anything else unchanged. A name printed this way can neither
// break a line nor send a terminal command.
std::string Escaped(std::string_view text);

// Columns the (valid UTF-8, escaped) text takes: 2 for wide East Asian
// characters and emoji, 0 for combining marks, 1 for everything else.
std::size_t DisplayWidth(std::string_view text);

// The longest start of the text, in whole characters, within width columns.
std::string_view HeadWithin(std::string_view text, std::size_t width);
// The longest end of the text, in whole characters, within width columns.
std::string_view TailWithin(std::string_view text, std::size_t width);

// The text itself when it fits width columns, else its start and its end
// around "...", cut on character boundaries, within width.
std::string Shortened(std::string_view text, std::size_t width);

}  // namespace zorv::cli
