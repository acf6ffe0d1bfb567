// Counts every allocation of the test program, to show that a frame makes none. Included
// by one file of a test program only: it replaces the program's operator new. The
// sanitizers bring their own allocator: there the count is not kept, and
// PALVEX_COUNTS_ALLOCATIONS stays undefined.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

inline std::atomic<uint64_t> allocations{0};

#if !defined(__SANITIZE_ADDRESS__)
#define PALVEX_COUNTS_ALLOCATIONS 1
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n)
{
    allocations++;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
#endif
