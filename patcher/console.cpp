// Console lines: formatted into a line buffer, then handed to a fully buffered standard output
// and flushed, which makes one write of the whole line on every C runtime.
#include "patcher/console.h"

#include <cstdarg>
#include <cstdio>

namespace patcher {

namespace {

// The longest line: an entry name of 255 bytes in the longest wording, with room to spare.
const int kLineBufferSize = 1024;

char streamBuffer[kLineBufferSize * 4];

}  // namespace

void bufferConsoleLines() {
    std::setvbuf(stdout, streamBuffer, _IOFBF, sizeof streamBuffer);
}

void printLine(const char* format, ...) {
    char line[kLineBufferSize];
    va_list values;
    va_start(values, format);
    int length = std::vsnprintf(line, sizeof line, format, values);
    va_end(values);
    if (length < 0)
        return;
    if (length >= kLineBufferSize) {
        // Cut, but still a line.
        length = kLineBufferSize - 1;
        line[length - 1] = '\n';
    }
    std::fwrite(line, 1, static_cast<size_t>(length), stdout);
    std::fflush(stdout);
}

}  // namespace patcher
