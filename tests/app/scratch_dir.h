// SPDX-License-Identifier: GPL-3.0-or-later
// A fresh folder per test under the build tree's scratch folder, removed when
// the test has passed (kept for a look when it failed).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace zorv::test {

class TScratchDir {
 public:
  explicit TScratchDir(const std::string& root) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    Path_ = std::filesystem::path(root) / (name + "." + std::to_string(::getpid()));
    std::filesystem::remove_all(Path_);
    std::filesystem::create_directories(Path_);
  }
  ~TScratchDir() {
    if (!::testing::Test::HasFailure()) {
      std::error_code error;
      std::filesystem::remove_all(Path_, error);
    }
  }
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;

  std::string File(const std::string& name) const { return (Path_ / name).string(); }
  const std::filesystem::path& Path() const { return Path_; }

 private:
  std::filesystem::path Path_;
};

}  // namespace zorv::test
