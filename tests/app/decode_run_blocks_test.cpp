// SPDX-License-Identifier: GPL-3.0-or-later
// The run's blocks, end to end over files: every length of data written
// whole and stated, the first failed write or read ending the run, float and
// debug outputs, extensible headers, and the meters.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/decode_run.h"
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

const TWavFormat kStereo16{};
const TWavFormat kMono16{1, 1, 48000, 16};
const TWavFormat kStereoFloat{3, 2, 44100, 32};
// Frames of one block at 44.1 and 48 kHz (100 ms).
constexpr std::uint32_t kBlock44 = 4410;
constexpr std::uint32_t kBlock48 = 4800;

// A file sink that counts the writes of samples.
class TCountingSink final : public TByteSink {
 public:
  TCountingSink(std::unique_ptr<TByteSink> file, int& samples)
      : File_(std::move(file)), Samples_(samples) {}
  std::size_t Write(const void* data, std::size_t n) override {
    return Took(File_->Write(data, n));
  }
  std::size_t WriteSamples(const void* data, std::size_t n) override {
    ++Samples_;
    return Took(File_->WriteSamples(data, n));
  }
  bool Seek(std::uint64_t position) override { return Took(File_->Seek(position)); }
  std::uint64_t Position() const override { return File_->Position(); }
  bool Seekable() const override { return File_->Seekable(); }
  bool Close() override { return Took(File_->Close()); }

 private:
  template <typename T>
  T Took(T result) {
    Error_ = File_->Error();
    return result;
  }
  std::unique_ptr<TByteSink> File_;
  int& Samples_;
};

class DecodeRunBlocks : public ::testing::Test {
 protected:
  std::string Input(const TWavFormat& format, const TBytes& data,
                    std::optional<std::uint32_t> declared = std::nullopt) {
    const std::string path = Dir.File("in" + std::to_string(++Inputs) + ".wav");
    test::WriteFile(path, test::WavBytes(format, data, declared));
    return path;
  }

  struct TDecoded {
    TRunResult Result;
    int Blocks = 0;  // block callbacks
    std::uint64_t DataBytesRead = 0;
  };
  // Decodes in into out (a file of that name, written directly); each is
  // called after every block with the block's index.
  static TDecoded Decode(const std::string& in, const std::string& out,
                         const TRunSettings& settings = {},
                         const std::function<void(TDecodeRun&, int)>& each = {},
                         std::unique_ptr<TByteSink> sink = nullptr) {
    TDecodeRun run(settings);
    EXPECT_FALSE(run.OpenInput(OpenFileSource(in), in));
    EXPECT_FALSE(run.OpenOutput(sink ? std::move(sink) : CreateFileSink(out), out));
    TDecoded decoded;
    run.SetBlockCallback([&](std::uint64_t) {
      if (each) each(run, decoded.Blocks);
      ++decoded.Blocks;
    });
    decoded.Result = run.Run();
    decoded.DataBytesRead = run.DataBytesRead();
    return decoded;
  }

  static TBytes DecodeFresh(const std::string& in, const std::string& out,
                            const TRunSettings& settings = {}) {
    EXPECT_EQ(Decode(in, out, settings).Result.Status, TRunStatus::Done);
    return ReadFile(out);
  }

  test::TScratchDir Dir{ZORV_APP_SCRATCH};
  int Inputs = 0;
};

// The output file is one canonical WAV whose sizes state what it holds: the
// data, and the pad byte behind data of odd size.
void ExpectConsistent(const TBytes& file, std::uint32_t dataBytes) {
  const auto image = ParseCanonical(file);
  ASSERT_TRUE(image.has_value());
  const std::uint32_t pad = dataBytes % 2;
  EXPECT_EQ(image->FmtSize, 16u);
  EXPECT_EQ(image->DataSize, dataBytes);
  EXPECT_EQ(image->Data.size(), dataBytes + pad);
  if (pad != 0 && !image->Data.empty()) {
    EXPECT_EQ(image->Data.back(), 0);
  }
  EXPECT_EQ(image->RiffSize, file.size() - 8);
  EXPECT_EQ(image->RiffSize, dataBytes + pad + 36);
}

