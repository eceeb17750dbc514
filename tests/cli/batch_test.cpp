// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-decode on batches: output folders, existing outputs, a batch run
// twice, reports in input order, the total, the JSON Lines report, clipping,
// names that need escaping, long paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/batch_plan.h"
#include "tests/cli/decode_fixture.h"
#include "wav/md5.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TBytes;
using test::TChildResult;

const test::TWavFormat kStereo16{};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The "in -> out" lines of a report, in their order.
std::vector<std::string> Heads(const std::string& err) {
  std::vector<std::string> heads;
  for (const std::string& line : Lines(err)) {
    if (line.find(" -> ") != std::string::npos) heads.push_back(line);
  }
  return heads;
}

class Batch : public test::DecodeTest {};

TEST_F(Batch, OutputFolderTakesTheOutputsNamedAsBeside) {
  const std::string a = Wav("a.wav", kStereo16, 800, 1);
  const std::string b = Wav("b.take.wav", kStereo16, 900, 2);
  const std::string folder = Dir.File("decoded/side a");
  const TChildResult r = Run({"-d", folder, a, b});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  test::ExpectValidWav(folder + "/a_dec.wav", 800 * 4);
  test::ExpectValidWav(folder + "/b.take_dec.wav", 900 * 4);
  EXPECT_EQ(Heads(r.Err), (std::vector<std::string>{a + " -> " + folder + "/a_dec.wav",
                                                    b + " -> " + folder + "/b.take_dec.wav"}));
  EXPECT_TRUE(r.Err.ends_with("\n2 decoded\n")) << r.Err;

  File("plain", {'x'});
  const TChildResult notFolder = Run({"-d", Dir.File("plain"), a});
  EXPECT_EQ(notFolder.ExitStatus, 1);
  EXPECT_EQ(notFolder.Err,
            "zorv-decode: " + Dir.File("plain") + ": cannot create: Not a directory\n");
}

// "zorv-decode *.wav" a second time: the first run's outputs are among the
// inputs; they are skipped, never decoded into "_dec_dec" files.
TEST_F(Batch, ASecondRunOfABatchNeverDecodesItsOutputs) {
  const std::string a = Wav("a.wav", kStereo16, 700, 1);
  const std::string b = Wav("b.wav", kStereo16, 600, 2);
  ASSERT_EQ(Run({a, b}).ExitStatus, 0);
  const TBytes decodedA = ReadFile(Dir.File("a_dec.wav"));
  const std::vector<std::string> all = {a, Dir.File("a_dec.wav"), b, Dir.File("b_dec.wav")};

  TChildResult r = Run(all);
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(
      Lines(r.Err),
      (std::vector<std::string>{
          "zorv-decode: " + Dir.File("a_dec.wav") + ": output file exists (use -f to overwrite)",
          "Skipped: " + Dir.File("a_dec.wav") + " is the output of " + a,
          "zorv-decode: " + Dir.File("b_dec.wav") + ": output file exists (use -f to overwrite)",
          "Skipped: " + Dir.File("b_dec.wav") + " is the output of " + b,
          "0 decoded, 2 skipped, 2 refused"}));

  std::vector<std::string> args = all;
  args.push_back("--skip-existing");
  r = Run(args);
  EXPECT_EQ(r.ExitStatus, 0) << "skipped is not a failure";
  EXPECT_EQ(Lines(r.Err).front(), "Skipped, output file exists: " + Dir.File("a_dec.wav"));
  EXPECT_EQ(Lines(r.Err).back(), "0 decoded, 4 skipped");

  args.back() = "-f";
  r = Run(args);
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(Lines(r.Err).back(), "2 decoded, 2 skipped");
  EXPECT_EQ(ReadFile(Dir.File("a_dec.wav")), decodedA);
  EXPECT_EQ(Names(), (std::set<std::string>{"a.wav", "a_dec.wav", "b.wav", "b_dec.wav"}));
}

