// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing the input file: refusals, the parameters line, what happens to the
// output chosen before, the cancelled dialog and a dropped file.
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include "app/desktop/text_conversion.h"
#include "tests/desktop/window_fixture.h"

namespace zorv::test {
namespace {

const TWavFormat kStereo16{};

TBytes Patched(TBytes bytes, std::size_t offset, std::string_view text) {
  std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
  return bytes;
}

TBytes Chunks(std::initializer_list<std::string_view> parts) {
  TBytes bytes;
  for (const std::string_view part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
  return bytes;
}

// The RIFF size made to cover every byte.
TBytes Sized(TBytes bytes) {
  const auto riff = static_cast<std::uint32_t>(bytes.size() - 8);
  for (std::size_t i = 0; i < 4; ++i) bytes[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
  return bytes;
}

using WindowInput = WindowTest;

// Every refusal, for an input chosen again under the same name with an output
// chosen: the red message, no parameters, Start disabled, the reader closed,
// the output still chosen and not created.
TEST_F(WindowInput, RefusalsAreShownInRedAndDisableStart) {
  const TBytes good = WavBytes(kStereo16, SignalBytes(kStereo16, 1000));
  TBytes noData(good.begin(), good.begin() + 36);
  noData[4] = 28;  // RIFF size: "WAVE" and the fmt chunk
  noData[5] = noData[6] = noData[7] = 0;
  const std::string_view u32_4("\x04\0\0\0", 4);
  const std::string_view u32_16("\x10\0\0\0", 4);
  const struct {
    const char* Name;
    std::optional<TBytes> Bytes;  // nullopt: no file
    const char* Message;
    const char* Reason = "";  // the system's, after the path
    bool Folder = false;      // a folder of that name
  } cases[] = {
      {"missing", std::nullopt, "Cannot open: ", ": No such file or directory"},
      {"a folder", std::nullopt, "Cannot open: ", ": Is a directory", true},
      {"RIFX", Patched(good, 0, "RIFX"), "No RIFF File: "},
      {"WAVX", Patched(good, 8, "WAVX"), "No WAV File: "},
      {"data only", Chunks({"RIFF", u32_16, "WAVE", "data", u32_4, "abcd"}),
       "No fmt chunk in WAV File: "},
      {"fmt only", noData, "No data chunk in WAV File: "},
      {"64-bit float", WavBytes({3, 2, 44100, 64}, TBytes(1600)), "Not supported audio format: "},
      {"8-bit", WavBytes({1, 2, 44100, 8}, TBytes(400)), "Not supported audio format: "},
      {"65 channels at 22050 Hz", WavBytes({1, 65, 22050, 16}, TBytes(1300)),
       "Not supported number of audio channels: "},
      {"0 channels", WavBytes({1, 0, 44100, 16, 4}, TBytes(400)),
       "Not supported number of audio channels: "},
      {"22050 Hz", WavBytes({1, 2, 22050, 16}, TBytes(400)), "Not supported sampling rate: "},
      {"two data chunks",
       Sized(Chunks({std::string_view(reinterpret_cast<const char*>(good.data()), good.size()),
                     "data", u32_4, "abcd"})),
       "Unusable WAV File (two data chunks): "},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const QString input = WriteBytes("in.wav", good);
    const QString output = Path("out" + std::to_string(++n) + ".wav");
    MakeReady(input, output);
    if (c.Bytes) {
      WriteBytes("in.wav", *c.Bytes);
    } else {
      QFile::remove(input);
      if (c.Folder) QDir().mkdir(input);
    }
    ChooseInput(input);
    if (c.Folder) QDir().rmdir(input);
    EXPECT_EQ(Std(Form->InputFileLabel->text()), c.Message + Std(input) + c.Reason);
    EXPECT_TRUE(IsRed(Form->InputFileLabel));
    // A format refused says what was found and what is accepted, under the
    // file's line.
    if (std::string_view(c.Message).starts_with("Not supported")) {
      EXPECT_TRUE(Form->WavParamsLabel->text().startsWith(QStringLiteral("found ")))
          << Std(Form->WavParamsLabel->text());
      EXPECT_TRUE(IsRed(Form->WavParamsLabel));
    } else {
      EXPECT_TRUE(Form->WavParamsLabel->text().isEmpty());
    }
    if (std::string_view(c.Name) == "22050 Hz") {
      EXPECT_TRUE(
          Form->WavParamsLabel->text().startsWith(QStringLiteral("found 22050 Hz; accepted: ")))
          << Std(Form->WavParamsLabel->text());
    }
    EXPECT_FALSE(Form->StartButton->isEnabled());
    EXPECT_FALSE(Form->InputReader().IsOpen());
    EXPECT_EQ(Form->OutputFileName(), output);
    EXPECT_EQ(Form->OutputFileLabel->text(), output);
    EXPECT_FALSE(QFileInfo::exists(output));
  }
}

TEST_F(WindowInput, AcceptedFormatsAreDescribed) {
  TWavFormat extensible24{1, 2, 48000, 24};
  extensible24.Extensible = true;
  const struct {
    TWavFormat Format;
    std::uint32_t Frames;
    std::optional<std::uint32_t> Declared;  // data bytes the header claims
    const char* Line;
  } cases[] = {
      {kStereo16,
       500,
       {},
       "fs = 44100  ch = 2   16 bit/sample  total 4 byte/sample  integer  duration 0:00:00"},
      {{1, 1, 48000, 32},
       48000 * 5 / 2 - 1,
       {},
       "fs = 48000  ch = 1   32 bit/sample  total 4 byte/sample  integer  duration 0:00:02"},
      {{3, 2, 96000, 32},
       96000 * 5 / 2,
       {},
       "fs = 96000  ch = 2   32 bit/sample  total 8 byte/sample  IEEE float  duration 0:00:03"},
      {{1, 2, 192000, 24},
       192000 * 3 / 2,
       {},
       "fs = 192000  ch = 2   24 bit/sample  total 6 byte/sample  integer  duration 0:00:02"},
      {{1, 1, 32000, 16},
       32000,
       {},
       "fs = 32000  ch = 1   16 bit/sample  total 2 byte/sample  integer  duration 0:00:01"},
      {extensible24,
       500,
       {},
       "fs = 48000  ch = 2   24 bit/sample  total 6 byte/sample  integer  duration 0:00:00"},
      // The time of what the file holds, not of what its header claims.
      {{1, 1, 44100, 16},
       44100 * 2,
       44100 * 2 * 3600,
       "fs = 44100  ch = 1   16 bit/sample  total 2 byte/sample  integer  duration 0:00:02"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Line);
    const QString input =
        WriteBytes("in" + std::to_string(++n) + ".wav",
                   WavBytes(c.Format, SignalBytes(c.Format, c.Frames), c.Declared));
    ChooseInput(input);
    EXPECT_EQ(Std(Form->WavParamsLabel->text()), c.Line);
    EXPECT_EQ(Form->InputFileLabel->text(), input);
    EXPECT_FALSE(IsRed(Form->InputFileLabel));
    EXPECT_TRUE(Form->InputReader().IsOpen());
    EXPECT_TRUE(Form->OutPutFileButton->isEnabled());
    EXPECT_TRUE(Form->Save1->isEnabled());
  }
}

// The parameters line names the chunks an output will carry; the menu's
// canonical header item leaves them out of the line and of the output.
TEST_F(WindowInput, ParametersLineNamesTheMetadataKeptUnlessTheHeaderIsCanonical) {
  const TBytes plain = WavBytes(kStereo16, SignalBytes(kStereo16, 3000));
  TBytes bwf(plain.begin(), plain.begin() + 36);
  const TBytes bext = Chunks({"bext", std::string_view("\x5a\x02\0\0", 4)});
  bwf.insert(bwf.end(), bext.begin(), bext.end());
  bwf.insert(bwf.end(), 602, 0);
  const TBytes list = Chunks({"LIST", std::string_view("\x04\0\0\0", 4), "INFO"});
  bwf.insert(bwf.end(), list.begin(), list.end());
  bwf.insert(bwf.end(), plain.begin() + 36, plain.end());
  const QString input = WriteBytes("bwf.wav", Sized(bwf));
  const std::string line =
      "fs = 44100  ch = 2   16 bit/sample  total 4 byte/sample  integer  duration 0:00:00";

  ASSERT_TRUE(Form->CanonicalHeader1->isCheckable());
  EXPECT_FALSE(Form->CanonicalHeader1->isChecked());
  MakeReady(input, Path("kept.wav"));
  EXPECT_EQ(Std(Form->WavParamsLabel->text()), line + "  metadata: bext, LIST");
  PressStart();
  const auto kept = ParseChunks(ReadFile(Std(Path("kept.wav"))));
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->Ids(), (std::vector<std::string>{"fmt ", "bext", "LIST", "data"}));
  const auto direct = ParseChunks(DirectDecode(Std(input), Dir.File("direct.wav")));
  ASSERT_TRUE(direct);
  EXPECT_EQ(kept->Find("data")->Body, direct->Find("data")->Body);

  Form->CanonicalHeader1->trigger();
  EXPECT_TRUE(Form->CanonicalHeader1->isChecked());
  MakeReady(input, Path("canonical.wav"));
  EXPECT_EQ(Std(Form->WavParamsLabel->text()), line);
  Form->CanonicalHeader1->trigger();
  EXPECT_EQ(Std(Form->WavParamsLabel->text()), line + "  metadata: bext, LIST");
  Form->CanonicalHeader1->trigger();
  PressStart();
  const TBytes canonical = ReadFile(Std(Path("canonical.wav")));
  const auto image = ParseCanonical(canonical);
  ASSERT_TRUE(image);
  EXPECT_EQ(canonical.size(), 44 + image->DataSize);
  EXPECT_EQ(image->DataSize, kept->Find("data")->Size);
}

TEST_F(WindowInput, SameInputKeepsTheOutputAnotherLetsItGo) {
  const QString first = WriteWav("first.wav", kStereo16, 2000);
  const QString second = WriteWav("second.wav", kStereo16, 2000);
  const QString output = Path("out.wav");
  MakeReady(first, output);

  ChooseInput(first);
  EXPECT_EQ(Form->OutputFileLabel->text(), output);
  EXPECT_EQ(Form->OutputFileName(), output);
  EXPECT_TRUE(Form->StartButton->isEnabled());

  // Another input: its own output is proposed beside it at once.
  ChooseInput(second);
  EXPECT_EQ(Form->OutputFileLabel->text(), Path("second_dec.wav"));
  EXPECT_EQ(Form->OutputFileName(), Path("second_dec.wav"));
  EXPECT_FALSE(IsRed(Form->OutputFileLabel));
  EXPECT_TRUE(Form->StartButton->isEnabled());

  // The output given up was never created; a run writes only the new one.
  const QString newOutput = Path("new.wav");
  ChooseOutput(newOutput);
  PressStart();
  EXPECT_FALSE(QFileInfo::exists(output));
  EXPECT_TRUE(ParseCanonical(ReadFile(Std(newOutput))).has_value());
}

// A name that is not UTF-8 (a Latin-1 "é") is kept as its bytes: the file
// opens, its output is proposed beside it, and the run writes it.
TEST(PathBytes, StrayBytesComeBackAsTheyWere) {
  for (const std::string& bytes :
       {std::string("take\xe9.wav"), std::string("caf\xc3\xa9/\xff\xfe\x80.wav"),
        std::string("\xed\xa0\x80\xc0\xaf"), std::string("ok \xf0\x9f\x8e\xb5.wav")}) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(LocalPath(FromLocal(bytes)), bytes);
  }
  EXPECT_EQ(FromLocal("caf\xc3\xa9"), QStringLiteral("caf\u00e9")) << "UTF-8 reads as UTF-8";
}

TEST_F(WindowInput, ANameThatIsNotUtf8OpensAndDecodes) {
  const std::string name = "take\xe9";
  const std::string input = Dir.File(name + ".wav");
  WriteFile(input, WavBytes(kStereo16, SignalBytes(kStereo16, kBlock44)));
  Form->OpenInputFile(FromLocal(input));
  EXPECT_TRUE(Form->InputReader().IsOpen()) << Std(Form->InputFileLabel->text());
  EXPECT_EQ(LocalPath(Form->OutputFileName()), Dir.File(name + "_dec.wav"));
  PressStart();
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Done");
  EXPECT_EQ(ReadFile(Dir.File(name + "_dec.wav")), DirectDecode(input, Dir.File("direct.wav")));
}

TEST_F(WindowInput, CancelledDialogChangesNothing) {
  ChooseInput(std::nullopt);
  EXPECT_EQ(Std(Form->InputFileLabel->text()), "no file selected");
  EXPECT_FALSE(Form->OutPutFileButton->isEnabled());

  const QString input = WriteWav("in.wav", kStereo16, 2000);
  MakeReady(input, Path("out.wav"));
  const QStringList labels = {Form->InputFileLabel->text(), Form->OutputFileLabel->text(),
                              Form->WavParamsLabel->text()};
  const TEnabling before = Enabling(*Form);

  ChooseInput(std::nullopt);
  EXPECT_EQ(Dialogs.InputProposals.back(), input) << "the dialog starts from the last choice";
  EXPECT_EQ(QStringList({Form->InputFileLabel->text(), Form->OutputFileLabel->text(),
                         Form->WavParamsLabel->text()}),
            labels);
  EXPECT_EQ(Enabling(*Form), before);
  EXPECT_TRUE(Form->InputReader().IsOpen());
  EXPECT_EQ(Form->OutputFileName(), Path("out.wav"));
}

TEST_F(WindowInput, DroppedFileIsSelectedWithoutDialogSeveralAreQueued) {
  const QString input = WriteWav("dropped.wav", kStereo16, 500);
  const QString other = WriteWav("other.wav", kStereo16, 500);
  const auto drop = [this](const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form.get(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form.get(), &dropped);
    return true;
  };
  EXPECT_FALSE(drop({QUrl::fromLocalFile(Dir.Path().c_str())})) << "a folder";
  EXPECT_FALSE(drop({QUrl::fromLocalFile(input), QUrl::fromLocalFile(Dir.Path().c_str())}));
  EXPECT_FALSE(drop({QUrl(QStringLiteral("https://example.org/a.wav"))}));

  EXPECT_TRUE(drop({QUrl::fromLocalFile(input)}));
  EXPECT_EQ(Form->InputFileLabel->text(), input);
  EXPECT_TRUE(Form->DoneLabel->text().isEmpty());
  EXPECT_TRUE(Form->InputReader().IsOpen());
  EXPECT_TRUE(Dialogs.InputProposals.isEmpty());

  // Several files are queued for review (the queue's own tests follow it
  // further), and while the queue runs nothing more is taken.
  EXPECT_TRUE(drop({QUrl::fromLocalFile(input), QUrl::fromLocalFile(other)}));
  EXPECT_FALSE(Form->QueueRunning());
  Form->QueueStartButton->click();
  EXPECT_TRUE(Form->QueueRunning());
  EXPECT_FALSE(drop({QUrl::fromLocalFile(input)}));
  while (Form->QueueRunning()) QApplication::processEvents();
  EXPECT_TRUE(QFileInfo::exists(Path("dropped_dec.wav")));
  EXPECT_TRUE(QFileInfo::exists(Path("other_dec.wav")));
}

}  // namespace
}  // namespace zorv::test
