// The module's allocation policy for large blocks. A path of a million points
// is held in blocks of 8 and 16 MB; on first touch each 4 KB page of a fresh
// block costs a page fault, which on virtual machines dominates the work
// done with the block. Like NumPy for its array data, blocks of 4 MB and more
// are advised as transparent huge pages; they are also aligned to 2 MB and
// rounded up to whole 2 MB pages, so that one fault maps 2 MB throughout.
// Smaller blocks, and every block under the sanitizers (whose own operator
// new checks more), take the default route. The replacement is local to the
// module: the version script exports no other symbol.
#include <cstdint>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

#if !defined(__SANITIZE_ADDRESS__)

namespace {

constexpr std::size_t kHugePage = std::size_t{1} << 21;
constexpr std::size_t kLargeBlock = std::size_t{1} << 22;

void* allocate(std::size_t size) noexcept {
    if (size < kLargeBlock) {
        return std::malloc(size == 0 ? 1 : size);
    }
    // Whole huge pages, so that the block's tail is not left to 4 KB pages.
    if (size > SIZE_MAX - kHugePage) {
        return nullptr;
    }
    const std::size_t rounded = (size + kHugePage - 1) & ~(kHugePage - 1);
    void* block = nullptr;
    if (posix_memalign(&block, kHugePage, rounded) != 0) {
        return nullptr;
    }
    // Advice only: a kernel without huge pages ignores it.
    madvise(block, rounded, MADV_HUGEPAGE);
    return block;
}

}  // namespace

void* operator new(std::size_t size) {
    for (;;) {
        if (void* block = allocate(size)) {
            return block;
        }
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            throw std::bad_alloc();
        }
        handler();
    }
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

#endif
