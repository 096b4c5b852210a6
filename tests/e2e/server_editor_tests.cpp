// The server editor seen from outside: its form in add and edit mode, the
// ways to confirm and to cancel, Enter in the note box, and the texts it
// refuses because "ms.ini" could not keep them.
#include <iostream>
#include <string>
#include <vector>

#include "tests/e2e/program.h"

namespace tessaline::e2e {
namespace {

namespace ed = tessaline::ids::server_editor_window;

constexpr int textBoxes[] = {ed::编辑框_域名, ed::编辑框_端口, ed::编辑框_账号, ed::编辑框_密码, ed::编辑框_备注};
constexpr std::string_view noOptions = "#Start:0\r\n#LoadinPass:<>\r\n";

// A key pressed in a given control (posted down and up), whatever has the focus.
void pressKeyIn(const Window& control, WORD virtualKey) {
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    PostMessageW(control.hwnd(), WM_KEYDOWN, virtualKey, down);
    PostMessageW(control.hwnd(), WM_KEYUP, virtualKey, down | (LPARAM{1} << 30) | (LPARAM{1} << 31));
}

// The five texts of the editor, top to bottom.
std::vector<std::wstring> editorTexts(const Window& editor) {
    std::vector<std::wstring> texts;
    for (int id : textBoxes) texts.push_back(editor.child(id).text());
    return texts;
}
void setEditorTexts(const Window& editor, const std::vector<std::wstring>& texts) {
    for (size_t i = 0; i < texts.size(); ++i) editor.child(textBoxes[i]).setText(texts[i]);
}
std::string describeTexts(const std::vector<std::wstring>& texts) {
    std::string out;
    for (const auto& t : texts) out.append("\"").append(printable(narrow(t))).append("\" ");
    return out;
}

using Rows = std::vector<std::vector<std::string>>;

// Whether the keyboard focus of the editor's thread comes to `box`. Tests
// running side by side share one desktop: when another program holds the
// foreground and the editor's thread has lost its focus altogether, the
// check cannot be made and is passed over (and said so).
::testing::AssertionResult focusComesTo(const Window& editor, const Window& box) {
    if (waitUntil([&] { return editor.focused().hwnd() == box.hwnd(); }, 3s)) return ::testing::AssertionSuccess();
    const Window focus = editor.focused();
    DWORD foregroundProcess = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &foregroundProcess);
    if (focus.hwnd() == editor.hwnd() && foregroundProcess != editor.processId()) {
        std::cerr << "focus not checked: another program holds the foreground\n";
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "focus on " << focus.describe() << ", expected " << box.describe();
}

// Clicks the confirm button with the editor in the foreground.
void confirm(const Window& editor) {
    SetForegroundWindow(editor.hwnd());
    editor.child(ed::按钮1).click();
}

class ServerEditor : public ProgramTest {
protected:
    // Starts with `file` and waits for the main window and its list.
    void startWith(std::string_view file) {
        writeConfig(file);
        main = startToMainWindow();
        ASSERT_TRUE(main);
        list = std::make_unique<RemoteListView>(main.child(mw::超级列表框1));
        ASSERT_TRUE(list->valid());
        // Every server here is a closed loopback port: let the probes end,
        // so that comparisons of whole rows do not race with them.
        ASSERT_TRUE(waitUntil([&] {
            for (int row = 0; row < list->itemCount(); ++row)
                if (list->itemTextUtf8(row, 3) == "...") return false;
            return true;
        })) << "probes of closed ports did not end";
    }
    // Opens the editor with Add, or with Edit on a row (0-based).
    Window openAdd() {
        main.child(mw::按钮_添加服务器).click();
        return waitWindow(caption::editorAdd);
    }
    Window openEdit(int row) {
        if (!list->focusAndSelect(row)) ADD_FAILURE() << "cannot select row " << row;
        main.child(mw::按钮_设置服务器).click();
        return waitWindow(caption::editorEdit);
    }

