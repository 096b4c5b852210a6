// The program's message boxes: no owner window, task-modal, so no window
// of the program takes input while one is shown.
#pragma once

#include <windows.h>

namespace tessaline {

inline int showMessage(const wchar_t* text, const wchar_t* title, UINT type) {
    return MessageBoxW(nullptr, text, title, type | MB_TASKMODAL);
}

// "请选择服务器列表！" for the commands that need a selected server.
inline void showNoSelectionMessage() {
    showMessage(L"请选择服务器列表！", L"操作错误", MB_OK | MB_ICONERROR);
}

} // namespace tessaline
