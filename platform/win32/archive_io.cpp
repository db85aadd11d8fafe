// minizip's Win32 file functions: the patcher file opened read-only, existing, shared for
// reading. The publisher's tool, with UTF-8 paths in use, reads through the standard streams
// opened by wide name instead.
#include "platform/platform.h"
#include "platform/win32/internal.h"
#include "platform/win32/win32.h"

// iowin32.h leans on the two headers before it.
#include <ioapi.h>
#include <iowin32.h>

#include <cstdio>

namespace platform {

namespace {

voidpf ZCALLBACK openWide(voidpf /*opaque*/, const char* filename, int mode) {
    const wchar_t* how = (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ ? L"rb"
                         : (mode & ZLIB_FILEFUNC_MODE_EXISTING)                                ? L"r+b"
                                                                                                : L"wb";
    wchar_t path[kWidePathSize];
    return filename && widePath(filename, path, kWidePathSize) ? ::_wfopen(path, how) : NULL;
}

}  // namespace

void fillArchiveFileFunctions(zlib_filefunc_def_s* functions) {
    if (utf8PathsInUse()) {
        fill_fopen_filefunc(functions);
        functions->zopen_file = openWide;
        return;
    }
    fill_win32_filefunc(functions);
}

}  // namespace platform