    Window main;
    std::unique_ptr<RemoteListView> list;
};

// ---- The form --------------------------------------------------------------------

struct FormCase {
    const char* name;
    bool editMode;
    const char* caption;
    const char* commitText;
    std::vector<std::string> texts;  // the five boxes at opening
};

class ServerEditorForm : public ServerEditor, public ::testing::WithParamInterface<FormCase> {};

TEST_P(ServerEditorForm, MatchesItsDescription) {
    const FormCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(startWith(std::string("127.0.0.5|3390|运维账号|明文密码 1|机房 A，二楼\r\n") +
                                      std::string(noOptions)));
    const Rows before = list->allRowsUtf8();
    const Window editor = c.editMode ? openEdit(0) : openAdd();
    ASSERT_TRUE(editor);
    shot(editor, c.name);

    EXPECT_EQ(editor.textUtf8(), c.caption);
    const SIZE size = editor.outerSize();
    EXPECT_EQ(size.cx, 262);
    EXPECT_EQ(size.cy, 331);
    EXPECT_TRUE(editor.hasStyle(WS_CAPTION | WS_SYSMENU)) << editor.describe();
    EXPECT_FALSE(editor.style() & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) << editor.describe();
    const POINT off = editor.offsetFromScreenCentre();
    EXPECT_LE(std::abs(off.x), 1) << editor.describe();
    EXPECT_LE(std::abs(off.y), 1) << editor.describe();
    EXPECT_FALSE(main.enabled()) << "the main window takes input while the editor is open";

    const std::string cancelText = "取 消\r\n(Close)";
    expectPlaces(editor, {
                             {ed::分组框1, 0, 4, 2, 248, 294, "服务器信息"},
                             {ed::标签1, ed::分组框1, 19, 24, 56, 24, "IP/域名："},
                             {ed::编辑框_域名, ed::分组框1, 75, 24, 150, 24, c.texts[0].c_str()},
                             {ed::标签2, ed::分组框1, 19, 56, 56, 24, "端口："},
                             {ed::编辑框_端口, ed::分组框1, 75, 56, 64, 24, c.texts[1].c_str()},
                             {ed::标签3, ed::分组框1, 8, 88, 67, 24, "登陆账号："},
                             {ed::编辑框_账号, ed::分组框1, 75, 88, 150, 24, c.texts[2].c_str()},
                             {ed::标签4, ed::分组框1, 8, 120, 67, 24, "登陆密码："},
                             {ed::编辑框_密码, ed::分组框1, 75, 120, 150, 24, c.texts[3].c_str()},
                             {ed::标签5, ed::分组框1, 8, 152, 67, 24, "备注："},
                             {ed::编辑框_备注, ed::分组框1, 75, 152, 150, 88, c.texts[4].c_str()},
                             {ed::按钮1, ed::分组框1, 16, 255, 100, 30, c.commitText},
                             {ed::按钮2, ed::分组框1, 136, 255, 100, 30, cancelText.c_str()},
                         });

    for (int id : {ed::标签1, ed::标签2, ed::标签3, ed::标签4, ed::标签5}) {
        const Window label = editor.child(id);
        EXPECT_EQ(label.style() & SS_TYPEMASK, SS_RIGHT) << "not right-aligned: " << label.describe();
        EXPECT_TRUE(label.hasStyle(SS_CENTERIMAGE)) << "not centred vertically: " << label.describe();
    }
    for (int id : textBoxes) {
        const Window box = editor.child(id);
        EXPECT_TRUE(box.hasStyle(WS_TABSTOP)) << box.describe();
        EXPECT_FALSE(box.style() & ES_READONLY) << box.describe();
        EXPECT_FALSE(box.style() & ES_PASSWORD) << box.describe();
        EXPECT_EQ(box.passwordChar(), 0) << "masked: " << box.describe();
        EXPECT_GE(box.textLimit(), 30000) << box.describe();
        EXPECT_EQ(static_cast<bool>(box.style() & ES_MULTILINE), id == ed::编辑框_备注) << box.describe();
    }
    const Window note = editor.child(ed::编辑框_备注);
    EXPECT_TRUE(note.hasStyle(ES_WANTRETURN)) << note.describe();
    EXPECT_FALSE(note.style() & (WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL)) << "no scroll bars, word wrap: "
                                                                             << note.describe();
    EXPECT_TRUE(editor.child(ed::按钮1).isDefaultButton());
    EXPECT_FALSE(editor.child(ed::按钮2).isDefaultButton());
    for (int id : {ed::按钮1, ed::按钮2}) EXPECT_TRUE(editor.child(id).hasStyle(WS_TABSTOP));

    editor.pressEsc();
    ASSERT_TRUE(waitGone(editor));
    EXPECT_TRUE(waitUntil([&] { return main.enabled(); }));
    EXPECT_EQ(list->allRowsUtf8(), before);
    ASSERT_TRUE(closeMainWindow(main));
}

INSTANTIATE_TEST_SUITE_P(
    ServerEditorModes, ServerEditorForm,
    ::testing::Values(FormCase{"Add", false, "添加服务器列表", "添 加 列 表(ADDLIST)",
                               {"127.0.0.1", "3389", "Administrator", "", ""}},
                      FormCase{"Edit", true, "修改服务器列表", "修 改 列 表(EDIT LIST)",
                               {"127.0.0.5", "3390", "运维账号", "明文密码 1", "机房 A，二楼"}}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- Confirming --------------------------------------------------------------------

TEST_F(ServerEditor, EnterOutsideTheNoteBoxAndTheButtonConfirm) {
    ASSERT_NO_FATAL_FAILURE(startWith(std::string("127.0.0.1|3389|first||\r\n") + std::string(noOptions)));
    struct Way {
        const char* name;
        int control;  // 0: a click on the confirm button; else Enter in this control
    };
    const Way ways[] = {{"Click", 0},
                        {"EnterInAddress", ed::编辑框_域名},
                        {"EnterInPort", ed::编辑框_端口},
                        {"EnterInAccount", ed::编辑框_账号},
                        {"EnterInPassword", ed::编辑框_密码},
                        {"EnterOnConfirm", ed::按钮1},
                        {"EnterOnCancel", ed::按钮2}};
    std::string expectedFile = "127.0.0.1|3389|first||\r\n";
    int rows = 1;
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        const Window editor = openAdd();
        ASSERT_TRUE(editor);
        const std::string account = std::string("by ") + way.name;
        editor.child(ed::编辑框_账号).setTextUtf8(account);
        if (way.control == 0) editor.child(ed::按钮1).click();
        else pressKeyIn(editor.child(way.control), VK_RETURN);
        ASSERT_TRUE(waitGone(editor)) << "the editor stayed open";
        ++rows;
        ASSERT_EQ(list->itemCount(), rows);
        EXPECT_EQ(list->rowTexts(rows - 1), (std::vector<std::wstring>{L"127.0.0.1", L"3389", widen(account), L"..."}));
        EXPECT_EQ(list->stateImageIndex(rows - 1), 3) << "the yellow image";
        EXPECT_EQ(list->itemParam(rows - 1), rows);
        EXPECT_EQ(list->selectedCount(), 0);
        expectedFile += "127.0.0.1|3389|" + account + "||\r\n";
    }

    // Every box emptied gives an entry of five empty texts.
    const Window editor = openAdd();
    ASSERT_TRUE(editor);
    setEditorTexts(editor, {L"", L"", L"", L"", L""});
    editor.child(ed::按钮1).click();
    ASSERT_TRUE(waitGone(editor));
    ASSERT_EQ(list->itemCount(), rows + 1);
    EXPECT_EQ(list->rowTexts(rows), (std::vector<std::wstring>{L"", L"", L"", L"..."}));
    expectedFile += "||||\r\n";

    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), expectedFile + std::string(noOptions));
}

TEST_F(ServerEditor, EditShowsTheEntryAndConfirmsItUnchanged) {
    const std::string file = "127.0.0.1|3389|a|p1|n1\r\n127.0.0.2|１２３|管理员|密 码|两行？不，一行\r\n" + std::string(noOptions);
    ASSERT_NO_FATAL_FAILURE(startWith(file));
    const Rows before = list->allRowsUtf8();
    const Window editor = openEdit(1);
    ASSERT_TRUE(editor);
    EXPECT_EQ(editorTexts(editor), (std::vector<std::wstring>{L"127.0.0.2", L"１２３", L"管理员", L"密 码", L"两行？不，一行"}))
        << describeTexts(editorTexts(editor));
    EXPECT_EQ(editor.child(ed::编辑框_密码).passwordChar(), 0);
    pressKeyIn(editor.child(ed::编辑框_域名), VK_RETURN);
    ASSERT_TRUE(waitGone(editor));
    EXPECT_EQ(list->allRowsUtf8(), before);
    EXPECT_EQ(list->selectedCount(), 0);
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), file);
}

