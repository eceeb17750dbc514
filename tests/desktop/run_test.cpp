// SPDX-License-Identifier: GPL-3.0-or-later
// Runs driven through the window: the output against the command-line
// decoder and a run of its own, Abort, closing, the level during a run, mono
// input, the debug refusal, a full disk, and the enabling rules step by step.
#include <sys/resource.h>

#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>
#include <cmath>
#include <csignal>
#include <cstring>
#include <thread>

#include "tests/desktop/window_fixture.h"
#include "widgets/al_progress_bar.h"

namespace zorv::test {
namespace {

const TWavFormat kStereo16{};
const TWavFormat kMono16{1, 1, 44100, 16};
constexpr std::uint32_t kBlockBytes44 = kBlock44 * 4;  // 16-bit stereo
constexpr auto kNoFile = "no file selected";

using WindowRun = WindowTest;

// The data bytes of a canonical file whose header states exactly what it holds.
TBytes CheckedData(const QString& path) {
  const TBytes file = ReadFile(Std(path));
  const std::optional<TWavImage> image = ParseCanonical(file);
  if (!image) {
    ADD_FAILURE() << "not a canonical WAV file: " << Std(path);
    return {};
  }
  EXPECT_EQ(image->DataSize, image->Data.size());
  EXPECT_EQ(image->RiffSize, file.size() - 8);
  return image->Data;
}

// The run's end: status and times shown, the output closed, and the same
// input and output ready for the next run.
void ExpectEnded(TForm1& form, const std::string& status, const char* decoded, bool error = false) {
  EXPECT_EQ(Std(form.DoneLabel->text()), status);
  EXPECT_EQ(IsRed(form.DoneLabel), error);
  EXPECT_TRUE(form.DoneLabel->isVisible());
  EXPECT_TRUE(
      QRegularExpression(QStringLiteral("^elapsed time: \\d+ msec, %1 decoded$").arg(decoded))
          .match(form.TimeLabel->text())
          .hasMatch())
      << Std(form.TimeLabel->text());
  EXPECT_EQ(Std(form.StartButton->text()), "Start");
  EXPECT_FALSE(IsRed(form.StartButton));
  EXPECT_TRUE(form.InputReader().IsOpen());
  EXPECT_FALSE(form.RunActive());
  EXPECT_EQ(Enabling(form), (TEnabling{true, true, true, true, true, true, true, true}));
}

TEST_F(WindowRun, FullRunEqualsTheCommandLineDecoder) {
  const QString input = WriteWav("in.wav", kStereo16, 66150);
  const QString output = Path("window.wav");
  MakeReady(input, output);
  PressStart();
  ExpectEnded(*Form, "Done", "0:00:02");
  EXPECT_EQ(Form->RunProgress->value(), Form->RunProgress->maximum());

  const QString reference = Path("cli.wav");
  QProcess cli;
  cli.start(QStringLiteral(ZORV_DECODE_PATH), {"--exact", "-q", "-o", reference, input});
  ASSERT_TRUE(cli.waitForFinished(120000));
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  EXPECT_EQ(ReadFile(Std(output)), ReadFile(Std(reference)));
  EXPECT_EQ(CheckedData(output).size(), 66150u * 4);
}

// A FLAC input chosen in the window and a FLAC output: the command line's
// FLAC file, byte for byte.
TEST_F(WindowRun, AFlacInputDecodesIntoTheCommandLinesFlacFile) {
  const QString input = PackFlac(WriteWav("in.wav", kStereo16, 22050), "in.flac");
  const QString output = Path("window.flac");
  MakeReady(input, output);
  PressStart();
  ExpectEnded(*Form, "Done", "0:00:01");

  const QString reference = Path("cli.flac");
  QProcess cli;
  cli.start(QStringLiteral(ZORV_DECODE_PATH), {"--exact", "-q", "-o", reference, input});
  ASSERT_TRUE(cli.waitForFinished(120000));
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  const TBytes got = ReadFile(Std(output));
  ASSERT_GE(got.size(), 4u);
  EXPECT_EQ(std::string(got.begin(), got.begin() + 4), "fLaC");
  EXPECT_EQ(got, ReadFile(Std(reference)));
}

// NaN, infinite and absurdly loud float samples: decoded as silence or +60
// dBFS, as the command line decodes them, and said in the status.
TEST_F(WindowRun, NonFiniteAndTooLoudInputSamplesAreToldInTheStatus) {
  const TWavFormat format{3, 2, 44100, 32};
  TBytes data = SignalBytes(format, 66150, 4);
  const auto poke = [&](std::uint32_t frame, int channel, float value) {
    std::memcpy(&data[(std::size_t{frame} * 2 + channel) * 4], &value, 4);
  };
  poke(4410, 0, std::nanf(""));
  poke(4410, 1, -INFINITY);
  poke(8820, 1, 3.4e38F);
  const QString input = Path("in.wav");
  WriteFile(Std(input), WavBytes(format, data));
  const QString output = Path("window.wav");
  MakeReady(input, output);
  PressStart();
  ExpectEnded(*Form,
              "Done; 2 non-finite input samples decoded as silence, first at 0:00.100; 1 input "
              "sample above +60 dBFS clamped to +60 dBFS, first at 0:00.200",
              "0:00:02");
  EXPECT_EQ(ReadFile(Std(output)), DirectDecode(Std(input), Dir.File("direct.wav")));
}

// A too-loud input clips, and an input shorter than its header: the window
// says the warnings the command line says for the same file, in the status
// and in the record.
TEST_F(WindowRun, ClippingAndAShortInputAreSaidAsTheCommandLineSaysThem) {
  TBytes loud = SignalBytes(kStereo16, 3 * kBlock44 + 17, 4);
  for (std::size_t k = 0; k + 1 < loud.size(); k += 2) {
    const auto v = static_cast<std::int16_t>(loud[k] | (loud[k + 1] << 8));
    const auto louder = static_cast<std::int16_t>(std::clamp(v * 6, -32768, 32767));
    loud[k] = static_cast<std::uint8_t>(louder);
    loud[k + 1] = static_cast<std::uint8_t>(louder >> 8);
  }
  // The header states a second more than the file holds.
  const QString input = Path("loud.wav");
  WriteFile(Std(input),
            WavBytes(kStereo16, loud, static_cast<std::uint32_t>(loud.size() + 44100 * 4)));
  QProcess cli;
  cli.start(QStringLiteral(ZORV_DECODE_PATH), {"-q", "-o", Path("cli.wav"), input});
  ASSERT_TRUE(cli.waitForFinished(120000));
  ASSERT_EQ(cli.exitCode(), 0);
  // "IN -> OUT", then the warnings, one a line.
  QStringList said = QString::fromLocal8Bit(cli.readAllStandardError()).split(QLatin1Char('\n'));
  said.removeAll(QString());
  ASSERT_EQ(said.size(), 3) << Std(said.join(QLatin1Char('|')));
  EXPECT_TRUE(said[1].startsWith(QStringLiteral("clipped "))) << Std(said[1]);
  EXPECT_TRUE(said[2].startsWith(QStringLiteral("input shorter than its header: ")))
      << Std(said[2]);

  MakeReady(input, Path("window.wav"));
  PressStart();
  EXPECT_EQ(Std(Form->DoneLabel->text()),
            Std(QStringLiteral("Done; ") + said[1] + QStringLiteral("; ") + said[2]));
  EXPECT_FALSE(IsRed(Form->DoneLabel)) << "a warning, not a failure";
  const QString record = Form->RecordPanel->Text();
  for (const QString& line : {said[1], said[2]}) {
    EXPECT_TRUE(QRegularExpression(QStringLiteral("Warning: +") + QRegularExpression::escape(line))
                    .match(record)
                    .hasMatch())
        << Std(record);
  }
  EXPECT_EQ(ReadFile(Dir.File("window.wav")), ReadFile(Dir.File("cli.wav")));
}

// An arithmetic the environment names that the program does not know: the
// window says it as the command line does, and decodes with the fastest.
TEST_F(WindowRun, AnUnknownArithmeticInTheEnvironmentIsSaid) {
  const QString input = WriteWav("in.wav", kStereo16, kBlock44);
  QProcess cli;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("ZORV_ARITHMETIC"), QStringLiteral("avx3"));
  cli.setProcessEnvironment(environment);
  cli.start(QStringLiteral(ZORV_DECODE_PATH), {"-q", "-o", Path("cli.wav"), input});
  ASSERT_TRUE(cli.waitForFinished(120000));
  ASSERT_EQ(cli.exitCode(), 0);
  const QString said = QString::fromLocal8Bit(cli.readAllStandardError()).section('\n', 0, 0);
  const QString prefix = QStringLiteral("zorv-decode: warning: ");
  ASSERT_TRUE(said.startsWith(prefix + QStringLiteral("ZORV_ARITHMETIC=avx3"))) << Std(said);

