// SPDX-License-Identifier: GPL-3.0-or-later
// Between the window's texts and paths (QString) and the application layer's
// (std::string, UTF-8 texts and paths as the file system's bytes).
//
// A path is bytes. One that is not UTF-8 (a Latin-1 "é" from an old
// recorder's file system) keeps each stray byte as a code unit of its own,
// U+DC80..U+DCFF, in the QString, and gets it back in LocalPath: such a file
// can be chosen, opened and proposed an output beside it.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace zorv {

std::string LocalPath(const QString& path);
QString FromLocal(std::string_view path);

// Whether something of that name exists (a link to nowhere counts).
bool PathExists(const QString& path);

inline QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace zorv