// ---- Cancelling ----------------------------------------------------------------------

TEST_F(ServerEditor, CancelEscAndTheCloseBoxLeaveEverythingAsItWas) {
    const std::string file = "127.0.0.1|3389|a|p1|n1\r\n127.0.0.2|3390|b||\r\n" + std::string(noOptions);
    ASSERT_NO_FATAL_FAILURE(startWith(file));
    const Rows before = list->allRowsUtf8();
    enum class Way { cancelButton, esc, closeBox, altF4 };
    struct Case {
        const char* name;
        Way way;
    };
    for (const bool editMode : {false, true}) {
        for (const Case& c : {Case{"Cancel", Way::cancelButton}, Case{"Esc", Way::esc},
                              Case{"CloseBox", Way::closeBox}, Case{"AltF4", Way::altF4}}) {
            SCOPED_TRACE(std::string(editMode ? "edit " : "add ") + c.name);
            const Window editor = editMode ? openEdit(1) : openAdd();
            ASSERT_TRUE(editor);
            setEditorTexts(editor, {L"127.0.0.7", L"1", L"typed", L"typed", L"typed"});
            switch (c.way) {
            case Way::cancelButton: editor.child(ed::按钮2).click(); break;
            case Way::esc: pressKeyIn(editor.child(ed::编辑框_备注), VK_ESCAPE); break;
            case Way::closeBox: editor.pressCloseBox(); break;
            case Way::altF4: editor.pressAltF4(); break;
            }
            ASSERT_TRUE(waitGone(editor));
            EXPECT_TRUE(waitUntil([&] { return main.enabled(); }));
            EXPECT_EQ(list->allRowsUtf8(), before);
            EXPECT_FALSE(findMessageBox(app.id()));
        }
    }
    // The next opening starts again from the add-mode texts.
    const Window editor = openAdd();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editorTexts(editor), (std::vector<std::wstring>{L"127.0.0.1", L"3389", L"Administrator", L"", L""}));
    editor.child(ed::按钮2).click();
    ASSERT_TRUE(waitGone(editor));
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), file);
}

