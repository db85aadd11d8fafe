// minizip finds the end record by searching back from the end of the file and reads every
// stored offset relative to the archive's first byte, so the executable image in front of the
// archive needs no description of its own.
#include "patcher/archive.h"

#include "platform/platform.h"

#include <cstring>

namespace patcher {

namespace {

const unsigned kPathBufferSize = 260;
const unsigned kNameBufferSize = 256;
const unsigned long kMaxExtraSize = 1024;

// What the archive was opened with, for the header reader.
zlib_filefunc_def archiveFunctions;
char archivePath[kPathBufferSize];
voidpf headerStream;

}  // namespace

unzFile openPatchArchive(const char* ownPath) {
    zlib_filefunc_def functions;
    platform::fillArchiveFileFunctions(&functions);
    return openPatchArchiveWith(ownPath, functions);
}

unzFile openPatchArchiveWith(const char* path, const zlib_filefunc_def& functions) {
    archiveFunctions = functions;
    std::strncpy(archivePath, path, sizeof archivePath - 1);
    archivePath[sizeof archivePath - 1] = 0;
    return unzOpen2(path, &archiveFunctions);
}

bool openHeaderReader() {
    closeHeaderReader();
    headerStream = archiveFunctions.zopen_file(archiveFunctions.opaque, archivePath,
                                               ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
    return headerStream != NULL;
}

void closeHeaderReader() {
    if (headerStream)
        archiveFunctions.zclose_file(archiveFunctions.opaque, headerStream);
    headerStream = NULL;
}

bool localNameMatches(unzFile archive, const char* name, unsigned long length) {
    if (!headerStream || length >= kNameBufferSize)
        return false;
    // The local name stands right before the local extra field, which stands right before
    // the entry's data.
    ZPOS64_T data = unzGetCurrentFileZStreamPos64(archive);
    int extra = unzGetLocalExtrafield(archive, NULL, 0);
    if (data == 0 || extra < 0 || data < static_cast<ZPOS64_T>(extra) + length)
        return false;
    ZPOS64_T at = data - static_cast<ZPOS64_T>(extra) - length;
    char local[kNameBufferSize];
    if (at > 0x7FFFFFFFul ||
        archiveFunctions.zseek_file(archiveFunctions.opaque, headerStream, static_cast<uLong>(at),
                                    ZLIB_FILEFUNC_SEEK_SET) != 0 ||
        archiveFunctions.zread_file(archiveFunctions.opaque, headerStream, local, length) != length)
        return false;
    return std::memcmp(local, name, length) == 0;
}

bool localExtraFieldMatches(unzFile archive, const unsigned char* extra, unsigned long length) {
    ZPOS64_T data = unzGetCurrentFileZStreamPos64(archive);
    int stated = unzGetLocalExtrafield(archive, NULL, 0);
    if (!headerStream || data == 0 || stated < 0 || static_cast<unsigned long>(stated) != length || data < length ||
        length > kMaxExtraSize)
        return false;
    unsigned char local[kMaxExtraSize];
    ZPOS64_T at = data - length;
    if (length == 0)
        return true;
    if (at > 0x7FFFFFFFul ||
        archiveFunctions.zseek_file(archiveFunctions.opaque, headerStream, static_cast<uLong>(at),
                                    ZLIB_FILEFUNC_SEEK_SET) != 0 ||
        archiveFunctions.zread_file(archiveFunctions.opaque, headerStream, local, length) != length)
        return false;
    return std::memcmp(local, extra, length) == 0;
}

}  // namespace patcher
