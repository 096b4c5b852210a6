// Building windows from their descriptions, and the keyboard and modal
// behaviour shared by all of the program's windows.
#include "ui/form.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "resources/resource_loading_win.h"
#include "ui/win_text.h"

namespace tessaline {
namespace {

constexpr wchar_t kFormProp[] = L"Tessaline.Form";
constexpr wchar_t kDefaultButtonProp[] = L"Tessaline.DefaultButton";
constexpr wchar_t kModalEndProp[] = L"Tessaline.ModalEnd";
constexpr wchar_t kPictureBitmapProp[] = L"Tessaline.Bitmap";
constexpr wchar_t kPictureIconProp[] = L"Tessaline.Icon";
constexpr wchar_t kPictureClass[] = L"TessalinePicture";
constexpr UINT_PTR kByteLimitSubclass = 1;

LRESULT CALLBACK pictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
        if (auto bitmap = static_cast<HBITMAP>(GetPropW(window, kPictureBitmapProp))) {
            BITMAP info{};
            GetObjectW(bitmap, sizeof info, &info);
            HDC memory = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(memory, bitmap);
            BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteDC(memory);
        } else if (auto icon = static_cast<HICON>(GetPropW(window, kPictureIconProp))) {
            DrawIconEx(dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
        }
        EndPaint(window, &paint);
        return 0;
    }
    case WM_NCDESTROY:
        RemovePropW(window, kPictureBitmapProp);
        RemovePropW(window, kPictureIconProp);
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void registerPictureClass() {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = pictureProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kPictureClass;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
}

HFONT makeFont(int height, int weight, BYTE charset) {
    LOGFONTW font{};
    font.lfHeight = -height;
    font.lfWeight = weight;
    font.lfCharSet = charset;
    font.lfQuality = DEFAULT_QUALITY;
    // 宋体 by its Chinese name; the font mapper also knows it as SimSun.
    wcscpy_s(font.lfFaceName, L"宋体");
    return CreateFontIndirectW(&font);
}

struct KindStyle {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

KindStyle kindStyle(ControlKind kind) {
    switch (kind) {
    case ControlKind::PictureBox: return {kPictureClass, 0, 0};
    case ControlKind::GroupBox: return {WC_BUTTONW, BS_GROUPBOX, 0};
    case ControlKind::Label: return {WC_STATICW, SS_NOPREFIX, 0};
    case ControlKind::Button: return {WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0};
    case ControlKind::DefaultButton: return {WC_BUTTONW, BS_DEFPUSHBUTTON | WS_TABSTOP, 0};
    case ControlKind::CheckBox: return {WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP, 0};
    case ControlKind::RadioButton: return {WC_BUTTONW, BS_AUTORADIOBUTTON | WS_TABSTOP, 0};
    case ControlKind::Edit: return {WC_EDITW, WS_TABSTOP, 0};
    case ControlKind::ListView: return {WC_LISTVIEWW, WS_TABSTOP, 0};
    }
    return {WC_STATICW, 0, 0};
}

const ControlSpec* findControl(const FormSpec& form, int id) {
    for (const ControlSpec& control : form.controls)
        if (control.id == id) return &control;
    return nullptr;
}

// Typing and pasting are refused where they would make the text longer
// than the limit in code page 936 bytes.
LRESULT CALLBACK byteLimitProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                               UINT_PTR, DWORD_PTR maxBytes) {
    const bool edits = (message == WM_CHAR && wParam >= L' ') || message == WM_IME_CHAR ||
                       message == WM_PASTE;
    if (!edits) {
        if (message == WM_NCDESTROY) RemoveWindowSubclass(edit, byteLimitProc, kByteLimitSubclass);
        return DefSubclassProc(edit, message, wParam, lParam);
    }
    std::wstring before = windowTextW(edit);
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
    if (narrow936(windowTextW(edit)).size() > maxBytes) {
        SetWindowTextW(edit, before.c_str());
        SendMessageW(edit, EM_SETSEL, start, end);
        MessageBeep(MB_OK);
    }
    SecureZeroMemory(before.data(), before.size() * sizeof(wchar_t));
    return result;
}

bool takesEnter(HWND control) {
    wchar_t className[16]{};
    GetClassNameW(control, className, 16);
    if (lstrcmpiW(className, WC_EDITW) != 0) return false;
    const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
    return (style & ES_MULTILINE) && (style & ES_WANTRETURN) && !(style & ES_READONLY);
}

} // namespace

HFONT formFont(FontKind font) {
    static const HFONT songBold12 = makeFont(12, FW_BOLD, DEFAULT_CHARSET);
    static const HFONT songBold16 = makeFont(16, FW_BOLD, DEFAULT_CHARSET);
    static const HFONT song12 = makeFont(12, FW_NORMAL, GB2312_CHARSET);
    switch (font) {
    case FontKind::SongBold12: return songBold12;
    case FontKind::SongBold16: return songBold16;
    case FontKind::Song12: return song12;
    case FontKind::Default: break;
    }
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void registerFormClass(const wchar_t* className, WNDPROC windowProc, bool programIcon) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(GetModuleHandleW(nullptr), className, &wc)) return;  // already there
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className;
    if (programIcon) {
        wc.hIcon = loadProgramIcon(GetSystemMetrics(SM_CXICON));
        wc.hIconSm = loadProgramIcon(GetSystemMetrics(SM_CXSMICON));
    }
    RegisterClassExW(&wc);
}

