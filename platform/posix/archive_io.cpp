// minizip's standard-stream file functions serve for reading the patcher file on POSIX.
#include "platform/platform.h"

#include <ioapi.h>

namespace platform {

void fillArchiveFileFunctions(zlib_filefunc_def_s* functions) {
    fill_fopen_filefunc(functions);
}

}  // namespace platform
