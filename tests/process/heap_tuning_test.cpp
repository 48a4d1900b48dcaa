#include "process/heap_tuning.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

TEST(HeapTuning, FreedBlocksStayWithTheProcess)
{
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "needs glibc's own allocator";
#else
    ASSERT_TRUE(keepFreedHeapForReuse());
    // Blocks of the size of a large grid's vectors, together far above glibc's
    // default trim threshold of 128 KiB, freed from the top of the heap down.
    std::vector<void*> blocks;
    for (int k = 0; k < 8; ++k) {
        blocks.push_back(std::malloc(150 << 10));
        std::memset(blocks.back(), 1, 150 << 10);
    }
    const size_t heapInUse = mallinfo2().arena;
    for (auto block = blocks.rbegin(); block != blocks.rend(); ++block)
        std::free(*block);
    EXPECT_EQ(mallinfo2().arena, heapInUse);  // nothing handed back to the system
#endif
}

}  // namespace
