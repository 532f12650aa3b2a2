// Memory helpers shared by the operations that fill large lists.
#pragma once

#include <cstddef>

namespace wayforge {

// Advises the kernel to back a large buffer with huge pages, as NumPy does for
// its arrays. Resampling fills several lists of millions of values, and with
// 4 KiB pages the page faults of fresh memory cost more than the arithmetic.
// Call before the buffer is first written; small buffers are left alone.
void advise_huge_pages(const void* data, std::size_t bytes) noexcept;

}  // namespace wayforge
