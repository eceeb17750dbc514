#include "app/desktop/main_window.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMimeData>
#include <QScreen>
#include <QUrl>
#include <thread>

#include "app/desktop/about_box.h"
#include "app/desktop/file_dialogs.h"
#include "app/desktop/path_label.h"
#include "app/desktop/program_info.h"
#include "widgets/al_progress_bar.h"

namespace zorv {
namespace {

// The single local file that a drag carries, or an empty string.
QString DraggedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  const QList<QUrl> urls = data->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return {};
  const QString path = urls.front().toLocalFile();
  return QFileInfo(path).isFile() ? path : QString();
}

}  // namespace

TForm1::TForm1(TFileDialogs& dialogs, QWidget* parent) : QMainWindow(parent), Dialogs_(dialogs) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QLatin1String(kProgramTitle));
  CreateControls();

  VersionText_ = GetVersionText();
  TimeLabel->clear();
  WavParamsLabel->clear();
  InputFileName_ = QStringLiteral("input.wav");
  // The run owns the reader (its end event already goes to the run), the
  // writer (with its own default name) and the decoder core.
  Run_.Reader().Filename = InputFileName_.toStdString();
  DoneLabel->hide();
  Run_.SetDebugChannel(static_cast<std::uint32_t>(DebugButtons->checkedId()));
  DebugGroup->hide();
  Run_.SetEventPass([this] { RunEventPass(); });
  Run_.SetMeterListener(this);
  // A stereo run decodes its two channels on two cores where there are two.
  Run_.Decoder().SetChannelThreads(std::thread::hardware_concurrency() >= 2);

  AboutBox = new TAboutBox(this);
  setAcceptDrops(true);

  resize(kWidth, kHeight);
  if (const QScreen* desktop = screen()) {
    move(desktop->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));
  }
}

TForm1::~TForm1() = default;

TALProgressBar* TForm1::Meter(int channel, int band) const {
  if (channel < 0 || channel > 1 || band < 0 || band > 3) return nullptr;
  return Meters_[static_cast<std::size_t>(channel)][static_cast<std::size_t>(band)];
}

void TForm1::MeterPosition(int channel, int band, std::int32_t position) {
  if (channel < 0 || channel > 1 || band < 0 || band > 3) return;
  PendingMeter_[channel][band] = position;
  MeterPending_[channel][band] = true;
}

void TForm1::ShowMeterPositions() {
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
}

void TForm1::LevelBarChange(int position) {
  const double level = position / 10.0;
  RefLabel->setText(QLocale().toString(level, 'f', 1) + QStringLiteral(" dB"));
  Run_.Decoder().SetLevel(level);
}

void TForm1::DebugGroupClick(int index) {
  DoneLabel->clear();
  Run_.SetDebugChannel(static_cast<std::uint32_t>(index));
}

void TForm1::OpenDocument(const QString& address, const QString& failureText) {
  if (!QDesktopServices::openUrl(QUrl(address))) Dialogs_.ShowMessage(this, failureText);
}

void TForm1::Help2Click() {
  const QString page = HelpPagePath(GetProgramFolder());
  if (!QFileInfo::exists(page)) {
    Dialogs_.ShowMessage(this, QStringLiteral("The help page is missing: ") + page);
    return;
  }
  OpenDocument(QUrl::fromLocalFile(page).toString(), QStringLiteral("Cannot open: ") + page);
}

void TForm1::ShowZorvHomepageClick() {
  const QString address = QLatin1String(kHomepageAddress);
  OpenDocument(address, QStringLiteral("Cannot open: ") + address);
}

void TForm1::AboutClick() {
  AboutBox->Version->setText(QStringLiteral("Version ") + VersionText_);
  AboutBox->ShowCentredOn(*this);
}

void TForm1::Exit1Click() {
  close();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!Busy() && !DraggedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QString path = DraggedFile(event->mimeData());
  if (Busy() || path.isEmpty()) return;
  event->acceptProposedAction();
  OpenInputFile(path);
}

}  // namespace zorv
