// The process heap: the one allocator the study uses, shared with the host.
//
// On Windows these are GetProcessHeap, HeapAlloc (zero-filled) and HeapFree, so a block
// taken by one side can be freed by the other. Elsewhere a small layer of ours with the
// same contract stands in for them.
#ifndef KMI_HOST_PROCESS_HEAP_H
#define KMI_HOST_PROCESS_HEAP_H

#include <cstddef>
#include <cstdint>

namespace kmi {

// A zero-filled block of `size` bytes, or null when the heap gives none.
void* heap_alloc(std::size_t size) noexcept;

// A block of `size` bytes whose contents are left as they are, for a caller that writes
// every byte it reads; null when the heap gives none. (On Linux both are malloc, the
// zero-filled one cleared after it: glibc's calloc never takes a block from the thread's
// cache of freed ones, so the small blocks a call frees and takes again would each go
// the long way through the heap.)
void* heap_alloc_uncleared(std::size_t size) noexcept;

// Frees a block from heap_alloc; null is ignored.
void heap_free(void* block) noexcept;

#ifdef KMI_HEAP_TEST_HOOKS
// Test hooks of this module's heap layer, in the static libraries the tests, benchmarks
// and fuzzer link (never in the study library a host loads): the next `count` allocations
// fail, and the number of allocations and frees so far. They see only the allocations
// made on the calling thread by the module that links them.
void heap_fail_next(int count) noexcept;
// Only the allocation `skip` places ahead fails (0: the very next one), once; the others
// before and after it succeed. A negative `skip` cancels a pending failure.
void heap_fail_after(int skip) noexcept;
std::int64_t heap_allocation_count() noexcept;
std::int64_t heap_free_count() noexcept;
#endif

}  // namespace kmi

#endif