  ::setenv("ZORV_ARITHMETIC", "avx3", 1);
  TForm1 window(Dialogs);
  ::unsetenv("ZORV_ARITHMETIC");
  EXPECT_EQ(Std(window.DoneLabel->text()),
            Std(QStringLiteral("Warning: ") + said.mid(prefix.size())));
  EXPECT_TRUE(IsRed(window.DoneLabel));
  EXPECT_FALSE(Form->DoneLabel->isVisibleTo(Form.get())) << "nothing to say without it";
}

TEST_F(WindowRun, OutputEqualsADirectRunInEveryLayout) {
  const TWavFormat formats[] = {{1, 1, 48000, 16}, {1, 2, 44100, 24},  {3, 2, 96000, 32},
                                {1, 1, 44100, 32}, {1, 2, 192000, 24}, {1, 1, 176400, 16},
                                {3, 2, 88200, 32}, {1, 2, 32000, 16}};
  int n = 0;
  for (const TWavFormat& format : formats) {
    SCOPED_TRACE(format.Channels * 1000 + format.Bits);
    Form = std::make_unique<TForm1>(Dialogs);  // every run the first of its program
    const std::string name = std::to_string(++n);
    const QString input = WriteWav("in" + name + ".wav", format, format.SampleRate / 4);
    MakeReady(input, Path("window" + name + ".wav"));
    PressStart();
    EXPECT_EQ(Std(Form->DoneLabel->text()), "Done");
    EXPECT_EQ(ReadFile(Dir.File("window" + name + ".wav")),
              DirectDecode(Std(input), Dir.File("direct" + name + ".wav")));
  }
}

TEST_F(WindowRun, AbortKeepsWhatWasDecodedUnderThePartialName) {
  const QString input = WriteWav("in.wav", kStereo16, 5 * kBlock44);
  MakeReady(input, Path("out.wav"));
  AfterBlock(0, [this] {
    // While the run goes on: Abort in red, no file selection, progress shown.
    EXPECT_EQ(Std(Form->StartButton->text()), "Abort");
    EXPECT_TRUE(IsRed(Form->StartButton));
    EXPECT_EQ(Std(Form->DoneLabel->text()), "Working");
    EXPECT_EQ(Std(Form->TimeLabel->text()), "elapsed 0:00");
    EXPECT_EQ(Form->RunProgress->value(), Form->RunProgress->maximum() / 5);
    EXPECT_EQ(Enabling(*Form), (TEnabling{true, false, false, true, true, false, false, true}));
    Form->FileOpenInExecute();  // as a shortcut might: ignored
    Form->StartButton->click();
  });
  PressStart();
  ExpectEnded(*Form, Aborted("out"), "0:00:00");
  EXPECT_EQ(Form->RunProgress->value(), Form->RunProgress->maximum() / 5);
  EXPECT_FALSE(QFileInfo::exists(Path("out.wav"))) << "nothing under the final name";
  // The output line names the output the next Start writes; the record says
  // where the part is.
  EXPECT_EQ(Form->OutputFileLabel->text(), Path("out.wav"));
  EXPECT_TRUE(Form->RecordPanel->Text().contains(Path("out.partial.wav")));
  const TBytes full = DirectDecode(Std(input), Dir.File("full.wav"));
  const TBytes data = CheckedData(Path("out.partial.wav"));
  ASSERT_EQ(data.size(), kBlockBytes44);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), full.begin() + 44));
}

