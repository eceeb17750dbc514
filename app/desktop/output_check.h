// SPDX-License-Identifier: GPL-3.0-or-later
// Whether an output file could be written, found out without creating it or
// changing an existing one.
#pragma once

#include <string>

namespace zorv {

// An existing file: it can be opened for writing (it is not truncated). A
// new one: the name can be created in its folder (a trial file of that name
// is created and removed at once). A named pipe without a reader counts as
// not writable rather than blocking.
bool CanCreateOutput(const std::string& path);

}  // namespace zorv
