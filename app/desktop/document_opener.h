// SPDX-License-Identifier: GPL-3.0-or-later
// Asks the desktop to show a document or a web address, and tells when the
// desktop could not: no handler at all, or a handler that gave up.
#pragma once

#include <QObject>
#include <QUrl>
#include <functional>

namespace zorv {

class TDocumentOpener {
 public:
  // Called when the address could not be shown; at once or later, from the
  // event loop.
  using TFailed = std::function<void()>;

  virtual ~TDocumentOpener() = default;
  virtual void Open(const QUrl& address, TFailed failed) = 0;
};

// The desktop's own opener (xdg-open), whose exit status is watched: it
// fails when no application for the address is found or the one found
// fails to start. Without xdg-open, Qt's desktop services are asked. A shown
// document is never closed with the program.
class TDesktopOpener : public QObject, public TDocumentOpener {
  Q_OBJECT

 public:
  explicit TDesktopOpener(QObject* parent = nullptr) : QObject(parent) {}
  void Open(const QUrl& address, TFailed failed) override;
};

}  // namespace zorv
