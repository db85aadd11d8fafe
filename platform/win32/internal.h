// Helpers shared by the Win32 backend files.
#pragma once

#include <string>

namespace platform {

// True while the publisher's tool has UTF-8 paths in use (see Utf8Paths).
bool utf8PathsInUse();
// UTF-8 `path` for the wide functions; empty when it is not UTF-8.
std::wstring widePath(const char* path);

}  // namespace platform
