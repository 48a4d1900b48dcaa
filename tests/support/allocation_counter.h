#pragma once
// Counts the heap allocations made through operator new while a counter lives.

#include <cstddef>

namespace testing_support {

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    size_t count() const;
};

}  // namespace testing_support
