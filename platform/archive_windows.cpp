// The two-window reader and the minizip file functions around it.
#include "platform/archive_windows.h"

#include <ioapi.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace platform {

unsigned long ArchiveWindows::fill(unsigned long offset, void* buffer, unsigned long count) {
    unsigned long done = 0;
    if (!readAt_(file_, offset, buffer, count, &done))
        failed_ = true;
    return done;
}

unsigned long ArchiveWindows::read(void* buffer, unsigned long count) {
    unsigned char* out = static_cast<unsigned char*>(buffer);
    unsigned long done = 0;
    while (done < count && position_ < size_) {
        unsigned long at = position_;
        Window* hit = nullptr;
        for (Window& w : windows_)
            if (w.length && at >= w.offset && at - w.offset < w.length)
                hit = &w;
        if (!hit) {
            // A read of a window or more goes straight into the caller's buffer.
            if (count - done >= kWindowSize) {
                unsigned long got = fill(at, out + done, count - done);
                position_ += got;
                done += got;
                break;
            }
            hit = windows_[0].lastUse <= windows_[1].lastUse ? &windows_[0] : &windows_[1];
            hit->offset = at;
            hit->length = fill(at, hit->data, kWindowSize);
            if (hit->length == 0)
                break;
        }
        hit->lastUse = ++uses_;
        unsigned long available = hit->offset + hit->length - at;
        unsigned long part = count - done < available ? count - done : available;
        const unsigned char* from = hit->data + (at - hit->offset);
        // minizip reads headers a byte at a time: a call to memcpy for each costs more than the copy.
        if (part <= 8) {
            for (unsigned long i = 0; i < part; ++i)
                out[done + i] = from[i];
        } else {
            std::memcpy(out + done, from, part);
        }
        position_ += part;
        done += part;
    }
    return done;
}

long ArchiveWindows::seek(unsigned long offset, int origin) {
    unsigned long base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR)
        base = position_;
    else if (origin == ZLIB_FILEFUNC_SEEK_END)
        base = size_;
    else if (origin != ZLIB_FILEFUNC_SEEK_SET)
        return -1;
    position_ = base + offset;
    return 0;
}

namespace {

ArchiveReading readingFunctions;
zlib_filefunc_def writingFunctions;

// Either a windowed reader or a stream of the writing functions it was opened with.
struct Stream {
    ArchiveWindows* windows;
    ArchiveReading reading;
    voidpf file;
    zlib_filefunc_def writing;
};

bool readOnly(int mode) {
    return (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ &&
           !(mode & ZLIB_FILEFUNC_MODE_CREATE);
}

voidpf ZCALLBACK openStream(voidpf opaque, const char* filename, int mode) {
    Stream stream = {nullptr, readingFunctions, nullptr, writingFunctions};
    if (readOnly(mode)) {
        unsigned long size = 0;
        void* file = filename ? stream.reading.open(filename, &size) : nullptr;
        if (!file)
            return nullptr;
        void* memory = std::malloc(sizeof(ArchiveWindows));
        if (!memory) {
            stream.reading.close(file);
            return nullptr;
        }
        stream.windows = new (memory) ArchiveWindows(file, size, stream.reading.readAt);
    } else {
        stream.file = stream.writing.zopen_file(opaque, filename, mode);
        if (!stream.file)
            return nullptr;
    }
    Stream* s = static_cast<Stream*>(std::malloc(sizeof(Stream)));
    if (s) {
        *s = stream;
    } else if (stream.windows) {
        stream.reading.close(stream.windows->file());
        std::free(stream.windows);
    } else {
        stream.writing.zclose_file(opaque, stream.file);
    }
    return s;
}

uLong ZCALLBACK readStream(voidpf opaque, voidpf stream, void* buffer, uLong size) {
    Stream* s = static_cast<Stream*>(stream);
    return s->windows ? s->windows->read(buffer, size) : s->writing.zread_file(opaque, s->file, buffer, size);
}

uLong ZCALLBACK writeStream(voidpf opaque, voidpf stream, const void* data, uLong size) {
    Stream* s = static_cast<Stream*>(stream);
    return s->windows ? 0 : s->writing.zwrite_file(opaque, s->file, data, size);
}

long ZCALLBACK tellStream(voidpf opaque, voidpf stream) {
    Stream* s = static_cast<Stream*>(stream);
    return s->windows ? static_cast<long>(s->windows->tell()) : s->writing.ztell_file(opaque, s->file);
}

long ZCALLBACK seekStream(voidpf opaque, voidpf stream, uLong offset, int origin) {
    Stream* s = static_cast<Stream*>(stream);
    return s->windows ? s->windows->seek(offset, origin) : s->writing.zseek_file(opaque, s->file, offset, origin);
}

int ZCALLBACK closeStream(voidpf opaque, voidpf stream) {
    Stream* s = static_cast<Stream*>(stream);
    int result = 0;
    if (s->windows) {
        s->reading.close(s->windows->file());
        s->windows->~ArchiveWindows();
        std::free(s->windows);
    } else {
        result = s->writing.zclose_file(opaque, s->file);
    }
    std::free(s);
    return result;
}

int ZCALLBACK errorStream(voidpf opaque, voidpf stream) {
    Stream* s = static_cast<Stream*>(stream);
    return s->windows ? s->windows->failed() : s->writing.zerror_file(opaque, s->file);
}

}  // namespace

void fillWindowedArchiveFunctions(zlib_filefunc_def_s* functions, const ArchiveReading& reading,
                                  const zlib_filefunc_def_s& writing) {
    readingFunctions = reading;
    writingFunctions = writing;
    *functions = writing;
    functions->zopen_file = openStream;
    functions->zread_file = readStream;
    functions->zwrite_file = writeStream;
    functions->ztell_file = tellStream;
    functions->zseek_file = seekStream;
    functions->zclose_file = closeStream;
    functions->zerror_file = errorStream;
}

}  // namespace platform
