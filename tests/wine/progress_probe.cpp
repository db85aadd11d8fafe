// Test helper: waits up to SECONDS for the converter's progress window (a dialog with a text
// control 1000) and writes what it shows to OUT: the ANSI code page, the control's text as
// 8-bit bytes, and the window's styles. Exit status 0 when the window was found, and was
// still there a moment later, once its text had been set.
//   progress_probe OUT SECONDS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HWND found;

BOOL CALLBACK inspect(HWND window, LPARAM) {
    char className[64] = "";
    ::GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") != 0 || !::IsWindowVisible(window) || !::GetDlgItem(window, 1000))
        return TRUE;
    found = window;
    return FALSE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: progress_probe OUT SECONDS\n");
        return 2;
    }
    DWORD deadline = ::GetTickCount() + static_cast<DWORD>(std::atoi(argv[2])) * 1000;
    while (!found && ::GetTickCount() < deadline) {
        ::EnumWindows(inspect, 0);
        if (!found)
            ::Sleep(20);
    }
    if (!found)
        return 1;
    // The template is visible with its own text until the converter sets the loaded one.
    ::Sleep(150);
    if (!::IsWindow(found))
        return 3;
    char text[256] = "";
    ::GetWindowTextA(::GetDlgItem(found, 1000), text, sizeof text);
    FILE* out = std::fopen(argv[1], "wb");
    if (!out)
        return 2;
    std::fprintf(out, "acp=%u\ntext=%s\nstyle=0x%08lX\nexstyle=0x%08lX\n", ::GetACP(), text,
                 static_cast<unsigned long>(::GetWindowLongA(found, GWL_STYLE)),
                 static_cast<unsigned long>(::GetWindowLongA(found, GWL_EXSTYLE)));
    std::fclose(out);
    return 0;
}
