// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder in a web page: the run every front end uses, driven from a
// Web Worker (or from Node for the tests). The worker mounts the input
// where the run opens it (read in slices as the run asks for them), sets
// Module.sink where the output goes (web/js_sink.h) and calls these
// functions; each answers with one JSON object. Progress and the meters of
// a decode go to the worker's Module.onBlock after every block.
#include <emscripten.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/audio_files.h"
#include "app/decode_run.h"
#include "app/file_target.h"
#include "app/format_check.h"
#include "app/level_range.h"
#include "app/limit_counter.h"
#include "app/meter_fan_out.h"
#include "app/output_name.h"
#include "app/pending_file.h"
#include "app/preview_engine.h"
#include "app/reference_tone.h"
#include "app/run_limits.h"
#include "app/run_report.h"
#include "app/worker_pool.h"
#include "cli/error_line.h"
#include "cli/reference_level.h"
#include "dsp/meter_listener.h"
#include "dsp/reference_level_range.h"
#include "wav/flac_source.h"
#include "wav/md5.h"
#include "web/js_sink.h"
#include "web/js_source.h"
#include "zorv_version.h"

// The worker's hook: data bytes read of the total, and the meter positions
// of the block (channels x 4, tenths of a dB of band gain). A true answer
// stops the decode after the block in hand (the page's Stop).
EM_JS(int, zorv_on_block, (double read, double total, const int* meters, int count), {
  if (!Module.onBlock) return 0;
  return Module.onBlock(read, total, HEAP32.subarray(meters >> 2, (meters >> 2) + count)) ? 1 : 0;
});

namespace zorv::web {
namespace {

using nlohmann::json;

constexpr const char* kTool = "zorv-web " ZORV_VERSION_TEXT;

std::string& Answer() {
  static std::string answer;
  return answer;
}

// What the page plays: the decode from any point at the level set, or the
// input (A/B), as the window plays it.
TPreviewEngine& Preview() {
  static TPreviewEngine preview;
  return preview;
}

std::vector<float>& PreviewBlock() {
  static std::vector<float> block;
  return block;
}

TMd5& Digest() {
  static TMd5 md5;
  return md5;
}

const char* Give(const json& value) {
  Answer() = value.dump(-1, ' ', false, json::error_handler_t::replace);
  return Answer().c_str();
}

// The name the user knows the file by: the path without the mount's folder.
std::string ShownName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

json RefusalOf(const TRefusal& refusal, const std::string& path) {
  const std::string name = ShownName(path);
  std::string window = refusal.Message + name;
  if (!refusal.Detail.empty()) window += " (" + refusal.Detail + ")";
  return {{"refused", true},
          {"window", window},
          {"cli", cli::ErrorText(refusal.Message, name, refusal.Detail)}};
}

// The last meter positions of every channel and band.
class TLastMeters final : public TMeterListener {
 public:
  explicit TLastMeters(std::uint32_t channels) : Positions_(channels * 4, 0) {}
  void MeterPosition(int channel, int band, std::int32_t position) override {
    const std::size_t at = static_cast<std::size_t>(channel) * 4 + band;
    if (at < Positions_.size()) Positions_[at] = position;
  }
  const std::vector<int>& Positions() const { return Positions_; }

 private:
  std::vector<int> Positions_;
};

// Module.source as the run's input, as a file target opens a file: a FLAC
// file through its source (which this build refuses with the reason).
std::unique_ptr<TByteSource> OpenWebInput(const std::string& name, std::uint64_t& size,
                                          std::optional<TRefusal>& refused) {
  std::unique_ptr<TByteSource> source = std::make_unique<TJsSource>();
  size = source->Size();
  std::uint8_t start[4] = {};
  const std::size_t got = source->Read(start, sizeof start);
  source->Seek(0);
  if (!IsFlacStart(start, got)) return source;
  TInputFile file;
  bool readFailed = false;
  auto flac = TFlacSource::Open(std::move(source), file.Problem, readFailed);
  if (flac) return flac;
  file.Result = readFailed ? TInputFile::TResult::CannotRead : TInputFile::TResult::UnusableFlac;
  refused = InputRefusal(file, name);
  return nullptr;
}

#ifdef ZORV_WEB_THREADS
// The page's Module.workers: the threads started with the module, which a
// pool can take while the page's worker is busy in a call.
EM_JS(int, zorv_started_workers, (), { return Module.workers | 0; });
#endif

// The decode's worker threads, made at the first decode and kept: the
// threads started with the module, a core each less the page worker's (as
// natively); none in the build without threads, or when none were started.
TWorkerPool* DecodePool() {
#ifdef ZORV_WEB_THREADS
  static const unsigned threads = std::min<unsigned>(
      TWorkerPool::HelpedThreads(), static_cast<unsigned>(std::max(0, zorv_started_workers())));
  if (threads == 0) return nullptr;
  static TWorkerPool pool(threads);
  return &pool;
#else
  return nullptr;
#endif
}

// A level the run takes: on the grid of tenths inside the range; the
// factors of others are not the native build's bit for bit.
bool LevelTaken(double dB) {
  if (!(dB >= kMinLevelDb && dB <= kMaxLevelDb)) return false;
  return std::round(dB * 10.0) / 10.0 == dB;
}

}  // namespace
}  // namespace zorv::web

