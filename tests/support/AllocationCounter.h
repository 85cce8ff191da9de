// Counts the heap allocations (operator new) made by the calling thread while it lives. The
// replacement operators live in the support library, so every test program that links it counts.
#pragma once

#include <cstddef>

class AllocationCounter
{
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    size_t Count() const;
};
