// The builder's patcher files read back through the patcher's own extraction pass, its
// refusals, and what list and verify report.
#include "mkpatch/build.h"
#include "mkpatch/readback.h"
#include "patcher/archive.h"
#include "patcher/extract.h"
#include "tests/support/ogg_fixture.h"
#include "tests/support/wav_fixture.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string capture(bool (*run)(const std::string&, FILE*, std::string&, unsigned), const std::string& path,
                    bool& ok, std::string& error, unsigned codePage = 1252) {
    FILE* out = std::tmpfile();
    ok = run(path, out, error, codePage);
    std::rewind(out);
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, out)) > 0)
        text.append(chunk, got);
    std::fclose(out);
    return text;
}

void makePayload() {
    fs::create_directories("payload/Patch/a");
    fs::create_directories("payload/Data/empty-folder");
    fixture::writeFile("payload/patch.bat", "@echo off\r\nsondrel.exe %1 %2\r\n");
    fixture::writeFile("payload/Patch/a/x.ogg", fixture::randomBytes(70000, 1));
    fixture::writeFile("payload/Data/text.txt", fixture::sampleText(100000));
    fixture::writeFile("payload/Data/zero.dat", "");
    fixture::writeFile("stub.exe", "MZ" + fixture::randomBytes(3000, 2));
}

}  // namespace

TEST(Builder, PatcherFileIsTheStubFollowedByAnArchiveThePatcherExtracts) {
    fixture::ScopedTempDir dir;
    makePayload();
    std::string error;
    mkpatch::BuildReport report;
    ASSERT_TRUE(mkpatch::buildPatch("stub.exe", "patch.exe", "payload", error, &report)) << error;
    std::string stub = fixture::readFile("stub.exe");
    std::string file = fixture::readFile("patch.exe");
    EXPECT_EQ(stub, file.substr(0, stub.size()));
    EXPECT_EQ("PK\x03\x04", file.substr(stub.size(), 4));  // the archive starts right behind the image
    EXPECT_EQ(4u, report.entries);
    uint64_t payloadBytes = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator("payload"))
        payloadBytes += entry.is_regular_file() ? entry.file_size() : 0;
    EXPECT_EQ(payloadBytes, report.uncompressedBytes);
    EXPECT_EQ(file.size(), report.patcherBytes);
    EXPECT_EQ(file.size() - stub.size(), report.storedBytes);

    fs::create_directories("game");
    fs::current_path("game");
    testing::internal::CaptureStdout();
    unzFile archive = patcher::openPatchArchive((dir.path() + "/patch.exe").c_str());
    ASSERT_NE(nullptr, archive);
    EXPECT_EQ(0, patcher::extractAllEntries(archive));
    unzClose(archive);
    EXPECT_EQ(" extracting: Data/text.txt\n extracting: Data/zero.dat\n"
              " extracting: Patch/a/x.ogg\n extracting: patch.bat\n",
              testing::internal::GetCapturedStdout());
    fs::current_path(dir.path());
    for (const char* name : {"patch.bat", "Patch/a/x.ogg", "Data/text.txt", "Data/zero.dat"})
        EXPECT_EQ(fixture::readFile(std::string("payload/") + name), fixture::readFile(std::string("game/") + name))
            << name;
    EXPECT_FALSE(fs::exists("game/Data/empty-folder"));  // folders come only from file names
}

TEST(Builder, ListShowsEachEntryWithItsMethod) {
    fixture::ScopedTempDir dir;
    makePayload();
    std::string error;
    ASSERT_TRUE(mkpatch::buildPatch("stub.exe", "patch.exe", "payload", error)) << error;
    bool ok = false;
    std::string listing = capture(mkpatch::listPatch, "patch.exe", ok, error);
    EXPECT_TRUE(ok) << error;
    EXPECT_NE(std::string::npos, listing.find("    100000")) << listing;
    EXPECT_NE(std::string::npos, listing.find("deflate  ")) << listing;
    EXPECT_NE(std::string::npos, listing.find("stored   ")) << listing;  // random data stays stored
    EXPECT_NE(std::string::npos, listing.find(" Patch/a/x.ogg\n")) << listing;
    EXPECT_EQ(5, std::count(listing.begin(), listing.end(), '\n'));
}

TEST(Builder, RefusesNamesThePatcherWouldRefuseAndWritesNothing) {
    const std::string longName = std::string(200, 'd') + "/" + std::string(60, 'f');
    std::vector<std::string> badNames = {longName};
#ifndef _WIN32
    // Names a POSIX folder can hold that the patcher reads as leaving the install folder.
    badNames.push_back("..\\escape.txt");
    badNames.push_back("C:drive.txt");
#endif
    for (const std::string& bad : badNames) {
        SCOPED_TRACE(bad);
        fixture::ScopedTempDir dir;
        makePayload();
        fs::create_directories(fs::path("payload/" + bad).parent_path());
        fixture::writeFile("payload/" + bad, "bad");
        std::string error;
        EXPECT_FALSE(mkpatch::buildPatch("stub.exe", "patch.exe", "payload", error));
        EXPECT_NE(std::string::npos, error.find("the patcher would refuse \"" + bad + "\"")) << error;
        std::vector<std::string> top;
        for (const auto& e : fs::directory_iterator("."))
            top.push_back(e.path().filename().string());
        std::sort(top.begin(), top.end());
        EXPECT_EQ((std::vector<std::string>{"payload", "stub.exe"}), top);
    }
}

