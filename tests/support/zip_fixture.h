// Test archives made with minizip's zip API, and helpers for files and folders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fixture {

// 2021-06-15 13:45:30 as a DOS date and time.
const unsigned long kSampleDosDate = (41ul << 25) | (6ul << 21) | (15ul << 16) | (13ul << 11) | (45ul << 5) | 15ul;

struct Entry {
    std::string name;
    std::string data;
    int method = 8;                 // 0 stored, 8 deflate; any other is stored, then relabelled
    unsigned long dosDate = kSampleDosDate;
    unsigned long flagBase = 0;     // extra general purpose flag bits
};

// The bytes of a ZIP archive holding `entries` in order.
std::string makeZip(const std::vector<Entry>& entries);

// Sets the stored CRC-32 of the first entry (local and central header) to a wrong value.
void breakFirstCrc(std::string& zip);
// Sets the first entry's stated uncompressed size (local and central header).
void claimFirstSize(std::string& zip, uint32_t size);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);
// Sorted relative paths of every file and folder below `dir` ('/' separators, folders end in '/').
std::vector<std::string> listTree(const std::string& dir);
std::string sampleText(size_t bytes);
std::string randomBytes(size_t bytes, uint32_t seed);

// A fresh folder that is the current directory while the object lives.
class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    const std::string& path() const { return path_; }
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

private:
    std::string path_;
    std::string previous_;
};

}  // namespace fixture
