// Counts the bytes live through the global operator new of this test program
// and their high-water mark, so tests can bound the memory an operation takes.
#include "alloc_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace imprimo::testing {
namespace {

std::atomic<int64_t> gLive{0};
std::atomic<int64_t> gPeak{0};

// Each block carries its size in a header aligned for any type.
constexpr size_t kHeader = alignof(std::max_align_t);

void* Allocate(size_t size) {
  void* raw = std::malloc(size + kHeader);
  if (!raw) return nullptr;
  *static_cast<size_t*>(raw) = size;
  const int64_t live = gLive.fetch_add(static_cast<int64_t>(size)) + static_cast<int64_t>(size);
  int64_t peak = gPeak.load();
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char*>(raw) + kHeader;
}

void Release(void* p) {
  if (!p) return;
  void* raw = static_cast<char*>(p) - kHeader;
  gLive.fetch_sub(static_cast<int64_t>(*static_cast<size_t*>(raw)));
  std::free(raw);
}

}  // namespace

TPeakAllocation::TPeakAllocation() : start_(gLive.load()) { gPeak.store(start_); }

int64_t TPeakAllocation::PeakBytes() const { return gPeak.load() - start_; }

}  // namespace imprimo::testing

void* operator new(size_t size) {
  if (void* p = imprimo::testing::Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  if (void* p = imprimo::testing::Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return imprimo::testing::Allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return imprimo::testing::Allocate(size);
}
void operator delete(void* p) noexcept { imprimo::testing::Release(p); }
void operator delete[](void* p) noexcept { imprimo::testing::Release(p); }
void operator delete(void* p, size_t) noexcept { imprimo::testing::Release(p); }
void operator delete[](void* p, size_t) noexcept { imprimo::testing::Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { imprimo::testing::Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { imprimo::testing::Release(p); }
