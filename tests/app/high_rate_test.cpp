// SPDX-License-Identifier: GPL-3.0-or-later
// Runs at the rates above 96 kHz (and at 32 kHz): the reader's blocks fit its
// buffer and the decoder, and the output depends neither on the length of
// the blocks nor on the workers and the blocks in flight.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/decode_run.h"
#include "app/sample_conversion.h"
#include "tests/app/scratch_dir.h"
#include "tools/wav_test_file.h"
#include "wav/byte_sink.h"
#include "wav/byte_source.h"

namespace zorv {
namespace {

using test::ParseCanonical;
using test::ReadFile;
using test::TBytes;
using test::TWavFormat;

struct THighRateCase {
  const char* Name;
  TWavFormat Format;
  std::uint32_t BlockFrames;  // what the run decodes in one block
};
void PrintTo(const THighRateCase& c, std::ostream* os) {
  *os << c.Name;
}

// Positions handed over, per channel and band.
class TMeterCounts : public TMeterListener {
 public:
  void MeterPosition(int channel, int band, std::int32_t position) override {
    if (static_cast<std::size_t>(channel) >= Seen.size()) Seen.resize(channel + 1);
    Seen[channel].push_back(band * 1000000 + position);
  }
  std::vector<std::vector<std::int32_t>> Seen;
};

struct TRun {
  TRunStatus Status = TRunStatus::Idle;
  TBytes File;
  std::int32_t FramesPerBlock = 0;
  TDecodePath Path = TDecodePath::Extended;
  TMeterCounts Meters;
};

TRun Decode(const std::string& in, const std::string& out, TWorkerPool* pool, int inFlight) {
  TRun result;
  TRunSettings settings;
  settings.Pool = pool;
  settings.ChannelThreads = false;
  settings.BlocksInHand = inFlight;
  TDecodeRun run(settings);
  EXPECT_FALSE(run.OpenInput(OpenFileSource(in), in));
  EXPECT_FALSE(run.OpenOutput(CreateFileSink(out), out));
  run.SetMeterListener(&result.Meters);
  // The first block's frames, from the data read once it is decoded.
  std::uint64_t firstBlockBytes = 0;
  run.SetBlockCallback([&](std::uint64_t read) {
    if (firstBlockBytes == 0) firstBlockBytes = read;
  });
  const TRunResult decoded = run.Run();
  const std::uint32_t frameBytes = decoded.FrameBytes;
  EXPECT_NE(frameBytes, 0u);
  result.FramesPerBlock =
      frameBytes == 0 ? 0 : static_cast<std::int32_t>(firstBlockBytes / frameBytes);
  // The block fits the reader's buffer, in the output's format too.
  EXPECT_LE(firstBlockBytes, run.Input().BufferCapacity());
  EXPECT_LE(static_cast<std::uint32_t>(result.FramesPerBlock), TZorvCalc::BlockCapacity);
  result.Status = decoded.Status;
  result.File = ReadFile(out);
  result.Path = decoded.Arithmetic;
  return result;
}

// The samples of data decoded by a decoder of its own in blocks of
// blockFrames, as the file's format holds them.
TBytes DecodeInBlocks(const TBytes& data, const TWavFormat& format, TDecodePath path,
                      std::uint32_t blockFrames) {
  const TFrameLayout layout = FrameLayoutOf(format.FrameBytes(), format.Channels, format.Tag);
  const std::uint32_t frames = static_cast<std::uint32_t>(data.size() / format.FrameBytes());
  std::vector<std::vector<double>> in(format.Channels, std::vector<double>(frames));
  std::vector<std::vector<double>> out(format.Channels, std::vector<double>(frames));
  std::vector<double*> inPtr, outPtr;
  for (auto& b : in) inPtr.push_back(b.data());
  for (auto& b : out) outPtr.push_back(b.data());
  SplitBlock(data.data(), static_cast<std::uint32_t>(data.size()), layout, inPtr.data());
  TZorvCalc calc;
  calc.SetPath(path);
  calc.Prepare(format.SampleRate, format.Channels, 0);
  std::vector<const double*> inAt(format.Channels);
  std::vector<double*> outAt(format.Channels);
  for (std::uint32_t done = 0; done < frames;) {
    const std::uint32_t n = std::min(blockFrames, frames - done);
    for (std::uint32_t c = 0; c < format.Channels; ++c) {
      inAt[c] = inPtr[c] + done;
      outAt[c] = outPtr[c] + done;
    }
    EXPECT_EQ(calc.ProcessBlock(inAt.data(), outAt.data(), n), static_cast<std::int32_t>(n));
    done += n;
  }
  TBytes merged(data.size());
  MergeBlock(outPtr.data(), static_cast<std::uint32_t>(data.size()), layout, merged.data());
  return merged;
}

class HighRateRuns : public ::testing::TestWithParam<THighRateCase> {
 protected:
  test::TScratchDir Dir{ZORV_APP_SCRATCH};
};

TEST_P(HighRateRuns, BlocksFitAndTheOutputDependsOnNeitherBlocksNorWorkers) {
  const THighRateCase& c = GetParam();
  // Three blocks and an odd remainder.
  const std::uint32_t frames = c.BlockFrames * 3 + 321;
  const std::string in = Dir.File("in.wav");
  test::WriteFile(in, test::WavBytes(c.Format, test::SignalBytes(c.Format, frames, 5)));

  // One block at a time on the run's own thread.
  const TRun plain = Decode(in, Dir.File("plain.wav"), nullptr, 1);
  ASSERT_EQ(plain.Status, TRunStatus::Done);
  EXPECT_EQ(plain.FramesPerBlock, static_cast<std::int32_t>(c.BlockFrames));
  const auto image = ParseCanonical(plain.File);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->DataSize, std::size_t{frames} * c.Format.FrameBytes());
  // An odd-sized data chunk is followed by its pad byte.
  const TBytes decoded(image->Data.begin(), image->Data.begin() + image->DataSize);

