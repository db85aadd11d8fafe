// minizip's standard-stream file functions serve for reading the patcher file on POSIX; the
// path is translated like every other path of the product.
#include "platform/platform.h"
#include "platform/posix/internal.h"

#include <ioapi.h>

#include <string>

namespace platform {

namespace {

open_file_func standardOpen;

voidpf ZCALLBACK openTranslated(voidpf opaque, const char* filename, int mode) {
    std::string path = nativePath(filename);
    return standardOpen(opaque, path.c_str(), mode);
}

}  // namespace

void fillArchiveFileFunctions(zlib_filefunc_def_s* functions) {
    fill_fopen_filefunc(functions);
    standardOpen = functions->zopen_file;
    functions->zopen_file = openTranslated;
}

}  // namespace platform
