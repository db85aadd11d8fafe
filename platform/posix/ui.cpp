// POSIX outcome message: one "caption: text" line on standard error; whether a stream is a
// terminal.
#include "platform/platform.h"

#include <unistd.h>

#include <cstdio>

namespace platform {

void messageBox(const char* text, const char* caption, bool /*isError*/) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}

bool isTerminal(FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

}  // namespace platform
