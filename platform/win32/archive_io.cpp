// minizip's Win32 file functions: the patcher file opened read-only, existing, shared for reading.
#include "platform/platform.h"
#include "platform/win32/win32.h"

// iowin32.h leans on the two headers before it.
#include <ioapi.h>
#include <iowin32.h>

namespace platform {

void fillArchiveFileFunctions(zlib_filefunc_def_s* functions) {
    fill_win32_filefunc(functions);
}

}  // namespace platform
