// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batch_plan.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unordered_map>

#include "app/messages.h"
#include "app/output_name.h"
#include "app/pending_file.h"
#include "cli/error_line.h"

namespace zorv::cli {
namespace {

namespace fs = std::filesystem;

// Stop is looked at this often while the inputs are checked.
constexpr std::size_t kStopCheckInterval = 256;

struct TIdentity {
  dev_t Device;
  ino_t Inode;
  bool operator==(const TIdentity&) const = default;
};
struct TIdentityHash {
  std::size_t operator()(const TIdentity& id) const {
    return std::hash<unsigned long long>()(static_cast<unsigned long long>(id.Device) *
                                               0x9E3779B97F4A7C15ull ^
                                           static_cast<unsigned long long>(id.Inode));
  }
};

std::optional<TIdentity> IdentityOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return TIdentity{info.st_dev, info.st_ino};
}

// Folders resolved once each: the inputs of a batch mostly share a few.
class TPathKeys {
 public:
  std::string Key(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto known = Folders_.find(folder);
    if (known == Folders_.end()) {
      std::error_code error;
      fs::path resolved = fs::weakly_canonical(fs::absolute(folder, error), error);
      if (error) resolved = fs::absolute(folder).lexically_normal();
      known = Folders_.emplace(folder, resolved.string()).first;
    }
    const std::string& base = known->second;
    return base.ends_with('/') ? base + name : base + "/" + name;
  }

 private:
  std::unordered_map<std::string, std::string> Folders_;
};

}  // namespace

std::string DecodedName(const std::string& input, const std::optional<std::string>& folder,
                        const std::optional<std::string>& format) {
  const std::size_t slash = input.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = input.rfind('.');
  if (dot == std::string::npos || dot < nameStart) dot = input.size();
  const std::string named =
      input.substr(0, dot) + "_dec" + (format ? "." + *format : input.substr(dot));
  if (!folder) return named;
  const std::string name = named.substr(nameStart);
  return folder->ends_with('/') ? *folder + name : *folder + "/" + name;
}

std::string PathKey(const std::string& path) {
  return TPathKeys().Key(path);
}

std::optional<std::vector<TPlannedJob>> PlanJobs(const TCliOptions& options,
                                                 const std::atomic<bool>& stop) {
  const std::size_t n = options.Inputs.size();
  std::vector<TPlannedJob> jobs(n);
  std::vector<std::string> inputKeys(n), outputKeys(n);
  TPathKeys keys;
  std::unordered_map<std::string, std::size_t> byOutput;
  byOutput.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (i % kStopCheckInterval == 0 && stop) return std::nullopt;
    TPlannedJob& job = jobs[i];
    job.Input = options.Inputs[i];
    job.Output = options.Output.value_or(DecodedName(job.Input, options.OutputDir, options.Format));
    inputKeys[i] = keys.Key(job.Input);
    outputKeys[i] = keys.Key(job.Output);
    if (!byOutput.emplace(outputKeys[i], i).second) {
      job.Decided = Refused(kOutputTwice, job.Output);
    } else if (job.Output != kStandardStream && NameTooLong(job.Output)) {
      job.Decided = Refused(messages::kCannotCreate, job.Output, std::strerror(ENAMETOOLONG));
    }
  }

  // An input that another input decodes into.
  for (std::size_t i = 0; i < n; ++i) {
    if (i % kStopCheckInterval == 0 && stop) return std::nullopt;
    const auto source = byOutput.find(inputKeys[i]);
    if (source == byOutput.end() || source->second == i || jobs[i].Decided) continue;
    const std::string relation = jobs[i].Input + " is the output of " + jobs[source->second].Input;
    std::error_code error;
    jobs[i].Decided =
        fs::exists(jobs[i].Input, error)
            ? Decided(TJobStatus::Skipped, {"Skipped: " + relation})
            : Refused("", jobs[i].Input,
                      "not decoded: it is the output of " + jobs[source->second].Input);
  }

  // An output that is (a link to, another name of) an input that is read.
  std::unordered_map<TIdentity, std::size_t, TIdentityHash> readInputs;
  readInputs.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (i % kStopCheckInterval == 0 && stop) return std::nullopt;
    if (jobs[i].Decided && jobs[i].Decided->Status == TJobStatus::Skipped) continue;
    if (const auto id = IdentityOf(jobs[i].Input)) readInputs.emplace(*id, i);
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (i % kStopCheckInterval == 0 && stop) return std::nullopt;
    if (jobs[i].Decided) continue;
    const auto id = IdentityOf(jobs[i].Output);
    if (!id) continue;
    const auto input = readInputs.find(*id);
    if (input != readInputs.end() && input->second != i) {
      jobs[i].Decided = Refused(messages::kInputAsOutput, jobs[i].Output);
    }
  }
  return jobs;
}

std::vector<TWrittenName> WrittenNames(const TCliOptions& options,
                                       const std::vector<TPlannedJob>& jobs) {
  std::vector<TWrittenName> written;
  for (const TPlannedJob& job : jobs) {
    if (job.Decided || job.Output == kStandardStream) continue;
    written.push_back(
        {PartialName(job.Output), "the partial file of an interrupted decode into " + job.Output});
  }
  for (const auto& [name, role] :
       {std::pair{options.MeterLog, "the meter log"}, std::pair{options.Plot, "the plot"}}) {
    // The files themselves are checked against the input with the others
    // of its job.
    if (name) written.push_back({PartialName(*name), std::string(role) + "'s partial file"});
  }
  return written;
}

std::optional<std::string> InputWritten(const std::vector<std::string>& inputs,
                                        const std::vector<TWrittenName>& written) {
  TPathKeys keys;
  std::unordered_map<std::string, const std::string*> byName;
  std::unordered_map<TIdentity, const std::string*, TIdentityHash> byIdentity;
  for (const std::string& input : inputs) {
    if (input == kStandardStream) continue;
    byName.emplace(keys.Key(input), &input);
    if (const auto id = IdentityOf(input)) byIdentity.emplace(*id, &input);
  }
  for (const TWrittenName& name : written) {
    bool isInput = byName.contains(keys.Key(name.Path));
    if (!isInput) {
      const auto id = IdentityOf(name.Path);
      isInput = id && byIdentity.contains(*id);
    }
    if (isInput) return ErrorLine(messages::kInputAsOutput, name.Path, name.Role);
  }
  return std::nullopt;
}

}  // namespace zorv::cli
