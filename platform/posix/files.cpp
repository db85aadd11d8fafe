// POSIX file and folder functions: '\' counts as '/', names are translated to UTF-8, the
// read-only attribute is the owner's write permission (a stream file that lacks it cannot be
// opened for writing, whoever asks), file times are set from the DOS time taken as local time,
// and the stream's sharing rules become advisory locks (shared for reading, exclusive for
// writing).
#include "platform/platform.h"
#include "platform/posix/internal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

namespace platform {

std::string nativePath(const char* path) {
    std::string result = nativeText(path);
    for (char& c : result)
        if (c == '\\')
            c = '/';
    return result;
}

namespace {

std::string logicalDirectory;

bool sameFile(const char* a, const char* b) {
    struct stat first, second;
    return stat(a, &first) == 0 && stat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

}  // namespace

std::string currentDirectory() {
    if (!logicalDirectory.empty() && sameFile(logicalDirectory.c_str(), "."))
        return logicalDirectory;
    char here[4096];
    return getcwd(here, sizeof here) ? std::string(here) : std::string();
}

bool setCurrentDirectory(const char* path) {
    std::string target = nativePath(path);
    if (target.empty())
        return false;
    target = lexicalFullPath(target);
    if (chdir(target.c_str()) != 0)
        return false;
    logicalDirectory = target;
    return true;
}

int makeDirectory(const char* path) {
    return mkdir(nativePath(path).c_str(), 0777);
}

FILE* createNewFile(const char* path) {
    // "x": created exclusively (O_EXCL), in the one call.
    return std::fopen(nativePath(path).c_str(), "wbx");
}

bool canReplaceFile(const char* path) {
    int fd = open(nativePath(path).c_str(), O_WRONLY);
    if (fd >= 0) {
        close(fd);
        return true;
    }
    return errno == ENOENT;
}

bool replaceFile(const char* from, const char* to) {
    return rename(nativePath(from).c_str(), nativePath(to).c_str()) == 0;
}

unsigned long fileAttributes(const char* path) {
    struct stat info;
    if (stat(nativePath(path).c_str(), &info) != 0)
        return kInvalidAttributes;
    unsigned long attributes = 0;
    if (!(info.st_mode & S_IWUSR))
        attributes |= kAttributeReadOnly;
    if (S_ISDIR(info.st_mode))
        attributes |= kAttributeDirectory;
    return attributes;
}

bool setFileAttributes(const char* path, unsigned long attributes) {
    std::string file = nativePath(path);
    struct stat info;
    if (stat(file.c_str(), &info) != 0)
        return false;
    mode_t mode = info.st_mode & 07777;
    if (attributes & kAttributeReadOnly)
        mode &= ~(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    return chmod(file.c_str(), mode) == 0;
}

void setFileTimesFromDos(const char* path, unsigned long dosDate) {
    struct tm local = {};
    local.tm_year = static_cast<int>((dosDate >> 25) & 0x7F) + 80;
    local.tm_mon = static_cast<int>((dosDate >> 21) & 0x0F) - 1;
    local.tm_mday = static_cast<int>((dosDate >> 16) & 0x1F);
    local.tm_hour = static_cast<int>((dosDate >> 11) & 0x1F);
    local.tm_min = static_cast<int>((dosDate >> 5) & 0x3F);
    local.tm_sec = static_cast<int>(dosDate & 0x1F) * 2;
    local.tm_isdst = -1;
    time_t when = mktime(&local);
    if (when != static_cast<time_t>(-1)) {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = when;
        times[1].tv_nsec = 0;
        utimensat(AT_FDCWD, nativePath(path).c_str(), times, 0);
    }
}

FILE* openFileForReading(const char* path) {
    return std::fopen(nativePath(path).c_str(), "rb");
}

const FileHandle kInvalidFile = reinterpret_cast<FileHandle>(-1);

namespace {

int descriptor(FileHandle file) {
    return static_cast<int>(reinterpret_cast<intptr_t>(file));
}

}  // namespace

FileHandle openStreamFile(const char* name, bool readMode) {
    std::string path = nativePath(name);
    // Windows refuses to write a read-only file whoever asks; root here would not be refused.
    struct stat existing;
    if (!readMode && stat(path.c_str(), &existing) == 0 && !(existing.st_mode & S_IWUSR)) {
        errno = EACCES;
        return kInvalidFile;
    }
    int fd = readMode ? open(path.c_str(), O_RDONLY) : open(path.c_str(), O_RDWR | O_CREAT, 0666);
    if (fd < 0)
        return kInvalidFile;
    // Truncate only once the file is ours: a writer must not empty a file someone else holds.
    if (flock(fd, (readMode ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0 || (!readMode && ftruncate(fd, 0) != 0)) {
        close(fd);
        return kInvalidFile;
    }
    return reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd));
}

unsigned long streamFileSize(FileHandle file) {
    struct stat info;
    if (fstat(descriptor(file), &info) != 0)
        return 0xFFFFFFFFul;
    return static_cast<unsigned long>(info.st_size) & 0xFFFFFFFFul;
}

unsigned long setStreamPosition(FileHandle file, long distance, bool fromCurrent) {
    off_t at = lseek(descriptor(file), distance, fromCurrent ? SEEK_CUR : SEEK_SET);
    return static_cast<unsigned long>(at) & 0xFFFFFFFFul;
}

bool readStreamFile(FileHandle file, void* buffer, unsigned long count, unsigned long* done) {
    ssize_t got = read(descriptor(file), buffer, count);
    *done = got > 0 ? static_cast<unsigned long>(got) : 0;
    return got >= 0;
}

bool writeStreamFile(FileHandle file, const void* data, unsigned long count, unsigned long* done) {
    ssize_t put = write(descriptor(file), data, count);
    *done = put > 0 ? static_cast<unsigned long>(put) : 0;
    return put >= 0;
}

void closeStreamFile(FileHandle file) {
    close(descriptor(file));
}

}  // namespace platform
