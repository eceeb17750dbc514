// SPDX-License-Identifier: GPL-3.0-or-later
// A read that fails or finds the end too early, at every read call the
// program makes of a file and of a stream (the header, the chunks before and
// behind the data, the samples, the copy of a chunk into the output): the
// decode fails with the reason and leaves nothing, or its output is the one
// a clean run writes. Never a success with a wrong file.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "tests/cli/decode_fixture.h"
#include "tests/wav/wav_builder.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TBytes;
using test::TChildResult;

class ReadFaults : public test::DecodeTest {
 protected:
  void SetUp() override {
    // A chunk on either side of the data larger than the reader holds in
    // memory (copied from the file when the output is written), and a bext.
    test::TWavBuilder wav;
    wav.Fmt(1, 2, 44100, 16).List(70001);
    wav.Chunk("data", test::SignalBytes({}, 44100));
    wav.Chunk("iXML", TBytes(150001, 'x'));
    wav.Chunk("bext", test::BextBody("take 2", ""));
    File("src.wav", wav.Bytes());
    const TChildResult clean = Run({"-q", Dir.File("src.wav"), "-o", Dir.File("reference.wav")});
    ASSERT_EQ(clean.ExitStatus, 0) << clean.Err;
    Reference = ReadFile(Dir.File("reference.wav"));
  }

  // The decode of src.wav, from the file or from standard input, with one
  // fault setting; Marked: a fault was injected.
  TChildResult Decode(bool stream, const std::string& fault) {
    fs::remove(Mark());
    std::vector<std::string> settings = {fault, "ZORV_FAULT_MARK=" + Mark()};
    settings.push_back(stream ? "ZORV_FAULT_STDIN=1" : "ZORV_FAULT_PATH=src.wav");
    if (stream) {
      // The shim is preloaded into zorv-decode only, not into the shell that
      // redirects its input (a sanitizer build's shim needs its runtime); the
      // shell keeps one ASAN_OPTIONS of the two it gets, so it is set here.
      test::TChildOptions options = test::WithFaults(settings);
      std::erase_if(options.Environment,
                    [](const std::string& v) { return v.rfind("LD_PRELOAD=", 0) == 0; });
      return test::RunProgram(
          "/bin/sh",
          {"-c", "cd '" + Dir.Path().string() +
                     "' && ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" "
                     "LD_PRELOAD='" +
                     ZORV_FAULT_SHIM_PATH + "' exec '" + ZORV_DECODE_PATH +
                     "' -q - -o out.wav < src.wav"},
          Dir.Path().string(), options);
    }
    return Run({"-q", Dir.File("src.wav"), "-o", Dir.File("out.wav")}, test::WithFaults(settings));
  }
  // Named like the children's captures, which Names() leaves out.
  std::string Mark() const { return Dir.File("child-fault-mark"); }
  bool Marked() const { return fs::exists(Mark()); }

  // Injects the fault at read 1, 2, ... until a run meets none: each run
  // either fails (exit 1, nothing left, reason) or writes the clean output.
  void EveryRead(bool stream, const std::string& setting, const std::string& reason) {
    int failed = 0;
    int correct = 0;
    bool reachedEnd = false;
    for (int n = 1; n < 400 && !reachedEnd; ++n) {
      SCOPED_TRACE(setting + std::to_string(n) + (stream ? " on standard input" : " on the file"));
      const TChildResult r = Decode(stream, setting + std::to_string(n));
      if (!Marked()) {
        reachedEnd = true;
        EXPECT_EQ(r.ExitStatus, 0) << r.Err;
      } else if (r.ExitStatus == 0) {
        ++correct;
      } else {
        ++failed;
        EXPECT_EQ(r.ExitStatus, 1) << r.Err;
        EXPECT_EQ(Names(), (std::set<std::string>{"src.wav", "reference.wav"})) << r.Err;
        if (!reason.empty()) {
          EXPECT_NE(r.Err.find(reason), std::string::npos) << r.Err;
        }
      }
      if (r.ExitStatus == 0) {
        EXPECT_EQ(ReadFile(Dir.File("out.wav")), Reference);
      }
      fs::remove(Dir.File("out.wav"));
    }
    EXPECT_TRUE(reachedEnd);
    EXPECT_GT(failed, 3);
    std::cout << "[ measured ] " << setting << (stream ? " standard input: " : " file: ") << failed
              << " failed, " << correct << " correct\n";
  }

  TBytes Reference;
};

TEST_F(ReadFaults, AFailedReadAnywhereInAFileFailsTheDecode) {
  EveryRead(false, "ZORV_FAULT_READ_FAIL_NTH=", "Input/output error");
}

TEST_F(ReadFaults, AFileThatEndsEarlyAnywhereFailsTheDecode) {
  EveryRead(false, "ZORV_FAULT_READ_END_NTH=", "");
}

TEST_F(ReadFaults, AFailedReadAnywhereInAStreamFailsTheDecode) {
  EveryRead(true, "ZORV_FAULT_READ_FAIL_NTH=", "Input/output error");
}

TEST_F(ReadFaults, AStreamThatEndsEarlyAnywhereFailsTheDecode) {
  EveryRead(true, "ZORV_FAULT_READ_END_NTH=", "");
}

// The first read is the header's: a read error with the system's reason, not
// "No data chunk".
TEST_F(ReadFaults, AFailedHeaderReadSaysWhy) {
  const TChildResult r = Decode(false, "ZORV_FAULT_READ_FAIL_NTH=1");
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: " + Dir.File("src.wav") + ": cannot read: Input/output error\n");
  const TChildResult s = Decode(true, "ZORV_FAULT_READ_FAIL_NTH=1");
  EXPECT_EQ(s.ExitStatus, 1);
  EXPECT_EQ(s.Err, "zorv-decode: -: cannot read: Input/output error\n");
}

}  // namespace
}  // namespace zorv
