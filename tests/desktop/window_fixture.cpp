// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/desktop/window_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QScrollBar>
#include <QSettings>
#include <utility>

#include "wav/byte_sink.h"
#include "wav/byte_source.h"

namespace zorv::test {

TEnabling Enabling(const TForm1& form) {
  TEnabling e;
  e.Start = form.StartButton->isEnabled();
  e.OutputButton = form.OutPutFileButton->isEnabled();
  e.OutputItem = form.Save1->isEnabled();
  e.InputLabel = form.InputFileLabel->isEnabled();
  e.OutputLabel = form.OutputFileLabel->isEnabled();
  e.InputButton = form.InputFileButton->isEnabled();
  e.InputItem = form.Open1->isEnabled();
  e.LevelBar = form.LevelBar->isEnabled();
  return e;
}

TBytes DirectDecode(const std::string& input, const std::string& output,
                    const std::function<void(TDecodeRun&, int)>& pass) {
  TDecodeRun run({});
  EXPECT_FALSE(run.OpenInput(OpenFileSource(input), input));
  EXPECT_FALSE(run.OpenOutput(CreateFileSink(output), output));
  int block = 0;
  run.SetBlockCallback([&](std::uint64_t) {
    if (pass) pass(run, block);
    ++block;
  });
  EXPECT_EQ(run.Run().Status, TRunStatus::Done);
  return ReadFile(output);
}

void TRunPause::Arm(int block, std::function<void()> action) {
  const std::lock_guard<std::mutex> hold(Lock_);
  Block_ = block;
  Action_ = std::move(action);
}

void TRunPause::BlockDone(int block) {
  std::unique_lock<std::mutex> hold(Lock_);
  if (block != Block_ || !Action_) return;
  // The action may ask for another pause.
  Block_ = -1;
  Released_ = false;
  Due_ = true;
  // The window's timer runs the action and lets the run go on.
  Wake_.wait(hold, [this] { return Released_; });
}

void TRunPause::TickBegins() {
  const std::lock_guard<std::mutex> hold(Lock_);
  if (Due_) Taken_ = std::exchange(Action_, {});
  Due_ = false;
}

void TRunPause::TickShown() {
  if (!Taken_) return;
  // The run waits meanwhile.
  std::exchange(Taken_, {})();
  Release();
}

void TRunPause::Release() {
  const std::lock_guard<std::mutex> hold(Lock_);
  Released_ = true;
  Wake_.notify_all();
}

TFreshSettings::TFreshSettings() {
  QSettings settings;
  EXPECT_TRUE(settings.fileName().startsWith(QDir::tempPath()))
      << "settings outside the test's scope: " << settings.fileName().toStdString();
  settings.clear();
  settings.sync();
}

WindowTest::WindowTest() : Form(std::make_unique<TForm1>(Dialogs)) {
  Form->show();
}

WindowTest::~WindowTest() {
  EXPECT_EQ(Dialogs.Unexpected, 0) << "the window asked a question the test did not expect";
}

QString WindowTest::WriteWav(const std::string& name, const TWavFormat& format,
                             std::uint32_t frames) {
  return WriteBytes(name, WavBytes(format, SignalBytes(format, frames)));
}

QString WindowTest::PackFlac(const QString& wav, const std::string& name) {
  QProcess flac;
  flac.start(QStringLiteral("flac"), {"-s", "--keep-foreign-metadata", "-o", Path(name), wav});
  EXPECT_TRUE(flac.waitForFinished(60000));
  EXPECT_EQ(flac.exitCode(), 0) << flac.readAllStandardError().toStdString();
  return Path(name);
}

QString WindowTest::WriteBytes(const std::string& name, const TBytes& bytes) {
  WriteFile(Dir.File(name), bytes);
  return Path(name);
}

void WindowTest::ChooseInput(const std::optional<QString>& path) {
  Dialogs.InputAnswers.push_back(path.value_or(QString()));
  ASSERT_TRUE(Form->InputFileButton->isEnabled());
  Form->InputFileButton->click();
  EXPECT_TRUE(Dialogs.InputAnswers.empty()) << "the input dialog was not shown";
}

void WindowTest::ChooseOutput(const std::optional<QString>& path, std::optional<bool> overwrite) {
  Dialogs.OutputAnswers.push_back(path.value_or(QString()));
  if (overwrite) Dialogs.OverwriteAnswers.push_back(*overwrite);
  ASSERT_TRUE(Form->OutPutFileButton->isEnabled());
  Form->OutPutFileButton->click();
  EXPECT_TRUE(Dialogs.OutputAnswers.empty()) << "the output dialog was not shown";
  EXPECT_TRUE(Dialogs.OverwriteAnswers.empty()) << "the overwrite question was not asked";
}

void WindowTest::WaitForRun() {
  QElapsedTimer waited;
  waited.start();
  while (Form && Form->RunActive() && waited.elapsed() < 120000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  ASSERT_FALSE(Form && Form->RunActive()) << "the run did not end";
  // The run's end is shown from the event loop.
  QCoreApplication::processEvents();
}

void WindowTest::MakeReady(const QString& input, const QString& output) {
  ChooseInput(input);
  ChooseOutput(output);
  ASSERT_TRUE(Form->StartButton->isEnabled())
      << Std(Form->InputFileLabel->text()) << " / " << Std(Form->OutputFileLabel->text());
}

}  // namespace zorv::test