// A second trial run aborted: the first run's complete result stays.
TEST_F(WindowRun, AbortedTrialRunLeavesTheEarlierResultAlone) {
  const QString input = WriteWav("in.wav", kStereo16, 5 * kBlock44);
  const QString output = Path("out.wav");
  MakeReady(input, output);
  PressStart();
  ASSERT_EQ(Std(Form->DoneLabel->text()), "Done");
  const TBytes first = ReadFile(Std(output));
  Dialogs.OverwriteAnswers.push_back(true);
  Form->LevelBar->setValue(-140);
  AfterBlock(1, [this] { Form->StartButton->click(); });
  PressStart();
  EXPECT_EQ(Std(Form->DoneLabel->text()), Aborted("out"));
  EXPECT_EQ(ReadFile(Std(output)), first);
  EXPECT_EQ(CheckedData(Path("out.partial.wav")).size(), 2 * kBlockBytes44);
}

// Closing the window during a run asks first; Cancel lets the run go on,
// Stop ends it and keeps what was decoded.
TEST_F(WindowRun, ClosingDuringARunAsksAndKeepsWhatWasDecoded) {
  for (const bool viaMenu : {false, true}) {
    SCOPED_TRACE(viaMenu ? "Exit" : "close");
    Form = std::make_unique<TForm1>(Dialogs);
    Form->show();
    const QString input = WriteWav("in.wav", kStereo16, 5 * kBlock44);
    const QString name = viaMenu ? "exit" : "close";
    const QString output = Path(Std(name) + ".wav");
    MakeReady(input, output);
    Dialogs.StopAnswers = {false, true};
    const auto closeWindow = [&] {
      if (viaMenu)
        Form->Exit1->trigger();
      else
        Form->close();
    };
    AfterBlock(0, [&] {
      closeWindow();
      EXPECT_TRUE(Form->isVisible()) << "Cancel keeps the window";
      AfterBlock(1, closeWindow);
    });
    PressStart();
    EXPECT_EQ(Dialogs.Questions,
              QStringList({"A decode is running. Stop it and keep what was decoded?",
                           "A decode is running. Stop it and keep what was decoded?"}));
    Dialogs.Questions.clear();
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(Std(Form->DoneLabel->text()), Aborted(Std(name)));
    EXPECT_FALSE(QFileInfo::exists(output));
    EXPECT_EQ(CheckedData(Path(Std(name) + ".partial.wav")).size(), 2 * kBlockBytes44);
  }
}

