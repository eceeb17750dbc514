// SPDX-License-Identifier: GPL-3.0-or-later
// The bundle in real hosts from the distribution: its Turtle files through
// the validator and the plugin lister, lv2file decoding files against
// zorv-decode's output, and jalv running it live on a JACK server with the
// dummy driver (no sound card, no sound server).
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "plugin/plugin_uris.h"
#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tests/plugin/sound_file.h"
#include "tests/wav/wav_builder.h"
#include "tools/wav_test_file.h"
#include "wav/coding_history.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::ReadSound;
using test::TSound;

// While it lives, the programs started load the sanitizers' runtimes first
// when the plugin is built with them (and the hosts' own leaks are not
// reported); otherwise it changes nothing.
class THostRuntime {
 public:
  THostRuntime() {
#ifdef ZORV_HOST_PRELOAD
    setenv("LD_PRELOAD", ZORV_HOST_PRELOAD, 1);
    const char* options = getenv("ASAN_OPTIONS");
    Options_ = options != nullptr ? options : "";
    setenv("ASAN_OPTIONS", (Options_ + ":detect_leaks=0").c_str(), 1);
#endif
  }
  ~THostRuntime() {
#ifdef ZORV_HOST_PRELOAD
    unsetenv("LD_PRELOAD");
    setenv("ASAN_OPTIONS", Options_.c_str(), 1);
#endif
  }
  THostRuntime(const THostRuntime&) = delete;
  THostRuntime& operator=(const THostRuntime&) = delete;

 private:
  std::string Options_;
};

class PluginHost : public testing::Test {
 protected:
  void SetUp() override {
    // The freshly built bundle, and nothing installed elsewhere.
    setenv("LV2_PATH", fs::path(ZORV_LV2_BUNDLE).parent_path().c_str(), 1);
    for (const char* tool :
         {"lv2_validate", "lv2ls", "lv2info", "lv2file", "jalv", "jackd", "jack_wait"}) {
      ASSERT_TRUE(test::HaveTool(tool)) << tool << " is missing: scripts/install-deps.sh";
    }
  }

  std::string Scratch() const { return Dir_.Path().string(); }
  std::string File(const std::string& name) const { return Dir_.File(name); }

  test::TChildResult Run(const std::string& program, const std::vector<std::string>& args) {
    return test::RunProgram(program, args, Scratch());
  }

  // Writes a synthetic input of the format, one second long.
  std::string Input(const std::string& name, const test::TWavFormat& format,
                    std::uint32_t frames = 44100) {
    const std::string path = File(name);
    test::WriteFile(path, test::WavBytes(format, test::SignalBytes(format, frames)));
    return path;
  }

  // lv2file applies the plugin; its clipping check is off, since it clamps
  // samples beyond full scale in a float output.
  test::TChildResult Lv2File(const std::string& uri, const std::string& in, const std::string& out,
                             std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--ignore-clipping", "-i", in, "-o", out};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(uri);
    THostRuntime runtime;
    return Run("lv2file", args);
  }

  std::string ZorvDecode(const std::string& in, std::vector<std::string> extra = {}) {
    const std::string out = in.substr(0, in.size() - 4) + "_zorv.wav";
    std::vector<std::string> args = {"-q", "-f", "-o", out};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(in);
    const test::TChildResult result = Run(ZORV_DECODE_PATH, args);
    EXPECT_EQ(result.ExitStatus, 0) << result.Err;
    return out;
  }

 private:
  test::TScratchDir Dir_{ZORV_PLUGIN_SCRATCH};
};

const test::TWavFormat kFloatStereo{.Tag = 3, .Channels = 2, .SampleRate = 44100, .Bits = 32};
const test::TWavFormat kFloatMono{.Tag = 3, .Channels = 1, .SampleRate = 48000, .Bits = 32};
const test::TWavFormat kInt16Stereo{.Tag = 1, .Channels = 2, .SampleRate = 44100, .Bits = 16};

