// The corpus is read from ../shared beside the source tree, never copied.
#include "tests/support/corpus.h"

#include <cstdlib>
#include <fstream>

namespace corpus {

std::string root() {
    if (const char* override = std::getenv("VARDANE_CORPUS"))
        return override;
#ifdef _WIN32
    return "Z:" VARDANE_CORPUS_DIR;  // Wine shows the Linux root as drive Z:
#else
    return VARDANE_CORPUS_DIR;
#endif
}

bool available() {
    std::ifstream manifest(root() + "/MANIFEST.md");
    return manifest.good();
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
