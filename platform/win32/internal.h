// Helpers shared by the Win32 backend files.
#pragma once

namespace platform {

// True while the publisher's tool has UTF-8 paths in use (see Utf8Paths).
bool utf8PathsInUse();
// UTF-8 `path` for the wide functions, in `size` units; false (and empty) when it is not
// UTF-8 or does not fit.
bool widePath(const char* path, wchar_t* buffer, int size);
const int kWidePathSize = 4096;

}  // namespace platform
