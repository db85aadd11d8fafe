// Reading a patcher file back: the entry listing and the full check.
#pragma once

#include <cstdio>
#include <string>

namespace mkpatch {

// Prints one line per entry; false (with `error`) when the file holds no readable archive.
bool listPatch(const std::string& path, FILE* out, std::string& error);

// Reads every entry to its end; true only when the patcher would extract all of it cleanly.
bool verifyPatch(const std::string& path, FILE* out, std::string& error);

}  // namespace mkpatch
