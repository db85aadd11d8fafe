// minizip finds the end record by searching back from the end of the file and reads every
// stored offset relative to the archive's first byte, so the executable image in front of the
// archive needs no description of its own.
#include "patcher/archive.h"

#include "platform/platform.h"

namespace patcher {

unzFile openPatchArchive(const char* ownPath) {
    zlib_filefunc_def functions;
    platform::fillArchiveFileFunctions(&functions);
    return unzOpen2(ownPath, &functions);
}

}  // namespace patcher
