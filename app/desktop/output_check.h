// SPDX-License-Identifier: GPL-3.0-or-later
// Whether an output file could be written, found out without creating
// anything or changing an existing file, with the system's reason when not.
#pragma once

#include <string>

namespace zorv {

// An existing file: it can be opened for writing (it is not truncated). A
// new one: the name can be created in its folder (a trial file of that name
// is created and removed at once). A named pipe without a reader counts as
// not writable rather than blocking. Empty when it can, else the system's
// reason ("Is a directory", "Permission denied").
std::string CreateProblem(const std::string& path);
inline bool CanCreateOutput(const std::string& path) {
  return CreateProblem(path).empty();
}

}  // namespace zorv
