// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-decode for scripts and audits: each warning as a code in the report,
// --strict failing exactly the inputs that warn, the report on standard
// output, the input's checksum and the other audit fields, the measurements
// as JSON, and one error line per file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/scratch_dir.h"
#include "tests/app/tone_material.h"
#include "tests/cli/child_process.h"
#include "tools/wav_test_file.h"
#include "zorv_version.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using test::TBytes;
using test::TChildResult;
using test::TWavFormat;

const TWavFormat kStereo16{};
const TWavFormat kStereoFloat{3, 2, 44100, 32};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Text(const std::string& path) {
  const TBytes bytes = test::ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

std::vector<json> JsonLines(const std::string& text) {
  std::vector<json> objects;
  for (const std::string& line : Lines(text)) objects.push_back(json::parse(line));
  return objects;
}

std::set<std::string> Codes(const json& line) {
  std::set<std::string> codes;
  for (const json& warning : line["warnings"]) {
    EXPECT_TRUE(warning["message"].is_string() && !warning["message"].get<std::string>().empty());
    codes.insert(warning["code"].get<std::string>());
  }
  return codes;
}

void PutLe32(TBytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

class AuditReport : public ::testing::Test {
 protected:
  TChildResult Run(const std::vector<std::string>& args) {
    test::TChildOptions options;
    options.WorkingDirectory = Dir.Path().string();
    return test::RunProgram(ZORV_DECODE_PATH, args, Dir.Path().string(), options);
  }
  TChildResult Shell(const std::string& command) {
    const std::string line =
        "cd '" + Dir.Path().string() + "' && zorv='" + ZORV_DECODE_PATH + "' && " + command;
    return test::RunProgram("/bin/bash", {"-c", line}, Dir.Path().string());
  }
  std::string File(const std::string& name, const TBytes& bytes) {
    test::WriteFile(Dir.File(name), bytes);
    return name;
  }
  // The MD5 of bytes, by md5sum: a checksum the program did not compute.
  std::string Md5Sum(const TBytes& bytes) {
    test::WriteFile(Dir.File("md5-of.bin"), bytes);
    const TChildResult r =
        test::RunProgram("md5sum", {Dir.File("md5-of.bin")}, Dir.Path().string());
    EXPECT_EQ(r.ExitStatus, 0) << r.Err;
    return r.Out.substr(0, 32);
  }

  // One input for each warning, and a clean one; name -> the code it gives.
  std::vector<std::pair<std::string, std::string>> WarningInputs() {
    const TBytes signal = test::SignalBytes(kStereo16, 20000, 4);
    std::vector<std::pair<std::string, std::string>> inputs;
    inputs.emplace_back(File("clean.wav", test::WavBytes(kStereo16, signal)), "");
    // The header states more data than the file holds.
    inputs.emplace_back(
        File("short.wav",
             test::WavBytes(kStereo16, signal, static_cast<std::uint32_t>(signal.size() * 2))),
        "short_input");
    // Six times louder: the integer output clips.
    TBytes loud = signal;
    for (std::size_t k = 0; k + 1 < loud.size(); k += 2) {
      const auto v = static_cast<std::int16_t>(loud[k] | (loud[k + 1] << 8));
      const auto louder = static_cast<std::int16_t>(std::clamp(v * 6, -32768, 32767));
      loud[k] = static_cast<std::uint8_t>(louder);
      loud[k + 1] = static_cast<std::uint8_t>(louder >> 8);
    }
    inputs.emplace_back(File("loud.wav", test::WavBytes(kStereo16, loud)), "clipped");
    // Two bytes of a frame at the end of the data.
    TBytes ragged = signal;
    ragged.insert(ragged.end(), {1, 2});
    inputs.emplace_back(File("ragged.wav", test::WavBytes(kStereo16, ragged)),
                        "partial_frame_dropped");
    // A chunk behind the data that runs past the end of the file.
    TBytes cut = test::WavBytes(kStereo16, signal);
    for (const char c : std::string("LIST")) cut.push_back(static_cast<std::uint8_t>(c));
    for (int i = 0; i < 4; ++i) cut.push_back(0);
    PutLe32(cut, cut.size() - 4, 1000);
    cut.insert(cut.end(), 10, 'x');
    PutLe32(cut, 4, static_cast<std::uint32_t>(cut.size() - 8));
    inputs.emplace_back(File("cut.wav", cut), "chunk_left_out");
    // A NaN in a float input.
    TBytes floats = test::SignalBytes(kStereoFloat, 20000, 4);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(&floats[1000 * 8], &nan, 4);
    inputs.emplace_back(File("nan.wav", test::WavBytes(kStereoFloat, floats)), "non_finite_input");
    return inputs;
  }

  test::TScratchDir Dir{ZORV_CLI_SCRATCH};
};

// Every warning comes as its code; plain zorv-decode decodes them all as
// before (exit 0, the lines in message), --strict fails exactly those and
// keeps none of their outputs.
TEST_F(AuditReport, EachWarningIsACodeAndStrictFailsExactlyThoseInputs) {
  const auto inputs = WarningInputs();
  std::vector<std::string> args = {"-q", "-j", "2", "-d", "plain", "--report", "plain.jsonl"};
  for (const auto& [name, code] : inputs) args.push_back(name);
  TChildResult r = Run(args);
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  std::vector<json> report = JsonLines(Text(Dir.File("plain.jsonl")));
  ASSERT_EQ(report.size(), inputs.size());
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const auto& [name, code] = inputs[i];
    SCOPED_TRACE(name);
    EXPECT_EQ(report[i]["input"], name);
    EXPECT_EQ(report[i]["status"], "decoded");
    EXPECT_EQ(Codes(report[i]), code.empty() ? std::set<std::string>{} : std::set{code});
    for (const json& warning : report[i]["warnings"]) {
      EXPECT_NE(report[i]["message"].get<std::string>().find(warning["message"].get<std::string>()),
                std::string::npos)
          << "the message keeps the warning's line";
    }
    EXPECT_TRUE(fs::exists(Dir.File("plain/" + fs::path(name).stem().string() + "_dec.wav")));
  }

  args = {"-q", "-j", "2", "-d", "strict", "--strict", "--report", "strict.jsonl"};
  for (const auto& [name, code] : inputs) args.push_back(name);
  r = Run(args);
  EXPECT_EQ(r.ExitStatus, 1);
  report = JsonLines(Text(Dir.File("strict.jsonl")));
  ASSERT_EQ(report.size(), inputs.size());
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const auto& [name, code] = inputs[i];
    SCOPED_TRACE(name);
    const std::string output = "strict/" + fs::path(name).stem().string() + "_dec.wav";
    EXPECT_EQ(report[i]["status"], code.empty() ? "decoded" : "failed");
    EXPECT_EQ(Codes(report[i]), code.empty() ? std::set<std::string>{} : std::set{code});
    EXPECT_EQ(fs::exists(Dir.File(output)), code.empty()) << "kept only without a warning";
    EXPECT_EQ(report[i]["output"].is_null(), !code.empty());
    EXPECT_EQ(report[i]["md5"].is_null(), !code.empty());
    const std::string notKept = "zorv-decode: " + output + ": not kept (--strict and a warning)\n";
    EXPECT_EQ(r.Err.find(notKept) != std::string::npos, !code.empty()) << r.Err;
  }
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(Dir.File("strict"))) {
    left.insert(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::set<std::string>{"clean_dec.wav"}) << "no temporary file left behind";
}

