// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zorv {
namespace {

// A regular file opened read-only. The size is taken once at open; a read
// that finds fewer bytes (the file shrank, or an I/O error) comes back short.
class TFileSource final : public TByteSource {
 public:
  TFileSource(int fd, std::uint64_t size) : Fd_(fd), Size_(size) {}
  ~TFileSource() override { ::close(Fd_); }
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;

  std::size_t Read(void* destination, std::size_t n) override {
    auto* out = static_cast<unsigned char*>(destination);
    std::size_t done = 0;
    while (done < n) {
      const ssize_t got = ::read(Fd_, out + done, n - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) ReadErrno_ = errno;
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    Position_ += done;
    return done;
  }

  bool Seek(std::uint64_t position) override {
    if (position > Size_) return false;
    if (::lseek(Fd_, static_cast<off_t>(position), SEEK_SET) < 0) return false;
    Position_ = position;
    return true;
  }

  std::uint64_t Position() const override { return Position_; }
  std::uint64_t Size() const override { return Size_; }
  int ReadErrno() const override { return ReadErrno_; }

 private:
  int Fd_;
  int ReadErrno_ = 0;
  std::uint64_t Size_;
  std::uint64_t Position_ = 0;
};

// Standard input or a pipe: bytes come once, in order. A seek forward reads
// and drops the bytes in between.
class TStreamSource final : public TByteSource {
 public:
  explicit TStreamSource(int fd) : Fd_(fd) {}

  std::size_t Read(void* destination, std::size_t n) override {
    auto* out = static_cast<unsigned char*>(destination);
    std::size_t done = 0;
    while (done < n && !Ended_) {
      const ssize_t got = ::read(Fd_, out + done, n - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) ReadErrno_ = errno;
      if (got <= 0) {
        Ended_ = true;
        break;
      }
      done += static_cast<std::size_t>(got);
    }
    Position_ += done;
    return done;
  }

  bool Seek(std::uint64_t position) override {
    unsigned char scrap[16384];
    while (Position_ < position) {
      const std::uint64_t left = position - Position_;
      const std::size_t n = left < sizeof scrap ? static_cast<std::size_t>(left) : sizeof scrap;
      if (Read(scrap, n) != n) return false;
    }
    return Position_ == position;
  }

  std::uint64_t Position() const override { return Position_; }
  std::uint64_t Size() const override { return kUnknownSize; }
  bool Seekable() const override { return false; }
  int ReadErrno() const override { return ReadErrno_; }

 private:
  int Fd_;
  int ReadErrno_ = 0;
  bool Ended_ = false;
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
