// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/fd_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace zorv::cli {

bool TFdStreamBuf::Drain() {
  const auto left = static_cast<std::size_t>(pptr() - pbase());
  if (left > 0 && Error_ == 0 && Sink_->Write(pbase(), left) != left) {
    Error_ = Sink_->Error() != 0 ? Sink_->Error() : ENOSPC;
  }
  setp(Buffer_.data(), Buffer_.data() + Buffer_.size());
  return Error_ == 0;
}

TFdStreamBuf::int_type TFdStreamBuf::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int TFdStreamBuf::sync() {
  return Drain() ? 0 : -1;
}

void HoldStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: this one, since those below are open.
    const int held = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (held != fd && held >= 0) close(held);
  }
}

}  // namespace zorv::cli
