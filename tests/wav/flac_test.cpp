// SPDX-License-Identifier: GPL-3.0-or-later
// FLAC files written by the sink and read by the source: whatever the writer
// does to its RIFF bytes (pieces of any size, frames split between writes,
// sizes patched, room made in a chunk before the samples, chunks behind
// them), the source gives those bytes back, as a plain memory sink holds
// them; damage, a cut and a wrong checksum are found.
#include <gtest/gtest.h>

#include <cerrno>
#include <random>

#include "tests/wav/wav_builder.h"
#include "tools/wav_test_file.h"
#include "wav/byte_sink.h"
#include "wav/byte_source.h"
#include "wav/chunk_list.h"
#include "wav/flac_riff.h"
#include "wav/flac_sink.h"
#include "wav/flac_source.h"
#include "wav/md5.h"

namespace zorv {
namespace {

using test::TBytes;

struct TFormat {
  std::uint16_t Channels;
  std::uint32_t Rate;
  std::uint16_t Bits;
  bool Extensible;
  std::uint32_t Frames;
};

// A Broadcast WAVE file: chunks of odd and even size before the samples and
// behind them.
TBytes Archive(const TFormat& f) {
  const test::TWavFormat format{1, f.Channels, f.Rate, f.Bits};
  const TBytes fmt = f.Extensible ? test::ExtensibleBody(f.Channels, f.Rate, f.Bits, 1)
                                  : test::FmtBody(1, f.Channels, f.Rate, f.Bits);
  return test::TWavBuilder()
      .Chunk("JUNK", TBytes(28, 0))
      .Chunk("bext", test::BextBody("Reel 7", "A=ANALOGUE,M=stereo,T=Revox\r\n"))
      .Chunk("fmt ", fmt)
      .Chunk("iXML", test::TextBytes("<BWFXML>take 3</BWFXML>"))
      .Chunk("data", test::SignalBytes(format, f.Frames))
      .Chunk("cue ", TBytes(28, 1))
      .Chunk("LIST", test::TextBytes("INFOICMTx"))
      .Chunk("MD5 ", TBytes(16, 7))
      .Bytes();
}

// Where the data chunk's header ends and how many sample bytes follow.
std::pair<std::size_t, std::size_t> DataOf(const TBytes& wav) {
  for (std::size_t at = 12; at + 8 <= wav.size();) {
    const std::uint32_t size = GetLe32(wav.data() + at + 4);
    if (std::equal(wav.begin() + at, wav.begin() + at + 4, "data")) return {at + 8, size};
    at += ChunkBytes(size);
  }
  return {0, 0};
}

// The same writes to both sinks, as the WAV writer makes them: the head in
// two pieces, the samples in pieces of random size, the tail, then the RIFF
// size patched and the bext chunk grown by two bytes (its size, the RIFF
// size and the bytes behind it moved).
void WriteLikeTheWriter(const TBytes& wav, std::vector<TByteSink*> sinks, std::uint32_t seed) {
  const auto [dataAt, dataBytes] = DataOf(wav);
  std::mt19937 random(seed);
  for (TByteSink* sink : sinks) {
    ASSERT_EQ(sink->Write(wav.data(), 20), 20u);
    ASSERT_EQ(sink->Write(wav.data() + 20, dataAt - 20), dataAt - 20);
  }
  for (std::size_t done = 0; done < dataBytes;) {
    const std::size_t n = std::min<std::size_t>(dataBytes - done, 1 + random() % 9000);
    for (TByteSink* sink : sinks) ASSERT_EQ(sink->WriteSamples(wav.data() + dataAt + done, n), n);
    done += n;
  }
  const std::size_t tail = dataAt + dataBytes;
  for (TByteSink* sink : sinks)
    ASSERT_EQ(sink->Write(wav.data() + tail, wav.size() - tail), wav.size() - tail);
  // bext is the second chunk: header at 48, body 631 bytes (odd) and its pad.
  ASSERT_EQ(std::string(wav.begin() + 48, wav.begin() + 52), "bext");
  const std::uint32_t bext = GetLe32(wav.data() + 52);
  const std::uint64_t bextEnd = 56 + ChunkBytes(bext) - 8;
  std::uint8_t size[4];
  for (TByteSink* sink : sinks) {
    ASSERT_EQ(sink->MakeRoom(bextEnd, 2), TByteSink::TRoom::Made);
    EXPECT_EQ(sink->Position(), wav.size() + 2);
    SetLe32(size, bext + 2);
    ASSERT_TRUE(sink->Seek(52));
    ASSERT_EQ(sink->Write(size, 4), 4u);
    // The old pad byte and the new byte carry text; the new pad byte is 0.
    const std::uint8_t line[2] = {'x', '\n'};
    ASSERT_TRUE(sink->Seek(56 + bext));
    ASSERT_EQ(sink->Write(line, 2), 2u);
    SetLe32(size, static_cast<std::uint32_t>(wav.size() + 2 - 8));
    ASSERT_TRUE(sink->Seek(4));
    ASSERT_EQ(sink->Write(size, 4), 4u);
  }
}

TBytes ReadAll(TByteSource& source) {
  TBytes out(source.Size());
  out.resize(source.Read(out.data(), out.size()));
  return out;
}

std::unique_ptr<TFlacSource> OpenFlac(const TBytes& flac) {
  std::string problem;
  bool failed = false;
  auto source = TFlacSource::Open(MemorySource(flac.data(), flac.size()), problem, failed);
  EXPECT_TRUE(source) << problem;
  return source;
}

class FlacRoundTrip : public ::testing::TestWithParam<TFormat> {};

TEST_P(FlacRoundTrip, SourceGivesBackWhatTheSinkWasWritten) {
  const TBytes wav = Archive(GetParam());
  TBytes expected;
  TBytes flac;
  auto plain = MemorySink(expected);
  auto sink = TFlacSink::Create(MemorySink(flac));
  ASSERT_TRUE(sink);
  WriteLikeTheWriter(wav, {plain.get(), sink.get()}, GetParam().Frames);
  ASSERT_TRUE(sink->Close()) << sink->Error();
  ASSERT_EQ(std::string(flac.begin(), flac.begin() + 4), "fLaC");

  const auto source = OpenFlac(flac);
  ASSERT_TRUE(source);
  EXPECT_TRUE(source->KeepsRiffChunks());
  EXPECT_TRUE(source->Notes().empty());
  ASSERT_EQ(source->Size(), expected.size());
  // Checked once the last sample is decoded (at once when there is none).
  EXPECT_EQ(source->Md5Check(),
            GetParam().Frames > 0 ? TFlacMd5Check::Unchecked : TFlacMd5Check::Matches);
  EXPECT_TRUE(ReadAll(*source) == expected);
  EXPECT_EQ(source->Md5Check(), TFlacMd5Check::Matches);
  // The STREAMINFO MD5 of 16- and 24-bit samples is that of the data bytes.
  const auto [dataAt, dataBytes] = DataOf(expected);
  TMd5 md5;
  md5.Update(expected.data() + dataAt, dataBytes);
  EXPECT_EQ(source->StreamMd5(), HexDigest(md5.Digest()));

  // Anywhere, in any order, the same bytes; a second pass is checked again.
  std::mt19937 random(7);
  for (int i = 0; i < 40; ++i) {
    const std::size_t at = random() % expected.size();
    const std::size_t n = std::min<std::size_t>(expected.size() - at, 1 + random() % 20000);
    TBytes got(n);
    ASSERT_TRUE(source->Seek(at));
    ASSERT_EQ(source->Read(got.data(), n), n) << source->ReadErrorText();
    ASSERT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + at)) << at;
  }
  ASSERT_TRUE(source->Seek(0));
  EXPECT_TRUE(ReadAll(*source) == expected);
  EXPECT_EQ(source->Md5Check(), TFlacMd5Check::Matches);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FlacRoundTrip,
    ::testing::Values(TFormat{1, 44100, 16, false, 30011}, TFormat{2, 96000, 24, false, 20000},
                      TFormat{1, 48000, 24, false, 4097},  // odd data: a pad byte before the tail
                      TFormat{6, 48000, 24, true, 9000}, TFormat{2, 44100, 32, false, 5000},
                      TFormat{2, 44100, 16, false, 0}));

