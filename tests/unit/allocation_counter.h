// Counts heap allocations made by the calling code between construction and
// destruction of an AllocationCounter: the URL parser and the log's writing
// path must not allocate.
#pragma once

#include <cstddef>

struct AllocationCounter {
    AllocationCounter();
    ~AllocationCounter();
    std::size_t count() const;
};
