// SPDX-License-Identifier: GPL-3.0-or-later
// --plot: the picture of a decode's band gains, written as a PNG file. It is
// drawn with Qt's painter on an image, without a display; a zorv-decode built
// without Qt has no plots.
#pragma once

#include <string>

#include "app/gain_history.h"

namespace zorv::cli {

// Why this zorv-decode cannot draw plots; empty when it can.
std::string PlotsUnavailable();

// The band gains of the history's first two channels as a PNG picture on
// the open file fd (which stays open). False when it could not be written,
// with errno set. Called on the program's main thread.
bool WriteGainPlot(const TGainHistory& history, int fd);

}  // namespace zorv::cli
