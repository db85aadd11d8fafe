// POSIX stand-in for the machine registry: HKEY_LOCAL_MACHINE read from a regedit export file
// named by PATCHER_REGISTRY ("REGEDIT4" or "Windows Registry Editor Version 5.00" text).
// No variable, no file or no such key all read as a missing key.
#include "platform/platform.h"
#include "platform/posix/internal.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

namespace platform {

namespace {

const char kMachineRoot[] = "HKEY_LOCAL_MACHINE\\";

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};

typedef std::map<std::string, std::string, CaseInsensitiveLess> ValueMap;

// Parses `"text"` at `pos` with \\ and \" escapes; false when it is not a quoted string.
bool parseQuoted(const std::string& line, size_t& pos, std::string& out) {
    if (pos >= line.size() || line[pos] != '"')
        return false;
    out.clear();
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < line.size())
            c = line[++pos];
        out += c;
    }
    return false;
}

std::string trimmed(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    return start == std::string::npos ? std::string() : line.substr(start);
}

}  // namespace

RegistryKey openMachineKey(const char* path) {
    const char* file = std::getenv("PATCHER_REGISTRY");
    if (!file || !*file)
        return nullptr;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return nullptr;
    std::string wanted = std::string(kMachineRoot) + path;
    ValueMap* values = nullptr;
    bool inKey = false;
    std::string line;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            size_t end = line.rfind(']');
            std::string section = line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
            inKey = strcasecmp(section.c_str(), wanted.c_str()) == 0;
            if (inKey && !values)
                values = new ValueMap;
            continue;
        }
        if (!inKey)
            continue;
        size_t pos = 0;
        std::string name, value;
        if (!parseQuoted(line, pos, name) || pos >= line.size() || line[pos] != '=')
            continue;
        ++pos;
        // Only string values are kept; dword: and hex: data do not read as strings.
        // The stand-in file is text of this system, UTF-8; the value is read as the
        // program's 8-bit string.
        if (parseQuoted(line, pos, value))
            (*values)[name] = productText(value);
        else
            values->erase(name);
    }
    return values;
}

void queryStringValue(RegistryKey key, const char* name, char* buffer, unsigned size) {
    const ValueMap& values = *static_cast<ValueMap*>(key);
    ValueMap::const_iterator found = values.find(name);
    if (found == values.end() || found->second.size() + 1 > size) {
        buffer[0] = 0;
        return;
    }
    std::memcpy(buffer, found->second.c_str(), found->second.size() + 1);
}

void closeKey(RegistryKey key) {
    delete static_cast<ValueMap*>(key);
}

}  // namespace platform
