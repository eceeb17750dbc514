// SPDX-License-Identifier: GPL-3.0-or-later
// The names a call writes, checked before any decode: a name too long to be
// created, a report named like another file of the call (a partial file
// included), and a report that is standard output under another name.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/decode_fixture.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::TChildResult;

class CallNames : public test::DecodeTest {
 protected:
  void SetUp() override { Wav("in.wav", {}, 30000); }
  // In the scratch folder: the program, or a shell line ($zorv the program).
  TChildResult Here(const std::vector<std::string>& args) {
    test::TChildOptions options;
    options.WorkingDirectory = Dir.Path().string();
    return Run(args, options);
  }
  TChildResult Shell(const std::string& command) {
    return test::RunProgram(
        "/bin/sh",
        {"-c", "cd '" + Dir.Path().string() + "' && zorv='" + ZORV_DECODE_PATH + "' && " + command},
        Dir.Path().string());
  }
};

// 256 bytes: one more than a file system takes. Refused at once, not found
// out at the rename after the whole decode.
TEST_F(CallNames, ANameTooLongIsRefusedBeforeAnyDecode) {
  const auto tooLong = [](const std::string& extension) {
    return std::string(256 - extension.size(), 'n') + extension;
  };
  const std::vector<std::pair<std::string, std::string>> options = {
    {"-o", ".wav"},
    {"--meter-log", ".csv"},
    {"--report", ".jsonl"},
#if ZORV_HAS_PLOT
    {"--plot", ".png"},
#endif
  };
  for (const auto& [option, extension] : options) {
    SCOPED_TRACE(option);
    const TChildResult r = Here({"in.wav", option, tooLong(extension)});
    EXPECT_EQ(r.ExitStatus, 1);
    EXPECT_EQ(r.Err,
              "zorv-decode: " + tooLong(extension) + ": cannot create: File name too long\n");
    EXPECT_EQ(Names(), std::set<std::string>{"in.wav"});
  }
  // In a batch, only the input whose output would be too long.
  const std::string longest = std::string(251, 'n') + ".wav";  // 255 bytes
  fs::copy_file(Dir.File("in.wav"), Dir.File(longest));
  const TChildResult r = Here({"-q", "-d", "out", longest, "in.wav"});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: out/" + std::string(251, 'n') +
                       "_dec.wav: cannot create: File name too long\n");
  EXPECT_TRUE(fs::exists(Dir.File("out/in_dec.wav")));
}

// An interrupted decode keeps its part under the partial name: a report of
// that name would be lost, or take its place.
TEST_F(CallNames, AReportNamedLikeAFileTheCallMayWriteIsRefused) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> calls = {
      {{"in.wav", "-o", "x.wav", "--report", "x.partial.wav"},
       "the report and the outputs must be different files"},
      {{"in.wav", "--report", "in_dec.partial.wav"},
       "the report and the outputs must be different files"},
      {{"in.wav", "--meter-log", "m.csv", "--report", "m.partial.csv"},
       "the report and the meter log must be different files"},
  };
  for (const auto& [args, message] : calls) {
    SCOPED_TRACE(args.back());
    const TChildResult r = Here(args);
    EXPECT_EQ(r.ExitStatus, 2);
    EXPECT_EQ(r.Err, "zorv-decode: " + message + "\nTry 'zorv-decode --help'.\n");
    EXPECT_EQ(Names(), std::set<std::string>{"in.wav"});
  }
}

// Standard output under another name (a descriptor that is a copy of it, a
// file or pipe it goes to): the report would end up inside the WAV stream.
TEST_F(CallNames, AReportWhereTheStreamGoesIsRefused) {
  const std::string refusal =
      "zorv-decode: --report /dev/fd/5 and -o - both write to standard output: give one a "
      "file\nTry 'zorv-decode --help'.\n";
  for (const std::string target : {"> out.wav 5>&1", "5>&1 | cat > out.wav"}) {
    SCOPED_TRACE(target);
    const TChildResult r = Shell("\"$zorv\" in.wav -o - --report /dev/fd/5 " + target);
    EXPECT_EQ(r.Err, refusal);
    EXPECT_EQ(fs::file_size(Dir.File("out.wav")), 0u);
  }
  const TChildResult r = Shell("\"$zorv\" -f in.wav -o - --report out.wav > out.wav");
  EXPECT_EQ(r.ExitStatus, 2);
  EXPECT_TRUE(r.Err.starts_with("zorv-decode: --report out.wav and -o - both")) << r.Err;
  EXPECT_EQ(fs::file_size(Dir.File("out.wav")), 0u);
  // Another descriptor, a file of its own: written as asked.
  const TChildResult apart =
      Shell("\"$zorv\" -q in.wav -o - --report /dev/fd/5 > out.wav 5> r.jsonl");
  EXPECT_EQ(apart.ExitStatus, 0) << apart.Err;
  const test::TBytes report = test::ReadFile(Dir.File("r.jsonl"));
  EXPECT_EQ(std::string(report.begin(), report.begin() + 10), "{\"input\":\"");
  EXPECT_TRUE(test::ParseChunks(test::ReadFile(Dir.File("out.wav"))).has_value());
}

}  // namespace
}  // namespace zorv
