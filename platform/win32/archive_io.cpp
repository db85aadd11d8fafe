// minizip's file functions on Win32. The patcher file is opened as minizip's Win32 functions
// open it for reading (CreateFileA: GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING) and read
// through two windows, each filled by one ReadFile at an offset, instead of minizip's one
// ReadFile per request. Writing keeps minizip's Win32 functions. The publisher's tool, with
// UTF-8 paths in use, opens by wide name: CreateFileW to read, _wfopen streams to write.
#include "platform/archive_windows.h"
#include "platform/platform.h"
#include "platform/win32/internal.h"
#include "platform/win32/win32.h"

// iowin32.h leans on the two headers before it.
#include <ioapi.h>
#include <iowin32.h>

#include <cstdio>

namespace platform {

namespace {

bool readAt(void* file, unsigned long offset, void* buffer, unsigned long count, unsigned long* done) {
    unsigned char* out = static_cast<unsigned char*>(buffer);
    *done = 0;
    while (*done < count) {
        // On a handle opened for synchronous reading the offset makes this a positioned read.
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset + *done);
        DWORD got = 0;
        if (!::ReadFile(file, out + *done, static_cast<DWORD>(count - *done), &got, &at))
            return ::GetLastError() == ERROR_HANDLE_EOF;
        if (got == 0)
            break;
        *done += got;
    }
    return true;
}

void* openForReading(const char* filename, unsigned long* size) {
    HANDLE file = INVALID_HANDLE_VALUE;
    if (utf8PathsInUse()) {
        wchar_t path[kWidePathSize];
        if (widePath(filename, path, kWidePathSize))
            file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    } else {
        file = ::CreateFileA(filename, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    }
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    // Patcher files stay below 2 GiB.
    DWORD high = 0;
    DWORD low = ::GetFileSize(file, &high);
    if ((low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) || high != 0 || low >= 0x7FFFFFFFul) {
        ::CloseHandle(file);
        return NULL;
    }
    *size = low;
    return file;
}

void closeFile(void* file) {
    ::CloseHandle(file);
}

voidpf ZCALLBACK openWide(voidpf /*opaque*/, const char* filename, int mode) {
    const wchar_t* how = (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ ? L"rb"
                         : (mode & ZLIB_FILEFUNC_MODE_EXISTING)                                ? L"r+b"
                                                                                                : L"wb";
    wchar_t path[kWidePathSize];
    return filename && widePath(filename, path, kWidePathSize) ? ::_wfopen(path, how) : NULL;
}

}  // namespace

void fillArchiveFileFunctions(zlib_filefunc_def_s* functions) {
    zlib_filefunc_def writing;
    if (utf8PathsInUse()) {
        fill_fopen_filefunc(&writing);
        writing.zopen_file = openWide;
    } else {
        fill_win32_filefunc(&writing);
    }
    const ArchiveReading reading = {readAt, openForReading, closeFile};
    fillWindowedArchiveFunctions(functions, reading, writing);
}

}  // namespace platform
