// The server editor window.
#include "ui/server_editor.h"

#include <windows.h>

#include <array>
#include <string>

#include "app/program.h"
#include "store/config_format.h"
#include "ui/control_ids.h"
#include "ui/forms.h"
#include "ui/messages.h"
#include "ui/server_list.h"
#include "ui/win_text.h"

namespace tessaline {
namespace {

namespace e = ids::server_editor_window;

// The five boxes in the order of the entry's texts, which is also their
// order on the window, top to bottom.
constexpr std::array<int, 5> kTextBoxes = {e::编辑框_域名, e::编辑框_端口, e::编辑框_账号, e::编辑框_密码,
                                           e::编辑框_备注};

void onEditorCreated(HWND window) {
    const int editIndex = program().editIndex;
    if (editIndex <= 0) return;
    const std::optional<ServerEntry> entry = serverTable().entryAt(editIndex);
    if (!entry) return;
    setWindowText936(GetDlgItem(window, e::编辑框_域名), entry->address);
    setWindowText936(GetDlgItem(window, e::编辑框_账号), entry->account);
    setWindowText936(GetDlgItem(window, e::编辑框_密码), entry->password);
    setWindowText936(GetDlgItem(window, e::编辑框_端口), entry->port);
    setWindowText936(GetDlgItem(window, e::编辑框_备注), entry->note);
    SetWindowTextW(GetDlgItem(window, e::按钮1), kEditorCommitEdit);
    SetWindowTextW(window, kEditorCaptionEdit);
}

void commitServerEditor(HWND window) {
    std::array<std::string, 5> texts;
    for (std::size_t i = 0; i < kTextBoxes.size(); ++i)
        texts[i] = windowText936(GetDlgItem(window, kTextBoxes[i]));

    // A text that "ms.ini" cannot keep as it is would come back cut,
    // shifted or as an option at the next start: refuse it here.
    for (std::size_t i = 0; i < kTextBoxes.size(); ++i) {
        if (!isStorableServerText(texts[i])) {
            showMessage(L"服务器信息不能包含“|”、换行或“#onsole:”“#admin:”“#Start:”“#LoadinPass:<”", L"输入出错",
                        MB_OK | MB_ICONERROR);
            SetFocus(GetDlgItem(window, kTextBoxes[i]));
            return;
        }
    }

    ServerTable& table = serverTable();
    const int editIndex = program().editIndex;
    if (editIndex < 1) {
        ServerEntry entry;
        entry.address = std::move(texts[0]);
        entry.port = std::move(texts[1]);
        entry.account = std::move(texts[2]);
        entry.password = std::move(texts[3]);
        entry.note = std::move(texts[4]);
        entry.status = ServerStatus::Unknown;
        table.appendEntry(entry);
    } else {
        table.replaceEntryTexts(editIndex, std::move(texts[0]), std::move(texts[1]), std::move(texts[2]),
                                std::move(texts[3]), std::move(texts[4]));
    }
    refillServerList();
    endModal(window);
}

LRESULT CALLBACK editorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        createFormControls(window, serverEditorWindowForm());
        onEditorCreated(window);
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            if (LOWORD(wParam) == e::按钮1) commitServerEditor(window);
            else if (LOWORD(wParam) == e::按钮2) endModal(window);  // cancelServerEditor
        }
        return 0;
    }
    return modalFormProc(window, message, wParam, lParam);
}

} // namespace

void openServerEditor() {
    const FormSpec& form = serverEditorWindowForm();
    static const bool registered = (registerFormClass(form.className, editorProc, true), true);
    (void)registered;
    HWND window = createFormWindow(form, nullptr);
    if (window == nullptr) return;
    runModal(window, GetDlgItem(window, e::编辑框_域名));
}

} // namespace tessaline
