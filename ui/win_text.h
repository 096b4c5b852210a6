// Window texts in the program's code page 936, read and written through
// the W functions.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "store/text936_win.h"

namespace tessaline {

// The whole text of a window or control, read without a guessed length limit.
std::wstring windowTextW(HWND window);
inline std::string windowText936(HWND window) { return narrow936(windowTextW(window)); }
void setWindowText936(HWND window, std::string_view text);

} // namespace tessaline
