// SPDX-License-Identifier: GPL-3.0-or-later
// What a stream or a file holds either arrives whole in the output or the
// decode fails and says so: streams cut short anywhere, stream to stream with
// chunks behind the data, a million chunks, sizes that cannot be told apart,
// chunks too large to carry a CodingHistory line, names that are not UTF-8.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/cli/decode_fixture.h"
#include "tests/wav/wav_builder.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TBytes;
using test::TChildResult;

constexpr std::uint32_t kFrames = 44100;  // one second of 16-bit stereo
constexpr std::uint32_t kFrameBytes = 4;

class StreamIntegrity : public test::DecodeTest {
 protected:
  // A shell command line in the scratch folder; $zorv is the program.
  TChildResult Shell(const std::string& command) {
    return test::RunProgram(
        "/bin/sh",
        {"-c", "cd '" + Dir.Path().string() + "' && zorv='" + ZORV_DECODE_PATH + "' && " + command},
        Dir.Path().string());
  }
  // A LIST chunk before the data, an iXML and a bext chunk behind it.
  static TBytes ChunkyWav() {
    test::TWavBuilder wav;
    wav.Fmt(1, 2, 44100, 16).List(100);
    const TBytes signal = test::SignalBytes({}, kFrames);
    wav.Chunk("data", signal);
    wav.Chunk("iXML", TBytes(3001, 'i'));
    wav.Chunk("bext", test::BextBody("take 1", "A=ANALOGUE,M=stereo\r\n"));
    return wav.Bytes();
  }
  static std::size_t DataStart(const TBytes& wav) {
    for (std::size_t at = 12; at + 8 <= wav.size();) {
      const std::uint32_t size = wav[at + 4] | (wav[at + 5] << 8) | (wav[at + 6] << 16) |
                                 (static_cast<std::uint32_t>(wav[at + 7]) << 24);
      if (std::equal(wav.begin() + static_cast<std::ptrdiff_t>(at),
                     wav.begin() + static_cast<std::ptrdiff_t>(at + 4), "data")) {
        return at + 8;
      }
      at += 8 + size + (size & 1u);
    }
    return 0;
  }
};

// Ten places to cut a stream: in the RIFF header, the fmt chunk, the LIST
// chunk, the data (a frame cut in two among them), at the data's end, in the
// chunks behind it, and nowhere. Only the whole stream decodes; every other
// cut fails with what was found, into a file and into standard output alike,
// and nothing is left behind.
TEST_F(StreamIntegrity, AStreamCutAnywhereFailsAndLeavesNothing) {
  const TBytes wav = ChunkyWav();
  File("in.wav", wav);
  const std::size_t data = DataStart(wav);
  const std::size_t dataEnd = data + kFrames * kFrameBytes;
  enum class TExpect { Refused, InData, BehindData, Whole };
  const std::vector<std::pair<std::size_t, TExpect>> cuts = {{10, TExpect::Refused},
                                                             {30, TExpect::Refused},
                                                             {100, TExpect::Refused},
                                                             {data + 4000, TExpect::InData},
                                                             {data + 4000 + 2, TExpect::InData},
                                                             {data + kFrames * 2, TExpect::InData},
                                                             {dataEnd - 1, TExpect::InData},
                                                             {dataEnd, TExpect::BehindData},
                                                             {dataEnd + 3000, TExpect::BehindData},
                                                             {wav.size(), TExpect::Whole}};
  for (const auto& [cut, expect] : cuts) {
    for (const std::string target : {"x.wav", "-"}) {
      SCOPED_TRACE("cut at " + std::to_string(cut) + " into " + target);
      const TChildResult r = Shell("head -c " + std::to_string(cut) + " in.wav | $zorv - -o " +
                                   target + (target == "-" ? " > streamed.wav" : ""));
      fs::remove(Dir.File("streamed.wav"));
      if (expect == TExpect::Whole) {
        EXPECT_EQ(r.ExitStatus, 0) << r.Err;
        fs::remove(Dir.File("x.wav"));
        continue;
      }
      EXPECT_EQ(r.ExitStatus, 1) << r.Err;
      EXPECT_EQ(Names(), std::set<std::string>{"in.wav"});
      if (expect == TExpect::Refused) {
        EXPECT_EQ(r.Err.find("Error:"), std::string::npos) << r.Err;
        continue;
      }
      const std::string reason = expect == TExpect::InData
                                     ? "the stream ended after " +
                                           std::to_string((cut - data) / kFrameBytes) + " of " +
                                           std::to_string(kFrames) + " frames"
                                     : "the stream ended in its chunks behind the data";
      EXPECT_NE(r.Err.find("\nError: could not read the input file\nzorv-decode: -: cannot read: " +
                           reason + "\n"),
                std::string::npos)
          << r.Err;
      EXPECT_EQ(r.Err.find("cannot be taken back") != std::string::npos, target == "-") << r.Err;
    }
  }
}

