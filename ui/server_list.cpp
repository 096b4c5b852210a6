// The server list view and its focus-change event.
#include "ui/server_list.h"

#include <commctrl.h>

#include <vector>

#include "app/program.h"
#include "resources/resource_loading_win.h"
#include "ui/main_window.h"
#include "ui/win_text.h"

namespace tessaline {
namespace {

// Set while the list is rebuilt: rows that come and go then are no
// focus change of the user's.
bool refilling = false;

// What the rows show, as the last refill took it from the table; the list
// asks for the texts when it draws (LPSTR_TEXTCALLBACK), so a refill of
// thousands of rows stores no text in the control.
struct Row {
    std::wstring address;
    std::wstring port;
    std::wstring account;
    ServerStatus status;
};
std::vector<Row> rows;

struct Column {
    const wchar_t* title;
    int width;
    int format;
};

constexpr Column kColumns[] = {
    {L"主机IP地址", 130, LVCFMT_LEFT},
    {L"端口", 50, LVCFMT_LEFT},
    {L"登陆账号", 100, LVCFMT_CENTER},
    {L"网络状态", 60, LVCFMT_CENTER},
};

constexpr int kStatusColumn = 3;

UINT stateImageOf(ServerStatus status) {
    // State image k is stored as k + 1 in the item state.
    return INDEXTOSTATEIMAGEMASK(static_cast<UINT>(status));
}

const wchar_t* cellText(const Row& row, int column) {
    switch (column) {
    case 0: return row.address.c_str();
    case 1: return row.port.c_str();
    case 2: return row.account.c_str();
    case kStatusColumn: return statusText(row.status);
    default: return L"";
    }
}

} // namespace

const wchar_t* statusText(ServerStatus status) {
    switch (status) {
    case ServerStatus::Online: return L"在线";
    case ServerStatus::Offline: return L"离线";
    case ServerStatus::Unknown: break;
    }
    return L"...";
}

void setupServerList(HWND list) {
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    ListView_SetBkColor(list, RGB(255, 255, 255));
    ListView_SetTextBkColor(list, GetSysColor(COLOR_BTNFACE));
    ListView_SetTextColor(list, RGB(0, 0, 0));
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = kColumns[i].format;
        column.cx = kColumns[i].width;
        column.pszText = const_cast<wchar_t*>(kColumns[i].title);
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    // The list owns the image list and frees it with itself.
    SetWindowLongPtrW(list, GWL_STYLE, GetWindowLongPtrW(list, GWL_STYLE) & ~LVS_SHAREIMAGELISTS);
    ListView_SetImageList(list, createStateImageList(), LVSIL_STATE);
}

void refillServerList() {
    HWND list = mainWindow().超级列表框1;
    const std::vector<ServerEntry> entries = serverTable().snapshot();
    refilling = true;
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list);
    rows.clear();
    rows.reserve(entries.size());
    for (const ServerEntry& entry : entries)
        rows.push_back(Row{widen936(entry.address), widen936(entry.port), widen936(entry.account), entry.status});
    ListView_SetItemCount(list, static_cast<int>(rows.size()));
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
        item.iItem = row;
        item.pszText = LPSTR_TEXTCALLBACKW;
        item.lParam = row + 1;
        item.state = stateImageOf(rows[static_cast<std::size_t>(row)].status);
        item.stateMask = LVIS_STATEIMAGEMASK;
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    refilling = false;
}

void onServerListDisplayInfo(NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || item.pszText == nullptr || item.cchTextMax <= 0) return;
    if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= rows.size()) {
        item.pszText[0] = L'\0';
        return;
    }
    const wchar_t* text = cellText(rows[static_cast<std::size_t>(item.iItem)], item.iSubItem);
    lstrcpynW(item.pszText, text, item.cchTextMax);
}

int selectedPosition() {
    HWND list = mainWindow().超级列表框1;
    const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (row < 0) return 0;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    return static_cast<int>(item.lParam);
}

void showServerStatus(int position, ServerStatus status) {
    HWND list = mainWindow().超级列表框1;
    const int row = position - 1;
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) return;
    rows[static_cast<std::size_t>(row)].status = status;
    ListView_SetItemState(list, row, stateImageOf(status), LVIS_STATEIMAGEMASK);
    ListView_RedrawItems(list, row, row);
}

LRESULT onServerListCustomDraw(NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
        // Without the focus the list would draw the selection in the
        // button-face colour, which is also the cells' own: it would vanish.
        HWND list = draw.nmcd.hdr.hwndFrom;
        const int row = static_cast<int>(draw.nmcd.dwItemSpec);
        if (GetFocus() != list && ListView_GetItemState(list, row, LVIS_SELECTED)) {
            draw.nmcd.uItemState &= ~static_cast<UINT>(CDIS_SELECTED);
            draw.clrText = GetSysColor(COLOR_HIGHLIGHTTEXT);
            draw.clrTextBk = GetSysColor(COLOR_HIGHLIGHT);
        }
        return CDRF_DODEFAULT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}

void onServerListChanged(const NMLISTVIEW& change) {
    if (refilling || !(change.uChanged & LVIF_STATE)) return;
    if (!(change.uNewState & LVIS_FOCUSED) || (change.uOldState & LVIS_FOCUSED)) return;
    // onServerRowFocused
    MainWindowControls& main = mainWindow();
    EnableWindow(main.按钮_删除服务器, TRUE);
    EnableWindow(main.按钮_连接服务器, TRUE);
    const int position = selectedPosition();
    if (position >= 1 && position <= serverTable().entryCount()) {
        if (auto entry = serverTable().entryAt(position)) setWindowText936(main.编辑框_备注, entry->note);
    }
}

} // namespace tessaline
