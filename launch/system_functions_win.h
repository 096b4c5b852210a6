// The three system functions the password encoding binds by name at their
// first use. When one cannot be found the program shows an error box naming
// it (and its library) and ends at once: these calls never return without one.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstdarg>

namespace tessaline::win {

using CryptProtectDataFunction = BOOL(WINAPI*)(DATA_BLOB*, LPCWSTR, DATA_BLOB*, PVOID, CRYPTPROTECT_PROMPTSTRUCT*,
                                               DWORD, DATA_BLOB*);
using WvsprintfAFunction = int(WINAPI*)(LPSTR, LPCSTR, va_list);
using MultiByteToWideCharFunction = int(WINAPI*)(UINT, DWORD, LPCCH, int, LPWSTR, int);

// CryptProtectData of crypt32.dll.
CryptProtectDataFunction boundCryptProtectData();
// wvsprintfA of user32.dll.
WvsprintfAFunction boundWvsprintfA();
// MultiByteToWideChar of kernel32.dll.
MultiByteToWideCharFunction boundMultiByteToWideChar();

// The exit code of the process when a bound function is missing.
inline constexpr UINT missingFunctionExitCode = 3;

} // namespace tessaline::win
