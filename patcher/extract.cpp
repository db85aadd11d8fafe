// The extraction pass over minizip's unzip API. Console lines keep their fixed wordings:
// the publisher's tools and support texts quote them.
#include "patcher/extract.h"

#include "patcher/archive.h"
#include "patcher/console.h"
#include "patcher/delta.h"
#include "patcher/entry_rules.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace patcher {

namespace {

const unsigned kNameBufferSize = 256;
const unsigned kCopyBufferSize = 8192;
// A name beside the target: its folder, "~vdp", up to ten digits and ".tmp".
const unsigned kTemporaryBufferSize = kNameBufferSize + 20;
const int kTemporaryAttempts = 100;

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

const char* filePart(const char* name) {
    const char* part = name;
    for (const char* p = name; *p; ++p)
        if (isSeparator(*p))
            part = p + 1;
    return part;
}

// The name every later step works on: the stored bytes, or for an entry flagged UTF-8 those
// bytes in the player's code page. False when a flagged name does not convert exactly.
bool playerName(const char* stored, const unz_file_info& info, char* name, unsigned long* length) {
    *length = info.size_filename < kNameBufferSize ? info.size_filename : kNameBufferSize - 1;
    if (!(info.flag & kUtf8NameFlag)) {
        std::memcpy(name, stored, kNameBufferSize);
        return true;
    }
    if (!platform::utf8ToAnsi(stored, *length, name, kNameBufferSize))
        return false;
    *length = std::strlen(name);
    return true;
}

// Entries that would land outside the install directory, or whose data minizip would hand
// over undecoded, are refused before anything is written for them.
int refuseUnsafeEntry(const char* name, unsigned long nameLength, const unz_file_info& info, bool isFolder) {
    EntryProblem problem = checkEntryName(name, nameLength);
    if (problem == EntryProblem::None && !isFolder)
        problem = checkEntryData(info.compression_method, info.flag);
    if (problem == EntryProblem::None)
        return UNZ_OK;
    if (problem == EntryProblem::NameTooLong)
        printLine("refusing entry %s...: %s (%lu bytes)\n", name, describeProblem(problem),
                    static_cast<unsigned long>(info.size_filename));
    else if (problem == EntryProblem::UnsupportedMethod)
        printLine("refusing entry %s: %s %lu\n", name, describeProblem(problem),
                    static_cast<unsigned long>(info.compression_method));
    else
        printLine("refusing entry %s: %s\n", name, describeProblem(problem));
    return UNZ_BADZIPFILE;
}

// Creates a new file in the folder of entry `name`, under a name no file there has yet, so
// that it can clobber nothing: not a file of the game, not an entry already extracted.
FILE* createTemporaryBeside(const char* name, char* temporary) {
    static unsigned long counter = 0;
    size_t folder = static_cast<size_t>(filePart(name) - name);
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        std::snprintf(temporary, kTemporaryBufferSize, "%.*s~vdp%lu.tmp", static_cast<int>(folder), name, counter++);
        FILE* file = platform::createNewFile(temporary);
        if (file || errno != EEXIST)
            return file;
    }
    return NULL;
}

}  // namespace

int makeFolder(const char* path) {
    return platform::makeDirectory(path);
}

int makeFolderPath(const char* path) {
    // Entry names are under 256 bytes; the copy is cut at the cut points, one at a time.
    char copy[kNameBufferSize];
    size_t length = std::strlen(path);
    if (length == 0 || length >= sizeof copy)
        return 0;
    std::memcpy(copy, path, length + 1);
    if (copy[length - 1] == '/')
        copy[--length] = 0;
    if (makeFolder(copy) == 0)
        return 1;
    // A leading separator is never a cut point.
    for (size_t i = 1; i <= length; ++i) {
        if (i < length && !isSeparator(copy[i]))
            continue;
        char kept = copy[i];
        copy[i] = 0;
        if (makeFolder(copy) != 0 && errno == ENOENT) {
            printLine("couldn't create directory %s\n", copy);
            return 0;
        }
        copy[i] = kept;
    }
    return 1;
}

