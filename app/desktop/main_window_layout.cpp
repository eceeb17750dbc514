// SPDX-License-Identifier: GPL-3.0-or-later
// The window's controls, menus and layout.
#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/desktop/level_bar.h"
#include "app/desktop/level_control.h"
#include "app/desktop/level_entry.h"
#include "app/desktop/listen_panel.h"
#include "app/desktop/main_window.h"
#include "app/desktop/path_label.h"
#include "app/desktop/record_panel.h"
#include "widgets/al_progress_bar.h"
#include "widgets/gain_history_plot.h"

namespace zorv {
namespace {

constexpr int kMeterWidth = 300;
constexpr int kMeterHeight = 20;
constexpr int kLevelBarWidth = 300;
constexpr int kStartButtonWidth = 140;
constexpr int kProgressWidth = 200;
constexpr int kSectionSpacing = 18;
constexpr int kMeterRowSpacing = 14;
constexpr int kLowerTabsHeight = 320;

constexpr const char* kMeterNames[2][4] = {
    {"ALProgressBarA", "ALProgressBarB", "ALProgressBarC", "ALProgressBarD"},
    {"ALProgressBarA2", "ALProgressBarB2", "ALProgressBarC2", "ALProgressBarD2"}};
constexpr const char* kBandLetters[4] = {"A", "B", "C", "D"};
constexpr const char* kBandRanges[4] = {"20 -     215 Hz", "215 -   2450 Hz", "2450 -   4800 Hz",
                                        "4800 - 30000 Hz"};
constexpr const char* kDebugItems[5] = {"None (normal decoding)", "CH A", "CH B", "CH C", "CH D"};

void SetBold(QWidget* widget, bool bold) {
  QFont font = widget->font();
  font.setBold(bold);
  widget->setFont(font);
}

QLabel* Caption(const QString& text, QWidget* parent, bool bold = true) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  SetBold(label, bold);
  return label;
}

template <typename T>
T* Named(T* object, const char* name) {
  object->setObjectName(QLatin1String(name));
  return object;
}

}  // namespace

void TForm1::CreateControls() {
  // The panel scrolls when the screen is too small for it (a large scale
  // factor on a small screen); otherwise it fills the window.
  auto* scroller = new QScrollArea(this);
  scroller->setObjectName(QStringLiteral("PanelScroller"));
  scroller->setFrameShape(QFrame::NoFrame);
  scroller->setWidgetResizable(true);
  scroller->setFocusPolicy(Qt::NoFocus);
  setCentralWidget(scroller);
  auto* panel = new QWidget(scroller);
  panel->setObjectName(QStringLiteral("Panel1"));
  scroller->setWidget(panel);

  auto* page = new QVBoxLayout(panel);
  page->setContentsMargins(24, 16, 24, 16);
  // Spare height is shared out between the sections.
  page->addLayout(CreateFileRows());
  page->addSpacing(kSectionSpacing);
  page->addStretch(1);
  page->addLayout(CreateMeterColumns());
  page->addSpacing(kSectionSpacing);
  page->addStretch(1);
  page->addLayout(CreateLevelRow());
  page->addSpacing(kSectionSpacing);
  page->addStretch(1);
  page->addLayout(CreateStatusRows());
  page->addSpacing(kSectionSpacing);
  page->addStretch(1);
  Listen = new TListenPanel(*this, panel);
  page->addWidget(Listen);
  page->addSpacing(8);
  page->addWidget(CreateLowerTabs());
  page->addStretch(1);

  CreateDebugGroup();
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(DebugGroup);
  page->addLayout(bottom);

  CreateMenus();
  Listen->Connect();
  // The keyboard's way through the window.
  setTabOrder(InputFileButton, OutPutFileButton);
  setTabOrder(OutPutFileButton, LevelBar);
  setTabOrder(LevelBar, RefLabel);
  setTabOrder(RefLabel, MeasureButton);
  setTabOrder(MeasureButton, StartButton);
}

