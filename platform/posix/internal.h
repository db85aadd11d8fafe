// Helpers shared by the POSIX backend files.
#pragma once

#include <string>

namespace platform {

// Windows paths use '\' as well as '/'; POSIX sees only '/'.
std::string nativePath(const char* path);

// String resources of a POSIX build: each program links its own table,
// made from the same texts as its Windows resource script.
struct StringResource {
    unsigned id;
    const char* text;
};
extern const StringResource kStringResources[];
extern const unsigned kStringResourceCount;

}  // namespace platform
