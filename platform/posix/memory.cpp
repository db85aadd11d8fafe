// POSIX blocks of a mebibyte or more are mappings of their own, handed back whole when
// released, so that no freed block stays in the heap beside the next, slightly larger one;
// smaller ones come from the heap, where the next sound reuses them. Large blocks ask for huge
// pages: a sound of a few minutes is tens of megabytes written once from start to end, and
// faulting it in 2 MiB at a time rather than 4 KiB is most of what decoding into a fresh block
// costs beyond decoding into a reused one.
#include "platform/platform.h"

#include <sys/mman.h>

#include <cstdlib>

namespace platform {

namespace {

const unsigned long kOwnMapping = 1ul << 20;
const unsigned long kHugePage = 2ul << 20;

}  // namespace

void* allocateBlock(unsigned long size) {
    if (size < kOwnMapping)
        return std::calloc(size ? size : 1, 1);
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        return nullptr;
#ifdef MADV_HUGEPAGE
    // Only advice: where the system has no huge pages the block is served in small ones.
    if (size >= kHugePage)
        madvise(block, size, MADV_HUGEPAGE);
#endif
    return block;
}

void releaseBlock(void* block, unsigned long size) {
    if (size < kOwnMapping)
        std::free(block);
    else if (block)
        munmap(block, size);
}

}  // namespace platform
