// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-decode built without Qt: no plots.
#include <cerrno>

#include "cli/gain_plot_file.h"

namespace zorv::cli {

std::string PlotsUnavailable() {
  return "this zorv-decode was built without Qt: --plot is not available";
}

bool WriteGainPlot(const TGainHistory&, int) {
  errno = ENOSYS;
  return false;
}

}  // namespace zorv::cli
