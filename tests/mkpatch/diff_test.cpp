// mkpatch diff: what a patch must carry between two game trees.
#include "mkpatch/diff.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

void put(const std::string& path, const std::string& data) {
    fs::create_directories(fs::path(path).parent_path());
    fixture::writeFile(path, data);
}

}  // namespace

TEST(Diff, TakesWhatIsNewOrDifferentAndNamesWhatOnlyOldHas) {
    fixture::ScopedTempDir dir;
    struct {
        const char* name;
        const char* old;  // null: missing from OLD
        const char* now;  // null: missing from NEW
    } files[] = {
        {"same.txt", "unchanged", "unchanged"},
        {"Data/Maps/deep/same.map", "nested and equal", "nested and equal"},
        {"Data/grown.ini", "width=640", "width=1280"},
        {"Data/flipped.bin", "abcdefgh", "abcdefgX"},  // same size, other contents
        {"Data/Maps/deep/added.map", nullptr, "brand new"},
        {"Data/removed.txt", "gone", nullptr},
    };
    for (const auto& f : files) {
        if (f.old)
            put(std::string("old/") + f.name, f.old);
        if (f.now)
            put(std::string("new/") + f.name, f.now);
    }
    mkpatch::DiffReport report;
    std::string error;
    ASSERT_TRUE(mkpatch::diffTrees("old", "new", "out", report, error)) << error;
    EXPECT_EQ((std::vector<std::string>{"Data/", "Data/Maps/", "Data/Maps/deep/", "Data/Maps/deep/added.map",
                                        "Data/flipped.bin", "Data/grown.ini"}),
              fixture::listTree("out"));
    EXPECT_EQ("abcdefgX", fixture::readFile("out/Data/flipped.bin"));
    EXPECT_EQ(fs::last_write_time("new/Data/grown.ini"), fs::last_write_time("out/Data/grown.ini"));
    EXPECT_EQ(3u, report.taken.size());
    EXPECT_EQ(8u + 10u + 9u, report.takenBytes);
    EXPECT_EQ(2u, report.unchanged);
    EXPECT_EQ(std::vector<std::string>{"Data/removed.txt"}, report.onlyInOld);

    // A second diff into the same folder, or of a tree the patcher would refuse, writes nothing.
    EXPECT_FALSE(mkpatch::diffTrees("old", "new", "out", report, error));
    EXPECT_NE(std::string::npos, error.find("not empty")) << error;
    put("new/" + std::string(150, 'a') + "/" + std::string(150, 'b'), "too long a name");
    EXPECT_FALSE(mkpatch::diffTrees("old", "new", "out2", report, error));
    EXPECT_NE(std::string::npos, error.find("the patcher would refuse")) << error;
    EXPECT_FALSE(fs::exists("out2"));
}
