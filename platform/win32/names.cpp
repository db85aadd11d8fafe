// Win32 names. A UTF-8 name reaches the ANSI code page through UTF-16: MultiByteToWideChar
// with CP_UTF8 and MB_ERR_INVALID_CHARS, then WideCharToMultiByte with CP_ACP and
// WC_NO_BEST_FIT_CHARS, whose lpUsedDefaultChar tells of any substitute (a system whose ANSI
// code page is UTF-8 takes neither flag nor that pointer). Fixed buffers keep the patcher and
// the converter free of the standard strings.
#include "platform/platform.h"
#include "platform/win32/internal.h"
#include "platform/win32/win32.h"

#include <atomic>
#include <cstring>

namespace platform {

namespace {

std::atomic<bool> utf8Paths(false);

}  // namespace

bool utf8PathsInUse() {
    return utf8Paths;
}

bool widePath(const char* path, wchar_t* buffer, int size) {
    int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, buffer, size);
    if (units <= 0 && size > 0)
        buffer[0] = 0;
    return units > 0;
}

bool useUtf8Paths(bool on) {
    return utf8Paths.exchange(on);
}

bool utf8ToAnsi(const char* utf8, unsigned long length, char* buffer, unsigned long size) {
    WCHAR wide[512];  // names are short
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

}  // namespace platform