// --skip-existing: an output that appears while its input is decoded (a
// second run over the same inputs got there first) is skipped as it would
// have been at the start; this run's decode goes, the other's output stays.
TEST_F(Batch, AnOutputThatAppearsMeanwhileIsSkipped) {
  const std::string in = LongWav("long.wav");
  const std::string out = Dir.File("long_dec.wav");
  test::TChildProcess child(
      ZORV_DECODE_PATH, {"--skip-existing", "--report", Dir.File("r.jsonl"), in},
      Dir.Path().string(),
      test::WithFaults({"ZORV_FAULT_PATH=long.wav", "ZORV_FAULT_READ_DELAY_US=5000"}));
  ASSERT_TRUE(WaitForTemporaryOutput(100000));
  File("long_dec.wav", {'t', 'h', 'e', 'i', 'r', 's'});
  const TChildResult r = child.Wait();
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(r.Err, "Skipped, output file exists: " + out + "\n");
  EXPECT_EQ(ReadFile(out), (TBytes{'t', 'h', 'e', 'i', 'r', 's'}));
  EXPECT_EQ(Names(), (std::set<std::string>{"long.wav", "long_dec.wav", "r.jsonl"}))
      << "no temporary file left";
  const TBytes report = ReadFile(Dir.File("r.jsonl"));
  EXPECT_EQ(nlohmann::json::parse(report.begin(), report.end())["status"], "skipped");

  // Two such runs at once over the same inputs: whichever gets there first,
  // neither fails.
  std::vector<std::string> inputs = {"--skip-existing", "-q", "-j", "3"};
  for (int i = 0; i < 6; ++i)
    inputs.push_back(Wav("t" + std::to_string(i) + ".wav", kStereo16, 40000, i));
  test::TChildProcess first(ZORV_DECODE_PATH, inputs, Dir.Path().string());
  const TChildResult second = Run(inputs);
  const TChildResult firstResult = first.Wait();
  EXPECT_EQ(firstResult.ExitStatus, 0) << firstResult.Err;
  EXPECT_EQ(second.ExitStatus, 0) << second.Err;
  for (int i = 0; i < 6; ++i)
    test::ExpectValidWav(Dir.File("t" + std::to_string(i) + "_dec.wav"), 40000 * 4);
}

// An input that is the output of another input of the same call and does not
// exist yet would be read while it is written: refused before anything starts.
TEST_F(Batch, AnInputThatIsAnotherInputsOutputIsRefused) {
  const std::string big = Wav("big.wav", kStereo16, 20000);
  const std::string bigDec = Dir.File("big_dec.wav");
  const TChildResult r = Run({"-j", "2", big, bigDec});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_NE(
      r.Err.find("zorv-decode: " + bigDec + ": not decoded: it is the output of " + big + "\n"),
      std::string::npos)
      << r.Err;
  EXPECT_TRUE(r.Err.ends_with("\n1 decoded, 1 refused\n")) << r.Err;
  test::ExpectValidWav(bigDec, 20000 * 4);
  EXPECT_FALSE(fs::exists(Dir.File("big_dec_dec.wav")));
}

// Whatever order the parallel jobs end in, the reports come in input order:
// a long input first, short ones after it.
TEST_F(Batch, ReportsComeInInputOrderWithParallelJobs) {
  std::vector<std::string> inputs = {Wav("long.wav", kStereo16, 60000, 1)};
  for (int i = 0; i < 5; ++i)
    inputs.push_back(Wav("s" + std::to_string(i) + ".wav", kStereo16, 500, 2));
  inputs.push_back(Dir.File("missing.wav"));
  std::vector<std::string> args = inputs;
  args.insert(args.begin(), {"-j", "3", "-f"});
  for (int attempt = 0; attempt < 3; ++attempt) {
    const TChildResult r = Run(args);
    EXPECT_EQ(r.ExitStatus, 1);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i + 1 < inputs.size(); ++i) {
      expected.push_back(inputs[i] + " -> " + cli::DecodedName(inputs[i], std::nullopt));
    }
    EXPECT_EQ(Heads(r.Err), expected);
    const std::vector<std::string> lines = Lines(r.Err);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 2],
              "zorv-decode: " + inputs.back() + ": cannot open: No such file or directory");
    EXPECT_EQ(lines.back(), "6 decoded, 1 refused");
  }
}

