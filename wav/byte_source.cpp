// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/byte_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "wav/io_stop.h"

namespace zorv {
namespace {

// Small reads (chunk headers and bodies, a million of them in a file that
// has that many chunks) are served from a buffer that is filled kReadAhead
// bytes at a time; reads of kDirectRead bytes or more (the samples) go to
// the system directly.
constexpr std::size_t kReadAhead = 64u << 10;
constexpr std::size_t kDirectRead = 4096;

// A regular file opened read-only. The size is taken once at open; a read
// that finds fewer bytes (the file shrank, or an I/O error) comes back short.
class TFileSource final : public TByteSource {
 public:
  TFileSource(int fd, std::uint64_t size) : Fd_(fd), Size_(size) {}
  ~TFileSource() override { ::close(Fd_); }
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;

  std::size_t Read(void* destination, std::size_t n) override {
    // An empty chunk asks for nothing (and may have no buffer to give).
    if (n == 0) return 0;
    auto* out = static_cast<unsigned char*>(destination);
    // Large reads always ask the file, never the buffer: a file cut shorter
    // since the buffer was filled is seen at once.
    if (n >= kDirectRead) {
      const std::size_t got = ReadAt(Position_, out, n);
      Position_ += got;
      return got;
    }
    std::size_t done = FromBuffer(out, n);
    if (done < n) {
      Buffer_.resize(kReadAhead);
      BufferStart_ = Position_;
      BufferLength_ = ReadAt(Position_, Buffer_.data(), kReadAhead);
      done += FromBuffer(out + done, n - done);
    }
    return done;
  }

  bool Seek(std::uint64_t position) override {
    if (position > Size_) return false;
    // The system's position follows at the next read that needs it.
    Position_ = position;
    return true;
  }

  std::uint64_t Position() const override { return Position_; }
  std::uint64_t Size() const override { return Size_; }
  int ReadErrno() const override { return ReadErrno_; }

 private:
  // Copies what the buffer holds from Position_ on; moves Position_.
  std::size_t FromBuffer(unsigned char* out, std::size_t n) {
    if (Position_ < BufferStart_ || Position_ >= BufferStart_ + BufferLength_) return 0;
    const auto at = static_cast<std::size_t>(Position_ - BufferStart_);
    const std::size_t count = std::min(n, BufferLength_ - at);
    std::memcpy(out, Buffer_.data() + at, count);
    Position_ += count;
    return count;
  }

  // Reads n bytes at position into out; short at the end of the file or on
  // an error.
  std::size_t ReadAt(std::uint64_t position, unsigned char* out, std::size_t n) {
    if (SystemPosition_ != position) {
      if (::lseek(Fd_, static_cast<off_t>(position), SEEK_SET) < 0) {
        ReadErrno_ = errno;
        return 0;
      }
      SystemPosition_ = position;
    }
    std::size_t done = 0;
    while (done < n) {
      const ssize_t got = ::read(Fd_, out + done, n - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) ReadErrno_ = errno;
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    SystemPosition_ += done;
    return done;
  }

  int Fd_;
  int ReadErrno_ = 0;
  std::uint64_t Size_;
  std::uint64_t Position_ = 0;
  std::uint64_t SystemPosition_ = 0;
  std::vector<unsigned char> Buffer_;
  std::uint64_t BufferStart_ = 0;
  std::size_t BufferLength_ = 0;
};

// Standard input or a pipe: bytes come once, in order. A seek forward reads
// and drops the bytes in between.
class TStreamSource final : public TByteSource {
 public:
  explicit TStreamSource(int fd) : Fd_(fd) {
    // Only a pipe or a socket keeps a read waiting for ever; a file or a
    // device behind the descriptor is read as it comes.
    struct stat info {};
    Waits_ = ::fstat(fd, &info) != 0 || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode);
  }

