// SPDX-License-Identifier: GPL-3.0-or-later
// The about box: program name, version, credit, licence and contact. Not modal; Esc
// or Enter hides it.
#pragma once

#include <QDialog>

class QLabel;

namespace zorv {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  // The least size; wider when the title needs it.
  static constexpr int kWidth = 265;
  static constexpr int kHeight = 210;
  // What a title bar holds besides the title: icon, buttons and margins.
  static constexpr int kTitleBarExtras = 160;

  explicit TAboutBox(QWidget* parent = nullptr);

  QLabel* AboutLabel1 = nullptr;  // program name
  QLabel* Version = nullptr;      // "Version 0.9.1", set before every showing
  QLabel* AboutLabel2 = nullptr;  // credit line
  QLabel* License = nullptr;      // "Licensed under the GNU GPL version 3 or later (...)"
  QLabel* AboutLabel3 = nullptr;  // contact line with the home page's address as a link

  // Shows the box centred on centreOf, without blocking it.
  void ShowCentredOn(const QWidget& centreOf);

 signals:
  void HomepageLinkActivated();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FormKeyDown(QKeyEvent* event);
};

}  // namespace zorv
