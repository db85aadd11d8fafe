// Listing and verifying a patcher file with minizip's unzip API, the way the patcher reads it.
#include "mkpatch/readback.h"

#include "mkpatch/payload.h"
#include "mkpatch/progress.h"
#include "patcher/archive.h"
#include "patcher/delta.h"
#include "patcher/entry_rules.h"
#include "platform/code_page.h"
#include "platform/platform.h"
#include "sondrel/audio/ogg_source.h"

#include <strings.h>
#include <unistd.h>
#include <unzip.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <vector>

namespace fs = std::filesystem;

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

// The converter's input: an .ogg file anywhere below the archive's "Patch" folder.
bool isSound(const char* name) {
    size_t length = std::strlen(name);
    return (std::strncmp(name, "Patch/", 6) == 0 || std::strncmp(name, "Patch\\", 6) == 0) && length > 10 &&
           strcasecmp(name + length - 4, ".ogg") == 0;
}

// Decodes a sound the way the converter does: through its OggSource, from a file. Empty when
// the converter could decode it; otherwise why not. `warning` notes a decode that stops short
// of the stream's stated length.
std::string decodeLikeTheConverter(const std::string& data, std::string& warning) {
    static const fs::path scratch = fs::temp_directory_path() / ("mkpatch-verify-" + std::to_string(::getpid()));
    {
        std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!out)
            return "cannot write a scratch copy to decode";
    }
    std::string problem;
    try {
        sondrel::OggSource source(textOf(scratch), true);
        std::vector<char> pcm(source.size());
        uint32_t decoded = source.readAll(pcm.data(), source.size());
        if (decoded != source.size())
            warning = "decodes to " + std::to_string(decoded) + " bytes of PCM where its stream states " +
                      std::to_string(source.size());
    } catch (const char*) {
        problem = "the converter cannot decode it";
    } catch (const std::bad_alloc&) {
        problem = "its stated length is too large to decode";
    }
    std::error_code ec;
    fs::remove(scratch, ec);
    return problem;
}

// An entry's name in UTF-8: flagged names are UTF-8 already (bytes that are not become '?'),
// the others are bytes in the game's code page.
std::string shownName(const char* name, const unz_file_info& info, unsigned codePage) {
    if (!(info.flag & patcher::kUtf8NameFlag))
        return platform::codePageToUtf8(name, codePage);
    if (platform::isUtf8(name))
        return name;
    std::string shown = name;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) >= 0x80)
            c = '?';
    return shown;
}

// printf into a line that goes out in the terminal's encoding.
template <typename... Values>
void printLine(FILE* out, const char* format, Values... values) {
    int length = std::snprintf(nullptr, 0, format, values...);
    std::vector<char> line(static_cast<size_t>(length > 0 ? length : 0) + 1);
    std::snprintf(line.data(), line.size(), format, values...);
    platform::writeTerminalText(out, line.data());
}

unzFile openArchive(const std::string& path, std::string& error) {
    unzFile archive = patcher::openPatchArchive(path.c_str());
    if (!archive)
        error = "no readable patch archive in " + path;
    return archive;
}

// What an entry holds beyond its central header: its delta record, when it is a delta entry.
struct EntryExtra {
    patcher::DeltaField field = patcher::DeltaField::Absent;
    patcher::DeltaRecord delta;
};

// Visits every entry in central-directory order; stops at the first minizip error.
template <typename Visit>
int forEachEntry(unzFile archive, Visit visit) {
    unz_global_info global;
    int status = unzGetGlobalInfo(archive, &global);
    for (uLong i = 0; status == UNZ_OK && i < global.number_entry; ++i) {
        char name[256];
        unsigned char extraField[patcher::kMaxDeltaExtraSize];
        unz_file_info info;
        status = unzGetCurrentFileInfo(archive, &info, name, sizeof name, extraField, sizeof extraField, NULL, 0);
        if (status != UNZ_OK)
            break;
        name[sizeof name - 1] = 0;
        EntryExtra extra;
        extra.field = patcher::readDeltaRecord(extraField, std::min<uLong>(info.size_file_extra, sizeof extraField),
                                               info.compressed_size, &extra.delta);
        if (!visit(name, info, extra))
            return 1;
        if (i + 1 < global.number_entry)
            status = unzGoToNextFile(archive);
    }
    return status;
}

