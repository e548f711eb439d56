#include "allocation_counter.h"

#include <atomic>
#include <cstddef>

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *pointer, std::size_t size);
}

namespace {

std::atomic<uint64_t> allocations{0};

void count_one()
{
    allocations.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

extern "C" {

void *malloc(std::size_t size)
{
    count_one();
    return __libc_malloc(size);
}

void *calloc(std::size_t count, std::size_t size)
{
    count_one();
    return __libc_calloc(count, size);
}

void *realloc(void *pointer, std::size_t size)
{
    count_one();
    return __libc_realloc(pointer, size);
}

} // extern "C"

uint64_t Allocation_counter::count()
{
    return allocations.load(std::memory_order_relaxed);
}
