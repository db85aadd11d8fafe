// Entry of the converter on Windows: a GUI program, no console; the tail of the command line
// arrives as lpCmdLine.
#include "sondrel/converter.h"
#include "sondrel/progress_window.h"

#include "platform/win32/win32.h"


int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPSTR lpCmdLine, int /*nCmdShow*/) {
    sondrel::saveInstanceHandle(hInstance);
    return sondrel::runConverter(lpCmdLine);
}
