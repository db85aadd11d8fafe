// Walking a payload folder. Names are taken in UTF-8 from the file system (on Windows from
// its wide names), so that the same tree gives the same names on every system, and are
// converted by table into the game's code page.
#include "mkpatch/payload.h"

#include "patcher/entry_rules.h"
#include "platform/code_page.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace mkpatch {

fs::path pathOf(const std::string& utf8) {
    return fs::u8path(utf8);
}

std::string textOf(const fs::path& path) {
    return path.u8string();
}

bool collectFiles(const std::string& dir, std::vector<PayloadFile>& files, std::string& error) {
    std::error_code ec;
    fs::path root = pathOf(dir);
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
        file.name = fs::relative(file.path, root, ec).generic_u8string();
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

bool checkNames(std::vector<PayloadFile>& files, unsigned codePage, std::string& error) {
    for (PayloadFile& file : files) {
        if (!platform::isUtf8(file.name)) {
            error = "the name of \"" + file.name + "\" is not UTF-8";
            return false;
        }
        bool exact = false;
        file.entryName = platform::utf8ToCodePage(file.name, codePage, &exact);
        if (!exact) {
            error = "code page " + std::to_string(codePage) + " cannot hold the name \"" + file.name + "\"";
            return false;
        }
        patcher::EntryProblem problem = patcher::checkEntryName(file.entryName.c_str(), file.entryName.size());
        if (problem != patcher::EntryProblem::None) {
            error = "the patcher would refuse \"" + file.name + "\": " + patcher::describeProblem(problem);
            if (problem == patcher::EntryProblem::NameTooLong)
                error += " (" + std::to_string(file.entryName.size()) + " in code page " + std::to_string(codePage) + ")";
            return false;
        }
    }
    return true;
}

}  // namespace mkpatch