// ---- Texts "ms.ini" cannot keep -------------------------------------------------------

constexpr const char* refusalText = "服务器信息不能包含“|”、换行或“#onsole:”“#admin:”“#Start:”“#LoadinPass:<”";

TEST_F(ServerEditor, EnterInTheNoteBoxStartsANewLine) {
    ASSERT_NO_FATAL_FAILURE(startWith(std::string(noOptions)));
    const Window editor = openAdd();
    ASSERT_TRUE(editor);
    const Window note = editor.child(ed::编辑框_备注);
    // Typed straight into the empty box (a posted click could land between
    // the characters and move the caret).
    note.sendChars(L"第一行");
    pressKeyIn(note, VK_RETURN);
    ASSERT_TRUE(waitUntil([&] { return note.text().size() > 3; }));
    note.sendChars(L"second");
    EXPECT_TRUE(waitUntil([&] { return note.text() == L"第一行\r\nsecond"; })) << printable(note.textUtf8());
    EXPECT_TRUE(editor.exists() && editor.visible()) << "Enter in the note box closed the editor";
    EXPECT_EQ(list->itemCount(), 0);

    // The line break is refused at the confirmation, and the focus goes back to the note.
    confirm(editor);
    const auto message = waitMessageBox(app.id());
    ASSERT_TRUE(isMessageBox(message, "输入出错", refusalText, IconKind::error, {IDOK}));
    message->answer(IDOK);
    ASSERT_TRUE(waitGone(message->window));
    EXPECT_TRUE(focusComesTo(editor, note));
    EXPECT_EQ(note.text(), L"第一行\r\nsecond");
    EXPECT_EQ(list->itemCount(), 0);
    editor.child(ed::按钮2).click();
    ASSERT_TRUE(waitGone(editor));
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), emptyConfigText);
}

