// SPDX-License-Identifier: GPL-3.0-or-later
// The manual page: installed by "cmake --install", and naming every option
// the program's own usage names.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>

#include "cli/options.h"
#include "dsp/sample_rates.h"
#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tools/wav_test_file.h"

namespace zorv::cli {
namespace {

std::string Text(const std::string& path) {
  const test::TBytes bytes = test::ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

TEST(ManualPage, IsInstalledWithTheProgram) {
  test::TScratchDir dir{ZORV_CLI_SCRATCH};
  const std::string prefix = dir.File("prefix");
  const test::TChildResult r = test::RunProgram(
      ZORV_CMAKE_COMMAND, {"--install", ZORV_BUILD_DIR, "--prefix", prefix}, dir.Path().string());
  ASSERT_EQ(r.ExitStatus, 0) << r.Out << r.Err;
  const std::string installed = prefix + "/share/man/man1/zorv-decode.1";
  ASSERT_TRUE(std::filesystem::exists(installed));
  EXPECT_EQ(Text(installed), Text(ZORV_MANUAL_PAGE));
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
  EXPECT_EQ(names.size(), 20u) << "the usage names twenty options";
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

}  // namespace
}  // namespace zorv::cli
