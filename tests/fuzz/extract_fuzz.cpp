// Fuzz target: arbitrary bytes as the patch archive, held in memory and read through minizip's
// file-function hooks, extracted by the patcher's pass into a scratch folder that is emptied
// after each input. Besides the sanitizers, it checks that nothing is written outside the
// scratch folder, that no temporary file is left, and that every file left behind holds
// exactly the data of an entry of that name.
#include "patcher/archive.h"
#include "patcher/extract.h"
#include "platform/code_page.h"
#include "tests/fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using fuzz::require;

// --- the archive in memory ---

struct Memory {
    const uint8_t* data;
    size_t size;
    size_t at;
};

voidpf openMemory(voidpf opaque, const char*, int) {
    Memory* stream = new Memory(*static_cast<Memory*>(opaque));
    stream->at = 0;
    return stream;
}

uLong readMemory(voidpf, voidpf stream, void* buffer, uLong size) {
    Memory* m = static_cast<Memory*>(stream);
    size_t n = m->at < m->size ? std::min<size_t>(size, m->size - m->at) : 0;
    std::memcpy(buffer, m->data + m->at, n);
    m->at += n;
    return static_cast<uLong>(n);
}

uLong writeMemory(voidpf, voidpf, const void*, uLong) {
    return 0;
}

long tellMemory(voidpf, voidpf stream) {
    return static_cast<long>(static_cast<Memory*>(stream)->at);
}

long seekMemory(voidpf, voidpf stream, uLong offset, int origin) {
    Memory* m = static_cast<Memory*>(stream);
    size_t base = origin == ZLIB_FILEFUNC_SEEK_SET ? 0 : origin == ZLIB_FILEFUNC_SEEK_CUR ? m->at : m->size;
    if (offset > m->size || base + offset > m->size)
        return -1;
    m->at = base + offset;
    return 0;
}

int closeMemory(voidpf, voidpf stream) {
    delete static_cast<Memory*>(stream);
    return 0;
}

int errorMemory(voidpf, voidpf) {
    return 0;
}

// --- checks ---

// Entry names as the file system sees them: either separator, no empty or "." parts.
std::string normalised(const std::string& name) {
    std::string result, part;
    for (const char* p = name.c_str();; ++p) {
        if (*p == '/' || *p == '\\' || *p == 0) {
            if (!part.empty() && part != ".")
                result += (result.empty() ? "" : "/") + part;
            part.clear();
            if (*p == 0)
                break;
        } else {
            part += *p;
        }
    }
    return result;
}

// True when some intact entry called `path` holds exactly `contents`.
bool matchesAnEntry(unzFile archive, const std::string& path, const std::string& contents) {
    if (unzGoToFirstFile(archive) != UNZ_OK)
        return false;
    do {
        char name[256];
        unz_file_info info;
        if (unzGetCurrentFileInfo(archive, &info, name, sizeof name, NULL, 0, NULL, 0) != UNZ_OK)
            return false;
        name[sizeof name - 1] = 0;
        // The disk holds names in UTF-8: a name flagged as UTF-8 as it is, any other read as
        // the bytes of code page 1252.
        std::string onDisk = (info.flag & 0x800) ? std::string(name) : platform::codePageToUtf8(name, 1252);
        if (normalised(onDisk) != path || info.uncompressed_size != contents.size())
            continue;
        if (unzOpenCurrentFilePassword(archive, NULL) != UNZ_OK)
            continue;
        std::string data(contents.size() + 1, '\0');
        int read = unzReadCurrentFile(archive, &data[0], static_cast<unsigned>(data.size()));
        bool intact = unzCloseCurrentFile(archive) == UNZ_OK;
        if (intact && read == static_cast<int>(contents.size()) && data.compare(0, contents.size(), contents) == 0)
            return true;
    } while (unzGoToNextFile(archive) == UNZ_OK);
    return false;
}

std::string readAll(const fs::path& path) {
    std::string data;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            data.append(chunk, n);
        std::fclose(file);
    }
    return data;
}

fs::path root, scratch;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    root = fuzz::scratchFolder("extract-fuzz");
    scratch = root / "game";
    fs::create_directory(scratch);
    // The pass prints a line per entry.
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Memory memory = {data, size, 0};
    zlib_filefunc_def functions = {openMemory, readMemory, writeMemory, tellMemory, seekMemory,
                                   closeMemory, errorMemory, &memory};
    unzFile archive = patcher::openPatchArchiveWith("memory", functions);
    if (!archive)
        return 0;
    require(chdir(scratch.c_str()) == 0, "cannot enter the scratch folder");
    patcher::ExtractionReport report;
    patcher::extractAllEntries(archive, &report);
    require(chdir(root.c_str()) == 0, "cannot leave the scratch folder");

    std::vector<fs::path> outside;
    for (const fs::directory_entry& entry : fs::directory_iterator(root))
        if (entry.path() != scratch)
            outside.push_back(entry.path());
    require(outside.empty(), "written outside the scratch folder:", outside.empty() ? "" : outside[0].string());
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(scratch)) {
        if (!entry.is_regular_file())
            continue;
        std::string path = fs::relative(entry.path(), scratch).generic_string();
        if (matchesAnEntry(archive, path, readAll(entry.path())))
            continue;
        require(entry.path().filename().string().rfind("~vdp", 0) != 0, "temporary file left:", path);
        require(false, "a file does not hold its entry's data:", path);
    }
    unzClose(archive);
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch))
        fs::remove_all(entry.path());
    return 0;
}
