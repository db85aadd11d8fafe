// Reading the patcher file through two windows, shared by both backends' archive functions.
// minizip goes back and forth between the central directory and each entry's local header and
// data, in reads of a few dozen bytes to 16 KiB; a single buffer would be refilled for both on
// every entry. Memory stays two windows a stream, whatever the size of the file.
#pragma once

struct zlib_filefunc_def_s;

namespace platform {

// The backend's positioned read: up to `count` bytes at `offset` of `file` into `buffer`,
// fewer only at the end of the file. False when the file could not be read.
typedef bool (*ReadAt)(void* file, unsigned long offset, void* buffer, unsigned long count, unsigned long* done);

class ArchiveWindows {
public:
    static const unsigned long kWindowSize = 64 * 1024;

    ArchiveWindows(void* file, unsigned long size, ReadAt readAt) : file_(file), size_(size), readAt_(readAt) {}

    // Copies up to `count` bytes from the current position and moves past them; fewer only
    // at the end of the file or when the file cannot be read.
    unsigned long read(void* buffer, unsigned long count);
    // 0, or -1 for an origin minizip does not define. As a file would, a position past the
    // end reads nothing.
    long seek(unsigned long offset, int origin);
    unsigned long tell() const { return position_; }
    bool failed() const { return failed_; }
    void* file() const { return file_; }

private:
    struct Window {
        unsigned long offset;
        unsigned long length;
        unsigned long long lastUse;
        unsigned char data[kWindowSize];
    };

    unsigned long fill(unsigned long offset, void* buffer, unsigned long count);

    void* file_;
    unsigned long size_;
    ReadAt readAt_;
    unsigned long position_ = 0;
    bool failed_ = false;
    unsigned long long uses_ = 0;
    Window windows_[2] = {};
};

// What a backend provides for reading: its positioned read, and opening and closing a file
// for reading only. `open` leaves the file's size in `size`; null when it cannot be opened.
struct ArchiveReading {
    ReadAt readAt;
    void* (*open)(const char* path, unsigned long* size);
    void (*close)(void* file);
};

// minizip's file functions: files opened for reading only go through windows over `reading`,
// every other mode (the builder writing its archives) through `writing`. Nothing here throws
// or needs the C++ library's allocator: the patcher links it.
void fillWindowedArchiveFunctions(zlib_filefunc_def_s* functions, const ArchiveReading& reading,
                                  const zlib_filefunc_def_s& writing);

}  // namespace platform
