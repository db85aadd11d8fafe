// Win32 file and folder functions. The extraction pass: SetCurrentDirectoryA, CreateDirectoryA
// with default security, Get/SetFileAttributesA, each entry written to a new file beside its
// target (created exclusively) that MoveFileExA then puts in the target's place, after a
// CreateFileA probe that the target can be replaced, and the file-time sequence CreateFileA
// (read/write, no sharing, OPEN_EXISTING), GetFileTime, DosDateTimeToFileTime,
// LocalFileTimeToFileTime, SetFileTime, CloseHandle. The converter's stream: CreateFileA with
// GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING (read) or GENERIC_READ | GENERIC_WRITE, no
// sharing, CREATE_ALWAYS (write), FILE_ATTRIBUTE_NORMAL; GetFileSize, SetFilePointer,
// ReadFile, WriteFile, CloseHandle. While the publisher's tool has UTF-8 paths in use, the
// stream and the reading open take the wide path (CreateFileW, _wfopen).
#include "platform/platform.h"
#include "platform/win32/internal.h"
#include "platform/win32/win32.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

namespace platform {

bool setCurrentDirectory(const char* path) {
    return ::SetCurrentDirectoryA(path) != 0;
}

int makeDirectory(const char* path) {
    if (::CreateDirectoryA(path, NULL))
        return 0;
    switch (::GetLastError()) {
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
        errno = ENOENT;
        break;
    case ERROR_ALREADY_EXISTS:
        errno = EEXIST;
        break;
    default:
        errno = EACCES;
        break;
    }
    return -1;
}

FILE* createNewFile(const char* path) {
    int fd = ::_open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return NULL;
    FILE* file = ::_fdopen(fd, "wb");
    if (!file)
        ::_close(fd);
    return file;
}

bool canReplaceFile(const char* path) {
    // Replacing needs write and delete access; a folder, or a file its holder shares with no
    // one, refuses the open.
    HANDLE file = ::CreateFileA(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
        return true;
    }
    DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool replaceFile(const char* from, const char* to) {
    return ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

unsigned long fileAttributes(const char* path) {
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes == INVALID_FILE_ATTRIBUTES ? kInvalidAttributes : attributes;
}

bool setFileAttributes(const char* path, unsigned long attributes) {
    return ::SetFileAttributesA(path, attributes) != 0;
}

void setFileTimesFromDos(const char* path, unsigned long dosDate) {
    HANDLE file = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    FILETIME created, accessed, written, local, utc;
    ::GetFileTime(file, &created, &accessed, &written);
    ::DosDateTimeToFileTime(static_cast<WORD>(dosDate >> 16), static_cast<WORD>(dosDate), &local);
    ::LocalFileTimeToFileTime(&local, &utc);
    ::SetFileTime(file, &utc, &accessed, &utc);
    ::CloseHandle(file);
}

FILE* openFileForReading(const char* path) {
    if (utf8PathsInUse()) {
        wchar_t wide[kWidePathSize];
        return widePath(path, wide, kWidePathSize) ? ::_wfopen(wide, L"rb") : NULL;
    }
    return std::fopen(path, "rb");
}

const FileHandle kInvalidFile = INVALID_HANDLE_VALUE;

FileHandle openStreamFile(const char* name, bool readMode) {
    if (utf8PathsInUse()) {
        wchar_t path[kWidePathSize];
        if (!widePath(name, path, kWidePathSize))
            return INVALID_HANDLE_VALUE;
        if (readMode)
            return ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
        return ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    }
    if (readMode)
        return ::CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    return ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

unsigned long streamFileSize(FileHandle file) {
    DWORD high = 0;
    return ::GetFileSize(file, &high);
}

unsigned long setStreamPosition(FileHandle file, long distance, bool fromCurrent) {
    return ::SetFilePointer(file, distance, NULL, fromCurrent ? FILE_CURRENT : FILE_BEGIN);
}

bool readStreamFile(FileHandle file, void* buffer, unsigned long count, unsigned long* done) {
    DWORD got = 0;
    BOOL ok = ::ReadFile(file, buffer, count, &got, NULL);
    *done = got;
    return ok != 0;
}

bool writeStreamFile(FileHandle file, const void* data, unsigned long count, unsigned long* done) {
    DWORD put = 0;
    BOOL ok = ::WriteFile(file, data, count, &put, NULL);
    *done = put;
    return ok != 0;
}

void closeStreamFile(FileHandle file) {
    ::CloseHandle(file);
}

}  // namespace platform
