// The server list seen from outside: rows and columns from "ms.ini", the
// statuses the probes report, the focus-change event, the Delete command,
// Enter in the main window, and the list's way into "ms.ini" at close.
#include <winsock2.h>

#include <string>
#include <vector>

#include "tests/e2e/program.h"
#include "tests/support/loopback_socket_win.h"

namespace tessaline::e2e {
namespace {

namespace ed = tessaline::ids::server_editor_window;

// ---- Loopback ports in the test process -------------------------------------------

using test_support::socketsReady;

// A TCP socket on 127.0.0.1 with a port of its own, closed with the object.
class LoopbackPort {
public:
    enum class Kind {
        listening,  // accepts connections: the probe finds the server online
        refusing,   // bound but not listening: a connection is refused at once
        silent,     // its accept queue is full: a connection attempt waits
    };

    explicit LoopbackPort(Kind kind) {
        if (!socketsReady()) return;
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (socket_ == INVALID_SOCKET) return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        if (kind != Kind::refusing && ::listen(socket_, kind == Kind::silent ? 0 : 16) != 0) return;
        if (kind == Kind::silent) {
            // Fill the accept queue; later attempts then get no answer.
            for (int i = 0; i < 3; ++i) {
                SOCKET client = ::socket(AF_INET, SOCK_STREAM, 0);
                u_long nonBlocking = 1;
                ::ioctlsocket(client, static_cast<long>(FIONBIO), &nonBlocking);
                ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
                fillers_.push_back(client);
            }
            Sleep(200);
        }
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackPort() {
        for (SOCKET s : fillers_) closesocket(s);
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
    }
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;

    bool ok() const { return port_ != 0; }
    std::string port() const { return std::to_string(port_); }

private:
    SOCKET socket_ = INVALID_SOCKET;
    std::vector<SOCKET> fillers_;
    unsigned short port_ = 0;
};

// ---- Helpers ------------------------------------------------------------------------

// A key pressed in a given control (posted down and up), whatever has the focus.
void pressKeyIn(const Window& control, WORD virtualKey) {
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    PostMessageW(control.hwnd(), WM_KEYDOWN, virtualKey, down);
    PostMessageW(control.hwnd(), WM_KEYUP, virtualKey, down | (LPARAM{1} << 30) | (LPARAM{1} << 31));
}

// Index of the focused row, -1 for none.
int focusedRow(const RemoteListView& list) {
    return static_cast<int>(SendMessageW(list.window().hwnd(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

// Status text and state image (1-based, as the item state holds it) of a row.
struct RowStatus {
    std::string text;
    int image = 0;
    bool operator==(const RowStatus&) const = default;
};
// The text and the image are two queries: a probe result that the program
// shows between them would pair an old text with a new image, so the text is
// read again until both readings agree.
RowStatus rowStatus(const RemoteListView& list, int row) {
    for (;;) {
        std::string text = list.itemTextUtf8(row, 3);
        const int image = list.stateImageIndex(row);
        if (list.itemTextUtf8(row, 3) == text) return {std::move(text), image};
    }
}
std::ostream& operator<<(std::ostream& out, const RowStatus& s) { return out << "\"" << s.text << "\"/" << s.image; }

const RowStatus online{"在线", 1};
const RowStatus offline{"离线", 2};
const RowStatus unknown{"...", 3};

// Item values of all rows.
std::vector<LPARAM> itemValues(const RemoteListView& list) {
    std::vector<LPARAM> values;
    for (int i = 0; i < list.itemCount(); ++i) values.push_back(list.itemParam(i));
    return values;
}
std::vector<LPARAM> positions(int count) {
    std::vector<LPARAM> values;
    for (int i = 1; i <= count; ++i) values.push_back(i);
    return values;
}

// Address, port, account and status of each row.
using Rows = std::vector<std::vector<std::string>>;

// ---- The list's form, rows and statuses ---------------------------------------------------

class ServerList : public ProgramTest {};

TEST_F(ServerList, ShowsTheFileWithTheSettingsOfItsDescription) {
    const LoopbackPort refusing(LoopbackPort::Kind::refusing);
    ASSERT_TRUE(refusing.ok());
    const std::string port = refusing.port();
    writeConfig("127.0.0.3|" + port + "|运维账号|p1|第三\r\n127.0.0.1|" + port + "|Administrator||\r\n127.0.0.2|" +
                port + "|administrator|p3|second\r\n#Start:0\r\n#LoadinPass:<>\r\n");
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_TRUE(list.valid());

    const LONG_PTR style = list.window().style();
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT) << list.window().describe();
    EXPECT_TRUE(list.window().hasStyle(LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP))
        << list.window().describe();
    EXPECT_FALSE(style & (LVS_SORTASCENDING | LVS_SORTDESCENDING | LVS_EDITLABELS | LVS_NOCOLUMNHEADER))
        << list.window().describe();
    const DWORD extended = list.extendedStyle();
    EXPECT_EQ(extended & (LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES), DWORD{LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES})
        << std::hex << extended;
    EXPECT_FALSE(extended & (LVS_EX_CHECKBOXES | LVS_EX_TRACKSELECT | LVS_EX_ONECLICKACTIVATE)) << std::hex << extended;
    EXPECT_NE(SendMessageW(list.window().hwnd(), LVM_GETIMAGELIST, LVSIL_STATE, 0), 0) << "no state images";
    EXPECT_EQ(SendMessageW(list.window().hwnd(), LVM_GETIMAGELIST, LVSIL_SMALL, 0), 0) << "rows have no icons";

    struct Expected {
        const char* title;
        int width;
        int format;
    };
    const Expected expected[] = {{"主机IP地址", 130, LVCFMT_LEFT},
                                 {"端口", 50, LVCFMT_LEFT},
                                 {"登陆账号", 100, LVCFMT_CENTER},
                                 {"网络状态", 60, LVCFMT_CENTER}};
    const std::vector<ListColumn> columns = list.columns();
    ASSERT_EQ(columns.size(), std::size(expected));
    for (size_t i = 0; i < columns.size(); ++i) {
        SCOPED_TRACE("column " + std::to_string(i));
        EXPECT_EQ(narrow(columns[i].title), expected[i].title);
        EXPECT_EQ(columns[i].width, expected[i].width);
        EXPECT_EQ(columns[i].format & LVCFMT_JUSTIFYMASK, expected[i].format);
    }

    // Rows in file order, each carrying its position; the refused port ends as offline.
    const Rows inFileOrder{{"127.0.0.3", port, "运维账号", "离线"},
                           {"127.0.0.1", port, "Administrator", "离线"},
                           {"127.0.0.2", port, "administrator", "离线"}};
    ASSERT_TRUE(waitUntil([&] { return list.allRowsUtf8() == inFileOrder; })) << ::testing::PrintToString(list.allRowsUtf8());
    EXPECT_EQ(itemValues(list), positions(3));
    for (int row = 0; row < 3; ++row) EXPECT_EQ(rowStatus(list, row), offline) << "row " << row;
    EXPECT_EQ(list.selectedCount(), 0);
    EXPECT_EQ(focusedRow(list), -1);

    // A click on a column header sorts nothing.
    const Window header(reinterpret_cast<HWND>(SendMessageW(list.window().hwnd(), LVM_GETHEADER, 0, 0)));
    ASSERT_TRUE(header);
    for (int column = 0; column < 4; ++column) {
        RECT r{};
        Header_GetItemRect(header.hwnd(), column, &r);
        header.clickAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    }
    Sleep(300);  // the clicks are posted; let them be handled
    EXPECT_EQ(list.allRowsUtf8(), inFileOrder);
    EXPECT_EQ(itemValues(list), positions(3));
    EXPECT_EQ(list.selectedCount(), 0);
    shot(main, "list");
    ASSERT_TRUE(closeMainWindow(main));
}

TEST_F(ServerList, ShowsEachProbeResultInItsRow) {
    const LoopbackPort listening(LoopbackPort::Kind::listening);
    const LoopbackPort refusing(LoopbackPort::Kind::refusing);
    const LoopbackPort silent(LoopbackPort::Kind::silent);
    ASSERT_TRUE(listening.ok() && refusing.ok() && silent.ok());
    writeConfig("127.0.0.1|" + silent.port() + "|a||\r\n127.0.0.1|" + listening.port() + "|b||\r\n127.0.0.1|" +
                refusing.port() + "|c||\r\n127.0.0.1|" + listening.port() + "|d||\r\n#Start:0\r\n#LoadinPass:<>\r\n");
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 4);
    // Whenever looked at, a row shows a status text with its own image.
    for (int row = 0; row < 4; ++row) {
        const RowStatus s = rowStatus(list, row);
        EXPECT_TRUE(s == unknown || s == online || s == offline) << "row " << row << ": " << s;
    }
    const std::vector<RowStatus> settled{unknown, online, offline, online};
    auto statuses = [&] {
        std::vector<RowStatus> all;
        for (int row = 0; row < 4; ++row) all.push_back(rowStatus(list, row));
        return all;
    };
    EXPECT_TRUE(waitUntil([&] { return statuses() == settled; })) << ::testing::PrintToString(statuses());
    shot(main, "statuses");
    // The server that does not answer keeps the program waiting, not closing.
    ASSERT_TRUE(closeMainWindow(main));
}

TEST_F(ServerList, FiveHundredEntriesLoadInOrder) {
    const LoopbackPort refusing(LoopbackPort::Kind::refusing);
    ASSERT_TRUE(refusing.ok());
    constexpr int count = 500;
    std::string text;
    auto address = [](int i) { return "127.0." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1); };
    for (int i = 1; i <= count; ++i)
        text += address(i) + "|" + refusing.port() + "|用户" + std::to_string(i) + "|pw|备注 " + std::to_string(i) + "\r\n";
    const std::string options = "#Start:0\r\n#LoadinPass:<>\r\n";
    writeConfig(text + options);
    start();
    const Window main = waitWindow(caption::mainWindow, 30s);
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), count);
    for (int row = 0; row < count; ++row) {
        ASSERT_EQ(list.itemTextUtf8(row, 0), address(row + 1)) << "row " << row;
        ASSERT_EQ(list.itemTextUtf8(row, 2), "用户" + std::to_string(row + 1)) << "row " << row;
    }
    EXPECT_EQ(itemValues(list), positions(count));
    ASSERT_TRUE(list.focusAndSelect(count - 1));
    EXPECT_TRUE(waitUntil([&] { return main.child(mw::编辑框_备注).textUtf8() == "备注 500"; }))
        << main.child(mw::编辑框_备注).textUtf8();
    EXPECT_TRUE(main.child(mw::按钮_删除服务器).enabled());
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), text + options);
}

