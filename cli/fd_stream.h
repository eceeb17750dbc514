// SPDX-License-Identifier: GPL-3.0-or-later
// An output stream onto an open file descriptor (which stays the caller's),
// keeping the system's reason of the first write that failed. A write to a
// pipe or socket that has stalled gives up (EINTR) once a stop is requested
// (wav/io_stop.h), as the decoder's own stream output does.
#pragma once

#include <array>
#include <memory>
#include <ostream>
#include <streambuf>

#include "wav/byte_sink.h"

namespace zorv::cli {

class TFdStreamBuf final : public std::streambuf {
 public:
  explicit TFdStreamBuf(int fd) : Sink_(StreamSink(fd)) {
    setp(Buffer_.data(), Buffer_.data() + Buffer_.size());
  }
  int Error() const { return Error_; }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  bool Drain();

  std::unique_ptr<TByteSink> Sink_;
  int Error_ = 0;
  std::array<char, 1 << 16> Buffer_;
};

class TFdStream final : public std::ostream {
 public:
  explicit TFdStream(int fd) : std::ostream(nullptr), Buf_(fd) { rdbuf(&Buf_); }
  // The errno of the first failed write; 0 while none failed.
  int Error() const { return Buf_.Error(); }

 private:
  TFdStreamBuf Buf_;
};

// Puts /dev/null, opened for reading only, in the place of standard input,
// output or error when the program was started with one of them closed, so
// that no file the program opens takes its number (and its messages) and a
// message to a closed stream still fails as a write.
void HoldStandardStreams();

}  // namespace zorv::cli
