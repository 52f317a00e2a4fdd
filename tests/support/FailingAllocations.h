// Making large allocations fail on purpose, to test what running out of memory does.
#pragma once

#include <cstddef>

namespace testsupport {

/// While alive, every `operator new` of at least `bytes` throws
/// std::bad_alloc, in every thread; smaller ones work as usual. The test
/// program that uses it gets the replaced global allocation functions. One
/// at a time.
class FailingAllocations {
public:
    explicit FailingAllocations(std::size_t bytes);
    ~FailingAllocations();
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;

    /// How many allocations were refused so far.
    static std::size_t refused();
    /// Bytes the program holds from `operator new` right now (as the
    /// allocator counts them), to measure what a structure keeps.
    static long long bytesHeld();
};

}  // namespace testsupport
