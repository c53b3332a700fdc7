#include "heap_meter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace orvane::bench {
namespace {

std::atomic<size_t> g_now{0};
std::atomic<size_t> g_peak{0};

void* Take(size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (!p) throw std::bad_alloc();
  size_t now = g_now.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
  size_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
  return p;
}

void Give(void* p) {
  if (!p) return;
  g_now.fetch_sub(malloc_usable_size(p));
  std::free(p);
}

}  // namespace

size_t HeapBytesNow() { return g_now.load(); }
size_t HeapBytesPeak() { return g_peak.load(); }
void ResetHeapPeak() { g_peak.store(g_now.load()); }

}  // namespace orvane::bench

void* operator new(size_t size) { return orvane::bench::Take(size); }
void* operator new[](size_t size) { return orvane::bench::Take(size); }
void operator delete(void* p) noexcept { orvane::bench::Give(p); }
void operator delete[](void* p) noexcept { orvane::bench::Give(p); }
void operator delete(void* p, size_t) noexcept { orvane::bench::Give(p); }
void operator delete[](void* p, size_t) noexcept { orvane::bench::Give(p); }
