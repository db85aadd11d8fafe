// Test archive writer and file helpers.
#include "tests/support/zip_fixture.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace fixture {

namespace {

tm_zip unusedDate() {
    tm_zip when;
    std::memset(&when, 0, sizeof when);
    return when;
}

uint32_t readLe32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

void writeLe32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<char>(value >> (8 * i));
}

uint32_t readLe16(const std::string& bytes, size_t at) {
    return static_cast<unsigned char>(bytes.at(at)) | (static_cast<unsigned char>(bytes.at(at + 1)) << 8);
}

// minizip writes only methods 0 and 8: other methods are stored data with a new label,
// set in the central and the local header alike.
void relabelMethods(std::string& zip, const std::vector<Entry>& entries) {
    size_t central = readLe32(zip, zip.size() - 22 + 16);
    for (const Entry& entry : entries) {
        size_t local = readLe32(zip, central + 42);
        if (entry.method != 0 && entry.method != 8) {
            zip.at(central + 10) = static_cast<char>(entry.method);
            zip.at(local + 8) = static_cast<char>(entry.method);
        }
        central += 46 + readLe16(zip, central + 28) + readLe16(zip, central + 30) + readLe16(zip, central + 32);
    }
}

}  // namespace

std::string makeZip(const std::vector<Entry>& entries) {
    static std::atomic<unsigned> counter{0};
    fs::path path = fs::temp_directory_path() /
                    ("fixture-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                     "-" + std::to_string(counter++) + ".zip");
    zipFile zip = zipOpen(path.string().c_str(), APPEND_STATUS_CREATE);
    if (!zip)
        throw std::runtime_error("cannot create " + path.string());
    for (const Entry& entry : entries) {
        zip_fileinfo info;
        std::memset(&info, 0, sizeof info);
        info.tmz_date = unusedDate();
        info.dosDate = entry.dosDate;
        int method = entry.method == 8 ? Z_DEFLATED : 0;
        int status = zipOpenNewFileInZip4(zip, entry.name.c_str(), &info, NULL, 0, NULL, 0, NULL, method,
                                          Z_BEST_COMPRESSION, 0, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, NULL, 0,
                                          0x0B14, entry.flagBase);
        if (status == ZIP_OK && !entry.data.empty())
            status = zipWriteInFileInZip(zip, entry.data.data(), static_cast<unsigned>(entry.data.size()));
        if (status == ZIP_OK)
            status = zipCloseFileInZip(zip);
        if (status != ZIP_OK)
            throw std::runtime_error("cannot add " + entry.name);
    }
    zipClose(zip, NULL);
    std::string bytes = readFile(path.string());
    fs::remove(path);
    relabelMethods(bytes, entries);
    return bytes;
}

void breakFirstCrc(std::string& zip) {
    size_t end = zip.size() - 22;
    size_t central = readLe32(zip, end + 16);
    uint32_t wrong = readLe32(zip, 14) ^ 0x5A5A5A5Au;
    writeLe32(zip, 14, wrong);
    writeLe32(zip, central + 16, wrong);
}

void claimFirstSize(std::string& zip, uint32_t size) {
    size_t central = readLe32(zip, zip.size() - 22 + 16);
    writeLe32(zip, 22, size);
    writeLe32(zip, central + 24, size);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

std::vector<std::string> listTree(const std::string& dir) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir)) {
        std::string name = fs::relative(entry.path(), dir).generic_string();
        if (entry.is_directory())
            name += '/';
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string sampleText(size_t bytes) {
    static const char kWords[] = "the patch replaces sound and data files of the game; ";
    std::string text;
    while (text.size() < bytes)
        text += kWords;
    text.resize(bytes);
    return text;
}

std::string randomBytes(size_t bytes, uint32_t seed) {
    std::mt19937 generator(seed);
    std::string data(bytes, '\0');
    for (char& c : data)
        c = static_cast<char>(generator() & 0xFF);
    return data;
}

ScopedTempDir::ScopedTempDir() {
    static std::atomic<unsigned> counter{0};
    fs::path dir = fs::temp_directory_path() /
                   ("vardane-test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                    "-" + std::to_string(counter++));
    fs::create_directories(dir);
    path_ = fs::canonical(dir).string();
    previous_ = fs::current_path().string();
    fs::current_path(path_);
}

ScopedTempDir::~ScopedTempDir() {
    std::error_code ec;
    fs::current_path(previous_, ec);
    // Read-only leftovers must not keep the tree alive.
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path_, ec))
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

}  // namespace fixture
