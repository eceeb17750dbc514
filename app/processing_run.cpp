#include "app/processing_run.h"

#include <chrono>

#include "app/arithmetic.h"
#include "app/messages.h"

namespace zorv {
namespace {

// The canonical header: RIFF size = 4 ("WAVE") + 24 (fmt chunk) + 8 (data
// chunk header) + the data bytes.
constexpr std::uint32_t kRiffOverhead = 36;
constexpr std::uint32_t kFmtBodyBytes = 16;

}  // namespace

std::string_view StatusText(TRunStatus status) {
  switch (status) {
    case TRunStatus::Idle:
      return {};
    case TRunStatus::Working:
      return "Working";
    case TRunStatus::Done:
      return "Done";
    case TRunStatus::Aborted:
      return "aborted";
    case TRunStatus::SampleCountError:
      return "Error: Number of processed samples does not match data";
    case TRunStatus::WriteError:
      return "Error: could not write the output file";
    case TRunStatus::ReadError:
      return "Error: could not read the input file";
  }
  return {};
}

std::string ElapsedTimeText(std::int32_t milliseconds) {
  return "elapsed time: " + std::to_string(static_cast<std::uint32_t>(milliseconds)) + " msec";
}

TProcessingRun::TProcessingRun() {
  Reader_.OnEOFReached = [this] { WavFilein1EOFReached(); };
  Decoder_.SetPath(DefaultArithmetic());
}

TProcessingRun::~TProcessingRun() {
  // A stalled run still holds its files: leave a consistent output behind.
  if (Running_) Abort();
}

std::uint32_t TProcessingRun::Now() const {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  // The millisecond counter wraps at 32 bits; differences stay right.
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

std::uint64_t TProcessingRun::FramesRead() const {
  return BytesPerFrame_ == 0 ? 0 : DataBytesRead_ / BytesPerFrame_;
}

std::uint64_t TProcessingRun::BlockFirstFrame() const {
  return BytesPerFrame_ == 0 ? 0 : BlockFirstByte_ / BytesPerFrame_;
}

TStartResult TProcessingRun::Start() {
  Channels_ = Reader_.Channels();
  if (Channels_ == 1 && DebugChannel_ != 0) {
    Refusal_ = messages::kDebugNeedsStereo;
    return TStartResult::Refused;
  }
  Refusal_ = {};
  EofReached_ = false;
  Running_ = true;
  AbortRequested_ = false;
  Stalled_ = false;
  Status_ = TRunStatus::Working;
  return TStartResult::Started;
}

void TProcessingRun::BeginOutput() {
  // The input's format fields as they stand; the sizes become the final ones
  // at the end. The fmt chunk written holds exactly 16 bytes, and the RIFF
  // size and byte rate are made to agree with what this file holds, so even
  // the provisional header describes a well-formed file.
  THeaderImage& header = Writer_.HeaderImage();
  header = Reader_.HeaderImage();
  if (OutputFloat_) {
    header.SetFormatTag(kFormatIeeeFloat);
    header.SetBitsPerSample(32);
    header.SetBlockAlign(static_cast<std::uint16_t>(header.Channels() * 4));
    header.SetDataSize(OutputBytes(header.DataSize()));
  }
  header.SetFmtSize(kFmtBodyBytes);
  header.SetByteRate(header.SampleRate() * header.BlockAlign());
  const std::uint32_t dataSize = header.DataSize();
  header.SetRiffSize(dataSize > UINT32_MAX - kRiffOverhead ? UINT32_MAX : dataSize + kRiffOverhead);
  Writer_.WriteHeader();
  Writer_.WriteDataHeader();
}

void TProcessingRun::ChooseOutputLayout() {
  OutLayout_ = Layout_;
  if (!OutputFloat_) return;
  OutLayout_ = Channels_ == 1 ? TSampleLayout::Float32Mono : TSampleLayout::Float32Stereo;
  // Wider output frames: a block must still fit the writer's buffer. The
  // decoder's results do not depend on the block length.
  const std::uint32_t outFrame = BytesPerFrameOf(OutLayout_);
  while (Reader_.BlockFrames() * outFrame > kWavBufferBytes &&
         Reader_.TimeInterval() > TWavFileIn::kMinTimeInterval) {
    Reader_.SetTimeInterval(Reader_.TimeInterval() / 2);
  }
}

std::uint32_t TProcessingRun::OutputBytes(std::uint32_t len) const {
  if (OutLayout_ == Layout_ || BytesPerFrame_ == 0) return len;
  // Whole frames only: a trailing part of a frame has no float counterpart.
  const std::uint64_t frames = len / BytesPerFrame_;
  const std::uint64_t bytes = frames * BytesPerFrameOf(OutLayout_);
  return bytes > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(bytes);
}

void TProcessingRun::CompleteOutput() {
  THeaderImage& header = Writer_.HeaderImage();
  // A write that failed may have left part of a frame: the header states the
  // whole frames before it.
  const std::uint32_t align = header.BlockAlign();
  const std::uint32_t data = Writer_.WriteFailed() && align != 0
                                 ? Writer_.TotalBytes() - Writer_.TotalBytes() % align
                                 : Writer_.TotalBytes();
  header.SetRiffSize(Writer_.HeaderBytes() + data - 8);
  header.SetDataSize(data);
  Writer_.WriteHeader();
  Writer_.WriteDataHeader();
}

void TProcessingRun::ReleaseBuffers() {
  InLeft_.reset();
  InRight_.reset();
  OutLeft_.reset();
  OutRight_.reset();
}

void TProcessingRun::StartProcess() {
  StartTime_ = Now();
  BytesPerFrame_ = Reader_.BlockAlign();
  FormatTag_ = Reader_.FormatTag();
  Layout_ = SelectLayout(BytesPerFrame_, Channels_, FormatTag_);
  ChooseOutputLayout();
  BeginOutput();

  SampleRate_ = Reader_.SampleRate();
  FramesPerBlock_ = static_cast<std::int32_t>(Reader_.BlockFrames());
  DataBytes_ = Reader_.HeaderImage().DataSize();
  DataBytesRead_ = 0;
  BlockFirstByte_ = 0;
  Stats_ = {};

  Decoder_.Prepare(SampleRate_, Channels_, DebugChannel_);

  // Zeroed once per run: a short last block is decoded whole, and the frames
  // behind its data must not be indeterminate values.
  const auto frames = static_cast<std::size_t>(FramesPerBlock_ > 0 ? FramesPerBlock_ : 0);
  InLeft_ = std::make_unique<double[]>(frames);
  if (Channels_ != 1) InRight_ = std::make_unique<double[]>(frames);
  OutLeft_ = std::make_unique<double[]>(frames);
  OutRight_ = std::make_unique<double[]>(frames);

  // The first failed write ends the run: nothing is written behind a gap.
  while (!EofReached_ && !AbortRequested_ && !Writer_.WriteFailed()) {
    const std::uint32_t len = Reader_.ReadBuffer();
    // A failed read ends the run before the block it spoilt; an empty read
    // ends the data (the reader has raised its end event).
    if (Reader_.ReadFailure() != TReadFailure::None || len == 0) break;
    BlockFirstByte_ = DataBytesRead_;
    DataBytesRead_ += len;

    SplitBlock(Reader_.Buffer(), len, Layout_, InLeft_.get(), InRight_.get());
    // Always the whole block, also for a shorter last one: the frames behind
    // its data are decoded and not written.
    ProcessedCount_ = DecodeBlock(FramesPerBlock_);
    if (ProcessedCount_ != FramesPerBlock_) {
      // Stalled: the files stay open and Running stays set until Abort.
      Status_ = TRunStatus::SampleCountError;
      Stalled_ = true;
      return;
    }
    const std::uint32_t outLen = OutputBytes(len);
    MergeBlock(OutLeft_.get(), OutRight_.get(), outLen, OutLayout_, Writer_.Buffer());
    MeasureBlock(OutLeft_.get(), OutRight_.get(), outLen, OutLayout_, Stats_);
    Writer_.WriteBuffer(static_cast<std::int32_t>(outLen));
  }

  // Also after a failed write: the header then states what the file took,
  // and nothing is written behind it.
  CompleteOutput();
  ElapsedTime_ = static_cast<std::int32_t>(Now() - StartTime_);

  ReleaseBuffers();
  Reader_.CloseFile();
  Writer_.CloseFile();
  // Judged after the close, which can fail too.
  if (Writer_.WriteFailed()) {
    Status_ = TRunStatus::WriteError;
  } else if (Reader_.ReadFailure() != TReadFailure::None) {
    Status_ = TRunStatus::ReadError;
  } else {
    Status_ = AbortRequested_ ? TRunStatus::Aborted : TRunStatus::Done;
  }
  if (Running_) {
    Running_ = false;
    AbortRequested_ = true;
  }
}

std::int32_t TProcessingRun::DecodeBlock(std::int32_t frames) {
  if (frames == 0) return 0;
  const std::int32_t processed =
      Decoder_.ProcessBlock(InLeft_.get(), InRight_.get(), OutLeft_.get(), OutRight_.get(),
                            static_cast<std::uint32_t>(frames));
  if (EventPass_) EventPass_();
  return processed;
}

void TProcessingRun::Abort() {
  const bool finishStall = Running_ && Stalled_;
  Running_ = false;
  AbortRequested_ = true;
  if (!finishStall) return;
  // What was written before the stall is decoded output: the header is made
  // to state it, and both files are let go. The status keeps the error.
  Stalled_ = false;
  CompleteOutput();
  ReleaseBuffers();
  Reader_.CloseFile();
  Writer_.CloseFile();
}

}  // namespace zorv
