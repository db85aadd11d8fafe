// minizip's file functions on POSIX. A file opened for reading only (the patcher file, read by
// the extraction pass and its header reader at once) is read with pread through two windows;
// writing (the builder's archives) goes through minizip's standard streams. Paths are
// translated like every other path of the product.
#include "platform/archive_windows.h"
#include "platform/platform.h"
#include "platform/posix/internal.h"

#include <ioapi.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

namespace platform {

namespace {

// The descriptor travels as the file pointer, one up so that descriptor 0 is not null.
int descriptorOf(void* file) {
    return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1);
}

bool readAt(void* file, unsigned long offset, void* buffer, unsigned long count, unsigned long* done) {
    unsigned char* out = static_cast<unsigned char*>(buffer);
    *done = 0;
    while (*done < count) {
        ssize_t got = pread(descriptorOf(file), out + *done, count - *done, static_cast<off_t>(offset + *done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        *done += static_cast<unsigned long>(got);
    }
    return true;
}

void* openForReading(const char* filename, unsigned long* size) {
    int fd = open(nativePath(filename).c_str(), O_RDONLY);
    if (fd < 0)
        return nullptr;
    struct stat info;
    // Patcher files stay below 2 GiB.
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size >= 0x7FFFFFFF) {
        close(fd);
        return nullptr;
    }
    *size = static_cast<unsigned long>(info.st_size);
    return reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
}

void closeFile(void* file) {
    close(descriptorOf(file));
}

zlib_filefunc_def standard;

voidpf ZCALLBACK openStandard(voidpf opaque, const char* filename, int mode) {
    return filename ? standard.zopen_file(opaque, nativePath(filename).c_str(), mode) : nullptr;
}

}  // namespace

void fillArchiveFileFunctions(zlib_filefunc_def_s* functions) {
    fill_fopen_filefunc(&standard);
    zlib_filefunc_def writing = standard;
    writing.zopen_file = openStandard;
    const ArchiveReading reading = {readAt, openForReading, closeFile};
    fillWindowedArchiveFunctions(functions, reading, writing);
}

}  // namespace platform
