// The replaced global allocation functions behind FailingAllocations.
#include "FailingAllocations.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <malloc.h>
#include <new>

namespace {

std::atomic<std::size_t> failFrom{std::numeric_limits<std::size_t>::max()};
std::atomic<std::size_t> refusedCount{0};
std::atomic<long long> held{0};

void* allocate(std::size_t size) {
    if (size >= failFrom.load(std::memory_order_relaxed)) {
        refusedCount.fetch_add(1, std::memory_order_relaxed);
        return nullptr;
    }
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory != nullptr) held.fetch_add(static_cast<long long>(malloc_usable_size(memory)), std::memory_order_relaxed);
    return memory;
}

void release(void* memory) {
    if (memory == nullptr) return;
    held.fetch_sub(static_cast<long long>(malloc_usable_size(memory)), std::memory_order_relaxed);
    std::free(memory);
}

}  // namespace

namespace testsupport {

FailingAllocations::FailingAllocations(std::size_t bytes) { failFrom.store(bytes); }
FailingAllocations::~FailingAllocations() { failFrom.store(std::numeric_limits<std::size_t>::max()); }
std::size_t FailingAllocations::refused() { return refusedCount.load(); }
long long FailingAllocations::bytesHeld() { return held.load(); }

}  // namespace testsupport

// Every plain form goes through malloc and free, so that each pair matches.
void* operator new(std::size_t size) {
    if (void* memory = allocate(size)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* memory = allocate(size)) return memory;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* memory) noexcept { release(memory); }
void operator delete[](void* memory) noexcept { release(memory); }
void operator delete(void* memory, std::size_t) noexcept { release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { release(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { release(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { release(memory); }
