// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/format_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/messages.h"
#include "app/output_name.h"
#include "tests/app/scratch_dir.h"
#include "wav/wav_file_in.h"

namespace zorv {
namespace {

THeaderImage Header(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                    std::uint16_t bits, std::uint16_t blockAlign) {
  THeaderImage h;
  h.SetFormatTag(tag);
  h.SetChannels(channels);
  h.SetSampleRate(rate);
  h.SetBitsPerSample(bits);
  h.SetBlockAlign(blockAlign);
  h.SetByteRate(rate * blockAlign);
  return h;
}

struct FormatCase {
  const char* name;
  std::uint16_t tag, channels;
  std::uint32_t rate;
  std::uint16_t bits, blockAlign;
  std::int32_t expected;
};
void PrintTo(const FormatCase& c, std::ostream* os) {
  *os << c.name;
}

class CheckFormatCases : public ::testing::TestWithParam<FormatCase> {};

TEST_P(CheckFormatCases, GivesTheFirstFailure) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(CheckFormat(Header(c.tag, c.channels, c.rate, c.bits, c.blockAlign)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CheckFormatCases,
    ::testing::Values(FormatCase{"Int16Stereo44k", 1, 2, 44100, 16, 4, fcOk},
                      FormatCase{"Int24Mono48k", 1, 1, 48000, 24, 3, fcOk},
                      FormatCase{"Int32Stereo96k", 1, 2, 96000, 32, 8, fcOk},
                      FormatCase{"Float32Mono44k", 3, 1, 44100, 32, 4, fcOk},
                      FormatCase{"ThreeChannels", 1, 3, 44100, 16, 6, fcOk},
                      FormatCase{"TwentyFourChannels24Bit", 1, 24, 48000, 24, 72, fcOk},
                      FormatCase{"SixtyFourFloatChannels", 3, 64, 96000, 32, 256, fcOk},
                      FormatCase{"SixtyFiveChannels", 1, 65, 44100, 16, 130, fcChannels},
                      FormatCase{"TooManyChannelsAtABadRate", 1, 200, 22050, 16, 400, fcChannels},
                      FormatCase{"SixChannelsAtABadRate", 1, 6, 22050, 16, 12, fcSampleRate},
                      FormatCase{"NoChannels", 1, 0, 44100, 16, 0, fcChannels},
                      FormatCase{"EightChannelsPadded", 1, 8, 48000, 24, 32, fcFormat},
                      FormatCase{"Int16Mono32k", 1, 1, 32000, 16, 2, fcOk},
                      FormatCase{"Int24Stereo88k2", 1, 2, 88200, 24, 6, fcOk},
                      FormatCase{"Float32Stereo176k4", 3, 2, 176400, 32, 8, fcOk},
                      FormatCase{"Int24Stereo192k", 1, 2, 192000, 24, 6, fcOk},
                      FormatCase{"SixtyFourChannels192k", 1, 64, 192000, 24, 192, fcOk},
                      FormatCase{"Rate22050", 1, 2, 22050, 16, 4, fcSampleRate},
                      FormatCase{"Rate44101", 1, 2, 44101, 16, 4, fcSampleRate},
                      FormatCase{"Rate32001", 1, 2, 32001, 16, 4, fcSampleRate},
                      FormatCase{"Rate88000", 1, 2, 88000, 16, 4, fcSampleRate},
                      FormatCase{"Rate176000", 1, 2, 176000, 16, 4, fcSampleRate},
                      FormatCase{"Rate384000", 1, 2, 384000, 24, 6, fcSampleRate},
                      FormatCase{"BadRateBeforeBadFormat", 2, 2, 8000, 4, 2, fcSampleRate},
                      FormatCase{"Int8", 1, 1, 44100, 8, 1, fcFormat},
                      FormatCase{"Int8Stereo", 1, 2, 44100, 8, 2, fcFormat},
                      FormatCase{"Int64", 1, 1, 44100, 64, 8, fcFormat},
                      FormatCase{"Float64", 3, 1, 48000, 64, 8, fcFormat},
                      FormatCase{"Float16", 3, 2, 48000, 16, 4, fcFormat},
                      FormatCase{"Adpcm", 2, 2, 44100, 4, 2048, fcFormat},
                      FormatCase{"ExtensibleLeftUnresolved", 0xFFFE, 2, 44100, 16, 4, fcFormat},
                      FormatCase{"BlockAlignTooSmall", 1, 2, 44100, 16, 2, fcFormat},
                      FormatCase{"BlockAlignPadded", 1, 2, 44100, 24, 8, fcFormat},
                      FormatCase{"FloatBlockAlignWrong", 3, 2, 44100, 32, 4, fcFormat}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShowWavParams, DescribesTheFormatLikeTheWindow) {
  EXPECT_EQ(ShowWavParams(Header(1, 2, 44100, 16, 4)),
            "fs = 44100  ch = 2   16 bit/sample  total 4 byte/sample  integer");
  EXPECT_EQ(ShowWavParams(Header(1, 1, 96000, 32, 4)),
            "fs = 96000  ch = 1   32 bit/sample  total 4 byte/sample  integer");
  EXPECT_EQ(ShowWavParams(Header(3, 2, 48000, 32, 8)),
            "fs = 48000  ch = 2   32 bit/sample  total 8 byte/sample  IEEE float");
  // Float of another width is not described as float.
  EXPECT_EQ(ShowWavParams(Header(3, 1, 48000, 64, 8)),
            "fs = 48000  ch = 1   64 bit/sample  total 8 byte/sample  integer");
}

TEST(ResultMessages, NameEveryRefusal) {
  EXPECT_EQ(ReadHeaderMessage(TReadHeaderResult::Ok), "");
  EXPECT_EQ(ReadHeaderMessage(TReadHeaderResult::NoRiff), "No RIFF File: ");
  EXPECT_EQ(ReadHeaderMessage(TReadHeaderResult::NoWave), "No WAV File: ");
  EXPECT_EQ(ReadHeaderMessage(TReadHeaderResult::NoFmt), "No fmt chunk in WAV File: ");
  EXPECT_EQ(ReadHeaderMessage(TReadHeaderResult::NoData), "No data chunk in WAV File: ");
  EXPECT_EQ(ReadHeaderMessage(TReadHeaderResult::ReadError), messages::kCannotRead);
  EXPECT_EQ(CheckFormatMessage(fcOk), "");
  EXPECT_EQ(CheckFormatMessage(fcFormat), "Not supported audio format: ");
  EXPECT_EQ(CheckFormatMessage(fcChannels), "Not supported number of audio channels: ");
  EXPECT_EQ(CheckFormatMessage(fcSampleRate), "Not supported sampling rate: ");
}

TEST(ProposeOutputName, PutsDecBeforeTheExtensionOfTheFileName) {
  struct Case {
    std::string input, expected;
  };
  // A folder of n characters, "/" included, holding tape1.wav (10 more).
  const auto inFolder = [](std::size_t n, const char* name) {
    std::string path(n, 'f');
    path[0] = '/';
    return path.append("/").append(name);
  };
  const Case cases[] = {
      {"/rec/tape1.wav", "/rec/tape1_dec.wav"},
      {"tape1.WAV", "tape1_dec.WAV"},
      {"/rec/tape1", "/rec/tape1_dec"},
      {"/rec.d/tape1", "/rec.d/tape1_dec"},
      {"/a.b/c.d.wav", "/a.b/c.d_dec.wav"},
      {"rel/dir.x/take.2.wav", "rel/dir.x/take.2_dec.wav"},
      {inFolder(229, "tape1.wav"), inFolder(229, "tape1_dec.wav")},  // 239 characters
      {inFolder(230, "tape1.wav"), "output.wav"},                    // 240 characters
      {std::string(300, 'x'), "output.wav"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProposeOutputName(c.input), c.expected) << c.input.size() << ": " << c.input;
  }
}

TEST(ProposeOutputName, CountsCharactersNotBytes) {
  std::string input;
  for (int i = 0; i < 120; ++i) input += "\xC3\xA9";  // 120 characters, 240 bytes
  input += ".wav";
  EXPECT_EQ(ProposeOutputName(input), input.substr(0, 240) + "_dec.wav");
}

TEST(OverwriteQuestion, NamesTheFileWithoutItsFolder) {
  EXPECT_EQ(OverwriteQuestion("/rec/tape1_dec.wav"), "OK to overwrite tape1_dec.wav ?");
}

TEST(SameFile, SeesThroughOtherPathsAndLinks) {
  test::TScratchDir dir(ZORV_APP_SCRATCH);
  const std::string a = dir.File("a.wav");
  const std::string b = dir.File("b.wav");
  std::ofstream(a) << "a";
  std::ofstream(b) << "b";
  namespace fs = std::filesystem;
  fs::create_hard_link(a, dir.File("hard.wav"));
  fs::create_symlink(a, dir.File("soft.wav"));
  fs::create_directory(dir.File("sub"));

  EXPECT_TRUE(SameFile(a, a));
  EXPECT_TRUE(SameFile(a, dir.File("sub/../a.wav")));
  EXPECT_TRUE(SameFile(a, dir.File("hard.wav")));
  EXPECT_TRUE(SameFile(dir.File("soft.wav"), a));
  EXPECT_FALSE(SameFile(a, b));
  EXPECT_FALSE(SameFile(a, dir.File("missing.wav")));
  EXPECT_FALSE(SameFile(dir.File("missing.wav"), dir.File("missing.wav")));
}

}  // namespace
}  // namespace zorv
