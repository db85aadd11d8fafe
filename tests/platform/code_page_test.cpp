// The code page tables: characters each page holds, both ways, and what no page holds.
#include "platform/code_page.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

TEST(CodePage, EachPageHoldsItsOwnLettersBothWays) {
    struct Case {
        unsigned codePage;
        std::string utf8;
        std::string bytes;
    } cases[] = {
        {1252, "Schlüssel Tür Élan Café crème Grüße", "Schl\xfcssel T\xfcr \xc9lan Caf\xe9 cr\xe8me Gr\xfc\xdf" "e"},
        {1252, "€ œ Ÿ „ ‰ ™", "\x80 \x9c \x9f \x84 \x89 \x99"},
        {1250, "Łódź Żółć Česká", "\xa3\xf3" "d\x9f \xaf\xf3\xb3\xe6 \xc8" "esk\xe1"},
        {1251, "Привет Ёж Ґ", "\xcf\xf0\xe8\xe2\xe5\xf2 \xa8\xe6 \xa5"},
        // Bytes a page leaves undefined stand for the control characters of their numbers.
        {1252, "\xc2\x81\xc2\x8d", "\x81\x8d"},
        {1251, "\xc2\x98", "\x98"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        bool exact = false;
        EXPECT_EQ(c.bytes, platform::utf8ToCodePage(c.utf8, c.codePage, &exact));
        EXPECT_TRUE(exact);
        EXPECT_EQ(c.utf8, platform::codePageToUtf8(c.bytes, c.codePage));
    }
}

TEST(CodePage, WhatAPageCannotHoldBecomesAQuestionMarkAndIsNotExact) {
    struct Case {
        unsigned codePage;
        std::string utf8;
        std::string bytes;
    } cases[] = {
        {1252, "Łódź.txt", "?\xf3" "d?.txt"},
        {1251, "Tür", "T?r"},
        {1252, "日本", "??"},
        {1252, "emoji \xf0\x9f\x98\x80", "emoji ?"},
        {1252, std::string("nul\0x", 5), "nul?x"},
        {1252, "stray \xfc byte", "stray ? byte"},
        {1252, "overlong \xc0\xaf", "overlong ?"},
        {1252, "surrogate \xed\xa0\x80", "surrogate ?"},
        {1252, "cut \xc3", "cut ?"},
        {1253, "plain", "plain"},  // no table: nothing is exact
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        bool exact = true;
        EXPECT_EQ(c.bytes, platform::utf8ToCodePage(c.utf8, c.codePage, &exact));
        EXPECT_FALSE(exact);
    }
}

TEST(CodePage, Utf8WellFormedness) {
    EXPECT_TRUE(platform::isUtf8("Café \xe2\x82\xac \xf0\x9f\x98\x80"));
    for (const char* bad : {"\xfc", "\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\x80"})
        EXPECT_FALSE(platform::isUtf8(bad)) << bad;
}

// The product's conversion of a flagged name: exact or nothing.
TEST(AnsiName, ConvertsExactlyOrNotAtAll) {
    struct Case {
        std::string utf8;
        bool converts;
        std::string ansi;
    } cases[] = {
        {"Daten/Schlüssel/Tür.txt", true, "Daten/Schl\xfcssel/T\xfcr.txt"},
        {"", true, ""},
        {"Łódź.txt", false, ""},
        {"bad\xff.txt", false, ""},
        {std::string("a\0b", 3), false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        char buffer[256] = "untouched";
        EXPECT_EQ(c.converts, platform::utf8ToAnsi(c.utf8.data(), c.utf8.size(), buffer, sizeof buffer));
        if (c.converts) {
            EXPECT_EQ(c.ansi, buffer);
        }
    }
    char small[4];
    EXPECT_FALSE(platform::utf8ToAnsi("Tür.txt", 8, small, sizeof small));
}