struct RefusalCase {
    const char* name;
    std::vector<std::wstring> texts;  // address, port, account, password, note
    int focusedBox;                   // the first box holding a text that is refused
};

TEST_F(ServerEditor, RefusesTextsTheFileCannotKeep) {
    const std::string file = "127.0.0.1|3389|a|p|n\r\n" + std::string(noOptions);
    ASSERT_NO_FATAL_FAILURE(startWith(file));
    const Rows before = list->allRowsUtf8();
    const std::wstring ok = L"ok";
    const RefusalCase cases[] = {
        {"BarInAddress", {L"127.0.0.1|2", ok, ok, ok, ok}, ed::编辑框_域名},
        {"BarInPort", {ok, L"33|89", ok, ok, ok}, ed::编辑框_端口},
        {"BarAloneInAccount", {ok, ok, L"|", ok, ok}, ed::编辑框_账号},
        {"BarInPassword", {ok, ok, ok, L"a|b", ok}, ed::编辑框_密码},
        {"BarInNote", {ok, ok, ok, ok, L"备注|尾"}, ed::编辑框_备注},
        {"CrLfInNote", {ok, ok, ok, ok, L"a\r\nb"}, ed::编辑框_备注},
        {"ConsoleMarkerInAddress", {L"#onsole:1", ok, ok, ok, ok}, ed::编辑框_域名},
        {"AdminMarkerInAccount", {ok, ok, L"x#admin:", ok, ok}, ed::编辑框_账号},
        {"StartMarkerInPort", {ok, L"#Start:1", ok, ok, ok}, ed::编辑框_端口},
        {"PasswordMarkerInPassword", {ok, ok, ok, L"#LoadinPass:<x>", ok}, ed::编辑框_密码},
        {"AdminMarkerInNote", {ok, ok, ok, ok, L"机房 #admin:1"}, ed::编辑框_备注},
        {"FirstOfTwoFromTheTop", {ok, ok, L"a|b", ok, L"#onsole:1"}, ed::编辑框_账号},
        {"EveryBox", {L"|", L"|", L"|", L"|", L"|"}, ed::编辑框_域名},
    };
    for (const bool editMode : {false, true}) {
        for (const RefusalCase& c : cases) {
            SCOPED_TRACE(std::string(editMode ? "edit " : "add ") + c.name);
            const Window editor = editMode ? openEdit(0) : openAdd();
            ASSERT_TRUE(editor);
            setEditorTexts(editor, c.texts);
            ASSERT_EQ(editorTexts(editor), c.texts) << "the boxes do not hold the texts: "
                                                    << describeTexts(editorTexts(editor));
            confirm(editor);
            const auto message = waitMessageBox(app.id());
            ASSERT_TRUE(isMessageBox(message, "输入出错", refusalText, IconKind::error, {IDOK}));
            if (!editMode && c.focusedBox == ed::编辑框_域名) shot(message->window, "refused");
            message->answer(IDOK);
            ASSERT_TRUE(waitGone(message->window));
            EXPECT_TRUE(focusComesTo(editor, editor.child(c.focusedBox)));
            EXPECT_TRUE(editor.exists() && editor.visible()) << "the editor closed";
            EXPECT_EQ(editorTexts(editor), c.texts) << describeTexts(editorTexts(editor));
            EXPECT_EQ(list->allRowsUtf8(), before);
            editor.child(ed::按钮2).click();
            ASSERT_TRUE(waitGone(editor));
        }
    }
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), file);
}

