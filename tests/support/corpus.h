// Where the shared public corpus is, for the acceptance tests that read it in place.
#pragma once

#include <string>
#include <vector>

namespace corpus {

std::string root();
bool available();
std::string path(const std::string& relative);
// The lines of its MANIFEST.md (empty when the corpus is absent).
std::vector<std::string> manifestLines();

}  // namespace corpus