// The report: one object per input, in input order, with what a script needs;
// the MD5 is the one of the output's audio data.
TEST_F(Batch, ReportHasAnObjectPerInput) {
  const std::string a = Wav("a.wav", kStereo16, 4410 * 2 + 7, 1);
  const std::string mono = Wav("m.wav", {1, 1, 48000, 24}, 3000, 2);
  const std::string bad = File("bad.wav", TBytes(100, 7));
  const std::string report = Dir.File("report.jsonl");
  TChildResult r = Run({"-q", "-l", "-12.5", "--report", report, a, bad, mono});
  EXPECT_EQ(r.ExitStatus, 1);
  const TBytes bytes = ReadFile(report);
  const std::vector<std::string> lines = Lines(std::string(bytes.begin(), bytes.end()));
  ASSERT_EQ(lines.size(), 3u);
  const auto first = nlohmann::json::parse(lines[0]);
  EXPECT_EQ(first["input"], a);
  EXPECT_EQ(first["output"], Dir.File("a_dec.wav"));
  EXPECT_EQ(first["status"], "decoded");
  EXPECT_EQ(first["message"], "Done");
  EXPECT_EQ(first["rate"], 44100);
  EXPECT_EQ(first["channels"], 2);
  EXPECT_EQ(first["format"], "int16");
  EXPECT_EQ(first["output_format"], "int16");
  EXPECT_EQ(first["frames"], 4410 * 2 + 7);
  EXPECT_DOUBLE_EQ(first["seconds"].get<double>(), (4410 * 2 + 7) / 44100.0);
  EXPECT_EQ(first["reference_level_db"], -12.5);
  EXPECT_TRUE(first["arithmetic"] == "extended" || first["arithmetic"] == "portable" ||
              first["arithmetic"] == "avx2" || first["arithmetic"] == "avx512");
  EXPECT_EQ(first["clipped_samples"], 0);
  EXPECT_TRUE(first["peak_dbfs"].is_number());
  EXPECT_GE(first["elapsed_ms"].get<int>(), 0);
  const auto decoded = test::ParseCanonical(ReadFile(Dir.File("a_dec.wav")));
  ASSERT_TRUE(decoded);
  TMd5 md5;
  md5.Update(decoded->Data.data(), decoded->Data.size());
  EXPECT_EQ(first["md5"], HexDigest(md5.Digest()));

  const auto second = nlohmann::json::parse(lines[1]);
  EXPECT_EQ(second["input"], bad);
  EXPECT_EQ(second["status"], "refused");
  EXPECT_EQ(second["message"],
            bad + ": not a RIFF file (found no RIFF header; accepted: WAV files (RIFF/WAVE))");
  EXPECT_TRUE(second["output"].is_null() && second["md5"].is_null() && second["rate"].is_null());

  const auto third = nlohmann::json::parse(lines[2]);
  EXPECT_EQ(third["format"], "int24");
  EXPECT_EQ(third["channels"], 1);

  // An existing report is replaced only with -f, and only by a complete one.
  r = Run({"-q", "--report", report, a});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: " + report + ": output file exists (use -f to overwrite)\n");
  EXPECT_EQ(ReadFile(report), bytes);
  r = Run({"-q", "--report", Dir.File("x.wav"), "-o", Dir.File("x.wav"), a});
  EXPECT_EQ(r.ExitStatus, 2);
  EXPECT_TRUE(
      r.Err.starts_with("zorv-decode: the report and the outputs must be different files\n"));
}

