// The files of a folder tree, as a patch names them.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace mkpatch {

struct PayloadFile {
    std::string name;  // relative, '/' separators
    std::filesystem::path path;
    uint64_t size;
    time_t modified;
};

// Every regular file below `dir`, sorted by name; sizes and times are left 0. False with
// `error` set when `dir` is no folder or cannot be walked.
bool collectFiles(const std::string& dir, std::vector<PayloadFile>& files, std::string& error);

// False with `error` naming the first file whose name the patcher would refuse.
bool checkNames(const std::vector<PayloadFile>& files, std::string& error);

}  // namespace mkpatch
