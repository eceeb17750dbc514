// SPDX-License-Identifier: GPL-3.0-or-later
// Where the writer's bytes go: a file, a stream such as standard output, or
// memory (tests, fuzzing).
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zorv {

class TByteSink {
 public:
  virtual ~TByteSink() = default;
  // Writes n bytes at the current position; the count taken (short on an
  // error: a full disk, a reader that went away).
  virtual std::size_t Write(const void* data, std::size_t n) = 0;
  // Writes n bytes of the data chunk's samples, as Write does: a sink that
  // keeps samples its own way (FLAC) tells them from the chunks by this.
  virtual std::size_t WriteSamples(const void* data, std::size_t n) { return Write(data, n); }
  // Moves to an absolute position; a stream can only "move" to where it is.
  virtual bool Seek(std::uint64_t position) = 0;
  virtual std::uint64_t Position() const = 0;
  // False for a stream: what has been written stays as it was written.
  virtual bool Seekable() const = 0;
  // Releases the target; false when that failed (data may be lost).
  virtual bool Close() = 0;
  // Makes room for n bytes at position by moving everything from there to
  // the end n bytes on; the position is then the new end, and what the room
  // holds is unspecified until written over. Refused, having changed
  // nothing, where the target cannot be read back (a stream, a file opened
  // for writing only) or the space cannot be had; Failed when a read or
  // write went wrong while moving (the target is then damaged).
  enum class TRoom { Made, Refused, Failed };
  virtual TRoom MakeRoom(std::uint64_t position, std::uint64_t n) {
    (void)position;
    (void)n;
    Error_ = ESPIPE;
    return TRoom::Refused;
  }
  // The system's error number of the last Write, Seek or Close that failed.
  int Error() const { return Error_; }

 protected:
  int Error_ = 0;
};

// Creates or truncates path; null when it cannot be created. A named pipe
// without a reader fails at once instead of waiting.
std::unique_ptr<TByteSink> CreateFileSink(const std::string& path);
// Writes to a file its caller has opened for writing; the sink closes it.
std::unique_ptr<TByteSink> FileSink(int fd);
// Writes to the descriptor from where it stands; the descriptor is not
// closed. A write that waits for a pipe gives up with EINTR when a stop is
// requested (IoStopRequested).
std::unique_ptr<TByteSink> StreamSink(int fd);
// Writes into bytes, which must outlive the sink.
std::unique_ptr<TByteSink> MemorySink(std::vector<std::uint8_t>& bytes);

}  // namespace zorv