TEST(Builder, ReportsMissingInputsWithoutWritingOutput) {
    fixture::ScopedTempDir dir;
    makePayload();
    std::string error;
    EXPECT_FALSE(mkpatch::buildPatch("stub.exe", "patch.exe", "no-such-folder", error));
    EXPECT_NE(std::string::npos, error.find("no-such-folder"));
    EXPECT_FALSE(mkpatch::buildPatch("missing-stub.exe", "patch.exe", "payload", error));
    EXPECT_NE(std::string::npos, error.find("missing-stub.exe"));
    fs::create_directories("hollow/inner");
    EXPECT_FALSE(mkpatch::buildPatch("stub.exe", "patch.exe", "hollow", error));
    EXPECT_NE(std::string::npos, error.find("no files"));
    EXPECT_FALSE(fs::exists("patch.exe"));
}

TEST(Verify, PassesSoundArchivesAndFailsDamagedOnes) {
    fixture::ScopedTempDir dir;
    std::string sound = fixture::makeZip({{"a.txt", fixture::sampleText(9000)}, {"b/c.txt", "c"}});
    fixture::writeFile("sound.exe", "MZ" + sound);
    std::string damaged = sound;
    fixture::breakFirstCrc(damaged);
    fixture::writeFile("damaged.exe", "MZ" + damaged);
    std::string endsEarly = sound;
    fixture::claimFirstSize(endsEarly, 9001);
    fixture::writeFile("short.exe", "MZ" + endsEarly);
    fixture::writeFile("unsafe.exe", "MZ" + fixture::makeZip({{"../a.txt", "x"}}));
    std::string renamed = sound;
    renamed[renamed.size() - 22 - 2 * 46 - 5 - 7 + 46] ^= 0x20;  // "a.txt" in the central directory: "A.txt"
    fixture::writeFile("renamed.exe", "MZ" + renamed);
    fixture::writeFile("cut.exe", "MZ" + sound.substr(0, sound.size() - 5));

    bool ok = false;
    std::string error;
    std::string report = capture(mkpatch::verifyPatch, "sound.exe", ok, error);
    EXPECT_TRUE(ok) << report;
    EXPECT_EQ("ok   a.txt\nok   b/c.txt\n2 entries, all sound: names, local headers, lengths and CRCs checked; "
              "0 sounds decoded as the converter decodes them\n",
              report);

    report = capture(mkpatch::verifyPatch, "damaged.exe", ok, error);
    EXPECT_FALSE(ok);
    EXPECT_EQ("FAIL a.txt: CRC check failed (error -105)\n", report);
    report = capture(mkpatch::verifyPatch, "short.exe", ok, error);
    EXPECT_FALSE(ok);
    EXPECT_EQ("FAIL a.txt: CRC check failed (error -105)\n", report);

    report = capture(mkpatch::verifyPatch, "renamed.exe", ok, error);
    EXPECT_FALSE(ok);
    EXPECT_EQ("FAIL A.txt: its local header names it otherwise\n", report);

    report = capture(mkpatch::verifyPatch, "unsafe.exe", ok, error);
    EXPECT_FALSE(ok);
    EXPECT_EQ("FAIL ../a.txt: \"..\" in path\n", report);

    capture(mkpatch::verifyPatch, "cut.exe", ok, error);
    EXPECT_FALSE(ok);
    EXPECT_NE(std::string::npos, error.find("no readable patch archive"));
}

