// SPDX-License-Identifier: GPL-3.0-or-later
// The ways the decoder core can do its arithmetic.
#pragma once

#include <optional>
#include <string_view>

namespace zorv {

enum class TDecodePath {
  Extended,  // the reference: every formula in extended precision
  Portable,  // plain double on lanes, any x86-64 (SSE2)
  Avx2,      // plain double on lanes, AVX2
  Avx512,    // plain double on lanes, AVX-512
};

// True when this processor can run the path.
bool PathSupported(TDecodePath path);
// The fastest path this processor runs.
TDecodePath FastestPath();

std::string_view PathName(TDecodePath path);  // "extended", "portable", "avx2", "avx512"
std::optional<TDecodePath> ParsePath(std::string_view name);

}  // namespace zorv
