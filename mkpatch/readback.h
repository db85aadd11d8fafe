// Reading a patcher file back: the entry listing and the full check.
#pragma once

#include <cstdio>
#include <string>

namespace mkpatch {

// Both print names in the terminal's encoding: UTF-8 names (flag bit 11) as they are, the
// others read as bytes in `codePage`, the game's.

// Prints one line per entry; false (with `error`) when the file holds no readable archive.
bool listPatch(const std::string& path, FILE* out, std::string& error, unsigned codePage = 1252);

// Reads every entry to its end; true only when the patcher would extract all of it cleanly
// on a system of `codePage`. Delta entries are applied to their files in the game tree
// `baseTree` and their results checked; without a tree, only their stored bytes are.
bool verifyPatch(const std::string& path, FILE* out, std::string& error, unsigned codePage,
                 const std::string& baseTree);
bool verifyPatch(const std::string& path, FILE* out, std::string& error, unsigned codePage = 1252);

}  // namespace mkpatch
