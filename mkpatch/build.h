// Turns a payload folder into a patcher file: a stub executable followed by the patch archive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkpatch {

// Sounds made from WAV masters: every .wav below `masters` becomes "Patch/<path>.ogg", and
// the converter and the standard patch.bat join the archive's root.
struct SoundOptions {
    std::string masters;
    float quality = 0.5f;    // libvorbisenc's scale, -0.1 to 1.0
    std::string converter;   // the file added as sondrel.exe
};

// What a build put into the patcher file.
struct BuildReport {
    unsigned long entries = 0;
    uint64_t uncompressedBytes = 0;  // the payload's files
    uint64_t storedBytes = 0;        // the archive, headers included
    uint64_t patcherBytes = 0;       // stub and archive
    unsigned long sounds = 0;
    uint64_t wavBytes = 0;           // the masters
    uint64_t oggBytes = 0;           // the sounds made from them
    std::vector<std::string> warnings;
};

// Writes `outPath` as the stub's bytes followed by an archive of every file below
// `payloadDir`, and of the sounds when `sounds` is given, every name (paths are UTF-8) stored
// in `codePage`. On failure returns false with `error` set, and leaves no `outPath` behind;
// a name the code page cannot hold fails it before anything is written. The same inputs give
// the same bytes.
bool buildPatch(const std::string& stubPath, const std::string& outPath, const std::string& payloadDir,
                std::string& error, BuildReport* report = nullptr, const SoundOptions* sounds = nullptr,
                unsigned codePage = 1252);

}  // namespace mkpatch