void TForm1::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("File1"));
  Open1 = Named(file->addAction(QStringLiteral("&Input File")), "Open1");
  Open1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  Save1 = Named(file->addAction(QStringLiteral("&Output File")), "Save1");
  Save1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  Save1->setEnabled(false);
  SavePlot1 = Named(file->addAction(QStringLiteral("Save &Plot as PNG...")), "SavePlot1");
  SavePlot1->setEnabled(false);
  CreateRecentMenu(file);
  file->addSeparator();
  CanonicalHeader1 =
      Named(file->addAction(QStringLiteral("&Canonical 44-byte header")), "CanonicalHeader1");
  CanonicalHeader1->setCheckable(true);
  ContinueFromPrevious1 =
      Named(file->addAction(QStringLiteral("C&ontinue from the previous file's end")),
            "ContinueFromPrevious1");
  ContinueFromPrevious1->setCheckable(true);
  ContinueFromPrevious1->setToolTip(
      QStringLiteral("For the consecutive parts of one tape, queued in order: each row of a "
                     "queue run begins where the row before it ended, not from the decoder's "
                     "start-up state (a row of another format begins fresh; off when the window "
                     "opens)"));
  file->addSeparator();
  Exit1 = Named(file->addAction(QStringLiteral("E&xit")), "Exit1");
  Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("Help1"));
  Help2 = Named(help->addAction(QStringLiteral("&Help")), "Help2");
  Help2->setShortcut(QKeySequence(Qt::Key_F1));
  HelpViewer1 = Named(help->addAction(QStringLiteral("Help &Without a Browser")), "HelpViewer1");
  HelpViewer1->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));
  ShowZorvAudioDecoderHomepage1 =
      Named(help->addAction(QStringLiteral("&Show Zorv Audio Decoder Homepage")),
            "ShowZorvAudioDecoderHomepage1");
  help->addSeparator();
  About = Named(help->addAction(QStringLiteral("&About")), "About");

  connect(Open1, &QAction::triggered, this, &TForm1::Open1Click);
  connect(Save1, &QAction::triggered, this, &TForm1::Save1Click);
  connect(SavePlot1, &QAction::triggered, this, &TForm1::SavePlot1Click);
  connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
  connect(CanonicalHeader1, &QAction::toggled, this, &TForm1::CanonicalHeader1Click);
  connect(Help2, &QAction::triggered, this, &TForm1::Help2Click);
  connect(HelpViewer1, &QAction::triggered, this, &TForm1::HelpViewer1Click);
  connect(ShowZorvAudioDecoderHomepage1, &QAction::triggered, this, &TForm1::ShowZorvHomepageClick);
  connect(About, &QAction::triggered, this, &TForm1::AboutClick);

  // Esc aborts a run wherever the focus is; it is enabled only then.
  AbortRun1 = Named(new QAction(QStringLiteral("Abort"), this), "AbortRun1");
  AbortRun1->setShortcut(QKeySequence(Qt::Key_Escape));
  AbortRun1->setEnabled(false);
  addAction(AbortRun1);
  connect(AbortRun1, &QAction::triggered, this, [this] {
    if (RunActive()) StartButtonClick();
  });
}

QLayout* TForm1::CreateFileRows() {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(12);
  grid->setColumnStretch(2, 1);

  const auto speedButton = [this](const char* name, QStyle::StandardPixmap glyph,
                                  const QString& tip) {
    auto* button = Named(new QToolButton(this), name);
    button->setIcon(style()->standardIcon(glyph));
    button->setIconSize(QSize(20, 20));
    button->setToolTip(tip);
    return button;
  };
  InputFileButton =
      speedButton("InputFileButton", QStyle::SP_DialogOpenButton, QStringLiteral("Input File"));
  OutPutFileButton =
      speedButton("OutPutFileButton", QStyle::SP_DialogSaveButton, QStringLiteral("Output File"));
  OutPutFileButton->setEnabled(false);
  connect(InputFileButton, &QToolButton::clicked, this, &TForm1::InputFileButtonClick);
  connect(OutPutFileButton, &QToolButton::clicked, this, &TForm1::OutPutFileButtonClick);

  InputFileLabel =
      Named(new TPathLabel(QStringLiteral("no file selected"), this), "InputFileLabel");
  OutputFileLabel =
      Named(new TPathLabel(QStringLiteral("no file selected"), this), "OutputFileLabel");
  WavParamsLabel = Named(Caption(QString(), this), "WavParamsLabel");
  for (QLabel* label :
       {static_cast<QLabel*>(InputFileLabel), static_cast<QLabel*>(OutputFileLabel)}) {
    label->setTextFormat(Qt::PlainText);
    SetBold(label, true);
  }

  grid->addWidget(InputFileButton, 0, 0);
  grid->addWidget(Caption(QStringLiteral("Select Input File"), this), 0, 1);
  grid->addWidget(InputFileLabel, 0, 2);
  grid->addWidget(Caption(QStringLiteral("WAV Parameters"), this), 1, 1);
  grid->addWidget(WavParamsLabel, 1, 2);
  grid->addWidget(OutPutFileButton, 2, 0);
  grid->addWidget(Caption(QStringLiteral("Select Output File"), this), 2, 1);
  grid->addWidget(OutputFileLabel, 2, 2);
  return grid;
}

