// minizip's file functions on POSIX. A file opened for reading only (the patcher file, read by
// the extraction pass and its header reader at once) is read with pread through two windows:
// minizip goes back and forth between the central directory and each entry's local header, and
// a single buffer would be refilled, with a seek, for both on every entry. Memory stays two
// windows a stream, whatever the size of the file. Writing (the builder's archives) goes
// through minizip's standard streams. Paths are translated like every other path of the product.
#include "platform/platform.h"
#include "platform/posix/internal.h"

#include <ioapi.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace platform {

namespace {

zlib_filefunc_def standard;

const uLong kWindowSize = 64 * 1024;

struct Window {
    uLong offset = 0;
    uLong length = 0;
    unsigned long long lastUse = 0;
    unsigned char data[kWindowSize];
};

struct ArchiveStream {
    voidpf file = nullptr;  // a standard stream, or null for a file read through windows
    int fd = -1;
    uLong size = 0;
    uLong position = 0;
    bool failed = false;
    unsigned long long uses = 0;
    Window windows[2];
};

ArchiveStream* openForReading(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return nullptr;
    struct stat info;
    // Patcher files stay below 2 GiB.
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size >= 0x7FFFFFFF) {
        close(fd);
        return nullptr;
    }
    ArchiveStream* stream = new ArchiveStream;
    stream->fd = fd;
    stream->size = static_cast<uLong>(info.st_size);
    return stream;
}

// Reads what is there at `offset` into `buffer`, up to `count` bytes.
uLong readAt(ArchiveStream* s, uLong offset, unsigned char* buffer, uLong count) {
    uLong done = 0;
    while (done < count) {
        ssize_t got = pread(s->fd, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            s->failed = true;
        if (got <= 0)
            break;
        done += static_cast<uLong>(got);
    }
    return done;
}

uLong readThroughWindows(ArchiveStream* s, unsigned char* buffer, uLong size) {
    uLong done = 0;
    while (done < size && s->position < s->size) {
        uLong at = s->position;
        Window* hit = nullptr;
        for (Window& w : s->windows)
            if (w.length && at >= w.offset && at < w.offset + w.length)
                hit = &w;
        if (!hit) {
            // A large read goes straight into the caller's buffer.
            if (size - done >= kWindowSize) {
                uLong got = readAt(s, at, buffer + done, size - done);
                s->position += got;
                done += got;
                break;
            }
            hit = s->windows[0].lastUse <= s->windows[1].lastUse ? &s->windows[0] : &s->windows[1];
            hit->offset = at;
            hit->length = readAt(s, at, hit->data, kWindowSize);
            if (hit->length == 0)
                break;
        }
        hit->lastUse = ++s->uses;
        uLong available = hit->offset + hit->length - at;
        uLong count = size - done < available ? size - done : available;
        std::memcpy(buffer + done, hit->data + (at - hit->offset), count);
        s->position += count;
        done += count;
    }
    return done;
}

voidpf ZCALLBACK openArchive(voidpf opaque, const char* filename, int mode) {
    std::string path = nativePath(filename);
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ &&
        !(mode & ZLIB_FILEFUNC_MODE_CREATE))
        return openForReading(path);
    voidpf file = standard.zopen_file(opaque, path.c_str(), mode);
    if (!file)
        return nullptr;
    ArchiveStream* stream = new ArchiveStream;
    stream->file = file;
    return stream;
}

uLong ZCALLBACK readArchive(voidpf opaque, voidpf stream, void* buffer, uLong size) {
    ArchiveStream* s = static_cast<ArchiveStream*>(stream);
    if (s->file)
        return standard.zread_file(opaque, s->file, buffer, size);
    return readThroughWindows(s, static_cast<unsigned char*>(buffer), size);
}

uLong ZCALLBACK writeArchive(voidpf opaque, voidpf stream, const void* data, uLong size) {
    ArchiveStream* s = static_cast<ArchiveStream*>(stream);
    return s->file ? standard.zwrite_file(opaque, s->file, data, size) : 0;
}

long ZCALLBACK tellArchive(voidpf opaque, voidpf stream) {
    ArchiveStream* s = static_cast<ArchiveStream*>(stream);
    return s->file ? standard.ztell_file(opaque, s->file) : static_cast<long>(s->position);
}

long ZCALLBACK seekArchive(voidpf opaque, voidpf stream, uLong offset, int origin) {
    ArchiveStream* s = static_cast<ArchiveStream*>(stream);
    if (s->file)
        return standard.zseek_file(opaque, s->file, offset, origin);
    uLong base = origin == ZLIB_FILEFUNC_SEEK_CUR ? s->position : origin == ZLIB_FILEFUNC_SEEK_END ? s->size : 0;
    if (origin != ZLIB_FILEFUNC_SEEK_SET && origin != ZLIB_FILEFUNC_SEEK_CUR && origin != ZLIB_FILEFUNC_SEEK_END)
        return -1;
    // As a file would, a position past the end reads nothing.
    s->position = base + offset;
    return 0;
}

int ZCALLBACK closeArchive(voidpf opaque, voidpf stream) {
    ArchiveStream* s = static_cast<ArchiveStream*>(stream);
    int result = 0;
    if (s->file)
        result = standard.zclose_file(opaque, s->file);
    else
        result = close(s->fd);
    delete s;
    return result;
}

int ZCALLBACK errorArchive(voidpf opaque, voidpf stream) {
    ArchiveStream* s = static_cast<ArchiveStream*>(stream);
    return s->file ? standard.zerror_file(opaque, s->file) : s->failed;
}

}  // namespace

void fillArchiveFileFunctions(zlib_filefunc_def_s* functions) {
    fill_fopen_filefunc(&standard);
    *functions = standard;
    functions->zopen_file = openArchive;
    functions->zread_file = readArchive;
    functions->zwrite_file = writeArchive;
    functions->ztell_file = tellArchive;
    functions->zseek_file = seekArchive;
    functions->zclose_file = closeArchive;
    functions->zerror_file = errorArchive;
}

}  // namespace platform
