// The corpus is read from ../shared beside the source tree, never copied.
#include "tests/support/corpus.h"

#include <cstdlib>
#include <fstream>

namespace corpus {

namespace {

std::string linuxPath(const char* path) {
#ifdef _WIN32
    return std::string("Z:") + path;  // Wine shows the Linux root as drive Z:
#else
    return path;
#endif
}

}  // namespace

std::string root() {
    if (const char* override = std::getenv("VARDANE_CORPUS"))
        return override;
    return linuxPath(VARDANE_CORPUS_DIR);
}

bool available() {
    std::ifstream manifest(root() + "/MANIFEST.md");
    return manifest.good();
}

std::string regressionInput(const std::string& target, const std::string& name) {
    return linuxPath(VARDANE_SOURCE_DIR) + "/tests/fuzz/regressions/" + target + "/" + name;
}

std::string path(const std::string& relative) {
    return root() + "/" + relative;
}

std::vector<std::string> manifestLines() {
    std::vector<std::string> lines;
    std::ifstream manifest(root() + "/MANIFEST.md");
    std::string line;
    while (std::getline(manifest, line))
        lines.push_back(line);
    return lines;
}

}  // namespace corpus
