// POSIX names: the product's 8-bit strings are taken as code page 1252, the ANSI code page of
// the Windows the game speaks, and translated to and from the file system's UTF-8, so that a
// name lands on this disk as a player's Windows would show it. The publisher's tool works in
// UTF-8 and turns the translation off.
#include "platform/code_page.h"
#include "platform/platform.h"
#include "platform/posix/internal.h"

#include <atomic>
#include <cstring>

namespace platform {

namespace {

const unsigned kAnsiCodePage = 1252;

std::atomic<bool> utf8Paths(false);

void copyCut(const std::string& text, char* buffer, unsigned long size) {
    if (size == 0)
        return;
    size_t length = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = 0;
}

}  // namespace

std::string nativeText(const char* text) {
    if (utf8Paths)
        return text;
    return codePageToUtf8(text, kAnsiCodePage);
}

std::string productText(const std::string& native) {
    if (utf8Paths)
        return native;
    return utf8ToCodePage(native, kAnsiCodePage);
}

bool useUtf8Paths(bool on) {
    return utf8Paths.exchange(on);
}

bool utf8ToAnsi(const char* utf8, unsigned long length, char* buffer, unsigned long size) {
    bool exact = false;
    std::string converted = utf8ToCodePage(std::string(utf8, length), kAnsiCodePage, &exact);
    if (!exact || converted.size() + 1 > size)
        return false;
    std::memcpy(buffer, converted.c_str(), converted.size() + 1);
    return true;
}

void systemTextToAnsi(const char* text, char* buffer, unsigned long size) {
    copyCut(productText(text), buffer, size);
}

}  // namespace platform
