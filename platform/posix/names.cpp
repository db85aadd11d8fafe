// POSIX names: the product's 8-bit strings are taken as code page 1252, the ANSI code page of
// the Windows the game speaks, and translated to and from the file system's UTF-8, so that a
// name lands on this disk as a player's Windows would show it. The publisher's tool works in
// UTF-8 and turns the translation off. Terminal text goes through glibc's iconv when the
// locale's character set is not UTF-8.
#include "platform/code_page.h"
#include "platform/platform.h"
#include "platform/posix/internal.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

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

// The length of the UTF-8 sequence that `lead` starts, 1 for a stray byte.
size_t sequenceLength(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
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

void utf8Arguments(int* /*argc*/, char*** /*argv*/) {
}

void writeTerminalText(FILE* stream, const char* text) {
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    std::string codeset = locale ? nl_langinfo_l(CODESET, locale) : "ANSI_X3.4-1968";
    if (locale)
        freelocale(locale);
    iconv_t converter = codeset == "UTF-8" ? reinterpret_cast<iconv_t>(-1) : iconv_open(codeset.c_str(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        std::fputs(text, stream);
        return;
    }
    std::string out;
    const char* at = text;
    size_t left = std::strlen(text);
    while (left > 0) {
        // One character at a time, so that one the terminal cannot show costs only itself.
        size_t length = sequenceLength(static_cast<unsigned char>(*at));
        if (length > left)
            length = left;
        char converted[16];
        char* in = const_cast<char*>(at);
        char* put = converted;
        size_t inLeft = length, outLeft = sizeof converted;
        if (iconv(converter, &in, &inLeft, &put, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
            out += '?';
        else
            out.append(converted, put);
        at += length;
        left -= length;
    }
    iconv_close(converter);
    std::fputs(out.c_str(), stream);
}

}  // namespace platform
