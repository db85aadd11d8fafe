// The extraction pass against archives made here: console lines, files, folders, times,
// refusals and the statuses that stop the pass.
#include "patcher/archive.h"
#include "patcher/extract.h"
#include "platform/code_page.h"
#include "platform/platform.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#endif

namespace fs = std::filesystem;
using fixture::Entry;

namespace {

struct Extraction {
    int status = 0;
    bool opened = false;
    std::string output;
    std::vector<std::string> tree;  // everything below the install folder afterwards
};

// Writes `prefix` + `zip` as a patcher file, then extracts it into a fresh install folder
// `root/game` (which may be prepared by `prepare`) with that folder current.
template <typename Prepare>
Extraction extractInto(const fixture::ScopedTempDir& root, const std::string& zip, const std::string& prefix,
                       Prepare prepare, patcher::ExtractionReport* report = nullptr) {
    std::string file = root.path() + "/patch.bin";
    fixture::writeFile(file, prefix + zip);
    fs::path game = fs::path(root.path()) / "game";
    fs::create_directories(game);
    fs::current_path(game);
    prepare();
    Extraction result;
    testing::internal::CaptureStdout();
    unzFile archive = patcher::openPatchArchive(file.c_str());
    result.opened = archive != nullptr;
    if (archive) {
        result.status = patcher::extractAllEntries(archive, report);
        unzClose(archive);
    }
    std::fflush(stdout);
    result.output = testing::internal::GetCapturedStdout();
    fs::current_path(root.path());
    result.tree = fixture::listTree(game.string());
    return result;
}

Extraction extract(const fixture::ScopedTempDir& root, const std::string& zip, const std::string& prefix = "") {
    return extractInto(root, zip, prefix, [] {});
}

std::string game(const fixture::ScopedTempDir& root, const std::string& name) {
    return root.path() + "/game/" + name;
}

// What the platform's local time makes of a DOS date and time.
time_t dosToLocal(unsigned long dosDate) {
    struct tm local = {};
    local.tm_year = static_cast<int>((dosDate >> 25) & 0x7F) + 80;
    local.tm_mon = static_cast<int>((dosDate >> 21) & 0x0F) - 1;
    local.tm_mday = static_cast<int>((dosDate >> 16) & 0x1F);
    local.tm_hour = static_cast<int>((dosDate >> 11) & 0x1F);
    local.tm_min = static_cast<int>((dosDate >> 5) & 0x3F);
    local.tm_sec = static_cast<int>(dosDate & 0x1F) * 2;
    local.tm_isdst = -1;
    return mktime(&local);
}

time_t modificationTime(const std::string& path) {
    struct stat info;
    EXPECT_EQ(0, stat(path.c_str(), &info)) << path;
    return info.st_mtime;
}

}  // namespace

TEST(Extraction, CreatesMissingFoldersWithOnlyTheExtractingLine) {
    fixture::ScopedTempDir root;
    Extraction result = extract(root, fixture::makeZip({{"a/b/c.txt", "deep"}}));
    ASSERT_TRUE(result.opened);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(" extracting: a/b/c.txt\n", result.output);
    EXPECT_EQ((std::vector<std::string>{"a/", "a/b/", "a/b/c.txt"}), result.tree);
    EXPECT_EQ("deep", fixture::readFile(game(root, "a/b/c.txt")));
}

TEST(Extraction, BackslashSeparatesFoldersLikeSlash) {
    fixture::ScopedTempDir root;
    Extraction result = extract(root, fixture::makeZip({{"d\\e\\f.txt", "back"}, {"d/g.txt", "fwd"}}));
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(" extracting: d\\e\\f.txt\n extracting: d/g.txt\n", result.output);
    EXPECT_EQ((std::vector<std::string>{"d/", "d/e/", "d/e/f.txt", "d/g.txt"}), result.tree);
    EXPECT_EQ("back", fixture::readFile(game(root, "d/e/f.txt")));
}

TEST(Extraction, FolderEntryCreatesTheFolder) {
    fixture::ScopedTempDir root;
    Extraction result = extract(root, fixture::makeZip({{"x/", "", 0}, {"x/y.txt", "in x"}}));
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("creating directory: x/\n extracting: x/y.txt\n", result.output);
    EXPECT_TRUE(fs::is_directory(game(root, "x")));
}

