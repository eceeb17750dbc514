// SPDX-License-Identifier: GPL-3.0-or-later
// FLAC archives through zorv-decode, with the flac tool as the peer: Broadcast
// WAVE files packed with flac --keep-foreign-metadata decode to what their
// WAV originals decode to, as WAV and as FLAC (restored with flac -d
// --keep-foreign-metadata, checked with flac -t); damage, a wrong checksum,
// float samples and a stop; a read or a write that fails at any call leaves
// nothing, never a wrong file.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>

#include "tests/cli/decode_fixture.h"
#include "tests/wav/wav_builder.h"
#include "wav/md5.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TBytes;
using test::TChildResult;

struct TArchive {
  const char* Name;
  std::uint16_t Channels;
  std::uint32_t Rate;
  std::uint16_t Bits;
  bool Extensible;
  std::uint32_t Frames;
  bool Rf64 = false;
};

// A transfer with every chunk archives hold, two behind the data.
TBytes BroadcastWave(const TArchive& a) {
  TBytes cue;
  for (const std::uint32_t v : {1u, 1u, 0u}) AppendLe32(cue, v);
  cue.insert(cue.end(), {'d', 'a', 't', 'a'});
  for (const std::uint32_t v : {0u, 0u, 4410u}) AppendLe32(cue, v);
  const test::TWavFormat format{1, a.Channels, a.Rate, a.Bits};
  TBytes fmt = a.Extensible ? test::ExtensibleBody(a.Channels, a.Rate, a.Bits, 1)
                            : test::FmtBody(1, a.Channels, a.Rate, a.Bits);
  // The speakers of six channels (5.1), as the flac tool wants them.
  if (a.Extensible) SetLe32(fmt.data() + 20, 0x3F);
  const test::TWavBuilder wav =
      test::TWavBuilder()
          .Chunk("bext", test::BextBody("Reel 9", "A=ANALOGUE,M=stereo,T=Studer A807\r\n"))
          .Chunk("fmt ", fmt)
          .Chunk("iXML", test::TextBytes("<BWFXML><PROJECT>Oral history</PROJECT></BWFXML>"))
          .Chunk("axml", test::TextBytes("<ebuCoreMain>x</ebuCoreMain>"))
          .Chunk("MD5 ", TBytes(16, 0))
          .Chunk("data", test::SignalBytes(format, a.Frames))
          .Chunk("cue ", cue)
          .Chunk("LIST", test::TextBytes("INFOICMT\x06\0\0\0notes\0"));
  return a.Rf64 ? wav.Rf64Bytes() : wav.Bytes();
}

class FlacArchives : public test::DecodeTest {
 protected:
  void SetUp() override {
    for (const char* tool : {"flac", "metaflac"}) {
      ASSERT_TRUE(test::HaveTool(tool)) << tool << " is missing: scripts/install-deps.sh";
    }
  }
  TChildResult Flac(std::vector<std::string> args) {
    return test::RunProgram("flac", args, Dir.Path().string());
  }
  // The archive as WAV and packed as FLAC; the WAV decode of the WAV file.
  void Make(const TArchive& a) {
    Original = File(std::string(a.Name) + ".wav", BroadcastWave(a));
    Packed = Dir.File(std::string(a.Name) + ".flac");
    const TChildResult packed =
        Flac({"-s", "-f", "--keep-foreign-metadata", "-o", Packed, Original});
    ASSERT_EQ(packed.ExitStatus, 0) << packed.Err;
    const TChildResult reference = Run({"-q", "-f", Original, "-o", Dir.File("reference.wav")});
    ASSERT_EQ(reference.ExitStatus, 0) << reference.Err;
    Reference = ReadFile(Dir.File("reference.wav"));
  }
  // A FLAC output as the WAV file flac -d --keep-foreign-metadata restores
  // (which writes the fmt chunk of its own choice: legacy for a 16-byte one).
  TBytes Restored(const std::string& flac, bool extensible, bool rf64 = false) {
    EXPECT_EQ(Flac({"-s", "-t", flac}).ExitStatus, 0) << flac << " fails flac -t";
    const std::string wav = flac + ".restored.wav";
    std::vector<std::string> args = {"-s", "-d", "-f", "--keep-foreign-metadata", "-o", wav};
    if (!extensible) args.push_back("--force-legacy-wave-format");
    if (rf64) args.push_back("--force-rf64-format");
    args.push_back(flac);
    const TChildResult restored = Flac(args);
    EXPECT_EQ(restored.ExitStatus, 0) << restored.Err;
    return ReadFile(wav);
  }

  std::string Original;
  std::string Packed;
  TBytes Reference;
};

