// Entry of the converter on POSIX: each argument is quoted into a Windows-style tail, so
// `sondrel SRC DST` runs as `sondrel.exe "SRC" "DST"` does.
#include "sondrel/converter.h"

#include "platform/platform.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
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
