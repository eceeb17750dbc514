#include "cli/decode_job.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "app/format_check.h"
#include "app/messages.h"
#include "app/output_name.h"
#include "app/processing_run.h"
#include "cli/meter_log.h"

namespace zorv::cli {
namespace {

namespace fs = std::filesystem;

TJobResult Refused(std::string_view message, const std::string& path) {
  return {false, std::string(message) + path + "\n"};
}

// Data bytes the input can deliver: its data chunk may claim more than the
// file holds.
std::uint64_t DeliverableBytes(const std::string& input, const TWavFileIn& reader) {
  std::error_code error;
  const std::uint64_t size = fs::file_size(input, error);
  const std::uint64_t declared = reader.HeaderImage().DataSize();
  if (error || size < reader.DataStart()) return declared;
  const std::uint64_t present = size - reader.DataStart();
  return present < declared ? present : declared;
}

}  // namespace

TJobResult DecodeFile(const std::string& input, const std::string& output,
                      const TJobSettings& settings, TProgressBoard& board,
                      const std::atomic<bool>& stop) {
  auto run = std::make_unique<TProcessingRun>();
  TWavFileIn& reader = run->Reader();

  std::error_code error;
  reader.Filename = input;
  if (fs::is_directory(input, error) || !reader.OpenFile()) {
    return Refused(messages::kCannotOpen, input);
  }
  if (const std::int32_t code = reader.ReadHeader(); code != rhOk) {
    reader.CloseFile();
    return Refused(ReadHeaderMessage(code), input);
  }
  if (const std::int32_t code = CheckFormat(reader.HeaderImage()); code != fcOk) {
    reader.CloseFile();
    return Refused(CheckFormatMessage(code), input);
  }
  if (settings.DebugBand != 0 && reader.Channels() != 2) {
    return {false, std::string(messages::kDebugNeedsStereo) + ": " + input + "\n"};
  }
  if (SameFile(input, output)) return Refused(messages::kInputAsOutput, output);
  if (settings.MeterLog && SameFile(input, *settings.MeterLog)) {
    return Refused(messages::kInputAsOutput, *settings.MeterLog);
  }
  if (settings.MeterLog && SameFile(output, *settings.MeterLog)) {
    return Refused(kLogIsOutput, *settings.MeterLog);
  }
  if (!settings.Force && fs::exists(output, error)) return Refused(kOutputExists, output);
  if (settings.MeterLog && !settings.Force && fs::exists(*settings.MeterLog, error)) {
    return Refused(kOutputExists, *settings.MeterLog);
  }
  if (stop) return Refused(kNotDecoded, input);

  // The output first: when it cannot be created, nothing else is touched.
  if (!run->Writer().OpenFileNamed(output)) return Refused(messages::kCannotCreate, output);
  std::ofstream meterFile;
  std::unique_ptr<TMeterLog> meterLog;
  if (settings.MeterLog) {
    meterFile.open(*settings.MeterLog, std::ios::binary | std::ios::trunc);
    if (!meterFile) {
      // The output was only just created (or emptied, as -f allowed): leave
      // no empty file behind.
      run->Writer().CloseFile();
      fs::remove(output, error);
      return Refused(messages::kCannotCreate, *settings.MeterLog);
    }
    meterLog = std::make_unique<TMeterLog>(meterFile, *run);
    run->SetMeterListener(meterLog.get());
  }

  run->SetDebugChannel(settings.DebugBand);
  run->Decoder().SetLevel(settings.LevelDb);
  if (settings.Exact) run->Decoder().SetPath(TDecodePath::Extended);
  run->Decoder().SetChannelThreads(settings.ChannelThreads);

  const std::uint64_t total = DeliverableBytes(input, reader);
  const int slot = board.Add(fs::path(input).filename().string(), total);
  const auto began = std::chrono::steady_clock::now();
  const double bytesPerSecond =
      static_cast<double>(reader.SampleRate()) * static_cast<double>(reader.BlockAlign());
  TProcessingRun& r = *run;
  run->SetEventPass([&] {
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - began;
    board.Update(slot, {r.DataBytesRead(), total,
                        static_cast<double>(r.DataBytesRead()) / bytesPerSecond, wall.count()});
    if (stop) r.Abort();
  });

  if (run->Start() == TStartResult::Refused) {
    // Checked above already; should it refuse all the same, leave nothing.
    board.Remove(slot);
    run->Writer().CloseFile();
    fs::remove(output, error);
    return {false, std::string(run->RefusalMessage()) + ": " + input + "\n"};
  }
  run->StartProcess();
  // A stalled run is reset as the window's Abort button would.
  const bool stalled = run->Running();
  if (stalled) run->Abort();
  board.Remove(slot);

  TJobResult result;
  result.Decoded = run->Status() == TRunStatus::Done;
  result.Report = input + " -> " + output + "\n" + std::string(run->StatusText()) + "\n";
  if (!stalled) result.Report += run->ElapsedTimeText() + "\n";
  if (meterLog) {
    run->SetMeterListener(nullptr);
    meterFile.close();
    if (!meterFile) {
      result.Decoded = false;
      result.Report += std::string(kCannotWrite) + *settings.MeterLog + "\n";
    }
  }
  return result;
}

}  // namespace zorv::cli
