// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/byte_sink.h"

#include <fcntl.h>
#include <limits.h>
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

// Writes n bytes, going on after partial writes and interrupted calls; the
// count the descriptor took, short on the first error, whose number goes to
// error.
// Calls move(done), a read or write of the bytes from done on, until n bytes
// are moved; returns how many were, with the system's reason in error when
// fewer (whenNothing where a call moved nothing without one).
template <typename TMove>
std::size_t MoveAll(std::size_t n, int& error, int whenNothing, TMove move) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t moved = move(done);
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) {
      error = moved < 0 ? errno : whenNothing;
      break;
    }
    done += static_cast<std::size_t>(moved);
  }
  return done;
}

std::size_t WriteAll(int fd, const void* data, std::size_t n, int& error) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  // A write that takes nothing without an error only happens on a full device.
  return MoveAll(n, error, ENOSPC,
                 [&](std::size_t done) { return ::write(fd, bytes + done, n - done); });
}

class TFileSink final : public TByteSink {
 public:
  explicit TFileSink(int fd) : Fd_(fd) {}
  ~TFileSink() override { Close(); }
  TFileSink(const TFileSink&) = delete;
  TFileSink& operator=(const TFileSink&) = delete;

  std::size_t Write(const void* data, std::size_t n) override {
    if (Fd_ < 0) {
      Error_ = EBADF;
      return 0;
    }
    const std::size_t done = WriteAll(Fd_, data, n, Error_);
    Position_ += done;
    StartWriteback();
    return done;
  }
  bool Seek(std::uint64_t position) override {
    if (Fd_ < 0 || ::lseek(Fd_, static_cast<off_t>(position), SEEK_SET) < 0) {
      Error_ = Fd_ < 0 ? EBADF : errno;
      return false;
    }
    Position_ = position;
    return true;
  }
  std::uint64_t Position() const override { return Position_; }
  bool Seekable() const override { return true; }
  TRoom MakeRoom(std::uint64_t position, std::uint64_t n) override {
    struct stat info {};
    if (Fd_ < 0 || ::fstat(Fd_, &info) != 0) {
      Error_ = Fd_ < 0 ? EBADF : errno;
      return TRoom::Refused;
    }
    const auto end = static_cast<std::uint64_t>(info.st_size);
    if (position > end || (::fcntl(Fd_, F_GETFL) & O_ACCMODE) != O_RDWR) {
      Error_ = position > end ? EINVAL : EBADF;
      return TRoom::Refused;
    }
    // The space first: a full disk refuses before anything has moved.
    if (const int error = ::posix_fallocate(Fd_, static_cast<off_t>(end), static_cast<off_t>(n));
        error != 0 && error != EOPNOTSUPP && error != EINVAL) {
      Error_ = error;
      return TRoom::Refused;
    }
    // From the end backwards, so that nothing is written over before it
    // has been moved.
    std::vector<std::uint8_t> piece(std::size_t{1} << 20);
    for (std::uint64_t left = end - position; left > 0;) {
      const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(left, piece.size()));
      left -= size;
      const std::uint64_t from = position + left;
      if (!ReadAt(from, piece.data(), size) || !WriteAt(from + n, piece.data(), size)) {
        return TRoom::Failed;
      }
    }
    return Seek(end + n) ? TRoom::Made : TRoom::Failed;
  }
  bool Close() override {
    if (Fd_ < 0) return true;
    // Linux releases the descriptor even when close() is interrupted; any
    // other failure means data may not have reached the file.
    const bool ok = ::close(Fd_) == 0 || errno == EINTR;
    if (!ok) Error_ = errno;
    Fd_ = -1;
    return ok;
  }

 private:
  // Every few MiB the system is asked to begin writing what came since,
  // without waiting for it: the disk works while the decoder does, and the
  // sync at the end has only the last of it left. (Not where the file is
  // no regular file: the call fails, and nothing else happens.)
  static constexpr std::uint64_t kWritebackBytes = std::uint64_t{4} << 20;
  void StartWriteback() {
    if (Position_ < WritebackFrom_ + kWritebackBytes) return;
#ifndef __EMSCRIPTEN__  // a page's file system has no disk behind it to start
    ::sync_file_range(Fd_, static_cast<off_t>(WritebackFrom_),
                      static_cast<off_t>(Position_ - WritebackFrom_), SYNC_FILE_RANGE_WRITE);
#endif
    WritebackFrom_ = Position_;
  }

  bool ReadAt(std::uint64_t at, std::uint8_t* data, std::size_t n) {
    return MoveAll(n, Error_, EIO, [&](std::size_t done) {
             return ::pread(Fd_, data + done, n - done, static_cast<off_t>(at + done));
           }) == n;
  }
  bool WriteAt(std::uint64_t at, const std::uint8_t* data, std::size_t n) {
    return MoveAll(n, Error_, EIO, [&](std::size_t done) {
             return ::pwrite(Fd_, data + done, n - done, static_cast<off_t>(at + done));
           }) == n;
  }

  int Fd_;
  std::uint64_t Position_ = 0;
  std::uint64_t WritebackFrom_ = 0;
};

