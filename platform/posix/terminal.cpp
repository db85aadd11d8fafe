// POSIX terminal side of the publisher's tool: arguments are UTF-8 already, and text goes out
// in the locale's character set, through glibc's iconv when that is not UTF-8.
#include "platform/platform.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cstring>
#include <string>

namespace platform {

namespace {

// The length of the UTF-8 sequence that `lead` starts, 1 for a stray byte.
size_t sequenceLength(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

}  // namespace

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
