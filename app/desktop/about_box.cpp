// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/about_box.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "app/desktop/program_info.h"

namespace zorv {
namespace {

QLabel* AddLabel(QVBoxLayout& layout, QWidget* parent, const char* name, const QString& text,
                 bool bold) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setAlignment(Qt::AlignCenter);
  label->setWordWrap(true);
  QFont font = label->font();
  font.setBold(bold);
  label->setFont(font);
  layout.addWidget(label);
  return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("About"));
  setModal(false);

  auto* layout = new QVBoxLayout(this);
  AboutLabel1 = AddLabel(*layout, this, "AboutLabel1", QLatin1String(kProgramTitle), true);
  Version = AddLabel(*layout, this, "Version", QStringLiteral("Version 0.0.0"), false);
  AboutLabel2 = AddLabel(
      *layout, this, "AboutLabel2",
      QStringLiteral("Decoder model and program by the Zorv Audio Decoder developers"), false);
  License = AddLabel(*layout, this, "License", QLatin1String(kLicenseLine), false);
  const QString address = QLatin1String(kHomepageAddress);
  AboutLabel3 = AddLabel(*layout, this, "AboutLabel3",
                         QStringLiteral("Feedback: see the project home page,<br><a href=\"") +
                             address + QStringLiteral("\">") + address + QStringLiteral("</a>"),
                         false);
  AboutLabel3->setTextFormat(Qt::RichText);
  // The address is a link that the window opens (and says so when the
  // desktop cannot), and can be selected to copy it.
  AboutLabel3->setTextInteractionFlags(Qt::TextBrowserInteraction);
  AboutLabel3->setOpenExternalLinks(false);
  connect(AboutLabel3, &QLabel::linkActivated, this, &TAboutBox::HomepageLinkActivated);

  // Wide enough for the whole title as a window manager shows it (with the
  // program's name after it), its icon and its buttons.
  const QFontMetrics titleFont(QFont(font().family(), font().pointSize(), QFont::Bold));
  const int titleWidth = titleFont.horizontalAdvance(windowTitle() + QStringLiteral(" \u2014 ") +
                                                     QLatin1String(kProgramTitle));
  setFixedSize(std::max(kWidth, titleWidth + kTitleBarExtras), kHeight);
}

void TAboutBox::ShowCentredOn(const QWidget& centreOf) {
  // Client areas: window frames are only known once the window manager has
  // placed the window.
  QRect placed(QPoint(), size());
  placed.moveCenter(centreOf.geometry().center());
  setGeometry(placed);
  show();
  raise();
  activateWindow();
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
  FormKeyDown(event);
}

void TAboutBox::FormKeyDown(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      hide();
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

}  // namespace zorv
