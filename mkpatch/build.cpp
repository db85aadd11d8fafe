// The patch archive is written through minizip's zip API: files sorted by path, '/'
// separators, no folder entries, DOS times in local time, deflated at the best level
// unless storing is smaller, empty files stored, no data descriptors. Delta entries are stored
// (their frames do not deflate), named after their target with the delta suffix, with the
// delta record as the extra field of both headers; no other entry has an extra field.
#include "mkpatch/build.h"
#include "mkpatch/delta_encoder.h"
#include "mkpatch/masters.h"
#include "mkpatch/payload.h"
#include "mkpatch/progress.h"
#include "mkpatch/standard_script.h"

#include "patcher/delta_record.h"
#include "patcher/entry_rules.h"
#include "platform/platform.h"

#include <strings.h>
#include <sys/stat.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <thread>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace mkpatch {

namespace {

const unsigned long kVersionMadeBy = 0x0B14;  // host 11, version 2.0
const size_t kChunk = 64 * 1024;
const unsigned long kMaxEntries = 65535;
const uint64_t kMaxPatchSize = 0x7FFFFFFFull;  // the reader keeps positions in signed 32 bits

// Sizes and times, read once the names are known to be acceptable.
bool describeFiles(std::vector<PayloadFile>& files, std::string& error) {
    for (PayloadFile& file : files) {
#ifdef _WIN32
        struct _stat64 info;
        bool found = _wstat64(file.path.c_str(), &info) == 0;
#else
        struct stat info;
        bool found = stat(file.path.c_str(), &info) == 0;
#endif
        if (!found) {
            error = "cannot read " + textOf(file.path);
            return false;
        }
        file.size = static_cast<uint64_t>(info.st_size);
        file.modified = info.st_mtime;
        if (file.size > kMaxPatchSize) {
            error = "file too large for a patch: " + file.name;
            return false;
        }
    }
    return true;
}

bool checkFiles(std::vector<PayloadFile>& files, unsigned codePage, std::string& error) {
    if (files.size() > kMaxEntries) {
        error = "too many files: " + std::to_string(files.size()) + " (at most 65535)";
        return false;
    }
    if (!checkNames(files, codePage, error))
        return false;
    return true;
}

tm_zip dosTimeOf(time_t modified) {
    struct tm local;
#ifdef _WIN32
    local = *std::localtime(&modified);
#else
    localtime_r(&modified, &local);
#endif
    tm_zip when;
    if (local.tm_year < 80) {  // DOS times start in 1980
        when.tm_year = 1980, when.tm_mon = 0, when.tm_mday = 1;
        when.tm_hour = when.tm_min = when.tm_sec = 0;
        return when;
    }
    when.tm_sec = static_cast<uInt>(local.tm_sec);
    when.tm_min = static_cast<uInt>(local.tm_min);
    when.tm_hour = static_cast<uInt>(local.tm_hour);
    when.tm_mday = static_cast<uInt>(local.tm_mday);
    when.tm_mon = static_cast<uInt>(local.tm_mon);
    when.tm_year = static_cast<uInt>(local.tm_year + 1900);
    return when;
}

// Size of the raw deflate stream minizip would write for the file at the best level; past
// `limit` it stops and says limit + 1.
bool deflatedSize(const fs::path& path, uint64_t& size, uint64_t limit = UINT64_MAX) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    std::vector<unsigned char> input(kChunk), output(kChunk);
    size = 0;
    int flush = Z_NO_FLUSH;
    do {
        in.read(reinterpret_cast<char*>(input.data()), input.size());
        stream.next_in = input.data();
        stream.avail_in = static_cast<uInt>(in.gcount());
        flush = in.eof() ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = output.data();
            stream.avail_out = static_cast<uInt>(output.size());
            deflate(&stream, flush);
            size += output.size() - stream.avail_out;
        } while (stream.avail_out == 0);
    } while (flush != Z_FINISH && !in.bad() && size <= limit);
    deflateEnd(&stream);
    if (size > limit)
        size = limit + 1;
    return !in.bad();
}

