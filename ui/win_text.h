// Text at the Windows boundary: the program's texts are code page 936
// bytes, the window system speaks UTF-16. Converting here, explicitly with
// 936, keeps the Chinese texts right whatever the system's ANSI code page.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tessaline {

inline constexpr UINT codePage936 = 936;

std::wstring widen936(std::string_view text);
std::string narrow936(std::wstring_view text);

// The whole text of a window or control, read without a guessed length limit.
std::wstring windowTextW(HWND window);
inline std::string windowText936(HWND window) { return narrow936(windowTextW(window)); }
void setWindowText936(HWND window, std::string_view text);

} // namespace tessaline
