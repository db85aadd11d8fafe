// Walking a payload folder.
#include "mkpatch/payload.h"

#include "patcher/entry_rules.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace mkpatch {

bool collectFiles(const std::string& dir, std::vector<PayloadFile>& files, std::string& error) {
    std::error_code ec;
    fs::path root(dir);
    if (!fs::is_directory(root, ec)) {
        error = "folder not found: " + dir;
        return false;
    }
    fs::recursive_directory_iterator it(root, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        PayloadFile file;
        file.path = it->path();
        file.name = fs::relative(file.path, root, ec).generic_string();
        file.size = 0;
        file.modified = 0;
        files.push_back(file);
    }
    if (ec) {
        error = "cannot walk " + dir + ": " + ec.message();
        return false;
    }
    std::sort(files.begin(), files.end(),
              [](const PayloadFile& a, const PayloadFile& b) { return a.name < b.name; });
    return true;
}

bool checkNames(const std::vector<PayloadFile>& files, std::string& error) {
    for (const PayloadFile& file : files) {
        patcher::EntryProblem problem = patcher::checkEntryName(file.name.c_str(), file.name.size());
        if (problem != patcher::EntryProblem::None) {
            error = "the patcher would refuse \"" + file.name + "\": " + patcher::describeProblem(problem);
            return false;
        }
    }
    return true;
}

}  // namespace mkpatch