// Integer outputs clip; the count is the one of the decoded signal, which
// the float output holds unclipped. Clipping warns, also with -q, and the
// decode succeeds.
TEST_F(Batch, ClippingIsCountedAndFloatOutputHasNone) {
  TBytes data = test::SignalBytes(kStereo16, 20000, 4);
  for (std::size_t k = 0; k + 1 < data.size(); k += 2) {
    const auto v = static_cast<std::int16_t>(data[k] | (data[k + 1] << 8));
    const auto louder = static_cast<std::int16_t>(std::clamp(v * 6, -32768, 32767));
    data[k] = static_cast<std::uint8_t>(louder);
    data[k + 1] = static_cast<std::uint8_t>(louder >> 8);
  }
  const std::string in = File("loud.wav", test::WavBytes(kStereo16, data));
  const TChildResult asFloat = Run({"-q", "--float", in, "-o", Dir.File("float.wav")});
  ASSERT_EQ(asFloat.ExitStatus, 0) << asFloat.Err;
  EXPECT_EQ(asFloat.Err, "") << "float output clips nothing";
  std::uint32_t frames = 0;
  const auto floats =
      test::ParseCanonical(test::WithoutFact(ReadFile(Dir.File("float.wav")), frames));
  EXPECT_EQ(frames, 20000u);
  ASSERT_TRUE(floats);
  ASSERT_EQ(floats->Tag, 3);
  std::uint64_t clipped = 0;
  double peak = 0;
  for (std::size_t k = 0; k < floats->Data.size(); k += 4) {
    float f;
    std::memcpy(&f, &floats->Data[k], 4);
    const double scaled = static_cast<double>(f) * 32768.0;
    clipped += scaled >= 32768.0 || scaled <= -32769.0;
    peak = std::max(peak, std::fabs(static_cast<double>(f)));
  }
  ASSERT_GT(clipped, 0u);
  char expected[96];
  std::snprintf(expected, sizeof expected, "clipped %llu samples (peak %+.1f dBFS)\n",
                static_cast<unsigned long long>(clipped), 20.0 * std::log10(peak));

  // -q: the warning, and the files it belongs to.
  const TChildResult integer = Run({"-q", in});
  EXPECT_EQ(integer.ExitStatus, 0);
  EXPECT_EQ(integer.Err, in + " -> " + Dir.File("loud_dec.wav") + "\n" + expected);
  test::ExpectValidWav(Dir.File("loud_dec.wav"), 20000 * 4);
}

// Names are printed with their control characters escaped; a long path's
// output goes beside it like any other.
TEST_F(Batch, NamesAreEscapedAndLongPathsKeepTheirFolder) {
  const std::string odd = Wav("tape\n\x1b[2J.wav", kStereo16, 300);
  TChildResult r = Run({odd});
  EXPECT_EQ(r.ExitStatus, 0);
  EXPECT_TRUE(r.Err.starts_with(Dir.File("tape\\n\\x1b[2J.wav") + " -> " +
                                Dir.File("tape\\n\\x1b[2J_dec.wav") + "\nDone\n"))
      << r.Err;
  EXPECT_TRUE(fs::exists(Dir.File("tape\n\x1b[2J_dec.wav")));

  std::string folder = Dir.File("");
  while (folder.size() < 250) folder += "deep_folder_name/";
  fs::create_directories(folder);
  const std::string deep = folder + "take.wav";
  test::WriteFile(deep, test::WavBytes(kStereo16, test::SignalBytes(kStereo16, 300)));
  r = Run({deep});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  test::ExpectValidWav(folder + "take_dec.wav", 300 * 4);
  EXPECT_FALSE(fs::exists(Dir.File("output.wav")));
}

// -q: nothing for a plain success, the error for a failure.
TEST_F(Batch, QuietKeepsOnlyErrorsAndWarnings) {
  const std::string a = Wav("a.wav", kStereo16, 300);
  TChildResult r = Run({"-q", a});
  EXPECT_EQ(r.ExitStatus, 0);
  EXPECT_EQ(r.Err, "");
  r = Run({"-q", a, Dir.File("missing.wav")});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: " + Dir.File("a_dec.wav") +
                       ": output file exists (use -f to overwrite)\nzorv-decode: " +
                       Dir.File("missing.wav") + ": cannot open: No such file or directory\n");
}

}  // namespace
}  // namespace zorv
