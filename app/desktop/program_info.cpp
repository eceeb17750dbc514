// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/program_info.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "zorv_version.h"

namespace zorv {

const char* const kLicenseLine =
    "Licensed under the GNU GPL version 3 or later (" ZORV_LICENSE_ID ")";
const char* const kVersionNotice = ZORV_VERSION_NOTICE;

QString GetVersionText() {
  return QStringLiteral(ZORV_VERSION_TEXT);
}

QString GetProgramFolder() {
  return QCoreApplication::applicationDirPath() + QLatin1Char('/');
}

QString HelpPagePath(const QString& programFolder) {
  const QString beside = programFolder + QLatin1String(kHelpPage);
  if (QFileInfo::exists(beside)) return beside;
  const QString installed = QDir::cleanPath(programFolder + QLatin1String(kInstalledHelpPage));
  if (QFileInfo::exists(installed)) return installed;
  return beside;
}

}  // namespace zorv
