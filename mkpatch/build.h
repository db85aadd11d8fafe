// Turns a payload folder into a patcher file: a stub executable followed by the patch archive.
#pragma once

#include <string>

namespace mkpatch {

// Writes `outPath` as the stub's bytes followed by an archive of every file below
// `payloadDir`. On failure returns false with `error` set, and leaves no `outPath` behind.
bool buildPatch(const std::string& stubPath, const std::string& outPath,
                const std::string& payloadDir, std::string& error);

}  // namespace mkpatch
