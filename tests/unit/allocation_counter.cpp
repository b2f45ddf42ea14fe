#include "allocation_counter.h"

#include <cstdlib>
#include <new>

namespace {
bool counting = false;
std::size_t allocations = 0;
}  // namespace

AllocationCounter::AllocationCounter()
{
    allocations = 0;
    counting = true;
}
AllocationCounter::~AllocationCounter() { counting = false; }
std::size_t AllocationCounter::count() const { return allocations; }

void* operator new(std::size_t size)
{
    if (counting) {
        ++allocations;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
