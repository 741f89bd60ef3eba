#pragma once

namespace orvan::launcher {

/// Tunes the C library's allocator for the whole process. Call it once at the start of main,
/// before any other thread exists; later calls change nothing. No library code calls it, so
/// constructing a component never changes how the process allocates.
///
/// - Every thread allocates from the one main heap. By default a thread that finds the heap busy
///   gets a heap of its own and keeps it: the scan tasks then build the records of a large package
///   in up to six further heaps, whose free space the rest of the installation can't reuse, and a
///   100,000-file installation held half as much memory again as its live data. Small blocks are
///   still cached per thread, so sharing the heap costs no measurable throughput.
/// - Chunk-sized buffers (up to 32 MiB) stay in the heap and are reused instead of mapping fresh
///   zeroed pages for every downloaded chunk and unmapping them again; with chunks of 4 to 16 MiB
///   that churn cost more time than the transfer itself. Up to 128 MiB of freed memory is kept.
void tuneProcessAllocator();

} // namespace orvan::launcher
