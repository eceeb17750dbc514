// SPDX-License-Identifier: GPL-3.0-or-later
// What the window keeps from one session to the next, in the user's
// settings (QSettings under the application's organisation and name).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace zorv {

// The most inputs File > Recent lists.
inline constexpr int kRecentInputs = 10;

struct TWindowMemory {
  std::optional<double> LevelDb;  // only a level inside the control's range
  QString InputFolder;
  QString OutputFolder;
  QByteArray Geometry;  // QWidget::saveGeometry
  QStringList Recent;   // the last inputs, the latest first
  bool CanonicalHeader = false;
  // Not "Continue from the previous file's end": on, it is chosen again
  // for each session's queue of one tape.
};

TWindowMemory LoadWindowMemory();
void SaveWindowMemory(const TWindowMemory& memory);

// recent with path in front, once, and at most kRecentInputs long.
QStringList WithRecent(QStringList recent, const QString& path);

// How File > Recent names each of paths: the file name, with as many of its
// folders in front as it takes to tell it from every other of the list
// ("reel1/side_A.wav", "reel2/side_A.wav").
QStringList RecentLabels(const QStringList& paths);

}  // namespace zorv
