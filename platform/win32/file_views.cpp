// Win32 views of game files: GetFileAttributesExA for the size; CreateFileA (GENERIC_READ,
// FILE_SHARE_READ, OPEN_EXISTING), CreateFileMappingA (PAGE_READONLY) and MapViewOfFile
// (FILE_MAP_READ, from an offset rounded down to the allocation granularity) for a view, whose
// handles are closed at once: the view keeps the mapping alive until UnmapViewOfFile. With the
// publisher's UTF-8 paths in use, the wide functions take the path.
#include "platform/platform.h"
#include "platform/win32/internal.h"
#include "platform/win32/win32.h"

namespace platform {

namespace {

HANDLE openForViews(const char* path) {
    if (!utf8PathsInUse())
        return ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    wchar_t wide[kWidePathSize];
    if (!widePath(path, wide, kWidePathSize))
        return INVALID_HANDLE_VALUE;
    return ::CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

}  // namespace

bool fileSize(const char* path, unsigned long long* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    BOOL found = FALSE;
    if (utf8PathsInUse()) {
        wchar_t wide[kWidePathSize];
        found = widePath(path, wide, kWidePathSize) && ::GetFileAttributesExW(wide, GetFileExInfoStandard, &data);
    } else {
        found = ::GetFileAttributesExA(path, GetFileExInfoStandard, &data);
    }
    if (!found || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    *size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool mapFileView(const char* path, unsigned long offset, unsigned long length, FileView* view) {
    view->data = reinterpret_cast<const unsigned char*>("");
    view->length = 0;
    view->mapping = NULL;
    view->mappedLength = 0;
    HANDLE file = openForViews(path);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD high = 0;
    DWORD low = ::GetFileSize(file, &high);
    bool fits = (low != INVALID_FILE_SIZE || ::GetLastError() == NO_ERROR) && high == 0 && offset <= low &&
                length <= low - offset;
    if (!fits || length == 0) {
        ::CloseHandle(file);
        return fits;
    }
    HANDLE mapping = ::CreateFileMappingA(file, NULL, PAGE_READONLY, 0, 0, NULL);
    ::CloseHandle(file);
    if (!mapping)
        return false;
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    DWORD start = offset - offset % system.dwAllocationGranularity;
    SIZE_T size = length + (offset - start);
    void* base = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, start, size);
    ::CloseHandle(mapping);
    if (!base)
        return false;
    view->data = static_cast<const unsigned char*>(base) + (offset - start);
    view->length = length;
    view->mapping = base;
    view->mappedLength = static_cast<unsigned long>(size);
    return true;
}

void unmapFileView(FileView* view) {
    if (view->mapping)
        ::UnmapViewOfFile(view->mapping);
    view->mapping = NULL;
    view->length = 0;
}

}  // namespace platform
