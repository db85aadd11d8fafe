// The delta record, little-endian: format (1 byte), segment count (1), 2 bytes 0, base size,
// base CRC-32, new size, new CRC-32, segment size (4 bytes each), then for each segment its
// reference offset, reference length and frame size (4 bytes each).
#include "patcher/delta_record.h"

#include <cstring>

namespace patcher {

const char kDeltaSuffix[] = ".vdelta";

namespace {

const unsigned long kFixedSize = 24;

unsigned long readLe(const unsigned char* p, int bytes) {
    unsigned long value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

void writeLe(unsigned char* p, unsigned long value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<unsigned char>(value >> (8 * i));
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

bool consistent(const DeltaRecord& r, unsigned long dataSize) {
    if (r.baseSize > kMaxDeltaFileSize || r.newSize == 0 || r.newSize > kMaxDeltaFileSize || r.segmentSize == 0 ||
        r.segmentCount == 0 || r.segmentCount > kMaxDeltaSegments)
        return false;
    // Exactly as many segments as the new file fills.
    if (r.segmentCount != (r.newSize - 1) / r.segmentSize + 1)
        return false;
    unsigned long long frames = 0;
    for (unsigned i = 0; i < r.segmentCount; ++i) {
        const DeltaSegment& s = r.segments[i];
        if (s.referenceOffset > r.baseSize || s.referenceLength > r.baseSize - s.referenceOffset ||
            s.referenceLength > kMaxDeltaWindow || segmentLength(r, i) > kMaxDeltaWindow - s.referenceLength ||
            s.frameSize == 0)
            return false;
        frames += s.frameSize;
    }
    return frames == dataSize;
}

}  // namespace

unsigned long segmentLength(const DeltaRecord& record, unsigned index) {
    unsigned long start = record.segmentSize * index;
    if (start >= record.newSize)
        return 0;
    unsigned long left = record.newSize - start;
    return left < record.segmentSize ? left : record.segmentSize;
}

DeltaField readDeltaRecord(const unsigned char* extra, unsigned long size, unsigned long dataSize,
                           DeltaRecord* record) {
    unsigned long at = 0;
    while (size - at >= 4) {
        unsigned long id = readLe(extra + at, 2);
        unsigned long length = readLe(extra + at + 2, 2);
        const unsigned char* data = extra + at + 4;
        if (length > size - at - 4)
            return id == kDeltaExtraId ? DeltaField::Damaged : DeltaField::Absent;
        at += 4 + length;
        if (id != kDeltaExtraId)
            continue;
        if (length < kFixedSize || data[0] != kDeltaFormat || data[2] != 0 || data[3] != 0)
            return DeltaField::Damaged;
        DeltaRecord& r = *record;
        r.segmentCount = data[1];
        if (r.segmentCount > kMaxDeltaSegments || length != kFixedSize + 12 * r.segmentCount)
            return DeltaField::Damaged;
        r.baseSize = readLe(data + 4, 4);
        r.baseCrc = readLe(data + 8, 4);
        r.newSize = readLe(data + 12, 4);
        r.newCrc = readLe(data + 16, 4);
        r.segmentSize = readLe(data + 20, 4);
        for (unsigned i = 0; i < r.segmentCount; ++i) {
            const unsigned char* s = data + kFixedSize + 12 * i;
            r.segments[i].referenceOffset = readLe(s, 4);
            r.segments[i].referenceLength = readLe(s + 4, 4);
            r.segments[i].frameSize = readLe(s + 8, 4);
        }
        return consistent(r, dataSize) ? DeltaField::Valid : DeltaField::Damaged;
    }
    return DeltaField::Absent;
}

unsigned long writeDeltaRecord(const DeltaRecord& r, unsigned char* extra, unsigned long size) {
    if (r.segmentCount > kMaxDeltaSegments)
        return 0;
    unsigned long length = kFixedSize + 12 * r.segmentCount;
    if (size < 4 + length)
        return 0;
    writeLe(extra, kDeltaExtraId, 2);
    writeLe(extra + 2, length, 2);
    unsigned char* data = extra + 4;
    data[0] = kDeltaFormat;
    data[1] = static_cast<unsigned char>(r.segmentCount);
    data[2] = data[3] = 0;
    writeLe(data + 4, r.baseSize, 4);
    writeLe(data + 8, r.baseCrc, 4);
    writeLe(data + 12, r.newSize, 4);
    writeLe(data + 16, r.newCrc, 4);
    writeLe(data + 20, r.segmentSize, 4);
    for (unsigned i = 0; i < r.segmentCount; ++i) {
        unsigned char* s = data + kFixedSize + 12 * i;
        writeLe(s, r.segments[i].referenceOffset, 4);
        writeLe(s + 4, r.segments[i].referenceLength, 4);
        writeLe(s + 8, r.segments[i].frameSize, 4);
    }
    return 4 + length;
}

bool cutDeltaSuffix(char* name, unsigned long* length) {
    if (*length <= kDeltaSuffixLength || std::memcmp(name + *length - kDeltaSuffixLength, kDeltaSuffix, kDeltaSuffixLength) != 0)
        return false;
    unsigned long cut = *length - kDeltaSuffixLength;
    if (isSeparator(name[cut - 1]))
        return false;
    name[cut] = 0;
    *length = cut;
    return true;
}

}  // namespace patcher
