// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: file selection and validation, the WAV parameters line,
// the reference level and its measurement from the input's reference tone,
// the eight band meters and the plot of the band gains over the whole file,
// the Start/Abort button that drives the decode run, help, home page and
// about box.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <QUrl>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "app/arithmetic.h"
#include "app/continuation.h"
#include "app/decode_run.h"
#include "app/desktop/queue_model.h"
#include "app/gain_history.h"
#include "app/limit_counter.h"
#include "app/reference_tone.h"
#include "dsp/meter_listener.h"
#include "dsp/reference_level_range.h"
#include "wav/wav_file_in.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QTableWidget;
class QTabWidget;
class QTableWidget;
class QTimer;
class QToolButton;

namespace zorv {

class TALProgressBar;

// What a window's run does, as it happens: a seam for whoever drives the
// window from outside (a test holding a run between two blocks).
class TRunObserver {
 public:
  virtual ~TRunObserver() = default;
  // On the run's thread after each block (0: the first), before the run
  // goes on with the next one: what changes meanwhile applies from there.
  virtual void BlockDone(int block) = 0;
  // On the window's thread at each tick of a run going on: before and after
  // the meters, the progress and the times are shown.
  virtual void TickBegins() = 0;
  virtual void TickShown() = 0;
  // On the window's thread: the run going on was asked to stop.
  virtual void Stopping() = 0;
};
class TAboutBox;
class TDocumentOpener;
class TEntryField;
class TFileDialogs;
class TGainHistoryPlot;
class THelpViewer;
class TLevelControl;
class TListenPanel;
class TPathLabel;
class TRecordPanel;

class TForm1 : public QMainWindow, public TMeterListener {
  Q_OBJECT

 public:
  static constexpr int kWidth = 930;
  // The seed's 615 pixels and the gain plot under the controls.
  static constexpr int kHeight = 925;
  // Meter positions in tenths of a dB of band gain.
  static constexpr int kMeterMin = -350;
  static constexpr int kMeterMax = 100;
  // Reference level positions in tenths of a dB.
  static constexpr int kLevelMin = kMinLevelTenths;
  static constexpr int kLevelMax = kMaxLevelTenths;
  static constexpr int kLevelStart = kDefaultLevelTenths;

  // dialogs must outlive the window.
  explicit TForm1(TFileDialogs& dialogs, QWidget* parent = nullptr);
  ~TForm1() override;

