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
};

// 0 when every entry was processed, otherwise the non-zero status that stopped the pass.
// `report`, when given, is added to.
int extractAllEntries(unzFile archive, ExtractionReport* report = NULL);
// The current entry's status; 0 lets the pass go on.
int extractCurrentEntry(unzFile archive, ExtractionReport* report = NULL);

// 0, or -1 with errno set.
int makeFolder(const char* path);
// Creates the folders of `path` one level at a time: 1 when the walk completed, 0 when it gave up.
int makeFolderPath(const char* path);
// Clears the read-only attribute of an existing file; failures are ignored. False when there
// is no file or folder of that name.
bool makeWritable(const char* path);
void setEntryFileTime(const char* path, unsigned long dosDate);

}  // namespace patcher
