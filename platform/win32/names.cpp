// Win32 names. A UTF-8 name reaches the ANSI code page through UTF-16: MultiByteToWideChar
// with CP_UTF8 and MB_ERR_INVALID_CHARS, then WideCharToMultiByte with CP_ACP and
// WC_NO_BEST_FIT_CHARS, whose lpUsedDefaultChar tells of any substitute (a system whose ANSI
// code page is UTF-8 takes neither flag nor that pointer). The publisher's tool gets its
// arguments from CommandLineToArgvW, and its terminal text goes out in the console's output
// code page.
#include "platform/platform.h"
#include "platform/win32/internal.h"
#include "platform/win32/win32.h"

#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <io.h>
#include <vector>

namespace platform {

namespace {

std::atomic<bool> utf8Paths(false);

std::wstring toWide(const char* text, int length, DWORD flags) {
    if (length == 0)
        return std::wstring();
    int count = ::MultiByteToWideChar(CP_UTF8, flags, text, length, NULL, 0);
    if (count <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(count), L'\0');
    ::MultiByteToWideChar(CP_UTF8, flags, text, length, &wide[0], count);
    return wide;
}

std::string fromWide(const std::wstring& wide, UINT codePage) {
    if (wide.empty())
        return std::string();
    // A UTF-8 target takes no default character.
    const char* fallback = codePage == CP_UTF8 ? NULL : "?";
    int count = ::WideCharToMultiByte(codePage, 0, wide.c_str(), static_cast<int>(wide.size()), NULL, 0, fallback, NULL);
    if (count <= 0)
        return std::string();
    std::string text(static_cast<size_t>(count), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.c_str(), static_cast<int>(wide.size()), &text[0], count, fallback, NULL);
    return text;
}

}  // namespace

bool utf8PathsInUse() {
    return utf8Paths;
}

std::wstring widePath(const char* path) {
    return toWide(path, static_cast<int>(std::strlen(path)), MB_ERR_INVALID_CHARS);
}

bool useUtf8Paths(bool on) {
    return utf8Paths.exchange(on);
}

bool utf8ToAnsi(const char* utf8, unsigned long length, char* buffer, unsigned long size) {
    // Names are short; a fixed buffer keeps the patcher free of the standard strings.
    WCHAR wide[512];
    if (size == 0 || length >= sizeof wide / sizeof wide[0])
        return false;
    if (length == 0) {
        buffer[0] = 0;
        return true;
    }
    int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, static_cast<int>(length), wide,
                                      static_cast<int>(sizeof wide / sizeof wide[0]));
    if (units <= 0)
        return false;
    for (int i = 0; i < units; ++i)
        if (wide[i] == 0)
            return false;
    bool utf8System = ::GetACP() == CP_UTF8;
    BOOL usedDefault = FALSE;
    int count = ::WideCharToMultiByte(CP_ACP, utf8System ? 0 : WC_NO_BEST_FIT_CHARS, wide, units, buffer,
                                      static_cast<int>(size - 1), NULL, utf8System ? NULL : &usedDefault);
    if (count <= 0 || usedDefault)
        return false;
    buffer[count] = 0;
    return true;
}

void systemTextToAnsi(const char* text, char* buffer, unsigned long size) {
    if (size == 0)
        return;
    std::strncpy(buffer, text, size - 1);
    buffer[size - 1] = 0;
}

void utf8Arguments(int* argc, char*** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return;
    char** arguments = new char*[static_cast<size_t>(count) + 1];
    for (int i = 0; i < count; ++i) {
        std::string text = fromWide(wide[i], CP_UTF8);
        arguments[i] = new char[text.size() + 1];
        std::memcpy(arguments[i], text.c_str(), text.size() + 1);
    }
    arguments[count] = NULL;
    ::LocalFree(wide);
    *argc = count;
    *argv = arguments;
}

void writeTerminalText(FILE* stream, const char* text) {
    UINT codePage = ::_isatty(::_fileno(stream)) ? ::GetConsoleOutputCP() : ::GetACP();
    std::wstring wide = toWide(text, static_cast<int>(std::strlen(text)), 0);
    std::fputs(fromWide(wide, codePage).c_str(), stream);
}

}  // namespace platform
