// SPDX-License-Identifier: GPL-3.0-or-later
// No input of a call is ever written, whatever ends it: an input that is a
// name the call may write (an output's partial name, by its name or as the
// same file under another) refuses the call before anything is written; a
// NAME.partial.wav that exists is another's and stays without -f.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "tests/cli/decode_fixture.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TBytes;
using test::TChildResult;

constexpr std::uint32_t kBlockBytes = 17640;  // 100 ms of 16-bit stereo at 44.1 kHz

class InputGuard : public test::DecodeTest {
 protected:
  test::TChildOptions Slow(const std::string& input) {
    return test::WithFaults({"ZORV_FAULT_PATH=" + input, "ZORV_FAULT_READ_DELAY_US=3000"});
  }
};

// tape.partial.wav decoded to tape.wav: interrupted, the part would be kept
// as tape.partial.wav, the input. Refused at once, also where the input is
// that file under another name (a hard link, a symbolic link to it), the
// partial file of another input's output, or of the meter log.
TEST_F(InputGuard, AnInputThatIsAPartialNameRefusesTheCallBeforeAnythingIsWritten) {
  const std::string tape = LongWav("tape.partial.wav");
  const TBytes before = ReadFile(tape);
  const std::string other = Wav("a.wav", {1, 2, 44100, 16}, 3000);
  fs::create_hard_link(tape, Dir.File("hard.wav"));
  fs::create_symlink(tape, Dir.File("soft.wav"));
  const std::string reason =
      ": the input file cannot be an output (the partial file of an interrupted "
      "decode into ";
  struct TCase {
    std::vector<std::string> Args;
    std::string Line;
  };
  const std::vector<TCase> cases = {
      {{tape, "-o", Dir.File("tape.wav")},
       Dir.File("tape.partial.wav") + reason + Dir.File("tape.wav") + ")"},
      {{"-f", Dir.File("hard.wav"), "-o", Dir.File("tape.wav")},
       Dir.File("tape.partial.wav") + reason + Dir.File("tape.wav") + ")"},
      {{Dir.File("soft.wav"), "-o", Dir.File("./sub/../tape.wav")},
       Dir.File("./sub/../tape.partial.wav") + reason + Dir.File("./sub/../tape.wav") + ")"},
      // a.wav's output is a_dec.wav: its partial file is an input of the call.
      {{"-j", "1", other, Dir.File("hard.wav"), "-d", Dir.File("x"), "--report",
        Dir.File("r.jsonl")},
       ""},
      {{"-o", Dir.File("m.wav"), "--meter-log", Dir.File("tape.csv")},
       Dir.File("tape.partial.csv") + ": the input file cannot be an output (the meter log's "
                                      "partial file)"},
  };
  fs::create_directories(Dir.File("sub"));
  fs::create_directories(Dir.File("x"));
  fs::copy_file(tape, Dir.File("x/a_dec.partial.wav"));
  fs::copy_file(tape, Dir.File("tape.partial.csv"));
  const std::set<std::string> names = Names();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    std::vector<std::string> args = cases[i].Args;
    if (i == 3) args.push_back(Dir.File("x/a_dec.partial.wav"));
    if (i == 4) args.push_back(Dir.File("tape.partial.csv"));
    const TChildResult r = Run(args);
    EXPECT_EQ(r.ExitStatus, 1) << i;
    const std::string line =
        i == 3 ? Dir.File("x/a_dec.partial.wav") + reason + Dir.File("x/a_dec.wav") + ")"
               : cases[i].Line;
    EXPECT_EQ(r.Err, "zorv-decode: " + line + "\n") << i;
    EXPECT_EQ(Names(), names) << i << ": nothing written";
    EXPECT_EQ(ReadFile(tape), before);
  }
}

// A NAME.partial.wav that exists is not this call's: interrupted, the decode
// keeps its part as NAME.partial-2.wav (then -3) and says so; with -f it
// replaces NAME.partial.wav.
TEST_F(InputGuard, AnExistingPartialFileIsKeptWithoutForce) {
  const std::string in = LongWav("long.wav");
  const TBytes foreign{'m', 'i', 'n', 'e'};
  File("long_dec.partial.wav", foreign);
  for (const char* expected :
       {"long_dec.partial-2.wav", "long_dec.partial-3.wav", "long_dec.partial.wav"}) {
    const bool force = std::string(expected) == "long_dec.partial.wav";
    std::vector<std::string> args = {in};
    if (force) args.push_back("-f");
    test::TChildProcess child(ZORV_DECODE_PATH, args, Dir.Path().string(), Slow("long.wav"));
    ASSERT_TRUE(WaitForTemporaryOutput(44 + 3 * kBlockBytes));
    child.Signal(SIGINT);
    const TChildResult r = child.Wait();
    EXPECT_EQ(r.ExitStatus, 130);
    EXPECT_NE(r.Err.find("Interrupted; what was decoded is in: " + Dir.File(expected) + "\n"),
              std::string::npos)
        << r.Err;
    const auto image = test::ParseCanonical(ReadFile(Dir.File(expected)));
    ASSERT_TRUE(image) << expected;
    EXPECT_GE(image->DataSize, 3u * kBlockBytes);
    if (!force) {
      EXPECT_EQ(ReadFile(Dir.File("long_dec.partial.wav")), foreign);
    }
  }
  EXPECT_FALSE(fs::exists(Dir.File("long_dec.wav")));
}

}  // namespace
}  // namespace zorv
