// SPDX-License-Identifier: GPL-3.0-or-later
// Faults of the disk and of the input, as zorv-decode meets them: a read that
// fails, an input cut during the decode, a write that fails once, a full
// disk, links as outputs, two programs on one output. Each leaves a complete
// output under the final name or nothing, and says why.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tests/cli/decode_fixture.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TBytes;
using test::TChildResult;

constexpr std::uint32_t kBlockBytes = 17640;
const test::TWavFormat kStereo16{};

class Faults : public test::DecodeTest {
 protected:
  // The report of a decode that began and failed: the error's line names the
  // file it could not read or write; no elapsed time checked.
  static void ExpectFailure(const TChildResult& r, const std::string& head,
                            const std::string& status, const std::string& reason) {
    EXPECT_EQ(r.ExitStatus, 1);
    const bool reading = status == "Error: could not read the input file";
    const std::string file = head.substr(reading ? 0 : head.find(" -> ") + 4,
                                         reading ? head.find(" -> ") : std::string::npos);
    const std::string line =
        "zorv-decode: " + file + (reading ? ": cannot read: " : ": cannot write: ") + reason;
    EXPECT_TRUE(r.Err.starts_with(head + "\n" + status + "\n" + line + "\nelapsed time: "))
        << r.Err;
  }
};

TEST_F(Faults, AReadErrorFailsTheDecodeWithTheSystemsReason) {
  const std::string in = LongWav("long.wav");
  const TChildResult r =
      Run({in}, test::WithFaults({"ZORV_FAULT_PATH=long.wav", "ZORV_FAULT_READ_EIO_AT=1000000"}));
  ExpectFailure(r, in + " -> " + Dir.File("long_dec.wav"), "Error: could not read the input file",
                "Input/output error");
  EXPECT_EQ(Names(), std::set<std::string>{"long.wav"}) << "nothing under either name";
}

TEST_F(Faults, AnInputCutDuringTheDecodeFailsIt) {
  const std::string in = LongWav("long.wav");
  test::TChildProcess child(
      ZORV_DECODE_PATH, {in}, Dir.Path().string(),
      test::WithFaults({"ZORV_FAULT_PATH=long.wav", "ZORV_FAULT_READ_DELAY_US=3000"}));
  ASSERT_TRUE(WaitForTemporaryOutput(44 + 3 * kBlockBytes));
  fs::resize_file(in, 44 + 50 * kBlockBytes);
  const TChildResult r = child.Wait();
  ExpectFailure(r, in + " -> " + Dir.File("long_dec.wav"), "Error: could not read the input file",
                "the input file became shorter during the decode");
  EXPECT_EQ(Names(), std::set<std::string>{"long.wav"});
}

// A header that claims more than the file held from the start: what is there
// is decoded, and the report says how much that was.
TEST_F(Faults, AnInputShorterThanItsHeaderFromTheStartIsDecodedAndSaidSo) {
  const TBytes data = test::SignalBytes(kStereo16, 5000);
  const std::string in = File("short.wav", test::WavBytes(kStereo16, data, 8000 * 4));
  const TChildResult r = Run({in});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_NE(r.Err.find("\nDone\n"), std::string::npos);
  EXPECT_TRUE(r.Err.ends_with("\ninput shorter than its header: 5000 of 8000 frames\n")) << r.Err;
  test::ExpectValidWav(Dir.File("short_dec.wav"), 5000 * 4);
  // A warning, so -q keeps it.
  EXPECT_NE(Run({"-q", "-f", in}).Err.find("input shorter than its header"), std::string::npos);
}

// One write fails and the disk then takes the rest: the decode stops at that
// write; no file with a hole in it, under any name.
TEST_F(Faults, OneFailedWriteEndsTheDecodeAndLeavesNothing) {
  const std::string in = LongWav("long.wav");
  const std::string out = File("long_dec.wav", {'o', 'l', 'd'});
  // Writes 1 and 2 are the header, 3 onwards the blocks.
  const TChildResult r =
      Run({"-f", in},
          test::WithFaults({"ZORV_FAULT_PATH=.incomplete-", "ZORV_FAULT_WRITE_FAIL_NTH=5"}));
  ExpectFailure(r, in + " -> " + out, "Error: could not write the output file",
                "No space left on device");
  EXPECT_EQ(ReadFile(out), (TBytes{'o', 'l', 'd'})) << "the earlier output stays";
  EXPECT_EQ(Names(), (std::set<std::string>{"long.wav", "long_dec.wav"}));
}

