// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pending_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <random>

namespace zorv {
namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Six letters or digits, different in every call of every process.
std::string RandomSuffix() {
  static constexpr char kAlphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<unsigned> counter{0};
  std::random_device device;
  std::mt19937 generator(device() ^ (static_cast<unsigned>(::getpid()) << 16) ^ counter++);
  std::string suffix(6, 'x');
  for (char& c : suffix) c = kAlphabet[generator() % (sizeof kAlphabet - 1)];
  return suffix;
}

// Makes a rename durable; where the folder cannot be synced there is nothing
// more to be done.
void SyncFolder(const std::string& path) {
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Renames without replacing: atomically where the file system can, else by
// a link (which fails on an existing name) and an unlink.
int RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef __EMSCRIPTEN__
  // A page's file system has neither renameat2 nor links, and no other
  // process: a look, then the rename.
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
#else
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
#endif
}

// The longest file name the usual file systems take, in bytes.
constexpr std::size_t kNameMax = 255;

// stem + tail, the stem shortened (at a character's start, so that no
// character is cut) where the name would pass kNameMax bytes: a name that
// could be created gets a temporary and a partial name that can too.
std::string FittedName(const std::string& folderPart, std::string stem, const std::string& tail) {
  if (stem.size() + tail.size() > kNameMax) {
    std::size_t keep = kNameMax > tail.size() ? kNameMax - tail.size() : 0;
    // UTF-8 continuation bytes are 10xxxxxx.
    while (keep > 0 && keep < stem.size() &&
           (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) {
      --keep;
    }
    stem.resize(std::min(keep, stem.size()));
  }
  return folderPart + stem + tail;
}

}  // namespace

std::string PartialName(const std::string& path, int number) {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  const std::string folderPart = path.substr(0, nameStart);
  const std::string partial = number <= 1 ? ".partial" : ".partial-" + std::to_string(number);
  if (dot == std::string::npos || dot <= nameStart) {
    return FittedName(folderPart, path.substr(nameStart), partial);
  }
  return FittedName(folderPart, path.substr(nameStart, dot - nameStart),
                    partial + path.substr(dot));
}

bool TPendingFile::Create(const std::string& finalPath) {
  Discard();
  FinalPath_ = finalPath;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::size_t slash = finalPath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string candidate =
        FittedName(finalPath.substr(0, nameStart), finalPath.substr(nameStart),
                   ".incomplete-" + RandomSuffix());
    // Readable too: the writer may move what it wrote (a chunk before the
    // samples that grows once they are written).
    int fd;
    do {
      fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      Fd_ = fd;
      TemporaryPath_ = candidate;
      Error_ = 0;
      return true;
    }
    Error_ = errno;
    if (Error_ != EEXIST) break;
  }
  return false;
}

bool TPendingFile::Commit(bool replace) {
  return CommitAs(FinalPath_, replace);
}

bool TPendingFile::CommitAs(const std::string& path, bool replace) {
  if (TemporaryPath_.empty()) {
    Error_ = EBADF;
    return false;
  }
  if (Fd_ >= 0) {
    const bool synced = ::fsync(Fd_) == 0;
    if (!synced) Error_ = errno;
    const bool closed = ::close(Fd_) == 0 || errno == EINTR;
    if (synced && !closed) Error_ = errno;
    Fd_ = -1;
    if (!synced || !closed) return false;
  }
  const int error = replace ? (::rename(TemporaryPath_.c_str(), path.c_str()) == 0 ? 0 : errno)
                            : RenameNoReplace(TemporaryPath_, path);
  if (error != 0) {
    Error_ = error;
    return false;
  }
  TemporaryPath_.clear();
  SyncFolder(path);
  return true;
}

std::optional<std::string> TPendingFile::CommitPartial(bool replace) {
  if (replace) {
    const std::string name = PartialName(FinalPath_);
    return CommitAs(name, true) ? std::optional(name) : std::nullopt;
  }
  for (int number = 1; number <= kPartialNumbers; ++number) {
    const std::string name = PartialName(FinalPath_, number);
    if (CommitAs(name, false)) return name;
    if (Error_ != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

void TPendingFile::Discard() {
  if (Fd_ >= 0) ::close(Fd_);
  Fd_ = -1;
  if (!TemporaryPath_.empty()) ::unlink(TemporaryPath_.c_str());
  TemporaryPath_.clear();
}

}  // namespace zorv
