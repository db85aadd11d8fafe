// Win32 folder functions of the converter: FindFirstFileA, FindNextFileA and FindClose over
// the current directory, GetFullPathNameA with no file-part pointer, DeleteFileA, and a
// folder's identity from GetFileInformationByHandle (volume serial number and file index).
#include "platform/platform.h"
#include "platform/win32/win32.h"

#include <cstring>

namespace platform {

const char kPathSeparator = '\\';
const FolderSearch kNoSearch = INVALID_HANDLE_VALUE;

namespace {

void copyItem(const WIN32_FIND_DATAA& data, FolderItem* item) {
    static_assert(sizeof data.cFileName == sizeof item->name, "names are MAX_PATH bytes");
    std::memcpy(item->name, data.cFileName, sizeof item->name);
    item->attributes = data.dwFileAttributes;
}

}  // namespace

FolderSearch findFirst(const char* pattern, FolderItem* item) {
    WIN32_FIND_DATAA data;
    HANDLE search = ::FindFirstFileA(pattern, &data);
    if (search != INVALID_HANDLE_VALUE)
        copyItem(data, item);
    return search;
}

bool findNext(FolderSearch search, FolderItem* item) {
    WIN32_FIND_DATAA data;
    if (!::FindNextFileA(static_cast<HANDLE>(search), &data))
        return false;
    copyItem(data, item);
    return true;
}

void findClose(FolderSearch search) {
    ::FindClose(static_cast<HANDLE>(search));
}

unsigned long fullPathName(const char* name, char* buffer, unsigned long size) {
    return ::GetFullPathNameA(name, size, buffer, NULL);
}

bool folderIdentity(const char* path, FolderIdentity* identity) {
    // Backup semantics is what lets CreateFileA open a folder.
    HANDLE folder = ::CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    BOOL ok = ::GetFileInformationByHandle(folder, &info);
    ::CloseHandle(folder);
    if (!ok)
        return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool removeFile(const char* path) {
    return ::DeleteFileA(path) != 0;
}

}  // namespace platform
