// An output stream onto an open file descriptor (which stays the caller's),
// keeping the system's reason of the first write that failed.
#pragma once

#include <array>
#include <ostream>
#include <streambuf>

namespace zorv::cli {

class TFdStreamBuf final : public std::streambuf {
 public:
  explicit TFdStreamBuf(int fd) : Fd_(fd) { setp(Buffer_.data(), Buffer_.data() + Buffer_.size()); }
  int Error() const { return Error_; }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  bool Drain();

  int Fd_;
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

}  // namespace zorv::cli