bool addFile(zipFile archive, const PayloadFile& file, std::string& error) {
    int method = Z_DEFLATED;
    int level = Z_BEST_COMPRESSION;
    if (file.size == 0) {
        method = 0, level = 0;  // level 0 keeps the flags of empty entries at 0
    } else {
        uint64_t packed = 0;
        if (!deflatedSize(file.path, packed)) {
            error = "cannot read " + textOf(file.path);
            return false;
        }
        if (packed >= file.size)
            method = 0;  // the level stays: its flag bits mark stored entries like deflated ones
    }
    zip_fileinfo info;
    std::memset(&info, 0, sizeof info);
    info.tmz_date = dosTimeOf(file.modified);
    int status = zipOpenNewFileInZip4(archive, file.entryName.c_str(), &info, NULL, 0, NULL, 0, NULL,
                                      method, level, 0, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, NULL, 0,
                                      kVersionMadeBy, 0);
    if (status != ZIP_OK) {
        error = "cannot add " + file.name + " (error " + std::to_string(status) + ")";
        return false;
    }
    std::ifstream in(file.path, std::ios::binary);
    std::vector<char> buffer(kChunk);
    uint64_t total = 0;
    while (in && status == ZIP_OK) {
        in.read(buffer.data(), buffer.size());
        std::streamsize got = in.gcount();
        if (got > 0)
            status = zipWriteInFileInZip(archive, buffer.data(), static_cast<unsigned>(got));
        total += static_cast<uint64_t>(got);
    }
    int closeStatus = zipCloseFileInZip(archive);
    if (status != ZIP_OK || closeStatus != ZIP_OK || in.bad() || total != file.size) {
        error = "cannot write " + file.name + " into the archive (was it changed while being read?)";
        return false;
    }
    return true;
}

uint32_t readLe(const unsigned char* p, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

void writeLe16(unsigned char* p, unsigned value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}

// minizip marks every entry as needing version 2.0; a stored entry needs only 1.0.
// Patched in place: the central directory is read whole, local headers are touched one by one.
bool markStoredEntries(const fs::path& zipPath, std::string& error) {
    std::fstream zip(zipPath, std::ios::binary | std::ios::in | std::ios::out);
    const long kEndRecord = 22;
    unsigned char end[kEndRecord];
    zip.seekg(-kEndRecord, std::ios::end);
    zip.read(reinterpret_cast<char*>(end), kEndRecord);
    if (!zip || readLe(end, 4) != 0x06054b50) {
        error = "archive end record missing in " + textOf(zipPath);
        return false;
    }
    uint32_t count = readLe(end + 10, 2);
    uint32_t size = readLe(end + 12, 4);
    uint32_t offset = readLe(end + 16, 4);
    std::vector<unsigned char> directory(size);
    zip.seekg(offset);
    zip.read(reinterpret_cast<char*>(directory.data()), size);
    size_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (!zip || at + 46 > directory.size() || readLe(&directory[at], 4) != 0x02014b50) {
            error = "central directory damaged in " + textOf(zipPath);
            return false;
        }
        unsigned char* central = &directory[at];
        if (readLe(central + 10, 2) == 0) {
            unsigned char ten[2];
            writeLe16(ten, 10);
            writeLe16(central + 6, 10);
            zip.seekp(readLe(central + 42, 4) + 4);
            zip.write(reinterpret_cast<const char*>(ten), 2);
        }
        at += 46 + readLe(central + 28, 2) + readLe(central + 30, 2) + readLe(central + 32, 2);
    }
    zip.seekp(offset);
    zip.write(reinterpret_cast<const char*>(directory.data()), size);
    zip.close();
    if (!zip) {
        error = "cannot update " + textOf(zipPath);
        return false;
    }
    return true;
}

bool appendFile(std::ofstream& out, const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(kChunk);
    while (in) {
        in.read(buffer.data(), buffer.size());
        out.write(buffer.data(), in.gcount());
    }
    return !in.bad() && out.good();
}

// Calls `job(i)` for every i in [first, last), spread over one worker per core; returns when
// all are done. Jobs write only to their own slots, so the order of work does not show.
template <typename Job>
void forEachInParallel(size_t first, size_t last, Job job) {
    std::atomic<size_t> next(first);
    auto work = [&]() {
        for (size_t i = next++; i < last; i = next++)
            job(i);
    };
    size_t wanted = std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), last - first);
    unsigned workers = static_cast<unsigned>(std::max<size_t>(1, wanted));
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < workers; ++w)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
}

// A file read and deflated ahead of writing: once, at the best level, by one of the workers;
// its delta too, when it has a base and fits one segment.
struct Packed {
    std::string content;
    std::string deflated;
    uLong crc = 0;
    bool ready = false;  // false: too large to hold, or unreadable; the writer streams it itself
    bool deltaTried = false;
    bool deltaMade = false;
    Delta delta;
    std::string deltaError;
};

