// Finding every folder below the source root, and rebuilding the tree under the destination.
#pragma once

#include <list>
#include <set>
#include <string>
#include <utility>

namespace sondrel {

struct FolderEntry {
    std::string path;  // the source root as given; below it, full paths without a trailing separator
    bool scanned;
};

// Breadth-first: the root, its subfolders in listing order, then theirs, each after its parent.
// A folder that cannot be entered keeps its entry but adds none; a folder met again (through
// a link to itself or an ancestor) is not added twice, so the walk always ends.
std::list<FolderEntry> collectSourceTree(const std::string& sourceRoot);

// The folders met so far, by identity rather than by path: a link reaches a folder by a path
// of its own.
class FolderSet {
public:
    // True when the folder had not been met; a folder that cannot be examined counts as new.
    bool insert(const std::string& path);

private:
    std::set<std::pair<unsigned long long, unsigned long long> > met_;
};

// Appends one entry for each subfolder of `folderPath` not met before. Leaves the folder
// current; false when it cannot be made current (nothing is listed then).
bool scanFolder(const std::string& folderPath, std::list<FolderEntry>& tree, FolderSet& seen);

// For each folder of the work list, in order: enter it, create its mirror below the
// destination root (one level; an existing folder is used as it is) and convert its files.
// False when a folder could not be entered or a file failed; the rest is done all the same.
bool mirrorTree(const std::list<std::string>& workList, const std::string& sourceRoot,
                const std::string& destinationRoot);

}  // namespace sondrel
