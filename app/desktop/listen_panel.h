// SPDX-License-Identifier: GPL-3.0-or-later
// Listening in the window: Play/Stop plays the decode of the chosen input at
// the level set, from the play position (a click on the band-gains plot or
// the time field); A/B switches between the encoded input and the decode
// (Stop puts it back to the decode); Hear chooses what goes to the left and
// the right: the pair of channels the meters show, or one channel alone on
// both. While it plays, the meters and the plot's cursor follow what is
// heard; a plot with no decode yet is filled as playback goes; a gap in the
// sound is said beside the buttons. Space on the plot plays and stops, B
// switches A/B. Without an audio output, Play is disabled and its tooltip
// says why.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "app/gain_history.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

namespace zorv {

class TAudioPreview;
class TEntryField;
class TForm1;
struct TPlaybackGap;

class TListenPanel : public QWidget {
  Q_OBJECT

 public:
  TListenPanel(TForm1& form, QWidget* parent);

  // Ties the panel to the window's level, plot and meters, once they exist.
  void Connect();

  QPushButton* PlayButton = nullptr;
  QPushButton* ABButton = nullptr;  // checked: the encoded input is heard
  TEntryField* PlayTimeEdit = nullptr;
  // What is heard: index 0 the meters' pair (left and right), then each
  // channel alone; hidden for a mono input.
  QComboBox* HearBox = nullptr;
  QLabel* ListenLabel = nullptr;

  void PlayButtonClick();
  void ABButtonClick();
  bool Playing() const;
  // The play position, a frame of the input.
  std::uint64_t PlayFrame() const { return PlayFrame_; }
  void SetPlayFrame(std::uint64_t frame);
  // Plays frames frames from the play position, then stops; empty when it
  // began, else why not.
  QString PlayFor(std::uint64_t frames);
  TAudioPreview& Preview() { return *Preview_; }
  // Play enabled when there is an output, an input and no run (also looked
  // at a few times a second).
  void UpdateEnabled();
  // Channels left and right heard (1-based): a pair the meters can show
  // (1,2; 3,4 ...; the last of an odd count twice) or one channel twice.
  // Empty when it is chosen, else why not.
  QString HearChannels(int left, int right);

  // "1:02.5": minutes, seconds and tenths; parsed back from "m:ss.s",
  // "h:mm:ss.s" or seconds (a comma as decimal mark too). False for anything
  // else.
  static QString PlayTimeText(double seconds);
  static bool ParsePlayTime(const QString& text, double& seconds);
  // "playback gap: 40 ms at 1:23.4", or how many and the last; empty for none.
  static QString GapText(const std::vector<TPlaybackGap>& gaps, std::uint32_t rate);

 signals:
  // Playback ended on its own or was stopped.
  void Stopped();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The input the window has chosen: the engine opened on it (a new one
  // resets the play position and the plot's playback history).
  bool TakeInput();
  void ShowPlaying(bool playing);
  void PlayEnded(const QString& error);
  void Tick();
  void PlotClicked(double share);
  void ShowCursor(std::uint64_t frame);
  void TimeEntered(const QString& text);
  // The channels of the input in the Hear list; what it chooses to the preview.
  void ShowHearChoices(std::uint32_t channels);
  void ApplyHeard();
  // The levels the window decodes at, to what is heard (each channel's).
  void ApplyLevels();
  // "playing" and any gaps, or the gaps of the last playing.
  void ShowListenState();
  // The frames of the input on the plot's time axis.
  std::uint64_t AxisFrames() const;

  TForm1& Form_;
  // The plot whose keys are watched. Compared, never reached through the
  // window: its events go on while the window is being destroyed.
  const QObject* Plot_ = nullptr;
  TAudioPreview* Preview_ = nullptr;
  QTimer* Timer_ = nullptr;
  QString OutputProblem_;
  QString Input_;
  std::uint64_t PlayFrame_ = 0;
  // The band gains heard, shown while the window has no decode to show.
  TGainHistory Heard_;
  bool ShowsHeard_ = false;
  std::vector<double> Levels_;  // the last given to the preview
};

}  // namespace zorv
