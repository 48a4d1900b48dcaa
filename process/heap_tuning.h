#pragma once

// Every pressure solve allocates its matrix, factor and vectors afresh and
// frees them again. Left to its defaults, glibc hands the freed top of the heap
// back to the system each tick and takes it again on the next, paying page
// faults every time; keep it instead. Call once, at the start of main.
// Returns whether the allocator took the setting (always false without glibc).
bool keepFreedHeapForReuse();
