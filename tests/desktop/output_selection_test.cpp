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

TEST_F(WindowOutput, ExistingFileIsEmptiedOnlyAfterOk) {
  const QString input = WriteWav("in.wav", kStereo16, 2000);
  const QString existing = WriteBytes("existing.wav", TBytes{'k', 'e', 'e', 'p'});
  MakeReady(input, Path("first.wav"));

  ChooseOutput(existing, false);
  EXPECT_EQ(Dialogs.Questions, QStringList{"OK to overwrite existing.wav ?"});
  EXPECT_EQ(ReadFile(Std(existing)), (TBytes{'k', 'e', 'e', 'p'}));
  EXPECT_FALSE(Form->Run().Writer().IsOpen()) << "the output chosen before is let go";
  EXPECT_FALSE(Form->StartButton->isEnabled());
  EXPECT_EQ(Std(Form->OutputFileLabel->text()), "no file selected");
  EXPECT_TRUE(Form->OutputFileName().isEmpty());

  ChooseOutput(existing, true);
  EXPECT_EQ(QFileInfo(existing).size(), 0);
  EXPECT_EQ(Form->OutputFileLabel->text(), existing);
  EXPECT_FALSE(IsRed(Form->OutputFileLabel));
  EXPECT_TRUE(Form->StartButton->isEnabled());
}

TEST_F(WindowOutput, RefusedOutputsAreShownInRed) {
  const QString input = WriteWav("in.wav", kStereo16, 2000);
  const TBytes inputBytes = ReadFile(Std(input));
  ASSERT_TRUE(QFile::link(input, Path("link.wav")));
  ASSERT_TRUE(QDir().mkdir(Path("folder")));
  const struct {
    QString Output;
    const char* Message;
  } cases[] = {
      {input, "Cannot use the input file as output: "},
      {Path("link.wav"), "Cannot use the input file as output: "},
      {Path("folder/../in.wav"), "Cannot use the input file as output: "},
      {Path("missing/out.wav"), "Cannot create: "},
      {Path("folder"), "Cannot create: "},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(Std(c.Output));
    MakeReady(input, Path("ok" + std::to_string(++n) + ".wav"));
    ChooseOutput(c.Output);
    EXPECT_EQ(Std(Form->OutputFileLabel->text()), c.Message + Std(c.Output));
    EXPECT_TRUE(IsRed(Form->OutputFileLabel));
    EXPECT_FALSE(Form->StartButton->isEnabled());
    EXPECT_FALSE(Form->Run().Writer().IsOpen());
  }
  EXPECT_TRUE(Dialogs.Questions.isEmpty()) << "no overwrite question for a refused output";
  EXPECT_EQ(ReadFile(Std(input)), inputBytes);
  EXPECT_FALSE(QFileInfo::exists(Path("missing")));
}

}  // namespace
}  // namespace zorv::test
