// What makes an archive entry safe to extract below the install directory.
// The patcher refuses such entries before writing anything for them; the builder refuses
// to store them.
#pragma once

namespace patcher {

// Longest stored name the 256-byte name buffer holds with its terminator.
const unsigned long kMaxEntryNameLength = 255;

// General purpose flag bit 11: the entry's name is UTF-8. Without it the name is bytes in
// the player's code page.
const unsigned long kUtf8NameFlag = 0x800;

enum class EntryProblem {
    None,
    NameTooLong,        // 256 bytes or more
    AbsoluteName,       // starts with '/', '\' or a drive letter such as "C:"
    ParentComponent,    // has a ".." component ('/' and '\' both separate)
    UnsupportedMethod,  // neither stored (0) nor deflated (8)
    Encrypted,          // general purpose flag bit 0
    UnconvertibleName,  // flagged UTF-8, but not UTF-8, or not exactly in the player's code page
    DamagedDelta,       // a delta record that cannot be used, or on an entry that cannot hold one
};

EntryProblem checkEntryName(const char* name, unsigned long nameLength);
EntryProblem checkEntryData(unsigned long method, unsigned long flags);

// A short phrase for console lines, such as "absolute path".
const char* describeProblem(EntryProblem problem);

}  // namespace patcher
