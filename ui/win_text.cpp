// Window text access.
#include "ui/win_text.h"

namespace tessaline {

std::wstring windowTextW(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

void setWindowText936(HWND window, std::string_view text) {
    SetWindowTextW(window, widen936(text).c_str());
}

} // namespace tessaline
