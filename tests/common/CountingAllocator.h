#pragma once
// Counts every heap allocation of the executable that includes this header
// (include it in exactly one source file): operator new, and malloc, calloc
// and realloc, through which Qt's strings and arrays allocate; all forward
// to the C library's own. The malloc family is counted with glibc only, and
// not under AddressSanitizer, which interposes it itself: there
// ZB740_COUNT_MALLOC stays undefined and callers skip their checks.
#include <atomic>
#include <cstdlib>
#include <new>

namespace {
inline std::atomic<long long> g_allocations {0};
// The allocations of the calling thread alone (other threads, such as a
// network library's, allocate at their own pace).
inline thread_local long long t_allocations = 0;
}

// glibc lets the program interpose malloc and still reach its own; under
// AddressSanitizer (which interposes them itself) the count is not taken.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#define ZB740_COUNT_MALLOC 1
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);

void* malloc(size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    ++t_allocations;
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    ++t_allocations;
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    ++t_allocations;
    return __libc_realloc(p, size);
}
}
#endif

void* operator new(std::size_t size)
{
    if (void* p = std::malloc(size ? size : 1)) // counted there
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
