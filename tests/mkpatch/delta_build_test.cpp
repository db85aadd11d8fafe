// Builds against an older release: which files go as deltas, how list and verify show them,
// and frames that do not depend on the number of threads that made them.
#include "mkpatch/build.h"
#include "mkpatch/delta_encoder.h"
#include "mkpatch/readback.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string verifyText(const std::string& baseTree, bool& ok) {
    FILE* out = std::tmpfile();
    std::string error;
    ok = mkpatch::verifyPatch("patch.exe", out, error, 1252, baseTree);
    std::rewind(out);
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, out)) > 0)
        text.append(chunk, got);
    std::fclose(out);
    return text;
}

}  // namespace

TEST(DeltaBuild, DeltasOnlyWhereTheyAreSmallerAndThePlayerHasTheFile) {
    fixture::ScopedTempDir dir;
    const std::string pak = fixture::randomBytes(150000, 31);
    std::string newPak = pak;
    newPak.replace(70000, 100, fixture::randomBytes(100, 32));
    const struct {
        const char* oldName;  // in the older release
        const char* newName;  // in the payload
        std::string oldData, newData;
        const char* listed;   // what list shows of it
    } files[] = {
        {"DATA/GAME.PAK", "Data/game.pak", pak, newPak, "delta    "},               // letter case aside
        {"Data/fresh.bin", "Data/fresh.bin", fixture::randomBytes(9000, 33), fixture::randomBytes(9000, 34),
         "stored   "},                                                                   // no smaller as a delta
        {"Patch/a.dat", "Patch/a.dat", pak, newPak, "stored   "},                       // gone after every run
        {"Data/same.bin", "Data/same.bin", fixture::randomBytes(5000, 36), fixture::randomBytes(5000, 36), "delta    "},
    };
    for (const auto& f : files) {
        fs::create_directories(fs::path("old") / f.oldName);
        fs::remove(fs::path("old") / f.oldName);
        fs::create_directories(fs::path("payload") / f.newName);
        fs::remove(fs::path("payload") / f.newName);
        fixture::writeFile(std::string("old/") + f.oldName, f.oldData);
        fixture::writeFile(std::string("payload/") + f.newName, f.newData);
    }
    fixture::writeFile("stub.exe", "MZ" + fixture::randomBytes(1000, 35));
    mkpatch::BaseOptions base;
    base.tree = "old";
    mkpatch::BuildReport report;
    std::string error;
    ASSERT_TRUE(mkpatch::buildPatch("stub.exe", "patch.exe", "payload", error, &report, nullptr, 1252, &base)) << error;
    EXPECT_EQ(2u, report.deltas);
    EXPECT_TRUE(report.scriptAdded);
    EXPECT_LT(report.deltaBytes, 1000u);

    FILE* out = std::tmpfile();
    ASSERT_TRUE(mkpatch::listPatch("patch.exe", out, error));
    std::rewind(out);
    std::string listing(1 << 16, '\0');
    listing.resize(std::fread(&listing[0], 1, listing.size(), out));
    std::fclose(out);
    for (const auto& f : files) {
        SCOPED_TRACE(f.newName);
        std::string shown = f.newName;
        if (std::string(f.listed) == "delta    ")
            shown += " (delta against a file of " + std::to_string(f.oldData.size()) + " bytes)";
        EXPECT_NE(std::string::npos, listing.find(f.listed + std::string("2"))) << listing;
        EXPECT_NE(std::string::npos, listing.find(shown + "\n")) << listing;
    }

    bool ok = false;
    std::string text = verifyText("", ok);
    EXPECT_TRUE(ok) << text;
    EXPECT_NE(std::string::npos, text.find("2 delta entries not applied: their results depend on the files they update"))
        << text;
    text = verifyText("old", ok);
    EXPECT_TRUE(ok) << text;
    EXPECT_NE(std::string::npos, text.find("ok   Data/game.pak (delta applied)\n")) << text;
    // A tree that is not the release the patch updates.
    fixture::writeFile("old/DATA/GAME.PAK", newPak);
    text = verifyText("old", ok);
    EXPECT_FALSE(ok);
    EXPECT_NE(std::string::npos,
              text.find("FAIL Data/game.pak: delta: the older release's file is not the one this delta updates"))
        << text;
}

TEST(DeltaBuild, FramesAreTheSameWhateverTheNumberOfThreads) {
    fixture::ScopedTempDir dir;
    std::string old = fixture::randomBytes(400000, 41);
    std::string fresh = old.substr(0, 90000) + fixture::randomBytes(30000, 42) + old.substr(90000);
    fixture::writeFile("old.bin", old);
    fixture::writeFile("new.bin", fresh);
    mkpatch::DeltaOptions options;
    options.segmentSize = 64 * 1024;
    options.sliceMargin = 8 * 1024;
    std::string first;
    for (unsigned threads : {1u, 3u}) {
        SCOPED_TRACE(threads);
        options.threads = threads;
        mkpatch::Delta delta;
        std::string error;
        ASSERT_TRUE(mkpatch::makeDelta("old.bin", "new.bin", options, delta, error)) << error;
        EXPECT_EQ(7u, delta.record.segmentCount);
        EXPECT_EQ(fresh.size(), delta.record.newSize);
        if (first.empty())
            first = delta.frames;
        EXPECT_TRUE(first == delta.frames);
    }
    options.segmentSize = 200ul << 20;  // with its slice, past what the patcher's window holds
    mkpatch::Delta delta;
    std::string error;
    EXPECT_FALSE(mkpatch::makeDelta("old.bin", "new.bin", options, delta, error));
}
