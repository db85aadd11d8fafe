// Turns a payload folder into a patcher file: a stub executable followed by the patch archive.
#pragma once

#include <cstdint>
#include <string>

namespace mkpatch {

// What a build put into the patcher file.
struct BuildReport {
    unsigned long entries = 0;
    uint64_t uncompressedBytes = 0;  // the payload's files
    uint64_t storedBytes = 0;        // the archive, headers included
    uint64_t patcherBytes = 0;       // stub and archive
};

// Writes `outPath` as the stub's bytes followed by an archive of every file below
// `payloadDir`. On failure returns false with `error` set, and leaves no `outPath` behind.
bool buildPatch(const std::string& stubPath, const std::string& outPath,
                const std::string& payloadDir, std::string& error, BuildReport* report = nullptr);

}  // namespace mkpatch