// A run that ends while the close question is up takes the question with
// it: the window closes, the output complete. (The question stayed, saying
// a decode was running, and Stop then did not close.)
TEST_F(WindowRun, TheCloseQuestionFollowsTheRunsEnd) {
  const QString output = Path("out.wav");
  MakeReady(WriteWav("in.wav", kStereo16, 600 * kBlock44), output);
  Dialogs.StopAnswers = {true};
  Dialogs.WhileAskingStop = [this] {
    // The run goes on to its end meanwhile.
    while (Form->RunActive()) QApplication::processEvents(QEventLoop::AllEvents, 20);
  };
  Form->StartButton->click();
  ASSERT_TRUE(Form->RunActive());
  Form->close();
  EXPECT_EQ(Dialogs.Questions.size(), 1);
  EXPECT_FALSE(Form->isVisible()) << "the window closed as asked";
  EXPECT_TRUE(Form->DoneLabel->text().startsWith(QStringLiteral("Done"))) << "nothing was stopped";
  EXPECT_EQ(CheckedData(output).size(), 600u * kBlockBytes44);
  EXPECT_FALSE(QFileInfo::exists(Path("out.partial.wav")));
}

TEST_F(WindowRun, LevelChangeDuringARunAppliesFromTheNextBlock) {
  const QString input = WriteWav("in.wav", kStereo16, 4 * kBlock44);
  MakeReady(input, Path("out.wav"));
  AfterBlock(0, [this] { Form->LevelBar->setValue(-200); });
  PressStart();
  EXPECT_EQ(Std(Form->RefLabel->text()), "-20.0 dB");
  EXPECT_EQ(Std(Form->DoneLabel->text()),
            "Done (reference level -10.0 dB; -20.0 dB from 0:00:00.1)");
  const TBytes changed =
      DirectDecode(Std(input), Dir.File("changed.wav"), [](TDecodeRun& run, int block) {
        if (block == 0) run.RequestLevel(-20.0);
      });
  EXPECT_EQ(ReadFile(Dir.File("out.wav")), changed);
  EXPECT_NE(changed, DirectDecode(Std(input), Dir.File("unchanged.wav")));
}

