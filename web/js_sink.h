// SPDX-License-Identifier: GPL-3.0-or-later
// The output of a decode in the page: a byte sink whose bytes go to the
// JavaScript object Module.sink as they are made (a file in the browser's
// private storage, written in place; the memory of the worker where there
// is none; a file under Node for the tests). Module.sink has write(position,
// bytes) -> count taken, read(position, n) -> bytes, close() -> true when
// everything reached the target; a failure is thrown as an Error whose
// message is the reason.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "wav/byte_sink.h"

namespace zorv::web {

// What is known of the output once the run has let go of its sink.
struct TJsSinkState {
  // Bytes of the output: its end.
  std::uint64_t End = 0;
  // The reason of the last failure, in the target's words.
  std::string Reason;
};

class TJsSink final : public TByteSink {
 public:
  explicit TJsSink(std::shared_ptr<TJsSinkState> state) : State_(std::move(state)) {}
  std::size_t Write(const void* data, std::size_t n) override;
  bool Seek(std::uint64_t position) override;
  std::uint64_t Position() const override { return Position_; }
  bool Seekable() const override { return true; }
  bool Close() override;
  TRoom MakeRoom(std::uint64_t position, std::uint64_t n) override;

 private:
  void Fail(int error);

  std::shared_ptr<TJsSinkState> State_;
  std::uint64_t Position_ = 0;
  bool Closed_ = false;
};

}  // namespace zorv::web
