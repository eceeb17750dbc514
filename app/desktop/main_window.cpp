// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/main_window.h"

#include <sys/stat.h>

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <thread>

#include "app/desktop/about_box.h"
#include "app/desktop/audio_preview.h"
#include "app/desktop/document_opener.h"
#include "app/desktop/file_dialogs.h"
#include "app/desktop/help_viewer.h"
#include "app/desktop/listen_panel.h"
#include "app/desktop/path_label.h"
#include "app/desktop/program_info.h"
#include "app/desktop/text_conversion.h"
#include "widgets/al_progress_bar.h"

namespace zorv {
namespace {

// The local files that a drag carries; empty when it carries anything else.
QStringList DraggedFiles(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  QStringList files;
  for (const QUrl& url : data->urls()) {
    // The path's bytes, whatever their encoding.
    const QString path =
        url.isLocalFile()
            ? FromLocal(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())
                            .toStdString())
            : QString();
    struct stat info {};
    if (path.isEmpty() || ::stat(LocalPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      return {};
    }
    files << path;
  }
  return files;
}

// Room for the window manager's frame around the window, which is known
// only once the window is shown.
constexpr int kFrameAllowance = 48;

}  // namespace

TForm1::TForm1(TFileDialogs& dialogs, QWidget* parent) : QMainWindow(parent), Dialogs_(dialogs) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QLatin1String(kProgramTitle));
  CreateControls();
  ShowChannelPairs(0);

  VersionText_ = GetVersionText();
  TimeLabel->clear();
  WavParamsLabel->clear();
  InputFileName_ = QStringLiteral("input.wav");
  Input_.Filename = InputFileName_.toStdString();
  DoneLabel->hide();
  DebugBand_ = static_cast<std::uint32_t>(DebugButtons->checkedId());
  DebugGroup->hide();
  Environment_ =
      ParseRunEnvironment(std::getenv(kArithmeticVariable), std::getenv(kStagesVariable),
                          std::getenv(kWorkersVariable), std::getenv(kTimeSplitVariable));
  Listen->Preview().Engine().SetArithmetic(ArithmeticOf(Environment_));
  if (!Environment_.Warning.empty()) {
    ShowStatus(QStringLiteral("Warning: ") + Text(Environment_.Warning), true);
    DoneLabel->show();
  }
  // A screen shows some 60 pictures a second; a run decodes blocks far
  // faster. Meters, plot, progress and times follow it 30 times a second.
  RunTimer_ = new QTimer(this);
  RunTimer_->setInterval(33);
  connect(RunTimer_, &QTimer::timeout, this, &TForm1::RunTimerTick);

  AboutBox = new TAboutBox(this);
  connect(AboutBox, &TAboutBox::HomepageLinkActivated, this, &TForm1::ShowZorvHomepageClick);
  HelpViewer = new THelpViewer(this);
  connect(HelpViewer, &THelpViewer::ExternalLink, this,
          [this](const QUrl& address) { OpenDocument(address, address.toString(), false); });
  Opener_ = new TDesktopOpener(this);
  setAcceptDrops(true);
  PlaceOnScreen();
  RestoreSettings();
}

void TForm1::PlaceOnScreen() {
  const QScreen* desktop = screen();
  if (desktop == nullptr) {
    resize(kWidth, kHeight);
    return;
  }
  // The design size where it fits; else as much as fits, the panel
  // scrolling. Centred, but never beyond the free area's top left, so that
  // title bar, menu and the first controls are always on the screen.
  const QRect free = desktop->availableGeometry();
  const QSize size(std::min(kWidth, free.width() - kFrameAllowance / 4),
                   std::min(kHeight, free.height() - kFrameAllowance));
  resize(size);
  move(free.left() + std::max(0, (free.width() - size.width()) / 2),
       free.top() + std::max(0, (free.height() - size.height() - kFrameAllowance) / 2));
}

TForm1::~TForm1() {
  // A run still going keeps what it decoded, as a closed window does.
  if (RunThread_.joinable()) {
    StopRun();
    RunThread_.join();
  }
}

TALProgressBar* TForm1::Meter(int channel, int band) const {
  if (channel < 0 || channel > 1 || band < 0 || band > 3) return nullptr;
  return Meters_[static_cast<std::size_t>(channel)][static_cast<std::size_t>(band)];
}

