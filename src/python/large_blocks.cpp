// The module's allocation policy for large blocks. A path of a million points
// is held in blocks of 8 and 16 MB. Fresh memory costs a page fault per page
// on first touch, and the kernel zeroes every page it hands out; on virtual
// machines that dominates the work done with the block. Giving a block back
// (munmap or trimming) costs more in a process with several threads: every
// CPU that ran one of them must drop the stale translations (a TLB shootdown).
// (malloc hands blocks of a few MB back to the system when they are freed
// in a thread's own arena, so threads meet this at 1 MB already.) So:
// - blocks of 1 MB and more are kept for reuse when freed, in a small cache
//   bounded in bytes and blocks, so that a program that repeats the same work
//   (one call after another, or several threads at once) reuses mapped,
//   faulted-in memory instead of mapping and zeroing it on every call;
// - blocks of 4 MB and more are also advised as transparent huge pages, like
//   NumPy's array data, so that one fault maps 2 MB. They are not rounded up
//   to whole huge pages: the tail past the last whole 2 MB page stays in
//   4 KB pages, so a block holds no more memory than it uses (a rounded
//   tail would add up to 2 MB to every list of a path), and a reused block
//   has its tail mapped already.
// Smaller blocks, and every block under the sanitizers (whose own operator
// new checks more), take the default route. The replacement is local to the
// module: the version script exports no other symbol.
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif
#if __has_include(<pthread.h>)
#include <pthread.h>
#endif

#if !defined(__SANITIZE_ADDRESS__)

