// POSIX outcome message: one "caption: text" line on standard error.
#include "platform/platform.h"

#include <cstdio>

namespace platform {

void messageBox(const char* text, const char* caption, bool /*isError*/) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}

}  // namespace platform
