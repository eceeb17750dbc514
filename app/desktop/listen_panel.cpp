// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/listen_panel.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>

#include "app/desktop/audio_preview.h"
#include "app/desktop/level_entry.h"
#include "app/desktop/main_window.h"
#include "app/desktop/text_conversion.h"
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
  return ReadTimeEntry(text, std::numeric_limits<double>::infinity(), {}, seconds).isEmpty();
}

QString TListenPanel::GapText(const std::vector<TPlaybackGap>& gaps, std::uint32_t rate) {
  if (gaps.empty() || rate == 0) return {};
  const auto one = [rate](const TPlaybackGap& gap) {
    return QStringLiteral("%1 ms at %2")
        .arg(std::lround(gap.Milliseconds))
        .arg(PlayTimeText(static_cast<double>(gap.Frame) / rate));
  };
  if (gaps.size() == 1) return QStringLiteral("playback gap: ") + one(gaps.front());
  double total = 0.0;
  for (const TPlaybackGap& gap : gaps) total += gap.Milliseconds;
  return QStringLiteral("%1 playback gaps, %2 ms in all; the last: %3")
      .arg(static_cast<qsizetype>(gaps.size()))
      .arg(std::lround(total))
      .arg(one(gaps.back()));
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
  PlayTimeEdit = new TEntryField(this);
  PlayTimeEdit->setObjectName(QStringLiteral("PlayTimeEdit"));
  PlayTimeEdit->SetHint(QStringLiteral(
      "Where playing begins (minutes:seconds); a click on the band-gains plot sets it too"));
  PlayTimeEdit->ShowValue(PlayTimeText(0.0));
  PlayTimeEdit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  PlayTimeEdit->setFixedWidth(
      PlayTimeEdit->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.00")) + 16);
  HearBox = new QComboBox(this);
  HearBox->setObjectName(QStringLiteral("HearBox"));
  HearBox->setToolTip(QStringLiteral(
      "What is heard on the left and the right: the pair of channels the meters show, or one "
      "channel alone on both"));
  HearBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  HearBox->hide();
  ListenLabel = new QLabel(this);
  ListenLabel->setObjectName(QStringLiteral("ListenLabel"));
  ListenLabel->setTextFormat(Qt::PlainText);
  // A long reason wraps in the room it has; the window keeps its width.
  ListenLabel->setWordWrap(true);
  ListenLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  ListenLabel->setMinimumWidth(ListenLabel->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 30);

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
  row->addWidget(HearBox);
  row->addWidget(ListenLabel, 1);

  connect(PlayButton, &QPushButton::clicked, this, &TListenPanel::PlayButtonClick);
  connect(ABButton, &QPushButton::clicked, this, &TListenPanel::ABButtonClick);
  connect(PlayTimeEdit, &TEntryField::Entered, this, &TListenPanel::TimeEntered);
  connect(HearBox, &QComboBox::activated, this, [this] { ApplyHeard(); });
  connect(Preview_, &TAudioPreview::Ended, this, &TListenPanel::PlayEnded);

  Timer_ = new QTimer(this);
  connect(Timer_, &QTimer::timeout, this, &TListenPanel::Tick);
  Timer_->start(kIdleTickMs);
  OutputProblem_ = TAudioPreview::OutputProblem();
  UpdateEnabled();
}

void TListenPanel::Connect() {
  connect(Form_.LevelBar, &QScrollBar::valueChanged, this, [this] { ApplyLevels(); });
  connect(Form_.ChannelPairBox, &QComboBox::currentIndexChanged, this, [this] { ApplyHeard(); });
  Form_.GainPlot->setFocusPolicy(Qt::ClickFocus);
  Plot_ = Form_.GainPlot;
  Form_.GainPlot->installEventFilter(this);
  connect(Form_.GainPlot, &TGainHistoryPlot::AxisClicked, this, &TListenPanel::PlotClicked);
  // After Start: where to listen from, Play, A/B.
  QWidget::setTabOrder(Form_.StartButton, PlayTimeEdit);
  QWidget::setTabOrder(PlayTimeEdit, PlayButton);
  QWidget::setTabOrder(PlayButton, ABButton);
  QWidget::setTabOrder(ABButton, HearBox);
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
  PlayTimeEdit->ShowValue(PlayTimeText(0.0));
  if (ShowsHeard_) Form_.GainPlot->SetHistory(&Form_.GainHistory());
  ShowsHeard_ = false;
  Heard_.Start(0, 0, 0);
  Form_.GainPlot->SetCursor(-1.0);
  Preview_->Engine().Close();
  ShowHearChoices(0);
  if (input.isEmpty()) return false;
  if (const auto refusal = Preview_->Engine().Open(LocalPath(input))) {
    ListenLabel->setText(FromLocal(refusal->Line()) + QLatin1Char(' ') + Text(refusal->Detail));
    return false;
  }
  ListenLabel->clear();
  ShowHearChoices(Preview_->Engine().Channels());
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
  PlayTimeEdit->ShowValue(PlayTimeText(rate == 0 ? 0.0 : static_cast<double>(PlayFrame_) / rate));
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
  ApplyLevels();
  Preview_->SetListenToInput(ABButton->isChecked());
  ApplyHeard();
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

void TListenPanel::TimeEntered(const QString& text) {
  if (!TakeInput()) {
    PlayTimeEdit->Refuse(QStringLiteral("No input to listen to."));
    return;
  }
  const TPreviewEngine& engine = Preview_->Engine();
  const double end = static_cast<double>(engine.Frames()) / engine.SampleRate();
  double seconds = 0.0;
  const QString refusal =
      ReadTimeEntry(text, end, QStringLiteral("it ends at ") + PlayTimeText(end), seconds);
  if (!refusal.isEmpty()) {
    // Nothing changes: the position stays where it was.
    PlayTimeEdit->Refuse(refusal + QStringLiteral("; playing begins at ") +
                         PlayTimeText(static_cast<double>(PlayFrame_) / engine.SampleRate()) +
                         QLatin1Char('.'));
    ListenLabel->setText(PlayTimeEdit->Refusal());
    return;
  }
  SetPlayFrame(static_cast<std::uint64_t>(std::llround(seconds * engine.SampleRate())));
  ShowListenState();
  if (Playing()) PlayFor(engine.Frames());
}

void TListenPanel::ApplyLevels() {
  std::vector<double> levels = Form_.ChannelLevelsDb();
  if (levels.empty()) levels = {Form_.LevelDb()};
  if (levels == Levels_) return;
  Levels_ = levels;
  Preview_->SetLevels(std::move(levels));
}

void TListenPanel::ShowHearChoices(std::uint32_t channels) {
  HearBox->clear();
  for (std::uint32_t c = 0; channels > 1 && c <= channels; ++c) {
    HearBox->addItem(c == 0 ? QString() : QStringLiteral("Channel %1 alone").arg(c));
  }
  HearBox->setVisible(channels > 1);
  ApplyHeard();
}

void TListenPanel::ApplyHeard() {
  const auto channels = static_cast<int>(Preview_->Engine().Channels());
  if (channels == 0) return;
  const int pair = Form_.ShownChannelPair();
  const int left = std::min(2 * pair, channels - 1);
  const int right = std::min(2 * pair + 1, channels - 1);
  if (HearBox->count() > 0) {
    HearBox->setItemText(
        0, channels == 2 ? QStringLiteral("Both channels")
           : left == right
               ? QStringLiteral("Channel %1 (the meters')").arg(left + 1)
               : QStringLiteral("Channels %1-%2 (the meters')").arg(left + 1).arg(right + 1));
  }
  const int solo = HearBox->currentIndex() - 1;
  if (solo >= 0 && solo < channels) {
    Preview_->SetHeardChannels(static_cast<std::uint32_t>(solo), static_cast<std::uint32_t>(solo));
  } else {
    Preview_->SetHeardChannels(static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(right));
  }
}

QString TListenPanel::HearChannels(int left, int right) {
  if (!TakeInput()) return QStringLiteral("No input to listen to.");
  const auto channels = static_cast<int>(Preview_->Engine().Channels());
  const auto within = [channels](int c) { return c >= 1 && c <= channels; };
  if (!within(left) || !within(right)) {
    return QStringLiteral("The input has %1 channels: channels %2,%3 are not among them.")
        .arg(channels)
        .arg(left)
        .arg(right);
  }
  const bool lastOfOdd = left == right && left == channels && channels % 2 == 1;
  if (left == right && !lastOfOdd) {
    HearBox->setCurrentIndex(left);
  } else if (left % 2 == 1 && (right == left + 1 || lastOfOdd)) {
    Form_.ChannelPairBox->setCurrentIndex((left - 1) / 2);
    HearBox->setCurrentIndex(0);
  } else {
    return QStringLiteral(
               "Channels %1,%2: what is heard is a pair the meters show (1,2, 3,4 ...) "
               "or one channel alone (3,3).")
        .arg(left)
        .arg(right);
  }
  ApplyHeard();
  return {};
}

void TListenPanel::ABButtonClick() {
  const bool input = ABButton->isChecked();
  ABButton->setText(input ? QStringLiteral("A/B: input") : QStringLiteral("A/B: decoded"));
  Preview_->SetListenToInput(input);
}

void TListenPanel::ShowPlaying(bool playing) {
  PlayButton->setText(playing ? QStringLiteral("Stop") : QStringLiteral("Play"));
  ShowListenState();
  Timer_->start(playing ? kTickMs : kIdleTickMs);
  UpdateEnabled();
}

void TListenPanel::ShowListenState() {
  const QString gaps = GapText(Preview_->Gaps(), Preview_->Engine().SampleRate());
  QString text = Playing() ? QStringLiteral("playing") : QString();
  if (!gaps.isEmpty()) text += (text.isEmpty() ? QString() : QStringLiteral("; ")) + gaps;
  if (ListenLabel->text() != text) ListenLabel->setText(text);
  // A gap is a fault of the playing, not of the decode: said in red.
  QPalette colours = ListenLabel->palette();
  colours.setColor(QPalette::WindowText,
                   gaps.isEmpty() ? palette().color(QPalette::WindowText) : QColor(Qt::red));
  ListenLabel->setPalette(colours);
}

void TListenPanel::PlayEnded(const QString& error) {
  Tick();
  // The next Play begins with the decode, as the button then says.
  if (ABButton->isChecked()) {
    ABButton->setChecked(false);
    ABButtonClick();
  }
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
  // Levels per channel filled meanwhile (Measure) are heard too.
  ApplyLevels();
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
    PlayTimeEdit->ShowValue(
        PlayTimeText(static_cast<double>(heard) / Preview_->Engine().SampleRate()));
  }
  ShowListenState();
}

}  // namespace zorv