  // The controls; each carries its field name as its object name.
  QToolButton* InputFileButton = nullptr;
  TPathLabel* InputFileLabel = nullptr;
  QLabel* WavParamsLabel = nullptr;
  QToolButton* OutPutFileButton = nullptr;
  TPathLabel* OutputFileLabel = nullptr;
  QScrollBar* LevelBar = nullptr;
  // The level's value beside the scroll bar ("-10.0 dB"), which can also be
  // typed; the two are kept in step (level_control.h).
  TEntryField* RefLabel = nullptr;
  // Sets the level from the input's reference tone; MeasureLabel under the
  // level says what was found, or why nothing was.
  QPushButton* MeasureButton = nullptr;
  QLabel* MeasureLabel = nullptr;
  // For an input of more than two channels: each channel's level (the
  // tracks of a multitrack tape), in the "Levels per channel" tab that the
  // button beside Measure shows. Columns: channel, level, measured tone.
  // Measure fills it; the scroll bar moves every channel by the same amount.
  QPushButton* ChannelLevelsButton = nullptr;
  QTableWidget* ChannelLevelsTable = nullptr;
  QPushButton* StartButton = nullptr;
  // The status: cut to the room it has, the whole text its tooltip; the
  // record of a finished run in RecordPanel.
  TPathLabel* DoneLabel = nullptr;
  QProgressBar* RunProgress = nullptr;  // share of the input's data processed
  QLabel* TimeLabel = nullptr;
  // Under the level: the gain plot of the run.
  QTabWidget* LowerTabs = nullptr;
  TGainHistoryPlot* GainPlot = nullptr;
  // The Queue tab: the files chosen together, reviewed (levels, measured or
  // set per row) before QueueStartButton runs them; each row's result.
  QWidget* QueuePage = nullptr;
  QTableWidget* QueueTable = nullptr;
  QPushButton* QueueMeasureButton = nullptr;     // the selected rows' tones
  QPushButton* QueueMeasureAllButton = nullptr;  // every waiting row's tone
  QPushButton* QueueMainLevelButton = nullptr;   // the selected rows follow the main level
  QPushButton* QueueRemoveButton = nullptr;
  QPushButton* QueueStartButton = nullptr;
  QMenu* Recent1 = nullptr;  // File > Recent: the last inputs
  QGroupBox* DebugGroup = nullptr;
  // Which pair of channels the meters show; visible for more than 2 channels.
  QComboBox* ChannelPairBox = nullptr;
  QButtonGroup* DebugButtons = nullptr;
  QAction* Open1 = nullptr;
  QAction* Save1 = nullptr;
  // Checked: outputs get the canonical 44-byte header, without the input's
  // other chunks.
  QAction* CanonicalHeader1 = nullptr;
  // Checked: a run begins where the decode of the previous file ended (the
  // next part of one tape), not from the decoder's start-up state.
  QAction* ContinueFromPrevious1 = nullptr;
  QAction* SavePlot1 = nullptr;  // the gain plot as a PNG file
  QAction* Exit1 = nullptr;
  QAction* Help2 = nullptr;
  QAction* HelpViewer1 = nullptr;  // the help page in the program's own window
  QAction* ShowZorvAudioDecoderHomepage1 = nullptr;
  QAction* About = nullptr;
  QAction* AbortRun1 = nullptr;  // Esc during a run
  TAboutBox* AboutBox = nullptr;
  THelpViewer* HelpViewer = nullptr;
  // Play/Stop, A/B and the play position (listen_panel.h).
  TListenPanel* Listen = nullptr;
  // The "Record" tab, once a run has ended (record_panel.h).
  TRecordPanel* RecordPanel = nullptr;

  // The meter column (0 = left, 1 = right) of a band 0..3 = A..D. The
  // columns show channels 2p + 1 and 2p + 2 for the chosen pair p.
  TALProgressBar* Meter(int channel, int band) const;

  void InputFileButtonClick() { FileOpenInExecute(); }
  void Open1Click() { FileOpenInExecute(); }
  void OutPutFileButtonClick() { FileOpenOutExecute(); }
  void Save1Click() { FileOpenOutExecute(); }
  void FileOpenInExecute();
  void FileOpenOutExecute();
  void StartButtonClick();
  // What Start does when nothing runs: the run begun, or why not (empty when
  // it began, or when the reason is shown beside the output already).
  QString StartRun();
  void LevelBarChange(int position);
  // The reference tone of the first minute of the input: the level set to
  // it, and what was found (or why nothing was) under the level.
  void MeasureButtonClick();
  void SavePlot1Click();
  void DebugGroupClick(int index);
  // The pair of channels chosen: index 0 shows channels 1-2, 1 shows 3-4...
  void ChannelPairBoxChange(int index);
  int ShownChannelPair() const { return ShownPair_; }
  void Help2Click();
  void HelpViewer1Click();
  void ShowZorvHomepageClick();
  void AboutClick();
  void Exit1Click();
  void CanonicalHeader1Click(bool checked);
  // Every meter to its Min.
  void ResetMeters();
  void ShowWavParams();
  // Frames of the open input's data that the file holds.
  std::uint64_t InputFrames();

  // What choosing path in the input dialog does; also for a dropped file and
  // the command line. Ignored while a run is active.
  void OpenInputFile(const QString& path);
  // What choosing path in the output dialog does: the output is checked and
  // remembered, and created (or replaced) only when Start is pressed. Ignored
  // while a run is active.
  void OpenOutputFile(const QString& path);
  // Several files chosen or dropped at once: rows of the Queue tab, to be
  // reviewed; nothing is decoded yet. Ignored while a run is active.
  void QueueFiles(const QStringList& inputs);
  // Start queue: each waiting row decoded in turn into its proposed output
  // at its level, an output that exists asked about per file (Replace, Skip
  // or the same for all). Abort ends the queue. The decodes run from the
  // event loop, one after the other.
  void StartQueue();
  // The rows' levels from their reference tones (Measure, Measure all).
  void MeasureQueueRows(const std::vector<std::size_t>& rows);
  bool QueueRunning() const { return QueueRunning_; }
  const TQueueModel& Queue() const { return Queue_; }
  // The level field of a row of QueueTable; its lowest value reads "main"
  // (the row follows the main control).
  QDoubleSpinBox* QueueLevelBox(int row) const;

