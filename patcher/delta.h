// Applying delta entries: what the installed file is, and decoding a delta entry's frames with
// it as the reference.
#pragma once

#include "patcher/delta_record.h"

#include <unzip.h>

#include <cstdio>

namespace patcher {

enum class TargetState {
    Base,        // the file the entry updates: size and CRC-32 are the record's base
    New,         // already the file the entry makes
    Other,       // a file of another size or content (modded, another release)
    Missing,
    Unreadable,  // held by a program that shares it with no one
};

TargetState examineTarget(const char* path, const DeltaRecord& record);

// What a decode ended with besides its status.
struct DeltaOutcome {
    unsigned long written = 0;
    bool writeFailed = false;  // `out` took less than it was given
};

// Decodes the current entry of `archive`, a delta entry opened for reading and not yet read,
// into `out`, with the file `basePath` as the reference, and checks the result against the
// record's new size and CRC-32. UNZ_OK; UNZ_CRCERROR when the frames do not decode into that
// file (damaged data, or a base other than the record's); UNZ_ERRNO when `out` fails; another
// status of minizip when the entry cannot be read; UNZ_INTERNALERROR without memory.
int decodeDelta(unzFile archive, const DeltaRecord& record, const char* basePath, FILE* out, DeltaOutcome* outcome);

// Reads the current entry to its end and lets minizip compare its CRC-32, so that no frame is
// decoded before the stored bytes are known to be the ones the builder wrote. The entry is
// opened and closed here; returns minizip's status.
int checkStoredData(unzFile archive, void* buffer, unsigned bufferSize);

}  // namespace patcher
