#include "host/process_heap.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#include <cstring>
#endif

namespace kmi {

#ifdef KMI_HEAP_TEST_HOOKS
namespace {

// Failure injection and counters of the test builds. Each thread has its own, so tests
// that call instances on several threads at once neither race on them nor see each
// other's blocks. The library a host loads is built without them: it keeps no state
// outside its instances.
thread_local int fail_budget = 0;
thread_local int fail_countdown = -1;  // allocations still to succeed before the one that fails; -1: none
thread_local std::int64_t allocations = 0;
thread_local std::int64_t frees = 0;

// Whether this allocation is the one to fail.
bool injected_failure() noexcept {
    if (fail_budget > 0) {
        --fail_budget;
        return true;
    }
    if (fail_countdown == 0) {
        fail_countdown = -1;
        return true;
    }
    if (fail_countdown > 0) --fail_countdown;
    return false;
}

}  // namespace

void heap_fail_next(int count) noexcept { fail_budget = count < 0 ? 0 : count; }
void heap_fail_after(int skip) noexcept { fail_countdown = skip < 0 ? -1 : skip; }
std::int64_t heap_allocation_count() noexcept { return allocations; }
std::int64_t heap_free_count() noexcept { return frees; }
#endif

// Out of line on Linux: a compiler that saw malloc followed by clearing the block would
// turn the pair back into calloc (see heap_alloc).
#if !defined(_WIN32) && defined(__GNUC__)
__attribute__((noinline))
#endif
void* heap_alloc_uncleared(std::size_t size) noexcept {
#ifdef KMI_HEAP_TEST_HOOKS
    if (injected_failure()) return nullptr;
#endif
    if (size == 0) size = 1;
#ifdef _WIN32
    void* block = HeapAlloc(GetProcessHeap(), 0, size);
#else
    void* block = std::malloc(size);
#endif
#ifdef KMI_HEAP_TEST_HOOKS
    if (block != nullptr) ++allocations;
#endif
    return block;
}

void* heap_alloc(std::size_t size) noexcept {
#ifdef _WIN32
#ifdef KMI_HEAP_TEST_HOOKS
    if (injected_failure()) return nullptr;
#endif
    if (size == 0) size = 1;
    void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
#ifdef KMI_HEAP_TEST_HOOKS
    if (block != nullptr) ++allocations;
#endif
#else
    // malloc and clearing rather than calloc, which never takes a block from the
    // thread's cache of freed ones.
    void* block = heap_alloc_uncleared(size);
    if (block != nullptr) std::memset(block, 0, size == 0 ? 1 : size);
#endif
    return block;
}

void heap_free(void* block) noexcept {
    if (block == nullptr) return;
#ifdef KMI_HEAP_TEST_HOOKS
    ++frees;
#endif
#ifdef _WIN32
    HeapFree(GetProcessHeap(), 0, block);
#else
    std::free(block);
#endif
}

}  // namespace kmi
