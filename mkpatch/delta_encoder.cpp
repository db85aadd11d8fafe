// Delta frames. Each segment of the new file is compressed at `level` with long-distance
// matching, its reference slice loaded as a prefix. Where the base is longer than a slice may
// be, the slice is placed where the segment's content lies in the base: both files are scanned
// for content-defined anchors (positions where a rolling hash of the last 64 bytes has its top
// bits clear), an anchor of the segment found once in the base tells where that piece of the
// base went, and the slice covers the most such positions. Where nothing matches, it lies where
// the segment would lie if the file had only grown or shrunk evenly.
#include "mkpatch/delta_encoder.h"

#include "platform/platform.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <unordered_map>
#include <vector>

namespace fs = std::filesystem;

namespace mkpatch {

namespace {

const uint64_t kAnchorMask = 0xFFF0000000000000ull;  // one position in 4,096
const uint32_t kAmbiguous = 0xFFFFFFFFu;

struct Anchor {
    uint64_t hash;
    uint32_t position;
};

const uint64_t* gearTable() {
    static uint64_t table[256];
    static bool made = false;
    if (!made) {
        uint64_t state = 0x9E3779B97F4A7C15ull;
        for (uint64_t& value : table) {  // splitmix64: the same table on every run
            uint64_t z = (state += 0x9E3779B97F4A7C15ull);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            value = z ^ (z >> 31);
        }
        made = true;
    }
    return table;
}

// A view of the file's range [offset, offset + length), mapped by the platform layer.
class View {
public:
    View(const fs::path& path, uint64_t offset, uint64_t length) {
        ok_ = platform::mapFileView(path.u8string().c_str(), static_cast<unsigned long>(offset),
                                    static_cast<unsigned long>(length), &view_);
    }
    ~View() {
        if (ok_)
            platform::unmapFileView(&view_);
    }
    bool ok() const { return ok_; }
    const unsigned char* data() const { return view_.data; }
    size_t size() const { return view_.length; }
    View(const View&) = delete;
    View& operator=(const View&) = delete;

private:
    platform::FileView view_;
    bool ok_;
};

// The anchors of the range [offset, offset + length) of the file, and its CRC-32. The hash at
// a position depends on the 64 bytes up to it, so the scan starts 63 bytes early.
bool scanRange(const fs::path& path, uint64_t offset, uint64_t length, bool anchors, std::vector<Anchor>& found,
               unsigned long& crc) {
    uint64_t lead = anchors ? std::min<uint64_t>(offset, 63) : 0;
    View view(path, offset - lead, length + lead);
    if (!view.ok())
        return false;
    crc = crc32(0L, view.data() + lead, static_cast<uInt>(length));
    if (!anchors)
        return true;
    const uint64_t* gear = gearTable();
    uint64_t hash = 0;
    for (uint64_t i = 0; i < view.size(); ++i) {
        hash = (hash << 1) + gear[view.data()[i]];
        uint64_t at = offset - lead + i;
        if (!(hash & kAnchorMask) && at >= 63 && i >= lead)
            found.push_back(Anchor{hash, static_cast<uint32_t>(at)});
    }
    return true;
}

// Where the slice for the segment [start, start + length) of the target begins.
unsigned long placeSlice(const std::vector<Anchor>& targetAnchors, const std::unordered_map<uint64_t, uint32_t>& base,
                         unsigned long start, unsigned long length, uint64_t baseSize, uint64_t targetSize,
                         unsigned long slice) {
    std::vector<uint32_t> found;
    auto first = std::lower_bound(targetAnchors.begin(), targetAnchors.end(), start,
                                  [](const Anchor& a, unsigned long at) { return a.position < at; });
    for (auto a = first; a != targetAnchors.end() && a->position < start + length; ++a) {
        auto hit = base.find(a->hash);
        if (hit != base.end() && hit->second != kAmbiguous)
            found.push_back(hit->second);
    }
    double centre = (start + length / 2.0) * static_cast<double>(baseSize) / static_cast<double>(targetSize);
    if (!found.empty()) {
        // The stretch of one slice's length that holds the most of them, and its middle.
        std::sort(found.begin(), found.end());
        size_t best = 0, bestCount = 0;
        for (size_t i = 0, j = 0; i < found.size(); ++i) {
            while (j < found.size() && found[j] - found[i] < slice)
                ++j;
            if (j - i > bestCount)
                best = i, bestCount = j - i;
        }
        centre = (static_cast<double>(found[best]) + found[best + bestCount - 1]) / 2.0;
    }
    double lowest = centre - slice / 2.0;
    if (lowest < 0)
        lowest = 0;
    if (lowest > static_cast<double>(baseSize - slice))
        lowest = static_cast<double>(baseSize - slice);
    return static_cast<unsigned long>(lowest);
}

unsigned windowLogFor(uint64_t reach) {
    unsigned log = 10;  // the format's smallest window
    while ((1ull << log) < reach)
        ++log;
    return log;
}

// One segment's frame.
bool compressSegment(ZSTD_CCtx* context, const View& reference, const View& segment, int level, std::string& frame) {
    ZSTD_CCtx_reset(context, ZSTD_reset_session_and_parameters);
    size_t status = ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level);
    if (!ZSTD_isError(status))
        status = ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog,
                                        static_cast<int>(windowLogFor(reference.size() + segment.size())));
    if (!ZSTD_isError(status))
        status = ZSTD_CCtx_setParameter(context, ZSTD_c_enableLongDistanceMatching, 1);
    if (!ZSTD_isError(status))
        status = ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 0);
    if (!ZSTD_isError(status))
        status = ZSTD_CCtx_setPledgedSrcSize(context, segment.size());
    if (!ZSTD_isError(status))
        status = ZSTD_CCtx_refPrefix(context, reference.data(), reference.size());
    if (ZSTD_isError(status))
        return false;
    frame.clear();
    std::vector<char> out(ZSTD_CStreamOutSize());
    ZSTD_inBuffer in = {segment.data(), segment.size(), 0};
    size_t left;
    do {
        ZSTD_outBuffer chunk = {out.data(), out.size(), 0};
        left = ZSTD_compressStream2(context, &chunk, &in, ZSTD_e_end);
        if (ZSTD_isError(left))
            return false;
        frame.append(out.data(), chunk.pos);
    } while (left != 0);
    return true;
}