  // Where help and home page go; the desktop's opener unless set.
  void SetDocumentOpener(TDocumentOpener& opener) { Opener_ = &opener; }

  // The decoder's meter feed, on the run's thread: kept for the window's
  // thread, which shows them at most some 30 times a second.
  void MeterPosition(int channel, int band, std::int32_t position) override;
  // ... and the voltage behind it, for the count of the bands' limits.
  void MeterVoltage(int channel, int band, double volts) override;
  // The last run's time at the bands' floors and ceilings.
  const TLimitCounter& LimitCounts() const { return Limits_; }

  const QString& InputFileName() const { return InputFileName_; }
  const QString& OutputFileName() const { return OutputFileName_; }
  const QString& VersionText() const { return VersionText_; }
  // The chosen input, open while it is chosen and usable.
  const TWavFileIn& InputReader() const { return Input_; }
  // The reference level set, dB.
  double LevelDb() const;
  // Each channel's level for a run; empty when every channel is at the
  // scroll bar's level.
  std::vector<double> ChannelLevelsDb() const;
  // The result of the last run, once it has ended.
  const std::optional<TRunResult>& LastResult() const { return LastResult_; }
  // The band gains of the last run (or of the one going on).
  const TGainHistory& GainHistory() const { return History_; }
  // A run is going (on its own thread) or a queue is being decoded: the
  // files must stay as they are.
  bool Busy() const { return RunThread_.joinable() || QueueRunning_; }
  bool RunActive() const { return RunThread_.joinable(); }
  // Watches this window's runs (null: none); set while no run is going.
  void SetRunObserver(TRunObserver* observer) { Observer_ = observer; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // main_window_layout.cpp
  void CreateControls();
  void CreateMenus();
  QLayout* CreateFileRows();
  QLayout* CreateMeterColumns();
  QLayout* CreateLevelRow();
  QLayout* CreateStatusRows();
  QWidget* CreateLowerTabs();
  void CreateDebugGroup();

  // main_window_levels.cpp
  void CreateChannelLevels();
  // The table for an input of that many channels, every channel at the
  // scroll bar's level.
  void ShowChannelLevels(std::uint32_t channels);
  // Each channel's level from its own tone (the rest at the scroll bar's).
  void FillChannelLevels(const TReferenceTone& found);
  // The table's level column after the scroll bar moved.
  void UpdateChannelLevels();

  // main_window_channels.cpp
  void CreateChannelPairBox();
  // The pairs an input of this many channels offers (0: no input).
  void ShowChannelPairs(std::uint32_t channels);
  void UpdateMeterCaptions();
  // The right column shows a channel: not for mono, nor for the last pair
  // of an odd channel count.
  bool ShowsSecondChannel() const;

  // Red for an error, else the window-text colour.
  void SetTextColour(QLabel* label, bool error);
  // The text in its colour; a label that shows something is enabled.
  void SetFileLabel(TPathLabel* label, const QString& text, bool error);
  void ClearStatus();
  void ShowStatus(const QString& text, bool error);
  // Opens the reader on InputFileName_ and checks the file; the refusal's
  // message, or an empty string when the input is ready. resetMeters: all
  // meters to their Min once the file is open.
  QString OpenAndCheckInput(bool resetMeters);
  // At Start: an output that exists without the user having agreed to
  // replace it is asked about; false when the run must not start.
  bool AgreeToOutput();
  // After a run: the same input and output are ready for the next run.
  void ProposeSameFiles();
  // An input opened without an output: the output proposed beside it, as
  // the command line makes it, so that Start can go (an existing file is
  // asked about at Start); where it cannot be written, Start says why.
  void ProposeOutput();
  void RefuseInput(const QString& message);
  // Why path cannot be the output (the input itself, a folder); empty when
  // it may be. Nothing is created.
  QString OutputRefusal(const QString& path) const;
  void CloseOutput(const QString& labelText, bool error);
  // The output chosen without a question: the user agreed to replace it
  // already (or it does not exist); the refusal's text, or an empty one.
  QString TakeOutputFile(const QString& path);
  // Start: the run on the chosen files, the output's temporary file created
  // only now. The refusal's text when the run did not start (created:
  // whether the output file could not be created); empty when it began.
  QString RunChosenFiles(bool& created);
  // With "Continue from the previous file's end", a queue row's run goes on
  // from where the row before ended (the same tape's part before, of the
  // same format), begins fresh (another format) or is refused (a row
  // before it was not decoded whole: the refusal).
  std::optional<QString> ContinueQueueRow(TDecodeRun& run);
  void ShowRunStarted(TDecodeRun& run);
  // Start reads Abort, in red.
  void ShowAbortButton();
  // The run's thread has ended: its result shown (closing: the window is
  // about to close, nothing more is begun).
  void CollectRun(bool closing);
  void ShowRunEnded(const TRunResult& result, bool closing);
  // Asks the run to end after the block in hand.
  void StopRun();
  // On the run's thread after every block.
  void AfterBlock(std::uint64_t dataBytesRead);
  // The end-of-run reset of the controls, also on Abort.
  void ResetControls();
  // Measure and Save Plot are there when nothing runs and they have something to work on.
  void UpdateToolsEnabled();
  // "; bands at their limits: A1 floor 3.2 s, ..." after a run, or empty.
  QString LimitStatusText() const;
  // The record of the run just ended, in its tab (shown unless a queue runs).
  void ShowRunRecord(const TRunResult& result);
  // main_window_queue.cpp
  void CreateQueuePage();
  void RunNextInQueue();
  // The run of the queue's current file has ended: its result, then the next.
  void QueueEntryEnded();
  void EndQueue();
  void ShowQueueTable();  // every row anew
  void ShowQueueRow(std::size_t index);
  std::vector<std::size_t> SelectedQueueRows() const;
  void UpdateQueueButtons();
  // The band gains tab names the file the plot shows (none: empty).
  void ShowPlotFile(const QString& path);
  // The main level moved during a run reaches it: not when the queue's file
  // in hand has a level of its own.
  bool MainLevelDrivesRun() const { return !QueueRunning_ || QueueFollowsMain_; }
  // main_window_settings.cpp
  void CreateRecentMenu(QMenu* file);
  void RestoreSettings();
  void SaveSettings();
  void RememberInput(const QString& path);
  void RememberOutput(const QString& path);
  void UpdateRecentMenu();
  void UpdateProgress(std::uint64_t done);
  void UpdateRunningTimes();
  // ", 0:10:00 decoded": the playing time the output holds.
  QString DecodedText(std::uint64_t frames) const;
  // Size and place within the screen's free area, whatever the scale.
  void PlaceOnScreen();
  // Some 30 times a second during a run: meters, plot, progress and times.
  void RunTimerTick();
  // Takes the meter positions the run has handed over since the last time,
  // and shows the latest of the chosen pair.
  void ShowMeterPositions();
  void TakeMeterPosition(int channel, int band, std::int32_t position);
  // shown: the file or address as a user would copy it.
  void OpenDocument(const QUrl& address, const QString& shown, bool offerViewer);

  TFileDialogs& Dialogs_;
  TDocumentOpener* Opener_ = nullptr;
  TLevelControl* LevelControl_ = nullptr;
  TWavFileIn Input_;
  // What a refused input's format was and what is accepted, for the line
  // under the file's.
  QString InputRefusalDetail_;
  std::uint32_t DebugBand_ = 0;
  bool CanonicalHeader_ = false;
  // The run going on, on its own thread, and what it ended with.
  std::unique_ptr<TDecodeRun> ActiveRun_;
  std::thread RunThread_;
  std::optional<TRunResult> PendingResult_;  // set by the run's thread
  std::optional<TRunResult> LastResult_;
  // Each channel's level less the scroll bar's, in tenths of a dB.
  std::vector<int> ChannelOffsets_;
  // What the environment asks of the arithmetic, read when the window was
  // made (for tests and benchmarks).
  TRunEnvironment Environment_;
  QTimer* RunTimer_ = nullptr;
  std::uint32_t RunFrameBytes_ = 0;
  std::uint32_t RunSampleRate_ = 0;
  // For the run's record: when it began, the input's format and the part of
  // a tape it went on from.
  std::chrono::system_clock::time_point RunStartedAt_;
  std::uint32_t RunFormatTag_ = 0;
  std::uint32_t RunBitsPerSample_ = 0;
  std::optional<TPartEnd> RunContinuedFrom_;
  std::uint64_t RunDataBytes_ = 0;
  std::atomic<std::uint64_t> RunBytesRead_{0};
  // Meter positions from the run's thread, in the order handed over.
  // A meter position, or (Mark) a band at a limit at Frame for the plot.
  struct TMeterEvent {
    std::int32_t Channel;
    std::int32_t Band;
    std::int32_t Position;
    bool Mark = false;
    TBandLimit Limit = TBandLimit::Inside;
    std::uint64_t Frame = 0;
  };
  std::mutex MeterLock_;
  std::vector<TMeterEvent> MeterEvents_;
  TRunObserver* Observer_ = nullptr;
  int BlocksDone_ = 0;  // of the run going on, counted on its thread
  std::array<std::array<TALProgressBar*, 4>, 2> Meters_{};
  TGainHistory History_;
  TGainHistoryRecorder Recorder_{History_};
  TLimitCounter Limits_;
  // During a run the decoder hands over meter positions thousands of times a
  // second; the latest ones are kept here and shown at most once per display
  // interval (and at the end of the run), so the meters cost the run nothing.
  std::array<std::array<std::int32_t, 4>, 2> PendingMeter_{};
  std::array<std::array<bool, 4>, 2> MeterPending_{};
  // The latest position of every channel's meters, shown when its pair is
  // chosen.
  std::array<std::array<std::int32_t, 4>, kMaxChannels> LatestMeter_{};
  std::array<QLabel*, 2> MeterCaptions_{};
  std::uint32_t InputChannels_ = 0;
  int ShownPair_ = 0;
  QElapsedTimer SinceShown_;
  QElapsedTimer RunClock_;
  QString InputFileName_;
  QString OutputFileName_;
  // The output existed when chosen and the user agreed to replace it.
  bool OverwriteAgreed_ = false;
  QString VersionText_;
  // Abort was pressed from the keyboard: Start takes the focus again after the run.
  bool StartFocusToRestore_ = false;

  TQueueModel Queue_;
  std::size_t QueueCurrent_ = 0;
  bool QueueRunning_ = false;
  bool QueueAborted_ = false;
  // The level of the queue's file in hand, and whether it is the main one.
  double QueueLevel_ = 0.0;
  std::vector<double> QueueChannelLevels_;  // empty: every channel at QueueLevel_
  bool QueueFollowsMain_ = true;
  // The queue's rows as the parts of one tape ("Continue from the previous
  // file's end"): the rows of this queue run so far, the format of the row
  // in hand and what its row says of where it began.
  TContinuation QueueTape_;
  // The partial files this window kept (device, inode, time of the last
  // change): one of them an aborted run of the same output may replace; any
  // other NAME.partial.wav is another's and stays.
  std::set<std::array<std::int64_t, 4>> KeptPartials_;
  static std::optional<std::array<std::int64_t, 4>> PartialIdentity(const std::string& path);
  TPartFormat QueueRowFormat_;
  std::string QueueRowNote_;
  // Remembered between sessions: where outputs were last chosen, the last inputs.
  QString InputFolder_;
  QString OutputFolder_;
  QStringList Recent_;
};

}  // namespace zorv
