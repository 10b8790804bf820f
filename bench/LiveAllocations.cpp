// Counts the allocations of each thread, for the live view's benchmark: the
// global operator new and delete replaced, in a file of their own so the
// compiler sees no mismatch between them and the code that uses them.
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

thread_local std::uint64_t allocations = 0;

void* CountedAllocation(std::size_t size)
{
    ++allocations;
    return std::malloc(size ? size : 1);
}

} // namespace

std::uint64_t ThreadAllocations() { return allocations; }

void* operator new(std::size_t size)
{
    if (void* pointer = CountedAllocation(size))
        return pointer;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    if (void* pointer = CountedAllocation(size))
        return pointer;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedAllocation(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return CountedAllocation(size); }
void operator delete(void* pointer) noexcept { std::free(pointer); }
void operator delete[](void* pointer) noexcept { std::free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { std::free(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { std::free(pointer); }
