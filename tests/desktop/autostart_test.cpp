// SPDX-License-Identifier: GPL-3.0-or-later
// The unattended run of --autostart --autoquit with a read of the input
// failing at each read in turn (the fault shim): whatever read fails, the
// program says why on standard error and ends with status 1, or decodes and
// ends with 0; it never waits for a message box that nobody answers, and
// keeps no output it did not complete.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "tests/app/scratch_dir.h"
#include "tools/wav_test_file.h"

namespace zorv::test {
namespace {

std::string Text(const std::string& path) {
  const TBytes bytes = ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

// zorv-audio-decoder --autostart output --autoquit input in dir under the
// fault shim set up by faults (environment assignments); its exit status
// (124: it waited past a minute).
int RunUnderFaults(const TScratchDir& dir, const std::string& faults, const std::string& output,
                   const std::string& input) {
  const std::string command =
      "cd '" + dir.Path().string() + "' && " + faults +
      " ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" LD_PRELOAD='" +
      ZORV_FAULT_SHIM_PATH + "' QT_QPA_PLATFORM=offscreen timeout 60 '" + ZORV_PROGRAM_DIR +
      "/zorv-audio-decoder' --autostart '" + output + "' --autoquit '" + input +
      "' > said.txt 2> complaint.txt";
  return WEXITSTATUS(std::system(command.c_str()));
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
    const int status = RunUnderFaults(
        dir, "ZORV_FAULT_PATH=tape.wav ZORV_FAULT_READ_FAIL_NTH=" + std::to_string(nth), output,
        input);
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

// A decode that went through but whose output could not be kept (its last
// sync or its rename failed) is a failure: status 1, the reason, no output
// and no temporary file left behind.
TEST(WindowAutostart, AnOutputThatCouldNotBeKeptEndsWithStatusOne) {
  TScratchDir dir{ZORV_DESKTOP_SCRATCH};
  const TWavFormat format{1, 2, 44100, 16};
  const std::string input = dir.File("tape.wav");
  WriteFile(input, WavBytes(format, SignalBytes(format, 44100)));
  for (const char* fault : {"ZORV_FAULT_FSYNC_FAIL=1", "ZORV_FAULT_RENAME_FAIL=1"}) {
    SCOPED_TRACE(fault);
    const std::string output = dir.File("kept.wav");
    const int status =
        RunUnderFaults(dir, std::string("ZORV_FAULT_PATH=kept.wav ") + fault, output, input);
    const std::string said = Text(dir.File("said.txt")) + Text(dir.File("complaint.txt"));
    EXPECT_EQ(status, 1) << said;
    EXPECT_NE(said.find("could not keep the output file: Input/output error"), std::string::npos)
        << said;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      EXPECT_EQ(entry.path().filename().string().find("kept"), std::string::npos)
          << entry.path() << " left behind";
    }
  }
}

// --autostart tape.wav tape.partial.wav: an abort would keep the part as
// tape.partial.wav, the input. Refused before anything is written, with
// status 1 and the reason; the input as it was.
TEST(WindowAutostart, AnInputThatIsTheOutputsPartialNameIsNeverWritten) {
  TScratchDir dir{ZORV_DESKTOP_SCRATCH};
  const TWavFormat format{1, 2, 44100, 16};
  const std::string input = dir.File("tape.partial.wav");
  WriteFile(input, WavBytes(format, SignalBytes(format, 44100)));
  const TBytes before = ReadFile(input);
  const int status = RunUnderFaults(dir, "ZORV_FAULT_PATH=none", dir.File("tape.wav"), input);
  EXPECT_EQ(status, 1);
  const std::string said = Text(dir.File("complaint.txt")) + Text(dir.File("said.txt"));
  EXPECT_NE(said.find("Cannot use the input file as output: " + input), std::string::npos) << said;
  EXPECT_EQ(ReadFile(input), before);
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"tape.partial.wav", "said.txt", "complaint.txt"}));
}

}  // namespace
}  // namespace zorv::test
