// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing the output file: the proposed name, the overwrite question, and
// the outputs that are refused before anything is created or emptied.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tests/desktop/window_fixture.h"

namespace zorv::test {
namespace {

const TWavFormat kStereo16{};

using WindowOutput = WindowTest;

TEST_F(WindowOutput, ProposalIsTheInputWithDecBeforeTheExtension) {
  const QString folder = Path("");
  const int folderLength = static_cast<int>(folder.size());
  // Names that make the input path 239 and 240 characters long.
  const std::string long239 = std::string(static_cast<std::size_t>(239 - folderLength - 4), 'x');
  const std::string long240 = long239 + "y";
  const struct {
    std::string Input;
    std::string Proposal;  // in the folder, unless absolute
  } cases[] = {
      {"tape1.wav", "tape1_dec.wav"},     {"take.two.wav", "take.two_dec.wav"},
      {"noextension", "noextension_dec"}, {long239 + ".wav", long239 + "_dec.wav"},
      {long240 + ".wav", "output.wav"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Input);
    ChooseInput(WriteWav(c.Input, kStereo16, 100));
    ChooseOutput(std::nullopt);
    const QString expected =
        c.Proposal == "output.wav" ? QStringLiteral("output.wav") : Path(c.Proposal);
    EXPECT_EQ(Dialogs.OutputProposals.back(), expected);
  }
}

// Choosing an output creates nothing and empties nothing: an agreed
// overwrite, a new name, and leaving the program without Start.
TEST_F(WindowOutput, OutputIsCreatedOrReplacedOnlyAtStart) {
  const QString input = WriteWav("in.wav", kStereo16, 2000);
  const TBytes keep{'k', 'e', 'e', 'p'};
  const QString existing = WriteBytes("existing.wav", keep);
  const QString fresh = Path("fresh.wav");
  MakeReady(input, fresh);
  EXPECT_FALSE(QFileInfo::exists(fresh)) << "created when chosen";

  ChooseOutput(existing, false);
  EXPECT_EQ(Dialogs.Questions, QStringList{"OK to overwrite existing.wav ?"});
  EXPECT_EQ(ReadFile(Std(existing)), keep);
  EXPECT_FALSE(Form->StartButton->isEnabled());
  EXPECT_EQ(Std(Form->OutputFileLabel->text()), "no file selected");
  EXPECT_TRUE(Form->OutputFileName().isEmpty()) << "the output chosen before is let go";

  ChooseOutput(existing, true);
  EXPECT_EQ(ReadFile(Std(existing)), keep) << "emptied when chosen";
  EXPECT_EQ(Form->OutputFileLabel->text(), existing);
  EXPECT_FALSE(IsRed(Form->OutputFileLabel));
  EXPECT_TRUE(Form->StartButton->isEnabled());

  // Leaving without Start.
  Form.reset();
  EXPECT_EQ(ReadFile(Std(existing)), keep);
  EXPECT_FALSE(QFileInfo::exists(fresh));

  // Start replaces it, without asking again.
  Form = std::make_unique<TForm1>(Dialogs);
  ChooseInput(input);
  ChooseOutput(existing, true);
  PressStart();
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Done");
  EXPECT_EQ(Dialogs.Questions.size(), 3);
  EXPECT_EQ(ReadFile(Std(existing)), DirectDecode(Std(input), Dir.File("direct.wav")));
}

// A name that was free when chosen and is taken by Start: asked about then.
TEST_F(WindowOutput, OutputThatAppearedSinceTheChoiceIsAskedAboutAtStart) {
  const QString input = WriteWav("in.wav", kStereo16, 2000);
  const QString output = Path("out.wav");
  MakeReady(input, output);
  const TBytes other{'o', 't', 'h', 'e', 'r'};
  WriteBytes("out.wav", other);

  Dialogs.OverwriteAnswers.push_back(false);
  PressStart();
  EXPECT_EQ(Dialogs.Questions, QStringList{"OK to overwrite out.wav ?"});
  EXPECT_EQ(ReadFile(Std(output)), other);
  EXPECT_FALSE(Form->RunActive());
  EXPECT_TRUE(Form->StartButton->isEnabled()) << "the choice stands";

  Dialogs.OverwriteAnswers.push_back(true);
  PressStart();
  EXPECT_EQ(Std(Form->DoneLabel->text()), "Done");
  EXPECT_TRUE(ParseCanonical(ReadFile(Std(output))).has_value());
}

TEST_F(WindowOutput, RefusedOutputsAreShownInRed) {
  const QString input = WriteWav("in.wav", kStereo16, 2000);
  const TBytes inputBytes = ReadFile(Std(input));
  ASSERT_TRUE(QFile::link(input, Path("link.wav")));
  ASSERT_TRUE(QDir().mkdir(Path("folder")));
  const struct {
    QString Output;
    const char* Message;
    const char* Reason = "";  // after the path: the system's words
  } cases[] = {
      {input, "Cannot use the input file as output: "},
      {Path("link.wav"), "Cannot use the input file as output: "},
      {Path("folder/../in.wav"), "Cannot use the input file as output: "},
      {Path("missing/out.wav"), "Cannot create: ", ": No such file or directory"},
      {Path("folder"), "Cannot create: ", ": Is a directory"},
      // A folder that takes no new names, whoever asks.
      {QStringLiteral("/proc/zorv-out.wav"), "Cannot create: ", ": No such file or directory"},
      // A device is never replaced by a file, whoever runs the program.
      {QStringLiteral("/dev/full"), "Cannot create: ", ": not a regular file"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(Std(c.Output));
    MakeReady(input, Path("ok" + std::to_string(++n) + ".wav"));
    ChooseOutput(c.Output);
    EXPECT_EQ(Std(Form->OutputFileLabel->text()), c.Message + Std(c.Output) + c.Reason);
    EXPECT_TRUE(IsRed(Form->OutputFileLabel));
    EXPECT_FALSE(Form->StartButton->isEnabled());
    EXPECT_TRUE(Form->OutputFileName().isEmpty());
  }
  EXPECT_TRUE(Dialogs.Questions.isEmpty()) << "no overwrite question for a refused output";
  EXPECT_EQ(ReadFile(Std(input)), inputBytes);
  EXPECT_FALSE(QFileInfo::exists(Path("missing")));
}

}  // namespace
}  // namespace zorv::test