// ---- The focus-change event ----------------------------------------------------------------

class ServerListFocus : public ProgramTest {};

TEST_F(ServerListFocus, FocusedRowShowsItsNoteAndOtherClicksChangeNothing) {
    writeConfig("127.0.0.1|3389|a|p|第一条备注\r\n127.0.0.2|3389|b||\r\n127.0.0.3|3389|c||third note\r\n"
                "127.0.0.4|3389|d||fourth\r\n#Start:0\r\n#LoadinPass:<>\r\n");
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 4);
    const Window note = main.child(mw::编辑框_备注);
    const Window connect = main.child(mw::按钮_连接服务器), remove = main.child(mw::按钮_删除服务器);
    ASSERT_FALSE(connect.enabled());
    ASSERT_FALSE(remove.enabled());
    auto noteIs = [&](const std::string& expected) {
        return waitUntil([&] { return note.textUtf8() == expected; }) ? ::testing::AssertionSuccess()
                                                                      : ::testing::AssertionFailure()
                                                                            << "note box \"" << note.textUtf8()
                                                                            << "\", expected \"" << expected << "\"";
    };

    // Each way of focusing a row raises the event.
    ASSERT_TRUE(list.focusAndSelect(0));
    EXPECT_TRUE(noteIs("第一条备注"));
    EXPECT_TRUE(connect.enabled());
    EXPECT_TRUE(remove.enabled());
    list.clickItem(2);
    EXPECT_TRUE(noteIs("third note"));
    EXPECT_TRUE(list.selected(2));
    EXPECT_EQ(list.selectedCount(), 1) << "single selection";

    struct KeyCase {
        const char* name;
        WORD key;
        int row;
        const char* note;
    };
    for (const KeyCase& k : {KeyCase{"Up", VK_UP, 1, ""}, KeyCase{"End", VK_END, 3, "fourth"},
                             KeyCase{"Home", VK_HOME, 0, "第一条备注"}, KeyCase{"Down", VK_DOWN, 1, ""}}) {
        SCOPED_TRACE(k.name);
        pressKeyIn(list.window(), k.key);
        EXPECT_TRUE(waitUntil([&] { return focusedRow(list) == k.row && list.selected(k.row); }))
            << "focused row " << focusedRow(list);
        EXPECT_TRUE(noteIs(k.note)) << "an empty note empties the box";
    }

    // A mark in the note box shows whether the event ran again.
    list.clickItem(0);
    ASSERT_TRUE(noteIs("第一条备注"));
    note.setText(L"mark");
    list.clickItem(0);  // the row that has the focus already
    Sleep(300);
    EXPECT_TRUE(noteIs("mark"));
    EXPECT_TRUE(list.selected(0));
    list.clickEmptySpace();
    EXPECT_TRUE(waitUntil([&] { return list.selectedCount() == 0; })) << "empty space keeps the selection";
    Sleep(300);
    EXPECT_TRUE(noteIs("mark"));
    EXPECT_TRUE(connect.enabled());
    EXPECT_TRUE(remove.enabled());

    // A refill (here after an edit) clears selection and focus, raises no
    // event, and leaves the buttons and the note as they were.
    ASSERT_TRUE(list.focusAndSelect(2));
    ASSERT_TRUE(noteIs("third note"));
    note.setText(L"mark");
    main.child(mw::按钮_设置服务器).click();
    const Window editor = waitWindow(caption::editorEdit);
    ASSERT_TRUE(editor);
    editor.child(ed::编辑框_备注).setText(L"changed note");
    editor.child(ed::按钮1).click();
    ASSERT_TRUE(waitGone(editor));
    EXPECT_EQ(list.selectedCount(), 0);
    EXPECT_EQ(focusedRow(list), -1);
    EXPECT_TRUE(noteIs("mark"));
    EXPECT_TRUE(connect.enabled());
    EXPECT_TRUE(remove.enabled());
    // The next focus shows the changed note.
    ASSERT_TRUE(list.focusAndSelect(2));
    EXPECT_TRUE(noteIs("changed note"));
    ASSERT_TRUE(closeMainWindow(main));
}

