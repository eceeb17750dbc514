// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/help_viewer.h"

#include <QTextBrowser>
#include <QVBoxLayout>

namespace zorv {

THelpViewer::THelpViewer(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("HelpViewer"));
  setWindowTitle(QStringLiteral("Help"));
  setModal(false);
  resize(720, 600);
  Browser = new QTextBrowser(this);
  Browser->setObjectName(QStringLiteral("HelpBrowser"));
  Browser->setOpenLinks(false);
  connect(Browser, &QTextBrowser::anchorClicked, this, &THelpViewer::FollowLink);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Browser);
}

void THelpViewer::ShowPage(const QString& path) {
  Browser->setSource(QUrl::fromLocalFile(path));
  show();
  raise();
  activateWindow();
}

void THelpViewer::FollowLink(const QUrl& address) {
  const QUrl resolved = Browser->source().resolved(address);
  if (resolved.isLocalFile() || resolved.isRelative()) {
    Browser->setSource(resolved);
  } else {
    emit ExternalLink(resolved);
  }
}

}  // namespace zorv