using namespace zorv;
using namespace zorv::web;

extern "C" {

// The worker threads a decode runs on besides the caller's: 0 in the build
// without threads.
EMSCRIPTEN_KEEPALIVE int zorv_workers() {
  TWorkerPool* pool = DecodePool();
  return pool == nullptr ? 0 : static_cast<int>(pool->Threads());
}

// The name the window proposes for the output of input.
EMSCRIPTEN_KEEPALIVE const char* zorv_output_name(const char* input) {
  Answer() = ProposeOutputName(input);
  return Answer().c_str();
}

// The input's format line and metadata, or its refusal.
EMSCRIPTEN_KEEPALIVE const char* zorv_inspect(const char* input) {
  TRunSettings settings;
  settings.ChannelThreads = false;
  TDecodeRun run(settings);
  TFileTarget files;
  if (auto refusal = files.OpenInput(run, input)) return Give(RefusalOf(*refusal, input));
  const TWavFileIn& reader = run.Input();
  json answer = {{"refused", false},
                 {"format", ShowWavParams(reader.HeaderImage())},
                 {"metadata", MetadataText(reader, false)},
                 {"rate", reader.SampleRate()},
                 {"channels", reader.Channels()},
                 {"frameBytes", reader.BlockAlign()},
                 {"dataBytes", reader.DeliverableDataBytes()}};
  return Give(answer);
}

// The reference tone's level and the range of levels, as zorv-decode
// --measure-level reports them.
EMSCRIPTEN_KEEPALIVE const char* zorv_measure(const char* input) {
  const auto started = std::chrono::system_clock::now();
  const std::string name = ShownName(input);
  const TReferenceTone tone = MeasureReferenceTone(std::string(input));
  std::optional<TLevelRange> range;
  if (tone.Suggestion.Verdict != TToneVerdict::Unreadable) range = AnalyseLevelRange(input);
  const std::string line = cli::MeasurementLine(name, tone, range);
  std::string report =
      MeasurementReportLine(name, tone, range, line, started, std::chrono::system_clock::now());
  if (!report.empty() && report.back() == '\n') report.pop_back();
  json answer = json::parse(report, nullptr, false);
  answer["line"] = line;
  return Give(answer);
}

// Decodes Module.source, the input named input, at levelDb (every channel)
// into Module.sink, the output named output. The answer's "kept" is the
// output's name when it is complete, its partial name when the page stopped
// the decode (a complete file of what was decoded); otherwise what the sink
// holds is to be thrown away.
EMSCRIPTEN_KEEPALIVE const char* zorv_decode(const char* input, const char* output,
                                             double levelDb) {
  const auto started = std::chrono::system_clock::now();
  if (!LevelTaken(levelDb)) {
    return Give({{"refused", true},
                 {"window", "The reference level is -30.0 .. 0.0 dB in steps of 0.1 dB"},
                 {"cli", "the reference level is -30.0 .. 0.0 dB in steps of 0.1 dB"}});
  }
  TRunSettings settings;
  settings.LevelDb = levelDb;
  settings.Pool = DecodePool();
  settings.ChannelThreads = settings.Pool != nullptr;
  TDecodeRun run(settings);
  std::uint64_t inputSize = 0;
  std::optional<TRefusal> refused;
  auto source = OpenWebInput(input, inputSize, refused);
  if (refused) return Give(RefusalOf(*refused, input));
  if (auto refusal = run.OpenInput(std::move(source), input)) {
    return Give(RefusalOf(*refusal, input));
  }
  const auto sink = std::make_shared<TJsSinkState>();
  if (auto refusal = run.OpenOutput(std::make_unique<TJsSink>(sink), output)) {
    return Give(RefusalOf(*refusal, output));
  }
  const TWavFileIn& reader = run.Input();
  const std::uint64_t total = reader.DataSizeKnown() ? reader.DeliverableDataBytes() : 0;
  const std::uint32_t formatTag = reader.FormatTag();
  const std::uint32_t bits = reader.HeaderImage().BitsPerSample();

  TLimitCounter limits;
  TLastMeters meters(reader.Channels());
  TMeterFanOut listeners;
  listeners.Add(&meters);
  listeners.Add(&limits);
  run.SetMeterListener(&listeners);
  StartLimitCount(limits, run, nullptr);
  run.SetBlockCallback([&](std::uint64_t read) {
    if (zorv_on_block(static_cast<double>(read), static_cast<double>(total),
                      meters.Positions().data(), static_cast<int>(meters.Positions().size()))) {
      run.RequestStop();
    }
  });
  TRunResult result = run.Run();
  run.SetMeterListener(nullptr);
  limits.Stop();
  // Stopped, the output is a complete file of what was decoded, kept under
  // the partial name as the window keeps it.
  const bool stopped = result.Status == TRunStatus::Aborted;
  const bool done = result.Status == TRunStatus::Done;
  const std::string kept = done ? std::string(output) : stopped ? PartialName(output) : "";
  if (!kept.empty()) result.Kept = kept;

  TReportEntry entry;
  entry.Input = ShownName(input);
  if (!kept.empty()) entry.Output = ShownName(kept);
  entry.Status = done ? "decoded" : stopped ? "interrupted" : "failed";
  entry.Message = std::string(StatusText(result.Status));
  if (!result.Reason.empty()) entry.Message += "; " + result.Reason;
  if (!done && !sink->Reason.empty()) entry.Message += " (" + sink->Reason + ")";
  entry.Warnings = result.Warnings;
  if (done) {
    entry.Warnings.insert(entry.Warnings.end(), result.OutputWarnings.begin(),
                          result.OutputWarnings.end());
  }
  TDecodeFacts facts = DecodeFactsOf(result, formatTag, bits, false, limits);
  facts.InputSize = inputSize;
  if (!kept.empty()) {
    facts.Md5 = result.Md5;
    facts.OutputSize = sink->End;
  }
  entry.Facts = std::move(facts);
  entry.Tool = kTool;
  entry.Started = started;
  entry.Finished = std::chrono::system_clock::now();
  std::string record = ReportLine(entry);
  if (!record.empty() && record.back() == '\n') record.pop_back();
  json answer = {{"refused", false},         {"status", entry.Status},
                 {"message", entry.Message}, {"kept", kept.empty() ? json(nullptr) : json(kept)},
                 {"size", sink->End},        {"record", record}};
  json warnings = json::array();
  for (const TRunWarning& warning : entry.Warnings) warnings.push_back(warning.Message);
  answer["warnings"] = warnings;
  return Give(answer);
}

// Opens input for listening: its rate, channels and frames, or its refusal.
EMSCRIPTEN_KEEPALIVE const char* zorv_preview_open(const char* input) {
  if (auto refusal = Preview().Open(input)) return Give(RefusalOf(*refusal, input));
  return Give({{"refused", false},
               {"rate", Preview().SampleRate()},
               {"channels", Preview().Channels()},
               {"frames", Preview().Frames()}});
}

// Plays from frame on (the detectors settled on the seconds before it).
EMSCRIPTEN_KEEPALIVE int zorv_preview_start(double frame) {
  return Preview().Start(static_cast<std::uint64_t>(std::max(0.0, frame))) ? 1 : 0;
}

// The next blocks, up to frames frames of every channel interleaved into
// out; the frames rendered, 0 at the end (or after a failed read).
EMSCRIPTEN_KEEPALIVE int zorv_preview_render(float* out, int frames) {
  TPreviewEngine& preview = Preview();
  const std::uint32_t channels = preview.Channels();
  int done = 0;
  while (done + static_cast<int>(preview.BlockFrames()) <= frames && !preview.AtEnd()) {
    const std::uint32_t got = preview.Render(PreviewBlock());
    if (got == 0) break;
    std::copy(PreviewBlock().begin(), PreviewBlock().begin() + got * channels,
              out + static_cast<std::size_t>(done) * channels);
    done += static_cast<int>(got);
  }
  return done;
}

EMSCRIPTEN_KEEPALIVE int zorv_preview_block_frames() {
  return static_cast<int>(Preview().BlockFrames());
}

// The level of the blocks rendered from now on (a level the run takes).
EMSCRIPTEN_KEEPALIVE int zorv_preview_level(double levelDb) {
  if (!LevelTaken(levelDb)) return 0;
  Preview().SetLevel(levelDb);
  return 1;
}

// 1: the input from now on (crossfaded), 0: the decode.
EMSCRIPTEN_KEEPALIVE void zorv_preview_input(int input) {
  Preview().SetListenToInput(input != 0);
}

// An MD5 of bytes fed in pieces (the page checks what it wrote with it).
EMSCRIPTEN_KEEPALIVE void zorv_md5_reset() {
  Digest().Reset();
}

EMSCRIPTEN_KEEPALIVE void zorv_md5_update(const std::uint8_t* data, std::size_t n) {
  Digest().Update(data, n);
}

EMSCRIPTEN_KEEPALIVE const char* zorv_md5_hex() {
  Answer() = HexDigest(Digest().Digest());
  return Answer().c_str();
}

}  // extern "C"
