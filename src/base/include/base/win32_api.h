// The Windows API as the library uses it: <windows.h> without its min/max
// macros and rarely used parts, and the system converter into UTF-16.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace epub::base {

static_assert(sizeof(WCHAR) == sizeof(char16_t), "Windows wide text is UTF-16");

// MultiByteToWideChar on char16_t text: the UTF-16 units that `length` bytes
// (-1: up to and with the first NUL) of code page `codePage` make, written to
// `out` when `room` is above 0; 0 when the conversion fails.
inline int systemToUtf16(UINT codePage, DWORD flags, const char* bytes, int length, char16_t* out,
                         int room) {
  return MultiByteToWideChar(codePage, flags, bytes, length, reinterpret_cast<LPWSTR>(out), room);
}

}  // namespace epub::base
#endif
