// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-derive-coefficients: checks that the design rule (coefficient_rule.h)
// gives every coefficient of the decoder's 44.1, 48 and 96 kHz tables to
// within half a unit of its last digit, and only then writes the tables of
// the derived rates, the text of dsp/derived_coefficients.h:
//
//   zorv-derive-coefficients > dsp/derived_coefficients.h
//   zorv-derive-coefficients --check     (the check alone)
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/coefficient_rule.h"

int main(int argc, char** argv) {
  const bool checkOnly = argc == 2 && std::strcmp(argv[1], "--check") == 0;
  if (argc > 2 || (argc == 2 && !checkOnly)) {
    std::fprintf(stderr, "usage: zorv-derive-coefficients [--check]\n");
    return 2;
  }
  std::size_t entries = 0;
  std::size_t misses = 0;
  for (const zorv::rule::TTableEntry& entry : zorv::rule::SpecifiedEntries()) {
    ++entries;
    for (const std::string& miss : zorv::rule::RuleMisses(entry)) {
      std::fprintf(stderr, "zorv-derive-coefficients: %s\n", miss.c_str());
      ++misses;
    }
  }
  if (misses != 0) {
    std::fprintf(stderr,
                 "zorv-derive-coefficients: the rule misses %zu coefficients of the tables; "
                 "nothing written\n",
                 misses);
    return 1;
  }
  std::fprintf(stderr,
               "zorv-derive-coefficients: the rule gives all %zu sections of the 44.1, 48 and "
               "96 kHz tables\n",
               entries);
  if (!checkOnly) std::fputs(zorv::rule::DerivedHeaderText().c_str(), stdout);
  return 0;
}
