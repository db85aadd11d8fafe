// Helpers shared by the POSIX backend files.
#pragma once

#include <string>

namespace platform {

// Windows paths use '\' as well as '/'; POSIX sees only '/'. The path is translated with
// nativeText.
std::string nativePath(const char* path);

// An 8-bit string of the product (code page 1252) in the file system's UTF-8, and back; what
// code page 1252 cannot hold comes back as '?'. While the publisher's tool has UTF-8 paths in
// use, both leave the text as it is.
std::string nativeText(const char* text);
std::string productText(const std::string& native);

// The current directory as Windows keeps it: the full path it was set to, not where the links
// on the way lead (getcwd's answer), while that path still names the current directory.
std::string currentDirectory();
// `path` ('/' separators) made absolute against the current directory, with "." and ".."
// resolved by name, as the Windows full-path function does; a trailing '/' stays.
std::string lexicalFullPath(const std::string& path);

// String resources of a POSIX build: each program links its own table,
// made from the same texts as its Windows resource script.
struct StringResource {
    unsigned id;
    const char* text;
};
extern const StringResource kStringResources[];
extern const unsigned kStringResourceCount;

}  // namespace platform
