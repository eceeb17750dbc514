// SPDX-License-Identifier: GPL-3.0-or-later
// The fixture of zorv-decode's end-to-end tests: a scratch folder, WAV files
// made in it, the real program run on them (optionally with the fault
// injection shim), and the checks of the files it leaves.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tools/wav_test_file.h"

namespace zorv::test {

class DecodeTest : public ::testing::Test {
 protected:
  TChildResult Run(const std::vector<std::string>& args, const TChildOptions& options = {}) {
    return RunProgram(ZORV_DECODE_PATH, args, Dir.Path().string(), options);
  }
  std::string Wav(const std::string& name, const TWavFormat& format, std::uint32_t frames,
                  std::uint32_t seed = 1) {
    return File(name, WavBytes(format, SignalBytes(format, frames, seed)));
  }
  std::string File(const std::string& name, const TBytes& bytes) {
    const std::string path = Dir.File(name);
    WriteFile(path, bytes);
    return path;
  }
  // A 10-second stereo 16-bit recording at 44.1 kHz: 100 blocks of 17640 bytes.
  std::string LongWav(const std::string& name) {
    const std::string path = Dir.File(name);
    EXPECT_EQ(RunProgram(ZORV_MAKE_DEMO_PATH, {path, "10"}, Dir.Path().string()).ExitStatus, 0);
    return path;
  }
  // The file names in the scratch folder, without the children's captures.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Dir.Path())) {
      const std::string name = entry.path().filename().string();
      if (!name.starts_with("child")) names.insert(name);
    }
    return names;
  }
  // Waits until a temporary output in the scratch folder holds at least bytes.
  bool WaitForTemporaryOutput(std::uintmax_t bytes) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      std::error_code error;
      for (const auto& entry : std::filesystem::directory_iterator(Dir.Path(), error)) {
        if (entry.path().filename().string().find(".incomplete-") != std::string::npos &&
            entry.file_size(error) >= bytes) {
          return true;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  TScratchDir Dir{ZORV_CLI_SCRATCH};
};

// The environment that loads the fault injection shim with the given
// settings ("ZORV_FAULT_PATH=in.wav", ...). AddressSanitizer must be told
// that its runtime is not the first library.
inline TChildOptions WithFaults(std::vector<std::string> settings) {
  TChildOptions options;
  options.Environment = std::move(settings);
  options.Environment.push_back(std::string("LD_PRELOAD=") + ZORV_FAULT_SHIM_PATH);
  const char* asan = std::getenv("ASAN_OPTIONS");
  options.Environment.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") +
                                ":verify_asan_link_order=0");
  return options;
}

// A complete output: canonical header whose sizes state the bytes behind it.
inline void ExpectValidWav(const std::string& path, std::uint32_t dataBytes) {
  const TBytes file = ReadFile(path);
  const auto image = ParseCanonical(file);
  ASSERT_TRUE(image.has_value()) << path;
  EXPECT_EQ(image->RiffSize, file.size() - 8) << path;
  EXPECT_EQ(image->DataSize, image->Data.size()) << path;
  EXPECT_EQ(image->DataSize, dataBytes) << path;
}

}  // namespace zorv::test
