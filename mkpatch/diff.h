// A payload from two game trees: what a patch must carry to turn OLD into NEW.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkpatch {

struct DiffReport {
    std::vector<std::string> taken;       // missing from OLD, or different
    uint64_t takenBytes = 0;
    unsigned long unchanged = 0;          // the same in both, byte for byte
    uint64_t unchangedBytes = 0;
    std::vector<std::string> onlyInOld;   // a patch cannot delete these
};

// Copies into `outDir` (made when missing; it must be empty) every file of `newDir` that is
// missing from `oldDir` or differs from it, keeping folders and modification times. Sizes are
// compared first, contents only where they agree. Names (UTF-8) that `codePage` cannot hold,
// or that the patcher would refuse once converted, stop it before anything is written. False
// with `error` set on failure.
bool diffTrees(const std::string& oldDir, const std::string& newDir, const std::string& outDir,
               DiffReport& report, std::string& error, unsigned codePage = 1252);

}  // namespace mkpatch