class TStreamSink final : public TByteSink {
 public:
  explicit TStreamSink(int fd) : Fd_(fd) {
    // Only a pipe or a socket keeps a write waiting for ever.
    struct stat info {};
    Waits_ = ::fstat(fd, &info) != 0 || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode);
  }

  std::size_t Write(const void* data, std::size_t n) override {
    if (!Waits_) {
      const std::size_t done = WriteAll(Fd_, data, n, Error_);
      Position_ += done;
      return done;
    }
    // A pipe whose reader has stalled must not hold up a stop: each write
    // waits for room and for the stop request at once, and writes no more
    // than a pipe with room takes without waiting.
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < n) {
      if (!AwaitDescriptor(Fd_, POLLOUT)) {
        Error_ = EINTR;
        break;
      }
      const std::size_t piece = n - done < PIPE_BUF ? n - done : PIPE_BUF;
      const ssize_t put = ::write(Fd_, bytes + done, piece);
      if (put < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (put <= 0) {
        Error_ = put < 0 ? errno : ENOSPC;
        break;
      }
      done += static_cast<std::size_t>(put);
    }
    Position_ += done;
    return done;
  }
  bool Seek(std::uint64_t position) override {
    if (position == Position_) return true;
    Error_ = ESPIPE;
    return false;
  }
  std::uint64_t Position() const override { return Position_; }
  bool Seekable() const override { return false; }
  bool Close() override { return true; }

 private:
  int Fd_;
  bool Waits_ = true;
  std::uint64_t Position_ = 0;
};

class TMemorySink final : public TByteSink {
 public:
  explicit TMemorySink(std::vector<std::uint8_t>& bytes) : Bytes_(bytes) { Bytes_.clear(); }

  std::size_t Write(const void* data, std::size_t n) override {
    if (n == 0) return 0;
    const std::size_t end = Position_ + n;
    if (Bytes_.size() < end) Bytes_.resize(end);
    std::memcpy(Bytes_.data() + Position_, data, n);
    Position_ = end;
    return n;
  }
  bool Seek(std::uint64_t position) override {
    if (position > Bytes_.size()) return false;
    Position_ = static_cast<std::size_t>(position);
    return true;
  }
  std::uint64_t Position() const override { return Position_; }
  bool Seekable() const override { return true; }
  bool Close() override { return true; }
  TRoom MakeRoom(std::uint64_t position, std::uint64_t n) override {
    if (position > Bytes_.size()) return TRoom::Refused;
    Bytes_.insert(Bytes_.begin() + static_cast<std::ptrdiff_t>(position),
                  static_cast<std::size_t>(n), std::uint8_t{0});
    Position_ = Bytes_.size();
    return TRoom::Made;
  }

 private:
  std::vector<std::uint8_t>& Bytes_;
  std::size_t Position_ = 0;
};

}  // namespace

std::unique_ptr<TByteSink> CreateFileSink(const std::string& path) {
  // O_NONBLOCK: a named pipe without a reader fails at once (ENXIO) instead
  // of making the open wait for a reader for ever. Writes block as usual.
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return std::make_unique<TFileSink>(fd);
}

std::unique_ptr<TByteSink> FileSink(int fd) {
  return fd < 0 ? nullptr : std::make_unique<TFileSink>(fd);
}

std::unique_ptr<TByteSink> StreamSink(int fd) {
  return std::make_unique<TStreamSink>(fd);
}

std::unique_ptr<TByteSink> MemorySink(std::vector<std::uint8_t>& bytes) {
  return std::make_unique<TMemorySink>(bytes);
}

}  // namespace zorv