HWND createFormWindow(const FormSpec& form, LPVOID createParam) {
    registerPictureClass();
    const int x = (GetSystemMetrics(SM_CXSCREEN) - form.outerWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - form.outerHeight) / 2;
    return CreateWindowExW(0, form.className, form.caption,
                           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, x, y,
                           form.outerWidth, form.outerHeight, nullptr, nullptr,
                           GetModuleHandleW(nullptr), createParam);
}

void createFormControls(HWND window, const FormSpec& form) {
    SetPropW(window, kFormProp, reinterpret_cast<HANDLE>(const_cast<FormSpec*>(&form)));
    setFormDefaultButton(window, form.defaultButton);
    std::vector<HWND> groupBoxes;
    for (const ControlSpec& control : form.controls) {
        int x = control.x, y = control.y;
        if (control.container != 0) {
            if (const ControlSpec* box = findControl(form, control.container)) {
                x += box->x;
                y += box->y;
            }
        }
        const KindStyle kind = kindStyle(control.kind);
        HWND child = CreateWindowExW(kind.exStyle | control.exStyle, kind.className, control.text,
                                     WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | kind.style | control.style,
                                     x, y, control.width, control.height, window,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)),
                                     GetModuleHandleW(nullptr), nullptr);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(formFont(control.font)), FALSE);
        if (control.kind == ControlKind::GroupBox) groupBoxes.push_back(child);
    }
    // Group boxes go below the controls they frame, so that they never
    // paint over them; the tab order of the other controls is unchanged.
    for (HWND box : groupBoxes)
        SetWindowPos(box, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void setPictureBitmap(HWND pictureBox, HBITMAP bitmap) {
    SetPropW(pictureBox, kPictureBitmapProp, bitmap);
    InvalidateRect(pictureBox, nullptr, TRUE);
}

void setPictureIcon(HWND pictureBox, HICON icon) {
    SetPropW(pictureBox, kPictureIconProp, icon);
    InvalidateRect(pictureBox, nullptr, TRUE);
}

void limitEditBytes(HWND edit, std::size_t maxBytes) {
    SendMessageW(edit, EM_SETLIMITTEXT, maxBytes, 0);
    SetWindowSubclass(edit, byteLimitProc, kByteLimitSubclass, maxBytes);
}

void setFormDefaultButton(HWND window, int buttonId) {
    SetPropW(window, kDefaultButtonProp, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(buttonId)));
}

bool translateFormKeys(MSG& msg) {
    if (msg.hwnd == nullptr) return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (root == nullptr || GetPropW(root, kFormProp) == nullptr) return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && !takesEnter(msg.hwnd)) {
        const int id = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(root, kDefaultButtonProp)));
        HWND button = GetDlgItem(root, id);
        if (button != nullptr && IsWindowEnabled(button) && IsWindowEnabled(root))
            SendMessageW(root, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return true;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
        if (IsWindowEnabled(root)) PostMessageW(root, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }
    return IsDialogMessageW(root, &msg) != FALSE;
}

void runModal(HWND window, HWND initialFocus) {
    // Every other top-level window of the program stops taking input.
    struct Disabler {
        HWND modal;
        std::vector<HWND> disabled;
    } disabler{window, {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND other, LPARAM param) -> BOOL {
            auto* self = reinterpret_cast<Disabler*>(param);
            if (other != self->modal && IsWindowVisible(other) && IsWindowEnabled(other)) {
                EnableWindow(other, FALSE);
                self->disabled.push_back(other);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&disabler));

    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    if (initialFocus != nullptr) SetFocus(initialFocus);

    MSG msg;
    while (IsWindow(window) && GetPropW(window, kModalEndProp) == nullptr) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
            break;
        }
        if (got == -1) break;
        if (!translateFormKeys(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    // The windows below take input again before this one goes, so that
    // the activation returns to them.
    for (HWND other : disabler.disabled)
        if (IsWindow(other)) EnableWindow(other, TRUE);
    if (IsWindow(window)) DestroyWindow(window);
}

void endModal(HWND window) {
    SetPropW(window, kModalEndProp, reinterpret_cast<HANDLE>(1));
}

LRESULT modalFormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case DM_GETDEFID:
        return MAKELRESULT(reinterpret_cast<INT_PTR>(GetPropW(window, kDefaultButtonProp)), DC_HASDEFID);
    case WM_CLOSE:
        endModal(window);
        return 0;
    case WM_NCDESTROY:
        forgetForm(window);
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void forgetForm(HWND window) {
    RemovePropW(window, kFormProp);
    RemovePropW(window, kDefaultButtonProp);
    RemovePropW(window, kModalEndProp);
}

} // namespace tessaline
