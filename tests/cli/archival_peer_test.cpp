// SPDX-License-Identifier: GPL-3.0-or-later
// Archival WAV files through zorv-decode, with other tools as peers: inputs
// that ffmpeg and sox write (bext, RF64, EXTENSIBLE with fact) and a
// hand-made Broadcast WAVE file with every chunk archives hold; outputs read
// by mediainfo, ffprobe and sndfile-info; chunk lists compared body by body;
// the samples always those of the canonical decode.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tests/wav/wav_builder.h"
#include "tools/wav_test_file.h"
#include "wav/coding_history.h"
#include "wav/md5.h"

namespace zorv {
namespace {

using test::TBytes;
using test::TChildResult;

class ArchivalPeers : public ::testing::Test {
 protected:
  TChildResult Run(const std::string& program, const std::vector<std::string>& args) {
    return test::RunProgram(program, args, Dir.Path().string());
  }
  // Decodes in twice, keeping its chunks and with the canonical header; the
  // data of both must be the same. The chunks of the kept output.
  test::TChunkedFile Decode(const std::string& in, const std::string& out) {
    const TChildResult kept = Run(ZORV_DECODE_PATH, {"-f", in, "-o", out});
    EXPECT_EQ(kept.ExitStatus, 0) << kept.Err;
    const std::string canonical = out + ".canonical.wav";
    const TChildResult plain =
        Run(ZORV_DECODE_PATH, {"-q", "-f", "--canonical-header", in, "-o", canonical});
    EXPECT_EQ(plain.ExitStatus, 0) << plain.Err;
    Report = kept.Err;
    const auto chunks = test::ParseChunks(test::ReadFile(out));
    const auto image = test::ParseCanonical(test::ReadFile(canonical));
    EXPECT_TRUE(chunks && image);
    if (!chunks || !image) return {};
    EXPECT_TRUE(chunks->Consistent) << out;
    EXPECT_EQ(image->RiffSize, test::ReadFile(canonical).size() - 8);
    EXPECT_EQ(chunks->Find("data")->Body,
              TBytes(image->Data.begin(), image->Data.begin() + image->DataSize));
    return *chunks;
  }
  // Every chunk but data (and those named in changed) has the input's body.
  static void ExpectChunksKept(const test::TChunkedFile& in, const test::TChunkedFile& out,
                               const std::vector<std::string>& changed) {
    std::vector<std::string> ids = in.Ids();
    std::erase(ids, "ds64");
    std::vector<std::string> outIds = out.Ids();
    std::erase(outIds, "ds64");
    ASSERT_EQ(outIds, ids);
    std::size_t k = 0;
    for (const test::TFileChunk& chunk : in.Chunks) {
      if (chunk.Id == "ds64") continue;
      while (out.Chunks[k].Id == "ds64") ++k;
      const bool same = chunk.Id != "data" &&
                        std::find(changed.begin(), changed.end(), chunk.Id) == changed.end();
      if (same) {
        EXPECT_EQ(out.Chunks[k].Body, chunk.Body) << chunk.Id;
      }
      ++k;
    }
  }
  std::string Probe(const std::string& path) {
    const TChildResult probe = Run("ffprobe", {"-v", "error", "-show_entries",
                                               "stream=codec_name,sample_rate,channels,duration_ts",
                                               "-of", "default=noprint_wrappers=1", path});
    EXPECT_EQ(probe.ExitStatus, 0) << probe.Err;
    EXPECT_EQ(probe.Err, "") << path;
    return probe.Out;
  }

  test::TScratchDir Dir{ZORV_CLI_SCRATCH};
  std::string Report;
};

TEST_F(ArchivalPeers, FfmpegBextAndRf64InputsKeepTheirChunksAndForm) {
  if (!test::HaveTool("ffmpeg") || !test::HaveTool("ffprobe") || !test::HaveTool("mediainfo")) {
    GTEST_SKIP() << "ffmpeg, ffprobe or mediainfo is not installed";
  }
  const std::string bext = Dir.File("bext.wav");
  TChildResult made = Run(
      "ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=f=440:r=48000:d=0.5", "-ac", "2", "-c:a",
                 "pcm_s24le", "-write_bext", "1", "-metadata", "description=Reel 12 side A",
                 "-metadata", "coding_history=A=ANALOGUE,M=stereo,T=Studer A80", bext});
  ASSERT_EQ(made.ExitStatus, 0) << made.Err;
  const std::string rf64 = Dir.File("rf64.wav");
  made = Run("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=f=440:r=44100:d=0.5", "-ac", "2",
                        "-c:a", "pcm_s16le", "-rf64", "always", rf64});
  ASSERT_EQ(made.ExitStatus, 0) << made.Err;