void makeDeltaOf(const PayloadFile& file, const DeltaOptions& options, Packed& packed) {
    packed.deltaTried = true;
    packed.deltaMade = makeDelta(file.base, file.path, options, packed.delta, packed.deltaError);
}

const uint64_t kPackInMemoryLimit = 64ull << 20;

void pack(const PayloadFile& file, Packed& packed) {
    if (file.size == 0 || file.size > kPackInMemoryLimit)
        return;
    std::ifstream in(file.path, std::ios::binary);
    packed.content.resize(static_cast<size_t>(file.size));
    if (!in.read(&packed.content[0], static_cast<std::streamsize>(file.size)) || in.peek() != EOF)
        return;  // changed since it was measured: the writer's own pass reports it
    packed.crc = crc32(0L, reinterpret_cast<const Bytef*>(packed.content.data()), static_cast<uInt>(file.size));
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    packed.deflated.resize(deflateBound(&stream, static_cast<uLong>(file.size)));
    stream.next_in = reinterpret_cast<Bytef*>(&packed.content[0]);
    stream.avail_in = static_cast<uInt>(file.size);
    stream.next_out = reinterpret_cast<Bytef*>(&packed.deflated[0]);
    stream.avail_out = static_cast<uInt>(packed.deflated.size());
    bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    packed.deflated.resize(stream.total_out);
    deflateEnd(&stream);
    packed.ready = done;
}

// Writes a packed file: its deflate stream as it is when smaller, its bytes stored otherwise.
bool addPacked(zipFile archive, const PayloadFile& file, const Packed& packed, std::string& error) {
    bool stored = packed.deflated.size() >= file.size;
    zip_fileinfo info;
    std::memset(&info, 0, sizeof info);
    info.tmz_date = dosTimeOf(file.modified);
    // The level stays: its flag bits mark stored entries like deflated ones.
    int status = zipOpenNewFileInZip4(archive, file.entryName.c_str(), &info, NULL, 0, NULL, 0, NULL,
                                      stored ? 0 : Z_DEFLATED, Z_BEST_COMPRESSION, stored ? 0 : 1, -MAX_WBITS, 8,
                                      Z_DEFAULT_STRATEGY, NULL, 0, kVersionMadeBy, 0);
    const std::string& data = stored ? packed.content : packed.deflated;
    if (status == ZIP_OK && !data.empty())
        status = zipWriteInFileInZip(archive, data.data(), static_cast<unsigned>(data.size()));
    int closeStatus = stored ? zipCloseFileInZip(archive)
                             : zipCloseFileInZipRaw(archive, static_cast<uLong>(file.size), packed.crc);
    if (status != ZIP_OK || closeStatus != ZIP_OK) {
        error = "cannot write " + file.name + " into the archive (error " + std::to_string(status) + ")";
        return false;
    }
    return true;
}

// Writes a delta entry: the target's name with the suffix, stored, the record in both headers.
bool addDelta(zipFile archive, const PayloadFile& file, const Delta& delta, std::string& error) {
    unsigned char extra[patcher::kMaxDeltaExtraSize];
    unsigned long extraSize = patcher::writeDeltaRecord(delta.record, extra, sizeof extra);
    std::string name = file.entryName + patcher::kDeltaSuffix;
    zip_fileinfo info;
    std::memset(&info, 0, sizeof info);
    info.tmz_date = dosTimeOf(file.modified);
    int status = zipOpenNewFileInZip4(archive, name.c_str(), &info, extra, static_cast<uInt>(extraSize), extra,
                                      static_cast<uInt>(extraSize), NULL, 0, Z_BEST_COMPRESSION, 0, -MAX_WBITS, 8,
                                      Z_DEFAULT_STRATEGY, NULL, 0, kVersionMadeBy, 0);
    if (status == ZIP_OK)
        status = zipWriteInFileInZip(archive, delta.frames.data(), static_cast<unsigned>(delta.frames.size()));
    int closeStatus = zipCloseFileInZip(archive);
    if (extraSize == 0 || status != ZIP_OK || closeStatus != ZIP_OK) {
        error = "cannot write the delta of " + file.name + " into the archive (error " + std::to_string(status) + ")";
        return false;
    }
    return true;
}

