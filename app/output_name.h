// SPDX-License-Identifier: GPL-3.0-or-later
// The output name proposed for an input, and the test that two paths name
// the same file.
#pragma once

#include <string>

namespace zorv {

// input with "_dec" before its extension (the part after the last '.' of the
// last path component), or at its end when there is none; "output.wav" for
// inputs of 240 characters or more.
std::string ProposeOutputName(const std::string& input);

// True when both paths exist and name the same file, also through another
// spelling of the path or a link.
bool SameFile(const std::string& a, const std::string& b);

// True when no file of that name can be created: its last component is
// longer than the folder's file system takes (255 bytes on the usual ones),
// or the path leaves no room for the suffix of its temporary name within
// the system's limit. Checked before a run, so that it is not found out at
// the rename after a whole decode.
bool NameTooLong(const std::string& path);

// kOverwriteQuestion with the file name of path (without its folder).
std::string OverwriteQuestion(const std::string& path);

}  // namespace zorv
