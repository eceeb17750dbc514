// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/js_source.h"

#include <emscripten.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

EM_JS(double, zorv_source_size, (), { return Module.source.size; });
// The count read, or -1 with the reason kept for zorv_source_reason.
EM_JS(double, zorv_source_read, (double position, std::uint8_t* data, double n), {
  try {
    const bytes = Module.source.read(position, n);
    HEAPU8.set(bytes, data);
    return bytes.length;
  } catch (e) {
    Module.sourceReason = e.message || String(e);
    return -1;
  }
});
EM_JS(char*, zorv_source_reason, (), {
  const text = Module.sourceReason || 'the file could not be read';
  const size = lengthBytesUTF8(text) + 1;
  const copy = _malloc(size);
  stringToUTF8(text, copy, size);
  return copy;
});

namespace zorv::web {

TJsSource::TJsSource() : Size_(static_cast<std::uint64_t>(zorv_source_size())) {}

std::size_t TJsSource::Read(void* destination, std::size_t n) {
  const std::uint64_t left = Position_ < Size_ ? Size_ - Position_ : 0;
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(n, left));
  if (wanted == 0) return 0;
  const double got =
      zorv_source_read(static_cast<double>(Position_), static_cast<std::uint8_t*>(destination),
                       static_cast<double>(wanted));
  if (got < 0) {
    Errno_ = EIO;
    char* reason = zorv_source_reason();
    Reason_ = reason;
    std::free(reason);
    return 0;
  }
  const auto read = static_cast<std::size_t>(got);
  if (read < wanted) {
    // The file is shorter than it was: a failure, not its end.
    Errno_ = EIO;
    Reason_ = "the file became shorter while it was read";
  }
  Position_ += read;
  return read;
}

bool TJsSource::Seek(std::uint64_t position) {
  if (position > Size_) return false;
  Position_ = position;
  return true;
}

}  // namespace zorv::web