TEST_F(FlacArchives, FlacToWavAndFlacToFlacGiveTheWavDecodeOfTheOriginal) {
  const TArchive archives[] = {{"mono16", 1, 44100, 16, false, 22050},
                               {"stereo24", 2, 96000, 24, false, 48000},
                               {"six24", 6, 48000, 24, true, 12000},
                               {"rf64", 2, 48000, 24, false, 9000, true}};
  for (const TArchive& a : archives) {
    SCOPED_TRACE(a.Name);
    Make(a);
    const std::string fromFlac = Dir.File(std::string(a.Name) + "_flac.wav");
    TChildResult r = Run({"-q", "-f", "--report", Dir.File("report.json"), Packed, "-o", fromFlac});
    ASSERT_EQ(r.ExitStatus, 0) << r.Err;
    EXPECT_TRUE(ReadFile(fromFlac) == Reference) << "FLAC to WAV";
    // The report's input MD5 is that of the samples, the FLAC file's own.
    const auto report = nlohmann::json::parse(ReadFile(Dir.File("report.json")));
    const TChildResult md5 =
        test::RunProgram("metaflac", {"--show-md5sum", Packed}, Dir.Path().string());
    EXPECT_EQ(report["input_md5"].get<std::string>() + "\n", md5.Out);
    EXPECT_TRUE(report["warnings"].empty()) << report.dump();

    // The default name of a FLAC input is a FLAC file; and WAV to FLAC.
    r = Run({"-q", Packed});
    ASSERT_EQ(r.ExitStatus, 0) << r.Err;
    EXPECT_TRUE(Restored(Dir.File(std::string(a.Name) + "_dec.flac"), a.Extensible, a.Rf64) ==
                Reference)
        << "FLAC to FLAC";
    const std::string toFlac = Dir.File(std::string(a.Name) + "_wav.flac");
    r = Run({"-q", Original, "-o", toFlac});
    ASSERT_EQ(r.ExitStatus, 0) << r.Err;
    EXPECT_TRUE(Restored(toFlac, a.Extensible, a.Rf64) == Reference) << "WAV to FLAC";
  }

  // BW64, which the flac tool does not know, is kept as RF64.
  const TBytes bw64 = ReadFile(Original);
  TBytes form = bw64;
  std::copy_n("BW64", 4, form.begin());
  const std::string in = File("bw64.wav", form);
  ASSERT_EQ(Run({"-q", in, "-o", Dir.File("bw64.flac")}).ExitStatus, 0);
  TBytes restored = Restored(Dir.File("bw64.flac"), false, true);
  ASSERT_GE(restored.size(), 4u);
  std::copy_n("BW64", 4, restored.begin());
  ASSERT_EQ(Run({"-q", in, "-o", Dir.File("bw64_dec.wav")}).ExitStatus, 0);
  EXPECT_TRUE(restored == ReadFile(Dir.File("bw64_dec.wav")));

  // Without kept chunks, a plain WAV file of the samples.
  const test::TWavFormat stereo24{1, 2, 48000, 24};
  const std::string plain = Wav("plain.wav", stereo24, 9000);
  ASSERT_EQ(Flac({"-s", "-f", "-o", Dir.File("plain.flac"), plain}).ExitStatus, 0);
  ASSERT_EQ(Run({"-q", plain, "-o", Dir.File("plain_ref.wav")}).ExitStatus, 0);
  ASSERT_EQ(Run({"-q", Dir.File("plain.flac"), "-o", Dir.File("plain_dec.wav")}).ExitStatus, 0);
  EXPECT_TRUE(ReadFile(Dir.File("plain_dec.wav")) == ReadFile(Dir.File("plain_ref.wav")));
}

TEST_F(FlacArchives, DamageFailsAWrongChecksumWarnsFloatIsRefused) {
  Make({"tape", 2, 44100, 16, false, 44100});
  const TBytes packed = ReadFile(Packed);

  // A frame with a flipped bit: a failed read, nothing under any name.
  TBytes damaged = packed;
  damaged[packed.size() * 2 / 3] ^= 0x08;
  const std::string bad = File("damaged.flac", damaged);
  TChildResult r = Run({bad, "-o", Dir.File("damaged_dec.flac")});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_NE(r.Err.find("zorv-decode: " + bad + ": cannot read: a damaged FLAC frame"),
            std::string::npos)
      << r.Err;
  EXPECT_FALSE(fs::exists(Dir.File("damaged_dec.flac")));
  EXPECT_FALSE(fs::exists(Dir.File("damaged_dec.partial.flac")));

  // STREAMINFO's MD5 (bytes 26..41) not that of the samples: decoded, and
  // the report says the file is damaged; --strict keeps nothing.
  TBytes wrong = packed;
  wrong[30] ^= 0x01;
  const std::string doubtful = File("wrongsum.flac", wrong);
  r = Run({"--report", "-", doubtful, "-o", Dir.File("wrongsum.wav")});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_TRUE(ReadFile(Dir.File("wrongsum.wav")) == Reference);
  EXPECT_NE(r.Out.find("\"code\":\"input_checksum_mismatch\""), std::string::npos) << r.Out;
  r = Run({"-q", "--strict", doubtful, "-o", Dir.File("strict.wav")});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_FALSE(fs::exists(Dir.File("strict.wav")));

  // FLAC holds integers.
  r = Run({"-q", "--float", Original, "-o", Dir.File("float.flac")});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.Err, "zorv-decode: " + Dir.File("float.flac") +
                       ": cannot be written as FLAC (32-bit float samples; FLAC holds "
                       "integers: write WAV instead)\n");
  EXPECT_FALSE(fs::exists(Dir.File("float.flac")));
  const std::string floatInput = Wav("float.wav", {3, 2, 44100, 32}, 4410);
  r = Run({"-q", floatInput, "-o", Dir.File("float.flac")});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_NE(r.Err.find("cannot be written as FLAC (32-bit float samples"), std::string::npos)
      << r.Err;
  EXPECT_FALSE(fs::exists(Dir.File("float.flac")));
}

