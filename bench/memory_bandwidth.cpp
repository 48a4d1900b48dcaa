// This machine's memory bandwidth, the limit every large tick runs against:
// a copy and a triad over arrays far larger than the caches, split over the
// threads as the tick's loops are. Bytes counted as read and written once
// each (the caches' fetch of what is written is not counted).

#include "parallel/thread_pool.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

// 64 MB an array: twice the largest cache of the machines we run on.
constexpr size_t elements = size_t(1) << 23;

void BM_MemoryCopy(benchmark::State& state)
{
    const int threadsBefore = parallel::threadCount();
    parallel::setThreadCount(int(state.range(0)));
    std::vector<double> from(elements, 1.0), to(elements, 0.0);
    for (auto _ : state) {
        parallel::forRanges(elements, parallel::cellsWorthAThread, [&](size_t first, size_t last) {
            std::copy(from.begin() + first, from.begin() + last, to.begin() + first);
        });
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(2 * elements * sizeof(double)));
    parallel::setThreadCount(threadsBefore);
}
BENCHMARK(BM_MemoryCopy)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MemoryTriad(benchmark::State& state)
{
    const int threadsBefore = parallel::threadCount();
    parallel::setThreadCount(int(state.range(0)));
    std::vector<double> a(elements, 0.0), b(elements, 1.0), c(elements, 2.0);
    const double scale = 0.5;
    for (auto _ : state) {
        parallel::forRanges(elements, parallel::cellsWorthAThread, [&](size_t first, size_t last) {
            for (size_t k = first; k < last; ++k)
                a[k] = b[k] + scale * c[k];
        });
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(3 * elements * sizeof(double)));
    parallel::setThreadCount(threadsBefore);
}
BENCHMARK(BM_MemoryTriad)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
