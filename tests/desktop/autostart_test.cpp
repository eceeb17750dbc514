// SPDX-License-Identifier: GPL-3.0-or-later
// The unattended run of --autostart --autoquit with a read of the input
// failing at each read in turn (the fault shim): whatever read fails, the
// program says why on standard error and ends with status 1, or decodes and
// ends with 0; it never waits for a message box that nobody answers, and
// keeps no output it did not complete.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/app/scratch_dir.h"
#include "tools/wav_test_file.h"

namespace zorv::test {
namespace {

std::string Text(const std::string& path) {
  const TBytes bytes = ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

TEST(WindowAutostart, AReadErrorAnywhereIsSaidAndEndsWithStatusOne) {
  TScratchDir dir{ZORV_DESKTOP_SCRATCH};
  const TWavFormat format{1, 2, 44100, 16};
  const std::string input = dir.File("tape.wav");
  WriteFile(input, WavBytes(format, SignalBytes(format, 44100)));
  bool decoded = false;
  int refused = 0;
  for (int nth = 1; !decoded && nth <= 40; ++nth) {
    SCOPED_TRACE(nth);
    const std::string output = dir.File("out" + std::to_string(nth) + ".wav");
    const std::string command =
        "cd '" + dir.Path().string() +
        "' && ZORV_FAULT_PATH=tape.wav ZORV_FAULT_READ_FAIL_NTH=" + std::to_string(nth) +
        " ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" LD_PRELOAD='" +
        ZORV_FAULT_SHIM_PATH + "' QT_QPA_PLATFORM=offscreen timeout 60 '" + ZORV_PROGRAM_DIR +
        "/zorv-audio-decoder' --autostart '" + output + "' --autoquit '" + input +
        "' > said.txt 2> complaint.txt";
    const int status = WEXITSTATUS(std::system(command.c_str()));
    ASSERT_NE(status, 124) << "waited for an answer nobody gives";
    if (status == 0) {
      decoded = true;
      EXPECT_TRUE(Text(dir.File("said.txt")).find("Done") != std::string::npos);
      continue;
    }
    ASSERT_EQ(status, 1) << Text(dir.File("complaint.txt"));
    ++refused;
    const std::string complaint = Text(dir.File("complaint.txt")) + Text(dir.File("said.txt"));
    EXPECT_NE(complaint.find("Input/output error"), std::string::npos) << complaint;
    EXPECT_FALSE(std::filesystem::exists(output)) << "an output that is not complete";
  }
  EXPECT_TRUE(decoded) << "some read beyond the last";
  EXPECT_GT(refused, 3);
}

}  // namespace
}  // namespace zorv::test