// Calls `job(i, worker)` for i in [0, count), spread over at most `threads` workers numbered
// from 0.
template <typename Job>
void inParallel(unsigned count, unsigned threads, Job job) {
    std::atomic<unsigned> next(0);
    auto work = [&](unsigned worker) {
        for (unsigned i = next++; i < count; i = next++)
            job(i, worker);
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < std::min(threads, count); ++t)
        workers.emplace_back(work, t);
    work(0);
    for (std::thread& worker : workers)
        worker.join();
}

}  // namespace

unsigned long sliceLimit(const DeltaOptions& options) {
    return options.segmentSize + 2 * options.sliceMargin;
}

bool makeDelta(const fs::path& base, const fs::path& target, const DeltaOptions& options, Delta& delta,
               std::string& error) {
    unsigned long slice = sliceLimit(options);
    if (options.segmentSize == 0 || slice + options.segmentSize > patcher::kMaxDeltaWindow) {
        error = "delta segments and slices too large for the patcher";
        return false;
    }
    std::error_code ec;
    uint64_t baseSize = fs::file_size(base, ec);
    uint64_t targetSize = ec ? 0 : fs::file_size(target, ec);
    if (ec) {
        error = "cannot read " + (fs::exists(base) ? target : base).u8string();
        return false;
    }
    if (baseSize > patcher::kMaxDeltaFileSize || targetSize > patcher::kMaxDeltaFileSize || targetSize == 0) {
        error = "no delta for files of 2 GiB or more, or empty ones";
        return false;
    }
    unsigned threads = options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    patcher::DeltaRecord& record = delta.record;
    record = patcher::DeltaRecord();
    record.baseSize = static_cast<unsigned long>(baseSize);
    record.newSize = static_cast<unsigned long>(targetSize);
    record.segmentSize = options.segmentSize;
    record.segmentCount = static_cast<unsigned>((targetSize - 1) / options.segmentSize + 1);
    if (record.segmentCount > patcher::kMaxDeltaSegments) {
        error = "the file has more delta segments than a patch may hold";
        return false;
    }

    // The base in pieces, one per worker: its CRC-32 and, when it is longer than a slice, its
    // anchors, found once each.
    bool anchored = baseSize > slice;
    unsigned pieces = threads;
    uint64_t pieceSize = (baseSize + pieces - 1) / pieces;
    std::vector<std::vector<Anchor>> pieceAnchors(pieces);
    std::vector<unsigned long> pieceCrcs(pieces);
    std::atomic<bool> failed(false);
    inParallel(pieces, threads, [&](unsigned i, unsigned) {
        uint64_t start = std::min(baseSize, pieceSize * i);
        uint64_t length = std::min(baseSize - start, pieceSize);
        if (!scanRange(base, start, length, anchored, pieceAnchors[i], pieceCrcs[i]))
            failed = true;
    });
    if (failed) {
        error = "cannot read " + base.u8string();
        return false;
    }
    std::unordered_map<uint64_t, uint32_t> baseIndex;
    uLong baseCrc = crc32(0L, Z_NULL, 0);
    for (unsigned i = 0; i < pieces; ++i) {
        uint64_t start = std::min(baseSize, pieceSize * i);
        baseCrc = crc32_combine(baseCrc, pieceCrcs[i], static_cast<z_off_t>(std::min(baseSize - start, pieceSize)));
        for (const Anchor& a : pieceAnchors[i]) {
            auto placed = baseIndex.emplace(a.hash, a.position);
            if (!placed.second)
                placed.first->second = kAmbiguous;
        }
    }
    record.baseCrc = baseCrc;

    // Each segment by one of the workers, into its own slots: its CRC-32 and anchors, where its
    // slice goes, and its frame.
    std::vector<std::string> frames(record.segmentCount);
    std::vector<unsigned long> segmentCrcs(record.segmentCount);
    std::vector<ZSTD_CCtx*> contexts(threads, nullptr);
    inParallel(record.segmentCount, threads, [&](unsigned i, unsigned worker) {
        ZSTD_CCtx*& context = contexts[worker];
        if (!context)
            context = ZSTD_createCCtx();
        patcher::DeltaSegment& s = record.segments[i];
        uint64_t start = static_cast<uint64_t>(options.segmentSize) * i;
        unsigned long length = patcher::segmentLength(record, i);
        std::vector<Anchor> anchors;
        if (!context || !scanRange(target, start, length, anchored, anchors, segmentCrcs[i])) {
            failed = true;
            return;
        }
        s.referenceLength = anchored ? slice : static_cast<unsigned long>(baseSize);
        s.referenceOffset = anchored ? placeSlice(anchors, baseIndex, static_cast<unsigned long>(start), length, baseSize,
                                                  targetSize, slice)
                                     : 0;
        View reference(base, s.referenceOffset, s.referenceLength);
        View segment(target, start, length);
        if (!reference.ok() || !segment.ok() || !compressSegment(context, reference, segment, options.level, frames[i]))
            failed = true;
    });
    for (ZSTD_CCtx* context : contexts)
        ZSTD_freeCCtx(context);
    if (failed) {
        error = "cannot make the delta of " + target.u8string() + " (was a file changed while being read?)";
        return false;
    }
    uLong targetCrc = crc32(0L, Z_NULL, 0);
    delta.frames.clear();
    for (unsigned i = 0; i < record.segmentCount; ++i) {
        targetCrc = crc32_combine(targetCrc, segmentCrcs[i], static_cast<z_off_t>(patcher::segmentLength(record, i)));
        record.segments[i].frameSize = static_cast<unsigned long>(frames[i].size());
        delta.frames += frames[i];
    }
    record.newCrc = targetCrc;
    return true;
}

}  // namespace mkpatch