TEST(Extraction, ArchiveWithNoEntriesPrintsNothing) {
    // minizip finds an end record only past the first byte, as it stands behind a stub.
    fixture::ScopedTempDir root;
    std::string endRecord("PK\x05\x06", 4);
    endRecord.append(18, '\0');
    Extraction result = extract(root, endRecord, "MZ stub");
    ASSERT_TRUE(result.opened);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", result.output);
    EXPECT_TRUE(result.tree.empty());
}

TEST(Extraction, EntryTimesAreTheDosTimeTakenAsLocalTime) {
    fixture::ScopedTempDir root;
    const unsigned long winter = (43ul << 25) | (1ul << 21) | (20ul << 16) | (8ul << 11) | (30ul << 5) | 7ul;
    Extraction result = extract(root, fixture::makeZip({{"empty.txt", "", 0, winter},
                                                        {"full.txt", fixture::sampleText(50000), 8}}));
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(0u, fs::file_size(game(root, "empty.txt")));
    EXPECT_EQ(dosToLocal(winter), modificationTime(game(root, "empty.txt")));
    EXPECT_EQ(dosToLocal(fixture::kSampleDosDate), modificationTime(game(root, "full.txt")));
}

#ifndef _WIN32
TEST(Extraction, EntryTimesFollowTheTimeZone) {
    const char* saved = std::getenv("TZ");
    std::string previous = saved ? saved : "";
    setenv("TZ", "America/New_York", 1);
    tzset();
    {
        fixture::ScopedTempDir root;
        Extraction result = extract(root, fixture::makeZip({{"t.txt", "time"}}));
        EXPECT_EQ(0, result.status);
        time_t written = modificationTime(game(root, "t.txt"));
        // 2021-06-15 13:45:30 in New York (EDT, UTC-4) is 17:45:30 UTC.
        struct tm utc = {};
        utc.tm_year = 121, utc.tm_mon = 5, utc.tm_mday = 15, utc.tm_hour = 17, utc.tm_min = 45, utc.tm_sec = 30;
        EXPECT_EQ(timegm(&utc), written);
    }
    if (saved)
        setenv("TZ", previous.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
#endif

TEST(Extraction, ReplacesReadOnlyFilesAndLeavesThemWritable) {
    fixture::ScopedTempDir root;
    Extraction result = extractInto(root, fixture::makeZip({{"data/ro.txt", "new content"}}), "", [] {
        fs::create_directories("data");
        fixture::writeFile("data/ro.txt", "old");
        platform::setFileAttributes("data/ro.txt", platform::kAttributeReadOnly);
        ASSERT_TRUE(platform::fileAttributes("data/ro.txt") & platform::kAttributeReadOnly);
    });
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("new content", fixture::readFile(game(root, "data/ro.txt")));
    EXPECT_FALSE(platform::fileAttributes(game(root, "data/ro.txt").c_str()) & platform::kAttributeReadOnly);
}

// A damaged entry stops the pass with the CRC error line and replaces nothing: the game's old
// file stays as it was, a new one is not created, and no temporary file is left.
TEST(Extraction, DamagedEntryStopsThePassAndLeavesTheOldFile) {
    std::string text = fixture::sampleText(20000);
    std::string badCrc = fixture::makeZip({{"bad.txt", text}, {"after.txt", "never"}});
    fixture::breakFirstCrc(badCrc);
    // Data that ends before its stated size: minizip would never compare the CRC.
    std::string endsEarly = fixture::makeZip({{"bad.txt", text}, {"after.txt", "never"}});
    fixture::claimFirstSize(endsEarly, static_cast<uint32_t>(text.size() + 3));
    for (const std::string* zip : {&badCrc, &endsEarly}) {
        for (bool existing : {false, true}) {
            SCOPED_TRACE(std::string(zip == &badCrc ? "wrong CRC" : "ends early") + (existing ? ", old file" : ""));
            fixture::ScopedTempDir root;
            Extraction result = extractInto(root, *zip, "", [existing] {
                if (existing)
                    fixture::writeFile("bad.txt", "the old, good file");
            });
            EXPECT_EQ(UNZ_CRCERROR, result.status);
            EXPECT_EQ(" extracting: bad.txt\nerror -105 with zipfile in unzCloseCurrentFile\n", result.output);
            EXPECT_EQ(existing ? std::vector<std::string>{"bad.txt"} : std::vector<std::string>{}, result.tree);
            if (existing) {
                EXPECT_EQ("the old, good file", fixture::readFile(game(root, "bad.txt")));
            }
        }
    }
}

TEST(Extraction, ReadsTheSameArchiveBehindAnyPrefix) {
    std::string big = fixture::randomBytes(300000, 7) + fixture::sampleText(300000);
    std::string zip = fixture::makeZip({{"patch.bat", "@echo off\r\n"},
                                        {"Patch/a/x.ogg", big},
                                        {"Patch/b/stored.bin", fixture::randomBytes(5000, 9), 0},
                                        {"readme.txt", fixture::sampleText(3000)}});
    for (size_t prefixSize : {0, 1, 511, 4096, 65536, 300001}) {
        SCOPED_TRACE("prefix of " + std::to_string(prefixSize) + " bytes");
        fixture::ScopedTempDir root;
        Extraction result = extract(root, zip, fixture::randomBytes(prefixSize, static_cast<uint32_t>(prefixSize)));
        ASSERT_TRUE(result.opened);
        EXPECT_EQ(0, result.status);
        EXPECT_EQ(big, fixture::readFile(game(root, "Patch/a/x.ogg")));
        EXPECT_EQ(fixture::randomBytes(5000, 9), fixture::readFile(game(root, "Patch/b/stored.bin")));
        EXPECT_EQ((std::vector<std::string>{"Patch/", "Patch/a/", "Patch/a/x.ogg", "Patch/b/",
                                            "Patch/b/stored.bin", "patch.bat", "readme.txt"}),
                  result.tree);
    }
}

TEST(Extraction, PatcherFileCutInsideOrBeforeItsEndRecordWritesNothing) {
    std::string zip = fixture::makeZip({{"a.txt", fixture::sampleText(4000)}, {"b.txt", "b"}});
    // Without its end record the archive does not open; with the record's offsets cut away
    // it opens, but its first entry cannot be read.
    for (size_t cut : {size_t{10}, size_t{20}, size_t{22}, size_t{23}, zip.size() / 2, zip.size()}) {
        SCOPED_TRACE("cut " + std::to_string(cut) + " bytes off the end");
        fixture::ScopedTempDir root;
        Extraction result = extract(root, zip.substr(0, zip.size() - cut), "MZ stub bytes");
        if (cut >= 22) {
            EXPECT_FALSE(result.opened);
        }
        EXPECT_TRUE(!result.opened || result.status != 0);
        EXPECT_TRUE(result.tree.empty());
    }
}

TEST(Extraction, RefusesNamesThatLeaveTheInstallFolder) {
    const std::string longName = std::string(200, 'n') + "/" + std::string(55, 'm');  // 256 bytes
    struct Case {
        std::string name;
        std::string shown;  // what the console line names
    } cases[] = {
        {"../evil.txt", "../evil.txt"},
        {"a/../../evil.txt", "a/../../evil.txt"},
        {"..\\evil.txt", "..\\evil.txt"},
        {"a\\..\\..\\evil.txt", "a\\..\\..\\evil.txt"},
        {"/abs.txt", "/abs.txt"},
        {"\\abs.txt", "\\abs.txt"},
        {"C:evil.txt", "C:evil.txt"},
        {"c:/evil.txt", "c:/evil.txt"},
        {"../", "../"},
        {"sub/..", "sub/.."},
        {longName, longName.substr(0, 255) + "..."},
        {std::string(300, 'z'), std::string(255, 'z') + "..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fixture::ScopedTempDir root;
        Extraction result = extract(root, fixture::makeZip({{"good.txt", "fine"}, {c.name, "bad"}, {"later.txt", "x"}}));
        EXPECT_EQ(UNZ_BADZIPFILE, result.status);
        EXPECT_NE(std::string::npos, result.output.find("refusing entry " + c.shown)) << result.output;
        EXPECT_EQ((std::vector<std::string>{"good.txt"}), result.tree);
        EXPECT_EQ((std::vector<std::string>{"game/", "game/good.txt", "patch.bin"}), fixture::listTree(root.path()));
    }
}

TEST(Extraction, AcceptsTheLongestNameThatFits) {
    fixture::ScopedTempDir root;
    const std::string name = std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(53, 'c');
    ASSERT_EQ(255u, name.size());
    Extraction result = extract(root, fixture::makeZip({{name, "long"}, {"x..y/..z", "dots inside names"}}));
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("long", fixture::readFile(game(root, name)));
    EXPECT_EQ("dots inside names", fixture::readFile(game(root, "x..y/..z")));
}

TEST(Extraction, NamesFlaggedUtf8AreConvertedToThePlayersCodePageOrRefused) {
    const unsigned long kUtf8 = 0x800;
    struct Case {
        Entry entry;
        std::string output;  // after the first entry's line; names in the player's code page
        std::vector<std::string> tree;  // as the player's system spells the names
    } cases[] = {
        {{"Daten/Schlüssel/Tür.txt", "x", 8, fixture::kSampleDosDate, kUtf8},
         " extracting: Daten/Schl\xfcssel/T\xfcr.txt\n",
         {"Daten/", "Daten/Schl\xfcssel/", "Daten/Schl\xfcssel/T\xfcr.txt"}},
        // Unflagged, the stored bytes are the player's code page already.
        {{"Daten/Schl\xfcssel/T\xfcr.txt", "x"},
         " extracting: Daten/Schl\xfcssel/T\xfcr.txt\n",
         {"Daten/", "Daten/Schl\xfcssel/", "Daten/Schl\xfcssel/T\xfcr.txt"}},
        {{"Élan/", "", 0, fixture::kSampleDosDate, kUtf8}, "creating directory: \xc9lan/\n", {"\xc9lan/"}},
        {{"Łódź.txt", "x", 8, fixture::kSampleDosDate, kUtf8},
         "refusing entry Łódź.txt: UTF-8 name not in the player's code page\n", {}},
        {{"bad\xfc.txt", "x", 8, fixture::kSampleDosDate, kUtf8},
         "refusing entry bad\xfc.txt: UTF-8 name not in the player's code page\n", {}},
        // The rules see the converted name, and so does the line.
        {{"é/../../x.txt", "x", 8, fixture::kSampleDosDate, kUtf8},
         "refusing entry \xe9/../../x.txt: \"..\" in path\n", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry.name);
        fixture::ScopedTempDir root;
        Extraction result = extract(root, fixture::makeZip({{"first.txt", "ok"}, c.entry}));
        bool refused = c.tree.empty();
        EXPECT_EQ(refused ? UNZ_BADZIPFILE : 0, result.status);
        EXPECT_EQ(" extracting: first.txt\n" + c.output, result.output);
        // The tree comes in UTF-8 (the file system's on POSIX, the standard library's on
        // Windows) and is compared in the player's code page, 1252 here.
        std::vector<std::string> expected = c.tree;
        expected.push_back("first.txt");
        std::vector<std::string> seen;
        for (const std::string& utf8 : result.tree)
            seen.push_back(platform::utf8ToCodePage(utf8, 1252));
        std::sort(expected.begin(), expected.end());
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(expected, seen);
    }
}

TEST(Extraction, RefusesEntriesMinizipWouldHandOverUndecoded) {
    struct Case {
        Entry entry;
        std::string line;
    } cases[] = {
        {{"packed.bz2", "BZh91AY&SY raw bytes", 12}, "refusing entry packed.bz2: unsupported compression method 12"},
        {{"lzma.bin", "raw", 14}, "refusing entry lzma.bin: unsupported compression method 14"},
        {{"secret.txt", "looks plain", 0, fixture::kSampleDosDate, 1}, "refusing entry secret.txt: encrypted entry"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry.name);
        fixture::ScopedTempDir root;
        Extraction result = extract(root, fixture::makeZip({{"first.txt", "ok"}, c.entry}));
        EXPECT_EQ(UNZ_BADZIPFILE, result.status);
        EXPECT_EQ(" extracting: first.txt\n" + c.line + "\n", result.output);
        EXPECT_EQ((std::vector<std::string>{"first.txt"}), result.tree);
    }
}

TEST(Extraction, FileThatCannotBeReplacedIsReportedSkippedAndCounted) {
    // A folder in the way stands for a file another program holds: it cannot be replaced.
    fixture::ScopedTempDir root;
    patcher::ExtractionReport report;
    Extraction result = extractInto(root, fixture::makeZip({{"blocked", "new"}, {"next.txt", "still extracted"}}),
                                    "", [] { fs::create_directories("blocked/inside"); }, &report);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(1u, report.skipped);
    EXPECT_FALSE(report.writeFailed);
    EXPECT_EQ("error opening blocked\n extracting: next.txt\n", result.output);
    EXPECT_TRUE(fs::is_directory(game(root, "blocked/inside")));
    EXPECT_EQ("still extracted", fixture::readFile(game(root, "next.txt")));
}

#ifndef _WIN32
TEST(Extraction, FullDiskStopsThePassWithWriteErrorAndLeavesTheOldFile) {
    // A disk that takes 1,024 bytes of any file: a large entry fails in the copy loop, a small
    // one only when the buffered file is closed.
    for (size_t size : {size_t{100000}, size_t{3000}}) {
        SCOPED_TRACE(std::to_string(size) + " bytes");
        fixture::ScopedTempDir root;
        struct rlimit previous;
        ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &previous));
        void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
        patcher::ExtractionReport report;
        Extraction result =
            extractInto(root, fixture::makeZip({{"full.bin", fixture::randomBytes(size, 3)}, {"after.txt", "no"}}),
                        "", [&previous] {
                            fixture::writeFile("full.bin", "old");
                            struct rlimit small = previous;
                            small.rlim_cur = 1024;
                            ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
                        }, &report);
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, handler);
        EXPECT_EQ(UNZ_ERRNO, result.status);
        EXPECT_TRUE(report.writeFailed);
        EXPECT_EQ(" extracting: full.bin\nerror in writing extracted file\n", result.output);
        EXPECT_EQ(std::vector<std::string>{"full.bin"}, result.tree);
        EXPECT_EQ("old", fixture::readFile(game(root, "full.bin")));
    }
}
#endif