// A stream writer that does not know the length writes 0x7FFFF000 as the data
// size: such a stream ends where it ends, as one with 0xFFFFFFFF does.
TEST_F(StreamIntegrity, TheUnknownLengthPlaceholderIsNotACutStream) {
  TBytes wav = test::CanonicalWav(2, 44100, 16, 4000 * kFrameBytes);
  for (int i = 0; i < 4; ++i) wav[40 + i] = static_cast<std::uint8_t>(0x7FFFF000u >> (8 * i));
  File("in.wav", wav);
  const TChildResult r = Shell("cat in.wav | $zorv -q - -o x.wav");
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  test::ExpectValidWav(Dir.File("x.wav"), 4000 * kFrameBytes);
}

// Stream to stream, the chunks behind the data arrive after the header has
// gone out: its RIFF size says "unknown" rather than leave them out, and
// ffprobe and the program itself find every chunk, the bext with its line.
TEST_F(StreamIntegrity, StreamToStreamKeepsEveryChunkBehindTheData) {
  const TBytes wav = ChunkyWav();
  File("in.wav", wav);
  const TChildResult r = Shell("cat in.wav | $zorv -q - -o - > s.wav");
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  const auto streamed = test::ParseChunks(ReadFile(Dir.File("s.wav")));
  ASSERT_TRUE(streamed);
  EXPECT_EQ(streamed->RiffSize, 0xFFFFFFFFu);
  EXPECT_EQ(streamed->Ids(), (std::vector<std::string>{"fmt ", "LIST", "data", "iXML", "bext"}));
  ASSERT_TRUE(streamed->Find("iXML"));
  EXPECT_EQ(streamed->Find("iXML")->Body, TBytes(3001, 'i'));
  const TBytes& bext = streamed->Find("bext")->Body;
  const std::string history(bext.begin() + 602, bext.end());
  EXPECT_TRUE(history.starts_with("A=ANALOGUE,M=stereo\r\nA=PCM,F=44100,W=16,M=stereo,T=Zorv"))
      << history;

  if (test::HaveTool("ffprobe")) {
    const TChildResult probe = Shell(
        "ffprobe -v error -show_entries format=duration:format_tags=coding_history "
        "-of default=nw=1 s.wav");
    EXPECT_EQ(probe.ExitStatus, 0) << probe.Err;
    EXPECT_NE(probe.Out.find("duration=1.000000"), std::string::npos) << probe.Out;
    EXPECT_NE(probe.Out.find("T=Zorv Audio Decoder"), std::string::npos) << probe.Out;
  }
  // The program reads its own stream back, every chunk.
  const TChildResult back = Run({Dir.File("s.wav"), "-o", Dir.File("back.wav")});
  ASSERT_EQ(back.ExitStatus, 0) << back.Err;
  EXPECT_NE(back.Err.find("\nmetadata: LIST, iXML, bext\n"), std::string::npos) << back.Err;
  const auto reread = test::ParseChunks(ReadFile(Dir.File("back.wav")));
  ASSERT_TRUE(reread);
  EXPECT_TRUE(reread->Consistent);
  EXPECT_EQ(reread->Ids(), streamed->Ids());
  EXPECT_EQ(reread->Find("iXML")->Body, TBytes(3001, 'i'));

  // Without room for chunks behind the data, the size is known and stated.
  File("plain.wav", test::CanonicalWav(2, 44100, 16, 4000 * kFrameBytes));
  ASSERT_EQ(Shell("cat plain.wav | $zorv -q - -o - > p.wav").ExitStatus, 0);
  const auto plain = test::ParseChunks(ReadFile(Dir.File("p.wav")));
  ASSERT_TRUE(plain);
  EXPECT_TRUE(plain->Consistent);
}