// ---- Enter in the main window --------------------------------------------------------------

// The LocalDevices value that Connect writes for an address it has not seen.
class LocalDevicesValue {
public:
    explicit LocalDevicesValue(std::wstring name) : name_(std::move(name)) { remove(); }
    ~LocalDevicesValue() { remove(); }
    bool exists() const {
        return RegGetValueW(HKEY_CURRENT_USER, key, name_.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    }

private:
    void remove() const { RegDeleteKeyValueW(HKEY_CURRENT_USER, key, name_.c_str()); }
    static constexpr const wchar_t* key = L"Software\\Microsoft\\Terminal Server Client\\LocalDevices";
    std::wstring name_;
};

class ServerListEnter : public ProgramTest {};

TEST_F(ServerListEnter, RunsConnectOnlyForASelectedRow) {
    // An address of its own, so that the registry value shows this run's Connect.
    const std::wstring address = L"127.9." + std::to_wstring(GetCurrentProcessId() % 250) + L"." +
                                 std::to_wstring(GetTickCount() % 250 + 1);
    const LocalDevicesValue value(address);
    writeConfig(narrow(address) + "|3389|a||\r\n127.0.0.1|3389|b||\r\n#Start:0\r\n#LoadinPass:<>\r\n");
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 2);
    const Window connect = main.child(mw::按钮_连接服务器);

