#include "host/process_heap.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace kmi {
namespace {

// Failure injection and counters for tests. The study runs one call at a time, so
// plain counters suffice.
int fail_budget = 0;
int fail_countdown = -1;  // allocations still to succeed before the one that fails; -1: none
std::int64_t allocations = 0;
std::int64_t frees = 0;

}  // namespace

void* heap_alloc(std::size_t size) noexcept {
    if (fail_budget > 0) {
        --fail_budget;
        return nullptr;
    }
    if (fail_countdown == 0) {
        fail_countdown = -1;
        return nullptr;
    }
    if (fail_countdown > 0) --fail_countdown;
    if (size == 0) size = 1;
#ifdef _WIN32
    void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
#else
    void* block = std::calloc(1, size);
#endif
    if (block != nullptr) ++allocations;
    return block;
}

void heap_free(void* block) noexcept {
    if (block == nullptr) return;
    ++frees;
#ifdef _WIN32
    HeapFree(GetProcessHeap(), 0, block);
#else
    std::free(block);
#endif
}

void heap_fail_next(int count) noexcept { fail_budget = count < 0 ? 0 : count; }
void heap_fail_after(int skip) noexcept { fail_countdown = skip < 0 ? -1 : skip; }
std::int64_t heap_allocation_count() noexcept { return allocations; }
std::int64_t heap_free_count() noexcept { return frees; }

}  // namespace kmi
