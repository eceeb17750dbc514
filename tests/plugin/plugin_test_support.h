// SPDX-License-Identifier: GPL-3.0-or-later
// What the plugin tests share: test programmes as the host's float samples,
// the decoder core's own decode of them, and a forced arithmetic path.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/arithmetic.h"
#include "dsp/decode_path.h"
#include "dsp/zorv_calc.h"
#include "tests/support/test_signal.h"

namespace zorv::test {

using TChannels = std::vector<std::vector<float>>;

// channels of a busy programme, rounded to float as a host hands them over.
inline TChannels FloatProgramme(std::uint32_t channels, std::uint32_t rate, std::size_t frames) {
  TChannels out;
  for (std::uint32_t c = 0; c < channels; ++c) {
    const std::vector<double> signal = Programme(rate, frames, c + 1);
    out.emplace_back(signal.begin(), signal.end());
  }
  return out;
}

// The decoder core on the same samples, in blocks of block frames (the
// command line's 100 ms by default), its output rounded to float. Block k
// is decoded at levelsDb[k], the last level holding for the rest.
inline TChannels CoreDecode(const TChannels& in, std::uint32_t rate, TDecodePath path,
                            const std::vector<double>& levelsDb = {-10.0},
                            std::uint32_t block = 4410) {
  const auto channels = static_cast<std::uint32_t>(in.size());
  const std::size_t frames = in[0].size();
  TZorvCalc calc;
  calc.SetPath(path);
  calc.Prepare(rate, channels, 0);
  std::vector<double> x[2], y[2];
  TChannels out(channels, std::vector<float>(frames));
  for (std::size_t start = 0, k = 0; start < frames; start += block, ++k) {
    calc.SetLevel(levelsDb[std::min(k, levelsDb.size() - 1)]);
    const std::size_t n = std::min<std::size_t>(block, frames - start);
    for (std::uint32_t c = 0; c < channels; ++c) {
      x[c].assign(in[c].begin() + static_cast<std::ptrdiff_t>(start),
                  in[c].begin() + static_cast<std::ptrdiff_t>(start + n));
      y[c].resize(n);
    }
    calc.ProcessBlock(x[0].data(), channels == 2 ? x[1].data() : nullptr, y[0].data(),
                      channels == 2 ? y[1].data() : nullptr, static_cast<std::uint32_t>(n));
    for (std::uint32_t c = 0; c < channels; ++c) {
      for (std::size_t i = 0; i < n; ++i) out[c][start + i] = static_cast<float>(y[c][i]);
    }
  }
  return out;
}

// Every arithmetic path this processor runs.
inline std::vector<TDecodePath> SupportedPaths() {
  std::vector<TDecodePath> paths;
  for (const TDecodePath p :
       {TDecodePath::Extended, TDecodePath::Portable, TDecodePath::Avx2, TDecodePath::Avx512}) {
    if (PathSupported(p)) paths.push_back(p);
  }
  return paths;
}

// Instances made while it lives use path (the plugin reads the variable
// when it is instantiated, as the program does at its start).
class TForcedPath {
 public:
  explicit TForcedPath(TDecodePath path) {
    setenv(kArithmeticVariable, std::string(PathName(path)).c_str(), 1);
  }
  ~TForcedPath() { unsetenv(kArithmeticVariable); }
  TForcedPath(const TForcedPath&) = delete;
  TForcedPath& operator=(const TForcedPath&) = delete;
};

}  // namespace zorv::test
