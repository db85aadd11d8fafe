// POSIX folder functions of the converter. A listing reads the whole folder at once and serves
// it sorted by name, letter case ignored, the order an NTFS folder lists in, so that a walk
// visits folders in the same order on both systems. Links are followed, as Windows follows
// folder junctions; a folder's identity is its device and inode. Names and paths handed out
// are in the product's code page, as the file functions take them.
#include "platform/platform.h"
#include "platform/posix/internal.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace platform {

const char kPathSeparator = '/';
const FolderSearch kNoSearch = nullptr;

namespace {

struct Listing {
    std::vector<FolderItem> items;
    size_t next = 0;
};

bool matches(const char* pattern, const char* name) {
    if (std::strcmp(pattern, "*") == 0)
        return true;
    if (pattern[0] != '*')
        return std::strcmp(pattern, name) == 0;
    size_t suffix = std::strlen(pattern + 1), length = std::strlen(name);
    return length >= suffix && strcasecmp(name + length - suffix, pattern + 1) == 0;
}

bool serve(Listing* listing, FolderItem* item) {
    if (listing->next >= listing->items.size())
        return false;
    *item = listing->items[listing->next++];
    return true;
}

}  // namespace

FolderSearch findFirst(const char* pattern, FolderItem* item) {
    DIR* folder = opendir(".");
    if (!folder)
        return kNoSearch;
    Listing* listing = new Listing;
    while (struct dirent* entry = readdir(folder)) {
        // Matched as the program sees the name: in its code page.
        std::string name = productText(entry->d_name);
        if (!matches(pattern, name.c_str()) || name.size() >= sizeof item->name)
            continue;
        FolderItem found;
        std::strcpy(found.name, name.c_str());
        struct stat info;
        found.attributes = 0;
        if (stat(entry->d_name, &info) == 0) {
            if (S_ISDIR(info.st_mode))
                found.attributes |= kAttributeDirectory;
            if (!(info.st_mode & S_IWUSR))
                found.attributes |= kAttributeReadOnly;
        }
        listing->items.push_back(found);
    }
    closedir(folder);
    std::sort(listing->items.begin(), listing->items.end(), [](const FolderItem& a, const FolderItem& b) {
        return strcasecmp(a.name, b.name) < 0;
    });
    if (!serve(listing, item)) {
        delete listing;
        return kNoSearch;
    }
    return listing;
}

bool findNext(FolderSearch search, FolderItem* item) {
    return serve(static_cast<Listing*>(search), item);
}

void findClose(FolderSearch search) {
    delete static_cast<Listing*>(search);
}

std::string lexicalFullPath(const std::string& relative) {
    std::string path = relative;
    if (path.empty() || path[0] != '/')
        path = currentDirectory() + "/" + path;
    // Links are not resolved: ".." goes up by name, as on Windows.
    bool trailing = path.back() == '/';
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < path.size()) {
        size_t end = path.find('/', at);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string full;
    for (const std::string& part : parts)
        full += "/" + part;
    if (full.empty() || trailing)
        full += "/";
    return full;
}

unsigned long fullPathName(const char* name, char* buffer, unsigned long size) {
    std::string path = nativePath(name);
    if (path.empty())
        return 0;
    std::string full = productText(lexicalFullPath(path));
    if (full.size() + 1 > size)
        return static_cast<unsigned long>(full.size() + 1);
    std::memcpy(buffer, full.c_str(), full.size() + 1);
    return static_cast<unsigned long>(full.size());
}

bool folderIdentity(const char* path, FolderIdentity* identity) {
    struct stat info;
    if (stat(nativePath(path).c_str(), &info) != 0)
        return false;
    identity->volume = static_cast<unsigned long long>(info.st_dev);
    identity->index = static_cast<unsigned long long>(info.st_ino);
    return true;
}

bool removeFile(const char* path) {
    return unlink(nativePath(path).c_str()) == 0;
}

}  // namespace platform
