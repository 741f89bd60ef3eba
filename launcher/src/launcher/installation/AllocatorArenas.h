#pragma once

namespace orvan::launcher {

/// Makes every thread of the process allocate from the C library allocator's one main heap. By
/// default a thread that finds the heap busy gets a heap of its own and keeps it: the scan tasks
/// then build the records of a large package in up to six further heaps, whose free space the
/// rest of the installation can't reuse, and a 100,000-file installation held half as much memory
/// again as its live data. Small blocks are still cached per thread, so sharing the heap costs no
/// measurable throughput. Call it at the start of main, before any other thread exists; later
/// calls change nothing.
void useOneAllocatorArena();

} // namespace orvan::launcher