// A file long enough to be decoded in segments along time (160 s of mono:
// on two cores, rounds of 30 s segments), the level moved while it decodes:
// the decode of one chain, changed after the same block.
TEST_F(WindowRun, ALongFileDecodedInSegmentsEqualsOneChainWithALevelChange) {
  const QString input = WriteWav("long.wav", kMono16, 1600 * kBlock44);
  MakeReady(input, Path("out.wav"));
  AfterBlock(700, [this] { Form->LevelBar->setValue(-140); });
  PressStart();
  EXPECT_EQ(Std(Form->DoneLabel->text()),
            "Done (reference level -10.0 dB; -14.0 dB from 0:01:10.1)");
  const TBytes changed =
      DirectDecode(Std(input), Dir.File("changed.wav"), [](TDecodeRun& run, int block) {
        if (block == 700) run.RequestLevel(-14.0);
      });
  EXPECT_EQ(ReadFile(Dir.File("out.wav")), changed);
  // More cores take more segments a round: 160 s are then too short to split.
  if (std::thread::hardware_concurrency() == 2) {
    ASSERT_TRUE(Form->LastResult().has_value());
    EXPECT_GE(Form->LastResult()->TimeSplit.Segments, 2);
  }
}

TEST_F(WindowRun, MonoRunKeepsChannel2MetersDownWithoutTextUntilAStereoRun) {
  const auto channel2 = [this](auto check) {
    for (int band = 0; band < 4; ++band) check(*Form->Meter(1, band));
  };
  MakeReady(WriteWav("mono.wav", kMono16, 2 * kBlock44), Path("mono_dec.wav"));
  Form->Meter(1, 2)->SetPosition(40);
  AfterBlock(0, [&] {
    channel2([](const TALProgressBar& m) {
      EXPECT_EQ(m.Position(), -350);
      EXPECT_FALSE(m.ShowPosText());
    });
    EXPECT_NE(Form->Meter(0, 1)->Position(), -350) << "the decoder feeds channel 1";
  });
  PressStart();
  channel2([](const TALProgressBar& m) { EXPECT_FALSE(m.ShowPosText()); });

  ChooseInput(WriteWav("stereo.wav", kStereo16, kBlock44));
  channel2([](const TALProgressBar& m) { EXPECT_EQ(m.Position(), -350); });
  ChooseOutput(Path("stereo_dec.wav"));
  PressStart();
  channel2([](const TALProgressBar& m) { EXPECT_TRUE(m.ShowPosText()); });
  EXPECT_NE(Form->Meter(1, 1)->Position(), -350);
}

