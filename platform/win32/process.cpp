// Win32 process functions: GetModuleFileNameA for the own path, and the script launch:
// ShellExecuteExA with the "open" verb, SEE_MASK_NOCLOSEPROCESS and SW_HIDE, then
// WaitForSingleObject without time-out, GetExitCodeProcess and CloseHandle.
#include "platform/platform.h"
#include "platform/win32/win32.h"

#include <shellapi.h>

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "the 32-bit launch record is 60 bytes");
#endif

namespace platform {

void ownExecutablePath(char* buffer, unsigned size) {
    ::GetModuleFileNameA(NULL, buffer, size);
}

bool shellOpenAndWait(const char* file, const char* parameters, unsigned long* exitCode) {
    SHELLEXECUTEINFOA launch;
    ::ZeroMemory(&launch, sizeof launch);
    launch.cbSize = sizeof launch;
    launch.fMask = SEE_MASK_NOCLOSEPROCESS;
    launch.hwnd = NULL;
    launch.lpVerb = "open";
    launch.lpFile = file;
    launch.lpParameters = parameters;
    launch.lpDirectory = NULL;
    launch.nShow = SW_HIDE;
    BOOL started = ::ShellExecuteExA(&launch);
    // After a failed launch hProcess is empty: the wait returns at once.
    ::WaitForSingleObject(launch.hProcess, INFINITE);
    DWORD code = 0;
    // A script whose status cannot be read has not been seen to succeed.
    if (started && !::GetExitCodeProcess(launch.hProcess, &code))
        code = 1;
    *exitCode = code;
    ::CloseHandle(launch.hProcess);
    return started != 0;
}

}  // namespace platform