bool makeWritable(const char* path) {
    unsigned long attributes = platform::fileAttributes(path);
    if (attributes == platform::kInvalidAttributes)
        return false;
    // Writing back attributes that would not change is a round trip to the file system for nothing.
    if (attributes & platform::kAttributeReadOnly)
        platform::setFileAttributes(path, attributes & ~platform::kAttributeReadOnly);
    return true;
}

void setEntryFileTime(const char* path, unsigned long dosDate) {
    platform::setFileTimesFromDos(path, dosDate);
}

namespace {

// An entry as the pass sees it: the stored name, the name every later step works on (for a
// delta entry, its target's), and the delta record when it is one.
struct Entry {
    unz_file_info info;
    char stored[kNameBufferSize];
    char name[kNameBufferSize];
    unsigned long nameLength;
    bool isFolder;
    bool isDelta;
    unsigned char extra[kMaxDeltaExtraSize];
    unsigned long extraLength;
    DeltaRecord delta;
};

// Reads the current entry's header and applies the rules every entry must pass before
// anything is written for it; prints the refusal and returns its status otherwise.
int readEntry(unzFile archive, Entry& e) {
    int status = unzGetCurrentFileInfo(archive, &e.info, e.stored, sizeof e.stored, e.extra, sizeof e.extra, NULL, 0);
    if (status != UNZ_OK) {
        printLine("error %d with zipfile in unzGetCurrentFileInfo\n", status);
        return status;
    }
    // minizip leaves a name that fills the buffer unterminated.
    e.stored[kNameBufferSize - 1] = 0;
    e.extraLength = e.info.size_file_extra < sizeof e.extra ? e.info.size_file_extra : sizeof e.extra;

    // A name too long to hold is refused as stored; the other rules see the player's name.
    if (e.info.size_filename > kMaxEntryNameLength)
        return refuseUnsafeEntry(e.stored, e.info.size_filename, e.info, false);
    if (!playerName(e.stored, e.info, e.name, &e.nameLength)) {
        printLine("refusing entry %s: %s\n", e.stored, describeProblem(EntryProblem::UnconvertibleName));
        return UNZ_BADZIPFILE;
    }
    DeltaField field = readDeltaRecord(e.extra, e.extraLength, e.info.compressed_size, &e.delta);
    e.isDelta = field != DeltaField::Absent;
    e.isFolder = filePart(e.name)[0] == 0;
    if (e.isDelta && (field == DeltaField::Damaged || e.isFolder || !cutDeltaSuffix(e.name, &e.nameLength))) {
        printLine("refusing entry %s: %s\n", e.name, describeProblem(EntryProblem::DamagedDelta));
        return UNZ_BADZIPFILE;
    }
    return refuseUnsafeEntry(e.name, e.nameLength, e.info, e.isFolder);
}

void reportWrongVersion(const Entry& e, TargetState state, ExtractionReport* report) {
    if (state == TargetState::Missing)
        printLine("missing %s, which this patch updates\n", e.name);
    else
        printLine("not the version this patch updates: %s\n", e.name);
    if (report)
        ++report->wrongVersions;
}

// The first of a delta entry's two reads: the stored bytes to their end, checked by minizip.
int checkStoredBytes(unzFile archive, void* buffer) {
    int status = unzOpenCurrentFilePassword(archive, NULL);
    if (status != UNZ_OK) {
        printLine("error %d with zipfile in unzOpenCurrentFilePassword\n", status);
        unzCloseCurrentFile(archive);
        return status;
    }
    int read;
    while ((read = unzReadCurrentFile(archive, buffer, kCopyBufferSize)) > 0) {
    }
    if (read < 0) {
        printLine("error %d with zipfile in unzReadCurrentFile\n", read);
        unzCloseCurrentFile(archive);
        return read;
    }
    status = unzCloseCurrentFile(archive);
    if (status != UNZ_OK)
        printLine("error %d with zipfile in unzCloseCurrentFile\n", status);
    return status;
}

// The local header must repeat what the central directory says of the entry: its name, and
// for a delta entry the record.
bool localHeaderMatches(unzFile archive, const Entry& e) {
    if (!localNameMatches(archive, e.stored, e.info.size_filename))
        return false;
    if (!e.isDelta)
        return true;
    return localExtraFieldMatches(archive, e.extra, e.extraLength);
}

// Copies the open entry's data into `out`, or decodes them with the target as the reference.
int writeData(unzFile archive, const Entry& e, void* buffer, FILE* out, unsigned long* written,
              ExtractionReport* report) {
    if (e.isDelta) {
        DeltaOutcome outcome;
        int status = decodeDelta(archive, e.delta, e.name, out, &outcome);
        // The decoder has read the stored bytes to their end, for minizip's check at the close.
        *written = e.info.uncompressed_size;
        if (status == UNZ_ERRNO) {
            printLine("error in writing extracted file\n");
            if (report)
                report->writeFailed = true;
        } else if (status == UNZ_CRCERROR) {
            printLine("error %d with zipfile in the delta of %s\n", status, e.name);
        } else if (status != UNZ_OK) {
            printLine("error %d with zipfile in unzReadCurrentFile\n", status);
        }
        return status;
    }
    for (;;) {
        int read = unzReadCurrentFile(archive, buffer, kCopyBufferSize);
        if (read < 0) {
            printLine("error %d with zipfile in unzReadCurrentFile\n", read);
            return read;
        }
        if (read == 0)
            return UNZ_OK;
        if (std::fwrite(buffer, static_cast<size_t>(read), 1, out) != 1) {
            printLine("error in writing extracted file\n");
            if (report)
                report->writeFailed = true;
            return UNZ_ERRNO;
        }
        *written += static_cast<unsigned long>(read);
    }
}

}  // namespace

