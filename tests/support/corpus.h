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

// An input kept in tests/fuzz/regressions/TARGET of this source tree.
std::string regressionInput(const std::string& target, const std::string& name);

}  // namespace corpus
