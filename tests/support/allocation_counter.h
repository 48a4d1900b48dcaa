#pragma once
// Counts the heap allocations made through operator new while a counter lives.
// Not under AddressSanitizer: its own operator new must pair with its delete,
// and a library built without the replacement (GoogleTest, on some systems)
// would allocate through one and free through the other.

#include <cstddef>

namespace testing_support {

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    size_t count() const;

    // Whether this build counts; tests of allocation counts skip when not.
    static bool counts();
};

}  // namespace testing_support