// A million different chunk identifiers (the most a file may have) take
// about a second, not the better part of an hour as a lookup per chunk over
// the chunks before it did; the bound is loose enough for a loaded machine
// and far below what the quadratic lookup needs. The metadata line names
// ten of them and counts the rest.
TEST_F(StreamIntegrity, AMillionChunkIdentifiersDecodeInLinearTime) {
  constexpr std::size_t kChunks = 1000000 - 2;  // with fmt and data
  constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  TBytes chunks;
  chunks.reserve(kChunks * 10);
  for (std::size_t i = 0; i < kChunks; ++i) {
    // Upper-case first letters: no identifier is "data" or "fmt ".
    const char id[4] = {kLetters[i % 26], kLetters[i / 26 % 62], kLetters[i / 1612 % 62],
                        kLetters[i / 99944 % 62]};
    chunks.insert(chunks.end(), id, id + 4);
    AppendLe32(chunks, 2);
    chunks.push_back(static_cast<std::uint8_t>(i));
    chunks.push_back(static_cast<std::uint8_t>(i >> 8));
  }
  test::TWavBuilder wav;
  wav.Fmt(1, 2, 44100, 16).Data(4000 * kFrameBytes).Raw(chunks);
  const TBytes bytes = wav.Bytes();
  File("many.wav", bytes);
  const auto began = std::chrono::steady_clock::now();
  const TChildResult r = Run({Dir.File("many.wav"), "-o", Dir.File("out.wav")});
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  ASSERT_EQ(r.ExitStatus, 0) << r.Err.substr(0, 2000);
  EXPECT_LT(seconds, 120.0);
  std::cout << "[ measured ] " << kChunks << " chunks decoded in " << seconds << " s\n";
  EXPECT_NE(r.Err.find("\nmetadata: AAAA, BAAA, CAAA, DAAA, EAAA, FAAA, GAAA, HAAA, IAAA, JAAA "
                       "and 999988 more\n"),
            std::string::npos)
      << r.Err.substr(0, 2000);
  const TBytes out = ReadFile(Dir.File("out.wav"));
  ASSERT_GE(out.size(), chunks.size());
  EXPECT_TRUE(std::equal(chunks.begin(), chunks.end(), out.end() - chunks.size()))
      << "every chunk behind the data, in order";
}