TEST_F(PluginHost, TheTurtleFilesPassTheValidatorWhichRejectsABrokenCopy) {
  const std::string manifest = std::string(ZORV_LV2_BUNDLE) + "/manifest.ttl";
  const std::string plugins = std::string(ZORV_LV2_BUNDLE) + "/zorv.ttl";
  const test::TChildResult valid = Run("lv2_validate", {manifest, plugins});
  EXPECT_EQ(valid.ExitStatus, 0) << valid.Out << valid.Err;
  EXPECT_NE(valid.Out.find("Found 0 errors"), std::string::npos) << valid.Out;

  // The same file with a port index that is not a number.
  test::TBytes text = test::ReadFile(plugins);
  std::string broken(text.begin(), text.end());
  const std::size_t at = broken.find("lv2:index 0 ;");
  ASSERT_NE(at, std::string::npos);
  broken.replace(at, 13, "lv2:index \"zero\" ;");
  const std::string copy = File("zorv.ttl");
  test::WriteFile(copy, test::TBytes(broken.begin(), broken.end()));
  const test::TChildResult invalid = Run("lv2_validate", {manifest, copy});
  EXPECT_NE(invalid.ExitStatus, 0) << invalid.Out << invalid.Err;
}

TEST_F(PluginHost, TheListerShowsBothPluginsWithTheirPorts) {
  const test::TChildResult list = Run("lv2ls", {});
  ASSERT_EQ(list.ExitStatus, 0) << list.Err;
  EXPECT_EQ(list.Out, std::string(plugin::kMonoUri) + "\n" + plugin::kStereoUri + "\n");

  struct Expected {
    const char* uri;
    std::vector<std::string> symbols;
    const char* latency;
  } plugins[] = {
      {plugin::kStereoUri,
       {"level", "in_l", "in_r", "out_l", "out_r", "gain_a_l", "gain_b_l", "gain_c_l", "gain_d_l",
        "gain_a_r", "gain_b_r", "gain_c_r", "gain_d_r", "latency"},
       "Has latency:       yes, reported by port 13"},
      {plugin::kMonoUri,
       {"level", "in", "out", "gain_a", "gain_b", "gain_c", "gain_d", "latency"},
       "Has latency:       yes, reported by port 7"},
  };
  for (const Expected& e : plugins) {
    SCOPED_TRACE(e.uri);
    const test::TChildResult info = Run("lv2info", {e.uri});
    ASSERT_EQ(info.ExitStatus, 0) << info.Err;
    EXPECT_NE(info.Out.find(e.latency), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("Name:        Reference level\n"
                            "\t\tMinimum:     -30.000000\n"
                            "\t\tMaximum:     0.000000\n"
                            "\t\tDefault:     -10.000000\n"),
              std::string::npos)
        << info.Out;
    // Who made it, from the project the plugins belong to.
    EXPECT_NE(info.Out.find("Author:            Zorv Audio Decoder developers\n"
                            "\tAuthor Homepage:   https://zorv-audio-decoder.example.org/\n"),
              std::string::npos)
        << info.Out;
    // The band gain outputs span what the plugin reports, its value before
    // the first block included.
    const std::string gainRange =
        "Minimum:     -31.900000\n\t\tMaximum:     10.000000\n"
        "\t\tDefault:     -31.900000\n";
    std::size_t ranges = 0;
    for (std::size_t at = info.Out.find(gainRange); at != std::string::npos;
         at = info.Out.find(gainRange, at + 1)) {
      ++ranges;
    }
    EXPECT_EQ(ranges, e.symbols.size() == 14 ? 8u : 4u) << info.Out;
    // Each port in order: "Port N:", its types, its symbol.
    std::size_t at = 0;
    for (std::size_t port = 0; port < e.symbols.size(); ++port) {
      at = info.Out.find("Port " + std::to_string(port) + ":", at);
      ASSERT_NE(at, std::string::npos) << port;
      at = info.Out.find("Symbol:      " + e.symbols[port] + "\n", at);
      ASSERT_NE(at, std::string::npos) << e.symbols[port];
    }
    EXPECT_EQ(info.Out.find("Port " + std::to_string(e.symbols.size()) + ":"), std::string::npos);
  }
}

