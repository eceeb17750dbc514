// SPDX-License-Identifier: GPL-3.0-or-later
// Fault injection for zorv-decode's tests, loaded with LD_PRELOAD: read()
// and write() on the files whose path contains ZORV_FAULT_PATH fail or slow
// down as the environment says:
//
//   ZORV_FAULT_READ_EIO_AT=N     a read that would reach byte N of the file
//                                fails with EIO, and so does every later one
//   ZORV_FAULT_READ_DELAY_US=N   every read sleeps N microseconds first
//   ZORV_FAULT_READ_FAIL_NTH=N   the Nth read (counted from 1) fails once
//                                with EIO
//   ZORV_FAULT_READ_END_NTH=N    the Nth read finds the end: it gives 0
//                                bytes once (a file or stream cut there)
//   ZORV_FAULT_STDIN=1           standard input counts as such a file
//   ZORV_FAULT_MARK=FILE         FILE is created when a read or write fault
//                                is injected (a run without it met none)
//   ZORV_FAULT_WRITE_FAIL_NTH=N  the Nth write (counted from 1) fails once
//                                with ENOSPC; the disk then "recovers"
//   ZORV_FAULT_WRITE_LIMIT=N     the files take N bytes in all, then every
//                                write fails with ENOSPC (a full disk)
//   ZORV_FAULT_FSYNC_FAIL=1      fsync() of such a file fails with EIO
//   ZORV_FAULT_RENAME_FAIL=1     a rename (rename, renameat2) to a name that
//                                contains ZORV_FAULT_PATH fails with EIO
#include <dlfcn.h>
#include <limits.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

typedef ssize_t (*read_fn)(int, void*, size_t);
typedef ssize_t (*write_fn)(int, const void*, size_t);
typedef int (*fsync_fn)(int);
typedef int (*rename_fn)(const char*, const char*);
typedef int (*renameat2_fn)(int, const char*, int, const char*, unsigned);

std::atomic<long> writes_seen{0};
std::atomic<long> reads_seen{0};
std::atomic<long> bytes_taken{0};

long setting(const char* name) {
  const char* value = getenv(name);
  return value != nullptr && *value != '\0' ? std::atol(value) : -1;
}

void mark() {
  const char* path = getenv("ZORV_FAULT_MARK");
  if (path == nullptr || *path == '\0') return;
  if (FILE* file = std::fopen(path, "a")) std::fclose(file);
}

bool matches(int fd) {
  if (fd == 0) return setting("ZORV_FAULT_STDIN") == 1;
  const char* wanted = getenv("ZORV_FAULT_PATH");
  if (wanted == nullptr || *wanted == '\0' || fd < 3) return false;
  char link[64];
  char path[PATH_MAX];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = readlink(link, path, sizeof path - 1);
  if (length <= 0) return false;
  path[length] = '\0';
  return std::strstr(path, wanted) != nullptr;
}

bool renames_to_fail(const char* to) {
  const char* wanted = getenv("ZORV_FAULT_PATH");
  return setting("ZORV_FAULT_RENAME_FAIL") == 1 && wanted != nullptr && *wanted != '\0' &&
         std::strstr(to, wanted) != nullptr;
}

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
  static read_fn real_read;
  if (real_read == nullptr) real_read = reinterpret_cast<read_fn>(dlsym(RTLD_NEXT, "read"));
  if (!matches(fd)) return real_read(fd, buffer, count);
  const long delay = setting("ZORV_FAULT_READ_DELAY_US");
  if (delay > 0) {
    const timespec pause = {delay / 1000000, (delay % 1000000) * 1000};
    nanosleep(&pause, nullptr);
  }
  const long nth = reads_seen.fetch_add(1) + 1;
  if (setting("ZORV_FAULT_READ_FAIL_NTH") == nth) {
    mark();
    errno = EIO;
    return -1;
  }
  if (setting("ZORV_FAULT_READ_END_NTH") == nth) {
    mark();
    return 0;
  }
  const long eio_at = setting("ZORV_FAULT_READ_EIO_AT");
  if (eio_at >= 0) {
    const off_t position = lseek(fd, 0, SEEK_CUR);
    if (position >= 0 && static_cast<long>(position) + static_cast<long>(count) > eio_at) {
      errno = EIO;
      return -1;
    }
  }
  return real_read(fd, buffer, count);
}

extern "C" ssize_t write(int fd, const void* buffer, size_t count) {
  static write_fn real_write;
  if (real_write == nullptr) real_write = reinterpret_cast<write_fn>(dlsym(RTLD_NEXT, "write"));
  if (!matches(fd)) return real_write(fd, buffer, count);
  const long nth = setting("ZORV_FAULT_WRITE_FAIL_NTH");
  if (nth > 0 && writes_seen.fetch_add(1) + 1 == nth) {
    mark();
    errno = ENOSPC;
    return -1;
  }
  const long limit = setting("ZORV_FAULT_WRITE_LIMIT");
  if (limit >= 0) {
    const long taken = bytes_taken.load();
    if (taken >= limit) {
      errno = ENOSPC;
      return -1;
    }
    if (static_cast<long>(count) > limit - taken) count = static_cast<size_t>(limit - taken);
  }
  const ssize_t put = real_write(fd, buffer, count);
  if (put > 0) bytes_taken.fetch_add(put);
  return put;
}

extern "C" int fsync(int fd) {
  static fsync_fn real_fsync;
  if (real_fsync == nullptr) real_fsync = reinterpret_cast<fsync_fn>(dlsym(RTLD_NEXT, "fsync"));
  if (matches(fd) && setting("ZORV_FAULT_FSYNC_FAIL") == 1) {
    mark();
    errno = EIO;
    return -1;
  }
  return real_fsync(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept {
  static rename_fn real_rename;
  if (real_rename == nullptr) real_rename = reinterpret_cast<rename_fn>(dlsym(RTLD_NEXT, "rename"));
  if (renames_to_fail(to)) {
    mark();
    errno = EIO;
    return -1;
  }
  return real_rename(from, to);
}

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to,
                         unsigned flags) noexcept {
  static renameat2_fn real_renameat2;
  if (real_renameat2 == nullptr) {
    real_renameat2 = reinterpret_cast<renameat2_fn>(dlsym(RTLD_NEXT, "renameat2"));
  }
  if (renames_to_fail(to)) {
    mark();
    errno = EIO;
    return -1;
  }
  return real_renameat2(fromDir, from, toDir, to, flags);
}