// The README's audit lists the doubtful decodes with the refused and failed
// ones.
TEST_F(AuditReport, TheReadmesJqSelectionListsTheDoubtfulDecodes) {
  if (!test::HaveTool("jq")) GTEST_SKIP() << "jq is not installed (scripts/install-deps.sh)";
  std::vector<std::string> args = {"-q", "--report", "r.jsonl", "missing.wav"};
  std::set<std::string> expected = {"missing.wav"};
  for (const auto& [name, code] : WarningInputs()) {
    args.push_back(name);
    if (!code.empty()) expected.insert(name);
  }
  EXPECT_EQ(Run(args).ExitStatus, 1);
  const TChildResult r =
      Shell("jq -r 'select(.status != \"decoded\" or (.warnings | length) > 0) | .input' r.jsonl");
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  const std::vector<std::string> listed = Lines(r.Out);
  EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), expected);
  EXPECT_EQ(listed.size(), expected.size());
}

// "--report -": the report alone on standard output, JSON Lines a JSON tool
// reads; the devices that stand for a stream are written to, not replaced.
TEST_F(AuditReport, TheReportGoesToStandardOutputAndToDevices) {
  File("a.wav", test::WavBytes(kStereo16, test::SignalBytes(kStereo16, 5000)));
  TChildResult r = Run({"--report", "-", "a.wav", "missing.wav", "-d", "out"});
  EXPECT_EQ(r.ExitStatus, 1);
  const std::vector<json> report = JsonLines(r.Out);
  ASSERT_EQ(report.size(), 2u) << "standard output holds the report and nothing else";
  EXPECT_EQ(report[0]["status"], "decoded");
  EXPECT_EQ(report[1]["message"], "missing.wav: cannot open: No such file or directory");
  EXPECT_NE(r.Err.find("a.wav -> out/a_dec.wav\nDone\n"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("zorv-decode: missing.wav: cannot open: No such file or directory\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(Dir.File("-")));

  r = Shell(
      "\"$zorv\" -q -f --report - a.wav -d out | python3 -m json.tool --json-lines > pretty.txt;"
      " echo \"${PIPESTATUS[@]}\"");
  EXPECT_EQ(r.Out, "0 0\n") << r.Err;
  EXPECT_NE(Text(Dir.File("pretty.txt")).find("\"input_md5\": "), std::string::npos);

  r = Run({"-q", "-f", "--report", "/dev/stdout", "a.wav", "-d", "out"});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  ASSERT_EQ(JsonLines(r.Out).size(), 1u) << r.Out;
  EXPECT_EQ(JsonLines(r.Out)[0]["input"], "a.wav");

  // A character device: written to, without -f, and still a device.
  r = Run({"-q", "-f", "--report", "/dev/null", "a.wav", "-d", "out"});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  struct stat info {};
  ASSERT_EQ(::stat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));

  // The measurements too; their lines then go to standard error.
  r = Run({"--measure-level", "--report", "-", "a.wav"});
  ASSERT_EQ(JsonLines(r.Out).size(), 1u) << r.Out;
  EXPECT_TRUE(r.Err.starts_with("a.wav: no steady tone")) << r.Err;
}

// input_md5 is the MD5 of the input's data chunk as md5sum computes it, of a
// file with chunks around its data, of one shorter than its header and of a
// stream; the inputs are left as they were; the sizes, levels, tool and times.
TEST_F(AuditReport, TheAuditFieldsNameTheInputTheOutputTheToolAndTheTime) {
  const TBytes signal = test::SignalBytes(kStereo16, 30000, 2);
  const TBytes listed = test::WavBytes(kStereo16, signal, std::nullopt, true);
  File("listed.wav", listed);
  const TBytes shortFile = test::WavBytes(kStereo16, signal, 200000);
  File("short.wav", shortFile);
  const auto chunks = test::ParseChunks(listed);
  ASSERT_TRUE(chunks && chunks->Find("data") && chunks->Find("LIST"));
  const std::string listedMd5 = Md5Sum(chunks->Find("data")->Body);
  const std::string shortMd5 = Md5Sum(TBytes(shortFile.begin() + 44, shortFile.end()));
  ASSERT_EQ(listedMd5, Md5Sum(signal));

  TChildResult r = Run({"-q", "-l", "-12.5", "-j", "1", "--report", "r.jsonl", "listed.wav",
                        "short.wav", "-d", "out"});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  r = Shell("\"$zorv\" -q -l -12.5 --report s.jsonl - -o out/stream.wav < listed.wav");
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(test::ReadFile(Dir.File("listed.wav")), listed);
  EXPECT_EQ(test::ReadFile(Dir.File("short.wav")), shortFile);

  std::vector<json> report = JsonLines(Text(Dir.File("r.jsonl")));
  const std::vector<json> stream = JsonLines(Text(Dir.File("s.jsonl")));
  ASSERT_EQ(report.size(), 2u);
  ASSERT_EQ(stream.size(), 1u);
  EXPECT_EQ(report[0]["input_md5"], listedMd5);
  EXPECT_EQ(report[1]["input_md5"], shortMd5);
  EXPECT_EQ(stream[0]["input_md5"], listedMd5);
  EXPECT_NE(report[0]["input_md5"], report[0]["md5"]);

  EXPECT_EQ(report[0]["input_size"], listed.size());
  EXPECT_EQ(report[1]["input_size"], shortFile.size());
  EXPECT_TRUE(stream[0]["input_size"].is_null());
  EXPECT_EQ(report[0]["output_size"], fs::file_size(Dir.File("out/listed_dec.wav")));
  EXPECT_EQ(stream[0]["output_size"], fs::file_size(Dir.File("out/stream.wav")));

  // "2026-12-09T10:41:07.123Z": digits where the shape has 9.
  const auto utc = [](const std::string& text) {
    const std::string_view shape = "9999-99-99T99:99:99.999Z";
    return text.size() == shape.size() &&
           std::equal(shape.begin(), shape.end(), text.begin(), [](char s, char t) {
             return s == '9' ? std::isdigit(static_cast<unsigned char>(t)) != 0 : s == t;
           });
  };
  report.push_back(stream[0]);
  for (const json& line : report) {
    EXPECT_EQ(line["tool"], "zorv-decode " ZORV_VERSION_TEXT);
    const std::string started = line["started"], finished = line["finished"];
    EXPECT_TRUE(utc(started)) << started;
    EXPECT_TRUE(utc(finished)) << finished;
    EXPECT_LE(started, finished);
    const json level = json::array({json::object({{"frame", 0}, {"level_db", -12.5}})});
    EXPECT_EQ(line["levels"], json::array({level, level})) << "one history per channel";
  }
}

// --measure-level --report: per input the tone of each channel, the level
// it suggests or why none.
TEST_F(AuditReport, MeasurementsGoIntoTheReportAsObjects) {
  const TWavFormat format{1, 2, 44100, 16};
  const auto left = test::TChannelBuilder(44100, 3).Silence(2.0).Tone(1000, -14.0, 3.0).Music(1.0);
  const auto right = test::TChannelBuilder(44100, 4).Silence(2.0).Tone(1000, -15.0, 3.0).Music(1.0);
  test::WriteFile(Dir.File("tape.wav"), test::ToneFile(format, left.Samples, &right.Samples));
  File("plain.wav", test::WavBytes(format, test::SignalBytes(format, 50000)));
  const TChildResult r =
      Run({"--measure-level", "--report", "m.jsonl", "tape.wav", "plain.wav", "gone.wav"});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(Lines(r.Out).size(), 2u) << "the lines as before";
  EXPECT_NE(r.Err.find("zorv-decode: gone.wav: cannot open: No such file or directory\n"),
            std::string::npos)
      << r.Err;
  const std::vector<json> report = JsonLines(Text(Dir.File("m.jsonl")));
  ASSERT_EQ(report.size(), 3u);

  const json& tape = report[0];
  EXPECT_EQ(tape["status"], "measured");
  EXPECT_EQ(tape["suggested_level_db"], -14.5);
  EXPECT_TRUE(tape["no_level_reason"].is_null());
  EXPECT_EQ(tape["message"], Lines(r.Out)[0]);
  ASSERT_EQ(tape["channels"].size(), 2u);
  for (int c = 0; c < 2; ++c) {
    const json& channel = tape["channels"][c];
    EXPECT_EQ(channel["channel"], c + 1);
    EXPECT_EQ(channel["frequency_hz"], 1000.0);
    EXPECT_NEAR(channel["level_dbfs"].get<double>(), c == 0 ? -14.0 : -15.0, 0.05);
    EXPECT_EQ(channel["start_seconds"], 2.0);
    EXPECT_EQ(channel["end_seconds"], 5.0);
  }
  EXPECT_NEAR(tape["channel_spread_db"].get<double>(), 1.0, 0.05);

  EXPECT_EQ(report[1]["status"], "no_level");
  EXPECT_TRUE(report[1]["suggested_level_db"].is_null());
  EXPECT_EQ(report[1]["no_level_reason"], "no_tone");
  EXPECT_TRUE(report[1]["channels"][0]["frequency_hz"].is_null());

  EXPECT_EQ(report[2]["status"], "refused");
  EXPECT_EQ(report[2]["no_level_reason"], "unreadable");
  EXPECT_EQ(report[2]["message"], "gone.wav: cannot open: No such file or directory");
  for (const json& line : report) EXPECT_EQ(line["tool"], "zorv-decode " ZORV_VERSION_TEXT);
}

// A file that cannot be read for want of permission: one line with the
// system's reason. Root reads it anyway.
TEST_F(AuditReport, AnUnreadableFileIsOneLineWithTheSystemsReason) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: every file is readable";
  File("locked.wav", test::WavBytes(kStereo16, test::SignalBytes(kStereo16, 1000)));
  fs::permissions(Dir.File("locked.wav"), fs::perms::none);
  const TChildResult r = Run({"locked.wav"});
  fs::permissions(Dir.File("locked.wav"), fs::perms::owner_all);
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: locked.wav: cannot open: Permission denied\n");
}

}  // namespace
}  // namespace zorv
