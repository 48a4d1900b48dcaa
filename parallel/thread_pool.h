#pragma once
// Loops split over the machine's cores. Only loops whose every index writes
// its own results go through here - a red or black half of a Gauss-Seidel
// sweep, a product, one face of advection, one velocity component's viscosity
// solve each - so the numbers do not
// depend on how many threads run or how the range is cut; sums stay on the
// calling thread, in their one order.
//
// FLOWBOX_THREADS (1 to 64) sets how many threads work, the caller's
// included; by default one per core the process may use.

#include <cstddef>
#include <functional>

namespace parallel {

// How many threads forRanges uses.
int threadCount();
// Whether work worth two threads, split here, would go over more than one:
// not with one thread, nor inside a range of another forRanges.
bool splitsWork();
// Changes it from now on (tests compare counts in one process); 1 to 64.
void setThreadCount(int count);

// Calls body(first, last) on consecutive ranges that cover [0, count), each
// range on its own thread, and returns when all are done: as many ranges as
// threads, but none of fewer than `smallest` indices, so that a count below
// twice `smallest` runs on the calling thread alone (there waking the others
// costs more than it saves). Called from inside a range of another
// forRanges, it runs there alone.
template <typename Body>
void forRanges(size_t count, size_t smallest, Body body);

// The least work worth a thread of its own, in cells of a grid.
constexpr size_t cellsWorthAThread = 8192;

// What forRanges does with work worth two threads at least (count > 0).
void splitOverThreads(size_t count, size_t smallest, const std::function<void(size_t first, size_t last)>& body);

template <typename Body>
void forRanges(size_t count, size_t smallest, Body body)
{
    // Work too small for two threads stays here, at the cost of a comparison.
    if (count < 2 * smallest) {
        if (count > 0)
            body(size_t(0), count);
        return;
    }
    splitOverThreads(count, smallest, [&](size_t first, size_t last) { body(first, last); });
}

// forRanges over `lines` lines of cellsPerLine cells each.
template <typename Body>
void forLines(size_t lines, size_t cellsPerLine, Body body)
{
    forRanges(lines, cellsWorthAThread / (cellsPerLine + 1) + 1, body);
}

}  // namespace parallel
