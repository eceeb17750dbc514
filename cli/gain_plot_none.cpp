// zorv-decode built without Qt: no plots.
#include <cerrno>

#include "cli/gain_plot_file.h"

namespace zorv::cli {

bool CanDrawPlots() {
  return false;
}

bool WriteGainPlot(const TGainHistory&, int) {
  errno = ENOSYS;
  return false;
}

}  // namespace zorv::cli
