// POSIX views of game files: mmap of the range, from an offset rounded down to the page size.
// A file held with no sharing (an exclusive lock) cannot be read, as on Windows.
#include "platform/platform.h"
#include "platform/posix/internal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool fileSize(const char* path, unsigned long long* size) {
    struct stat info;
    if (stat(nativePath(path).c_str(), &info) != 0 || S_ISDIR(info.st_mode))
        return false;
    *size = static_cast<unsigned long long>(info.st_size);
    return true;
}

bool mapFileView(const char* path, unsigned long offset, unsigned long length, FileView* view) {
    view->data = reinterpret_cast<const unsigned char*>("");
    view->length = 0;
    view->mapping = nullptr;
    view->mappedLength = 0;
    int fd = open(nativePath(path).c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    struct stat info;
    bool fits = flock(fd, LOCK_SH | LOCK_NB) == 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                static_cast<unsigned long long>(offset) + length <= static_cast<unsigned long long>(info.st_size);
    if (!fits || length == 0) {
        close(fd);
        return fits;
    }
    unsigned long page = static_cast<unsigned long>(sysconf(_SC_PAGESIZE));
    unsigned long start = offset - offset % page;
    size_t size = length + (offset - start);
    void* base = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, static_cast<off_t>(start));
    close(fd);
    if (base == MAP_FAILED)
        return false;
    view->data = static_cast<const unsigned char*>(base) + (offset - start);
    view->length = length;
    view->mapping = base;
    view->mappedLength = static_cast<unsigned long>(size);
    return true;
}

void unmapFileView(FileView* view) {
    if (view->mapping)
        munmap(view->mapping, view->mappedLength);
    view->mapping = nullptr;
    view->length = 0;
}

}  // namespace platform
