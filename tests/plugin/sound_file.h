// SPDX-License-Identifier: GPL-3.0-or-later
// WAV files as another program reads and writes them: libsndfile, without
// any conversion of the samples.
#pragma once

#include <string>
#include <vector>

namespace zorv::test {

struct TSound {
  int Channels = 0;
  int Rate = 0;
  int Format = 0;
  std::vector<float> Floats;  // interleaved, for a float file
  std::vector<short> Shorts;  // interleaved, for a 16-bit file
};

// The samples of a WAV file (a test failure when it cannot be read).
TSound ReadSound(const std::string& path);

// Channels of float samples as a float WAV file.
void WriteFloatSound(const std::string& path, const std::vector<std::vector<float>>& channels,
                     int rate);

}  // namespace zorv::test
