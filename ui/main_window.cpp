// The main window: creation, closing, and the Add, Edit, Delete, Start
// password and Connect commands.
#include "ui/main_window.h"

#include <commctrl.h>

#include "app/program.h"
#include "launch/session_launch_win.h"
#include "probe/probe_sweep_win.h"
#include "resources/resource_loading_win.h"
#include "ui/control_ids.h"
#include "ui/forms.h"
#include "ui/messages.h"
#include "ui/password_windows.h"
#include "ui/server_editor.h"
#include "ui/server_list.h"

namespace tessaline {
namespace {

namespace m = ids::main_window;

// Posted by the probes' result queue when results wait to be shown.
constexpr UINT kProbeResultsMessage = WM_APP + 1;

HBITMAP banner = nullptr;

bool isChecked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void check(HWND button) { SendMessageW(button, BM_SETCHECK, BST_CHECKED, 0); }

void onMainWindowCreated() {
    ServerTable& table = serverTable();
    MainWindowControls& main = mainWindow();
    // parseConfig: the entries, and the options the file turns on.
    ParsedConfig parsed = parseConfig(program().configBytes);
    table.appendEntries(std::move(parsed.entries));
    if (parsed.turnOn.console) check(main.选择框_onsole);
    if (parsed.turnOn.admin) check(main.选择框_admin);
    if (parsed.turnOn.res800x600) check(main.单选框800600);
    if (parsed.turnOn.res1024x768) check(main.单选框1024768);
    refillServerList();
    startProbeSweep(table, main.window, kProbeResultsMessage);
}

void onMainWindowClosing() {
    // The close is never refused; a failed save is told, and may be retried.
    while (saveConfigFile(readLaunchOptions()) != 0) {
        const int answer = showMessage(L"配置文件 ms.ini 保存失败，本次的修改将会丢失。", L"保存失败",
                                       MB_RETRYCANCEL | MB_ICONERROR);
        if (answer != IDRETRY) break;
    }
}

void launchSession() {
    const int position = selectedPosition();
    if (position <= 0) {
        showNoSelectionMessage();
        return;
    }
    HWND button = mainWindow().按钮_连接服务器;
    const bool hadFocus = GetFocus() == button;
    EnableWindow(button, FALSE);
    if (std::optional<ServerEntry> entry = serverTable().entryAt(position))
        win::openRemoteSession(*entry, readLaunchOptions());
    EnableWindow(button, TRUE);
    if (hadFocus) SetFocus(button);
}

void addServerCommand() {
    program().editIndex = 0;
    openServerEditor();
}

void editServerCommand() {
    const int position = selectedPosition();
    if (position > 0) {
        program().editIndex = position;
        openServerEditor();
    } else {
        showNoSelectionMessage();
    }
}

void deleteServerCommand() {
    int position = selectedPosition();
    if (position <= 0) {
        showNoSelectionMessage();
        return;
    }
    if (showMessage(L"确认删除该项？", L"删除项目", MB_OKCANCEL) != IDOK) return;
    position = selectedPosition();
    ServerTable& table = serverTable();
    if (position >= 1 && position <= table.entryCount()) table.removeEntry(position);
    refillServerList();
}

void onCommand(int id) {
    switch (id) {
    case m::按钮_连接服务器: launchSession(); break;
    case m::按钮_添加服务器: addServerCommand(); break;
    case m::按钮_删除服务器: deleteServerCommand(); break;
    case m::按钮_设置服务器: editServerCommand(); break;
    case m::按钮_启动密码: openStartupPasswordWindow(); break;
    default: break;
    }
}

void collectControls(HWND window) {
    MainWindowControls& main = mainWindow();
    main.window = window;
    main.超级列表框1 = GetDlgItem(window, m::超级列表框1);
    main.按钮_连接服务器 = GetDlgItem(window, m::按钮_连接服务器);
    main.按钮_删除服务器 = GetDlgItem(window, m::按钮_删除服务器);
    main.编辑框_备注 = GetDlgItem(window, m::编辑框_备注);
    main.选择框_onsole = GetDlgItem(window, m::选择框_onsole);
    main.选择框_admin = GetDlgItem(window, m::选择框_admin);
    main.单选框800600 = GetDlgItem(window, m::单选框800600);
    main.单选框1024768 = GetDlgItem(window, m::单选框1024768);
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        createFormControls(window, mainWindowForm());
        collectControls(window);
        setupServerList(mainWindow().超级列表框1);
        banner = loadBannerBitmap();
        setPictureBitmap(GetDlgItem(window, m::图片框1), banner);
        startSocketLibrary();
        onMainWindowCreated();
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) onCommand(LOWORD(wParam));
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != static_cast<UINT_PTR>(m::超级列表框1)) return 0;
        if (header->code == LVN_ITEMCHANGED) onServerListChanged(*reinterpret_cast<const NMLISTVIEW*>(lParam));
        if (header->code == LVN_GETDISPINFOW) onServerListDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
        if (header->code == NM_CUSTOMDRAW) return onServerListCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
        return 0;
    }
    case WM_CTLCOLORSTATIC:
        // The read-only note box keeps a white background.
        if (reinterpret_cast<HWND>(lParam) == mainWindow().编辑框_备注) {
            SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        }
        break;
    case DM_GETDEFID:
        return MAKELRESULT(m::按钮_连接服务器, DC_HASDEFID);
    case kProbeResultsMessage:
        applyPendingProbeResults(serverTable(), showServerStatus);
        return 0;
    case WM_CLOSE:
        onMainWindowClosing();
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        closeProbeSweep();
        stopSocketLibrary();
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        forgetForm(window);
        mainWindow() = MainWindowControls{};
        if (banner) DeleteObject(banner);
        banner = nullptr;
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

MainWindowControls& mainWindow() {
    static MainWindowControls controls;
    return controls;
}

LaunchOptionStates readLaunchOptions() {
    const MainWindowControls& main = mainWindow();
    return {isChecked(main.选择框_onsole), isChecked(main.选择框_admin), isChecked(main.单选框800600),
            isChecked(main.单选框1024768)};
}

HWND openMainWindow() {
    const FormSpec& form = mainWindowForm();
    registerFormClass(form.className, mainWindowProc, true);
    HWND window = createFormWindow(form, nullptr);
    if (window == nullptr) return nullptr;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetFocus(mainWindow().超级列表框1);
    return window;
}

} // namespace tessaline
