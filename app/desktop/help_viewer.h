// SPDX-License-Identifier: GPL-3.0-or-later
// The help page in a window of the program's own, for a desktop without a
// working browser. Links to other pages go to the desktop's opener.
#pragma once

#include <QDialog>
#include <QUrl>

class QTextBrowser;

namespace zorv {

class THelpViewer : public QDialog {
  Q_OBJECT

 public:
  explicit THelpViewer(QWidget* parent = nullptr);

  QTextBrowser* Browser = nullptr;

  // Shows the page (a local file) and brings the window up.
  void ShowPage(const QString& path);

 signals:
  // A link that leaves the help page's folder, for the desktop to open.
  void ExternalLink(const QUrl& address);

 private:
  void FollowLink(const QUrl& address);
};

}  // namespace zorv