  // Meter points at frames 0, 100, ... of each of the four blocks (the short
  // last one to its last frame only), four bands each.
  const std::size_t points = 3 * ((c.BlockFrames + 99) / 100) + (321 + 99) / 100;
  ASSERT_EQ(plain.Meters.Seen.size(), c.Format.Channels);
  for (const auto& channel : plain.Meters.Seen) EXPECT_EQ(channel.size(), points * 4);

  for (const unsigned workers : {1u, 2u}) {
    TWorkerPool pool(workers);
    for (const int inFlight : {2, 5}) {
      SCOPED_TRACE(std::to_string(workers) + " workers, " + std::to_string(inFlight) +
                   " blocks in flight");
      const TRun got = Decode(in, Dir.File("pool.wav"), &pool, inFlight);
      EXPECT_EQ(got.Status, TRunStatus::Done);
      EXPECT_TRUE(got.File == plain.File);
      EXPECT_EQ(got.Meters.Seen, plain.Meters.Seen);
    }
  }

  // Another decoder in odd blocks of its own length writes the same samples.
  const auto input = ParseCanonical(ReadFile(in));
  ASSERT_TRUE(input);
  const TBytes source(input->Data.begin(), input->Data.begin() + input->DataSize);
  EXPECT_TRUE(DecodeInBlocks(source, c.Format, plain.Path, 1013) == decoded)
      << "blocks of 1013 frames";
}

INSTANTIATE_TEST_SUITE_P(Formats, HighRateRuns,
                         ::testing::Values(
                             // 100 ms of 16-bit mono fill the reader's buffer: 19200 frames.
                             THighRateCase{"Mono16At192k", {1, 1, 192000, 16}, 19200},
                             THighRateCase{"Stereo16At192k", {1, 2, 192000, 16}, 9600},
                             THighRateCase{"Mono24At192k", {1, 1, 192000, 24}, 9600},
                             THighRateCase{"Stereo24At192k", {1, 2, 192000, 24}, 4800},
                             THighRateCase{"Mono16At176k4", {1, 1, 176400, 16}, 17640},
                             THighRateCase{"Stereo24At88k2", {1, 2, 88200, 24}, 4410},
                             THighRateCase{"StereoFloatAt32k", {3, 2, 32000, 32}, 3200},
                             // 12 ms of 64 channels of 24 bits fill the reader's wide buffer.
                             THighRateCase{"SixtyFour24At192k", {1, 64, 192000, 24}, 2304},
                             THighRateCase{"Three16At176k4", {1, 3, 176400, 16}, 17640}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace zorv
