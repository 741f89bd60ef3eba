#pragma once

namespace orvan::launcher {

/// Lets the C library's allocator keep chunk-sized buffers (up to 32 MiB) in its heaps and reuse
/// them instead of mapping fresh zeroed pages for every downloaded chunk and unmapping them again;
/// with chunks of 4 to 16 MiB that churn cost more time than the transfer itself. Up to 128 MiB of
/// freed memory is kept for reuse. Process-wide; safe to call any number of times.
void keepLargeBuffersForReuse();

} // namespace orvan::launcher
