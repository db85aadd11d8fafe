// Win32 terminal side of the publisher's tool: its arguments from CommandLineToArgvW in
// UTF-8, and UTF-8 text written in the console's output code page (GetConsoleOutputCP), or in
// the ANSI code page when the stream is no console.
#include "platform/platform.h"
#include "platform/win32/win32.h"

#include <shellapi.h>

#include <io.h>

#include <cstring>
#include <string>

namespace platform {

namespace {

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
    // A UTF-8 target takes no default character; others show '?', not a look-alike.
    const char* fallback = codePage == CP_UTF8 ? NULL : "?";
    DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int count = ::WideCharToMultiByte(codePage, flags, wide.c_str(), static_cast<int>(wide.size()), NULL, 0, fallback, NULL);
    if (count <= 0)
        return std::string();
    std::string text(static_cast<size_t>(count), '\0');
    ::WideCharToMultiByte(codePage, flags, wide.c_str(), static_cast<int>(wide.size()), &text[0], count, fallback, NULL);
    return text;
}

}  // namespace

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
