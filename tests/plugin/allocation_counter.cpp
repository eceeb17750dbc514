// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/plugin/allocation_counter.h"

#include <atomic>
#include <cstdlib>

namespace zorv::test {
namespace {

std::atomic<bool> counting{false};
std::atomic<std::size_t> allocations{0};

void Note() {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
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
void OnRelease(const volatile void*) {}
[[maybe_unused]] const int installed =
    __sanitizer_install_malloc_and_free_hooks(OnAllocation, OnRelease);
}  // namespace
}  // namespace zorv::test

#else
// The program's own malloc family takes precedence over the C library's for
// every library in the process, the plugin's and libstdc++'s operator new
// included; each counts and hands over to the C library.
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
  __libc_free(p);
}
}
#endif

namespace zorv::test {

TCountAllocations::TCountAllocations() {
  allocations.store(0);
  counting.store(true);
}

TCountAllocations::~TCountAllocations() {
  counting.store(false);
}

std::size_t TCountAllocations::Count() const {
  return allocations.load();
}

}  // namespace zorv::test
