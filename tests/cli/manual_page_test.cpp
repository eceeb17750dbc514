// SPDX-License-Identifier: GPL-3.0-or-later
// The manual pages: installed by "cmake --install" (compressed), read by
// man and groff without a warning, with the build's version and date, and
// zorv-decode's naming every option the program's own usage names.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/options.h"
#include "dsp/sample_rates.h"
#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tools/wav_test_file.h"
#include "zorv_version.h"

namespace zorv::cli {
namespace {

std::string Text(const std::string& path) {
  const test::TBytes bytes = test::ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

// The pages as the build fills them in: zorv-decode's, and the window's
// where the window is built.
std::vector<std::string> ManualPages() {
  std::vector<std::string> pages{ZORV_MANUAL_PAGE};
  if (std::string(ZORV_WINDOW_MANUAL_PAGE) != "") pages.emplace_back(ZORV_WINDOW_MANUAL_PAGE);
  return pages;
}

TEST(ManualPage, IsInstalledWithTheProgram) {
  test::TScratchDir dir{ZORV_CLI_SCRATCH};
  const std::string prefix = dir.File("prefix");
  const test::TChildResult r = test::RunProgram(
      ZORV_CMAKE_COMMAND, {"--install", ZORV_BUILD_DIR, "--prefix", prefix}, dir.Path().string());
  ASSERT_EQ(r.ExitStatus, 0) << r.Out << r.Err;
  for (const std::string& page : ManualPages()) {
    const std::string name = std::filesystem::path(page).filename().string();
    const std::string installed = prefix + "/share/man/man1/" + name + ".gz";
    ASSERT_TRUE(std::filesystem::exists(installed)) << installed;
    const test::TChildResult unpacked =
        test::RunProgram("gzip", {"-dc", installed}, dir.Path().string());
    ASSERT_EQ(unpacked.ExitStatus, 0) << unpacked.Err;
    EXPECT_EQ(unpacked.Out, Text(page)) << name;
  }
  EXPECT_TRUE(std::filesystem::exists(prefix + "/bin/zorv-decode"));
  if (!ZORV_HAS_PLOT) return;
  // The installed program finds its plot module in its own prefix.
  EXPECT_TRUE(std::filesystem::exists(prefix + "/" ZORV_INSTALL_LIBDIR
                                               "/zorv-audio-decoder/zorv-decode-plot.so"));
  const std::string wav = dir.File("in.wav");
  test::WriteFile(wav,
                  test::WavBytes({1, 2, 44100, 16}, test::SignalBytes({1, 2, 44100, 16}, 4410, 1)));
  const test::TChildResult plot = test::RunProgram(
      prefix + "/bin/zorv-decode", {"-q", "--plot", dir.File("in.png"), wav}, dir.Path().string());
  EXPECT_EQ(plot.ExitStatus, 0) << plot.Err;
  EXPECT_TRUE(std::filesystem::exists(dir.File("in.png")));
}

TEST(ManualPage, NamesEveryOptionOfTheUsage) {
  const std::string manual = Text(ZORV_MANUAL_PAGE);
  const std::string usage = UsageText();
  // Every "--name" of the usage: lower-case letters and inner hyphens.
  std::set<std::string> names;
  for (std::size_t at = usage.find("--"); at != std::string::npos; at = usage.find("--", at + 2)) {
    std::size_t end = at + 2;
    while (end < usage.size() && (std::islower(static_cast<unsigned char>(usage[end])) ||
                                  (usage[end] == '-' && end > at + 2))) {
      ++end;
    }
    if (end > at + 2) names.insert(usage.substr(at + 2, end - at - 2));
  }
  EXPECT_EQ(names.size(), 24u) << "the usage names twenty-four options";
  for (const std::string& name : names) {
    std::string roff = "\\-\\-";
    for (const char c : name) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(manual.find(roff), std::string::npos) << "--" << name << " is not in the manual";
  }
  EXPECT_NE(manual.find(".TH ZORV-DECODE 1"), std::string::npos);
}

// The manual page and the usage name every rate the decoder takes, so that
// neither falls behind when one is added.
TEST(ManualPage, NamesEveryAcceptedRateAsTheUsageDoes) {
  const std::string manual = Text(ZORV_MANUAL_PAGE);
  const std::string usage = UsageText();
  for (const std::uint32_t rate : kSupportedRates) {
    EXPECT_NE(manual.find(std::to_string(rate)), std::string::npos) << rate;
    EXPECT_NE(usage.find(std::to_string(rate)), std::string::npos) << rate;
  }
}

// groff warns of a line that starts with a dot but is no request (the text
// after it is lost), of an unknown escape, of a character it cannot show.
TEST(ManualPage, ManReadsEveryPageWithoutAWarning) {
  test::TScratchDir dir{ZORV_CLI_SCRATCH};
  for (const std::string& page : ManualPages()) {
    SCOPED_TRACE(page);
    test::TChildOptions options;
    options.Environment = {"MANWIDTH=80", "LC_ALL=C.UTF-8", "MANPAGER=cat"};
    const test::TChildResult r =
        test::RunProgram("man", {"--warnings", "-l", page}, dir.Path().string(), options);
    EXPECT_EQ(r.ExitStatus, 0);
    EXPECT_EQ(r.Err, "");
    // Every sentence is there: none vanished into a request.
    EXPECT_NE(r.Out.find("COPYRIGHT"), std::string::npos);
    EXPECT_NE(r.Out.find("GPL-3.0-or-later"), std::string::npos) << r.Out;
    const std::string text = Text(page);
    EXPECT_EQ(text.find('\f'), std::string::npos) << "a form feed";
    EXPECT_EQ(text.find('@'), std::string::npos) << "a variable the build did not fill in";
    // The version and the date the build states, in the title line.
    const std::string name = std::filesystem::path(page).stem().string();
    EXPECT_NE(text.find("\"" + name + " " ZORV_VERSION_TEXT "\""), std::string::npos);
    EXPECT_NE(r.Out.find(name + " " ZORV_VERSION_TEXT), std::string::npos);
    EXPECT_NE(r.Out.find(ZORV_RELEASE_DATE), std::string::npos);
  }
}

TEST(ManualPage, StatesTheFormatsThatDecode) {
  const std::string manual = Text(ZORV_MANUAL_PAGE);
  EXPECT_NE(manual.find("1 to 64 channels"), std::string::npos);
  EXPECT_EQ(manual.find("one or two channels"), std::string::npos);
  EXPECT_NE(manual.find("32000, 44100, 48000, 88200, 96000, 176400 or 192000 Hz"),
            std::string::npos);
  // The sentences that once vanished: the standard input, the plot's name.
  for (const char* line : {"\\fIINPUT\\fR \"\\-\" reads a WAV stream", "in .png (one"}) {
    EXPECT_NE(manual.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace zorv::cli