// The host hands float samples over, the decoder decodes them in double,
// the output is rounded to float as zorv-decode's float writer rounds it.
TEST_F(PluginHost, Lv2FileDecodesFloatFilesAsZorvDecodeDoes) {
  struct Case {
    const char* uri;
    test::TWavFormat format;
  } cases[] = {{plugin::kStereoUri, kFloatStereo},
               {plugin::kMonoUri, kFloatMono},
               {plugin::kStereoUri, {.Tag = 3, .Channels = 2, .SampleRate = 192000, .Bits = 32}},
               {plugin::kMonoUri, {.Tag = 3, .Channels = 1, .SampleRate = 88200, .Bits = 32}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.uri);
    const std::string in = Input(
        std::to_string(c.format.Channels) + "ch" + std::to_string(c.format.SampleRate) + ".wav",
        c.format);
    const std::string out = in + ".lv2file.wav";
    const test::TChildResult host = Lv2File(c.uri, in, out);
    ASSERT_EQ(host.ExitStatus, 0) << host.Out << host.Err;
    const TSound expected = ReadSound(ZorvDecode(in));
    const TSound got = ReadSound(out);
    EXPECT_EQ(got.Channels, c.format.Channels);
    EXPECT_EQ(got.Rate, static_cast<int>(c.format.SampleRate));
    ASSERT_EQ(got.Floats.size(), 44100u * c.format.Channels);
    EXPECT_TRUE(got.Floats == expected.Floats) << "not sample for sample";
    EXPECT_NE(got.Floats, ReadSound(in).Floats) << "nothing decoded";
  }
}

TEST_F(PluginHost, Lv2FileAtMinus20DecibelsEqualsZorvDecodeAtMinus20) {
  const std::string in = Input("in.wav", kFloatStereo);
  const std::string out = File("lv2file.wav");
  const test::TChildResult host = Lv2File(plugin::kStereoUri, in, out, {"-p", "level:-20"});
  ASSERT_EQ(host.ExitStatus, 0) << host.Out << host.Err;
  const std::vector<float> got = ReadSound(out).Floats;
  EXPECT_TRUE(got == ReadSound(ZorvDecode(in, {"-l", "-20"})).Floats);
  EXPECT_FALSE(got == ReadSound(ZorvDecode(in)).Floats) << "the level made no difference";
}

TEST_F(PluginHost, Lv2FileGivesTheSameOutputForEveryBlockSize) {
  const std::string in = Input("in.wav", kFloatStereo);
  const std::vector<float> expected = ReadSound(ZorvDecode(in)).Floats;
  ASSERT_FALSE(expected.empty());
  for (const int block : {1, 7, 64, 4096, 16384}) {
    const std::string out = File("block" + std::to_string(block) + ".wav");
    const test::TChildResult host =
        Lv2File(plugin::kStereoUri, in, out, {"-b", std::to_string(block)});
    ASSERT_EQ(host.ExitStatus, 0) << host.Out << host.Err;
    EXPECT_TRUE(ReadSound(out).Floats == expected) << "block " << block;
  }
}