    // Before any row was focused, Enter does nothing.
    pressKeyIn(list.window(), VK_RETURN);
    Sleep(500);
    EXPECT_FALSE(findMessageBox(app.id()));
    EXPECT_FALSE(value.exists()) << "Connect ran with its button disabled";

    // With a row selected, Enter connects to it.
    ASSERT_TRUE(list.focusAndSelect(0));
    ASSERT_TRUE(waitUntil([&] { return connect.enabled(); }));
    pressKeyIn(list.window(), VK_RETURN);
    EXPECT_TRUE(waitUntil([&] { return value.exists(); })) << "Enter did not run Connect for the selected row";
    EXPECT_TRUE(waitUntil([&] { return connect.enabled(); })) << "Connect left its button disabled";
    EXPECT_FALSE(findMessageBox(app.id()));

    // The buttons stay enabled without a selection; Enter then asks for one.
    list.clickEmptySpace();
    ASSERT_TRUE(waitUntil([&] { return list.selectedCount() == 0; }));
    for (const Window& target : {list.window(), main.child(mw::按钮_添加服务器)}) {
        SCOPED_TRACE(target.describe());
        pressKeyIn(target, VK_RETURN);
        const auto message = waitMessageBox(app.id());
        EXPECT_TRUE(isMessageBox(message, "操作错误", "请选择服务器列表！", IconKind::error, {IDOK}));
        if (!message) break;
        message->answer(IDOK);
        EXPECT_TRUE(waitGone(message->window));
        EXPECT_FALSE(findTopLevel(app.id(), caption::editorAdd)) << "Enter pressed the focused button";
    }
    ASSERT_TRUE(closeMainWindow(main));
}