  std::size_t Read(void* destination, std::size_t n) override {
    auto* out = static_cast<unsigned char*>(destination);
    std::size_t done = 0;
    while (done < n) {
      if (Taken_ < Held_) {
        const std::size_t count = std::min(n - done, Held_ - Taken_);
        std::memcpy(out + done, Buffer_.data() + Taken_, count);
        Taken_ += count;
        done += count;
        continue;
      }
      if (Ended_) break;
      // Large reads go straight to the caller; small ones take what the
      // stream has, up to a buffer's worth.
      if (n - done >= kDirectRead) {
        done += ReadSome(out + done, n - done);
        continue;
      }
      Buffer_.resize(kReadAhead);
      Taken_ = 0;
      Held_ = ReadSome(Buffer_.data(), kReadAhead);
    }
    Position_ += done;
    return done;
  }

  bool Seek(std::uint64_t position) override {
    while (Position_ < position) {
      if (Taken_ == Held_) {
        if (Ended_) return false;
        Buffer_.resize(kReadAhead);
        Taken_ = 0;
        Held_ = ReadSome(Buffer_.data(), kReadAhead);
        continue;
      }
      const std::size_t count =
          static_cast<std::size_t>(std::min<std::uint64_t>(position - Position_, Held_ - Taken_));
      Taken_ += count;
      Position_ += count;
    }
    return Position_ == position;
  }

  std::uint64_t Position() const override { return Position_; }
  std::uint64_t Size() const override { return kUnknownSize; }
  bool Seekable() const override { return false; }
  int ReadErrno() const override { return ReadErrno_; }
  bool Interrupted() const override { return Interrupted_; }

 private:
  // One read of what the stream has (at least a byte, at most n); 0 at its
  // end, on a failure or on a stop request, which set Ended_.
  std::size_t ReadSome(unsigned char* out, std::size_t n) {
    for (;;) {
      // A stalled pipe must not hold up a stop: the read waits for the pipe
      // and the stop request at once, and reads only what is there.
      if (Waits_ && !AwaitDescriptor(Fd_, POLLIN)) {
        Interrupted_ = Ended_ = true;
        return 0;
      }
      const ssize_t got = ::read(Fd_, out, n);
      // Interrupted by a signal, or a descriptor left non-blocking: the
      // wait above decides whether to go on.
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got < 0) ReadErrno_ = errno;
      if (got <= 0) {
        Ended_ = true;
        return 0;
      }
      return static_cast<std::size_t>(got);
    }
  }

  int Fd_;
  std::vector<unsigned char> Buffer_;
  std::size_t Taken_ = 0;  // bytes of Buffer_ handed out
  std::size_t Held_ = 0;   // bytes of Buffer_ read
  int ReadErrno_ = 0;
  bool Waits_ = true;
  bool Ended_ = false;
  bool Interrupted_ = false;
  std::uint64_t Position_ = 0;
};

class TMemorySource final : public TByteSource {
 public:
  TMemorySource(const std::uint8_t* data, std::size_t size) : Data_(data), Size_(size) {}

  std::size_t Read(void* destination, std::size_t n) override {
    const std::size_t left = Size_ - Position_;
    const std::size_t count = n < left ? n : left;
    if (count > 0) std::memcpy(destination, Data_ + Position_, count);
    Position_ += count;
    return count;
  }

  bool Seek(std::uint64_t position) override {
    if (position > Size_) return false;
    Position_ = static_cast<std::size_t>(position);
    return true;
  }

  std::uint64_t Position() const override { return Position_; }
  std::uint64_t Size() const override { return Size_; }

 private:
  const std::uint8_t* Data_;
  std::size_t Size_;
  std::size_t Position_ = 0;
};

}  // namespace

std::unique_ptr<TByteSource> OpenFileSource(const std::string& path) {
  // Without O_NONBLOCK, opening a named pipe would wait for a writer for
  // ever; a regular file is not affected by the flag.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  // Only regular files: a folder, a pipe or a device cannot be walked by
  // position.
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return std::make_unique<TFileSource>(fd, static_cast<std::uint64_t>(info.st_size));
}

std::unique_ptr<TByteSource> StreamSource(int fd) {
  return std::make_unique<TStreamSource>(fd);
}

std::unique_ptr<TByteSource> MemorySource(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr) size = 0;
  return std::make_unique<TMemorySource>(data, size);
}

}  // namespace zorv
