// Delta entries on the player's side: the record read back from its extra field, and patches
// with delta entries applied by the extraction pass over installations in every state.
#include "mkpatch/build.h"
#include "patcher/archive.h"
#include "patcher/delta_record.h"
#include "patcher/extract.h"
#include "platform/platform.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

patcher::DeltaRecord sampleRecord() {
    patcher::DeltaRecord r = {};
    r.baseSize = 5000, r.baseCrc = 0x11223344, r.newSize = 2500, r.newCrc = 0x55667788;
    r.segmentSize = 1000, r.segmentCount = 3;
    r.segments[0] = {0, 5000, 10};
    r.segments[1] = {1000, 3000, 20};
    r.segments[2] = {4000, 1000, 30};
    return r;
}

}  // namespace

TEST(DeltaRecord, ReadsBackWhatIsWrittenAndRefusesWhatDoesNotAddUp) {
    unsigned char field[patcher::kMaxDeltaExtraSize];
    unsigned long size = patcher::writeDeltaRecord(sampleRecord(), field, sizeof field);
    ASSERT_EQ(4u + 24 + 3 * 12, size);
    patcher::DeltaRecord back;
    ASSERT_EQ(patcher::DeltaField::Valid, patcher::readDeltaRecord(field, size, 60, &back));
    EXPECT_EQ(2500u, back.newSize);
    EXPECT_EQ(0x11223344u, back.baseCrc);
    EXPECT_EQ(3000u, back.segments[1].referenceLength);
    EXPECT_EQ(500u, patcher::segmentLength(back, 2));

    // Another field before it is passed over; a record for other stored bytes is refused.
    std::string withOther = std::string("\x55\x54\x05\x00\x01\x02\x03\x04\x05", 9) + std::string(field, field + size);
    EXPECT_EQ(patcher::DeltaField::Valid, patcher::readDeltaRecord(
                                              reinterpret_cast<const unsigned char*>(withOther.data()),
                                              static_cast<unsigned long>(withOther.size()), 60, &back));
    EXPECT_EQ(patcher::DeltaField::Damaged, patcher::readDeltaRecord(field, size, 61, &back));
    EXPECT_EQ(patcher::DeltaField::Absent, patcher::readDeltaRecord(field, 0, 60, &back));
    EXPECT_EQ(patcher::DeltaField::Damaged, patcher::readDeltaRecord(field, size - 1, 60, &back));

    const struct {
        const char* what;
        std::function<void(patcher::DeltaRecord&)> change;
    } damaged[] = {
        {"a segment too few", [](patcher::DeltaRecord& r) { r.newSize = 3001; }},
        {"a segment too many", [](patcher::DeltaRecord& r) { r.newSize = 2000; }},
        {"a slice past the base's end", [](patcher::DeltaRecord& r) { r.segments[2].referenceLength = 1001; }},
        {"a slice past the base, wrapping", [](patcher::DeltaRecord& r) { r.segments[2].referenceOffset = 0xFFFFFF00ul; }},
        {"more than the patcher's window", [](patcher::DeltaRecord& r) {
             r.baseSize = 0x7FFFFFF0ul, r.segments[0].referenceLength = patcher::kMaxDeltaWindow - 999; }},
        {"an empty frame", [](patcher::DeltaRecord& r) { r.segments[0].frameSize = 0, r.segments[1].frameSize = 30; }},
        {"an empty new file", [](patcher::DeltaRecord& r) { r.newSize = 0, r.segmentCount = 0; }},
        {"a file of 2 GiB", [](patcher::DeltaRecord& r) { r.baseSize = 0x80000000ul; }},
    };
    for (const auto& d : damaged) {
        SCOPED_TRACE(d.what);
        patcher::DeltaRecord r = sampleRecord();
        d.change(r);
        unsigned long length = patcher::writeDeltaRecord(r, field, sizeof field);
        EXPECT_EQ(patcher::DeltaField::Damaged, patcher::readDeltaRecord(field, length, 60, &back));
    }
    field[4] = 2;  // a format this patcher does not know
    EXPECT_EQ(patcher::DeltaField::Damaged, patcher::readDeltaRecord(field, size, 60, &back));

    char name[] = "Data/game.pak.vdelta";
    unsigned long length = sizeof name - 1;
    EXPECT_TRUE(patcher::cutDeltaSuffix(name, &length));
    EXPECT_STREQ("Data/game.pak", name);
    for (const char* bad : {"Data/game.pak", "Data/.vdelta", ".vdelta", "game.pak.VDELTA"}) {
        char copy[64];
        std::strcpy(copy, bad);
        unsigned long n = std::strlen(copy);
        EXPECT_FALSE(patcher::cutDeltaSuffix(copy, &n)) << bad;
    }
}

