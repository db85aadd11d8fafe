// Which entry names and data the patcher accepts.
#include "patcher/entry_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using patcher::EntryProblem;

TEST(EntryRules, NamesBelowTheInstallFolderOnly) {
    const struct {
        std::string name;
        EntryProblem expected;
    } cases[] = {
        {"patch.bat", EntryProblem::None},
        {"Patch/a/x.ogg", EntryProblem::None},
        {"Patch\\a\\x.ogg", EntryProblem::None},
        {"dir/", EntryProblem::None},
        {"..hidden/file..", EntryProblem::None},
        {"a/./b", EntryProblem::None},
        {"./a", EntryProblem::None},
        {"ab:c", EntryProblem::None},  // a colon marks a drive only after a first letter
        {"..", EntryProblem::ParentComponent},
        {"../x", EntryProblem::ParentComponent},
        {"a/..", EntryProblem::ParentComponent},
        {"a/../b", EntryProblem::ParentComponent},
        {"a\\..\\b", EntryProblem::ParentComponent},
        {"a/..\\b", EntryProblem::ParentComponent},
        {"/etc/passwd", EntryProblem::AbsoluteName},
        {"\\Windows\\x", EntryProblem::AbsoluteName},
        {"\\\\server\\share\\x", EntryProblem::AbsoluteName},
        {"C:x", EntryProblem::AbsoluteName},
        {"z:\\x", EntryProblem::AbsoluteName},
        {std::string(255, 'a'), EntryProblem::None},
        {std::string(256, 'a'), EntryProblem::NameTooLong},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, patcher::checkEntryName(c.name.c_str(), c.name.size())) << c.name;
}

TEST(EntryRules, ComponentsAfterAnEmbeddedNulStillCount) {
    const char name[] = "good.txt\0../../evil";
    EXPECT_EQ(EntryProblem::ParentComponent, patcher::checkEntryName(name, sizeof name - 1));
}

TEST(EntryRules, OnlyPlainStoredOrDeflatedData) {
    EXPECT_EQ(EntryProblem::None, patcher::checkEntryData(0, 0x0000));
    EXPECT_EQ(EntryProblem::None, patcher::checkEntryData(8, 0x0002));
    EXPECT_EQ(EntryProblem::None, patcher::checkEntryData(8, 0x0808));  // descriptor and UTF-8 bits
    EXPECT_EQ(EntryProblem::UnsupportedMethod, patcher::checkEntryData(12, 0));
    EXPECT_EQ(EntryProblem::UnsupportedMethod, patcher::checkEntryData(99, 0));
    EXPECT_EQ(EntryProblem::Encrypted, patcher::checkEntryData(8, 0x0001));
    EXPECT_EQ(EntryProblem::Encrypted, patcher::checkEntryData(99, 0x0041));
}
