#include "app/arithmetic.h"

#include <cstdlib>

namespace zorv {

TDecodePath DefaultArithmetic() {
  if (const char* name = std::getenv(kArithmeticVariable); name != nullptr) {
    if (const auto path = ParsePath(name); path && PathSupported(*path)) return *path;
  }
  return FastestPath();
}

}  // namespace zorv
