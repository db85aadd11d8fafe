// The tree walk works in the process's current directory: each folder is entered, listed by
// bare names, and its subfolders' full paths come from the platform's full-path function.
#include "sondrel/source_tree.h"

#include "platform/platform.h"
#include "sondrel/conversion.h"

#include <cstring>

namespace sondrel {

namespace {

const unsigned long kFullPathBufferSize = 1024;

}  // namespace

bool FolderSet::insert(const std::string& path) {
    platform::FolderIdentity identity;
    if (!platform::folderIdentity(path.c_str(), &identity))
        return true;
    return met_.insert(std::make_pair(identity.volume, identity.index)).second;
}

bool scanFolder(const std::string& folderPath, std::list<FolderEntry>& tree, FolderSet& seen) {
    // Listing whatever folder happens to be current would add folders from elsewhere.
    if (!platform::setCurrentDirectory(folderPath.c_str()))
        return false;
    platform::FolderItem item;
    platform::FolderSearch search = platform::findFirst("*", &item);
    if (search == platform::kNoSearch)
        return true;
    do {
        if (!(item.attributes & platform::kAttributeDirectory))
            continue;
        if (std::strcmp(item.name, ".") == 0 || std::strcmp(item.name, "..") == 0)
            continue;
        char fullPath[kFullPathBufferSize];
        unsigned long length = platform::fullPathName(item.name, fullPath, sizeof fullPath);
        if (length == 0 || length >= sizeof fullPath)
            continue;  // beyond the platform's path limit: it could not be entered either
        if (!seen.insert(fullPath))
            continue;
        tree.push_back(FolderEntry{fullPath, false});
    } while (platform::findNext(search, &item));
    platform::findClose(search);
    return true;
}

std::list<FolderEntry> collectSourceTree(const std::string& sourceRoot) {
    std::list<FolderEntry> tree;
    FolderSet seen;
    seen.insert(sourceRoot);
    tree.push_back(FolderEntry{sourceRoot, false});
    bool changed;
    do {
        changed = false;
        // Entries appended while the pass runs are visited by the same pass.
        for (std::list<FolderEntry>::iterator entry = tree.begin(); entry != tree.end(); ++entry) {
            if (entry->scanned)
                continue;
            scanFolder(entry->path, tree, seen);
            entry->scanned = true;
            changed = true;
        }
    } while (changed);
    return tree;
}

bool mirrorTree(const std::list<std::string>& workList, const std::string& sourceRoot,
                const std::string& destinationRoot) {
    bool allConverted = true;
    for (const std::string& folder : workList) {
        // A folder that cannot be entered, or that is not below the root, has nothing to give.
        if (!platform::setCurrentDirectory(folder.c_str()) || folder.compare(0, sourceRoot.size(), sourceRoot) != 0) {
            allConverted = false;
            continue;
        }
        std::string destination = destinationRoot + folder.substr(sourceRoot.size());
        platform::makeDirectory(destination.c_str());
        if (!convertFolder(folder, destination))
            allConverted = false;
    }
    return allConverted;
}

}  // namespace sondrel
