// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/js_sink.h"

#include <emscripten.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

// Each returns the count moved, or -1 with the reason kept for
// zorv_sink_reason.
EM_JS(double, zorv_sink_write, (double position, const std::uint8_t* data, double n), {
  try {
    return Module.sink.write(position, HEAPU8.subarray(data, data + n));
  } catch (e) {
    Module.sinkReason = e.message || String(e);
    return -1;
  }
});
EM_JS(double, zorv_sink_read, (double position, std::uint8_t* data, double n), {
  try {
    const bytes = Module.sink.read(position, n);
    HEAPU8.set(bytes, data);
    return bytes.length;
  } catch (e) {
    Module.sinkReason = e.message || String(e);
    return -1;
  }
});
EM_JS(int, zorv_sink_close, (), {
  try {
    return Module.sink.close() ? 1 : 0;
  } catch (e) {
    Module.sinkReason = e.message || String(e);
    return 0;
  }
});
EM_JS(char*, zorv_sink_reason, (), {
  const text = Module.sinkReason || 'the target failed';
  const size = lengthBytesUTF8(text) + 1;
  const copy = _malloc(size);
  stringToUTF8(text, copy, size);
  return copy;
});

namespace zorv::web {

void TJsSink::Fail(int error) {
  Error_ = error;
  char* reason = zorv_sink_reason();
  State_->Reason = reason;
  std::free(reason);
}

std::size_t TJsSink::Write(const void* data, std::size_t n) {
  if (Closed_) {
    Error_ = EBADF;
    return 0;
  }
  if (n == 0) return 0;
  const double written =
      zorv_sink_write(static_cast<double>(Position_), static_cast<const std::uint8_t*>(data),
                      static_cast<double>(n));
  if (written < 0) {
    Fail(EIO);
    return 0;
  }
  const auto taken = static_cast<std::size_t>(written);
  if (taken < n) Fail(ENOSPC);
  Position_ += taken;
  State_->End = std::max(State_->End, Position_);
  return taken;
}

bool TJsSink::Seek(std::uint64_t position) {
  Position_ = position;
  return true;
}

bool TJsSink::Close() {
  if (Closed_) return true;
  Closed_ = true;
  if (zorv_sink_close() == 1) return true;
  Fail(EIO);
  return false;
}

TByteSink::TRoom TJsSink::MakeRoom(std::uint64_t position, std::uint64_t n) {
  if (Closed_ || position > State_->End) {
    Error_ = Closed_ ? EBADF : EINVAL;
    return TRoom::Refused;
  }
  // From the end backwards, so that nothing is written over before it has
  // been moved.
  std::vector<std::uint8_t> piece(std::size_t{1} << 20);
  for (std::uint64_t left = State_->End - position; left > 0;) {
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(left, piece.size()));
    left -= size;
    const std::uint64_t from = position + left;
    const double got =
        zorv_sink_read(static_cast<double>(from), piece.data(), static_cast<double>(size));
    if (got != static_cast<double>(size)) {
      if (got >= 0) Error_ = EIO;
      if (got < 0) Fail(EIO);
      return TRoom::Failed;
    }
    if (zorv_sink_write(static_cast<double>(from + n), piece.data(), static_cast<double>(size)) !=
        static_cast<double>(size)) {
      Fail(EIO);
      return TRoom::Failed;
    }
  }
  State_->End += n;
  Position_ = State_->End;
  return TRoom::Made;
}

}  // namespace zorv::web
