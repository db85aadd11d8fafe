// Delta entries on the player's side. The installed file is read through views of the platform
// layer, mapped rather than copied: its CRC-32 a view of kCrcChunk bytes at a time, and for each
// segment the slice of it that the segment's frame refers to, which stays mapped while the frame
// is decoded. The decoder keeps at most one segment of output (its window) beside that view.
#include "patcher/delta.h"

#include "platform/platform.h"

#include <zlib.h>
#include <zstd.h>

#include <cstdlib>

namespace patcher {

namespace {

const unsigned long kCrcChunk = 64ul << 20;
const unsigned kInputSize = 8192;

// CRC-32 of the file's first `size` bytes; false when it cannot be read.
bool fileCrc(const char* path, unsigned long size, unsigned long* crc) {
    uLong value = crc32(0L, Z_NULL, 0);
    for (unsigned long at = 0; at < size;) {
        unsigned long length = size - at < kCrcChunk ? size - at : kCrcChunk;
        platform::FileView view;
        if (!platform::mapFileView(path, at, length, &view))
            return false;
        value = crc32(value, view.data, static_cast<uInt>(view.length));
        platform::unmapFileView(&view);
        at += length;
    }
    *crc = value;
    return true;
}

// Released by hand: the patcher has no exceptions, and a destructor here would bring in the
// C++ runtime's unwinding for nothing.
struct Decoder {
    ZSTD_DCtx* context;
    unsigned char* input;
    unsigned char* output;
    size_t outputSize;
};

// Decodes one segment's frame, whose `frameSize` bytes come next in the entry, into `out`.
int decodeSegment(unzFile archive, Decoder& d, const DeltaSegment& segment, unsigned long length,
                  const platform::FileView& reference, FILE* out, uLong* crc, DeltaOutcome* outcome) {
    if (ZSTD_isError(ZSTD_DCtx_reset(d.context, ZSTD_reset_session_only)) ||
        ZSTD_isError(ZSTD_DCtx_refPrefix(d.context, reference.data, reference.length)))
        return UNZ_INTERNALERROR;
    unsigned long frameLeft = segment.frameSize;
    unsigned long produced = 0;
    ZSTD_inBuffer in = {d.input, 0, 0};
    for (;;) {
        if (in.pos == in.size && frameLeft > 0) {
            // Only this frame's bytes: the next frame needs its own reference first.
            unsigned want = frameLeft < kInputSize ? static_cast<unsigned>(frameLeft) : kInputSize;
            int got = unzReadCurrentFile(archive, d.input, want);
            if (got < 0)
                return got;
            if (got == 0)
                return UNZ_CRCERROR;  // the entry ends inside the frame
            in.size = static_cast<size_t>(got);
            in.pos = 0;
            frameLeft -= static_cast<unsigned long>(got);
        }
        ZSTD_outBuffer result = {d.output, d.outputSize, 0};
        size_t left = ZSTD_decompressStream(d.context, &result, &in);
        if (ZSTD_isError(left) || produced + result.pos > length)
            return UNZ_CRCERROR;
        if (result.pos > 0) {
            if (std::fwrite(d.output, result.pos, 1, out) != 1) {
                outcome->writeFailed = true;
                return UNZ_ERRNO;
            }
            *crc = crc32(*crc, d.output, static_cast<uInt>(result.pos));
            produced += static_cast<unsigned long>(result.pos);
            outcome->written += static_cast<unsigned long>(result.pos);
        }
        if (left == 0)
            break;
        // Frame not done: the decoder wants more input, which the frame must still have.
        if (in.pos == in.size && frameLeft == 0 && result.pos < result.size)
            return UNZ_CRCERROR;
    }
    // The frame ends exactly where the record says, with exactly its segment.
    return in.pos == in.size && frameLeft == 0 && produced == length ? UNZ_OK : UNZ_CRCERROR;
}

}  // namespace

TargetState examineTarget(const char* path, const DeltaRecord& record) {
    unsigned long long size = 0;
    if (!platform::fileSize(path, &size))
        return TargetState::Missing;
    bool mayBeBase = size == record.baseSize, mayBeNew = size == record.newSize;
    if (!mayBeBase && !mayBeNew)
        return TargetState::Other;
    unsigned long crc = 0;
    if (!fileCrc(path, static_cast<unsigned long>(size), &crc))
        return TargetState::Unreadable;
    if (mayBeNew && crc == record.newCrc)
        return TargetState::New;
    if (mayBeBase && crc == record.baseCrc)
        return TargetState::Base;
    return TargetState::Other;
}

int checkStoredData(unzFile archive, void* buffer, unsigned bufferSize) {
    int status = unzOpenCurrentFilePassword(archive, NULL);
    if (status != UNZ_OK) {
        unzCloseCurrentFile(archive);
        return status;
    }
    int read;
    while ((read = unzReadCurrentFile(archive, buffer, bufferSize)) > 0) {
    }
    int closed = unzCloseCurrentFile(archive);
    return read < 0 ? read : closed;
}

namespace {

int decodeWith(Decoder& d, unzFile archive, const DeltaRecord& record, const char* basePath, FILE* out,
               DeltaOutcome* outcome) {
    if (!d.context || !d.input || !d.output ||
        ZSTD_isError(ZSTD_DCtx_setParameter(d.context, ZSTD_d_windowLogMax, kMaxDeltaWindowLog)))
        return UNZ_INTERNALERROR;
    uLong crc = crc32(0L, Z_NULL, 0);
    for (unsigned i = 0; i < record.segmentCount; ++i) {
        const DeltaSegment& segment = record.segments[i];
        platform::FileView reference;
        if (!platform::mapFileView(basePath, segment.referenceOffset, segment.referenceLength, &reference))
            return UNZ_CRCERROR;  // the base changed since it was examined
        int status = decodeSegment(archive, d, segment, segmentLength(record, i), reference, out, &crc, outcome);
        platform::unmapFileView(&reference);
        if (status != UNZ_OK)
            return status;
    }
    unsigned char extra;
    int more = unzReadCurrentFile(archive, &extra, 1);
    if (more < 0)
        return more;
    return more == 0 && outcome->written == record.newSize && crc == record.newCrc ? UNZ_OK : UNZ_CRCERROR;
}

}  // namespace

int decodeDelta(unzFile archive, const DeltaRecord& record, const char* basePath, FILE* out, DeltaOutcome* outcome) {
    Decoder d;
    d.context = ZSTD_createDCtx();
    d.outputSize = ZSTD_DStreamOutSize();
    d.input = static_cast<unsigned char*>(std::malloc(kInputSize));
    d.output = static_cast<unsigned char*>(std::malloc(d.outputSize));
    int status = decodeWith(d, archive, record, basePath, out, outcome);
    ZSTD_freeDCtx(d.context);
    std::free(d.input);
    std::free(d.output);
    return status;
}

}  // namespace patcher
