// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds bytes into a pipe from a thread of its own, for the reader's streams.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "tests/wav/wav_builder.h"

namespace zorv::test {

// The read end is fd().
class TPipeFeed {
 public:
  explicit TPipeFeed(TBytes bytes) : Bytes_(std::move(bytes)) {
    EXPECT_EQ(::pipe(Fds_), 0);
    Writer_ = std::thread([this] {
      std::size_t done = 0;
      while (done < Bytes_.size()) {
        const ssize_t n = ::write(Fds_[1], Bytes_.data() + done, Bytes_.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      ::close(Fds_[1]);
    });
  }
  ~TPipeFeed() {
    ::close(Fds_[0]);  // a writer still blocked gets EPIPE
    Writer_.join();
  }
  int fd() const { return Fds_[0]; }

 private:
  TBytes Bytes_;
  int Fds_[2] = {-1, -1};
  std::thread Writer_;
};

}  // namespace zorv::test