QLayout* TForm1::CreateMeterColumns() {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(14);
  grid->setVerticalSpacing(kMeterRowSpacing);

  // Columns: letter, channel 1, band range, channel 2, letter.
  MeterCaptions_[0] = Caption(QStringLiteral("Gain (dB) Ch 1 (left)"), this);
  MeterCaptions_[1] = Caption(QStringLiteral("Gain (dB) Ch 2 (right)"), this);
  MeterCaptions_[0]->setObjectName(QStringLiteral("MeterCaption1"));
  MeterCaptions_[1]->setObjectName(QStringLiteral("MeterCaption2"));
  grid->addWidget(MeterCaptions_[0], 0, 1, Qt::AlignHCenter);
  grid->addWidget(MeterCaptions_[1], 0, 3, Qt::AlignHCenter);
  CreateChannelPairBox();
  grid->addWidget(ChannelPairBox, 0, 2, Qt::AlignHCenter);
  // The meters' scale: their ends.
  for (const int column : {1, 3}) {
    auto* scale = new QWidget(this);
    scale->setFixedWidth(kMeterWidth);
    auto* ends = new QHBoxLayout(scale);
    ends->setContentsMargins(0, 0, 0, 0);
    ends->addWidget(Caption(QStringLiteral("%1 dB").arg(kMeterMin / 10), scale, false));
    ends->addStretch(1);
    ends->addWidget(Caption(QStringLiteral("+%1 dB").arg(kMeterMax / 10), scale, false));
    grid->addWidget(scale, 1, column);
  }

  for (int band = 0; band < 4; ++band) {
    const int row = band + 2;
    grid->addWidget(Caption(QLatin1String(kBandLetters[band]), this), row, 0, Qt::AlignRight);
    grid->addWidget(Caption(QLatin1String(kBandRanges[band]), this, false), row, 2,
                    Qt::AlignHCenter);
    grid->addWidget(Caption(QLatin1String(kBandLetters[band]), this), row, 4, Qt::AlignLeft);
    for (int channel = 0; channel < 2; ++channel) {
      auto* meter = Named(new TALProgressBar(this), kMeterNames[channel][band]);
      meter->setFixedSize(kMeterWidth, kMeterHeight);
      meter->SetMin(kMeterMin);
      meter->SetMax(kMeterMax);
      meter->SetPosition(kMeterMin);
      meter->SetDecimal(true);
      meter->SetPosTextSuffix(QStringLiteral(" dB"));
      meter->SetBarColorStyle(cs2Colors);
      Meters_[static_cast<std::size_t>(channel)][static_cast<std::size_t>(band)] = meter;
      grid->addWidget(meter, row, channel == 0 ? 1 : 3);
    }
  }

  auto* centred = new QHBoxLayout;
  centred->addStretch(1);
  centred->addLayout(grid);
  centred->addStretch(1);
  return centred;
}

QLayout* TForm1::CreateLevelRow() {
  LevelBar = Named(new TLevelBar(this), "LevelBar");
  LevelBar->setRange(kLevelMin, kLevelMax);
  LevelBar->setValue(kLevelStart);
  LevelBar->setSingleStep(1);
  LevelBar->setPageStep(10);
  LevelBar->setFixedWidth(kLevelBarWidth);
  // Arrows 0.1 dB, Page Up and Down 1 dB, Home and End the ends.
  connect(LevelBar, &QScrollBar::valueChanged, this, &TForm1::LevelBarChange);

  // In the user's locale from the start; a typed value counts once it is
  // complete (Enter or leaving the field), exactly as typed or not at all.
  RefLabel = Named(new TEntryField(this), "RefLabel");
  RefLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  SetBold(RefLabel, true);
  RefLabel->setFixedWidth(RefLabel->fontMetrics().horizontalAdvance(QStringLiteral("-30.0 dB")) +
                          RefLabel->fontMetrics().averageCharWidth() * 4);

  MeasureButton = Named(new QPushButton(QStringLiteral("&Measure"), this), "MeasureButton");
  MeasureButton->setToolTip(
      QStringLiteral("Set the reference level to the level of the reference tone in the "
                     "input's first minute"));
  MeasureButton->setEnabled(false);
  connect(MeasureButton, &QPushButton::clicked, this, &TForm1::MeasureButtonClick);

  // Two lines are kept for what a measurement found, shown or not, so that
  // nothing moves; a long finding (a tone per track of a multitrack tape)
  // wraps and scrolls instead of widening the window.
  MeasureLabel = Named(Caption(QString(), this), "MeasureLabel");
  MeasureLabel->setWordWrap(true);
  MeasureLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  MeasureLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* findings = Named(new QScrollArea(this), "MeasureScroller");
  findings->setWidget(MeasureLabel);
  findings->setWidgetResizable(true);
  findings->setFrameShape(QFrame::NoFrame);
  findings->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  findings->setFocusPolicy(Qt::NoFocus);
  findings->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  findings->setFixedHeight(2 * MeasureLabel->fontMetrics().lineSpacing() + 4);
  LevelControl_ = new TLevelControl(*LevelBar, *RefLabel, *MeasureLabel, this);

  auto* row = new QHBoxLayout;
  row->setSpacing(14);
  row->addStretch(1);
  row->addWidget(Caption(QStringLiteral("Reference Level"), this));
  row->addWidget(LevelBar);
  row->addWidget(RefLabel);
  row->addWidget(MeasureButton);
  CreateChannelLevels();
  row->addWidget(ChannelLevelsButton);
  row->addStretch(1);
  auto* rows = new QVBoxLayout;
  rows->setSpacing(8);
  rows->addLayout(row);
  rows->addWidget(findings);
  return rows;
}

