// SPDX-License-Identifier: GPL-3.0-or-later
// The program's icon for its windows, painted like zorv-audio-decoder.svg
// (the installed icon) so that no image plugin is needed.
#pragma once

#include <QIcon>

namespace zorv {

QIcon ProgramIcon();

}  // namespace zorv
