// Win32 string resources: LoadStringA from the running executable's own module.
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace platform {

int loadString(unsigned id, char* buffer, int size) {
    return ::LoadStringA(::GetModuleHandleA(NULL), id, buffer, size);
}

}  // namespace platform