int extractCurrentEntry(unzFile archive, ExtractionReport* report) {
    Entry e;
    int status = readEntry(archive, e);
    if (status != UNZ_OK)
        return status;
    char* name = e.name;

    void* buffer = std::malloc(kCopyBufferSize);
    if (!buffer) {
        printLine("Error allocating memory\n");
        return UNZ_INTERNALERROR;
    }

    if (e.isFolder) {
        printLine("creating directory: %s\n", name);
        makeFolder(name);
        std::free(buffer);
        return UNZ_OK;
    }

    if (e.isDelta) {
        TargetState state = examineTarget(name, e.delta);
        if (state == TargetState::New) {
            printLine(" up to date: %s\n", name);
            std::free(buffer);
            return UNZ_OK;
        }
        if (state == TargetState::Other || state == TargetState::Missing) {
            reportWrongVersion(e, state, report);
            std::free(buffer);
            return kWrongVersionStatus;
        }
        status = checkStoredBytes(archive, buffer);
        if (status != UNZ_OK) {
            std::free(buffer);
            return status;
        }
    }

    status = unzOpenCurrentFilePassword(archive, NULL);
    if (status == UNZ_OK && !localHeaderMatches(archive, e))
        status = UNZ_BADZIPFILE;
    if (status != UNZ_OK) {
        printLine("error %d with zipfile in unzOpenCurrentFilePassword\n", status);
        unzCloseCurrentFile(archive);
        std::free(buffer);
        return status;
    }

    // The entry goes to a new file beside its target, which it replaces only once the whole
    // entry has been read and accepted: a damaged entry or a full disk leaves the old file.
    bool replacing = makeWritable(name);
    char temporary[kTemporaryBufferSize];
    FILE* out = NULL;
    if (!replacing || platform::canReplaceFile(name)) {
        out = createTemporaryBeside(name, temporary);
        if (!out && errno == ENOENT) {
            char* cut = NULL;
            for (char* p = name; *p; ++p)
                if (isSeparator(*p))
                    cut = p;
            if (cut) {
                char kept = *cut;
                *cut = 0;
                makeFolderPath(name);
                *cut = kept;
                out = createTemporaryBeside(name, temporary);
            }
        }
    }
    if (!out) {
        printLine("error opening %s\n", name);
        if (report)
            ++report->skipped;
        status = unzCloseCurrentFile(archive);
        if (status != UNZ_OK)
            printLine("error %d with zipfile in unzCloseCurrentFile\n", status);
        std::free(buffer);
        return status;
    }

    printLine(" extracting: %s\n", name);
    unsigned long written = 0;
    status = writeData(archive, e, buffer, out, &written, report);
    // Buffered bytes reach the disk only here: a full disk may show up at the close.
    if (std::fclose(out) != 0 && status == UNZ_OK) {
        printLine("error in writing extracted file\n");
        status = UNZ_ERRNO;
        if (report)
            report->writeFailed = true;
    }
    std::free(buffer);

    if (status != UNZ_OK) {
        unzCloseCurrentFile(archive);
        platform::removeFile(temporary);
        return status;
    }
    // minizip checks the CRC only when the whole stated size was read: data that ends early
    // is damaged just the same.
    if (written == e.info.uncompressed_size) {
        status = unzCloseCurrentFile(archive);
    } else {
        unzCloseCurrentFile(archive);
        status = UNZ_CRCERROR;
    }
    if (status != UNZ_OK) {
        printLine("error %d with zipfile in unzCloseCurrentFile\n", status);
        platform::removeFile(temporary);
        return status;
    }
    setEntryFileTime(temporary, e.info.dosDate);
    if (!platform::replaceFile(temporary, name)) {
        // Taken since the check above, by another program or by a folder.
        printLine("error opening %s\n", name);
        if (report)
            ++report->skipped;
        platform::removeFile(temporary);
    }
    return UNZ_OK;
}