// A 16-bit file: the host reads it as sample / 32768 (as the program does)
// and writes its float output back to 16 bits by its own rule, rounding
// y x 32767; zorv-decode truncates y x 32768 toward zero. At most one unit
// apart.
TEST_F(PluginHost, Lv2FileOn16BitFilesIsWithinOneUnitOfZorvDecode) {
  const std::string in = Input("in16.wav", kInt16Stereo);
  const std::string out = File("lv2file16.wav");
  const test::TChildResult host = Lv2File(plugin::kStereoUri, in, out);
  ASSERT_EQ(host.ExitStatus, 0) << host.Out << host.Err;
  const TSound got = ReadSound(out);
  const TSound expected = ReadSound(ZorvDecode(in));
  EXPECT_EQ(got.Format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
  ASSERT_EQ(got.Shorts.size(), expected.Shorts.size());
  ASSERT_EQ(got.Shorts.size(), 2u * 44100u);
  std::size_t equal = 0;
  for (std::size_t i = 0; i < got.Shorts.size(); ++i) {
    ASSERT_LE(std::abs(got.Shorts[i] - expected.Shorts[i]), 1) << "sample " << i;
    equal += got.Shorts[i] == expected.Shorts[i];
  }
  EXPECT_GT(equal, got.Shorts.size() / 2);
}

// The README's ffmpeg and GStreamer lines, run as written beside a Broadcast
// WAVE tape.wav, decode it as zorv-decode --float -l -12.5 does, and keep of
// its chunks what the README says they keep.
TEST_F(PluginHost, TheReadmePipelinesDecodeAsZorvDecodeFloatAndKeepWhatTheReadmeSays) {
  for (const char* tool : {"ffmpeg", "gst-launch-1.0"}) {
    ASSERT_TRUE(test::HaveTool(tool)) << tool << " is missing: scripts/install-deps.sh";
  }
  const test::TBytes readme = test::ReadFile(std::string(ZORV_SOURCE_DIR) + "/README.md");
  std::istringstream text(std::string(readme.begin(), readme.end()));
  std::vector<std::string> recipes;
  for (std::string line; std::getline(text, line);) {
    if (line.starts_with("    ffmpeg -i tape.wav") || line.starts_with("    gst-launch-1.0 ")) {
      recipes.push_back(line.substr(4));
    }
  }
  ASSERT_EQ(recipes.size(), 2u) << "the README's recipes";

  const test::TWavFormat format{.Tag = 1, .Channels = 2, .SampleRate = 48000, .Bits = 24};
  // One cue point, at 0.1 s.
  test::TBytes cue;
  for (const std::uint32_t v : {1u, 1u, 0u}) AppendLe32(cue, v);
  cue.insert(cue.end(), {'d', 'a', 't', 'a'});
  for (const std::uint32_t v : {0u, 0u, 4800u}) AppendLe32(cue, v);
  const std::string history = "A=ANALOGUE,M=stereo,T=Studer A80\r\n";
  const test::TBytes tape = test::TWavBuilder()
                                .Chunk("bext", test::BextBody("Reel 4", history))
                                .Fmt(1, 2, 48000, 24)
                                .Chunk("iXML", test::TextBytes("<BWFXML>reel 4</BWFXML>"))
                                .Chunk("data", test::SignalBytes(format, 288000))
                                .Chunk("cue ", cue)
                                .Bytes();
  test::WriteFile(File("tape.wav"), tape);
  const TSound expected = ReadSound(ZorvDecode(File("tape.wav"), {"--float", "-l", "-12.5"}));
  ASSERT_EQ(expected.Floats.size(), 2u * 288000u);

  for (const std::string& recipe : recipes) {
    SCOPED_TRACE(recipe);
    const std::string folder = File(recipe.substr(0, recipe.find(' ')));
    fs::create_directory(folder);
    test::WriteFile(folder + "/tape.wav", tape);
    THostRuntime runtime;
    test::TChildOptions options;
    options.WorkingDirectory = folder;
    const test::TChildResult run = test::RunProgram("bash", {"-c", recipe}, Scratch(), options);
    ASSERT_EQ(run.ExitStatus, 0) << run.Out << run.Err;
    const std::string out = folder + "/tape_dec.wav";
    const TSound got = ReadSound(out);
    EXPECT_EQ(got.Format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    EXPECT_TRUE(got.Floats == expected.Floats) << "not sample for sample";

    const auto chunks = test::ParseChunks(test::ReadFile(out));
    ASSERT_TRUE(chunks);
    EXPECT_EQ(chunks->Find("iXML"), nullptr);
    if (recipe.starts_with("ffmpeg")) {
      // Its own bext, the input's CodingHistory without a line of the decode.
      ASSERT_NE(chunks->Find("bext"), nullptr);
      EXPECT_EQ(CodingHistoryText(chunks->Find("bext")->Body), history);
      EXPECT_NE(chunks->Find("LIST"), nullptr);
      EXPECT_EQ(chunks->Find("cue "), nullptr);
    } else {
      EXPECT_EQ(chunks->Find("bext"), nullptr);
      EXPECT_NE(chunks->Find("cue "), nullptr);
    }
  }
}

TEST_F(PluginHost, Lv2FileRefusesAnUnsupportedRateWithTheMessage) {
  test::TWavFormat format = kFloatStereo;
  format.SampleRate = 22050;
  const std::string in = Input("in22050.wav", format, 2205);
  const std::string out = File("out22050.wav");
  const test::TChildResult host = Lv2File(plugin::kStereoUri, in, out);
  EXPECT_NE(host.ExitStatus, 0);
  // lv2file offers no log: the message goes to its standard error.
  EXPECT_NE(host.Err.find("Not supported sampling rate: 22050\n"), std::string::npos) << host.Err;
}

// A JACK server of the test's own, with the dummy driver, for jalv.
class TJackServer {
 public:
  TJackServer(const std::string& scratch, int rate)
      : Name_("zorv-test-" + std::to_string(getpid()) + "-" + std::to_string(rate)),
        Server_(
            "jackd",
            {"--no-realtime", "-n", Name_, "-d", "dummy", "-r", std::to_string(rate), "-p", "256"},
            scratch) {
    setenv("JACK_DEFAULT_SERVER", Name_.c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    const test::TChildResult ready = test::RunProgram(
        "jack_wait", {"-s", Name_, "-n", Name_ + "-wait", "-w", "-t", "10"}, scratch);
    Ready_ = ready.ExitStatus == 0 && ready.Out.find("server is available") != std::string::npos;
  }
  ~TJackServer() {
    Server_.Signal(SIGTERM);
    Server_.Wait();
    unsetenv("JACK_DEFAULT_SERVER");
  }
  bool Ready() const { return Ready_; }
  // A client name of its own: a client's socket is named after the client,
  // whatever its server.
  std::string ClientName() const { return Name_ + "-jalv"; }

 private:
  std::string Name_;
  test::TChildProcess Server_;
  bool Ready_ = false;
};

// jalv runs the plugin for three seconds, with the level set, and shows
// what run wrote to the control outputs (silence in: every band at the
// lower limit, -31.9 dB).
TEST_F(PluginHost, JalvRunsThePluginHeadlessForSecondsWithoutError) {
  TJackServer jack(Scratch(), 48000);
  ASSERT_TRUE(jack.Ready()) << "no JACK server with the dummy driver";
  const std::string script =
      "(sleep 1; echo monitors; sleep 2) | jalv -c level=-20 " + std::string(plugin::kStereoUri);
  THostRuntime runtime;
  const test::TChildResult jalv = Run("sh", {"-c", script});
  EXPECT_EQ(jalv.ExitStatus, 0) << jalv.Out << jalv.Err;
  EXPECT_NE(jalv.Out.find("Sample rate:  48000 Hz"), std::string::npos) << jalv.Out;
  EXPECT_NE(jalv.Out.find("level = -20.000000"), std::string::npos) << jalv.Out;
  for (const char* band : {"a", "b", "c", "d"}) {
    for (const char* side : {"l", "r"}) {
      const std::string line = std::string("gain_") + band + "_" + side + " = -31.900000\n";
      EXPECT_NE(jalv.Out.find(line), std::string::npos) << line << jalv.Out;
    }
  }
  EXPECT_NE(jalv.Out.find("latency = 0.000000"), std::string::npos) << jalv.Out;
  EXPECT_EQ(jalv.Err.find("rror"), std::string::npos) << jalv.Err;
}

TEST_F(PluginHost, JalvAtAnUnsupportedRateShowsTheMessageInItsLog) {
  TJackServer jack(Scratch(), 22050);
  ASSERT_TRUE(jack.Ready()) << "no JACK server with the dummy driver";
  THostRuntime runtime;
  const test::TChildResult jalv = Run("jalv", {"-i", "-n", jack.ClientName(), plugin::kMonoUri});
  EXPECT_NE(jalv.ExitStatus, 0);
  // jalv's log prefixes the type of the message.
  EXPECT_NE(jalv.Err.find("error: Not supported sampling rate: 22050\n"), std::string::npos)
      << jalv.Err;
}

}  // namespace
}  // namespace zorv