TEST_F(ServerEditor, AcceptsTextsThatOnlyResembleTheRefusedOnes) {
    ASSERT_NO_FATAL_FAILURE(startWith(std::string(noOptions)));
    // "亅" is 0x81 0x7C in code page 936: its second byte is no "|".
    const std::vector<std::vector<std::wstring>> accepted = {
        {L"127.0.0.1", L"3389", L"亅", L"倈恷", L"丨亅丨"},
        {L"127.0.0.1", L"#start:1", L"#Admin:1", L"#onsole", L"#LoadinPass:"},
        {L"127.0.0.1", L"3389", L"#Start", L"LoadinPass:<", L"onsole:1 admin:1 >"},
    };
    std::string expectedFile;
    for (const auto& texts : accepted) {
        SCOPED_TRACE(describeTexts(texts));
        const Window editor = openAdd();
        ASSERT_TRUE(editor);
        setEditorTexts(editor, texts);
        editor.child(ed::按钮1).click();
        ASSERT_TRUE(waitGone(editor)) << (findMessageBox(app.id()) ? findMessageBox(app.id())->describe() : "");
        std::string line;
        for (const auto& t : texts) line.append(line.empty() ? "" : "|").append(narrow(t));
        expectedFile += line + "\r\n";
    }
    EXPECT_EQ(list->itemCount(), 3);
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), expectedFile + std::string(noOptions));
}

TEST_F(ServerEditor, FileTextsWithMarkersStillLoadAsTheFormatSays) {
    // Written by another program: the note turns admin on, the account console.
    ASSERT_NO_FATAL_FAILURE(startWith("127.0.0.1|3389|a||机房 #admin:1\r\n127.0.0.2|3389|#onsole:x|p|n1\r\n" +
                                      std::string(noOptions)));
    ASSERT_EQ(list->allRowsUtf8(), (Rows{{"127.0.0.1", "3389", "a", list->itemTextUtf8(0, 3)},
                                         {"127.0.0.2", "3389", "#onsole:x", list->itemTextUtf8(1, 3)}}));
    EXPECT_TRUE(main.child(mw::选择框_admin).checked());
    EXPECT_TRUE(main.child(mw::选择框_onsole).checked());
    ASSERT_TRUE(list->focusAndSelect(0));
    EXPECT_TRUE(waitUntil([&] { return main.child(mw::编辑框_备注).textUtf8() == "机房 #admin:1"; }))
        << main.child(mw::编辑框_备注).textUtf8();

    // The editor shows such an entry, and refuses to take it back as it is.
    const Window editor = openEdit(0);
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor.child(ed::编辑框_备注).textUtf8(), "机房 #admin:1");
    confirm(editor);
    const auto message = waitMessageBox(app.id());
    ASSERT_TRUE(isMessageBox(message, "输入出错", refusalText, IconKind::error, {IDOK}));
    message->answer(IDOK);
    ASSERT_TRUE(waitGone(message->window));
    EXPECT_TRUE(focusComesTo(editor, editor.child(ed::编辑框_备注)));
    editor.pressEsc();
    ASSERT_TRUE(waitGone(editor));
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), "127.0.0.1|3389|a||机房 #admin:1\r\n127.0.0.2|3389|#onsole:x|p|n1\r\n"
                            "#onsole:1\r\n#admin:1\r\n#Start:0\r\n#LoadinPass:<>\r\n");
}

}  // namespace
}  // namespace tessaline::e2e