#ifndef _WIN32
TEST(Extraction, ReadsArchivesMadeByInfoZip) {
    if (std::system("zip -v >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Info-ZIP zip is not installed";
    fixture::ScopedTempDir root;
    fs::create_directories("src/a/b");
    fs::create_directories("src/hollow");
    fixture::writeFile("src/a/b/c.txt", fixture::sampleText(30000));
    fixture::writeFile("src/empty.txt", "");
    fixture::writeFile("src/a\\back.txt", "a backslash inside a POSIX name");
    ASSERT_EQ(0, std::system("touch -d '2019-05-04 03:02:08' src/a/b/c.txt && "
                             "cd src && zip -q -r -X ../made.zip a empty.txt hollow 'a\\back.txt'"));
    Extraction result = extract(root, fixture::readFile("made.zip"), "MZ");
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("creating directory: a/\ncreating directory: a/b/\n extracting: a/b/c.txt\n extracting: empty.txt\n"
              "creating directory: hollow/\n extracting: a\\back.txt\n",
              result.output);
    EXPECT_EQ(fixture::sampleText(30000), fixture::readFile(game(root, "a/b/c.txt")));
    EXPECT_EQ("a backslash inside a POSIX name", fixture::readFile(game(root, "a/back.txt")));
    EXPECT_TRUE(fs::is_directory(game(root, "hollow")));
    EXPECT_EQ(modificationTime("src/a/b/c.txt"), modificationTime(game(root, "a/b/c.txt")));
}
#endif

TEST(FolderPath, CreatesEveryLevelQuietly) {
    fixture::ScopedTempDir root;
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, patcher::makeFolderPath("one/two\\three/"));
    EXPECT_EQ(1, patcher::makeFolderPath("one/two"));  // already there
    EXPECT_EQ(0, patcher::makeFolderPath(""));
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ("", output);
    EXPECT_TRUE(fs::is_directory("one/two/three"));
}