// A source that reads a FLAC file once, in order, like standard input.
class TOnce final : public TByteSource {
 public:
  explicit TOnce(const TBytes& bytes) : Inner_(MemorySource(bytes.data(), bytes.size())) {}
  std::size_t Read(void* to, std::size_t n) override {
    return Inner_->Read(to, std::min<std::size_t>(n, 1000));
  }
  bool Seek(std::uint64_t position) override {
    return position >= Inner_->Position() && Inner_->Seek(position);
  }
  std::uint64_t Position() const override { return Inner_->Position(); }
  std::uint64_t Size() const override { return kUnknownSize; }
  bool Seekable() const override { return false; }

 private:
  std::unique_ptr<TByteSource> Inner_;
};

TEST(FlacSource, ReadsAStreamInOrderAndFindsDamageACutAndAWrongChecksum) {
  const TBytes wav = Archive({2, 48000, 24, false, 50000});
  TBytes expected;
  TBytes flac;
  auto plain = MemorySink(expected);
  auto sink = TFlacSink::Create(MemorySink(flac));
  WriteLikeTheWriter(wav, {plain.get(), sink.get()}, 3);
  ASSERT_TRUE(sink->Close());

  std::string problem;
  bool failed = false;
  auto stream = TFlacSource::Open(std::make_unique<TOnce>(flac), problem, failed);
  ASSERT_TRUE(stream) << problem;
  EXPECT_FALSE(stream->Seekable());
  EXPECT_TRUE(ReadAll(*stream) == expected);
  EXPECT_EQ(stream->Md5Check(), TFlacMd5Check::Matches);

  // The frames begin where the STREAMINFO says the metadata ends; a byte in
  // the middle of them is damaged.
  const auto [dataAt, dataBytes] = DataOf(expected);
  TBytes damaged = flac;
  damaged[flac.size() - flac.size() / 3] ^= 0x10;
  auto source = OpenFlac(damaged);
  ASSERT_TRUE(source);
  TBytes got(expected.size());
  const std::size_t read = source->Read(got.data(), got.size());
  EXPECT_LT(read, dataAt + dataBytes);
  EXPECT_EQ(source->ReadErrno(), EIO);
  EXPECT_NE(source->ReadErrorText().find("damaged FLAC"), std::string::npos)
      << source->ReadErrorText();
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + read, expected.begin()));

  const TBytes cut(flac.begin(), flac.end() - 5000);
  source = OpenFlac(cut);
  ASSERT_TRUE(source);
  EXPECT_LT(source->Read(got.data(), got.size()), dataAt + dataBytes);
  EXPECT_NE(source->ReadErrorText().find("the FLAC stream ends after"), std::string::npos)
      << source->ReadErrorText();

  // STREAMINFO's MD5 is its last 16 bytes, 26..41.
  TBytes wrongSum = flac;
  wrongSum[30] ^= 1;
  source = OpenFlac(wrongSum);
  ASSERT_TRUE(source);
  EXPECT_TRUE(ReadAll(*source) == expected);
  EXPECT_EQ(source->Md5Check(), TFlacMd5Check::Differs);
}