// A delta entry's target as the entry names it: without the suffix.
std::string targetOf(const std::string& name) {
    size_t suffix = patcher::kDeltaSuffixLength;
    return name.size() > suffix && name.compare(name.size() - suffix, suffix, patcher::kDeltaSuffix) == 0
               ? name.substr(0, name.size() - suffix)
               : name;
}

// Applies the current entry, a delta, to its file below `baseTree` (found as Windows would,
// letter case aside). Empty when it makes the file its record states; otherwise what went wrong.
std::string applyDelta(unzFile archive, const patcher::DeltaRecord& record, const std::string& target,
                       const std::string& baseTree) {
    std::vector<PayloadFile> files;
    std::string error;
    if (!collectFiles(baseTree, files, error))
        return error;
    const PayloadFile* base = nullptr;
    for (const PayloadFile& file : files)
        if (foldedName(file.name) == foldedName(target))
            base = &file;
    if (!base)
        return "the older release has no such file";
    std::string basePath = textOf(base->path);
    // A file the delta leaves as it is counts as new before it counts as the base.
    patcher::TargetState state = patcher::examineTarget(basePath.c_str(), record);
    bool unchanged = record.baseSize == record.newSize && record.baseCrc == record.newCrc;
    if (state != patcher::TargetState::Base && !(unchanged && state == patcher::TargetState::New))
        return "the older release's file is not the one this delta updates";
    FILE* scratch = std::tmpfile();
    if (!scratch)
        return "cannot make a scratch file to decode into";
    int status = unzOpenCurrentFilePassword(archive, NULL);
    patcher::DeltaOutcome outcome;
    if (status == UNZ_OK)
        status = patcher::decodeDelta(archive, record, basePath.c_str(), scratch, &outcome);
    int closed = unzCloseCurrentFile(archive);
    std::fclose(scratch);
    if (status == UNZ_OK)
        status = closed;
    return status == UNZ_OK ? "" : "it does not make the file its record states (error " + std::to_string(status) + ")";
}

}  // namespace

bool listPatch(const std::string& path, FILE* out, std::string& error, unsigned codePage) {
    platform::Utf8Paths utf8Paths;
    unzFile archive = openArchive(path, error);
    if (!archive)
        return false;
    std::fprintf(out, "%10s %10s %-8s %-19s %s\n", "size", "packed", "method", "modified", "name");
    int status = forEachEntry(archive, [&](const char* name, const unz_file_info& info, const EntryExtra& extra) {
        char method[32], when[32];
        formatDosTime(info.dosDate, when, sizeof when);
        std::string shown = shownName(name, info, codePage);
        if (extra.field == patcher::DeltaField::Valid) {
            printLine(out, "%10lu %10lu %-8s %-19s %s (delta against a file of %lu bytes)\n",
                      static_cast<unsigned long>(extra.delta.newSize), static_cast<unsigned long>(info.compressed_size),
                      "delta", when, targetOf(shown).c_str(), static_cast<unsigned long>(extra.delta.baseSize));
            return true;
        }
        printLine(out, "%10lu %10lu %-8s %-19s %s%s\n", static_cast<unsigned long>(info.uncompressed_size),
                  static_cast<unsigned long>(info.compressed_size),
                  methodName(info.compression_method, method, sizeof method), when, shown.c_str(),
                  extra.field == patcher::DeltaField::Damaged ? " (damaged delta record)" : "");
        return true;
    });
    unzClose(archive);
    if (status != UNZ_OK) {
        error = "archive damaged (error " + std::to_string(status) + ")";
        return false;
    }
    return true;
}

