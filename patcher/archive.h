// Opening the patch archive appended to the patcher's own executable file, and reading its
// entries' local headers, which minizip checks against the central directory in everything
// but the name.
#pragma once

#include <unzip.h>

namespace patcher {

// An archive handle standing on the first entry, or null when the file holds no readable archive.
unzFile openPatchArchive(const char* ownPath);
// The same through other file functions (an archive held in memory, say).
unzFile openPatchArchiveWith(const char* path, const zlib_filefunc_def& functions);

// A second reader of the archive's file, for the local headers. Open it before the pass and
// close it after; without it, no local name can be compared.
bool openHeaderReader();
void closeHeaderReader();
// True when the open current entry's local header names it as the central directory does
// (`name`, `length` bytes). A damaged name would put the entry's data under another name.
bool localNameMatches(unzFile archive, const char* name, unsigned long length);
// True when the open current entry's local extra field is `extra` (`length` bytes), as the
// central directory has it. (minizip's own reader of the local extra field misses the bytes
// in front of the archive.)
bool localExtraFieldMatches(unzFile archive, const unsigned char* extra, unsigned long length);

}  // namespace patcher
