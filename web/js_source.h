// SPDX-License-Identifier: GPL-3.0-or-later
// The input of a decode in the page: a byte source whose bytes come from
// the JavaScript object Module.source (the user's File, read in slices in
// the worker; a file under Node for the tests). Module.source has size (its
// bytes) and read(position, n) -> bytes (fewer at the end); a failure is
// thrown as an Error whose message is the reason.
#pragma once

#include <cstdint>
#include <string>

#include "wav/byte_source.h"

namespace zorv::web {

class TJsSource final : public TByteSource {
 public:
  TJsSource();
  std::size_t Read(void* destination, std::size_t n) override;
  bool Seek(std::uint64_t position) override;
  std::uint64_t Position() const override { return Position_; }
  std::uint64_t Size() const override { return Size_; }
  int ReadErrno() const override { return Errno_; }
  std::string ReadErrorText() const override { return Reason_; }

 private:
  std::uint64_t Size_ = 0;
  std::uint64_t Position_ = 0;
  int Errno_ = 0;
  std::string Reason_;
};

}  // namespace zorv::web