void TForm1::MeterVoltage(int channel, int band, double volts) {
  Limits_.MeterVoltage(channel, band, volts);
}

void TForm1::MeterPosition(int channel, int band, std::int32_t position) {
  const std::lock_guard<std::mutex> hold(MeterLock_);
  MeterEvents_.push_back({channel, band, position});
}

void TForm1::TakeMeterPosition(int channel, int band, std::int32_t position) {
  Recorder_.MeterPosition(channel, band, position);
  if (channel < 0 || channel >= static_cast<int>(kMaxChannels) || band < 0 || band > 3) return;
  LatestMeter_[channel][band] = position;
  // Only the chosen pair reaches the meters.
  const int column = channel - 2 * ShownPair_;
  if (column < 0 || column > 1) return;
  PendingMeter_[column][band] = position;
  MeterPending_[column][band] = true;
}

void TForm1::ShowMeterPositions() {
  std::vector<TMeterEvent> events;
  {
    const std::lock_guard<std::mutex> hold(MeterLock_);
    events.swap(MeterEvents_);
  }
  for (const TMeterEvent& event : events) {
    if (event.Mark) {
      History_.MarkLimit(event.Frame, event.Channel, event.Band, event.Limit);
    } else {
      TakeMeterPosition(event.Channel, event.Band, event.Position);
    }
  }
  for (int channel = 0; channel < 2; ++channel) {
    for (int band = 0; band < 4; ++band) {
      if (!MeterPending_[channel][band]) continue;
      MeterPending_[channel][band] = false;
      Meter(channel, band)->SetPosition(PendingMeter_[channel][band]);
    }
  }
}

void TForm1::ResetMeters() {
  for (const auto& row : Meters_) {
    for (TALProgressBar* meter : row) meter->SetPosition(meter->Min());
  }
  for (auto& channel : LatestMeter_) channel.fill(kMeterMin);
}

void TForm1::LevelBarChange(int position) {
  const double level = position / 10.0;
  UpdateChannelLevels();
  // A run going on takes it from its next block (not a file of the queue
  // with a level of its own).
  if (ActiveRun_ && MainLevelDrivesRun()) ActiveRun_->RequestLevel(level);
}

double TForm1::LevelDb() const {
  return LevelBar->value() / 10.0;
}

void TForm1::DebugGroupClick(int index) {
  DoneLabel->clear();
  DebugBand_ = static_cast<std::uint32_t>(index);
}

void TForm1::OpenDocument(const QUrl& address, const QString& shown, bool offerViewer) {
  const QPointer<TForm1> window(this);
  Opener_->Open(address, [window, shown, offerViewer] {
    if (window.isNull()) return;
    const QString text = (offerViewer ? QStringLiteral("The desktop could not show the help page.\n"
                                                       "Open this file in a web browser:\n")
                                      : QStringLiteral("The desktop could not show this address.\n"
                                                       "Open it in a web browser:\n")) +
                         shown;
    if (window->Dialogs_.ReportOpenFailure(window, text, offerViewer)) window->HelpViewer1Click();
  });
}

void TForm1::Help2Click() {
  const QString page = HelpPagePath(GetProgramFolder());
  if (!QFileInfo::exists(page)) {
    Dialogs_.ShowMessage(this, QStringLiteral("The help page is missing: ") + page);
    return;
  }
  OpenDocument(QUrl::fromLocalFile(page), page, true);
}

void TForm1::HelpViewer1Click() {
  const QString page = HelpPagePath(GetProgramFolder());
  if (!QFileInfo::exists(page)) {
    Dialogs_.ShowMessage(this, QStringLiteral("The help page is missing: ") + page);
    return;
  }
  HelpViewer->ShowPage(page);
}

void TForm1::ShowZorvHomepageClick() {
  const QString address = QLatin1String(kHomepageAddress);
  OpenDocument(QUrl(address), address, false);
}

void TForm1::AboutClick() {
  AboutBox->Version->setText(QStringLiteral("Version ") + VersionText_);
  AboutBox->ShowCentredOn(*this);
}

void TForm1::Exit1Click() {
  close();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!Busy() && !DraggedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QStringList files = DraggedFiles(event->mimeData());
  if (Busy() || files.isEmpty()) return;
  event->acceptProposedAction();
  if (files.size() == 1) {
    OpenInputFile(files.front());
  } else {
    QueueFiles(files);
  }
}

}  // namespace zorv
