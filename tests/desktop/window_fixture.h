// SPDX-License-Identifier: GPL-3.0-or-later
// A fresh main window per test, driven through its buttons with scripted
// dialog answers, and the files it works on in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "app/desktop/level_entry.h"
#include "app/desktop/main_window.h"
#include "app/desktop/path_label.h"
#include "app/desktop/record_panel.h"
#include "tests/app/scratch_dir.h"
#include "tests/desktop/scripted_dialogs.h"
#include "tools/wav_test_file.h"

namespace zorv::test {

// Frames of one 100 ms block at 44.1 kHz.
inline constexpr std::uint32_t kBlock44 = 4410;

inline std::string Std(const QString& text) {
  return text.toStdString();
}

inline bool IsRed(const QLabel* label) {
  return label->palette().color(QPalette::Active, QPalette::WindowText) == QColor(Qt::red);
}
inline bool IsRed(const QPushButton* button) {
  return button->palette().color(QPalette::Active, QPalette::ButtonText) == QColor(Qt::red);
}

// What the window lets the user do, as its enabling rules state it.
struct TEnabling {
  bool Start = false;
  bool OutputButton = false;
  bool OutputItem = false;
  bool InputLabel = false;
  bool OutputLabel = false;
  bool InputButton = false;
  bool InputItem = false;
  bool LevelBar = false;

  friend bool operator==(const TEnabling&, const TEnabling&) = default;
  friend std::ostream& operator<<(std::ostream& out, const TEnabling& e) {
    return out << "{Start " << e.Start << ", OutputButton " << e.OutputButton << ", OutputItem "
               << e.OutputItem << ", InputLabel " << e.InputLabel << ", OutputLabel "
               << e.OutputLabel << ", InputButton " << e.InputButton << ", InputItem "
               << e.InputItem << ", LevelBar " << e.LevelBar << "}";
  }
};

TEnabling Enabling(const TForm1& form);

// The decoded file that a run of its own makes of input with the default
// settings, as the first run of a fresh program; pass is called after each
// block's decoding with the block's index.
TBytes DirectDecode(const std::string& input, const std::string& output,
                    const std::function<void(TDecodeRun&, int)>& pass = {});

// A run held after a given block while an action runs on the window's
// thread (the meters shown first); what the action changes applies from the
// block after. A stop or a close during the wait lets the run go on.
class TRunPause final : public TRunObserver {
 public:
  // After block (0: the first) of the next run that reaches it.
  void Arm(int block, std::function<void()> action);

  void BlockDone(int block) override;
  void TickBegins() override;
  void TickShown() override;
  void Stopping() override { Release(); }

 private:
  void Release();

  std::mutex Lock_;
  std::condition_variable Wake_;
  int Block_ = -1;
  std::function<void()> Action_;
  bool Released_ = false;
  bool Due_ = false;             // the run waits for the action
  std::function<void()> Taken_;  // the action of this tick
};

// Every window of a test starts from empty settings (those of the test
// program's own temporary scope).
struct TFreshSettings {
  TFreshSettings();
};

class WindowTest : public ::testing::Test {
 protected:
  WindowTest();
  ~WindowTest() override;

  // A WAV file of frames frames of a busy signal in the scratch folder.
  QString WriteWav(const std::string& name, const TWavFormat& format, std::uint32_t frames);
  QString WriteBytes(const std::string& name, const TBytes& bytes);
  // The WAV file packed by the flac tool with its chunks, as name.
  QString PackFlac(const QString& wav, const std::string& name);
  QString Path(const std::string& name) const { return QString::fromStdString(Dir.File(name)); }
  // The status of a run aborted while decoding into NAME.wav.
  std::string Aborted(const std::string& name) const {
    return "aborted; what was decoded is in " + Dir.File(name + ".partial.wav");
  }

  // The input dialog answered with path (nullopt: Cancel).
  void ChooseInput(const std::optional<QString>& path);
  // The output dialog answered with path; overwrite answers the question
  // that an existing file raises.
  void ChooseOutput(const std::optional<QString>& path, std::optional<bool> overwrite = {});
  // Start, and the run (on its own thread) to its end; the window's events
  // are handled meanwhile.
  void PressStart() {
    Form->StartButton->click();
    WaitForRun();
  }
  void WaitForRun();
  // action on the window's thread while the run waits after the given block
  // (0: the first); what it changes applies from the next block.
  void AfterBlock(int block, std::function<void()> action) {
    Form->SetRunObserver(&Pause);
    Pause.Arm(block, std::move(action));
  }
  // Input and output chosen; Start is enabled.
  void MakeReady(const QString& input, const QString& output);

  TFreshSettings FreshSettings;
  TScratchDir Dir{ZORV_DESKTOP_SCRATCH};
  TScriptedDialogs Dialogs;
  TRunPause Pause;  // outlives every window
  std::unique_ptr<TForm1> Form;
};

}  // namespace zorv::test
