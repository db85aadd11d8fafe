// FileStream: the ".wav" name, open rules per mode, the "File not opened" failure, end of
// file, sizes, short writes and sharing.
#include "sondrel/audio/file_stream.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

using sondrel::FileStream;

namespace {

// The text of the const char* a call throws, or "" when it does not throw.
template <typename Call>
std::string failureOf(Call call) {
    try {
        call();
    } catch (const char* message) {
        return message;
    }
    return "";
}

}  // namespace

TEST(FileStream, WorksOnThePathWithWavAppended) {
    fixture::ScopedTempDir dir;
    std::filesystem::create_directories("out");
    {
        FileStream stream("out/a", false);
        EXPECT_TRUE(stream.isOpen());
        EXPECT_FALSE(stream.isReadMode());
        EXPECT_EQ("out/a.wav", stream.name());
    }
    EXPECT_TRUE(fixture::exists("out/a.wav"));
    EXPECT_FALSE(fixture::exists("out/a"));
}

TEST(FileStream, StreamThatIsNotOpenThrowsExceptOnWrite) {
    fixture::ScopedTempDir dir;
    fixture::writeFile("empty.wav", "");
    for (const char* path : {"empty", "missing", ""}) {
        SCOPED_TRACE(std::string("path \"") + path + "\"");
        FileStream stream(path, true);
        EXPECT_FALSE(stream.isOpen());
        EXPECT_EQ(0u, stream.size());
        char buffer[4];
        long at = 0;
        EXPECT_EQ("File not opened", failureOf([&] { stream.read(buffer, 4); }));
        EXPECT_EQ("File not opened", failureOf([&] { stream.seek(0); }));
        EXPECT_EQ("File not opened", failureOf([&] { stream.tell(&at); }));
        EXPECT_EQ("File not opened", failureOf([&] { stream.writeByte(buffer); }));
        char byte = 'x';
        EXPECT_EQ("File not opened", failureOf([&] { stream.readByte(&byte); }));
        EXPECT_EQ(0, byte);  // cleared before the open test
        bool written = true;
        EXPECT_EQ("", failureOf([&] { written = stream.write("abc", 3); }));
        EXPECT_FALSE(written);
    }
    EXPECT_EQ("", fixture::readFile("empty.wav"));
}

TEST(FileStream, WriteModeTruncatesAndSizeStaysAsAtOpen) {
    fixture::ScopedTempDir dir;
    fixture::writeFile("x.wav", std::string(100, 'o'));
    {
        FileStream stream("x", false);
        EXPECT_TRUE(stream.isOpen());
        EXPECT_EQ(0u, stream.size());
        EXPECT_TRUE(stream.write("0123456789", 10));
        char byte = '!';
        EXPECT_TRUE(stream.writeByte(&byte));
        EXPECT_EQ(0u, stream.size());
        long at = 0;
        EXPECT_EQ(11u, stream.tell(&at));
        EXPECT_EQ(11, at);
        EXPECT_EQ(3u, stream.seek(3));
        EXPECT_TRUE(stream.write("abc", 3));
    }
    EXPECT_EQ("012abc6789!", fixture::readFile("x.wav"));
}

TEST(FileStream, ReadsBlocksAndBytesAndZeroPastTheEnd) {
    fixture::ScopedTempDir dir;
    fixture::writeFile("r.wav", "RIFF");
    FileStream stream("r", true);
    ASSERT_TRUE(stream.isOpen());
    EXPECT_TRUE(stream.isReadMode());
    EXPECT_EQ(4u, stream.size());
    char block[2] = {};
    EXPECT_TRUE(stream.read(block, 2));
    EXPECT_EQ('R', block[0]);
    EXPECT_EQ('I', block[1]);
    char byte = 0;
    EXPECT_TRUE(stream.readByte(&byte));
    EXPECT_EQ('F', byte);
    stream.seek(4);
    byte = 'x';
    EXPECT_TRUE(stream.readByte(&byte));
    EXPECT_EQ(0, byte);
    EXPECT_EQ(4u, stream.size());
    EXPECT_EQ(0u, stream.format()->channels);  // nothing fills the stream's own format
}

TEST(FileStream, WriterKeepsEveryOtherOpenerOutAndReadersShare) {
    fixture::ScopedTempDir dir;
    {
        FileStream writer("held", false);
        ASSERT_TRUE(writer.isOpen());
        ASSERT_TRUE(writer.write("data", 4));
        FileStream reader("held", true);
        EXPECT_FALSE(reader.isOpen());
        FileStream secondWriter("held", false);
        EXPECT_FALSE(secondWriter.isOpen());
    }
    EXPECT_EQ("data", fixture::readFile("held.wav"));  // the refused writer did not truncate it
    FileStream first("held", true);
    FileStream second("held", true);
    EXPECT_TRUE(first.isOpen());
    EXPECT_TRUE(second.isOpen());
    FileStream writer("held", false);
    EXPECT_FALSE(writer.isOpen());
}

#ifndef _WIN32
TEST(FileStream, ShortWriteIsReportedAsFailure) {
    // A file size limit makes the write stop part way, as a full disk would.
    fixture::ScopedTempDir dir;
    struct rlimit saved;
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    bool wrote;
    {
        FileStream stream("limited", false);
        ASSERT_TRUE(stream.isOpen());
        struct rlimit limit = saved;
        limit.rlim_cur = 100;
        ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limit));
        wrote = stream.write(std::string(300, 'p').data(), 300);
        setrlimit(RLIMIT_FSIZE, &saved);
    }
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(100u, std::filesystem::file_size("limited.wav"));
}
#endif