namespace {

constexpr std::size_t kPage = std::size_t{1} << 12;
constexpr std::size_t kHugePage = std::size_t{1} << 21;
// From here on blocks are cached (2 MB aligned, whole 4 KB pages) ...
constexpr std::size_t kCachedBlock = std::size_t{1} << 20;
// ... and from here on advised as huge pages.
constexpr std::size_t kLargeBlock = std::size_t{1} << 22;
// What the cache may hold at most: bounded, so that the memory a program sees
// after its calls stays close to what it still uses.
constexpr std::size_t kCacheBytes = std::size_t{128} << 20;
constexpr std::size_t kCacheBlocks = 16;

struct Block {
    void* start;
    std::size_t capacity;  // whole pages
};

// Large blocks handed out (to recognise them when freed) and the freed ones
// kept for reuse, oldest first. Allocated once and never destroyed: blocks
// may be freed by static destructors or threads still running at exit.
struct LargeBlocks {
    std::mutex mutex;
    std::vector<Block> live;
    std::vector<Block> cached;
    std::size_t cached_bytes = 0;
};

LargeBlocks* g_large_blocks = nullptr;

LargeBlocks& large_blocks() {
    static LargeBlocks* blocks = [] {
        auto* made = new LargeBlocks;
        // The cache never grows past this, so caching a block cannot fail.
        made->cached.reserve(kCacheBlocks + 1);
        g_large_blocks = made;
#if __has_include(<pthread.h>)
        // A fork while another thread holds the lock would leave it locked
        // for ever in the child (multiprocessing forks by default on Linux,
        // and core work allocates without the interpreter lock): the forking
        // thread takes it first and both sides release it afterwards.
        pthread_atfork([] { g_large_blocks->mutex.lock(); },
                       [] { g_large_blocks->mutex.unlock(); },
                       [] { g_large_blocks->mutex.unlock(); });
#endif
        return made;
    }();
    return *blocks;
}

void advise_huge_pages([[maybe_unused]] void* block, [[maybe_unused]] std::size_t size) noexcept {
#if defined(MADV_HUGEPAGE)
    // Advice only: a kernel without huge pages ignores it.
    madvise(block, size, MADV_HUGEPAGE);
#endif
}

// Takes the smallest cached block that holds `rounded` bytes without wasting
// more than half of it, or returns null.
void* reuse(LargeBlocks& blocks, std::size_t rounded) {
    std::size_t best = blocks.cached.size();
    for (std::size_t i = 0; i < blocks.cached.size(); ++i) {
        const std::size_t capacity = blocks.cached[i].capacity;
        if (capacity >= rounded && capacity - rounded <= rounded / 2 &&
            (best == blocks.cached.size() || capacity < blocks.cached[best].capacity)) {
            best = i;
        }
    }
    if (best == blocks.cached.size()) {
        return nullptr;
    }
    const Block block = blocks.cached[best];
    blocks.cached.erase(blocks.cached.begin() + static_cast<std::ptrdiff_t>(best));
    blocks.cached_bytes -= block.capacity;
    blocks.live.push_back(block);
    return block.start;
}

// Frees every cached block; false when there was none.
bool drop_cache(LargeBlocks& blocks) noexcept {
    void* dropped[kCacheBlocks + 1];
    std::size_t count = 0;
    {
        std::lock_guard lock(blocks.mutex);
        for (const Block& block : blocks.cached) {
            dropped[count++] = block.start;
        }
        blocks.cached.clear();
        blocks.cached_bytes = 0;
    }
    for (std::size_t k = 0; k < count; ++k) {
        std::free(dropped[k]);
    }
    return count > 0;
}

void* allocate_large(std::size_t size) noexcept {
    if (size > SIZE_MAX - kPage) {
        return nullptr;
    }
    const std::size_t rounded = (size + kPage - 1) & ~(kPage - 1);
    LargeBlocks& blocks = large_blocks();
    try {
        {
            std::lock_guard lock(blocks.mutex);
            // Room in the live list first, so that recording cannot fail
            // once the block is taken.
            if (blocks.live.size() == blocks.live.capacity()) {
                blocks.live.reserve(2 * blocks.live.size() + 8);
            }
            if (void* block = reuse(blocks, rounded)) {
                return block;
            }
        }
    } catch (...) {
        return nullptr;  // the live list could not grow: no memory for bookkeeping
    }
    void* block = nullptr;
    if (posix_memalign(&block, kHugePage, rounded) != 0) {
        // Out of memory (or address space): the cached blocks go first.
        if (!drop_cache(blocks) || posix_memalign(&block, kHugePage, rounded) != 0) {
            return nullptr;
        }
    }
    if (size >= kLargeBlock) {
        advise_huge_pages(block, rounded);
    }
    std::lock_guard lock(blocks.mutex);
    // An entry at this address can only be stale (a block freed outside this
    // file, by code that took free()'s route): drop it.
    std::erase_if(blocks.live, [&](const Block& b) { return b.start == block; });
    try {
        if (blocks.live.size() == blocks.live.capacity()) {
            blocks.live.reserve(2 * blocks.live.size() + 8);
        }
    } catch (...) {
        std::free(block);
        return nullptr;
    }
    blocks.live.push_back(Block{block, rounded});
    return block;
}

void* allocate(std::size_t size) noexcept {
    if (size < kCachedBlock) {
        return std::malloc(size == 0 ? 1 : size);
    }
    return allocate_large(size);
}

void release(void* block) noexcept {
    // Cached blocks are 2 MB aligned; anything else came from malloc directly.
    if (block == nullptr || (reinterpret_cast<std::uintptr_t>(block) & (kHugePage - 1)) != 0) {
        std::free(block);
        return;
    }
    LargeBlocks& blocks = large_blocks();
    // Blocks pushed out of the cache are freed after the lock is released.
    void* evicted[kCacheBlocks + 1];
    std::size_t count = 0;
    {
        std::lock_guard lock(blocks.mutex);
        std::size_t i = 0;
        while (i < blocks.live.size() && blocks.live[i].start != block) {
            ++i;
        }
        if (i == blocks.live.size()) {
            evicted[count++] = block;  // an ordinary block that happens to be aligned
        } else {
            const Block freed = blocks.live[i];
            blocks.live[i] = blocks.live.back();
            blocks.live.pop_back();
            if (freed.capacity > kCacheBytes) {
                evicted[count++] = block;
            } else {
                // The newest block stays; the oldest make room for it.
                while (blocks.cached_bytes + freed.capacity > kCacheBytes ||
                       blocks.cached.size() >= kCacheBlocks) {
                    evicted[count++] = blocks.cached.front().start;
                    blocks.cached_bytes -= blocks.cached.front().capacity;
                    blocks.cached.erase(blocks.cached.begin());
                }
                blocks.cached.push_back(freed);  // within the reserved capacity
                blocks.cached_bytes += freed.capacity;
            }
        }
    }
    for (std::size_t k = 0; k < count; ++k) {
        std::free(evicted[k]);
    }
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
    release(block);
}

void operator delete(void* block, std::size_t) noexcept {
    release(block);
}

#endif