bool verifyPatch(const std::string& path, FILE* out, std::string& error, unsigned codePage,
                 const std::string& baseTree) {
    platform::Utf8Paths utf8Paths;
    unzFile archive = openArchive(path, error);
    if (!archive)
        return false;
    std::vector<char> buffer(8192);
    unsigned long entries = 0, problems = 0, sounds = 0, deltas = 0;
    patcher::openHeaderReader();
    unz_global_info global;
    Progress progress("verifying", unzGetGlobalInfo(archive, &global) == UNZ_OK ? global.number_entry : 0, "entries");
    int status = forEachEntry(archive, [&](const char* stored, const unz_file_info& info, const EntryExtra& extra) {
        ++entries;
        std::string shown = shownName(stored, info, codePage);
        bool isDelta = extra.field != patcher::DeltaField::Absent;
        if (isDelta)
            shown = targetOf(shown);
        const char* name = shown.c_str();
        if (extra.field == patcher::DeltaField::Damaged || (isDelta && shown == shownName(stored, info, codePage))) {
            printLine(out, "FAIL %s: %s\n", name, patcher::describeProblem(patcher::EntryProblem::DamagedDelta));
            ++problems;
            return false;
        }
        // Past its length, the patcher applies its rules to the name in the player's code page.
        std::string playerName(stored, std::min<unsigned long>(info.size_filename, patcher::kMaxEntryNameLength));
        unsigned long playerLength = info.size_filename;
        patcher::EntryProblem problem = patcher::EntryProblem::None;
        if ((info.flag & patcher::kUtf8NameFlag) && playerLength <= patcher::kMaxEntryNameLength) {
            bool exact = false;
            playerName = platform::utf8ToCodePage(playerName, codePage, &exact);
            playerLength = playerName.size();
            if (!exact)
                problem = patcher::EntryProblem::UnconvertibleName;
        }
        if (problem == patcher::EntryProblem::None)
            problem = patcher::checkEntryName(playerName.c_str(), playerLength);
        if (problem == patcher::EntryProblem::None)
            problem = patcher::checkEntryData(info.compression_method, info.flag);
        if (problem != patcher::EntryProblem::None) {
            printLine(out, "FAIL %s: %s\n", name, patcher::describeProblem(problem));
            ++problems;
            return false;  // the patcher stops here too
        }
        int result = unzOpenCurrentFilePassword(archive, NULL);
        const char* step = "open";
        if (result == UNZ_OK && !patcher::localNameMatches(archive, stored, info.size_filename)) {
            unzCloseCurrentFile(archive);
            printLine(out, "FAIL %s: its local header names it otherwise\n", name);
            ++problems;
            return false;
        }
        if (result == UNZ_OK) {
            step = "read";
            unsigned long total = 0;
            bool sound = !isDelta && isSound(playerName.c_str());
            std::string data;
            while ((result = unzReadCurrentFile(archive, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
                total += static_cast<unsigned long>(result);
                if (sound)
                    data.append(buffer.data(), static_cast<size_t>(result));
            }
            // As in the patcher: data that ends before its stated size is damaged, though
            // minizip compares no CRC then.
            int closed = unzCloseCurrentFile(archive);
            if (result == 0 && total != info.uncompressed_size)
                closed = UNZ_CRCERROR;
            if (result == 0 && closed != UNZ_OK) {
                result = closed;
                step = closed == UNZ_CRCERROR ? "CRC check" : "close";
            }
            if (result == 0 && sound) {
                std::string warning, problem = decodeLikeTheConverter(data, warning);
                if (!problem.empty()) {
                    printLine(out, "FAIL %s: %s\n", name, problem.c_str());
                    ++problems;
                    return false;
                }
                if (!warning.empty())
                    printLine(out, "warn %s: %s\n", name, warning.c_str());
                ++sounds;
            }
        } else {
            unzCloseCurrentFile(archive);
        }
        if (result != 0) {
            printLine(out, "FAIL %s: %s failed (error %d)\n", name, step, result);
            ++problems;
            return false;
        }
        if (isDelta) {
            ++deltas;
            if (!baseTree.empty()) {
                std::string problem = applyDelta(archive, extra.delta, shown, baseTree);
                if (!problem.empty()) {
                    printLine(out, "FAIL %s: delta: %s\n", name, problem.c_str());
                    ++problems;
                    return false;
                }
                printLine(out, "ok   %s (delta applied)\n", name);
                progress.step();
                return true;
            }
        }
        printLine(out, "ok   %s\n", name);
        progress.step();
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
    std::fprintf(out, "%lu entries, all sound: names, local headers, lengths and CRCs checked; %lu %s decoded as "
                 "the converter decodes them\n",
                 entries, sounds, sounds == 1 ? "sound" : "sounds");
    if (deltas && baseTree.empty())
        std::fprintf(out, "%lu delta %s not applied: their results depend on the files they update; give --base "
                     "OLDTREE, the release the patch updates, to apply them\n",
                     deltas, deltas == 1 ? "entry" : "entries");
    else if (deltas)
        std::fprintf(out, "%lu delta %s applied to the older release's files, each making the file it states\n", deltas,
                     deltas == 1 ? "entry" : "entries");
    return true;
}

bool verifyPatch(const std::string& path, FILE* out, std::string& error, unsigned codePage) {
    return verifyPatch(path, out, error, codePage, std::string());
}

}  // namespace mkpatch
