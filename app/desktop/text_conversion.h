// SPDX-License-Identifier: GPL-3.0-or-later
// Between the window's texts and paths (QString) and the application layer's
// (std::string, UTF-8 texts and paths in the file system's encoding).
#pragma once

#include <QFile>
#include <QString>
#include <string>
#include <string_view>

namespace zorv {

inline std::string LocalPath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

inline QString FromLocal(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

inline QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace zorv
