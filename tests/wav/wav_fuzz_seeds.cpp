// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed corpus of the reader's fuzz target: small WAV files in the
// layouts the reader has to walk, into the folder named on the command line.
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/wav/wav_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wav_fuzz_seeds FOLDER\n");
    return 2;
  }
  using zorv::test::TBytes;
  using zorv::test::TWavBuilder;
  TBytes fmt18 = zorv::test::FmtBody(1, 2, 44100, 16);
  fmt18.insert(fmt18.end(), {0, 0});
  const std::vector<std::pair<std::string, TBytes>> seeds = {
      {"canonical_mono16", zorv::test::CanonicalWav(1, 44100, 16, 64)},
      {"canonical_stereo24", zorv::test::CanonicalWav(2, 96000, 24, 60)},
      {"float32", TWavBuilder().Fmt(3, 2, 48000, 32).Data(64).Bytes()},
      {"empty_data", zorv::test::CanonicalWav(2, 48000, 16, 0)},
      {"list_before_fmt", TWavBuilder().List(9).Fmt(1, 2, 44100, 16).Data(40).Bytes()},
      {"list_between", TWavBuilder().Fmt(1, 1, 48000, 16).List(4).Data(40).Bytes()},
      {"odd_chunks", TWavBuilder().List(3).Fmt(1, 1, 44100, 16).List(5).Data(7).List(1).Bytes()},
      {"fmt18", TWavBuilder().Chunk("fmt ", fmt18).Data(32).Bytes()},
      {"extensible_pcm",
       TWavBuilder().Chunk("fmt ", zorv::test::ExtensibleBody(2, 48000, 24, 1)).Data(48).Bytes()},
      {"extensible_float",
       TWavBuilder().Chunk("fmt ", zorv::test::ExtensibleBody(2, 96000, 32, 3)).Data(48).Bytes()},
      {"data_longer_than_file",
       TWavBuilder().Fmt(1, 2, 44100, 16).Header("data", 100000).Raw(TBytes(40, 1)).Bytes()},
      {"rf64", TWavBuilder().Fmt(1, 2, 44100, 16).Data(64).List(3).Rf64Bytes("RF64")},
      {"bw64", TWavBuilder().Fmt(3, 1, 48000, 32).Data(64).Rf64Bytes("BW64")},
      {"rf64_data_beyond_file",
       TWavBuilder().Fmt(1, 2, 48000, 24).Data(60).Rf64Bytes("RF64", 0x100000000ull)},
      {"broadcast_wave", TWavBuilder()
                             .Chunk("JUNK", TBytes(28, 0))
                             .Chunk("bext", zorv::test::BextBody("reel", "A=ANALOGUE\r\n", 3))
                             .Fmt(1, 2, 48000, 24)
                             .Chunk("fact", TBytes{16, 0, 0, 0})
                             .Chunk("iXML", zorv::test::TextBytes("<BWFXML/>"))
                             .Data(96)
                             .Chunk("cue ", TBytes(28, 1))
                             .List(5)
                             .Chunk("MD5 ", TBytes(16, 0))
                             .Bytes()},
      {"short_bext", TWavBuilder().Chunk("bext", TBytes(30, 'b')).Fmt(1, 1, 44100, 16).Data(8).Bytes()},
      {"tiny_chunks", [] {
         TWavBuilder b;
         for (int i = 0; i < 64; ++i) b.Header("tiny", 0);
         return b.Fmt(1, 1, 96000, 16).Data(16).Bytes();
       }()},
      {"mono24_odd", TWavBuilder().Fmt(1, 1, 44100, 24).Data(9).Bytes()},
  };
  for (const auto& [name, bytes] : seeds) {
    std::ofstream out(std::string(argv[1]) + "/" + name + ".wav", std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "wav_fuzz_seeds: cannot write %s\n", name.c_str());
      return 1;
    }
  }
  return 0;
}
