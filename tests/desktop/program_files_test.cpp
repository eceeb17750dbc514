// What the window needs around it: dialog filters, the version and the about
// box, the help page and the home page, the command line.
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QUrl>

#include "app/desktop/about_box.h"
#include "app/desktop/command_line.h"
#include "app/desktop/program_info.h"
#include "app/desktop/qt_file_dialogs.h"
#include "tests/desktop/window_fixture.h"

namespace zorv::test {

// Records the addresses that the window asks the desktop to open.
class TUrlRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> Opened;

 public slots:
  void Open(const QUrl& url) { Opened << url; }
};

namespace {

TEST(WindowFileDialogs, FiltersAreRenderedFromTheirPairs) {
  const struct {
    std::string_view Pairs;
    const char* Qt;
  } cases[] = {
      {kInputFileFilter, "WAV sound files (*.wav);;all files (*.*)"},
      {kOutputFileFilter, "WAV sound files (*.wav);;all files (*.*)"},
      {"Sound|*.wav;*.wave|odd", "Sound (*.wav *.wave)"},
  };
  for (const auto& c : cases) EXPECT_EQ(Std(QtFileFilter(c.Pairs)), c.Qt) << c.Pairs;
}

TEST(WindowProgramFiles, HelpPageIsFoundBesideTheProgramOrInstalled) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString bin = root.filePath("bin/");
  const QString beside = bin + kHelpPage;
  const QString installed =
      root.filePath("share/zorv-audio-decoder/help/helpnaltZorvaudiodecoder.htm");
  const auto create = [](const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
  };
  EXPECT_EQ(HelpPagePath(bin), beside) << "neither";
  ASSERT_TRUE(create(installed));
  EXPECT_EQ(HelpPagePath(bin), installed) << "installed";
  ASSERT_TRUE(create(beside));
  EXPECT_EQ(HelpPagePath(bin), beside) << "both";
  // The build puts the page beside the program.
  EXPECT_TRUE(QFileInfo::exists(QStringLiteral(ZORV_PROGRAM_DIR "/") + kHelpPage));
}

TEST(WindowCommandLine, InputAndHiddenOptions) {
  const QString cwd = QDir::currentPath() + '/';
  const struct {
    QStringList Arguments;
    bool Ok;
    QString Input;
    QString Output;
    bool Quit;
  } cases[] = {
      {{}, true, {}, {}, false},
      {{"a.wav"}, true, cwd + "a.wav", {}, false},
      {{"/x/a.wav", "--autostart", "o.wav"}, true, "/x/a.wav", cwd + "o.wav", false},
      {{"--autostart", "/o.wav", "--autoquit", "a.wav"}, true, cwd + "a.wav", "/o.wav", true},
      {{"-platform", "xcb", "-reverse", "a.wav"}, true, cwd + "a.wav", {}, false},
      {{"a.wav", "b.wav"}, false, {}, {}, false},
      {{"--autostart", "o.wav"}, false, {}, {}, false},
      {{"--autoquit", "a.wav"}, false, {}, {}, false},
      {{"--bogus"}, false, {}, {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Std(c.Arguments.join(' ')));
    TCommandLine result;
    QString error;
    ASSERT_EQ(ParseCommandLine(QStringList{"zorv-audio-decoder"} + c.Arguments, result, error),
              c.Ok);
    EXPECT_EQ(error.isEmpty(), c.Ok);
    if (!c.Ok) continue;
    EXPECT_EQ(result.InputFile, c.Input);
    EXPECT_EQ(result.AutostartOutput, c.Output);
    EXPECT_EQ(result.AutoQuit, c.Quit);
  }
}

using WindowMenu = WindowTest;

TEST_F(WindowMenu, AboutBoxShowsTheVersionBesideAUsableWindow) {
  Form->About->trigger();
  TAboutBox& box = *Form->AboutBox;
  EXPECT_EQ(Std(box.Version->text()), "Version 0.9.1");
  EXPECT_TRUE(box.isVisible());
  EXPECT_FALSE(box.isModal());
  EXPECT_EQ(box.size(), QSize(TAboutBox::kWidth, TAboutBox::kHeight));
  EXPECT_EQ(box.geometry().center(), Form->geometry().center());

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

TEST_F(WindowMenu, HelpAndHomePageAreOpenedThroughTheDesktop) {
  TUrlRecorder recorder;
  QDesktopServices::setUrlHandler("file", &recorder, "Open");
  QDesktopServices::setUrlHandler("https", &recorder, "Open");
  // F1 reaches the help item.
  EXPECT_EQ(Form->Help2->shortcut(), QKeySequence(Qt::Key_F1));
  Form->Help2->trigger();
  Form->ShowZorvAudioDecoderHomepage1->trigger();
  QDesktopServices::unsetUrlHandler("file");
  QDesktopServices::unsetUrlHandler("https");

  // The tests' own folder holds a copy of the page.
  EXPECT_EQ(recorder.Opened, (QList<QUrl>{QUrl::fromLocalFile(GetProgramFolder() + kHelpPage),
                                          QUrl(kHomepageAddress)}));
  EXPECT_TRUE(Dialogs.Messages.isEmpty());
}

}  // namespace
}  // namespace zorv::test

#include "program_files_test.moc"
