#include "bench/alloc_count.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KOVIRW_ALLOC_COUNT 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KOVIRW_ALLOC_COUNT 0
#endif
#endif
#ifndef KOVIRW_ALLOC_COUNT
#define KOVIRW_ALLOC_COUNT 1
#endif

namespace {

std::atomic<uint64_t> s_allocations{0};

}  // namespace

uint64_t ALLOC_Count() { return s_allocations.load(std::memory_order_relaxed); }

bool ALLOC_Counting() { return KOVIRW_ALLOC_COUNT != 0; }

#if KOVIRW_ALLOC_COUNT
// glibc's own entry points: the definitions below take the public names, count, and hand the
// work to the C library's allocator, so memory from either side may be freed by the other.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);

void* malloc(size_t size) noexcept {
    s_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) noexcept {
    s_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) noexcept {
    s_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}

void free(void* pointer) noexcept { __libc_free(pointer); }

void* memalign(size_t alignment, size_t size) noexcept {
    s_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) noexcept { return memalign(alignment, size); }

int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* p = memalign(alignment, size);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}
}
#endif
