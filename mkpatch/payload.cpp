// Walking a payload folder. Names are taken in UTF-8 from the file system (on Windows from
// its wide names), so that the same tree gives the same names on every system, and are
// converted by table into the game's code page.
#include "mkpatch/payload.h"

#include "patcher/entry_rules.h"
#include "platform/code_page.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace mkpatch {

fs::path pathOf(const std::string& utf8) {
    return fs::u8path(utf8);
}

std::string textOf(const fs::path& path) {
    return path.u8string();
}

bool collectFiles(const std::string& dir, std::vector<PayloadFile>& files, std::string& error) {
    std::error_code ec;
    fs::path root = pathOf(dir);
    if (!fs::is_directory(root, ec)) {
        error = "folder not found: " + dir;
        return false;
    }
    fs::recursive_directory_iterator it(root, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        PayloadFile file;
        file.path = it->path();
        file.name = fs::relative(file.path, root, ec).generic_u8string();
        file.size = 0;
        file.modified = 0;
        files.push_back(file);
    }
    if (ec) {
        error = "cannot walk " + dir + ": " + ec.message();
        return false;
    }
    std::sort(files.begin(), files.end(),
              [](const PayloadFile& a, const PayloadFile& b) { return a.name < b.name; });
    return true;
}

namespace {

// The capital of a lower-case letter; the small letters are those of code pages 1250, 1251 and
// 1252 (Latin-1, Latin Extended-A, Cyrillic and the few others there).
char32_t upperCase(char32_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    if (c == 0xFF)
        return 0x178;
    if (c == 0x192)
        return 0x191;
    if (c == 0x491)
        return 0x490;
    // Latin Extended-A pairs a capital with the small letter after it, in two runs of even
    // and one run of odd capitals.
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return (c & 1) ? c - 1 : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? c : c - 1;
    return c;
}

}  // namespace

std::string foldedName(const std::string& name) {
    std::string folded;
    for (size_t i = 0; i < name.size();) {
        unsigned char lead = static_cast<unsigned char>(name[i]);
        int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (i + length > name.size() || (length > 1 && lead < 0xC2)) {
            folded += name.substr(i);  // not UTF-8 from here: kept as it is
            break;
        }
        char32_t c = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (int k = 1; k < length; ++k)
            c = (c << 6) | (static_cast<unsigned char>(name[i + k]) & 0x3F);
        c = upperCase(c);
        if (c < 0x80) {
            folded += static_cast<char>(c);
        } else if (c < 0x800) {
            folded += static_cast<char>(0xC0 | (c >> 6));
            folded += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            folded += static_cast<char>(0xE0 | (c >> 12));
            folded += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            folded += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            folded += name.substr(i, static_cast<size_t>(length));
        }
        i += static_cast<size_t>(length);
    }
    return folded;
}

bool checkNames(std::vector<PayloadFile>& files, unsigned codePage, std::string& error) {
    for (PayloadFile& file : files) {
        if (!platform::isUtf8(file.name)) {
            error = "the name of \"" + file.name + "\" is not UTF-8";
            return false;
        }
        bool exact = false;
        file.entryName = platform::utf8ToCodePage(file.name, codePage, &exact);
        if (!exact) {
            error = "code page " + std::to_string(codePage) + " cannot hold the name \"" + file.name + "\"";
            return false;
        }
        patcher::EntryProblem problem = patcher::checkEntryName(file.entryName.c_str(), file.entryName.size());
        if (problem != patcher::EntryProblem::None) {
            error = "the patcher would refuse \"" + file.name + "\": " + patcher::describeProblem(problem);
            if (problem == patcher::EntryProblem::NameTooLong)
                error += " (" + std::to_string(file.entryName.size()) + " in code page " + std::to_string(codePage) + ")";
            return false;
        }
    }
    return true;
}

}  // namespace mkpatch
