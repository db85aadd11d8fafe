// Listing and verifying a patcher file with minizip's unzip API, the way the patcher reads it.
#include "mkpatch/readback.h"

#include "patcher/archive.h"
#include "patcher/entry_rules.h"

#include <unzip.h>

#include <vector>

namespace mkpatch {

namespace {

const char* methodName(unsigned long method, char* scratch, size_t size) {
    if (method == 0)
        return "stored";
    if (method == 8)
        return "deflate";
    std::snprintf(scratch, size, "method%lu", method);
    return scratch;
}

void formatDosTime(unsigned long dosDate, char* text, size_t size) {
    std::snprintf(text, size, "%04lu-%02lu-%02lu %02lu:%02lu:%02lu", ((dosDate >> 25) & 0x7F) + 1980,
                  (dosDate >> 21) & 0x0F, (dosDate >> 16) & 0x1F, (dosDate >> 11) & 0x1F,
                  (dosDate >> 5) & 0x3F, (dosDate & 0x1F) * 2);
}

unzFile openArchive(const std::string& path, std::string& error) {
    unzFile archive = patcher::openPatchArchive(path.c_str());
    if (!archive)
        error = "no readable patch archive in " + path;
    return archive;
}

// Visits every entry in central-directory order; stops at the first minizip error.
template <typename Visit>
int forEachEntry(unzFile archive, Visit visit) {
    unz_global_info global;
    int status = unzGetGlobalInfo(archive, &global);
    for (uLong i = 0; status == UNZ_OK && i < global.number_entry; ++i) {
        char name[256];
        unz_file_info info;
        status = unzGetCurrentFileInfo(archive, &info, name, sizeof name, NULL, 0, NULL, 0);
        if (status != UNZ_OK)
            break;
        name[sizeof name - 1] = 0;
        if (!visit(name, info))
            return 1;
        if (i + 1 < global.number_entry)
            status = unzGoToNextFile(archive);
    }
    return status;
}

}  // namespace

bool listPatch(const std::string& path, FILE* out, std::string& error) {
    unzFile archive = openArchive(path, error);
    if (!archive)
        return false;
    std::fprintf(out, "%10s %10s %-8s %-19s %s\n", "size", "packed", "method", "modified", "name");
    int status = forEachEntry(archive, [&](const char* name, const unz_file_info& info) {
        char method[32], when[32];
        formatDosTime(info.dosDate, when, sizeof when);
        std::fprintf(out, "%10lu %10lu %-8s %-19s %s\n", static_cast<unsigned long>(info.uncompressed_size),
                     static_cast<unsigned long>(info.compressed_size),
                     methodName(info.compression_method, method, sizeof method), when, name);
        return true;
    });
    unzClose(archive);
    if (status != UNZ_OK) {
        error = "archive damaged (error " + std::to_string(status) + ")";
        return false;
    }
    return true;
}

bool verifyPatch(const std::string& path, FILE* out, std::string& error) {
    unzFile archive = openArchive(path, error);
    if (!archive)
        return false;
    std::vector<char> buffer(8192);
    unsigned long entries = 0, problems = 0;
    patcher::openHeaderReader();
    int status = forEachEntry(archive, [&](const char* name, const unz_file_info& info) {
        ++entries;
        patcher::EntryProblem problem = patcher::checkEntryName(name, info.size_filename);
        if (problem == patcher::EntryProblem::None)
            problem = patcher::checkEntryData(info.compression_method, info.flag);
        if (problem != patcher::EntryProblem::None) {
            std::fprintf(out, "FAIL %s: %s\n", name, patcher::describeProblem(problem));
            ++problems;
            return false;  // the patcher stops here too
        }
        int result = unzOpenCurrentFilePassword(archive, NULL);
        const char* step = "open";
        if (result == UNZ_OK && !patcher::localNameMatches(archive, name, info.size_filename)) {
            unzCloseCurrentFile(archive);
            std::fprintf(out, "FAIL %s: its local header names it otherwise\n", name);
            ++problems;
            return false;
        }
        if (result == UNZ_OK) {
            step = "read";
            unsigned long total = 0;
            while ((result = unzReadCurrentFile(archive, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0)
                total += static_cast<unsigned long>(result);
            // As in the patcher: data that ends before its stated size is damaged, though
            // minizip compares no CRC then.
            int closed = unzCloseCurrentFile(archive);
            if (result == 0 && total != info.uncompressed_size)
                closed = UNZ_CRCERROR;
            if (result == 0 && closed != UNZ_OK) {
                result = closed;
                step = closed == UNZ_CRCERROR ? "CRC check" : "close";
            }
        } else {
            unzCloseCurrentFile(archive);
        }
        if (result != 0) {
            std::fprintf(out, "FAIL %s: %s failed (error %d)\n", name, step, result);
            ++problems;
            return false;
        }
        std::fprintf(out, "ok   %s\n", name);
        return true;
    });
    patcher::closeHeaderReader();
    unzClose(archive);
    if (status != UNZ_OK && problems == 0) {
        std::fprintf(out, "FAIL archive: error %d after %lu entries\n", status, entries);
        ++problems;
    }
    if (problems) {
        error = "the patch would not extract cleanly";
        return false;
    }
    std::fprintf(out, "%lu entries, all sound\n", entries);
    return true;
}

}  // namespace mkpatch
