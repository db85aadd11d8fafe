// The progress window on Windows: a modeless dialog from template 101 (CreateDialogParamA,
// no owner), string 1 loaded with LoadStringA into a 256-byte buffer and set with WM_SETTEXT,
// SW_SHOW and UpdateWindow; one message serviced at a time with PeekMessageA (PM_REMOVE),
// IsDialogMessageA, TranslateMessage and DispatchMessageA; DestroyWindow at the end.
#include "sondrel/progress_window.h"
#include "sondrel/texts.h"

#include "platform/win32/win32.h"

namespace sondrel {

namespace {

HINSTANCE instanceHandle;
HWND progressWindow;
MSG message;

// The controls paint themselves; everything else gets the default window handling.
INT_PTR CALLBACK progressDialogProc(HWND window, UINT messageId, WPARAM wParam, LPARAM lParam) {
    if (messageId == WM_PAINT) {
        PAINTSTRUCT paint;
        ::BeginPaint(progressWindow, &paint);
        return ::EndPaint(progressWindow, &paint);
    }
    return ::DefWindowProcA(window, messageId, wParam, lParam);
}

}  // namespace

void saveInstanceHandle(void* instance) {
    instanceHandle = static_cast<HINSTANCE>(instance);
}

void createProgressWindow() {
    progressWindow = ::CreateDialogParamA(instanceHandle, MAKEINTRESOURCEA(IDD_PROGRESS), progressWindow,
                                         progressDialogProc, 0);
    // Left empty when no language version loads: the template's English text never shows.
    char text[256];
    text[0] = 0;
    ::LoadStringA(instanceHandle, IDS_UNPACKING, text, sizeof text);
    ::SendMessageA(::GetDlgItem(progressWindow, IDC_PROGRESS_TEXT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    ::ShowWindow(progressWindow, SW_SHOW);
    ::UpdateWindow(progressWindow);
}

void pumpOneMessage() {
    if (!::PeekMessageA(&message, progressWindow, 0, 0, PM_REMOVE))
        return;
    if (::IsDialogMessageA(progressWindow, &message))
        return;
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
}

void destroyProgressWindow() {
    ::DestroyWindow(progressWindow);
}

}  // namespace sondrel
