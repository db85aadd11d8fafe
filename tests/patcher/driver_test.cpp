// The driver's pieces that do not need a whole run: script parameters, the registry look-up
// through the POSIX stand-in, and the outcome message.
#include "patcher/driver.h"
#include "patcher/texts.h"
#include "platform/platform.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

TEST(ScriptParameters, QuoteBothFoldersWithTheirTrailingBackslash) {
    char parameters[patcher::kTextBufferSize];
    patcher::formatScriptParameters("C:\\Game", parameters, sizeof parameters);
    EXPECT_STREQ("\"C:\\Game\\Patch\\\" \"C:\\Game\\Sounds\\\"", parameters);

    patcher::formatScriptParameters("D:\\Games\\", parameters, sizeof parameters);
    EXPECT_STREQ("\"D:\\Games\\\\Patch\\\" \"D:\\Games\\\\Sounds\\\"", parameters);

    std::string longest(259, 'p');
    patcher::formatScriptParameters(longest.c_str(), parameters, sizeof parameters);
    EXPECT_EQ(538u, std::strlen(parameters));
}

TEST(StringTable, HoldsEveryTextTheDriverLoads) {
    const struct {
        unsigned id;
        const char* text;
    } expected[] = {
        {1, "Software\\Pellmark\\Torvicor\\Vardane"}, {2, "Vardane not found!"},
        {3, "Invalid Vardane installation"},         {4, "patch.bat"},
        {5, "Patch file is corrupted"},              {6, "Patch was successfully applied."},
        {7, "Vardane Patch 1.02"},
        {8, "Some game files could not be replaced. Close the game and apply the patch again."},
        {9, "The game files were updated, but the patch could not finish its last step. Apply the patch again."},
        {10, "The game files could not be written. Free some disk space and apply the patch again."},
        {11, "Some game files are not the version this patch updates, so nothing was changed. Install the full "
             "patch instead, or restore the game's files and apply this patch again."},
    };
    for (const auto& e : expected) {
        char buffer[patcher::kTextBufferSize] = "";
        EXPECT_EQ(static_cast<int>(std::strlen(e.text)), platform::loadString(e.id, buffer, sizeof buffer));
        EXPECT_STREQ(e.text, buffer);
    }
    char small[8];
    EXPECT_EQ(7, platform::loadString(IDS_SUCCESS, small, sizeof small));
    EXPECT_STREQ("Patch w", small);
}

#ifndef _WIN32
namespace {

// Runs findInstallDirectory against a registry file with `contents` (none when null).
struct Lookup {
    bool found;
    std::string directory;
};

Lookup lookUp(const char* contents) {
    fixture::ScopedTempDir dir;
    if (contents) {
        fixture::writeFile("registry.reg", contents);
        setenv("PATCHER_REGISTRY", (dir.path() + "/registry.reg").c_str(), 1);
    } else {
        unsetenv("PATCHER_REGISTRY");
    }
    char directory[patcher::kPathBufferSize];
    std::memset(directory, 'x', sizeof directory);
    Lookup result;
    result.found = patcher::findInstallDirectory(directory, sizeof directory);
    result.directory = result.found ? directory : "";
    unsetenv("PATCHER_REGISTRY");
    return result;
}

const char kKey[] = "[HKEY_LOCAL_MACHINE\\Software\\Pellmark\\Torvicor\\Vardane]\n";

}  // namespace

TEST(InstallDirectory, ReadsThePathValueOfTheGameKey) {
    std::string file = std::string("Windows Registry Editor Version 5.00\r\n\r\n") +
                       "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"Path\"=\"/wrong\"\r\n\r\n" +
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pellmark\\Torvicor\\Vardane]\r\n" +
                       "\"Version\"=dword:00000102\r\n\"path\"=\"C:\\\\Games\\\\Vardane \\\"Gold\\\"\"\r\n";
    Lookup result = lookUp(file.c_str());
    EXPECT_TRUE(result.found);
    EXPECT_EQ("C:\\Games\\Vardane \"Gold\"", result.directory);
}

TEST(InstallDirectory, MissingKeyEmptyOrTooLongValueCountAsNotFound) {
    std::string fits = std::string("REGEDIT4\n") + kKey + "\"Path\"=\"" + std::string(259, 'f') + "\"\n";
    EXPECT_TRUE(lookUp(fits.c_str()).found);
    std::string tooLong = std::string("REGEDIT4\n") + kKey + "\"Path\"=\"" + std::string(260, 'f') + "\"\n";
    EXPECT_FALSE(lookUp(tooLong.c_str()).found);
    EXPECT_FALSE(lookUp((std::string("REGEDIT4\n") + kKey + "\"Path\"=\"\"\n").c_str()).found);
    EXPECT_FALSE(lookUp((std::string("REGEDIT4\n") + kKey + "\"Other\"=\"C:\\\\x\"\n").c_str()).found);
    EXPECT_FALSE(lookUp((std::string("REGEDIT4\n") + kKey + "\"Path\"=dword:00000001\n").c_str()).found);
    EXPECT_FALSE(lookUp("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Pellmark]\n\"Path\"=\"C:\\\\x\"\n").found);
    EXPECT_FALSE(lookUp(nullptr).found);
    setenv("PATCHER_REGISTRY", "/nonexistent/registry.reg", 1);
    char directory[patcher::kPathBufferSize];
    EXPECT_FALSE(patcher::findInstallDirectory(directory, sizeof directory));
    unsetenv("PATCHER_REGISTRY");
}

TEST(Outcome, MessageNamesTheOutcomeUnderTheCaption) {
    const struct {
        int outcome;
        const char* line;
    } cases[] = {
        {0, "Vardane Patch 1.02: Patch was successfully applied.\n"},
        {2, "Vardane Patch 1.02: Vardane not found!\n"},
        {3, "Vardane Patch 1.02: Invalid Vardane installation\n"},
        {5, "Vardane Patch 1.02: Patch file is corrupted\n"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        patcher::showOutcome(c.outcome);
        EXPECT_EQ(c.line, testing::internal::GetCapturedStderr());
    }
}
#endif
