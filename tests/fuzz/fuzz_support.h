// What the fuzz targets share: invariant checks that end the run, and a scratch folder.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Beyond the sanitizers: a broken invariant is a finding, reported like a crash.
inline void require(bool condition, const char* what, const std::string& detail = "") {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s %s\n", what, detail.c_str());
        std::abort();
    }
}

// A new folder of this process's own below /tmp, made once per `name`.
inline std::string scratchFolder(const char* name) {
    std::string pattern = std::string("/tmp/") + name + "-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        std::abort();
    return pattern;
}

}  // namespace fuzz
