// SPDX-License-Identifier: GPL-3.0-or-later
// The window's geometry: nothing moves when a run starts and ends, and the
// window lies within the screen's free area whatever its size.
#include <QApplication>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <map>

#include "app/desktop/path_label.h"
#include "tests/desktop/window_fixture.h"
#include "widgets/al_progress_bar.h"

namespace zorv::test {
namespace {

const TWavFormat kStereo16{};

// Where every control lies in the window; of the status row's controls,
// whose texts come and go beside them, the rows they take.
std::map<std::string, QRect> Places(const TForm1& form) {
  std::map<std::string, QRect> places;
  const QWidget* controls[] = {form.InputFileButton, form.OutPutFileButton, form.WavParamsLabel,
                               form.Meter(0, 0),     form.Meter(1, 3),      form.LevelBar,
                               form.RefLabel,        form.StartButton,      form.RunProgress,
                               form.DoneLabel,       form.TimeLabel};
  for (const QWidget* control : controls) {
    QRect place(control->mapTo(&form, QPoint(0, 0)), control->size());
    if (control->parentWidget()->objectName() == QLatin1String("StatusRow")) {
      place = QRect(0, place.top(), 1, place.height());
    }
    places[Std(control->objectName())] = place;
  }
  return places;
}

using WindowLayout = WindowTest;

TEST_F(WindowLayout, NothingMovesWhenARunStartsAndEnds) {
  MakeReady(WriteWav("in.wav", kStereo16, 3 * kBlock44), Path("out.wav"));
  QApplication::processEvents();
  const auto before = Places(*Form);
  std::map<std::string, QRect> during;
  QTimer::singleShot(0, Form.get(), [&] {
    QApplication::processEvents();
    during = Places(*Form);
    EXPECT_TRUE(Form->RunProgress->isVisible());
  });
  PressStart();
  QApplication::processEvents();
  EXPECT_EQ(during, before);
  EXPECT_EQ(Places(*Form), before);

  // Choosing again hides the status row; it keeps its room.
  ChooseInput(Path("in.wav"));
  QApplication::processEvents();
  EXPECT_FALSE(Form->RunProgress->isVisible());
  EXPECT_EQ(Places(*Form), before);
}

// A status far wider than the window (a long path in an error) is cut to the
// room it has, whole in its tooltip: the window keeps its width, nothing
// moves, and no scroll bar appears.
TEST_F(WindowLayout, ALongStatusNeverWidensTheWindow) {
  // The window as it opens on a 1280 x 800 screen.
  Form->resize(TForm1::kWidth, 800 - 48);
  MakeReady(WriteWav("in.wav", kStereo16, kBlock44), Path("out.wav"));
  PressStart();
  QApplication::processEvents();
  const int width = Form->width();
  const auto before = Places(*Form);
  auto* scroller = qobject_cast<QScrollArea*>(Form->centralWidget());
  ASSERT_NE(scroller, nullptr);
  ASSERT_EQ(scroller->horizontalScrollBar()->maximum(), 0);

  // The plot saved into a folder that is not there, named by 600 characters.
  QString folder = Path("");
  while (folder.size() < 560) folder += QStringLiteral("/no_such_folder_of_a_reel");
  const QString picture = folder + QStringLiteral("/gains.png");
  Dialogs.PlotAnswers.push_back(picture);
  Form->SavePlot1->trigger();
  QApplication::processEvents();
  const QString status = Form->DoneLabel->text();
  ASSERT_GE(status.size(), 600);
  ASSERT_TRUE(status.startsWith(QStringLiteral("Cannot create: "))) << Std(status);
  EXPECT_EQ(Form->DoneLabel->toolTip(), status) << "the whole status is its tooltip";
  EXPECT_EQ(Form->width(), width);
  EXPECT_EQ(scroller->horizontalScrollBar()->maximum(), 0);
  EXPECT_EQ(Places(*Form), before);
}

TEST_F(WindowLayout, WindowLiesWithinTheScreensFreeArea) {
  const QRect free = Form->screen()->availableGeometry();
  const QRect window = Form->frameGeometry();
  EXPECT_TRUE(free.contains(window.topLeft())) << window.x() << "," << window.y();
  EXPECT_LE(Form->width(), free.width());
  EXPECT_LE(Form->height(), free.height());
  EXPECT_LE(Form->width(), TForm1::kWidth);
  EXPECT_LE(Form->height(), TForm1::kHeight);
  // Smaller than the panel: the panel scrolls, and every control is reachable.
  auto* scroller = qobject_cast<QScrollArea*>(Form->centralWidget());
  ASSERT_NE(scroller, nullptr);
  if (Form->height() < TForm1::kHeight) {
    EXPECT_GT(scroller->verticalScrollBar()->maximum(), 0);
    scroller->ensureWidgetVisible(Form->StartButton);
    EXPECT_TRUE(scroller->viewport()->rect().contains(
        Form->StartButton->mapTo(scroller->viewport(), Form->StartButton->rect().center())));
  }
}

}  // namespace
}  // namespace zorv::test
