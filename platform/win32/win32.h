// The one place the Win32 backend includes <windows.h>.
// The backend calls the 8-bit (A) functions by name, so UNICODE stays undefined.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef STRICT
#define STRICT
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0501
#endif
#undef UNICODE
#undef _UNICODE

#include <windows.h>
