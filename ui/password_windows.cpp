// The authentication window and the start-up password window.
#include "ui/password_windows.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/program.h"
#include "resources/resource_loading_win.h"
#include "store/config_format.h"
#include "ui/control_ids.h"
#include "ui/forms.h"
#include "ui/messages.h"
#include "ui/win_text.h"

namespace tessaline {
namespace {

namespace a = ids::authentication_window;
namespace p = ids::startup_password_window;

// Both boxes of both windows take at most 16 bytes of code page 936.
constexpr std::size_t kPasswordBoxBytes = 16;

HICON passwordIcon() {
    static const HICON icon = loadPasswordIcon();
    return icon;
}

// Reads a box and wipes the copy the window system handed over.
std::string readSecret(HWND box) {
    std::wstring wide = windowTextW(box);
    std::string text = narrow936(wide);
    SecureZeroMemory(wide.data(), wide.size() * sizeof(wchar_t));
    return text;
}

void wipe(std::string& text) {
    SecureZeroMemory(text.data(), text.size());
    text.clear();
}

void checkAuthenticationPassword(HWND window) {
    HWND box = GetDlgItem(window, a::编辑框1);
    std::string typed = readSecret(box);
    const std::string& expected = program().startupPassword;
    const bool right = !typed.empty() && typed == expected;
    wipe(typed);
    if (right) {
        program().accessGranted = true;
        endModal(window);
        return;
    }
    showMessage(L"密码错误", L"错误", MB_OK | MB_ICONERROR);
    SetWindowTextW(box, L"");
    SetFocus(box);
}

LRESULT CALLBACK authenticationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        createFormControls(window, authenticationWindowForm());
        setPictureIcon(GetDlgItem(window, a::图片框1), passwordIcon());
        HWND box = GetDlgItem(window, a::编辑框1);
        SendMessageW(box, EM_SETPASSWORDCHAR, L'*', 0);
        limitEditBytes(box, kPasswordBoxBytes);
        return 0;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            if (LOWORD(wParam) == a::按钮1) checkAuthenticationPassword(window);
            else if (LOWORD(wParam) == a::按钮2) std::exit(0);  // ends the program at once
        }
        return 0;
    }
    return modalFormProc(window, message, wParam, lParam);
}

void setStartupPassword(HWND window) {
    std::string fresh = readSecret(GetDlgItem(window, p::编辑框1));
    std::string repeated = readSecret(GetDlgItem(window, p::编辑框2));
    const bool same = fresh == repeated;
    wipe(repeated);
    if (!same) {
        wipe(fresh);
        showMessage(L"两次密码必须相同", L"输入出错", MB_OK | MB_ICONERROR);
        return;
    }
    if (fresh.empty()) {
        if (showMessage(L"您确定要清空密码吗？", L"提示", MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
    } else if (!isStorableStartupPassword(fresh)) {
        // "ms.ini" would cut it at ">" or read it back as a server line.
        wipe(fresh);
        showMessage(L"密码不能包含“>”或“|”", L"输入出错", MB_OK | MB_ICONERROR);
        return;
    }
    std::string& stored = program().startupPassword;
    wipe(stored);
    stored = std::move(fresh);
    endModal(window);
}

LRESULT CALLBACK startupPasswordProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        createFormControls(window, startupPasswordWindowForm());
        setPictureIcon(GetDlgItem(window, p::图片框1), passwordIcon());
        limitEditBytes(GetDlgItem(window, p::编辑框1), kPasswordBoxBytes);
        limitEditBytes(GetDlgItem(window, p::编辑框2), kPasswordBoxBytes);
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            if (LOWORD(wParam) == p::按钮1) setStartupPassword(window);
            else if (LOWORD(wParam) == p::按钮2) endModal(window);
        }
        return 0;
    }
    return modalFormProc(window, message, wParam, lParam);
}

void runPasswordForm(const FormSpec& form, WNDPROC proc, int firstBox) {
    registerFormClass(form.className, proc, true);
    HWND window = createFormWindow(form, nullptr);
    if (window == nullptr) return;
    runModal(window, GetDlgItem(window, firstBox));
}

} // namespace

void runAuthenticationWindow() {
    runPasswordForm(authenticationWindowForm(), authenticationProc, a::编辑框1);
}

void openStartupPasswordWindow() {
    runPasswordForm(startupPasswordWindowForm(), startupPasswordProc, p::编辑框1);
}

} // namespace tessaline
