// Fuzz target: arbitrary bytes as the converter's command-line tail. Besides the sanitizers,
// it checks that both roots are substrings of the tail and that what the count of quotation
// marks promises holds.
#include "sondrel/command_line.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using fuzz::require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string tail(reinterpret_cast<const char*>(data), size);
    sondrel::CommandLine roots = sondrel::parseCommandLine(tail);
    require(tail.find(roots.sourceRoot) != std::string::npos, "source root is not part of the tail");
    require(tail.find(roots.destinationRoot) != std::string::npos, "destination root is not part of the tail");
    size_t marks = 0;
    for (char c : tail)
        marks += c == '"';
    if (marks >= 4) {
        require(roots.sourceRoot.find('"') == std::string::npos, "a quotation mark inside the source root");
        require(roots.destinationRoot.find('"') == std::string::npos, "a quotation mark inside the destination root");
    }
    if (marks == 0)
        require(roots.sourceRoot == tail && roots.destinationRoot == tail, "without marks both roots are the tail");
    return 0;
}
