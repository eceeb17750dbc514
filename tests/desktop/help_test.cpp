// SPDX-License-Identifier: GPL-3.0-or-later
// Help, home page and about box: what the desktop is asked to show, what the
// user is told when it cannot, the program's own help window, and the
// desktop's opener itself with stand-in openers.
#include <signal.h>

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

#include "app/desktop/about_box.h"
#include "app/desktop/document_opener.h"
#include "app/desktop/help_viewer.h"
#include "app/desktop/program_info.h"
#include "tests/desktop/window_fixture.h"

namespace zorv::test {
namespace {

// Records what it is asked to open; fails, from the event loop as the
// desktop's opener does, while Fail is set.
class TRecordingOpener : public TDocumentOpener {
 public:
  QList<QUrl> Opened;
  bool Fail = false;

  void Open(const QUrl& address, TFailed failed) override {
    Opened << address;
    if (Fail) QTimer::singleShot(0, failed);
  }
};

class WindowHelp : public WindowTest {
 protected:
  WindowHelp() { Form->SetDocumentOpener(Opener); }

  // Lets the opener's answer arrive.
  static void Settle() { QTest::qWait(1); }

  const QString Page = GetProgramFolder() + kHelpPage;
  const QUrl Home{QLatin1String(kHomepageAddress)};
  TRecordingOpener Opener;
};

TEST_F(WindowHelp, HelpAndHomePageAreHandedToTheDesktop) {
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  QTest::keyClick(Form.get(), Qt::Key_F1);
  Form->ShowZorvAudioDecoderHomepage1->trigger();
  Settle();
  EXPECT_EQ(Opener.Opened, (QList<QUrl>{QUrl::fromLocalFile(Page), Home}));
  EXPECT_TRUE(Dialogs.Messages.isEmpty());
  EXPECT_FALSE(Form->HelpViewer->isVisible());
}

TEST_F(WindowHelp, WhenTheDesktopCannotTheUserIsToldWhatToOpen) {
  Opener.Fail = true;
  Form->Help2->trigger();
  Settle();
  ASSERT_EQ(Dialogs.Messages.size(), 1);
  EXPECT_EQ(Dialogs.Messages.back(),
            "The desktop could not show the help page.\nOpen this file in a web browser:\n" + Page);
  EXPECT_FALSE(Form->HelpViewer->isVisible());

  // The program's own window instead, when asked for.
  Dialogs.ShowViewerAnswer = true;
  Form->Help2->trigger();
  Settle();
  EXPECT_EQ(Dialogs.Messages.size(), 2);
  EXPECT_TRUE(Form->HelpViewer->isVisible());
  EXPECT_TRUE(Form->HelpViewer->Browser->toPlainText().contains("Decoding a file"));
  Form->HelpViewer->hide();

  // The home page: the address to copy, no help window offered.
  Form->ShowZorvAudioDecoderHomepage1->trigger();
  Settle();
  EXPECT_EQ(
      Dialogs.Messages.back(),
      "The desktop could not show this address.\nOpen it in a web browser:\n" + Home.toString());
  EXPECT_FALSE(Form->HelpViewer->isVisible());
}

TEST_F(WindowHelp, OwnHelpWindowShowsThePageAndHandsWebLinksOn) {
  EXPECT_EQ(Form->HelpViewer1->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F1));
  Form->HelpViewer1->trigger();
  THelpViewer& viewer = *Form->HelpViewer;
  EXPECT_TRUE(viewer.isVisible());
  EXPECT_FALSE(viewer.isModal());
  EXPECT_EQ(viewer.Browser->source(), QUrl::fromLocalFile(Page));
  EXPECT_TRUE(viewer.Browser->toPlainText().contains("The reference level"));

