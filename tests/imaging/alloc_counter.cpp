// Counts the bytes live through the C allocator of this test program and their
// high-water mark, so tests can bound the memory an operation takes, the
// memory the image libraries take on our behalf included. The program
// replaces malloc and its relatives and forwards them to the C library's own
// allocator; operator new reaches them through malloc.
//
// Under a sanitizer, which brings its own allocator, only operator new is
// counted (each block then carries its size in a header); that includes a
// test built without sanitizer flags but linked with sanitized libraries.
#include "alloc_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || \
    defined(IMPRIMO_SANITIZER_RUNTIME)
#define IMPRIMO_COUNT_OPERATOR_NEW 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define IMPRIMO_COUNT_OPERATOR_NEW 1
#endif
#endif

#ifndef IMPRIMO_COUNT_OPERATOR_NEW
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace imprimo::testing {
namespace {

std::atomic<int64_t> gLive{0};
std::atomic<int64_t> gPeak{0};

void Add(size_t size) {
  const int64_t live = gLive.fetch_add(static_cast<int64_t>(size)) + static_cast<int64_t>(size);
  int64_t peak = gPeak.load();
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
  }
}

void Remove(size_t size) { gLive.fetch_sub(static_cast<int64_t>(size)); }

}  // namespace

TPeakAllocation::TPeakAllocation() : start_(gLive.load()) { gPeak.store(start_); }

int64_t TPeakAllocation::PeakBytes() const { return gPeak.load() - start_; }

}  // namespace imprimo::testing

#ifdef IMPRIMO_COUNT_OPERATOR_NEW

namespace {

// Each block carries its size in a header aligned for any type.
constexpr size_t kHeader = alignof(std::max_align_t);

void* Allocate(size_t size) {
  void* raw = std::malloc(size + kHeader);
  if (!raw) return nullptr;
  *static_cast<size_t*>(raw) = size;
  imprimo::testing::Add(size);
  return static_cast<char*>(raw) + kHeader;
}

void Release(void* p) {
  if (!p) return;
  void* raw = static_cast<char*>(p) - kHeader;
  imprimo::testing::Remove(*static_cast<size_t*>(raw));
  std::free(raw);
}

}  // namespace

void* operator new(size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

#else

// The C library's allocator under its own names; a block is counted by the
// size the allocator reports for it, so frees need no header.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);
}

namespace {

void* Counted(void* p) {
  if (p) imprimo::testing::Add(malloc_usable_size(p));
  return p;
}

}  // namespace

extern "C" {

void* malloc(size_t size) { return Counted(__libc_malloc(size)); }

void* calloc(size_t count, size_t size) { return Counted(__libc_calloc(count, size)); }

void free(void* p) {
  if (!p) return;
  imprimo::testing::Remove(malloc_usable_size(p));
  __libc_free(p);
}

void* realloc(void* p, size_t size) {
  const size_t old = p ? malloc_usable_size(p) : 0;
  void* q = __libc_realloc(p, size);
  // A failed realloc keeps the old block; realloc(p, 0) frees it.
  if (q || (p && size == 0)) imprimo::testing::Remove(old);
  return Counted(q);
}

void* reallocarray(void* p, size_t count, size_t size) {
  if (size != 0 && count > static_cast<size_t>(-1) / size) {
    errno = ENOMEM;
    return nullptr;
  }
  return realloc(p, count * size);
}

void* memalign(size_t alignment, size_t size) { return Counted(__libc_memalign(alignment, size)); }

void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, size_t alignment, size_t size) {
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* p = memalign(alignment, size);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}

void* valloc(size_t size) { return memalign(static_cast<size_t>(sysconf(_SC_PAGESIZE)), size); }

void* pvalloc(size_t size) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return memalign(page, (size + page - 1) / page * page);
}

}  // extern "C"

#endif