QLayout* TForm1::CreateStatusRows() {
  StartButton = Named(new QPushButton(QStringLiteral("Start"), this), "StartButton");
  StartButton->setEnabled(false);
  StartButton->setMinimumWidth(kStartButtonWidth);
  // Enter as well as Space presses it when it has the focus.
  StartButton->setAutoDefault(true);
  SetBold(StartButton, true);
  connect(StartButton, &QPushButton::clicked, this, &TForm1::StartButtonClick);

  DoneLabel = Named(new TPathLabel(QString(), this), "DoneLabel");
  DoneLabel->setTextFormat(Qt::PlainText);
  DoneLabel->SetElideMode(Qt::ElideRight);
  DoneLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  SetBold(DoneLabel, true);
  TimeLabel = Named(Caption(QString(), this), "TimeLabel");
  RunProgress = Named(new QProgressBar(this), "RunProgress");
  RunProgress->setRange(0, 1000);
  RunProgress->setFixedWidth(kProgressWidth);
  // Hidden or shown, the progress keeps its place: nothing moves at the
  // start or the end of a run.
  for (QWidget* widget : {static_cast<QWidget*>(RunProgress), static_cast<QWidget*>(DoneLabel)}) {
    QSizePolicy keepPlace = widget->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(keepPlace);
  }
  RunProgress->hide();

  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch(1);
  buttonRow->addWidget(StartButton);
  buttonRow->addStretch(1);

  // The progress under the button, the status before it and the times after
  // it; the row's height is reserved whether it shows anything or not.
  auto* statusRow = new QHBoxLayout;
  statusRow->setSpacing(18);
  statusRow->setContentsMargins(0, 0, 0, 0);
  statusRow->addWidget(DoneLabel, 1, Qt::AlignRight | Qt::AlignVCenter);
  statusRow->addWidget(RunProgress);
  statusRow->addWidget(TimeLabel, 1, Qt::AlignLeft | Qt::AlignVCenter);
  auto* status = new QWidget(this);
  status->setObjectName(QStringLiteral("StatusRow"));
  status->setLayout(statusRow);
  status->setFixedHeight(
      std::max(RunProgress->sizeHint().height(), DoneLabel->fontMetrics().height()));

  auto* rows = new QVBoxLayout;
  rows->setSpacing(12);
  rows->addLayout(buttonRow);
  rows->addWidget(status);
  return rows;
}

QWidget* TForm1::CreateLowerTabs() {
  LowerTabs = Named(new QTabWidget(this), "LowerTabs");
  LowerTabs->setFixedHeight(kLowerTabsHeight);
  LowerTabs->setFocusPolicy(Qt::NoFocus);
  GainPlot = Named(new TGainHistoryPlot(LowerTabs), "GainPlot");
  GainPlot->SetHistory(&History_);
  LowerTabs->addTab(GainPlot, QStringLiteral("Band gains"));
  CreateQueuePage();
  // A tab of its own once the first run has ended.
  RecordPanel = new TRecordPanel(LowerTabs);
  RecordPanel->hide();
  return LowerTabs;
}

void TForm1::CreateDebugGroup() {
  DebugGroup =
      Named(new QGroupBox(QStringLiteral("Select CH for Ctrl Sign Debug"), this), "DebugGroup");
  DebugButtons = new QButtonGroup(DebugGroup);
  auto* items = new QVBoxLayout(DebugGroup);
  for (int i = 0; i < 5; ++i) {
    auto* item = new QRadioButton(QLatin1String(kDebugItems[i]), DebugGroup);
    item->setObjectName(QStringLiteral("DebugItem%1").arg(i));
    DebugButtons->addButton(item, i);
    items->addWidget(item);
  }
  DebugButtons->button(0)->setChecked(true);
  connect(DebugButtons, &QButtonGroup::idClicked, this, &TForm1::DebugGroupClick);
}

}  // namespace zorv