struct LengthCase {
  const char* name;
  TWavFormat format;
  std::uint32_t dataBytes;
  int blocks;
  std::uint32_t droppedBytes = 0;  // of a frame cut short at the end
};
void PrintTo(const LengthCase& c, std::ostream* os) {
  *os << c.name;
}

class RunLengths : public DecodeRunBlocks, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(RunLengths, WritesExactlyTheBytesReadAndStatesThem) {
  const LengthCase& c = GetParam();
  const TBytes signal = test::SignalBytes(c.format, c.dataBytes / c.format.FrameBytes() + 1);
  const TBytes data(signal.begin(), signal.begin() + c.dataBytes);
  const std::string in = Input(c.format, data);
  const std::string out = Dir.File("out.wav");

  const TDecoded decoded = Decode(in, out);
  EXPECT_EQ(decoded.Blocks, c.blocks);

  const TRunResult& result = decoded.Result;
  EXPECT_EQ(result.Status, TRunStatus::Done);
  EXPECT_EQ(StatusText(result.Status), "Done");
  EXPECT_EQ(decoded.DataBytesRead, c.dataBytes);
  EXPECT_EQ(result.Frames, c.dataBytes / c.format.FrameBytes());
  if (c.droppedBytes == 0) {
    EXPECT_TRUE(result.Warnings.empty());
  } else {
    ASSERT_EQ(result.Warnings.size(), 1u);
    EXPECT_EQ(result.Warnings[0].Code, warning_codes::kPartialFrame);
    EXPECT_NE(result.Warnings[0].Message.find("partial frame of " + std::to_string(c.droppedBytes) +
                                              " byte"),
              std::string::npos)
        << result.Warnings[0].Message;
  }

