// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/listen_panel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "app/desktop/audio_preview.h"
#include "app/desktop/main_window.h"
#include "widgets/al_progress_bar.h"
#include "widgets/gain_history_plot.h"

namespace zorv {
namespace {

constexpr int kTickMs = 30;
constexpr int kIdleTickMs = 250;

}  // namespace

QString TListenPanel::PlayTimeText(double seconds) {
  const auto tenths = static_cast<std::int64_t>(std::floor(std::max(seconds, 0.0) * 10.0 + 1e-6));
  const std::int64_t minutes = tenths / 600;
  return QStringLiteral("%1:%2.%3")
      .arg(minutes)
      .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
      .arg(tenths % 10);
}

bool TListenPanel::ParsePlayTime(const QString& text, double& seconds) {
  const QStringList parts = text.trimmed().split(QLatin1Char(':'));
  if (parts.size() > 3) return false;
  double total = 0.0;
  for (int i = 0; i < parts.size(); ++i) {
    bool ok = false;
    const double value = parts[i].toDouble(&ok);
    // Only the last part has a fraction; minutes and seconds below 60.
    if (!ok || value < 0.0 || !std::isfinite(value)) return false;
    if (i + 1 < parts.size() && (value != std::floor(value))) return false;
    if (i > 0 && value >= 60.0) return false;
    total = total * 60.0 + value;
  }
  seconds = total;
  return true;
}

TListenPanel::TListenPanel(TForm1& form, QWidget* parent) : QWidget(parent), Form_(form) {
  setObjectName(QStringLiteral("ListenPanel"));
  Preview_ = new TAudioPreview(this);
  PlayButton = new QPushButton(QStringLiteral("Play"), this);
  PlayButton->setObjectName(QStringLiteral("PlayButton"));
  PlayButton->setMinimumWidth(90);
  ABButton = new QPushButton(QStringLiteral("A/B: decoded"), this);
  ABButton->setObjectName(QStringLiteral("ABButton"));
  ABButton->setCheckable(true);
  ABButton->setToolTip(QStringLiteral(
      "Switch between the decoded signal (B) and the encoded input (A), with a 10 ms crossfade "
      "(key B)"));
  PlayTimeEdit = new QLineEdit(PlayTimeText(0.0), this);
  PlayTimeEdit->setObjectName(QStringLiteral("PlayTimeEdit"));
  PlayTimeEdit->setToolTip(QStringLiteral(
      "Where playing begins (minutes:seconds); a click on the band-gains plot sets it too"));
  PlayTimeEdit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  PlayTimeEdit->setFixedWidth(
      PlayTimeEdit->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.00")) + 16);
  ListenLabel = new QLabel(this);
  ListenLabel->setObjectName(QStringLiteral("ListenLabel"));
  ListenLabel->setTextFormat(Qt::PlainText);

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(12);
  row->addStretch(1);
  auto* caption = new QLabel(QStringLiteral("Listen from"), this);
  QFont bold = caption->font();
  bold.setBold(true);
  caption->setFont(bold);
  row->addWidget(caption);
  row->addWidget(PlayTimeEdit);
  row->addWidget(PlayButton);
  row->addWidget(ABButton);
  row->addWidget(ListenLabel);
  row->addStretch(1);

  connect(PlayButton, &QPushButton::clicked, this, &TListenPanel::PlayButtonClick);
  connect(ABButton, &QPushButton::clicked, this, &TListenPanel::ABButtonClick);
  connect(PlayTimeEdit, &QLineEdit::editingFinished, this, [this] {
    double seconds = 0.0;
    if (!TakeInput() || !ParsePlayTime(PlayTimeEdit->text(), seconds)) {
      SetPlayFrame(PlayFrame_);  // the last valid position again
      return;
    }
    const auto frame =
        static_cast<std::uint64_t>(std::llround(seconds * Preview_->Engine().SampleRate()));
    SetPlayFrame(frame);
    if (Playing()) PlayFor(Preview_->Engine().Frames());
  });
  connect(Preview_, &TAudioPreview::Ended, this, &TListenPanel::PlayEnded);

  Timer_ = new QTimer(this);
  connect(Timer_, &QTimer::timeout, this, &TListenPanel::Tick);
  Timer_->start(kIdleTickMs);
  OutputProblem_ = TAudioPreview::OutputProblem();
  UpdateEnabled();
}

void TListenPanel::Connect() {
  connect(Form_.LevelBar, &QScrollBar::valueChanged, this,
          [this](int position) { Preview_->Engine().SetLevel(position / 10.0); });
  Form_.GainPlot->setFocusPolicy(Qt::ClickFocus);
  Plot_ = Form_.GainPlot;
  Form_.GainPlot->installEventFilter(this);
  connect(Form_.GainPlot, &TGainHistoryPlot::AxisClicked, this, &TListenPanel::PlotClicked);
  // After Start: where to listen from, Play, A/B.
  QWidget::setTabOrder(Form_.StartButton, PlayTimeEdit);
  QWidget::setTabOrder(PlayTimeEdit, PlayButton);
  QWidget::setTabOrder(PlayButton, ABButton);
  auto* abKey = new QShortcut(QKeySequence(Qt::Key_B), &Form_);
  connect(abKey, &QShortcut::activated, this, [this] {
    ABButton->setChecked(!ABButton->isChecked());
    ABButtonClick();
  });
}

bool TListenPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Plot_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
    if (PlayButton->isEnabled()) PlayButtonClick();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

bool TListenPanel::Playing() const {
  return Preview_->Playing();
}

void TListenPanel::UpdateEnabled() {
  if (!OutputProblem_.isEmpty()) {
    PlayButton->setEnabled(false);
    PlayButton->setToolTip(OutputProblem_);
    return;
  }
  const bool input = Form_.InputReader().IsOpen();
  PlayButton->setEnabled(Playing() || (input && !Form_.Busy()));
  PlayButton->setToolTip(input ? QStringLiteral("Play the decode from the play position at the "
                                                "level set (Space on the plot)")
                               : QStringLiteral("Choose an input to listen to"));
}

bool TListenPanel::TakeInput() {
  const QString input = Form_.InputReader().IsOpen() ? Form_.InputFileName() : QString();
  if (input == Input_ && (input.isEmpty() || Preview_->Engine().IsOpen())) return !input.isEmpty();
  Preview_->Stop();
  Input_ = input;
  PlayFrame_ = 0;
  PlayTimeEdit->setText(PlayTimeText(0.0));
  if (ShowsHeard_) Form_.GainPlot->SetHistory(&Form_.GainHistory());
  ShowsHeard_ = false;
  Heard_.Start(0, 0, 0);
  Form_.GainPlot->SetCursor(-1.0);
  Preview_->Engine().Close();
  if (input.isEmpty()) return false;
  if (const auto refusal = Preview_->Engine().Open(input.toStdString())) {
    ListenLabel->setText(QString::fromStdString(refusal->Line() + " " + refusal->Detail));
    return false;
  }
  ListenLabel->clear();
  return true;
}

std::uint64_t TListenPanel::AxisFrames() const {
  const TGainHistory* shown = Form_.GainPlot->History();
  if (shown != nullptr && shown->AxisFrames() > 0) return shown->AxisFrames();
  return Preview_->Engine().Frames();
}

void TListenPanel::SetPlayFrame(std::uint64_t frame) {
  TakeInput();
  PlayFrame_ = std::min(frame, Preview_->Engine().Frames());
  const std::uint32_t rate = Preview_->Engine().SampleRate();
  PlayTimeEdit->setText(PlayTimeText(rate == 0 ? 0.0 : static_cast<double>(PlayFrame_) / rate));
  ShowCursor(PlayFrame_);
}

void TListenPanel::ShowCursor(std::uint64_t frame) {
  const std::uint64_t axis = AxisFrames();
  Form_.GainPlot->SetCursor(axis == 0 ? -1.0 : static_cast<double>(frame) / axis);
}

void TListenPanel::PlotClicked(double share) {
  if (Form_.Busy() || !TakeInput()) return;
  SetPlayFrame(static_cast<std::uint64_t>(std::llround(share * AxisFrames())));
  // Playing on from the place clicked.
  if (Playing()) PlayFor(Preview_->Engine().Frames());
}

void TListenPanel::PlayButtonClick() {
  if (Playing()) {
    SetPlayFrame(Preview_->HeardFrame());
    Preview_->Stop();
    PlayEnded({});
    return;
  }
  if (!PlayButton->isEnabled()) return;
  if (const QString error =
          PlayFor(Preview_->Engine().IsOpen() ? Preview_->Engine().Frames() : ~std::uint64_t{0});
      !error.isEmpty()) {
    ListenLabel->setText(error);
  }
}

QString TListenPanel::PlayFor(std::uint64_t frames) {
  if (!OutputProblem_.isEmpty()) return OutputProblem_;
  if (Form_.Busy()) return QStringLiteral("A decode is running.");
  if (!TakeInput()) return QStringLiteral("No input to play.");
  TPreviewEngine& engine = Preview_->Engine();
  if (PlayFrame_ >= engine.Frames()) PlayFrame_ = 0;
  engine.SetLevel(Form_.LevelDb());
  engine.SetListenToInput(ABButton->isChecked());
  // Without a decode of this input to show, the plot shows what is heard.
  if (Form_.GainHistory().Empty()) {
    if (Heard_.Channels() == 0)
      Heard_.Start(engine.Channels(), engine.SampleRate(), engine.Frames());
    Form_.GainPlot->SetHistory(&Heard_);
    ShowsHeard_ = true;
  }
  const std::uint64_t end =
      frames > engine.Frames() - PlayFrame_ ? engine.Frames() : PlayFrame_ + frames;
  if (const QString error = Preview_->Play(PlayFrame_, end); !error.isEmpty()) {
    // A failed output plays nothing until the program starts again; an input
    // it cannot play (its channels, its rate) leaves other inputs playable.
    if (Preview_->OutputFailed()) OutputProblem_ = error;
    UpdateEnabled();
    return error;
  }
  ShowPlaying(true);
  return {};
}

void TListenPanel::ABButtonClick() {
  const bool input = ABButton->isChecked();
  ABButton->setText(input ? QStringLiteral("A/B: input") : QStringLiteral("A/B: decoded"));
  Preview_->Engine().SetListenToInput(input);
}

void TListenPanel::ShowPlaying(bool playing) {
  PlayButton->setText(playing ? QStringLiteral("Stop") : QStringLiteral("Play"));
  ListenLabel->setText(playing ? QStringLiteral("playing") : QString());
  Timer_->start(playing ? kTickMs : kIdleTickMs);
  UpdateEnabled();
}

void TListenPanel::PlayEnded(const QString& error) {
  Tick();
  ShowPlaying(false);
  if (!error.isEmpty()) {
    OutputProblem_ = error[0].toUpper() + error.mid(1) + QLatin1Char('.');
    ListenLabel->setText(OutputProblem_);
    UpdateEnabled();
  }
  emit Stopped();
}

void TListenPanel::Tick() {
  if (!Playing()) {
    // A run takes the plot back; a new input is taken when asked for.
    if (ShowsHeard_ && Form_.Busy()) {
      Form_.GainPlot->SetHistory(&Form_.GainHistory());
      ShowsHeard_ = false;
    }
    const QString input = Form_.InputReader().IsOpen() ? Form_.InputFileName() : QString();
    if (input != Input_) TakeInput();
    UpdateEnabled();
    return;
  }
  if (Form_.Busy()) {
    PlayButtonClick();
    return;
  }
  // Another input chosen: the playing ends, the position goes to its start.
  if ((Form_.InputReader().IsOpen() ? Form_.InputFileName() : QString()) != Input_) {
    Preview_->Stop();
    PlayEnded({});
    TakeInput();
    return;
  }
  const std::uint64_t heard = Preview_->HeardFrame();
  const int pair = Form_.ShownChannelPair();
  for (const TPlayedMeter& meter : Preview_->TakeMeters(heard)) {
    if (ShowsHeard_) Heard_.Add(meter.Frame, meter.Channel, meter.Band, meter.Position);
    const int column = meter.Channel - 2 * pair;
    if (column == 0 || column == 1) Form_.Meter(column, meter.Band)->SetPosition(meter.Position);
  }
  if (ShowsHeard_) Form_.GainPlot->update();
  ShowCursor(heard);
  if (!PlayTimeEdit->hasFocus()) {
    PlayTimeEdit->setText(
        PlayTimeText(static_cast<double>(heard) / Preview_->Engine().SampleRate()));
  }
}

}  // namespace zorv
