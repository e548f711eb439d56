#ifndef VELMAR_BENCH_ALLOCATION_COUNTER_H
#define VELMAR_BENCH_ALLOCATION_COUNTER_H

#include <cstdint>

// Counts the heap allocations of the whole process. The program that links
// this file takes over malloc, calloc and realloc (glibc lets a program
// replace them) and passes every call on to glibc's own allocator after
// counting it; Qt's containers and operator new both end up there.
class Allocation_counter
{
public:
    static uint64_t count();
};

#endif
