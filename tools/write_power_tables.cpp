// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-power-tables: writes the text of one of the headers that hold the
// reference power of ten's table and the reference levels' factors:
//
//   zorv-power-tables powers > dsp/power_of_ten_table.h
//   zorv-power-tables levels > dsp/level_factors.h
//   zorv-power-tables start > dsp/start_constants.h
//
// The levels come from the power of ten as built, so after a change of the
// first table build again before writing the second.
#include <cstdio>
#include <string>

#include "tools/power_tables.h"

int main(int argc, char** argv) {
  const std::string which = argc == 2 ? argv[1] : "";
  if (which == "powers") {
    std::fputs(zorv::tables::PowerOfTenTableText().c_str(), stdout);
  } else if (which == "levels") {
    std::fputs(zorv::tables::LevelFactorsText().c_str(), stdout);
  } else if (which == "start") {
    std::fputs(zorv::tables::StartConstantsText().c_str(), stdout);
  } else {
    std::fprintf(stderr, "usage: zorv-power-tables powers|levels|start\n");
    return 2;
  }
  return 0;
}
