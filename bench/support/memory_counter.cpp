#include "support/memory_counter.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

std::atomic<std::size_t> live{0};
std::atomic<std::size_t> peak{0};
std::atomic<std::size_t> base{0};

void* Allocate(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    std::size_t now = live += malloc_usable_size(p);
    std::size_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
    return p;
}

void Free(void* p) {
    if (!p) return;
    live -= malloc_usable_size(p);
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, std::size_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t) noexcept { Free(p); }

namespace ms::bench {

void ResetPeak() {
    base = live.load();
    peak = live.load();
}

std::size_t PeakSinceReset() { return peak.load() - base.load(); }

}  // namespace ms::bench
