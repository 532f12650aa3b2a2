#include "core/memory.hpp"

#include <cstdint>

#include <sys/mman.h>

namespace wayforge {

void advise_huge_pages(const void* data, std::size_t bytes) noexcept {
#ifdef MADV_HUGEPAGE
    constexpr std::size_t kThreshold = std::size_t{4} << 20;
    constexpr std::uintptr_t kPage = 4096;
    if (bytes < kThreshold) {
        return;
    }
    const auto address = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (address + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t last = (address + bytes) & ~(kPage - 1);
    // Only advice: a refusal changes nothing but speed.
    (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace wayforge
