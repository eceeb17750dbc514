// The manual page: installed by "cmake --install", and naming every option
// the program's own usage names.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "cli/options.h"
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
}

TEST(ManualPage, NamesEveryOptionOfTheUsage) {
  const std::string manual = Text(ZORV_MANUAL_PAGE);
  const std::string usage = UsageText();
  const std::regex option("--([a-z][a-z-]+)");
  std::set<std::string> names;
  for (auto it = std::sregex_iterator(usage.begin(), usage.end(), option);
       it != std::sregex_iterator(); ++it) {
    names.insert((*it)[1]);
  }
  EXPECT_EQ(names.size(), 14u) << "the usage names fourteen options";
  for (const std::string& name : names) {
    std::string roff = "\\-\\-";
    for (const char c : name) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(manual.find(roff), std::string::npos) << "--" << name << " is not in the manual";
  }
  EXPECT_NE(manual.find(".TH ZORV-DECODE 1"), std::string::npos);
}

}  // namespace
}  // namespace zorv::cli
