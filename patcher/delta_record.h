// Delta entries: entries of the patch archive that rebuild a game file from the one the player
// already has (the base) instead of carrying it whole. The entry's data are Zstandard frames,
// one for each segment of the new file, each decoded with a slice of the base as its reference;
// an extra field of the kit's own records the base and the new file and where each frame
// belongs. The patcher reads the record; the builder writes it.
#pragma once

namespace patcher {

// A delta entry is named after its target with this suffix, so that a ZIP tool that knows
// nothing of delta entries writes the undecoded frames under a name of their own.
extern const char kDeltaSuffix[];
const unsigned long kDeltaSuffixLength = 7;

// The extra field's header id ("VD"), in the central and the local header alike.
const unsigned kDeltaExtraId = 0x4456;
const unsigned kDeltaFormat = 1;
const unsigned kMaxDeltaSegments = 64;
// Each frame reaches back over its reference slice and its own segment: at most 256 MiB, room
// a 32-bit player has beside the slice's view and the segment's buffer.
const unsigned kMaxDeltaWindowLog = 28;
const unsigned long kMaxDeltaWindow = 1ul << kMaxDeltaWindowLog;
// Bases and new files stay below 2 GiB, as patcher files do.
const unsigned long kMaxDeltaFileSize = 0x7FFFFFFFul;
// The extra field's size: a 4-byte header, 24 bytes, and 12 for each segment.
const unsigned long kMaxDeltaExtraSize = 4 + 24 + 12 * kMaxDeltaSegments;

struct DeltaSegment {
    unsigned long referenceOffset;  // the slice of the base this segment's frame refers to
    unsigned long referenceLength;
    unsigned long frameSize;        // bytes of the entry's data holding the frame
};

struct DeltaRecord {
    unsigned long baseSize;
    unsigned long baseCrc;
    unsigned long newSize;
    unsigned long newCrc;
    unsigned long segmentSize;  // of the new file; the last segment holds what is left
    unsigned segmentCount;
    DeltaSegment segments[kMaxDeltaSegments];
};

enum class DeltaField {
    Absent,   // an ordinary entry
    Valid,
    Damaged,  // the field is there, but describes no delta this patcher can apply
};

// Looks for the record in an entry's extra field (`size` bytes) and checks it against itself
// and against `dataSize`, the entry's stored size, which the frames must fill exactly.
DeltaField readDeltaRecord(const unsigned char* extra, unsigned long size, unsigned long dataSize,
                           DeltaRecord* record);

// The extra field for `record`; returns its size, 0 when `size` bytes cannot hold it.
unsigned long writeDeltaRecord(const DeltaRecord& record, unsigned char* extra, unsigned long size);

// The length of the segment `index` of the new file.
unsigned long segmentLength(const DeltaRecord& record, unsigned index);

// Cuts the suffix from a delta entry's name, in place; false when the name has no such suffix
// or nothing but it in its last component.
bool cutDeltaSuffix(char* name, unsigned long* length);

}  // namespace patcher
