// Test helper: holds a file open for reading and writing without sharing, the way a running
// program can, until a release file appears (or two minutes pass).
//   holdfile FILE READY-MARKER RELEASE-MARKER
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: holdfile FILE READY RELEASE\n");
        return 2;
    }
    HANDLE held = ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (held == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "holdfile: cannot open %s (error %lu)\n", argv[1], ::GetLastError());
        return 1;
    }
    HANDLE ready = ::CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ::CloseHandle(ready);
    for (int waited = 0; waited < 1200; ++waited) {
        if (::GetFileAttributesA(argv[3]) != INVALID_FILE_ATTRIBUTES)
            break;
        ::Sleep(100);
    }
    ::CloseHandle(held);
    return 0;
}
