// The extraction pass: every entry of the open patch archive into the current directory,
// with one console line per entry on standard output.
#pragma once

#include <unzip.h>

namespace patcher {

// What the pass met besides its status.
struct ExtractionReport {
    // Entries whose target could not be replaced (held by another program, a folder in the
    // way): reported and passed over.
    unsigned long skipped = 0;
    // The pass stopped because an entry's data could not be written (a full disk, say),
    // not because the archive was damaged.
    bool writeFailed = false;
    // Delta entries whose target is neither the file they update nor already the new one;
    // the pass refuses the whole patch before writing anything when there are any.
    unsigned long wrongVersions = 0;
};

// The status of a pass that met a target of the wrong version; not one of minizip's.
const int kWrongVersionStatus = -120;

// 0 when every entry was processed, otherwise the non-zero status that stopped the pass.
// `report`, when given, is added to.
int extractAllEntries(unzFile archive, ExtractionReport* report = NULL);
// The current entry's status; 0 lets the pass go on.
int extractCurrentEntry(unzFile archive, ExtractionReport* report = NULL);
// Examines the target of every delta entry, printing a line for each that is neither the
// file its entry updates nor already the new one; kWrongVersionStatus when there was one, the
// status of a refused entry, or 0. Leaves the archive on its first entry.
int checkDeltaTargets(unzFile archive, ExtractionReport* report = NULL);

// 0, or -1 with errno set.
int makeFolder(const char* path);
// Creates the folders of `path` one level at a time: 1 when the walk completed, 0 when it gave up.
int makeFolderPath(const char* path);
// Clears the read-only attribute of an existing file; failures are ignored. False when there
// is no file or folder of that name.
bool makeWritable(const char* path);
void setEntryFileTime(const char* path, unsigned long dosDate);

}  // namespace patcher