TEST_F(WindowRun, DebugOutputOfAMonoInputIsRefused) {
  const QString output = Path("out.wav");
  MakeReady(WriteWav("mono.wav", kMono16, kBlock44), output);
  Form->DoneLabel->setText(QStringLiteral("old"));
  Form->DebugButtons->button(1)->click();
  EXPECT_TRUE(Form->DoneLabel->text().isEmpty());
  PressStart();
  EXPECT_EQ(Dialogs.Messages,
            QStringList{"Control signal debug output in (R) needs 2-ch stereo input file"});
  EXPECT_FALSE(Form->RunActive());
  EXPECT_EQ(Std(Form->StartButton->text()), "Start");
  EXPECT_TRUE(Form->StartButton->isEnabled());
  EXPECT_FALSE(QFileInfo::exists(output)) << "a refused run creates no output";

  Form->DebugButtons->button(0)->click();
  PressStart();
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Done");
}

// The output's file system takes only part of the data: the run stops at the
// write that failed, says so in red with the system's reason, and leaves
// nothing: neither under the final name nor a temporary file. The limit is
// the process's file size limit, as a full disk would be for this one file.
TEST_F(WindowRun, WriteFailureSaysWhyAndLeavesNothing) {
  const QString input = WriteWav("in.wav", kStereo16, 5 * kBlock44);
  const QString output = Path("out.wav");
  MakeReady(input, output);
  constexpr std::uint32_t kTaken = 2 * kBlockBytes44 + 1000;
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = saved;
  limit.rlim_cur = 44 + kTaken;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  PressStart();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousSignal);

  ExpectEnded(*Form, "Error: could not write the output file: File too large", "0:00:0\\d", true);
  ASSERT_TRUE(Form->LastResult().has_value());
  EXPECT_EQ(Form->LastResult()->Status, TRunStatus::WriteError);
  EXPECT_FALSE(Form->LastResult()->Kept.has_value());
  EXPECT_EQ(QDir(Path("")).entryList(QDir::Files), QStringList{"in.wav"});

  // The next start clears the error's colour.
  AfterBlock(0, [this] {
    EXPECT_EQ(Std(Form->DoneLabel->text()), "Working");
    EXPECT_FALSE(IsRed(Form->DoneLabel));
  });
  PressStart();
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Done");
}

TEST_F(WindowRun, EnablingFollowsEachStep) {
  const QString input = WriteWav("in.wav", kStereo16, kBlock44);
  const QString output = Path("out.wav");
  const auto expect = [this](const char* step, TEnabling e) {
    EXPECT_EQ(Enabling(*Form), e) << step;
  };
  EXPECT_EQ(Std(Form->InputFileLabel->text()), kNoFile);
  EXPECT_EQ(Std(Form->OutputFileLabel->text()), kNoFile);
  EXPECT_FALSE(Form->DoneLabel->isVisible());
  expect("start-up", {false, false, false, true, true, true, true, true});
  ChooseInput(input);
  // The output proposed beside the input: Start can go at once.
  expect("input", {true, true, true, true, true, true, true, true});
  EXPECT_EQ(Form->OutputFileName(), Path("in_dec.wav"));
  ChooseOutput(output);
  expect("output", {true, true, true, true, true, true, true, true});
  ChooseOutput(std::nullopt);
  expect("output cancelled", {false, true, true, true, true, true, true, true});
  EXPECT_EQ(Form->OutputFileName(), output);
  ChooseOutput(output);
  expect("output again", {true, true, true, true, true, true, true, true});
  PressStart();
  expect("run ended", {true, true, true, true, true, true, true, true});
  ChooseInput(WriteWav("other.wav", kStereo16, kBlock44));
  expect("another input after the run", {true, true, true, true, true, true, true, true});
  EXPECT_EQ(Form->OutputFileName(), Path("other_dec.wav"));
  ChooseOutput(output, true);
  expect("output after the run", {true, true, true, true, true, true, true, true});
}