TEST_F(Faults, AFullDiskLeavesNoFileAtAll) {
  const std::string in = LongWav("long.wav");
  for (const char* limit : {"20", "100000"}) {  // before the header fits, and mid-run
    const TChildResult r =
        Run({in}, test::WithFaults({"ZORV_FAULT_PATH=.incomplete-",
                                    std::string("ZORV_FAULT_WRITE_LIMIT=") + limit}));
    ExpectFailure(r, in + " -> " + Dir.File("long_dec.wav"),
                  "Error: could not write the output file", "No space left on device");
    EXPECT_EQ(Names(), std::set<std::string>{"long.wav"}) << limit;
  }
}

// A real full disk: a small tmpfs (where this system lets a test mount one).
TEST_F(Faults, AFullTmpfsLeavesNoFileAtAll) {
  const fs::path disk = Dir.Path() / "disk";
  fs::create_directory(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  }
  const std::string in = LongWav("long.wav");
  const std::string out = (disk / "out.wav").string();
  const TChildResult r = Run({in, "-o", out});
  const bool empty = fs::is_empty(disk);
  ::umount(disk.c_str());
  ExpectFailure(r, in + " -> " + out, "Error: could not write the output file",
                "No space left on device");
  EXPECT_TRUE(empty) << "no file is left on the full disk";
}

// A meter log that cannot be created refuses the decode before the earlier
// output is touched, also with -f.
TEST_F(Faults, AMeterLogThatCannotBeCreatedLeavesTheEarlierOutput) {
  const std::string in = Wav("ex.wav", kStereo16, 2000);
  const std::string out = File("ex_dec.wav", {'o', 'l', 'd'});
  const TChildResult r = Run({"-q", "-f", in, "--meter-log", "/proc/nope.csv"});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_TRUE(r.Err.starts_with("zorv-decode: /proc/nope.csv: cannot create: ")) << r.Err;
  EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << "with the system's reason";
  EXPECT_EQ(ReadFile(out), (TBytes{'o', 'l', 'd'}));
  EXPECT_EQ(Names(), (std::set<std::string>{"ex.wav", "ex_dec.wav"}));
}

TEST_F(Faults, AnOutputThatIsALinkIsRefusedAlsoWithForce) {
  const std::string in = Wav("in.wav", kStereo16, 2000);
  const std::string target = File("precious.wav", {'k', 'e', 'e', 'p'});
  fs::create_symlink(target, Dir.File("link.wav"));
  fs::create_symlink(Dir.File("nowhere.wav"), Dir.File("dangling.wav"));
  for (const char* link : {"link.wav", "dangling.wav"}) {
    for (const bool force : {false, true}) {
      std::vector<std::string> args = {"-q", in, "-o", Dir.File(link)};
      if (force) args.push_back("-f");
      const TChildResult r = Run(args);
      EXPECT_EQ(r.ExitStatus, 1);
      EXPECT_EQ(r.Err, "zorv-decode: " + Dir.File(link) + ": output is a symbolic link\n");
    }
  }
  EXPECT_EQ(ReadFile(target), (TBytes{'k', 'e', 'e', 'p'}));
  EXPECT_FALSE(fs::exists(Dir.File("nowhere.wav")));
  EXPECT_FALSE(fs::exists(Dir.File("in_dec.wav")));
}

// Two programs on one output: each writes its own temporary file, and the
// output is one complete decode; without -f the second finds the first's.
TEST_F(Faults, TwoProgramsOnOneOutputLeaveOneCompleteDecode) {
  const std::string in = LongWav("long.wav");
  ASSERT_EQ(Run({in, "-o", Dir.File("reference.wav")}).ExitStatus, 0);
  const TBytes reference = ReadFile(Dir.File("reference.wav"));
  const std::string out = Dir.File("long_dec.wav");
  for (const bool force : {true, false}) {
    fs::remove(out);
    std::vector<std::string> args = {"-q", in};
    if (force) args.push_back("-f");
    test::TChildProcess first(ZORV_DECODE_PATH, args, Dir.Path().string());
    test::TChildProcess second(ZORV_DECODE_PATH, args, Dir.Path().string());
    const TChildResult a = first.Wait();
    const TChildResult b = second.Wait();
    EXPECT_EQ(ReadFile(out), reference) << force;
    EXPECT_EQ(Names(), (std::set<std::string>{"long.wav", "long_dec.wav", "reference.wav"}));
    if (force) {
      EXPECT_EQ(a.ExitStatus, 0) << a.Err;
      EXPECT_EQ(b.ExitStatus, 0) << b.Err;
    } else {
      EXPECT_EQ(a.ExitStatus + b.ExitStatus, 1) << a.Err << b.Err;
      EXPECT_NE((a.Err + b.Err).find("zorv-decode: " + out + ": output file exists"),
                std::string::npos);
    }
  }
}

}  // namespace
}  // namespace zorv
