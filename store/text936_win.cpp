// Conversions between code page 936 and UTF-16.
#include "store/text936_win.h"

#include <windows.h>

#include <climits>

namespace tessaline {

std::wstring widen936(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(codePage936, 0, text.data(), length, nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(codePage936, 0, text.data(), length, wide.data(), units);
    return wide;
}

std::string narrow936(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int units = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(codePage936, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(codePage936, 0, text.data(), units, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

} // namespace tessaline
