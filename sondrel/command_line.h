// The converter's command line: two roots between quotation marks.
#pragma once

#include <cstdint>
#include <string>

namespace sondrel {

// Positions in the tail are unsigned 32-bit; a search that finds nothing gives kNotFound,
// and kNotFound + 1 wraps to 0.
const uint32_t kNotFound = 0xFFFFFFFFu;

// Index of the first quotation mark at or after `from`, or kNotFound.
uint32_t findQuote(const std::string& text, uint32_t from);

struct CommandLine {
    std::string sourceRoot;       // between the 1st and the 2nd quotation mark
    std::string destinationRoot;  // between the 3rd and the 4th
};

// Plain character search: backslashes escape nothing and nothing is trimmed. With fewer than
// four marks, the failed searches wrap around (see the tests for what each count yields).
CommandLine parseCommandLine(const std::string& tail);

}  // namespace sondrel
