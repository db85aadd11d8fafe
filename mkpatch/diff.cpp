// Comparing two game trees file by file: same relative path, then size, then contents.
#include "mkpatch/diff.h"

#include "mkpatch/payload.h"

#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace mkpatch {

namespace {

const size_t kChunk = 64 * 1024;

bool sameContents(const fs::path& a, const fs::path& b, bool& same, std::string& error) {
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    if (!first || !second) {
        error = "cannot read " + textOf(first ? b : a);
        return false;
    }
    std::vector<char> x(kChunk), y(kChunk);
    same = true;
    while (same && first) {
        first.read(x.data(), static_cast<std::streamsize>(x.size()));
        second.read(y.data(), static_cast<std::streamsize>(y.size()));
        same = first.gcount() == second.gcount() && std::equal(x.begin(), x.begin() + first.gcount(), y.begin());
    }
    return true;
}

bool emptyOrMissing(const fs::path& dir, std::string& error) {
    std::error_code ec;
    if (!fs::exists(dir, ec))
        return true;
    if (!fs::is_directory(dir, ec) || !fs::is_empty(dir, ec)) {
        error = "the output folder is not empty: " + textOf(dir);
        return false;
    }
    return true;
}

}  // namespace

bool diffTrees(const std::string& oldDir, const std::string& newDir, const std::string& outDir,
               DiffReport& report, std::string& error, unsigned codePage) {
    std::vector<PayloadFile> oldFiles, newFiles;
    if (!collectFiles(oldDir, oldFiles, error) || !collectFiles(newDir, newFiles, error) ||
        !emptyOrMissing(pathOf(outDir), error))
        return false;
    if (!checkNames(newFiles, codePage, error))
        return false;

    std::set<std::string> newNames;
    std::error_code ec;
    for (const PayloadFile& file : newFiles) {
        newNames.insert(file.name);
        fs::path old = pathOf(oldDir) / pathOf(file.name);
        uint64_t size = fs::file_size(file.path, ec);
        bool same = false;
        if (fs::is_regular_file(old, ec) && fs::file_size(old, ec) == size && !ec &&
            !sameContents(old, file.path, same, error))
            return false;
        if (same) {
            ++report.unchanged;
            report.unchangedBytes += size;
            continue;
        }
        fs::path target = pathOf(outDir) / pathOf(file.name);
        fs::create_directories(target.parent_path(), ec);
        if (ec || !fs::copy_file(file.path, target, ec) || ec) {
            error = "cannot write " + textOf(target) + (ec ? ": " + ec.message() : "");
            return false;
        }
        fs::last_write_time(target, fs::last_write_time(file.path, ec), ec);
        report.taken.push_back(file.name);
        report.takenBytes += size;
    }
    for (const PayloadFile& file : oldFiles)
        if (!newNames.count(file.name))
            report.onlyInOld.push_back(file.name);
    return true;
}

}  // namespace mkpatch
