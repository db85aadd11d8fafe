// Parsing the tail by counting quotation marks, with 32-bit positions that wrap.
#include "sondrel/command_line.h"

namespace sondrel {

namespace {

// At most `length` characters from `start`; a start past the end gives nothing.
std::string substringAt(const std::string& text, uint32_t start, uint32_t length) {
    if (start >= text.size())
        return std::string();
    return text.substr(start, length);
}

}  // namespace

uint32_t findQuote(const std::string& text, uint32_t from) {
    for (size_t i = from; i < text.size() && i < kNotFound; ++i)
        if (text[i] == '"')
            return static_cast<uint32_t>(i);
    return kNotFound;
}

CommandLine parseCommandLine(const std::string& tail) {
    CommandLine roots;
    uint32_t q1 = findQuote(tail, 0);
    uint32_t q2 = findQuote(tail, q1 + 1);
    roots.sourceRoot = substringAt(tail, q1 + 1, q2 - q1 - 1);
    uint32_t q3 = findQuote(tail, q2 + 1);
    uint32_t q4 = findQuote(tail, q3 + 1);
    roots.destinationRoot = substringAt(tail, q3 + 1, q4 - q3 - 1);
    return roots;
}

}  // namespace sondrel