// A target that takes limit bytes in all, then fails as a full disk does.
class TFullDisk final : public TByteSink {
 public:
  TFullDisk(TBytes& bytes, std::size_t limit) : Inner_(MemorySink(bytes)), Left_(limit) {}
  std::size_t Write(const void* data, std::size_t n) override {
    const std::size_t taken = Inner_->Write(data, std::min(n, Left_));
    Left_ -= taken;
    if (taken < n) Error_ = ENOSPC;
    return taken;
  }
  bool Seek(std::uint64_t position) override { return Inner_->Seek(position); }
  std::uint64_t Position() const override { return Inner_->Position(); }
  bool Seekable() const override { return true; }
  bool Close() override { return Inner_->Close(); }
  TRoom MakeRoom(std::uint64_t position, std::uint64_t n) override {
    return Inner_->MakeRoom(position, n);
  }

 private:
  std::unique_ptr<TByteSink> Inner_;
  std::size_t Left_;
};

TEST(FlacSink, MovesItsFramesForLargeChunksBehindTheSamplesAndFailsWhereFlacCannotHoldThem) {
  // Chunks behind the samples larger than the room left move the frames on.
  const test::TWavFormat format{1, 2, 44100, 16};
  const TBytes wav = test::TWavBuilder()
                         .Fmt(1, 2, 44100, 16)
                         .Chunk("data", test::SignalBytes(format, 8000))
                         .Chunk("iXML", TBytes(40001, 'x'))
                         .Bytes();
  TBytes flac;
  auto sink = TFlacSink::Create(MemorySink(flac));
  const auto [dataAt, dataBytes] = DataOf(wav);
  ASSERT_EQ(sink->Write(wav.data(), dataAt), dataAt);
  ASSERT_EQ(sink->WriteSamples(wav.data() + dataAt, dataBytes), dataBytes);
  // A write among the samples is refused.
  ASSERT_TRUE(sink->Seek(dataAt + 10));
  EXPECT_EQ(sink->Write(wav.data(), 8), 0u);
  EXPECT_EQ(sink->Error(), EINVAL);
  ASSERT_TRUE(sink->Seek(dataAt + dataBytes));
  ASSERT_EQ(sink->Write(wav.data() + dataAt + dataBytes, wav.size() - dataAt - dataBytes),
            wav.size() - dataAt - dataBytes);
  ASSERT_TRUE(sink->Close());
  auto source = OpenFlac(flac);
  ASSERT_TRUE(source);
  EXPECT_TRUE(ReadAll(*source) == wav);

  // A chunk larger than a metadata block.
  TBytes unused;
  sink = TFlacSink::Create(MemorySink(unused));
  ASSERT_EQ(sink->Write(wav.data(), dataAt), dataAt);
  ASSERT_EQ(sink->WriteSamples(wav.data() + dataAt, dataBytes), dataBytes);
  TBytes huge = test::TWavBuilder().Chunk("iXML", TBytes(kMaxFlacChunkBytes, 'x')).Bytes();
  ASSERT_EQ(sink->Write(huge.data() + 12, huge.size() - 12), huge.size() - 12);
  EXPECT_FALSE(sink->Close());
  EXPECT_EQ(sink->Error(), EFBIG);

  // Float samples and nine channels are no FLAC.
  for (const TBytes& fmt : {test::FmtBody(3, 2, 44100, 32), test::FmtBody(1, 9, 44100, 16)}) {
    const TBytes head = test::TWavBuilder().Chunk("fmt ", fmt).Header("data", 72).Bytes();
    sink = TFlacSink::Create(MemorySink(unused));
    ASSERT_EQ(sink->Write(head.data(), head.size()), head.size());
    EXPECT_EQ(sink->WriteSamples(wav.data() + dataAt, 72), 0u);
    EXPECT_EQ(sink->Error(), EINVAL);
  }

  // A target that fills up, wherever: a failed write or close, never a
  // file said to be complete.
  for (const std::size_t limit : {100, 9000, 20000, 30000}) {
    TBytes full;
    sink = TFlacSink::Create(std::make_unique<TFullDisk>(full, limit));
    bool ok = sink->Write(wav.data(), dataAt) == dataAt;
    ok = ok && sink->WriteSamples(wav.data() + dataAt, dataBytes) == dataBytes;
    ok = sink->Close() && ok;
    EXPECT_FALSE(ok) << limit;
    EXPECT_EQ(sink->Error(), ENOSPC) << limit;
  }
}

}  // namespace
}  // namespace zorv
