// SPDX-License-Identifier: GPL-3.0-or-later
// What the window keeps between sessions: the level, the folders, its size
// and place, the options of the File menu, and the last inputs under
// File > Recent.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>
#include <cmath>

#include "app/desktop/level_control.h"
#include "app/desktop/main_window.h"
#include "app/desktop/window_settings.h"

namespace zorv {

void TForm1::CreateRecentMenu(QMenu* file) {
  Recent1 = file->addMenu(QStringLiteral("&Recent"));
  Recent1->setObjectName(QStringLiteral("Recent1"));
  UpdateRecentMenu();
}

void TForm1::RestoreSettings() {
  const TWindowMemory memory = LoadWindowMemory();
  if (memory.LevelDb) {
    LevelControl_->ShowRestored(static_cast<int>(std::lround(*memory.LevelDb * 10.0)));
  }
  InputFolder_ = memory.InputFolder;
  OutputFolder_ = memory.OutputFolder;
  Recent_ = memory.Recent;
  // The input dialog opens in the folder of the last input.
  if (!InputFolder_.isEmpty() && QFileInfo(InputFolder_).isDir()) {
    InputFileName_ = QDir(InputFolder_).filePath(QStringLiteral("input.wav"));
  }
  CanonicalHeader1->setChecked(memory.CanonicalHeader);
  // Where the window was; restoreGeometry keeps it on a screen.
  if (!memory.Geometry.isEmpty()) restoreGeometry(memory.Geometry);
  UpdateRecentMenu();
}

void TForm1::SaveSettings() {
  TWindowMemory memory;
  memory.LevelDb = LevelDb();
  memory.InputFolder = InputFolder_;
  memory.OutputFolder = OutputFolder_;
  memory.Geometry = saveGeometry();
  memory.Recent = Recent_;
  memory.CanonicalHeader = CanonicalHeader1->isChecked();
  SaveWindowMemory(memory);
}

void TForm1::RememberInput(const QString& path) {
  const QFileInfo input(path);
  Recent_ = WithRecent(Recent_, input.absoluteFilePath());
  InputFolder_ = input.absolutePath();
  UpdateRecentMenu();
  SaveSettings();
}

void TForm1::RememberOutput(const QString& path) {
  OutputFolder_ = QFileInfo(path).absolutePath();
  SaveSettings();
}

void TForm1::UpdateRecentMenu() {
  if (Recent1 == nullptr) return;
  Recent1->clear();
  const QStringList labels = RecentLabels(Recent_);
  for (qsizetype i = 0; i < Recent_.size(); ++i) {
    const QString path = Recent_[i];
    // &1 .. &9, then 1&0.
    const QString number =
        i < 9 ? QStringLiteral("&%1").arg(i + 1) : QStringLiteral("1&%1").arg(i - 9);
    QAction* item =
        Recent1->addAction(number + QLatin1Char(' ') +
                           QString(labels[i]).replace(QLatin1Char('&'), QStringLiteral("&&")));
    item->setObjectName(QStringLiteral("RecentInput%1").arg(i + 1));
    item->setToolTip(path);
    item->setStatusTip(path);
    // From the event loop: the menu is made anew meanwhile.
    connect(item, &QAction::triggered, this, [this, path] {
      QTimer::singleShot(0, this, [this, path] {
        if (!Busy()) OpenInputFile(path);
      });
    });
  }
  if (!Recent_.isEmpty()) {
    Recent1->addSeparator();
    QAction* clear = Recent1->addAction(QStringLiteral("&Clear the List"));
    clear->setObjectName(QStringLiteral("ClearRecent1"));
    connect(clear, &QAction::triggered, this, [this] {
      QTimer::singleShot(0, this, [this] {
        Recent_.clear();
        UpdateRecentMenu();
        SaveSettings();
      });
    });
  }
  Recent1->setEnabled(!Recent_.isEmpty());
}

}  // namespace zorv
