// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/window_settings.h"

#include <QSettings>
#include <QVariant>
#include <algorithm>
#include <cmath>

#include "dsp/reference_level_range.h"

namespace zorv {
namespace {

// Only the user's own settings: no system-wide file speaks for them.
void Quiet(QSettings& settings) {
  settings.setFallbacksEnabled(false);
}

}  // namespace

TWindowMemory LoadWindowMemory() {
  QSettings settings;
  Quiet(settings);
  TWindowMemory memory;
  bool number = false;
  const double level = settings.value(QStringLiteral("level")).toDouble(&number);
  // A level outside the range, or not a number, is ignored; the rest is
  // rounded to the control's tenths.
  if (number && std::isfinite(level)) {
    const double tenths = std::round(level * 10.0);
    if (tenths >= kMinLevelTenths && tenths <= kMaxLevelTenths) memory.LevelDb = tenths / 10.0;
  }
  memory.InputFolder = settings.value(QStringLiteral("folders/input")).toString();
  memory.OutputFolder = settings.value(QStringLiteral("folders/output")).toString();
  memory.Geometry = settings.value(QStringLiteral("window/geometry")).toByteArray();
  const QStringList recent = settings.value(QStringLiteral("recent")).toStringList();
  for (auto it = recent.rbegin(); it != recent.rend(); ++it) {
    if (!it->isEmpty()) memory.Recent = WithRecent(memory.Recent, *it);
  }
  memory.CanonicalHeader = settings.value(QStringLiteral("output/canonicalHeader")).toBool();
  return memory;
}

void SaveWindowMemory(const TWindowMemory& memory) {
  QSettings settings;
  Quiet(settings);
  if (memory.LevelDb) settings.setValue(QStringLiteral("level"), *memory.LevelDb);
  settings.setValue(QStringLiteral("folders/input"), memory.InputFolder);
  settings.setValue(QStringLiteral("folders/output"), memory.OutputFolder);
  settings.setValue(QStringLiteral("window/geometry"), memory.Geometry);
  settings.setValue(QStringLiteral("recent"), memory.Recent);
  settings.setValue(QStringLiteral("output/canonicalHeader"), memory.CanonicalHeader);
  // What an earlier version kept of it is let go.
  settings.remove(QStringLiteral("run/continueFromPrevious"));
  settings.sync();
}

QStringList WithRecent(QStringList recent, const QString& path) {
  recent.removeAll(path);
  recent.prepend(path);
  while (recent.size() > kRecentInputs) recent.removeLast();
  return recent;
}

QStringList RecentLabels(const QStringList& paths) {
  QList<QStringList> parts;
  for (const QString& path : paths) parts << path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  // The last n parts of a path, joined.
  const auto tail = [](const QStringList& of, qsizetype n) {
    return of.mid(std::max<qsizetype>(0, of.size() - n)).join(QLatin1Char('/'));
  };
  QStringList labels;
  for (qsizetype i = 0; i < parts.size(); ++i) {
    qsizetype n = 1;
    const auto shared = [&] {
      for (qsizetype j = 0; j < parts.size(); ++j) {
        if (j != i && paths[j] != paths[i] && tail(parts[j], n) == tail(parts[i], n)) return true;
      }
      return false;
    };
    while (n < parts[i].size() && shared()) ++n;
    labels << tail(parts[i], n);
  }
  return labels;
}

}  // namespace zorv