// ---- Delete ------------------------------------------------------------------------------

class DeleteCommand : public ProgramTest {};

enum class Refusal { cancel, esc, closeBox };

TEST_F(DeleteCommand, QuestionRefusedChangesNothing) {
    const std::string file = "127.0.0.1|3389|a||n1\r\n127.0.0.2|3389|b||n2\r\n127.0.0.3|3389|c||n3\r\n"
                             "#Start:0\r\n#LoadinPass:<>\r\n";
    writeConfig(file);
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 3);
    ASSERT_TRUE(list.focusAndSelect(1));
    ASSERT_TRUE(waitUntil([&] { return main.child(mw::编辑框_备注).textUtf8() == "n2"; }));
    const Rows before = list.allRowsUtf8();

    struct Case {
        const char* name;
        Refusal way;
    };
    for (const Case& c : {Case{"Cancel", Refusal::cancel}, Case{"Esc", Refusal::esc}, Case{"CloseBox", Refusal::closeBox}}) {
        SCOPED_TRACE(c.name);
        main.child(mw::按钮_删除服务器).click();
        const auto question = waitMessageBox(app.id());
        ASSERT_TRUE(isMessageBox(question, "删除项目", "确认删除该项？", IconKind::none, {IDOK, IDCANCEL}));
        if (c.way == Refusal::cancel) shot(question->window, "question");
        switch (c.way) {
        case Refusal::cancel: question->answer(IDCANCEL); break;
        case Refusal::esc: question->window.pressEsc(); break;
        case Refusal::closeBox: question->window.pressCloseBox(); break;
        }
        EXPECT_TRUE(waitGone(question->window));
        Sleep(200);
        EXPECT_EQ(list.allRowsUtf8(), before);
        EXPECT_EQ(itemValues(list), positions(3));
        EXPECT_TRUE(list.selected(1)) << "the selection was lost";
        EXPECT_EQ(list.selectedCount(), 1);
        EXPECT_EQ(main.child(mw::编辑框_备注).textUtf8(), "n2");
    }
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), file);
}

