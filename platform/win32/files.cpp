// Win32 file and folder functions of the extraction pass: SetCurrentDirectoryA,
// CreateDirectoryA with default security, Get/SetFileAttributesA, and the file-time sequence
// CreateFileA (read/write, no sharing, OPEN_EXISTING), GetFileTime, DosDateTimeToFileTime,
// LocalFileTimeToFileTime, SetFileTime, CloseHandle.
#include "platform/platform.h"
#include "platform/win32/win32.h"

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

FILE* openFileForWriting(const char* path) {
    return std::fopen(path, "wb");
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

}  // namespace platform
