// SPDX-License-Identifier: GPL-3.0-or-later
// Other tools as peers: files that sox writes in every accepted layout and
// rate are decoded, and sox and libsndfile read every output without complaint
// as the input's format and length, with the input's chunks.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dsp/sample_rates.h"
#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tools/wav_test_file.h"

namespace zorv {
namespace {

using Fields = std::map<std::string, std::string>;

// "Key   : value" lines of a tool's report (split at the first colon).
Fields ParseReport(const std::string& text) {
  Fields fields;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = line.substr(0, colon);
    key.erase(key.find_last_not_of(' ') + 1);
    const std::size_t value = line.find_first_not_of(' ', colon + 1);
    fields[key] = value == std::string::npos ? "" : line.substr(value);
  }
  return fields;
}

// sox --i's description of the audio, without what names the file itself.
Fields SoxAudioFields(const std::string& report) {
  Fields fields = ParseReport(report);
  fields.erase("Input File");
  fields.erase("File Size");
  fields.erase("Bit Rate");
  return fields;
}

struct Layout {
  int bits;
  const char* encoding;
};

TEST(ToolsAsPeers, SoxFilesOfEveryAcceptedLayoutDecodeIntoFilesTheToolsRead) {
  if (!test::HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
  const bool haveSndfile = test::HaveTool("sndfile-info");
  test::TScratchDir dir(ZORV_CLI_SCRATCH);
  const std::string scratch = dir.Path().string();

  const Layout layouts[] = {{16, "signed-integer"},
                            {24, "signed-integer"},
                            {32, "signed-integer"},
                            {32, "floating-point"}};
  std::vector<std::string> inputs;
  bool extensibleSeen = false;
  for (const Layout& layout : layouts) {
    for (const int channels : {1, 2}) {
      for (const std::uint32_t rate : kSupportedRates) {
        const std::string name =
            dir.File(std::to_string(layout.bits) + layout.encoding[0] + "_" +
                     std::to_string(channels) + "ch_" + std::to_string(rate) + ".wav");
        std::vector<std::string> args = {"-n",
                                         "-r",
                                         std::to_string(rate),
                                         "-c",
                                         std::to_string(channels),
                                         "-b",
                                         std::to_string(layout.bits),
                                         "-e",
                                         layout.encoding,
                                         name,
                                         "synth",
                                         "0.12",
                                         "sine",
                                         "300"};
        if (channels == 2) args.insert(args.end(), {"sine", "3000"});
        args.insert(args.end(), {"vol", "0.3"});
        const test::TChildResult made = test::RunProgram("sox", args, scratch);
        ASSERT_EQ(made.ExitStatus, 0) << made.Err;
        const test::TBytes bytes = test::ReadFile(name);
        ASSERT_GT(bytes.size(), 22u);
        extensibleSeen = extensibleSeen || (bytes[20] == 0xFE && bytes[21] == 0xFF);
        inputs.push_back(name);
      }
    }
  }
  EXPECT_TRUE(extensibleSeen) << "sox wrote no WAVE_FORMAT_EXTENSIBLE file this time";

  std::vector<std::string> args = {"-q", "-j", "2"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  const test::TChildResult decoded = test::RunProgram(ZORV_DECODE_PATH, args, scratch);
  ASSERT_EQ(decoded.ExitStatus, 0) << decoded.Err;

  for (const std::string& input : inputs) {
    const std::string output = input.substr(0, input.size() - 4) + "_dec.wav";
    SCOPED_TRACE(output);
    const test::TChildResult in = test::RunProgram("sox", {"--i", input}, scratch);
    const test::TChildResult out = test::RunProgram("sox", {"--i", output}, scratch);
    ASSERT_EQ(out.ExitStatus, 0);
    // The output has the input's own chunks (an EXTENSIBLE fmt, a fact
    // chunk): sox has nothing to note about it.
    EXPECT_EQ(out.Err, "") << "sox complains";
    const Fields expected = SoxAudioFields(in.Out);
    ASSERT_TRUE(expected.count("Duration") && expected.count("Sample Encoding")) << in.Out;
    EXPECT_EQ(SoxAudioFields(out.Out), expected);

    const auto inputChunks = test::ParseChunks(test::ReadFile(input));
    const auto outputChunks = test::ParseChunks(test::ReadFile(output));
    ASSERT_TRUE(inputChunks && outputChunks);
    EXPECT_TRUE(outputChunks->Consistent);
    ASSERT_EQ(outputChunks->Ids(), inputChunks->Ids());
    for (std::size_t k = 0; k < inputChunks->Chunks.size(); ++k) {
      if (inputChunks->Chunks[k].Id == "data") continue;
      EXPECT_EQ(outputChunks->Chunks[k].Body, inputChunks->Chunks[k].Body)
          << inputChunks->Chunks[k].Id;
    }

    if (!haveSndfile) continue;
    const test::TChildResult info = test::RunProgram("sndfile-info", {output}, scratch);
    EXPECT_EQ(info.ExitStatus, 0);
    for (const char* complaint : {"should", "***", "Error", "Warning", "error"}) {
      EXPECT_EQ(info.Out.find(complaint), std::string::npos) << info.Out;
    }
    const Fields fields = ParseReport(info.Out);
    const test::TFileChunk* fmt = outputChunks->Find("fmt ");
    const test::TFileChunk* data = outputChunks->Find("data");
    ASSERT_TRUE(fmt && data && fmt->Body.size() >= 16);
    const std::uint32_t align = fmt->Body[12] | (fmt->Body[13] << 8);
    EXPECT_EQ(fields.at("Channels"), std::to_string(fmt->Body[2] | (fmt->Body[3] << 8)));
    EXPECT_EQ(fields.at("Frames"), std::to_string(data->Size / align));
  }
  if (!haveSndfile) GTEST_SKIP() << "sndfile-info is not installed; only sox was asked";
}

}  // namespace
}  // namespace zorv
