// The converter's run: window up, roots from the command line, tree collected, mirrored and
// converted folder by folder, window down.
#pragma once

#include <string>

namespace sondrel {

// `tail` is the command line after the program's own name. Returns the exit status: 0 when
// every folder was entered and every file converted, 1 otherwise.
int runConverter(const std::string& tail);

// Brings a root to full-path form with one trailing separator; false for an empty root or
// one the platform cannot resolve.
bool toFullFolderPath(const std::string& root, std::string& fullPath);

}  // namespace sondrel
