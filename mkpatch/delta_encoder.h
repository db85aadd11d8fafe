// Making a delta entry's frames: the new file in segments, each compressed with a slice of the
// base file as its reference, so that the patcher decodes it in bounded memory.
#pragma once

#include "patcher/delta_record.h"

#include <filesystem>
#include <string>

namespace mkpatch {

struct DeltaOptions {
    // Segments of the new file, and how much of the base each one's frame may refer to beyond
    // the stretch its content comes from, on either side. The frame must reach back over its
    // slice and its segment: the sum stays within the patcher's window.
    unsigned long segmentSize = 64ul << 20;
    unsigned long sliceMargin = 16ul << 20;
    int level = 9;
    unsigned threads = 0;  // 0: one per core
};

struct Delta {
    patcher::DeltaRecord record;
    std::string frames;  // the entry's data
};

// The frames that turn the file `base` into the file `target` (both below 2 GiB, the target
// not empty). The same inputs give the same bytes whatever the number of threads. False with
// `error` set when a file cannot be read or the options cannot be served.
bool makeDelta(const std::filesystem::path& base, const std::filesystem::path& target, const DeltaOptions& options,
               Delta& delta, std::string& error);

// The longest slice a segment may refer to under `options`.
unsigned long sliceLimit(const DeltaOptions& options);

}  // namespace mkpatch