// What a delta entry costs beyond its frames: the record and the longer name, in both headers.
uint64_t deltaOverhead(const Delta& delta) {
    return 2 * (4 + 24 + 12 * static_cast<uint64_t>(delta.record.segmentCount) + patcher::kDeltaSuffixLength);
}

// Writes file `i`, as a delta when it has one smaller than the whole file's entry.
bool addEntry(zipFile archive, const PayloadFile& file, Packed& packed, const DeltaOptions& options,
              BuildReport& report, std::string& error) {
    if (!file.base.empty() && !packed.deltaTried) {
        DeltaOptions all = options;
        all.threads = 0;
        makeDeltaOf(file, all, packed);
    }
    if (packed.deltaTried && !packed.deltaMade) {
        error = packed.deltaError;
        return false;
    }
    if (packed.deltaMade) {
        uint64_t deltaSize = packed.delta.frames.size() + deltaOverhead(packed.delta);
        uint64_t wholeSize = file.size;
        if (packed.ready) {
            wholeSize = std::min<uint64_t>(packed.deflated.size(), file.size);
        } else if (!deflatedSize(file.path, wholeSize, deltaSize)) {
            error = "cannot read " + textOf(file.path);
            return false;
        }
        if (deltaSize < wholeSize) {
            ++report.deltas;
            report.deltaFileBytes += file.size;
            report.deltaBytes += packed.delta.frames.size();
            return addDelta(archive, file, packed.delta, error);
        }
    }
    return packed.ready ? addPacked(archive, file, packed, error) : addFile(archive, file, error);
}

// Files are packed by one worker per core, a batch at a time so that memory stays bounded,
// and written in order by this thread: the archive is the same however many cores pack it.
// A delta larger than one segment is made by the writer, its segments spread over the cores.
bool writeArchive(const std::vector<PayloadFile>& files, const fs::path& zipPath, const DeltaOptions& deltas,
                  BuildReport& report, std::string& error) {
    zlib_filefunc_def functions;
    platform::fillArchiveFileFunctions(&functions);
    zipFile archive = zipOpen2(textOf(zipPath).c_str(), APPEND_STATUS_CREATE, NULL, &functions);
    if (!archive) {
        error = "cannot create " + textOf(zipPath);
        return false;
    }
    bool ok = true;
    Progress progress("building", static_cast<unsigned long>(files.size()), "entries");
    const size_t batch = 8 * std::max(1u, std::thread::hardware_concurrency());
    DeltaOptions alone = deltas;
    alone.threads = 1;
    for (size_t first = 0; ok && first < files.size(); first += batch) {
        size_t last = std::min(files.size(), first + batch);
        std::vector<Packed> packed(last - first);
        forEachInParallel(first, last, [&](size_t i) {
            pack(files[i], packed[i - first]);
            if (!files[i].base.empty() && files[i].size <= deltas.segmentSize)
                makeDeltaOf(files[i], alone, packed[i - first]);
        });
        for (size_t i = first; ok && i < last; ++i) {
            ok = addEntry(archive, files[i], packed[i - first], deltas, report, error);
            progress.step();
        }
    }
    if (zipClose(archive, NULL) != ZIP_OK && ok) {
        error = "cannot finish " + textOf(zipPath);
        ok = false;
    }
    return ok;
}

const char kConverterName[] = "sondrel.exe";
const char kScriptName[] = "patch.bat";
const char kSoundFolder[] = "Patch/";

bool isMaster(const std::string& name) {
    return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".wav") == 0;
}

struct Encoded {
    std::string ogg, warning, error;
    MasterSound sound;
};

// Encodes every master, one worker per core; results keep the masters' order.
std::vector<Encoded> encodeMasters(const std::vector<PayloadFile>& masters, float quality) {
    std::vector<Encoded> results(masters.size());
    forEachInParallel(0, masters.size(), [&](size_t i) {
        Encoded& r = results[i];
        // The serial number follows the master's place, so a rebuild gives the same bytes.
        encodeMaster(textOf(masters[i].path), quality, static_cast<int>(i + 1), r.ogg, r.sound, r.warning, r.error);
    });
    return results;
}

bool writeStaged(const fs::path& path, const char* data, size_t size, fs::file_time_type when, std::string& error) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        error = "cannot write " + textOf(path);
        return false;
    }
    fs::last_write_time(path, when, ec);
    return true;
}

// The sounds, the converter and the script, staged as files below `staging` and added to `files`.
std::string soundName(const PayloadFile& master) {
    return kSoundFolder + master.name.substr(0, master.name.size() - 4) + ".ogg";
}