TEST_F(DeleteCommand, OkRemovesExactlyTheSelectedEntry) {
    writeConfig("127.0.0.1|3389|a|p1|n1\r\n127.0.0.2|3390|b|p2|n2\r\n127.0.0.3|3391|c|p3|n3\r\n"
                "127.0.0.4|3392|d|p4|n4\r\n#onsole:1\r\n#Start:1\r\n#LoadinPass:<>\r\n");
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 4);
    list.clickItem(1);
    ASSERT_TRUE(waitUntil([&] { return main.child(mw::编辑框_备注).textUtf8() == "n2"; }));

    main.child(mw::按钮_删除服务器).click();
    const auto question = waitMessageBox(app.id());
    ASSERT_TRUE(isMessageBox(question, "删除项目", "确认删除该项？", IconKind::none, {IDOK, IDCANCEL}));
    question->answer(IDOK);
    ASSERT_TRUE(waitUntil([&] { return list.itemCount() == 3; })) << list.itemCount();
    std::vector<std::string> addresses;
    for (int row = 0; row < 3; ++row) addresses.push_back(list.itemTextUtf8(row, 0));
    EXPECT_EQ(addresses, (std::vector<std::string>{"127.0.0.1", "127.0.0.3", "127.0.0.4"}));
    EXPECT_EQ(itemValues(list), positions(3));
    EXPECT_EQ(list.selectedCount(), 0);
    EXPECT_EQ(focusedRow(list), -1);
    EXPECT_EQ(main.child(mw::编辑框_备注).textUtf8(), "n2") << "the note box keeps the removed entry's note";
    EXPECT_TRUE(main.child(mw::按钮_删除服务器).enabled());
    EXPECT_TRUE(main.child(mw::按钮_连接服务器).enabled());

    // The rows that moved up find their own entries.
    ASSERT_TRUE(list.focusAndSelect(1));
    EXPECT_TRUE(waitUntil([&] { return main.child(mw::编辑框_备注).textUtf8() == "n3"; }));
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), "127.0.0.1|3389|a|p1|n1\r\n127.0.0.3|3391|c|p3|n3\r\n127.0.0.4|3392|d|p4|n4\r\n"
                            "#onsole:1\r\n#Start:1\r\n#LoadinPass:<>\r\n");
}

TEST_F(DeleteCommand, OfTheOnlyEntryLeavesAnEmptyListThatAsksForASelection) {
    writeConfig("127.0.0.1|3389|only||its note\r\n#Start:0\r\n#LoadinPass:<>\r\n");
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 1);
    ASSERT_TRUE(list.focusAndSelect(0));
    ASSERT_TRUE(waitUntil([&] { return main.child(mw::按钮_删除服务器).enabled(); }));
    main.child(mw::按钮_删除服务器).click();
    const auto question = waitMessageBox(app.id());
    ASSERT_TRUE(isMessageBox(question, "删除项目", "确认删除该项？", IconKind::none, {IDOK, IDCANCEL}));
    question->answer(IDOK);
    ASSERT_TRUE(waitUntil([&] { return list.itemCount() == 0; }));
    EXPECT_EQ(main.child(mw::编辑框_备注).textUtf8(), "its note");

    struct Command {
        const char* name;
        int button;
    };
    for (const Command& c : {Command{"Delete", mw::按钮_删除服务器}, Command{"Connect", mw::按钮_连接服务器},
                             Command{"Edit", mw::按钮_设置服务器}}) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(main.child(c.button).enabled());
        main.child(c.button).click();
        const auto message = waitMessageBox(app.id());
        EXPECT_TRUE(isMessageBox(message, "操作错误", "请选择服务器列表！", IconKind::error, {IDOK}));
        if (!message) continue;
        message->answer(IDOK);
        EXPECT_TRUE(waitGone(message->window));
        EXPECT_EQ(list.itemCount(), 0);
    }
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), emptyConfigText);
}

// ---- Statuses through edits, and the way into "ms.ini" ------------------------------------------