int checkDeltaTargets(unzFile archive, ExtractionReport* report) {
    unz_global_info global;
    if (unzGetGlobalInfo(archive, &global) != UNZ_OK)
        return UNZ_OK;
    unsigned long wrong = 0;
    int status = UNZ_OK;
    // A walk that fails leaves the archive to the pass, which meets the failure in its place.
    for (uLong i = 0; i < global.number_entry && status == UNZ_OK; ++i) {
        unz_file_info info;
        unsigned char extra[kMaxDeltaExtraSize];
        DeltaRecord record;
        if (unzGetCurrentFileInfo(archive, &info, NULL, 0, extra, sizeof extra, NULL, 0) != UNZ_OK)
            break;
        unsigned long length = info.size_file_extra < sizeof extra ? info.size_file_extra : sizeof extra;
        if (readDeltaRecord(extra, length, info.compressed_size, &record) != DeltaField::Absent) {
            Entry e;
            status = readEntry(archive, e);
            if (status != UNZ_OK)
                break;
            TargetState state = examineTarget(e.name, e.delta);
            if (state == TargetState::Other || state == TargetState::Missing) {
                ExtractionReport counted;
                reportWrongVersion(e, state, &counted);
                wrong += counted.wrongVersions;
            }
        }
        if (i + 1 < global.number_entry && unzGoToNextFile(archive) != UNZ_OK)
            break;
    }
    unzGoToFirstFile(archive);
    if (report)
        report->wrongVersions += wrong;
    if (status != UNZ_OK)
        return status;
    return wrong ? kWrongVersionStatus : UNZ_OK;
}

int extractAllEntries(unzFile archive, ExtractionReport* report) {
    unz_global_info global;
    int status = unzGetGlobalInfo(archive, &global);
    if (status != UNZ_OK)
        return status;
    openHeaderReader();
    // Every delta entry's target is examined before anything is written.
    status = checkDeltaTargets(archive, report);
    for (uLong i = 0; i < global.number_entry && status == UNZ_OK; ++i) {
        status = extractCurrentEntry(archive, report);
        if (status == UNZ_OK && i + 1 < global.number_entry) {
            status = unzGoToNextFile(archive);
            if (status != UNZ_OK)
                printLine("error %d with zipfile in unzGoToNextFile\n", status);
        }
    }
    closeHeaderReader();
    return status;
}

}  // namespace patcher