// Runs in one window decode the same bytes as zorv-decode at their level,
// whatever ran before: another file, another level, an aborted run; also
// with "Continue from the previous file's end", which applies to the rows
// of a queue run only.
TEST_F(WindowRun, EveryRunEqualsTheCommandLineWhateverRanBefore) {
  const QString a = WriteWav("a.wav", kStereo16, 3 * kBlock44);
  const QString b = WriteWav("b.wav", kMono16, 2 * kBlock44 + 1234);
  const auto cli = [this](const QStringList& args) {
    QProcess run;
    run.start(QStringLiteral(ZORV_DECODE_PATH), QStringList{"-q", "-f"} + args);
    EXPECT_TRUE(run.waitForFinished(120000));
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
  };
  cli({"-l", "-14.0", "-o", Path("a14.wav"), a});
  cli({"-l", "-7.5", "-o", Path("b75.wav"), b});
  cli({"-l", "-14.0", "-o", Path("b14.wav"), b});

  MakeReady(a, Path("w1.wav"));
  Form->LevelBar->setValue(-140);
  PressStart();
  EXPECT_EQ(ReadFile(Dir.File("w1.wav")), ReadFile(Dir.File("a14.wav")));

  MakeReady(b, Path("w2.wav"));
  Form->LevelBar->setValue(-75);
  AfterBlock(0, [this] { Form->StartButton->click(); });  // aborted
  PressStart();
  ASSERT_EQ(Std(Form->DoneLabel->text()), Aborted("w2"));
  PressStart();
  EXPECT_EQ(ReadFile(Dir.File("w2.wav")), ReadFile(Dir.File("b75.wav")));

  Form->LevelBar->setValue(-140);
  ChooseOutput(Path("w3.wav"));
  PressStart();
  EXPECT_EQ(ReadFile(Dir.File("w3.wav")), ReadFile(Dir.File("b14.wav")));

  // Runs of their own never go on from the run before.
  Form->ContinueFromPrevious1->setChecked(true);
  MakeReady(a, Path("c1.wav"));
  PressStart();
  MakeReady(b, Path("c2.wav"));
  PressStart();
  EXPECT_EQ(ReadFile(Dir.File("c1.wav")), ReadFile(Dir.File("a14.wav")));
  EXPECT_EQ(ReadFile(Dir.File("c2.wav")), ReadFile(Dir.File("b14.wav")));
}

// An existing NAME.partial.wav that this window did not keep is another's:
// an aborted run keeps its part as NAME.partial-2.wav and says so, and the
// other file stays; the window's own partial file is replaced by the next
// aborted run of the same output.
TEST_F(WindowRun, AnAbortKeepsAnExistingPartialFile) {
  const QString in = WriteWav("in.wav", kStereo16, 20 * kBlock44);
  WriteBytes("w.partial.wav", TBytes{'m', 'i', 'n', 'e'});
  MakeReady(in, Path("w.wav"));
  AfterBlock(1, [this] { Form->StartButton->click(); });
  PressStart();
  EXPECT_NE(
      Std(Form->DoneLabel->text()).find("what was decoded is in " + Dir.File("w.partial-2.wav")),
      std::string::npos)
      << Std(Form->DoneLabel->text());
  EXPECT_EQ(ReadFile(Dir.File("w.partial.wav")), (TBytes{'m', 'i', 'n', 'e'}));
  const auto image = ParseCanonical(ReadFile(Dir.File("w.partial-2.wav")));
  ASSERT_TRUE(image);
  EXPECT_GE(image->DataSize, 2u * kBlock44 * 4);

  MakeReady(in, Path("v.wav"));
  for (int run = 0; run < 2; ++run) {
    AfterBlock(run, [this] { Form->StartButton->click(); });
    PressStart();
    EXPECT_EQ(Std(Form->DoneLabel->text()), Aborted("v")) << run;
  }
  const auto second = ParseCanonical(ReadFile(Dir.File("v.partial.wav")));
  ASSERT_TRUE(second);
  EXPECT_GE(second->DataSize, 2u * kBlock44 * 4) << "the second run's part";
  EXPECT_FALSE(QFileInfo::exists(Path("v.partial-2.wav")));
}

}  // namespace
}  // namespace zorv::test
