// Turns a payload folder into a patcher file: a stub executable followed by the patch archive.
#pragma once

#include "mkpatch/delta_encoder.h"

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

// Delta entries against the files of an older release of the game.
struct BaseOptions {
    std::string tree;  // the older release's folder
    DeltaOptions delta;
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
    unsigned long deltas = 0;        // entries stored as deltas
    uint64_t deltaFileBytes = 0;     // the files they make
    uint64_t deltaBytes = 0;         // their frames
    bool scriptAdded = false;        // the payload had no patch.bat; mkpatch added one
    std::vector<std::string> warnings;
};

// Writes `outPath` as the stub's bytes followed by an archive of every file below
// `payloadDir`, and of the sounds when `sounds` is given, every name (paths are UTF-8) stored
// in `codePage`. With `base`, a file whose name (letter case ignored) the older release has
// too is stored as a delta against it when that is smaller. A payload without a patch.bat
// gets one that only removes itself and ends with status 0. On failure returns false with
// `error` set, and leaves no `outPath` behind; a name the code page cannot hold fails it before
// anything is written. The same inputs give the same bytes.
bool buildPatch(const std::string& stubPath, const std::string& outPath, const std::string& payloadDir,
                std::string& error, BuildReport* report = nullptr, const SoundOptions* sounds = nullptr,
                unsigned codePage = 1252, const BaseOptions* base = nullptr);

// The script a payload without one gets: it removes itself and ends with status 0, under the
// Windows command interpreter and, for the native build, under /bin/sh.
extern const char kMinimalScript[];

}  // namespace mkpatch
