// Replaces the global operator new so a benchmark can count the heap
// allocations of the work it measures. Linked into the benchmark programs only.
#include <atomic>
#include <cstdlib>
#include <new>

#include "bench_support.h"

namespace {

std::atomic<uint64_t> allocations{0};

void* countedAllocation(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

uint64_t tabrix::bench::allocationCount() { return allocations.load(std::memory_order_relaxed); }

void* operator new(std::size_t size) {
  if (void* p = countedAllocation(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return countedAllocation(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return countedAllocation(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
