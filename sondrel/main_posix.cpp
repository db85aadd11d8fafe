// Entry of the converter on POSIX: each argument is quoted into a Windows-style tail, so
// `sondrel SRC DST` runs as `sondrel.exe "SRC" "DST"` does.
#include "sondrel/converter.h"

#include "platform/platform.h"

#include <malloc.h>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Each sound is decoded whole into one block that is freed before the next file. A block
    // of a mebibyte or more gets a mapping of its own, handed back when it is freed: kept in the
    // heap instead, a block that the next, slightly larger sound cannot reuse would stay beside
    // the new one, and the peak would be two sounds, not one. A fixed threshold also keeps
    // glibc from raising it after the first such block is freed.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            tail += ' ';
        tail += '"';
        tail += argv[i];
        tail += '"';
    }
    // The arguments come in the file system's UTF-8; the converter works in its code page.
    std::vector<char> text(tail.size() + 1);
    platform::systemTextToAnsi(tail.c_str(), text.data(), static_cast<unsigned long>(text.size()));
    return sondrel::runConverter(text.data());
}