// Sounds below "Patch" are decoded the way the converter will decode them on the player's machine.
TEST(Verify, DecodesSoundsAsTheConverterWill) {
    fixture::ScopedTempDir dir;
    const std::string sound = fixture::encodeVorbis(1, 22050, fixture::tones(1, 22050, 40000));
    // A page missing in the middle: the decode stops at the hole, short of the stated length.
    const std::string eight = fixture::encodeVorbis(2, 44100, fixture::tones(2, 44100, 44100 * 8));
    const std::string holed = fixture::withoutPage(eight, fixture::oggPages(eight).size() / 2);
    fixture::writeFile("good.exe", "MZ" + fixture::makeZip({{"Patch/a/x.ogg", sound}, {"Patch/b/Y.OGG", sound},
                                                            {"Data/not-a-sound.ogg", "elsewhere"}}));
    fixture::writeFile("short.exe", "MZ" + fixture::makeZip({{"Patch/long.ogg", holed}}));
    fixture::writeFile("broken.exe", "MZ" + fixture::makeZip({{"Patch/a/x.ogg", sound}, {"Patch/bad.ogg", "noise"}}));

    bool ok = false;
    std::string error;
    std::string report = capture(mkpatch::verifyPatch, "good.exe", ok, error);
    EXPECT_TRUE(ok) << report;
    EXPECT_NE(std::string::npos, report.find("3 entries, all sound")) << report;
    EXPECT_NE(std::string::npos, report.find("2 sounds decoded")) << report;

    report = capture(mkpatch::verifyPatch, "short.exe", ok, error);
    EXPECT_TRUE(ok) << report;
    EXPECT_NE(std::string::npos, report.find("warn Patch/long.ogg: decodes to ")) << report;
    EXPECT_NE(std::string::npos, report.find(" bytes of PCM where its stream states 1411200")) << report;

    report = capture(mkpatch::verifyPatch, "broken.exe", ok, error);
    EXPECT_FALSE(ok);
    EXPECT_NE(std::string::npos, report.find("FAIL Patch/bad.ogg: the converter cannot decode it")) << report;
}


// Sounds from WAV masters: encoded into Patch/, with the converter and the standard script,
// the same bytes from the same inputs, and no clash with what the payload holds.
TEST(Builder, SoundsFromWavMasters) {
    fixture::ScopedTempDir dir;
    makePayload();
    fs::remove_all("payload/Patch");
    fs::remove("payload/patch.bat");
    using fixture::chunk;
    std::vector<int16_t> stereo = fixture::tones(2, 44100, 20000), mono = fixture::tones(1, 22050, 5000);
    fs::create_directories("masters/music");
    fixture::writeFile("masters/music/theme.wav",
                       fixture::riff({chunk("fmt ", fixture::fmtBody(2, 44100, 16)),
                                      chunk("data", std::string(reinterpret_cast<const char*>(stereo.data()),
                                                                stereo.size() * 2))}));
    fixture::writeFile("masters/hello.wav",
                       fixture::riff({chunk("fmt ", fixture::fmtBody(1, 22050, 16)),
                                      chunk("data", std::string(reinterpret_cast<const char*>(mono.data()),
                                                                mono.size() * 2))}));
    fixture::writeFile("masters/notes.txt", "not a master");
    fixture::writeFile("sondrel.exe", "MZ converter");
    mkpatch::SoundOptions sounds;
    sounds.masters = "masters";
    sounds.converter = "sondrel.exe";

    std::string error;
    mkpatch::BuildReport report;
    ASSERT_TRUE(mkpatch::buildPatch("stub.exe", "first.exe", "payload", error, &report, &sounds)) << error;
    EXPECT_EQ(2u, report.sounds);
    ASSERT_TRUE(mkpatch::buildPatch("stub.exe", "second.exe", "payload", error, nullptr, &sounds)) << error;
    EXPECT_EQ(fixture::readFile("first.exe"), fixture::readFile("second.exe"));
    EXPECT_EQ((std::vector<std::string>{"first.exe", "second.exe"}),
              [] {
                  std::vector<std::string> outputs;
                  for (const fs::directory_entry& entry : fs::directory_iterator("."))
                      if (entry.path().extension() == ".exe" && entry.path().filename() != "stub.exe" &&
                          entry.path().filename() != "sondrel.exe")
                          outputs.push_back(entry.path().filename().string());
                  std::sort(outputs.begin(), outputs.end());
                  return outputs;
              }());  // and no staging folder left behind

    fs::create_directories("game");
    fs::current_path("game");
    testing::internal::CaptureStdout();
    unzFile archive = patcher::openPatchArchive((dir.path() + "/first.exe").c_str());
    ASSERT_NE(nullptr, archive);
    EXPECT_EQ(0, patcher::extractAllEntries(archive));
    unzClose(archive);
    EXPECT_EQ(" extracting: Data/text.txt\n extracting: Data/zero.dat\n extracting: Patch/hello.ogg\n"
              " extracting: Patch/music/theme.ogg\n extracting: patch.bat\n extracting: sondrel.exe\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(stereo.size() * 2, fixture::decodeVorbis(fixture::readFile("Patch/music/theme.ogg")).size());
    EXPECT_EQ(mono.size() * 2, fixture::decodeVorbis(fixture::readFile("Patch/hello.ogg")).size());
    EXPECT_EQ(0u, fixture::readFile("patch.bat").rfind("@sondrel.exe %1 %2\r\n", 0));
    EXPECT_EQ("MZ converter", fixture::readFile("sondrel.exe"));
    fs::current_path(dir.path());

    fixture::writeFile("payload/patch.bat", "a script of its own");
    EXPECT_FALSE(mkpatch::buildPatch("stub.exe", "third.exe", "payload", error, nullptr, &sounds));
    EXPECT_NE(std::string::npos, error.find("the payload already holds patch.bat")) << error;
    EXPECT_FALSE(fs::exists("third.exe"));
}
