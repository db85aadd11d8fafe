// Both roots are resolved before the walk starts changing the current directory, and end in
// one separator, so that a relative part cut by the source root's length appends cleanly to
// the destination root.
#include "sondrel/converter.h"

#include "platform/platform.h"
#include "sondrel/command_line.h"
#include "sondrel/progress_window.h"
#include "sondrel/source_tree.h"

#include <new>

namespace sondrel {

namespace {

const unsigned long kFullPathBufferSize = 1024;

bool convertTree(const CommandLine& roots) {
    std::string sourceRoot, destinationRoot;
    if (!toFullFolderPath(roots.sourceRoot, sourceRoot) || !toFullFolderPath(roots.destinationRoot, destinationRoot))
        return false;
    std::list<FolderEntry> tree = collectSourceTree(sourceRoot);
    std::list<std::string> workList;
    for (const FolderEntry& entry : tree)
        workList.push_back(entry.path);
    return mirrorTree(workList, sourceRoot, destinationRoot);
}

}  // namespace

bool toFullFolderPath(const std::string& root, std::string& fullPath) {
    if (root.empty())
        return false;
    char buffer[kFullPathBufferSize];
    unsigned long length = platform::fullPathName(root.c_str(), buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer)
        return false;
    fullPath.assign(buffer, length);
    if (fullPath[fullPath.size() - 1] != platform::kPathSeparator)
        fullPath += platform::kPathSeparator;
    return true;
}

int runConverter(const std::string& tail) {
    createProgressWindow();
    bool converted = false;
    try {
        converted = convertTree(parseCommandLine(tail));
    } catch (const std::bad_alloc&) {
        // Out of memory for the folder lists: end the run, keeping what was written.
    }
    destroyProgressWindow();
    return converted ? 0 : 1;
}

}  // namespace sondrel
