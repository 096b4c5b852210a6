// The server list 超级列表框1: one row per table entry, in table order,
// each carrying its entry's 1-based position as its item value.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "store/server_table.h"

namespace tessaline {

// Columns, styles, colours and state images of a new list.
void setupServerList(HWND list);

// Rebuilds every row from the table; afterwards no row is selected or
// focused, and the rebuild raises no focus-change event.
void refillServerList();

// Item value of the first selected row, 0 when none is selected.
int selectedPosition();

// Shows a probe result in the row of the entry at position.
void showServerStatus(int position, ServerStatus status);

// Handles the list's LVN_ITEMCHANGED notification.
void onServerListChanged(const NMLISTVIEW& change);

// Handles the list's LVN_GETDISPINFO notification: the rows' texts.
void onServerListDisplayInfo(NMLVDISPINFOW& info);

// Handles the list's NM_CUSTOMDRAW notification: keeps the selected row
// visible while the list does not have the focus.
LRESULT onServerListCustomDraw(NMLVCUSTOMDRAW& draw);

// Text of the status column.
const wchar_t* statusText(ServerStatus status);

} // namespace tessaline
