// Opening the patch archive appended to the patcher's own executable file.
#pragma once

#include <unzip.h>

namespace patcher {

// An archive handle standing on the first entry, or null when the file holds no readable archive.
unzFile openPatchArchive(const char* ownPath);

}  // namespace patcher