bool addSounds(const SoundOptions& options, unsigned codePage, const fs::path& staging,
               std::vector<PayloadFile>& files, BuildReport& report, std::string& error) {
    for (const PayloadFile& file : files) {
        if (file.name == kConverterName || file.name == kScriptName || file.name.compare(0, 6, kSoundFolder) == 0) {
            error = "the payload already holds " + file.name + "; with --sounds, mkpatch adds the sounds, " +
                    kConverterName + " and " + kScriptName + " itself";
            return false;
        }
    }
    std::error_code ec;
    if (!fs::is_regular_file(pathOf(options.converter), ec)) {
        error = "converter not found: " + options.converter + " (name another with --converter)";
        return false;
    }
    std::vector<PayloadFile> all, masters;
    if (!collectFiles(options.masters, all, error))
        return false;
    for (const PayloadFile& file : all)
        if (isMaster(file.name))
            masters.push_back(file);
    if (masters.empty()) {
        error = "no .wav masters below " + options.masters;
        return false;
    }
    // The sounds' names are checked before any is encoded.
    std::vector<PayloadFile> sounds;
    for (const PayloadFile& master : masters)
        sounds.push_back(PayloadFile{soundName(master), master.path, 0, 0, "", {}});
    if (!checkNames(sounds, codePage, error))
        return false;
    std::vector<Encoded> encoded = encodeMasters(masters, options.quality);
    fs::file_time_type converterTime = fs::last_write_time(pathOf(options.converter), ec);
    for (size_t i = 0; i < masters.size(); ++i) {
        if (!encoded[i].error.empty()) {
            error = encoded[i].error;
            return false;
        }
        if (!encoded[i].warning.empty())
            report.warnings.push_back(encoded[i].warning);
        std::string name = soundName(masters[i]);
        fs::path staged = staging / pathOf(name);
        if (!writeStaged(staged, encoded[i].ogg.data(), encoded[i].ogg.size(), fs::last_write_time(masters[i].path, ec),
                         error))
            return false;
        files.push_back(PayloadFile{name, staged, 0, 0, "", {}});
        ++report.sounds;
        report.wavBytes += fs::file_size(masters[i].path, ec);
        report.oggBytes += encoded[i].ogg.size();
    }
    fs::path script = staging / kScriptName;
    if (!writeStaged(script, reinterpret_cast<const char*>(kStandardScript), kStandardScriptSize, converterTime, error))
        return false;
    files.push_back(PayloadFile{kScriptName, script, 0, 0, "", {}});
    files.push_back(PayloadFile{kConverterName, pathOf(options.converter), 0, 0, "", {}});
    std::sort(files.begin(), files.end(),
              [](const PayloadFile& a, const PayloadFile& b) { return a.name < b.name; });
    return true;
}

// A payload of game files alone (what `diff` gives) still needs a script: the patcher reports
// a patch whose script it cannot start as damaged.
bool addScriptIfMissing(const fs::path& staging, std::vector<PayloadFile>& files, BuildReport& report,
                        std::string& error) {
    for (const PayloadFile& file : files)
        if (foldedName(file.name) == foldedName(kScriptName))
            return true;
    fs::path script = staging / kScriptName;
    std::error_code ec;
    if (!writeStaged(script, kMinimalScript, std::strlen(kMinimalScript), fs::file_time_type::clock::now(), error))
        return false;
    files.push_back(PayloadFile{kScriptName, script, 0, 0, "", {}});
    std::sort(files.begin(), files.end(),
              [](const PayloadFile& a, const PayloadFile& b) { return a.name < b.name; });
    report.scriptAdded = true;
    return true;
}

// Files the standard script removes once it has run: a player never has them to update.
bool removedAfterTheRun(const std::string& name) {
    std::string folded = foldedName(name);
    return folded == foldedName(kScriptName) || folded == foldedName(kConverterName) ||
           folded.compare(0, 6, foldedName(kSoundFolder)) == 0;
}

