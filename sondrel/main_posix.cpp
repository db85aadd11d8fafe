// Entry of the converter on POSIX: each argument is quoted into a Windows-style tail, so
// `sondrel SRC DST` runs as `sondrel.exe "SRC" "DST"` does.
#include "sondrel/converter.h"

#include <string>

int main(int argc, char** argv) {
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            tail += ' ';
        tail += '"';
        tail += argv[i];
        tail += '"';
    }
    return sondrel::runConverter(tail);
}
