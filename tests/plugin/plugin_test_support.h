// SPDX-License-Identifier: GPL-3.0-or-later
// What the plugin tests share: test programmes as the host's float samples,
// the decoder core's own decode of them, and a forced arithmetic path.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "dsp/decode_path.h"
#include "dsp/zorv_calc.h"
#include "plugin/plugin_arithmetic.h"
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

// A change of the level a host hands over with a block, at a frame of it.
struct TLevelPoint {
  std::uint32_t Frame;
  double Db;
};

// The decoder core, its level set to each change's dB from the change's
// frame on (changes in order of frame; -10 dB before the first), in
// pieces of at most piece frames; the output rounded to float.
inline TChannels CoreDecodeFrom(const TChannels& in, std::uint32_t rate, TDecodePath path,
                                const std::vector<std::pair<std::size_t, double>>& changes,
                                std::size_t piece = 4410) {
  const auto channels = static_cast<std::uint32_t>(in.size());
  const std::size_t frames = in[0].size();
  TZorvCalc calc;
  calc.SetPath(path);
  calc.Prepare(rate, channels, 0);
  std::vector<double> x[2], y[2];
  TChannels out(channels, std::vector<float>(frames));
  std::size_t next = 0;
  for (std::size_t start = 0; start < frames;) {
    while (next < changes.size() && changes[next].first <= start) {
      calc.SetLevel(changes[next++].second);
    }
    std::size_t end = std::min(start + piece, frames);
    if (next < changes.size()) end = std::min(end, changes[next].first);
    const std::size_t n = end - start;
    for (std::uint32_t c = 0; c < channels; ++c) {
      x[c].assign(in[c].begin() + static_cast<std::ptrdiff_t>(start),
                  in[c].begin() + static_cast<std::ptrdiff_t>(end));
      y[c].resize(n);
    }
    calc.ProcessBlock(x[0].data(), channels == 2 ? x[1].data() : nullptr, y[0].data(),
                      channels == 2 ? y[1].data() : nullptr, static_cast<std::uint32_t>(n));
    for (std::uint32_t c = 0; c < channels; ++c) {
      for (std::size_t i = 0; i < n; ++i) out[c][start + i] = static_cast<float>(y[c][i]);
    }
    start = end;
  }
  return out;
}

// The decoder core on the same samples, in blocks of block frames (the
// command line's 100 ms by default), its output rounded to float. Block k
// is decoded at levelsDb[k], the last level holding for the rest.
inline TChannels CoreDecode(const TChannels& in, std::uint32_t rate, TDecodePath path,
                            const std::vector<double>& levelsDb = {-10.0},
                            std::uint32_t block = 4410) {
  std::vector<std::pair<std::size_t, double>> changes;
  for (std::size_t k = 0; k < levelsDb.size(); ++k) changes.emplace_back(k * block, levelsDb[k]);
  return CoreDecodeFrom(in, rate, path, changes, block);
}

// in decoded by a hosted plugin (anything with Process(in, out, frames,
// points)) in host blocks whose sizes cycle through blocks; each level
// point (frame from the start) goes with the block it falls in.
template <class TPlugin>
TChannels HostDecode(TPlugin& plugin, const TChannels& in, const std::vector<std::uint32_t>& blocks,
                     const std::vector<TLevelPoint>& points = {}) {
  const std::size_t channels = in.size();
  const std::size_t frames = in[0].size();
  TChannels out(channels, std::vector<float>(frames));
  std::vector<float> x[2], y[2];
  for (std::size_t start = 0, k = 0; start < frames; ++k) {
    const auto n = static_cast<std::uint32_t>(
        std::min<std::size_t>(blocks[k % blocks.size()], frames - start));
    const float* inputs[2] = {};
    float* outputs[2] = {};
    for (std::size_t c = 0; c < channels; ++c) {
      x[c].assign(in[c].begin() + static_cast<std::ptrdiff_t>(start),
                  in[c].begin() + static_cast<std::ptrdiff_t>(start + n));
      y[c].assign(n, 0.0F);
      inputs[c] = x[c].data();
      outputs[c] = y[c].data();
    }
    std::vector<TLevelPoint> here;
    for (const TLevelPoint& p : points) {
      if (p.Frame >= start && p.Frame < start + n) {
        here.push_back({static_cast<std::uint32_t>(p.Frame - start), p.Db});
      }
    }
    plugin.Process(inputs, outputs, n, here);
    for (std::size_t c = 0; c < channels; ++c) {
      std::copy(y[c].begin(), y[c].end(), out[c].begin() + static_cast<std::ptrdiff_t>(start));
    }
    start += n;
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