// Gives each payload file that the older release has too (letter case ignored, as Windows
// finds it) its base. Files that stay whole: the ones the script removes, empty ones, ones
// whose delta entry's name would be too long or taken by another file.
bool matchBases(const std::string& tree, std::vector<PayloadFile>& files, BuildReport& report, std::string& error) {
    std::vector<PayloadFile> old;
    if (!collectFiles(tree, old, error))
        return false;
    std::map<std::string, fs::path> bases;
    std::set<std::string> ambiguous, payload;
    for (const PayloadFile& file : old) {
        std::string key = foldedName(file.name);
        if (!bases.emplace(key, file.path).second)
            ambiguous.insert(key);
    }
    for (const PayloadFile& file : files)
        payload.insert(foldedName(file.name));
    for (PayloadFile& file : files) {
        std::string key = foldedName(file.name);
        auto found = bases.find(key);
        if (found == bases.end() || removedAfterTheRun(file.name) || file.size == 0 ||
            payload.count(foldedName(file.name + patcher::kDeltaSuffix)) ||
            file.entryName.size() + patcher::kDeltaSuffixLength > patcher::kMaxEntryNameLength)
            continue;
        if (ambiguous.count(key)) {
            report.warnings.push_back("the older release has more than one file named like " + file.name +
                                      " (letter case aside); it goes whole");
            continue;
        }
        std::error_code ec;
        uint64_t size = fs::file_size(found->second, ec);
        if (ec || size == 0 || size > patcher::kMaxDeltaFileSize || file.size > patcher::kMaxDeltaFileSize)
            continue;
        file.base = found->second;
    }
    return true;
}

}  // namespace

const char kMinimalScript[] =
    ":; rm -f -- \"$0\"; exit 0 #\r\n"
    "@rem Added by mkpatch, as the patch had no script of its own: it removes itself and ends well.\r\n"
    "@del /f /q \"%~f0\" & exit /b 0\r\n";

bool buildPatch(const std::string& stubPath, const std::string& outPath, const std::string& payloadDir,
                std::string& error, BuildReport* report, const SoundOptions* sounds, unsigned codePage,
                const BaseOptions* base) {
    platform::Utf8Paths utf8Paths;
    BuildReport local;
    if (!report)
        report = &local;
    std::vector<PayloadFile> files;
    if (!collectFiles(payloadDir, files, error))
        return false;
    fs::path staging = pathOf(outPath);
    staging += ".sounds.tmp";
    struct StagingCleanUp {
        fs::path path;
        ~StagingCleanUp() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } cleanUpStaging{staging};
    if (sounds && !addSounds(*sounds, codePage, staging, files, *report, error))
        return false;
    if (files.empty()) {
        error = "the payload folder holds no files: " + payloadDir;
        return false;
    }
    if (!addScriptIfMissing(staging, files, *report, error))
        return false;
    if (!checkFiles(files, codePage, error) || !describeFiles(files, error))
        return false;
    if (base && !matchBases(base->tree, files, *report, error))
        return false;
    std::error_code ec;
    fs::path stub = pathOf(stubPath);
    if (!fs::is_regular_file(stub, ec)) {
        error = "cannot read the stub " + stubPath;
        return false;
    }

    fs::path out = pathOf(outPath);
    fs::path zipPath = out;
    zipPath += ".archive.tmp";
    fs::path partPath = out;
    partPath += ".tmp";
    auto cleanUp = [&]() {
        fs::remove(zipPath, ec);
        fs::remove(partPath, ec);
    };

    if (!writeArchive(files, zipPath, base ? base->delta : DeltaOptions(), *report, error) ||
        !markStoredEntries(zipPath, error)) {
        cleanUp();
        return false;
    }
    {
        report->entries = static_cast<unsigned long>(files.size());
        for (const PayloadFile& file : files)
            report->uncompressedBytes += file.size;
        report->storedBytes = fs::file_size(zipPath, ec);
        report->patcherBytes = fs::file_size(stub, ec) + report->storedBytes;
    }
    if (report->patcherBytes > kMaxPatchSize) {
        error = "the patcher file would reach 2 GiB";
        cleanUp();
        return false;
    }
    {
        std::ofstream part(partPath, std::ios::binary | std::ios::trunc);
        bool written = part && appendFile(part, stub) && appendFile(part, zipPath);
        part.close();
        if (!written || !part) {
            error = "cannot write " + textOf(partPath);
            cleanUp();
            return false;
        }
    }
    fs::rename(partPath, out, ec);
    if (ec) {
        // Some runtimes will not rename over an existing file.
        fs::remove(out, ec);
        fs::rename(partPath, out, ec);
    }
    if (ec) {
        error = "cannot write " + outPath + ": " + ec.message();
        cleanUp();
        return false;
    }
    fs::remove(zipPath, ec);
    return true;
}

}  // namespace mkpatch