// A bext chunk larger than the reader holds in memory is copied as it is:
// said, not silently left without its line.
TEST_F(StreamIntegrity, ABextOver64MiBIsCopiedAndSaid) {
  constexpr std::uint32_t kBext = (64u << 20) + 2;
  test::TWavBuilder head;
  head.Fmt(1, 2, 44100, 16).Header("bext", kBext);
  TBytes tail;
  for (const char c : std::string_view("data")) tail.push_back(static_cast<std::uint8_t>(c));
  AppendLe32(tail, 4000 * kFrameBytes);
  tail.resize(tail.size() + 4000 * kFrameBytes, 1);
  TBytes start = head.Bytes();
  const std::uint32_t riff = static_cast<std::uint32_t>(start.size() - 8 + kBext + tail.size());
  for (int i = 0; i < 4; ++i) start[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
  {
    // A sparse file: the bext body is a hole.
    std::ofstream file(Dir.File("big.wav"), std::ios::binary);
    file.write(reinterpret_cast<const char*>(start.data()),
               static_cast<std::streamsize>(start.size()));
    file.seekp(static_cast<std::streamoff>(start.size() + kBext));
    file.write(reinterpret_cast<const char*>(tail.data()),
               static_cast<std::streamsize>(tail.size()));
  }
  const TChildResult r = Run({Dir.File("big.wav"), "-o", Dir.File("out.wav")});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_NE(r.Err.find("\nbext chunk of 67108866 bytes, more than 64 MiB: copied without a "
                       "CodingHistory line\n"),
            std::string::npos)
      << r.Err;
  EXPECT_EQ(fs::file_size(Dir.File("out.wav")), fs::file_size(Dir.File("big.wav")));
}

// An RF64 data size of all ones under a RIFF size that is stated: the data
// could end anywhere, a chunk behind it could be taken for samples. Refused.
TEST_F(StreamIntegrity, AnOpenRf64DataSizeUnderAKnownRiffSizeIsRefused) {
  test::TWavBuilder wav;
  wav.Fmt(1, 2, 44100, 16).Data(4000 * kFrameBytes).Chunk("iXML", TBytes(16, 'i'));
  const std::string in = File("open.wav", wav.Rf64Bytes("RF64", UINT64_MAX));
  const TChildResult r = Run({in, "-o", Dir.File("out.wav")});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_TRUE(
      r.Err.starts_with("zorv-decode: " + in +
                        ": unusable WAV file (a ds64 data size of all ones under a RIFF size of "))
      << r.Err;
  EXPECT_FALSE(fs::exists(Dir.File("out.wav")));
  // Stated, the same file decodes with its chunk behind the data.
  File("stated.wav", wav.Rf64Bytes("RF64"));
  const TChildResult ok = Run({Dir.File("stated.wav"), "-o", Dir.File("stated_dec.wav")});
  EXPECT_EQ(ok.ExitStatus, 0) << ok.Err;
  const auto out = test::ParseChunks(ReadFile(Dir.File("stated_dec.wav")));
  ASSERT_TRUE(out);
  ASSERT_TRUE(out->Find("data"));
  EXPECT_EQ(out->Find("data")->Size, 4000u * kFrameBytes);
  EXPECT_TRUE(out->Find("iXML"));
}

// Two names that differ only in bytes that are not UTF-8 are told apart in
// the report, and each can be found again from it.
TEST_F(StreamIntegrity, TheReportKeepsNamesThatAreNotUtf8Apart) {
  const std::string first = File("bad\xff.wav", test::CanonicalWav(2, 44100, 16, 400));
  const std::string second = File("bad\xfe.wav", test::CanonicalWav(2, 44100, 16, 400));
  const TChildResult r = Run({"-q", "--report", Dir.File("report.jsonl"), first, second});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  const TBytes bytes = ReadFile(Dir.File("report.jsonl"));
  std::istringstream lines(std::string(bytes.begin(), bytes.end()));
  std::vector<nlohmann::json> objects;
  for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(objects.size(), 2u);
  const auto unhex = [](const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
  };
  const auto field = [&](std::size_t i, const char* key) {
    return objects[i].contains(key) ? unhex(objects[i][key].get<std::string>()) : std::string();
  };
  EXPECT_EQ(field(0, "input_bytes"), first);
  EXPECT_EQ(field(1, "input_bytes"), second);
  EXPECT_EQ(field(0, "output_bytes"), Dir.File("bad\xff_dec.wav"));
  EXPECT_TRUE(fs::exists(field(1, "output_bytes")));
  // A UTF-8 name needs no second spelling.
  File("gut.wav", test::CanonicalWav(2, 44100, 16, 400));
  ASSERT_EQ(Run({"-q", "-f", "--report", Dir.File("r2.jsonl"), Dir.File("gut.wav")}).ExitStatus, 0);
  const TBytes plain = ReadFile(Dir.File("r2.jsonl"));
  EXPECT_FALSE(nlohmann::json::parse(plain.begin(), plain.end()).contains("input_bytes"));
}

// Any name a folder takes (up to 255 bytes) can be an output: the temporary
// and the partial names are shortened to fit.
TEST_F(StreamIntegrity, AnOutputNameOf255BytesWorks) {
  const std::string in = File("in.wav", test::CanonicalWav(2, 44100, 16, 4000));
  const std::string name = std::string(251, 'n') + ".wav";
  const TChildResult r = Run({"-q", in, "-o", Dir.File(name)});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  test::ExpectValidWav(Dir.File(name), 4000);
  EXPECT_EQ(Names(), (std::set<std::string>{"in.wav", name}));
}

}  // namespace
}  // namespace zorv
