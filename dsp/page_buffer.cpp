// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/page_buffer.h"

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/asan_interface.h>
#endif

// Under AddressSanitizer from the heap, where it watches the bounds; in
// WebAssembly too, whose memory has no pages to map (and whose emulated
// mappings, trimmed as below, never return in a build with threads).
#if defined(__SANITIZE_ADDRESS__) || defined(__EMSCRIPTEN__)
#define ZORV_HEAP_PAGES 1
#endif

#ifndef ZORV_HEAP_PAGES
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

namespace zorv {
namespace {

#ifndef ZORV_HEAP_PAGES
constexpr std::size_t kLargePage = std::size_t{2} << 20;
constexpr std::size_t kLargeFrom = std::size_t{256} << 10;

std::size_t RoundUp(std::size_t bytes, std::size_t unit) {
  return (bytes + unit - 1) / unit * unit;
}

// Zeroed pages for bytes, and how many bytes they span from the pointer.
std::byte* MapPages(std::size_t bytes, std::size_t& mappingSize) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const bool large = bytes >= kLargeFrom;
  const std::size_t unit = large ? kLargePage : page;
  const std::size_t used = RoundUp(bytes, unit);
  if (used < bytes) throw std::bad_alloc();
  // A large buffer is mapped with room to spare and trimmed to whole large
  // pages on both sides.
  const std::size_t mapped = large ? used + kLargePage : used;
  if (mapped < used) throw std::bad_alloc();
  void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  auto* begin = static_cast<std::byte*>(p);
  if (large) {
    const auto address = reinterpret_cast<std::uintptr_t>(begin);
    const std::size_t head = RoundUp(address, kLargePage) - address;
    if (head != 0) munmap(begin, head);
    const std::size_t tail = mapped - head - used;
    if (tail != 0) munmap(begin + head + used, tail);
    begin += head;
#ifdef MADV_HUGEPAGE
    // Only a hint: refused, the buffer works as well on small pages.
    madvise(begin, used, MADV_HUGEPAGE);
#endif
  }
  mappingSize = used;
  return begin;
}
#endif

}  // namespace

TPageBuffer::TPageBuffer(std::size_t bytes) {
  if (bytes == 0) return;
#ifdef ZORV_HEAP_PAGES
  Data_ = static_cast<std::byte*>(std::calloc(bytes, 1));
  if (Data_ == nullptr) throw std::bad_alloc();
#else
  Data_ = MapPages(bytes, MappingSize_);
#endif
  Size_ = bytes;
}

TPageBuffer::~TPageBuffer() {
  Release();
}

TPageBuffer::TPageBuffer(TPageBuffer&& other) noexcept
    : Data_(std::exchange(other.Data_, nullptr)),
      Size_(std::exchange(other.Size_, 0)),
      MappingSize_(std::exchange(other.MappingSize_, 0)) {}

TPageBuffer& TPageBuffer::operator=(TPageBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    Data_ = std::exchange(other.Data_, nullptr);
    Size_ = std::exchange(other.Size_, 0);
    MappingSize_ = std::exchange(other.MappingSize_, 0);
  }
  return *this;
}

void TPageBuffer::Release() {
#ifdef ZORV_HEAP_PAGES
#ifdef __SANITIZE_ADDRESS__
  // Whatever its user marked as no one's is the heap's again.
  if (Data_ != nullptr) ASAN_UNPOISON_MEMORY_REGION(Data_, Size_);
#endif
  std::free(Data_);
#else
  if (Data_ != nullptr) munmap(Data_, MappingSize_);
#endif
  MappingSize_ = 0;
  Data_ = nullptr;
  Size_ = 0;
}

}  // namespace zorv
