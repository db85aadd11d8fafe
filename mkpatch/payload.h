// The files of a folder tree, as a patch names them.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace mkpatch {

// The code page of the game's Windows: its English, German and French versions all use 1252.
const unsigned kDefaultCodePage = 1252;

struct PayloadFile {
    std::string name;  // relative, '/' separators, UTF-8 as the publisher's system gives it
    std::filesystem::path path;
    uint64_t size;
    time_t modified;
    std::string entryName;  // `name` in the game's code page, as the archive stores it
    std::filesystem::path base;  // the file of the old release it updates, for a delta entry
};

// A path named in UTF-8, on every system.
std::filesystem::path pathOf(const std::string& utf8);
// The path's text in UTF-8.
std::string textOf(const std::filesystem::path& path);

// Every regular file below `dir`, sorted by name; sizes and times are left 0. False with
// `error` set when `dir` is no folder or cannot be walked.
bool collectFiles(const std::string& dir, std::vector<PayloadFile>& files, std::string& error);

// `name` with letter case folded the way Windows compares names, for matching files of two
// trees: letters of the Latin and Cyrillic alphabets the game's code pages hold.
std::string foldedName(const std::string& name);

// Sets each file's entry name: its name in `codePage`. False with `error` naming the first
// file whose name the code page cannot hold, or that the patcher would refuse once converted.
bool checkNames(std::vector<PayloadFile>& files, unsigned codePage, std::string& error);

}  // namespace mkpatch
