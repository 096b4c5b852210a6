// Code page 936 texts at the Windows boundary: the program's texts are
// code page 936 bytes, the W functions take UTF-16. Converting here,
// explicitly with 936, keeps Chinese texts right whatever the system's
// ANSI code page.
#pragma once

#include <string>
#include <string_view>

namespace tessaline {

inline constexpr unsigned codePage936 = 936;

std::wstring widen936(std::string_view text);
std::string narrow936(std::wstring_view text);

} // namespace tessaline
