#include "tests/support/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define FLOWBOX_COUNTS_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FLOWBOX_COUNTS_ALLOCATIONS 0
#endif
#endif
#ifndef FLOWBOX_COUNTS_ALLOCATIONS
#define FLOWBOX_COUNTS_ALLOCATIONS 1
#endif

namespace {

std::atomic<bool> counting{false};
std::atomic<size_t> allocations{0};

}  // namespace

#if FLOWBOX_COUNTS_ALLOCATIONS
namespace {

void* allocate(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size)
{
    return allocate(size);
}

void* operator new[](std::size_t size)
{
    return allocate(size);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

#endif

namespace testing_support {

bool AllocationCounter::counts()
{
    return FLOWBOX_COUNTS_ALLOCATIONS;
}

AllocationCounter::AllocationCounter()
{
    allocations = 0;
    counting = true;
}

AllocationCounter::~AllocationCounter()
{
    counting = false;
}

size_t AllocationCounter::count() const
{
    return allocations.load();
}

}  // namespace testing_support