  emit viewer.Browser->anchorClicked(QUrl(QStringLiteral("#top")));
  EXPECT_TRUE(Opener.Opened.isEmpty()) << "a place on the page is shown in the window";
  emit viewer.Browser->anchorClicked(Home);
  EXPECT_EQ(Opener.Opened, QList<QUrl>{Home});
  EXPECT_EQ(viewer.Browser->source().adjusted(QUrl::RemoveFragment), QUrl::fromLocalFile(Page));
}

TEST_F(WindowHelp, AboutBoxShowsItsWholeTitleAndALinkToTheHomePage) {
  Form->About->trigger();
  TAboutBox& box = *Form->AboutBox;
  EXPECT_EQ(Std(box.Version->text()), "Version 0.9.1");
  EXPECT_TRUE(box.isVisible());
  EXPECT_FALSE(box.isModal());
  EXPECT_EQ(box.height(), TAboutBox::kHeight);
  const QString title = box.windowTitle() + QStringLiteral(" \u2014 ") + kProgramTitle;
  EXPECT_GT(box.width(), box.fontMetrics().horizontalAdvance(title)) << Std(title);
  EXPECT_EQ(box.geometry().center(), Form->geometry().center());
  // The licence is named, and every line fits into the box's fixed size.
  EXPECT_TRUE(box.License->text().contains(QStringLiteral("GPL-3.0-or-later")));
  EXPECT_LE(box.layout()->minimumSize().height(), box.height());

  EXPECT_TRUE(
      box.AboutLabel3->text().contains(QStringLiteral("<a href=\"%1\">").arg(kHomepageAddress)));
  emit box.AboutLabel3->linkActivated(QLatin1String(kHomepageAddress));
  EXPECT_EQ(Opener.Opened, QList<QUrl>{Home});

  for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
    SCOPED_TRACE(key);
    Form->About->trigger();
    QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QCoreApplication::sendEvent(&box, &other);
    EXPECT_TRUE(box.isVisible());
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&box, &press);
    EXPECT_FALSE(box.isVisible());
  }
}

// The desktop's opener with stand-ins for xdg-open on the PATH.
class DesktopOpener : public ::testing::Test {
 protected:
  DesktopOpener() : SavedPath(qgetenv("PATH")) {
    qputenv("PATH", Folder.path().toLocal8Bit() + ':' + SavedPath);
  }
  ~DesktopOpener() override { qputenv("PATH", SavedPath); }

  // An xdg-open that runs body (sh), having noted its address and process.
  void Stand(const QString& body) {
    QFile script(Folder.filePath("xdg-open"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho \"$$ $1\" > '%1'\n%2\n")
                     .arg(Folder.filePath("asked"), body)
                     .toLocal8Bit());
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
  }
  QString Asked() const {
    QFile file(Folder.filePath("asked"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()).trimmed()
                                          : QString();
  }
  // Opens address and waits until the opener has answered.
  bool OpenAndWait(TDesktopOpener& opener, const QUrl& address) {
    bool failed = false;
    opener.Open(address, [&failed] { failed = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return opener.findChildren<QProcess*>().isEmpty(); }, 5000));
    return failed;
  }

  QTemporaryDir Folder;
  const QByteArray SavedPath;
  const QUrl Address{QStringLiteral("file:///tmp/a%20page.htm")};
};

TEST_F(DesktopOpener, AnOpenerThatGivesUpIsReported) {
  TDesktopOpener opener;
  Stand(QStringLiteral("exit 3"));
  EXPECT_TRUE(OpenAndWait(opener, Address));
  EXPECT_TRUE(Asked().endsWith(QStringLiteral(" file:///tmp/a%20page.htm"))) << Std(Asked());

  Stand(QStringLiteral("exit 0"));
  EXPECT_FALSE(OpenAndWait(opener, Address));
}

TEST_F(DesktopOpener, WhatIsShownOutlivesTheProgram) {
  {
    TDesktopOpener opener;
    Stand(QStringLiteral("sleep 30"));
    opener.Open(Address, [] { ADD_FAILURE() << "reported while still showing"; });
    ASSERT_TRUE(QTest::qWaitFor([this] { return !Asked().isEmpty(); }, 5000));
  }
  const pid_t shown = Asked().section(QLatin1Char(' '), 0, 0).toInt();
  ASSERT_GT(shown, 0);
  EXPECT_EQ(::kill(shown, 0), 0) << "ended with the program";
  ::kill(shown, SIGTERM);
}

}  // namespace
}  // namespace zorv::test