TEST_F(ServerList, EditedEntriesKeepTheirStatusAndAddedOnesStayUnknown) {
    const LoopbackPort listening(LoopbackPort::Kind::listening);
    const LoopbackPort refusing(LoopbackPort::Kind::refusing);
    ASSERT_TRUE(listening.ok() && refusing.ok());
    writeConfig("127.0.0.1|" + listening.port() + "|on|pw|up\r\n127.0.0.1|" + refusing.port() +
                "|off||down\r\n#Start:0\r\n#LoadinPass:<>\r\n");
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 2);
    ASSERT_TRUE(waitUntil([&] { return rowStatus(list, 0) == online && rowStatus(list, 1) == offline; }))
        << rowStatus(list, 0) << " " << rowStatus(list, 1);

    // The online entry moves to another address; the offline one is
    // confirmed unchanged; a new one is added with the defaults.
    ASSERT_TRUE(list.focusAndSelect(0));
    main.child(mw::按钮_设置服务器).click();
    Window editor = waitWindow(caption::editorEdit);
    ASSERT_TRUE(editor);
    editor.child(ed::编辑框_域名).setText(L"127.0.0.2");
    editor.child(ed::编辑框_端口).setText(L"1");
    editor.child(ed::按钮1).click();
    ASSERT_TRUE(waitGone(editor));

    ASSERT_TRUE(list.focusAndSelect(1));
    main.child(mw::按钮_设置服务器).click();
    editor = waitWindow(caption::editorEdit);
    ASSERT_TRUE(editor);
    editor.child(ed::按钮1).click();
    ASSERT_TRUE(waitGone(editor));

    main.child(mw::按钮_添加服务器).click();
    editor = waitWindow(caption::editorAdd);
    ASSERT_TRUE(editor);
    editor.child(ed::按钮1).click();
    ASSERT_TRUE(waitGone(editor));

    EXPECT_EQ(list.allRowsUtf8(), (Rows{{"127.0.0.2", "1", "on", "在线"},
                                        {"127.0.0.1", refusing.port(), "off", "离线"},
                                        {"127.0.0.1", "3389", "Administrator", "..."}}));
    EXPECT_EQ(rowStatus(list, 0), online);
    EXPECT_EQ(rowStatus(list, 1), offline);
    EXPECT_EQ(rowStatus(list, 2), unknown);
    EXPECT_EQ(itemValues(list), positions(3));
    shot(main, "after-edits");
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), "127.0.0.2|1|on|pw|up\r\n127.0.0.1|" + refusing.port() +
                                "|off||down\r\n127.0.0.1|3389|Administrator||\r\n#Start:0\r\n#LoadinPass:<>\r\n");
}

TEST_F(ServerList, AddEditAndDeleteReachTheFileAtClose) {
    writeConfig("127.0.0.1|3389|管理员|密码|机房 A\r\n127.0.0.2|3390|b||\r\n127.0.0.3|3391|c|p|n\r\n"
                "#admin:1\r\n#Start:1\r\n#LoadinPass:<secret>\r\n");
    start();
    const Window gate = waitWindow(caption::authentication);
    ASSERT_TRUE(gate);
    gate.child(aw::编辑框1).setText(L"secret");
    gate.child(aw::按钮1).click();
    const Window main = waitMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 3);

    // Add a Chinese entry.
    main.child(mw::按钮_添加服务器).click();
    Window editor = waitWindow(caption::editorAdd);
    ASSERT_TRUE(editor);
    editor.child(ed::编辑框_域名).setText(L"127.0.0.9");
    editor.child(ed::编辑框_端口).setText(L"３３８９");
    editor.child(ed::编辑框_账号).setText(L"运维");
    editor.child(ed::编辑框_密码).setText(L"口令 1");
    editor.child(ed::编辑框_备注).setText(L"新加的服务器");
    editor.child(ed::按钮1).click();
    ASSERT_TRUE(waitGone(editor));
    ASSERT_EQ(list.itemCount(), 4);

    // Edit the first.
    ASSERT_TRUE(list.focusAndSelect(0));
    main.child(mw::按钮_设置服务器).click();
    editor = waitWindow(caption::editorEdit);
    ASSERT_TRUE(editor);
    editor.child(ed::编辑框_账号).setText(L"");
    editor.child(ed::编辑框_备注).setText(L"改过的备注");
    editor.child(ed::按钮1).click();
    ASSERT_TRUE(waitGone(editor));

    // Delete the second.
    ASSERT_TRUE(list.focusAndSelect(1));
    main.child(mw::按钮_删除服务器).click();
    const auto question = waitMessageBox(app.id());
    ASSERT_TRUE(question);
    question->answer(IDOK);
    ASSERT_TRUE(waitUntil([&] { return list.itemCount() == 3; }));

    EXPECT_EQ(configText(), "127.0.0.1|3389|管理员|密码|机房 A\r\n127.0.0.2|3390|b||\r\n127.0.0.3|3391|c|p|n\r\n"
                            "#admin:1\r\n#Start:1\r\n#LoadinPass:<secret>\r\n")
        << "the file changed before the close";
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), "127.0.0.1|3389||密码|改过的备注\r\n127.0.0.3|3391|c|p|n\r\n127.0.0.9|３３８９|运维|口令 1|新加的服务器\r\n"
                            "#admin:1\r\n#Start:1\r\n#LoadinPass:<secret>\r\n");
}

}  // namespace
}  // namespace tessaline::e2e
