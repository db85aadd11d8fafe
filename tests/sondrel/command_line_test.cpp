// The converter's command line: what the quotation-mark count yields, and the wrap of a
// failed search.
#include "sondrel/command_line.h"

#include <gtest/gtest.h>

using sondrel::findQuote;
using sondrel::kNotFound;
using sondrel::parseCommandLine;

TEST(CommandLine, RootsByTheCountOfQuotationMarks) {
    struct Row {
        const char* tail;
        const char* source;
        const char* destination;
    };
    const Row rows[] = {
        // The patcher's script hands on two full paths ending in a backslash.
        {"\"C:\\Game\\Patch\\\" \"C:\\Game\\Sounds\\\"", "C:\\Game\\Patch\\", "C:\\Game\\Sounds\\"},
        {"first \"a\" between \"b\" after", "a", "b"},
        {"\"a\" \"b\" \"c\" \"d\"", "a", "b"},
        {"\" a b \" \"c \"", " a b ", "c "},
        {"\"\" \"b\"", "", "b"},
        {"\"a\" \"b c", "a", "b c"},
        {"pre \"a\" post", "a", "pre "},
        {"\"a\" post", "a", ""},
        {"x \"abc", "abc", "abc"},
        {"no marks at all", "no marks at all", "no marks at all"},
        {"", "", ""},
        {"\"", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tail);
        sondrel::CommandLine roots = parseCommandLine(row.tail);
        EXPECT_EQ(row.source, roots.sourceRoot);
        EXPECT_EQ(row.destination, roots.destinationRoot);
    }
}

TEST(CommandLine, AFailedSearchWrapsToTheStart) {
    const std::string text = "ab\"cd\"";
    EXPECT_EQ(2u, findQuote(text, 0));
    EXPECT_EQ(5u, findQuote(text, 3));
    EXPECT_EQ(kNotFound, findQuote(text, 6));
    EXPECT_EQ(kNotFound, findQuote(text, kNotFound));
    // The position after a failed search is 0 again: the next search starts over.
    EXPECT_EQ(2u, findQuote(text, kNotFound + 1u));
}