  const test::TChunkedFile fromBext = Decode(bext, Dir.File("bext_dec.wav"));
  EXPECT_NE(Report.find("metadata: bext"), std::string::npos) << Report;
  const auto bextIn = test::ParseChunks(test::ReadFile(bext));
  ASSERT_TRUE(bextIn);
  ExpectChunksKept(*bextIn, fromBext, {"bext"});
  const TChildResult info = Run("mediainfo", {Dir.File("bext_dec.wav")});
  EXPECT_NE(info.Out.find("Reel 12 side A"), std::string::npos) << info.Out;
  EXPECT_NE(info.Out.find("A=ANALOGUE,M=stereo,T=Studer A80 / A=PCM,F=48000,W=24,M=stereo,"
                          "T=Zorv Audio Decoder 0.9.1 decode;reference level -10.0 dB"),
            std::string::npos)
      << info.Out;
  EXPECT_EQ(Probe(Dir.File("bext_dec.wav")), Probe(bext));

  const test::TChunkedFile fromRf64 = Decode(rf64, Dir.File("rf64_dec.wav"));
  EXPECT_EQ(fromRf64.Form, "RF64");
  const auto rf64In = test::ParseChunks(test::ReadFile(rf64));
  ASSERT_TRUE(rf64In);
  ExpectChunksKept(*rf64In, fromRf64, {});
  EXPECT_EQ(Probe(Dir.File("rf64_dec.wav")),
            "codec_name=pcm_s16le\nsample_rate=44100\nchannels=2\nduration_ts=22050\n");
}

TEST_F(ArchivalPeers, HandMadeBroadcastWaveKeepsEveryChunkInPlace) {
  using namespace std::string_view_literals;
  TBytes adtl = test::TextBytes("adtllabl");
  AppendLe32(adtl, 10);
  AppendLe32(adtl, 1);
  for (const char c : "Intro\0"sv) adtl.push_back(static_cast<std::uint8_t>(c));
  TBytes cue;
  AppendLe32(cue, 1);
  for (const std::uint32_t v : {1u, 0u}) AppendLe32(cue, v);
  for (const char c : std::string("data")) cue.push_back(static_cast<std::uint8_t>(c));
  for (const std::uint32_t v : {0u, 0u, 4410u}) AppendLe32(cue, v);
  const test::TWavFormat format{1, 2, 44100, 16};
  const TBytes samples = test::SignalBytes(format, 22050);
  const TBytes input =
      test::TWavBuilder()
          .Chunk("JUNK", TBytes(28, 0))
          .Chunk("bext", test::BextBody("Interview, reel 3", "A=ANALOGUE,M=stereo,T=Revox B77\r\n"))
          .Chunk("fmt ", test::FmtBody(1, 2, 44100, 16))
          .Chunk("iXML", test::TextBytes("<BWFXML><PROJECT>Oral history</PROJECT></BWFXML>"))
          .Chunk("axml", test::TextBytes("<ebuCoreMain>x</ebuCoreMain>"))
          .Chunk("data", samples)
          .Chunk("cue ", cue)
          .Chunk("LIST", adtl)
          .Chunk("LIST", test::TextBytes("INFOICMT\x06\0\0\0notes\0"sv))
          .Chunk("MD5 ", TBytes(16, 0))
          .Bytes();
  const std::string in = Dir.File("bwf.wav");
  test::WriteFile(in, input);
  const std::string out = Dir.File("bwf_dec.wav");
  const test::TChunkedFile got = Decode(in, out);
  EXPECT_NE(Report.find("\nDone\nmetadata: bext, iXML, axml, cue, LIST, MD5\n"), std::string::npos)
      << Report;
  const auto inChunks = test::ParseChunks(input);
  ASSERT_TRUE(inChunks);
  ExpectChunksKept(*inChunks, got, {"bext", "MD5 "});
  const TBytes& data = got.Find("data")->Body;
  TMd5 md5;
  md5.Update(data.data(), data.size());
  const TMd5Digest digest = md5.Digest();
  EXPECT_EQ(got.Find("MD5 ")->Body, TBytes(digest.begin(), digest.end()));
  EXPECT_EQ(CodingHistoryText(got.Find("bext")->Body).substr(0, 33),
            "A=ANALOGUE,M=stereo,T=Revox B77\r\n");

  if (test::HaveTool("ffprobe")) {
    EXPECT_EQ(Probe(out),
              "codec_name=pcm_s16le\nsample_rate=44100\nchannels=2\nduration_ts=22050\n");
  }
  if (test::HaveTool("sndfile-info")) {
    const TChildResult info = Run("sndfile-info", {out});
    EXPECT_NE(info.Out.find("Frames      : 22050"), std::string::npos) << info.Out;
    // libsndfile does not know axml and MD5 and says so; nothing else.
    std::string report = info.Out;
    for (const std::string known :
         {"*** axml : 28 (unknown marker)\n", "*** MD5  : 16 (unknown marker)\n"}) {
      if (const std::size_t at = report.find(known); at != std::string::npos) {
        report.erase(at, known.size());
      }
    }
    for (const char* complaint : {"should", "***", "Error", "Warning", "Resynching"}) {
      EXPECT_EQ(report.find(complaint), std::string::npos) << info.Out;
    }
  }
}

}  // namespace
}  // namespace zorv