namespace {

// Two releases of a data file of incompressible bytes: the new one has a block inserted near
// the start, so that every byte after it moves by more than a slice's margin, as much dropped
// at the end, so that the size stays, and a few bytes rewritten further on. With segments of
// 64 KiB and slices of 96 KiB, each segment's slice must be found where its content went.
struct Releases {
    std::string old, fresh;
};

Releases makeReleases() {
    Releases r;
    r.old = fixture::randomBytes(300000, 21);
    r.fresh = r.old.substr(0, 20000) + fixture::randomBytes(40000, 22) + r.old.substr(20000, 240000);
    r.fresh.replace(200000, 40, fixture::randomBytes(40, 23));
    return r;
}

mkpatch::BaseOptions smallSegments() {
    mkpatch::BaseOptions base;
    base.tree = "old";
    base.delta.segmentSize = 64 * 1024;
    base.delta.sliceMargin = 16 * 1024;
    return base;
}

// Builds the patch of game.pak and a-notes.txt (new in full, and before game.pak in the archive)
// against the tree "old".
void buildDeltaPatch(const Releases& r) {
    fs::create_directories("old/Data");
    fs::create_directories("payload/Data");
    fixture::writeFile("old/Data/game.pak", r.old);
    fixture::writeFile("payload/Data/game.pak", r.fresh);
    fixture::writeFile("payload/Data/a-notes.txt", "new notes");
    fixture::writeFile("payload/patch.bat", "exit 0\n");
    fixture::writeFile("stub.exe", "MZ" + fixture::randomBytes(2000, 24));
    mkpatch::BaseOptions base = smallSegments();
    mkpatch::BuildReport report;
    std::string error;
    ASSERT_TRUE(mkpatch::buildPatch("stub.exe", "patch.exe", "payload", error, &report, nullptr, 1252, &base)) << error;
    ASSERT_EQ(1u, report.deltas);
    EXPECT_LT(report.deltaBytes, 40000u + 2000u);  // the inserted block and a little more
}

struct Applied {
    int status;
    std::string output;
};

// The pass over the patch, in the folder "game" prepared by `prepare`.
Applied applyPatch(const std::string& patch, const std::function<void()>& prepare) {
    fs::remove_all("game");
    fs::create_directories("game/Data");
    std::string root = fs::current_path().string();
    fs::current_path("game");
    prepare();
    testing::internal::CaptureStdout();
    unzFile archive = patcher::openPatchArchive((root + "/" + patch).c_str());
    Applied result = {-1, ""};
    patcher::ExtractionReport report;
    if (archive) {
        result.status = patcher::extractAllEntries(archive, &report);
        unzClose(archive);
    }
    result.output = testing::internal::GetCapturedStdout();
    fs::current_path(root);
    EXPECT_EQ(result.status == patcher::kWrongVersionStatus, report.wrongVersions > 0);
    return result;
}

}  // namespace

