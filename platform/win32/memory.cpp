// Win32 blocks come from the C runtime's heap.
#include "platform/platform.h"

#include <cstdlib>

namespace platform {

void* allocateBlock(unsigned long size) {
    return std::calloc(size ? size : 1, 1);
}

void releaseBlock(void* block, unsigned long) {
    std::free(block);
}

}  // namespace platform
