// minizip finds the end record by searching back from the end of the file and reads every
// stored offset relative to the archive's first byte, so the executable image in front of the
// archive needs no description of its own.
//
// minizip is handed the file functions through its 64-bit interface. Its bridge to 32-bit
// functions refuses every offset that does not fit in an unsigned long, and where that has 32
// bits (Windows) a step back is such an offset: reading an entry's extra field from the central
// directory steps back over it, and would fail there.
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

// The 64-bit functions over the 32-bit ones: positions stay below 2 GiB.
voidpf ZCALLBACK open64(voidpf opaque, const void* filename, int mode) {
    const zlib_filefunc_def* f = static_cast<const zlib_filefunc_def*>(opaque);
    return f->zopen_file(f->opaque, static_cast<const char*>(filename), mode);
}

uLong ZCALLBACK read64(voidpf opaque, voidpf stream, void* buffer, uLong size) {
    const zlib_filefunc_def* f = static_cast<const zlib_filefunc_def*>(opaque);
    return f->zread_file(f->opaque, stream, buffer, size);
}

uLong ZCALLBACK write64(voidpf opaque, voidpf stream, const void* data, uLong size) {
    const zlib_filefunc_def* f = static_cast<const zlib_filefunc_def*>(opaque);
    return f->zwrite_file(f->opaque, stream, data, size);
}

ZPOS64_T ZCALLBACK tell64(voidpf opaque, voidpf stream) {
    const zlib_filefunc_def* f = static_cast<const zlib_filefunc_def*>(opaque);
    long at = f->ztell_file(f->opaque, stream);
    return at < 0 ? static_cast<ZPOS64_T>(-1) : static_cast<ZPOS64_T>(at);
}

long ZCALLBACK seek64(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin) {
    const zlib_filefunc_def* f = static_cast<const zlib_filefunc_def*>(opaque);
    long long target = static_cast<long long>(offset);
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
        // minizip's steps back come as offsets that wrap around.
        long at = f->ztell_file(f->opaque, stream);
        if (at < 0)
            return -1;
        target += at;
        origin = ZLIB_FILEFUNC_SEEK_SET;
    }
    if (origin == ZLIB_FILEFUNC_SEEK_END)
        return target == 0 ? f->zseek_file(f->opaque, stream, 0, origin) : -1;
    if (target < 0 || target > 0x7FFFFFFFll)
        return -1;
    return f->zseek_file(f->opaque, stream, static_cast<uLong>(target), origin);
}

int ZCALLBACK close64(voidpf opaque, voidpf stream) {
    const zlib_filefunc_def* f = static_cast<const zlib_filefunc_def*>(opaque);
    return f->zclose_file(f->opaque, stream);
}

int ZCALLBACK error64(voidpf opaque, voidpf stream) {
    const zlib_filefunc_def* f = static_cast<const zlib_filefunc_def*>(opaque);
    return f->zerror_file(f->opaque, stream);
}

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
    zlib_filefunc64_def wide = {open64, read64, write64, tell64, seek64, close64, error64, &archiveFunctions};
    return unzOpen2_64(path, &wide);
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
