// Sample blocks: zero-filled and writable from the first byte to the last, whatever the size.
#include "platform/platform.h"

#include <gtest/gtest.h>

TEST(Memory, BlocksAreZeroFilledAndWholeWritable) {
    const unsigned long sizes[] = {0, 1, 4095, 4097, (2ul << 20) - 1, (2ul << 20) + 3, 31ul << 20};
    for (unsigned long size : sizes) {
        SCOPED_TRACE(size);
        unsigned long usable = size ? size : 1;
        for (int round = 0; round < 2; ++round) {
            // The second round meets whatever the first one handed back.
            unsigned char* block = static_cast<unsigned char*>(platform::allocateBlock(size));
            ASSERT_NE(nullptr, block);
            unsigned long nonZero = 0;
            for (unsigned long i = 0; i < usable; i += 509)
                nonZero += block[i] != 0;
            EXPECT_EQ(0u, nonZero + block[usable - 1]);
            block[0] = 0xA5;
            block[usable - 1] = 0x5A;
            for (unsigned long i = 0; i < usable; i += 4096)
                block[i] = 0xFF;
            platform::releaseBlock(block, size);
        }
    }
}
