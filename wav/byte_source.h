// SPDX-License-Identifier: GPL-3.0-or-later
// Where the reader's bytes come from: a file, a stream such as standard input,
// or memory (tests, fuzzing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace zorv {

// Size of a source whose end is known only once it is reached.
inline constexpr std::uint64_t kUnknownSize = UINT64_MAX;

class TByteSource {
 public:
  virtual ~TByteSource() = default;
  // Reads up to n bytes at the current position; the count read (short at the
  // end of the source or on a read error).
  virtual std::size_t Read(void* destination, std::size_t n) = 0;
  // Moves to an absolute position; false when the position cannot be reached.
  virtual bool Seek(std::uint64_t position) = 0;
  virtual std::uint64_t Position() const = 0;
  // The size the source had when it was opened; kUnknownSize for a stream.
  virtual std::uint64_t Size() const = 0;
  // The system's error number of the last read that failed (0 when none did):
  // a short read with 0 here is the end of the source.
  virtual int ReadErrno() const { return 0; }
  // That failure in words: the system's reason, or what the source found
  // wrong with what it read (a damaged frame of a compressed file).
  virtual std::string ReadErrorText() const {
    return ReadErrno() != 0 ? std::strerror(ReadErrno()) : std::string();
  }
  // False for a stream: Seek then only moves forward, by reading.
  virtual bool Seekable() const { return true; }
  // A short read of a stream came from a stop request (IoStopRequested)
  // while the stream gave nothing: neither its end nor a failure.
  virtual bool Interrupted() const { return false; }
};

// Null when the file cannot be opened for reading.
std::unique_ptr<TByteSource> OpenFileSource(const std::string& path);
// Reads the descriptor from where it stands, once; the descriptor is not
// closed. A read that waits for a pipe gives up when a stop is requested.
std::unique_ptr<TByteSource> StreamSource(int fd);
std::unique_ptr<TByteSource> MemorySource(const std::uint8_t* data, std::size_t size);

}  // namespace zorv
