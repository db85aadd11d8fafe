// Win32 outcome message: MessageBoxA with no owner and the OK button; whether a stream is a
// console.
#include "platform/platform.h"
#include "platform/win32/win32.h"

#include <io.h>

namespace platform {

void messageBox(const char* text, const char* caption, bool isError) {
    ::MessageBoxA(NULL, text, caption, MB_OK | (isError ? MB_ICONERROR : MB_ICONINFORMATION));
}

bool isTerminal(FILE* stream) {
    return ::_isatty(::_fileno(stream)) != 0;
}

}  // namespace platform