TEST(DeltaEntries, ApplyOnlyOverTheFileTheyUpdateAndRefuseThePatchOtherwise) {
    fixture::ScopedTempDir dir;
    Releases r = makeReleases();
    buildDeltaPatch(r);
    const std::string modded = r.old.substr(0, 299999) + "x";  // its size is the new one's too
    const struct {
        const char* what;
        std::function<void()> prepare;
        int status;
        const char* output;
        const std::string* pak;  // what game.pak holds afterwards; null: no file
        bool notes;              // a-notes.txt extracted
    } cases[] = {
        {"the old release", [&] { fixture::writeFile("Data/game.pak", r.old); }, 0,
         " extracting: Data/a-notes.txt\n extracting: Data/game.pak\n extracting: patch.bat\n", &r.fresh, true},
        {"a read-only old release",
         [&] {
             fixture::writeFile("Data/game.pak", r.old);
             platform::setFileAttributes("Data/game.pak", platform::kAttributeReadOnly);
         },
         0, " extracting: Data/a-notes.txt\n extracting: Data/game.pak\n extracting: patch.bat\n", &r.fresh, true},
        {"already the new release (applied before)", [&] { fixture::writeFile("Data/game.pak", r.fresh); }, 0,
         " extracting: Data/a-notes.txt\n up to date: Data/game.pak\n extracting: patch.bat\n", &r.fresh, true},
        {"a modded file", [&] { fixture::writeFile("Data/game.pak", modded); }, patcher::kWrongVersionStatus,
         "not the version this patch updates: Data/game.pak\n", &modded, false},
        {"no file", [] {}, patcher::kWrongVersionStatus, "missing Data/game.pak, which this patch updates\n", nullptr,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Applied applied = applyPatch("patch.exe", c.prepare);
        EXPECT_EQ(c.status, applied.status);
        EXPECT_EQ(c.output, applied.output);
        if (c.pak)
            EXPECT_TRUE(fixture::readFile("game/Data/game.pak") == *c.pak);
        else
            EXPECT_FALSE(fixture::exists("game/Data/game.pak"));
        // Nothing else, and no file left beside the target.
        std::vector<std::string> expected;
        if (c.notes)
            expected.push_back("a-notes.txt");
        if (c.pak)
            expected.push_back("game.pak");
        EXPECT_EQ(expected, fixture::listTree("game/Data"));
        if (c.status == 0) {
            EXPECT_EQ(0u, platform::fileAttributes("game/Data/game.pak") & platform::kAttributeReadOnly);
        }
    }
}

TEST(DeltaEntries, DamageLeavesTheOldFileAsItWas) {
    fixture::ScopedTempDir dir;
    Releases r = makeReleases();
    buildDeltaPatch(r);
    std::string patch = fixture::readFile("patch.exe");
    size_t entry = patch.find("Data/game.pak.vdelta");
    ASSERT_NE(std::string::npos, entry);
    // The frames follow the local header's name and its 4 + 24 + 12 * 5 byte record.
    size_t frames = entry + 20 + 88;
    std::string flipped = patch;
    flipped[frames + 100] ^= 0x40;
    fixture::writeFile("flipped.exe", flipped);
    // A record whose new CRC-32 is not the frames' result, in both headers alike.
    std::string misstated = patch;
    for (size_t at = misstated.find("VD"); at != std::string::npos; at = misstated.find("VD", at + 1))
        if (misstated[at + 2] == 84 && misstated[at + 4] == 1 && misstated[at + 5] == 5)
            misstated[at + 4 + 16] ^= 0x01;
    fixture::writeFile("misstated.exe", misstated);

    const struct {
        const char* patch;
        int status;
        const char* lastLine;
    } cases[] = {
        {"flipped.exe", UNZ_CRCERROR, "error -105 with zipfile in unzCloseCurrentFile\n"},
        {"misstated.exe", UNZ_CRCERROR, "error -105 with zipfile in the delta of Data/game.pak\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.patch);
        Applied applied = applyPatch(c.patch, [&] { fixture::writeFile("Data/game.pak", r.old); });
        EXPECT_EQ(c.status, applied.status);
        EXPECT_EQ(c.lastLine, applied.output.substr(applied.output.rfind('\n', applied.output.size() - 2) + 1));
        EXPECT_TRUE(fixture::readFile("game/Data/game.pak") == r.old);
        EXPECT_EQ((std::vector<std::string>{"a-notes.txt", "game.pak"}), fixture::listTree("game/Data"));
    }
}
