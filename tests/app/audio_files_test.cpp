// SPDX-License-Identifier: GPL-3.0-or-later
// An input is opened only where it is a regular file that can be read;
// anything else is refused with the system's reason, which every front end
// shows ("Cannot open: /mnt/reel: Is a directory").
#include "app/audio_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/app/scratch_dir.h"
#include "tools/wav_test_file.h"

namespace zorv::test {
namespace {

TEST(AudioFiles, AnInputThatIsNoReadableFileIsRefusedWithTheReason) {
  TScratchDir dir{ZORV_APP_SCRATCH};
  const std::string pipe = dir.File("pipe.wav");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const TWavFormat format{1, 2, 44100, 16};
  const std::string file = dir.File("in.wav");
  WriteFile(file, WavBytes(format, SignalBytes(format, 100)));
  const struct {
    std::string Path;
    const char* Reason;
  } cases[] = {
      {dir.Path().string(), "Is a directory"},
      {dir.File("missing.wav"), "No such file or directory"},
      {pipe, "not a regular file"},
      {file, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path);
    EXPECT_EQ(InputProblem(c.Path), c.Reason);
    TWavFileIn reader;
    const TInputFile opened = OpenInputFile(reader, c.Path);
    EXPECT_EQ(opened.Opened(), *c.Reason == '\0');
    if (opened.Opened()) continue;
    std::string detail;
    EXPECT_EQ(InputFileMessage(opened, &detail), "Cannot open: ");
    EXPECT_EQ(detail, c.Reason);
  }
}

}  // namespace
}  // namespace zorv::test