// Stopped at a random time, the decode keeps a valid FLAC file under the
// partial name, whose samples begin the whole decode's.
TEST_F(FlacArchives, AStopKeepsAValidPartialFlacFile) {
  Make({"long", 2, 44100, 16, false, 441000});
  const TBytes whole = Reference;
  std::mt19937 random(std::random_device{}());
  test::TChildProcess child(
      ZORV_DECODE_PATH, {"-q", Packed, "-o", Dir.File("cut.flac")}, Dir.Path().string(),
      test::WithFaults({"ZORV_FAULT_PATH=long.flac", "ZORV_FAULT_READ_DELAY_US=30000"}));
  ASSERT_TRUE(WaitForTemporaryOutput(20000 + random() % 200000));
  child.Signal(SIGINT);
  child.Wait();
  const std::string partial = Dir.File("cut.partial.flac");
  ASSERT_TRUE(fs::exists(partial));
  EXPECT_FALSE(fs::exists(Dir.File("cut.flac")));
  const auto restored = test::ParseChunks(Restored(partial, false));
  const auto reference = test::ParseChunks(whole);
  ASSERT_TRUE(restored && reference);
  EXPECT_TRUE(restored->Consistent);
  const TBytes& data = restored->Find("data")->Body;
  const TBytes& full = reference->Find("data")->Body;
  EXPECT_GT(data.size(), 0u);
  EXPECT_LT(data.size(), full.size());
  EXPECT_TRUE(std::equal(data.begin(), data.end(), full.begin()));
  // Its MD5 chunk is of what it holds.
  TMd5 md5;
  md5.Update(data.data(), data.size());
  const TMd5Digest digest = md5.Digest();
  EXPECT_EQ(restored->Find("MD5 ")->Body, TBytes(digest.begin(), digest.end()));
}

// Every read of the FLAC input and every write of the FLAC output, in turn,
// fails once: the decode fails and leaves nothing, or its output is the
// clean one. Never a wrong file.
TEST_F(FlacArchives, AFailedReadOrWriteAtAnyCallLeavesNothingOrTheCleanOutput) {
  Make({"faulty", 2, 48000, 24, false, 16000});
  const std::string out = Dir.File("out.flac");
  ASSERT_EQ(Run({"-q", Packed, "-o", out}).ExitStatus, 0);
  const TBytes clean = ReadFile(out);
  fs::remove(out);
  const std::string mark = Dir.File("child-fault-mark");
  for (const std::string setting : {"ZORV_FAULT_PATH=faulty.flac ZORV_FAULT_READ_FAIL_NTH=",
                                    "ZORV_FAULT_PATH=faulty.flac ZORV_FAULT_READ_END_NTH=",
                                    "ZORV_FAULT_PATH=.incomplete- ZORV_FAULT_WRITE_FAIL_NTH="}) {
    int failed = 0;
    bool reachedEnd = false;
    for (int n = 1; n < 300 && !reachedEnd; ++n) {
      SCOPED_TRACE(setting + std::to_string(n));
      fs::remove(mark);
      const std::size_t space = setting.find(' ');
      const TChildResult r = Run(
          {"-q", Packed, "-o", out},
          test::WithFaults({setting.substr(0, space), setting.substr(space + 1) + std::to_string(n),
                            "ZORV_FAULT_MARK=" + mark}));
      if (!fs::exists(mark)) {
        reachedEnd = true;
        EXPECT_EQ(r.ExitStatus, 0) << r.Err;
      } else if (r.ExitStatus != 0) {
        ++failed;
        EXPECT_EQ(r.ExitStatus, 1) << r.Err;
        EXPECT_EQ(Names(), (std::set<std::string>{"faulty.flac", "faulty.wav", "reference.wav"}))
            << r.Err;
        continue;
      }
      ASSERT_TRUE(fs::exists(out)) << r.Err;
      EXPECT_TRUE(ReadFile(out) == clean) << "a wrong file";
      fs::remove(out);
    }
    EXPECT_TRUE(reachedEnd);
    EXPECT_GT(failed, 2);
  }
}

}  // namespace
}  // namespace zorv
