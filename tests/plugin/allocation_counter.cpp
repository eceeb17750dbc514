// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/plugin/allocation_counter.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cstdlib>

namespace zorv::test {
namespace {

// Of this thread alone: another thread's allocations are none of the
// audio thread's.
thread_local bool counting = false;
thread_local std::size_t allocations = 0;
thread_local std::size_t releases = 0;
thread_local std::size_t locks = 0;

void Note() {
  if (counting) ++allocations;
}
void NoteRelease(const volatile void* p) {
  if (counting && p != nullptr) ++releases;
}
[[maybe_unused]] void NoteLock() {
  if (counting) ++locks;
}

}  // namespace
}  // namespace zorv::test

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers own malloc; they report every allocation to a hook (their
// runtime's interface, declared here: GCC ships no header for it).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             std::size_t),
                                                         void (*free_hook)(const volatile void*));

namespace zorv::test {
namespace {
void OnAllocation(const volatile void*, std::size_t) {
  Note();
}
[[maybe_unused]] const int installed =
    __sanitizer_install_malloc_and_free_hooks(OnAllocation, NoteRelease);
}  // namespace
}  // namespace zorv::test

#else
// The program's own malloc family takes precedence over the C library's for
// every library in the process, the plugin's and libstdc++'s operator new
// and delete included; each counts and hands over to the C library.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t size) noexcept {
  zorv::test::Note();
  return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) noexcept {
  zorv::test::Note();
  return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) noexcept {
  zorv::test::Note();
  return __libc_realloc(p, size);
}
void* memalign(std::size_t alignment, std::size_t size) noexcept {
  zorv::test::Note();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  zorv::test::Note();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
  zorv::test::Note();
  void* p = __libc_memalign(alignment, size);
  if (p == nullptr) return 12;  // ENOMEM
  *out = p;
  return 0;
}
void free(void* p) noexcept {
  zorv::test::NoteRelease(p);
  __libc_free(p);
}
}
#endif

#if !defined(__SANITIZE_THREAD__)
// The same for locks: std::mutex and every library's pthread_mutex_lock
// come here, then go to the next definition (the C library's).
namespace {
using TLock = int (*)(pthread_mutex_t*);
TLock Next(const char* name) {
  return reinterpret_cast<TLock>(dlsym(RTLD_NEXT, name));
}
}  // namespace

extern "C" {
int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept {
  static const TLock next = Next("pthread_mutex_lock");
  zorv::test::NoteLock();
  return next(mutex);
}
int pthread_mutex_trylock(pthread_mutex_t* mutex) noexcept {
  static const TLock next = Next("pthread_mutex_trylock");
  zorv::test::NoteLock();
  return next(mutex);
}
}
#endif

namespace zorv::test {

TCountAllocations::TCountAllocations() {
  allocations = 0;
  releases = 0;
  locks = 0;
  counting = true;
}

TCountAllocations::~TCountAllocations() {
  counting = false;
}

std::size_t TCountAllocations::Count() const {
  return allocations;
}

std::size_t TCountAllocations::Releases() const {
  return releases;
}

std::size_t TCountAllocations::Locks() const {
  return locks;
}

}  // namespace zorv::test
