// The extraction pass over minizip's unzip API. Console lines keep their fixed wordings:
// the publisher's tools and support texts quote them.
#include "patcher/extract.h"

#include "patcher/archive.h"
#include "patcher/console.h"
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

int extractCurrentEntry(unzFile archive, ExtractionReport* report) {
    char stored[kNameBufferSize];
    unz_file_info info;
    int status = unzGetCurrentFileInfo(archive, &info, stored, sizeof stored, NULL, 0, NULL, 0);
    if (status != UNZ_OK) {
        printLine("error %d with zipfile in unzGetCurrentFileInfo\n", status);
        return status;
    }
    // minizip leaves a name that fills the buffer unterminated.
    stored[kNameBufferSize - 1] = 0;

    // A name too long to hold is refused as stored; the other rules see the player's name.
    if (info.size_filename > kMaxEntryNameLength)
        return refuseUnsafeEntry(stored, info.size_filename, info, false);
    char name[kNameBufferSize];
    unsigned long nameLength = 0;
    if (!playerName(stored, info, name, &nameLength)) {
        printLine("refusing entry %s: %s\n", stored, describeProblem(EntryProblem::UnconvertibleName));
        return UNZ_BADZIPFILE;
    }
    bool isFolder = filePart(name)[0] == 0;
    status = refuseUnsafeEntry(name, nameLength, info, isFolder);
    if (status != UNZ_OK)
        return status;

    void* buffer = std::malloc(kCopyBufferSize);
    if (!buffer) {
        printLine("Error allocating memory\n");
        return UNZ_INTERNALERROR;
    }

    if (isFolder) {
        printLine("creating directory: %s\n", name);
        makeFolder(name);
        std::free(buffer);
        return UNZ_OK;
    }

    status = unzOpenCurrentFilePassword(archive, NULL);
    if (status == UNZ_OK && !localNameMatches(archive, stored, info.size_filename))
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
    for (;;) {
        int read = unzReadCurrentFile(archive, buffer, kCopyBufferSize);
        if (read < 0) {
            printLine("error %d with zipfile in unzReadCurrentFile\n", read);
            status = read;
            break;
        }
        if (read == 0) {
            status = UNZ_OK;
            break;
        }
        if (std::fwrite(buffer, static_cast<size_t>(read), 1, out) != 1) {
            printLine("error in writing extracted file\n");
            status = UNZ_ERRNO;
            if (report)
                report->writeFailed = true;
            break;
        }
        written += static_cast<unsigned long>(read);
    }
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
    if (written == info.uncompressed_size) {
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
    setEntryFileTime(temporary, info.dosDate);
    if (!platform::replaceFile(temporary, name)) {
        // Taken since the check above, by another program or by a folder.
        printLine("error opening %s\n", name);
        if (report)
            ++report->skipped;
        platform::removeFile(temporary);
    }
    return UNZ_OK;
}

int extractAllEntries(unzFile archive, ExtractionReport* report) {
    unz_global_info global;
    int status = unzGetGlobalInfo(archive, &global);
    if (status != UNZ_OK)
        return status;
    openHeaderReader();
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
