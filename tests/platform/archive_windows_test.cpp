// The two-window reader over a file in memory: what each read returns, and which positioned
// reads of the backend it costs.
#include "platform/archive_windows.h"

#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>
#include <ioapi.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const unsigned long kWindow = platform::ArchiveWindows::kWindowSize;

// A file in memory that logs the offset and count of every read asked of it.
struct MemoryFile {
    std::string bytes;
    std::vector<std::pair<unsigned long, unsigned long>> calls;
    bool failing = false;
};

bool readMemory(void* file, unsigned long offset, void* buffer, unsigned long count, unsigned long* done) {
    MemoryFile* f = static_cast<MemoryFile*>(file);
    f->calls.emplace_back(offset, count);
    *done = 0;
    if (f->failing)
        return false;
    if (offset < f->bytes.size())
        *done = static_cast<unsigned long>(f->bytes.copy(static_cast<char*>(buffer), count, offset));
    return true;
}

struct MemoryWindows : MemoryFile, platform::ArchiveWindows {
    explicit MemoryWindows(const std::string& content)
        : MemoryFile{content, {}, false}, ArchiveWindows(static_cast<MemoryFile*>(this), static_cast<unsigned long>(content.size()),
                                              readMemory) {}
};

struct Read {
    const char* what;
    unsigned long at;
    unsigned long count;
    unsigned long expected;  // bytes returned
    std::vector<std::pair<unsigned long, unsigned long>> calls;  // backend reads this one costs
};

TEST(ArchiveWindows, ReadsCostOneBackendReadPerWindowFilled) {
    const unsigned long size = 3 * kWindow + 1000;
    const std::string bytes = fixture::randomBytes(size, 7);
    // One reader through the whole table: each row sees the windows the rows before it left.
    const Read reads[] = {
        {"the end record: the last window of the file is short", size - 1010, 30, 30, {{size - 1010, kWindow}}},
        {"again from the same window", size - 22, 22, 22, {}},
        {"the central directory, a second window", kWindow + 10, 46, 46, {{kWindow + 10, kWindow}}},
        {"back to the first window: still there", size - 60, 30, 30, {}},
        {"a read straddling a window's end refills the older one", 2 * kWindow, 100, 100,
         {{2 * kWindow + 10, kWindow}}},
        {"again, the other way round", 3 * kWindow - 15, 40, 40, {{3 * kWindow + 10, kWindow}}},
        {"a read of a window or more goes straight to the caller", 100, kWindow + 5, kWindow + 5,
         {{100, kWindow + 5}}},
        {"up to the end of the file, short", size - 10, 100, 10, {}},
        {"at the end: nothing, and no read", size, 10, 0, {}},
        {"past the end: nothing, and no read", size + 5000, 10, 0, {}},
    };
    MemoryWindows file(bytes);
    for (const Read& read : reads) {
        SCOPED_TRACE(read.what);
        file.calls.clear();
        ASSERT_EQ(0, file.seek(read.at, ZLIB_FILEFUNC_SEEK_SET));
        std::string got(read.count, '\0');
        EXPECT_EQ(read.expected, file.read(&got[0], read.count));
        got.resize(read.expected);
        EXPECT_EQ(bytes.substr(std::min<size_t>(read.at, size), read.expected), got);
        EXPECT_EQ(read.calls, file.calls);
        EXPECT_EQ(std::max(read.at, std::min(size, read.at + read.count)), file.tell());
    }
    EXPECT_FALSE(file.failed());
}

TEST(ArchiveWindows, SequentialSmallReadsFillEachWindowOnce) {
    const std::string bytes = fixture::randomBytes(5 * kWindow / 2, 11);
    MemoryWindows file(bytes);
    std::string all;
    char chunk[16384 + 7];
    unsigned long got;
    while ((got = file.read(chunk, sizeof chunk)) > 0)
        all.append(chunk, got);
    EXPECT_EQ(bytes, all);
    EXPECT_EQ(3u, file.calls.size());
}

TEST(ArchiveWindows, SeeksFromEveryOriginAndReportsAFailedRead) {
    MemoryWindows file(fixture::sampleText(1000));
    EXPECT_EQ(0, file.seek(100, ZLIB_FILEFUNC_SEEK_SET));
    EXPECT_EQ(0, file.seek(50, ZLIB_FILEFUNC_SEEK_CUR));
    EXPECT_EQ(150u, file.tell());
    EXPECT_EQ(0, file.seek(static_cast<unsigned long>(-22), ZLIB_FILEFUNC_SEEK_END));
    EXPECT_EQ(978u, file.tell());
    EXPECT_EQ(-1, file.seek(0, 7));
    EXPECT_FALSE(file.failed());
    file.failing = true;
    char byte;
    EXPECT_EQ(0u, file.read(&byte, 1));
    EXPECT_TRUE(file.failed());
}

}  // namespace
