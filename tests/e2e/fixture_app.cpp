// A small program with one of each kind of control the end-to-end driver works
// on, so the driver can be checked on its own: a dialog-like window with
// buttons, edit boxes, a check box, a list view with state images, and
// message boxes. Its exit code tells how it was closed.
#include <windows.h>

#include <commctrl.h>

#include <string>

namespace {

constexpr int idShowError = 1001;
constexpr int idShowQuestion = 1002;
constexpr int idEdit = 1003;
constexpr int idPassword = 1004;
constexpr int idCheck = 1005;
constexpr int idList = 1006;
constexpr int idLog = 1007;

// Exit codes: how the window was closed.
constexpr int exitClosed = 3;

HWND mainWindow = nullptr;
HWND logBox = nullptr;

void log(const std::wstring& line) { SetWindowTextW(logBox, line.c_str()); }

HWND makeControl(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x, int y, int w,
                 int h, DWORD exStyle = 0) {
    HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    return c;
}

void fillList(HWND list) {
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES);
    const wchar_t* titles[] = {L"地址", L"Port", L"备注"};
    const int widths[] = {100, 50, 120};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = i == 1 ? LVCFMT_CENTER : LVCFMT_LEFT;
        column.cx = widths[i];
        column.pszText = const_cast<wchar_t*>(titles[i]);
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    const wchar_t* rows[][3] = {{L"127.0.0.1", L"3389", L"第一"}, {L"127.0.0.2", L"22", L""},
                                {L"127.0.0.3", L"3390", L"third row"}};
    for (int r = 0; r < 3; ++r) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = r;
        item.pszText = const_cast<wchar_t*>(rows[r][0]);
        item.lParam = r + 1;
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (int c = 1; c < 3; ++c) {
            LVITEMW sub{};
            sub.iSubItem = c;
            sub.pszText = const_cast<wchar_t*>(rows[r][c]);
            SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&sub));
        }
    }
    ListView_SetCheckState(list, 2, TRUE);
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        makeControl(hwnd, L"BUTTON", L"错误(Error)", BS_DEFPUSHBUTTON | WS_TABSTOP, idShowError, 10, 10, 100, 26);
        makeControl(hwnd, L"BUTTON", L"Question", BS_PUSHBUTTON | WS_TABSTOP, idShowQuestion, 120, 10, 100, 26);
        makeControl(hwnd, L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP, idEdit, 10, 46, 150, 22, WS_EX_CLIENTEDGE);
        HWND password = makeControl(hwnd, L"EDIT", L"", ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP, idPassword, 170,
                                    46, 150, 22, WS_EX_CLIENTEDGE);
        SendMessageW(password, EM_SETLIMITTEXT, 16, 0);
        SendMessageW(password, EM_SETPASSWORDCHAR, L'*', 0);
        makeControl(hwnd, L"BUTTON", L"check", BS_AUTOCHECKBOX | WS_TABSTOP, idCheck, 10, 76, 80, 16);
        HWND list = makeControl(hwnd, WC_LISTVIEWW, L"", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
                                idList, 10, 100, 300, 120, WS_EX_CLIENTEDGE);
        fillList(list);
        logBox = makeControl(hwnd, L"EDIT", L"", ES_READONLY | ES_AUTOHSCROLL, idLog, 10, 230, 300, 22);
        return 0;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case idShowError:
        case IDOK:
            MessageBoxW(nullptr, L"出错了 (failed)", L"错误", MB_OK | MB_ICONERROR | MB_TASKMODAL);
            log(L"error box closed");
            return 0;
        case idShowQuestion: {
            const int answer =
                MessageBoxW(nullptr, L"Continue?", L"提示", MB_YESNO | MB_ICONINFORMATION | MB_TASKMODAL);
            log(answer == IDYES ? L"answer yes" : L"answer no");
            return 0;
        }
        case IDCANCEL:
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == idList && header->code == LVN_ITEMCHANGED) {
            const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
            if ((change->uNewState & LVIS_FOCUSED) && !(change->uOldState & LVIS_FOCUSED))
                log(L"focused " + std::to_wstring(change->lParam));
        }
        break;
    }
    case WM_DESTROY:
        PostQuitMessage(exitClosed);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = windowProc;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = L"TessalineE2EFixture";
    RegisterClassExW(&cls);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    const int w = 340, h = 300;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    mainWindow = CreateWindowExW(WS_EX_CONTROLPARENT, cls.lpszClassName, L"驱动测试 Fixture", style, x, y, w, h,
                                 nullptr, nullptr, instance, nullptr);
    ShowWindow(mainWindow, SW_SHOW);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(mainWindow, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
