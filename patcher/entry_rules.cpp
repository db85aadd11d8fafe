// Entry safety rules shared by the patcher and the builder.
#include "patcher/entry_rules.h"

namespace patcher {

namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

EntryProblem checkEntryName(const char* name, unsigned long nameLength) {
    if (nameLength > kMaxEntryNameLength)
        return EntryProblem::NameTooLong;
    if (nameLength > 0 && isSeparator(name[0]))
        return EntryProblem::AbsoluteName;
    if (nameLength > 1 && isLetter(name[0]) && name[1] == ':')
        return EntryProblem::AbsoluteName;
    unsigned long start = 0;
    for (unsigned long i = 0; i <= nameLength; ++i) {
        if (i == nameLength || isSeparator(name[i])) {
            if (i - start == 2 && name[start] == '.' && name[start + 1] == '.')
                return EntryProblem::ParentComponent;
            start = i + 1;
        }
    }
    return EntryProblem::None;
}

EntryProblem checkEntryData(unsigned long method, unsigned long flags) {
    if (flags & 0x1)
        return EntryProblem::Encrypted;
    if (method != 0 && method != 8)
        return EntryProblem::UnsupportedMethod;
    return EntryProblem::None;
}

const char* describeProblem(EntryProblem problem) {
    switch (problem) {
    case EntryProblem::None:
        return "no problem";
    case EntryProblem::NameTooLong:
        return "name of 256 bytes or more";
    case EntryProblem::AbsoluteName:
        return "absolute path";
    case EntryProblem::ParentComponent:
        return "\"..\" in path";
    case EntryProblem::UnsupportedMethod:
        return "unsupported compression method";
    case EntryProblem::Encrypted:
        return "encrypted entry";
    case EntryProblem::UnconvertibleName:
        return "UTF-8 name not in the player's code page";
    case EntryProblem::DamagedDelta:
        return "damaged delta record";
    }
    return "unknown problem";
}

}  // namespace patcher
