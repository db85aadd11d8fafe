// The extraction pass: every entry of the open patch archive into the current directory,
// with one console line per entry on standard output.
#pragma once

#include <unzip.h>

namespace patcher {

// 0 when every entry was processed, otherwise the non-zero status that stopped the pass.
// Entries whose target could not be replaced (held by another program, a folder in the way)
// are reported, passed over and counted in `skipped` when it is given.
int extractAllEntries(unzFile archive, unsigned long* skipped = NULL);
// The current entry's status; 0 lets the pass go on.
int extractCurrentEntry(unzFile archive, unsigned long* skipped = NULL);

// 0, or -1 with errno set.
int makeFolder(const char* path);
// Creates the folders of `path` one level at a time: 1 when the walk completed, 0 when it gave up.
int makeFolderPath(const char* path);
// Clears the read-only attribute of an existing file; failures are ignored. False when there
// is no file or folder of that name.
bool makeWritable(const char* path);
void setEntryFileTime(const char* path, unsigned long dosDate);

}  // namespace patcher
