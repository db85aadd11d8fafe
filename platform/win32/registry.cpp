// Win32 registry access: RegOpenKeyExA on HKEY_LOCAL_MACHINE with KEY_READ, RegQueryValueExA
// with no type requested, RegCloseKey.
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace platform {

RegistryKey openMachineKey(const char* path) {
    HKEY key = NULL;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        key = NULL;
    return key;
}

void queryStringValue(RegistryKey key, const char* name, char* buffer, unsigned size) {
    DWORD dataSize = size;
    LONG status = ::RegQueryValueExA(static_cast<HKEY>(key), name, NULL, NULL,
                                     reinterpret_cast<LPBYTE>(buffer), &dataSize);
    // A value too long for the buffer (ERROR_MORE_DATA) may leave part of itself behind,
    // and a stored string need not carry its terminator: only a whole string counts.
    if (status != ERROR_SUCCESS || dataSize > size) {
        buffer[0] = 0;
        return;
    }
    if (dataSize == 0 || buffer[dataSize - 1] != 0) {
        if (dataSize >= size) {
            buffer[0] = 0;
            return;
        }
        buffer[dataSize] = 0;
    }
}

void closeKey(RegistryKey key) {
    ::RegCloseKey(static_cast<HKEY>(key));
}

}  // namespace platform