  const TBytes file = ReadFile(out);
  ExpectConsistent(file, c.dataBytes - c.droppedBytes);
  const auto image = ParseCanonical(file);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Tag, c.format.Tag);
  EXPECT_EQ(image->Channels, c.format.Channels);
  EXPECT_EQ(image->SampleRate, c.format.SampleRate);
  EXPECT_EQ(image->BlockAlign, c.format.FrameBytes());
  EXPECT_EQ(image->Bits, c.format.Bits);
  EXPECT_EQ(image->ByteRate, c.format.SampleRate * c.format.FrameBytes());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, RunLengths,
    ::testing::Values(
        LengthCase{"ExactlyThreeBlocks", kStereo16, 3 * kBlock44 * 4, 3},
        LengthCase{"ShorterThanABlock", kStereo16, 1000 * 4, 1},
        LengthCase{"BlockAndAHalfFrameDropsTheHalf", kStereo16, kBlock44 * 4 + 6, 2, 2},
        LengthCase{"OddByteCountMonoDropsTheLastByte", kMono16, 2001, 1, 1},
        LengthCase{"OddFrameCountOf24BitMonoGetsAPadByte", {1, 1, 48000, 24}, 3 * 333, 1},
        LengthCase{"EmptyDataGivesTheBare44Bytes", kStereo16, 0, 0},
        LengthCase{"FloatTwoBlocks", kStereoFloat, 2 * kBlock44 * 8, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecodeRunBlocks, DataClaimingMoreThanTheFileIsDecodedAsFarAsItGoes) {
  const TBytes data = test::SignalBytes(kStereo16, kBlock44 + 500);
  const std::string out = Dir.File("out.wav");
  EXPECT_EQ(Decode(Input(kStereo16, data, 10 * kBlock44 * 4), out).Result.Status, TRunStatus::Done);
  ExpectConsistent(ReadFile(out), static_cast<std::uint32_t>(data.size()));
}

TEST_F(DecodeRunBlocks, AStopAskedForAfterABlockEndsTheRunAfterThatBlock) {
  const std::string in = Input(kStereo16, test::SignalBytes(kStereo16, 3 * kBlock44));
  const std::string out = Dir.File("out.wav");
  const TDecoded decoded = Decode(in, out, {}, [](TDecodeRun& run, int) { run.RequestStop(); });

  EXPECT_EQ(decoded.Blocks, 1);
  EXPECT_EQ(decoded.Result.Status, TRunStatus::Aborted);
  EXPECT_EQ(StatusText(decoded.Result.Status), "aborted");
  EXPECT_TRUE(decoded.Result.Partial);
  // The block in hand when the stop came is still written.
  ExpectConsistent(ReadFile(out), kBlock44 * 4);
}

TEST_F(DecodeRunBlocks, MonoRunsWithoutARightInputAndMatchesTheStereoLeft) {
  // The same signal as a mono file and as the left channel of a stereo file.
  const TWavFormat stereo{1, 2, 48000, 16};
  const TBytes stereoData = test::SignalBytes(stereo, kBlock48 + 700);
  TBytes monoData;
  for (std::size_t k = 0; k < stereoData.size(); k += 4) {
    monoData.insert(monoData.end(), stereoData.begin() + k, stereoData.begin() + k + 2);
  }
  const std::string monoOut = Dir.File("mono_out.wav");
  bool rightInputSeen = true;
  bool leftInputSeen = false;
  const TDecoded mono = Decode(Input(kMono16, monoData), monoOut, {}, [&](TDecodeRun& run, int) {
    leftInputSeen = run.BlockInHand(0).Samples != nullptr;
    rightInputSeen = run.BlockInHand(1).Samples != nullptr;
  });
  EXPECT_EQ(mono.Result.Status, TRunStatus::Done);
  EXPECT_TRUE(leftInputSeen);
  EXPECT_FALSE(rightInputSeen);

  const TBytes stereoOut = DecodeFresh(Input(stereo, stereoData), Dir.File("stereo_out.wav"));
  const auto monoImage = ParseCanonical(ReadFile(monoOut));
  const auto both = ParseCanonical(stereoOut);
  ASSERT_TRUE(monoImage && both);
  ASSERT_EQ(monoImage->Data.size() * 2, both->Data.size());
  for (std::size_t frame = 0; frame < monoImage->Data.size() / 2; ++frame) {
    ASSERT_EQ(monoImage->Data[2 * frame], both->Data[4 * frame]) << frame;
    ASSERT_EQ(monoImage->Data[2 * frame + 1], both->Data[4 * frame + 1]) << frame;
  }
}

// The control voltage of channel 1's band after the first block of data,
// from a decoder of its own.
long double VoltageAfterFirstBlock(const TBytes& data, const TWavFormat& format, std::uint32_t band,
                                   TDecodePath path) {
  const TFrameLayout layout = FrameLayoutOf(format.FrameBytes(), format.Channels, format.Tag);
  std::vector<std::vector<double>> in(format.Channels, std::vector<double>(kBlock44));
  std::vector<std::vector<double>> out(format.Channels, std::vector<double>(kBlock44));
  std::vector<double*> inPtr, outPtr;
  for (auto& b : in) inPtr.push_back(b.data());
  for (auto& b : out) outPtr.push_back(b.data());
  SplitBlock(data.data(), kBlock44 * format.FrameBytes(), layout, inPtr.data());
  TZorvCalc calc;
  calc.SetPath(path);
  calc.Prepare(format.SampleRate, format.Channels, band);
  EXPECT_EQ(calc.ProcessBlock(inPtr.data(), outPtr.data(), kBlock44),
            static_cast<std::int32_t>(kBlock44));
  return static_cast<long double>(calc.Generator(0, static_cast<int>(band) - 1).ControlVoltage());
}

struct DebugCase {
  const char* name;
  TWavFormat format;
  std::uint32_t band;
};
void PrintTo(const DebugCase& c, std::ostream* os) {
  *os << c.name;
}

class DebugOutput : public DecodeRunBlocks, public ::testing::WithParamInterface<DebugCase> {};

TEST_P(DebugOutput, PutsTheBandsControlVoltageIntoChannelTwo) {
  const DebugCase& c = GetParam();
  const std::string in = Input(c.format, test::SignalBytes(c.format, 2 * kBlock44));
  const std::string out = Dir.File("debug.wav");
  TRunSettings settings;
  settings.DebugBand = c.band;
  const TRunResult result = Decode(in, out, settings).Result;
  ASSERT_EQ(result.Status, TRunStatus::Done);
  // The voltage after the last frame of the first block, as full scale 6.5536 V.
  const long double expected = VoltageAfterFirstBlock(ParseCanonical(ReadFile(in))->Data, c.format,
                                                      c.band, result.Arithmetic) /
                               6.5536L;

  const auto image = ParseCanonical(ReadFile(out));
  ASSERT_TRUE(image);
  const std::size_t frame = kBlock44 - 1;
  const std::uint8_t* right =
      image->Data.data() + frame * c.format.FrameBytes() + c.format.Bits / 8;
  const float single = static_cast<float>(static_cast<double>(expected));
  if (c.format.Tag == 3) {
    float written;
    std::memcpy(&written, right, sizeof written);
    EXPECT_EQ(written, single);
  } else {
    const auto written = static_cast<std::int16_t>(right[0] | (right[1] << 8));
    EXPECT_EQ(written, static_cast<std::int16_t>(std::trunc(single * 32768.0)));
  }
  // Channel 1 is decoded as without the debug selection.
  const auto normal = ParseCanonical(DecodeFresh(in, Dir.File("normal.wav")));
  ASSERT_TRUE(normal);
  ASSERT_EQ(normal->Data.size(), image->Data.size());
  const std::size_t frameBytes = c.format.FrameBytes();
  const std::size_t half = frameBytes / 2;
  for (std::size_t k = 0; k < image->Data.size(); k += frameBytes) {
    ASSERT_TRUE(std::equal(image->Data.begin() + k, image->Data.begin() + k + half,
                           normal->Data.begin() + k))
        << "frame " << k / frameBytes;
  }
}

INSTANTIATE_TEST_SUITE_P(Bands, DebugOutput,
                         ::testing::Values(DebugCase{"Int16BandA", kStereo16, 1},
                                           DebugCase{"Int16BandD", kStereo16, 4},
                                           DebugCase{"FloatBandC", kStereoFloat, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecodeRunBlocks, WriteFailureStopsTheRunAndIsReportedNotDone) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full is not writable here";
  // Five blocks: the header's write failed, so not one block is read.
  const TDecoded decoded =
      Decode(Input(kStereo16, test::SignalBytes(kStereo16, 5 * kBlock44)), "/dev/full");
  EXPECT_EQ(decoded.Blocks, 0);
  EXPECT_EQ(decoded.Result.Status, TRunStatus::WriteError);
  EXPECT_EQ(StatusText(decoded.Result.Status), "Error: could not write the output file");
  EXPECT_EQ(decoded.Result.Reason, std::strerror(ENOSPC));
  EXPECT_FALSE(decoded.Result.Md5) << "no digest of an output that failed";
  EXPECT_EQ(decoded.DataBytesRead, 0u) << "a header that failed ends the run before any block";
}

// A file size limit makes the writes fail from a byte on, as a full disk
// would: the run writes no block after the first failure, and the header,
// rewritten in place, states the whole frames the file took.
TEST_F(DecodeRunBlocks, FirstFailedWriteEndsTheRunAndNothingIsWrittenAfterIt) {
  const std::string in = Input(kStereo16, test::SignalBytes(kStereo16, 10 * kBlock44));
  const std::string out = Dir.File("limited.wav");
  struct rlimit before {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  // Two blocks and 250 frames and a half fit.
  constexpr rlim_t kLimit = 44 + 2 * kBlock44 * 4 + 1002;
  struct rlimit limited = before;
  limited.rlim_cur = kLimit;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  int written = 0;
  const TDecoded decoded =
      Decode(in, out, {}, {}, std::make_unique<TCountingSink>(CreateFileSink(out), written));
  ::setrlimit(RLIMIT_FSIZE, &before);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(decoded.Result.Status, TRunStatus::WriteError);
  EXPECT_EQ(decoded.Result.Reason, std::strerror(EFBIG));
  EXPECT_EQ(written, 3) << "two blocks, the one that failed, and no more";
  EXPECT_EQ(decoded.DataBytesRead, 3u * kBlock44 * 4);
  EXPECT_EQ(decoded.Result.Frames, 3u * kBlock44);
  const TBytes file = ReadFile(out);
  EXPECT_EQ(file.size(), kLimit);
  const auto image = ParseCanonical(file);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->DataSize, 2u * kBlock44 * 4 + 1000) << "whole frames of what the file took";
  EXPECT_EQ(image->RiffSize, 36 + image->DataSize);
}

// An input cut shorter while the run reads it is a failed run, not a short
// input: the blocks before the cut are in the output, stated by its header.
// On the run's own thread, the run reads a block while the one before
// decodes: a cut after the first block's decode spoils the third.
TEST_F(DecodeRunBlocks, InputCutDuringTheRunFailsTheRun) {
  const std::string in = Input(kStereo16, test::SignalBytes(kStereo16, 5 * kBlock44));
  const std::string out = Dir.File("cut.wav");
  TRunSettings alone;
  alone.ChannelThreads = false;
  const TDecoded decoded = Decode(in, out, alone, [&](TDecodeRun&, int block) {
    if (block == 0) {
      ASSERT_EQ(::truncate(in.c_str(), 44 + 2 * kBlock44 * 4 + 400), 0);
    }
  });
  EXPECT_EQ(decoded.Result.Status, TRunStatus::ReadError);
  EXPECT_EQ(StatusText(decoded.Result.Status), "Error: could not read the input file");
  EXPECT_FALSE(decoded.Result.Reason.empty());
  EXPECT_EQ(decoded.Blocks, 2) << "the spoilt block is not decoded";
  ExpectConsistent(ReadFile(out), 2 * kBlock44 * 4);
}

// Float output of an integer input holds the decoded samples before the
// integer conversion: converting them as the merge does gives the integer
// output, and they show exactly the samples that output clipped.
TEST_F(DecodeRunBlocks, FloatOutputHoldsWhatTheIntegerOutputClipped) {
  // A loud input: the decode lifts it beyond full scale in places.
  TBytes data = test::SignalBytes(kStereo16, 3 * kBlock44 + 77, 5);
  for (std::size_t k = 0; k + 1 < data.size(); k += 2) {
    const auto v = static_cast<std::int16_t>(data[k] | (data[k + 1] << 8));
    const auto louder = static_cast<std::int16_t>(std::clamp(v * 4, -32768, 32767));
    data[k] = static_cast<std::uint8_t>(louder);
    data[k + 1] = static_cast<std::uint8_t>(louder >> 8);
  }
  const std::string in = Input(kStereo16, data);
  const TRunResult integerRun = Decode(in, Dir.File("int.wav")).Result;
  TRunSettings floatOutput;
  floatOutput.Float = true;
  const TRunResult floatRun = Decode(in, Dir.File("float.wav"), floatOutput).Result;
  ASSERT_EQ(floatRun.Status, TRunStatus::Done);

  const auto ints = ParseCanonical(ReadFile(Dir.File("int.wav")));
  // Float samples made from integer ones come with a fact chunk.
  std::uint32_t frames = 0;
  const TBytes floatFile = test::WithoutFact(ReadFile(Dir.File("float.wav")), frames);
  EXPECT_EQ(frames, data.size() / 4);
  ExpectConsistent(floatFile, static_cast<std::uint32_t>(data.size() * 2));
  const auto floats = ParseCanonical(floatFile);
  ASSERT_TRUE(ints && floats);
  EXPECT_EQ(floats->Tag, 3);
  EXPECT_EQ(floats->Bits, 32);
  EXPECT_EQ(floats->BlockAlign, 8);
  EXPECT_EQ(floats->ByteRate, 44100u * 8);
  std::uint64_t clipped = 0;
  double peak = 0;
  for (std::size_t i = 0; i < ints->Data.size() / 2; ++i) {
    float f;
    std::memcpy(&f, &floats->Data[4 * i], 4);
    const double scaled = static_cast<double>(f) * 32768.0;
    const auto expected = ClipSample(scaled, 32768);
    const auto got = static_cast<std::int16_t>(ints->Data[2 * i] | (ints->Data[2 * i + 1] << 8));
    ASSERT_EQ(got, expected) << i;
    clipped += scaled >= 32768.0 || scaled <= -32769.0;
    peak = std::max(peak, std::fabs(static_cast<double>(f)));
  }
  EXPECT_GT(clipped, 0u);
  EXPECT_EQ(integerRun.Stats.Clipped, clipped);
  EXPECT_EQ(floatRun.Stats.Clipped, 0u);
  EXPECT_NEAR(integerRun.Stats.Peak, peak, 1e-6);
  EXPECT_EQ(floatRun.Stats.Peak, integerRun.Stats.Peak);
  // Only the integer output says it clipped.
  ASSERT_EQ(integerRun.OutputWarnings.size(), 1u);
  EXPECT_EQ(integerRun.OutputWarnings[0].Code, warning_codes::kClipped);
  EXPECT_TRUE(floatRun.OutputWarnings.empty());
}

// 100 ms of 16-bit stereo at 96 kHz fills the buffer; as float it would not
// fit, so the blocks are shortened; the decoded samples are the same.
TEST_F(DecodeRunBlocks, FloatOutputOfFullBlocksUsesShorterBlocks) {
  const TWavFormat format{1, 2, 96000, 16};
  const std::string in = Input(format, test::SignalBytes(format, 20000));
  // The frames of the first block, from the progress after it.
  const auto firstBlock = [](std::uint64_t& frames) {
    return [&frames](TDecodeRun& run, int block) {
      if (block == 0) frames = run.DataBytesRead() / 4;
    };
  };
  TRunSettings floatOutput;
  floatOutput.Float = true;
  std::uint64_t floatBlock = 0;
  const TDecoded floatRun =
      Decode(in, Dir.File("float96.wav"), floatOutput, firstBlock(floatBlock));
  EXPECT_EQ(floatRun.Result.Status, TRunStatus::Done);
  EXPECT_EQ(floatBlock, 4800u);
  EXPECT_EQ(floatRun.Blocks, 5);
  std::uint32_t frames = 0;
  const TBytes floatFile = test::WithoutFact(ReadFile(Dir.File("float96.wav")), frames);
  EXPECT_EQ(frames, 20000u);
  ExpectConsistent(floatFile, 20000 * 8);
  std::uint64_t integerBlock = 0;
  Decode(in, Dir.File("int96.wav"), {}, firstBlock(integerBlock));
  EXPECT_EQ(integerBlock, 9600u);
  const auto ints = ParseCanonical(ReadFile(Dir.File("int96.wav")));
  const auto floats = ParseCanonical(floatFile);
  ASSERT_TRUE(ints && floats);
  for (std::size_t i = 0; i < ints->Data.size() / 2; ++i) {
    float f;
    std::memcpy(&f, &floats->Data[4 * i], 4);
    const auto got = static_cast<std::int16_t>(ints->Data[2 * i] | (ints->Data[2 * i + 1] << 8));
    ASSERT_EQ(got, ClipSample(static_cast<double>(f) * 32768.0, 32768)) << i;
  }
}

TEST_F(DecodeRunBlocks, FreshRunsGiveTheSameBytesAndLeaveTheInputAlone) {
  const std::string in = Input(kStereo16, test::SignalBytes(kStereo16, kBlock44 + 321));
  const TBytes before = ReadFile(in);
  const TBytes first = DecodeFresh(in, Dir.File("first.wav"));
  const TBytes second = DecodeFresh(in, Dir.File("second.wav"));
  EXPECT_EQ(first, second);
  EXPECT_EQ(ReadFile(in), before);
  // And the decode does something: the output differs from the input's samples.
  EXPECT_NE(ParseCanonical(first)->Data, ParseCanonical(before)->Data);
}

TEST_F(DecodeRunBlocks, ExtensibleInputKeepsItsFmtUnlessTheHeaderIsCanonical) {
  TWavFormat format{1, 2, 96000, 24};
  format.Extensible = true;
  const TBytes data = test::SignalBytes(format, 1000);
  const std::string in = Dir.File("ext.wav");
  const TBytes input = test::WavBytes(format, data, std::nullopt, /*listChunk=*/true);
  test::WriteFile(in, input);

  const TBytes kept = DecodeFresh(in, Dir.File("kept.wav"));
  // The same layout as the input: fmt of 40 bytes, LIST, data; only the
  // samples differ.
  ASSERT_EQ(kept.size(), input.size());
  const std::size_t dataStart = input.size() - data.size();
  EXPECT_TRUE(std::equal(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(dataStart),
                         kept.begin()));
  EXPECT_NE(TBytes(kept.begin() + static_cast<std::ptrdiff_t>(dataStart), kept.end()), data);

  TRunSettings canonicalHeader;
  canonicalHeader.CanonicalHeader = true;
  ASSERT_EQ(Decode(in, Dir.File("canonical.wav"), canonicalHeader).Result.Status, TRunStatus::Done);
  const TBytes canonical = ReadFile(Dir.File("canonical.wav"));
  ExpectConsistent(canonical, static_cast<std::uint32_t>(data.size()));
  EXPECT_EQ(ParseCanonical(canonical)->Tag, kFormatPcm);
  EXPECT_EQ(ParseCanonical(canonical)->Data,
            TBytes(kept.begin() + static_cast<std::ptrdiff_t>(dataStart), kept.end()));
}

class RecordingMeters final : public TMeterListener {
 public:
  void MeterPosition(int channel, int band, std::int32_t position) override {
    Calls.push_back({channel, band, position});
  }
  struct Call {
    int channel, band;
    std::int32_t position;
  };
  std::vector<Call> Calls;
};

TEST_F(DecodeRunBlocks, MeterUpdatesReachTheFrontEndsListener) {
  RecordingMeters meters;
  const std::string in = Input(kStereo16, test::SignalBytes(kStereo16, kBlock44 + 1));
  TDecodeRun run({});
  ASSERT_FALSE(run.OpenInput(OpenFileSource(in), in));
  ASSERT_FALSE(run.OpenOutput(CreateFileSink(Dir.File("out.wav")), Dir.File("out.wav")));
  run.SetMeterListener(&meters);
  ASSERT_EQ(run.Run().Status, TRunStatus::Done);
  // A whole block: 45 updates of four bands per channel; then the last
  // block, its one frame only (what lies behind the input's end is not
  // decoded): one update each.
  constexpr std::size_t kWhole = 2 * 45 * 4;
  ASSERT_EQ(meters.Calls.size(), kWhole + 2 * 4);
  for (std::size_t k = 0; k < meters.Calls.size(); ++k) {
    EXPECT_EQ(meters.Calls[k].band, static_cast<int>(k % 4));
    const std::size_t perChannel = k < kWhole ? 45 * 4 : 4;
    EXPECT_EQ(meters.Calls[k].channel,
              static_cast<int>((k < kWhole ? k : k - kWhole) / perChannel % 2));
    EXPECT_GE(meters.Calls[k].position, -319);
    EXPECT_LE(meters.Calls[k].position, 100);
  }
}

TEST(RunTexts, ElapsedTimeReadsAsUnsignedMilliseconds) {
  EXPECT_EQ(ElapsedTimeText(1234), "elapsed time: 1234 msec");
  EXPECT_EQ(ElapsedTimeText(-1), "elapsed time: 4294967295 msec");
}

}  // namespace
}  // namespace zorv
