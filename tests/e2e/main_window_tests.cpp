// The main window seen from outside: its form, its keys, the commands that
// need a selection, the launch options, and a save that fails at close.
#include "tests/e2e/program.h"

namespace tessaline::e2e {
namespace {

constexpr std::string_view twoServers =
    "127.0.0.11|3389|administrator|p1|第一台\r\n"
    "127.0.0.12|3390|运维|p2|second note\r\n"
    "#Start:0\r\n#LoadinPass:<>\r\n";

// ---- The form ----------------------------------------------------------------------

class MainWindow : public ProgramTest {};

TEST_F(MainWindow, FormMatchesItsDescription) {
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    shot(main, "main");

    const SIZE size = main.outerSize();
    EXPECT_EQ(size.cx, 477);
    EXPECT_EQ(size.cy, 434);
    EXPECT_TRUE(main.hasStyle(WS_CAPTION | WS_SYSMENU)) << main.describe();
    EXPECT_FALSE(main.style() & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) << main.describe();
    const POINT off = main.offsetFromScreenCentre();
    EXPECT_LE(std::abs(off.x), 1) << main.describe();
    EXPECT_LE(std::abs(off.y), 1) << main.describe();

    expectPlaces(main, {
                           {mw::图片框1, 0, 4, 3, 465, 62, nullptr},
                           {mw::分组框2, 0, 4, 68, 465, 180, "服务器控制"},
                           {mw::超级列表框1, mw::分组框2, 8, 12, 344, 160, nullptr},
                           {mw::按钮_连接服务器, mw::分组框2, 360, 12, 100, 30, "连接(LinkSer)"},
                           {mw::按钮_添加服务器, mw::分组框2, 360, 44, 100, 30, "添加(Add)"},
                           {mw::按钮_删除服务器, mw::分组框2, 360, 76, 100, 30, "删除(Delete)"},
                           {mw::按钮_设置服务器, mw::分组框2, 360, 108, 100, 30, "修改(Edit)"},
                           {mw::按钮_启动密码, mw::分组框2, 360, 141, 100, 30, "启动密码(Pass)"},
                           {mw::分组框4, 0, 5, 253, 352, 115, "备注"},
                           {mw::编辑框_备注, mw::分组框4, 7, 14, 340, 93, ""},
                           {mw::分组框1, 0, 366, 256, 103, 56, "启动方式"},
                           {mw::选择框_onsole, mw::分组框1, 8, 16, 72, 16, "console"},
                           {mw::选择框_admin, mw::分组框1, 8, 35, 72, 16, "admin"},
                           {mw::分组框3, 0, 366, 312, 103, 56, "分辨率"},
                           {mw::单选框800600, mw::分组框3, 8, 16, 88, 16, " 800*600"},
                           {mw::单选框1024768, mw::分组框3, 8, 32, 80, 16, "1024*768"},
                           {mw::分组框5, 0, 5, 367, 464, 33, ""},
                           {mw::标签1, mw::分组框5, 152, 12, 166, 14, nullptr},
                       });

    EXPECT_TRUE(main.child(mw::按钮_连接服务器).isDefaultButton());
    for (int id : {mw::按钮_添加服务器, mw::按钮_删除服务器, mw::按钮_设置服务器, mw::按钮_启动密码})
        EXPECT_FALSE(main.child(id).isDefaultButton()) << main.child(id).describe();
    for (int id : {mw::选择框_onsole, mw::选择框_admin})
        EXPECT_EQ(main.child(id).style() & BS_TYPEMASK, BS_AUTOCHECKBOX) << main.child(id).describe();
    for (int id : {mw::单选框800600, mw::单选框1024768})
        EXPECT_EQ(main.child(id).style() & BS_TYPEMASK, BS_AUTORADIOBUTTON) << main.child(id).describe();

    const Window note = main.child(mw::编辑框_备注);
    EXPECT_TRUE(note.hasStyle(ES_MULTILINE | ES_READONLY)) << note.describe();
    EXPECT_FALSE(note.style() & (WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL)) << "no scroll bars, word wrap: "
                                                                             << note.describe();

    for (int id : {mw::超级列表框1, mw::按钮_连接服务器, mw::按钮_添加服务器, mw::按钮_删除服务器, mw::按钮_设置服务器,
                   mw::按钮_启动密码, mw::编辑框_备注, mw::选择框_onsole, mw::选择框_admin, mw::单选框800600,
                   mw::单选框1024768})
        EXPECT_TRUE(main.child(id).hasStyle(WS_TABSTOP)) << "no tab stop: " << main.child(id).describe();

    ASSERT_TRUE(closeMainWindow(main));
}

TEST_F(MainWindow, EnterDoesNothingWhileConnectIsDisabled) {
    writeConfig(twoServers);
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    ASSERT_FALSE(main.child(mw::按钮_连接服务器).enabled());
    main.pressEnter();
    main.child(mw::超级列表框1).pressKey(VK_RETURN);
    // Nothing may appear; give a wrong reaction the time to show itself.
    Sleep(800);
    EXPECT_FALSE(findMessageBox(app.id())) << findMessageBox(app.id())->describe();
    EXPECT_EQ(topLevelWindows(app.id()).size(), 1u) << describeTopLevelWindows(app.id());
    EXPECT_TRUE(app.running());
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), twoServers);
}

TEST_F(MainWindow, EditAndDeleteNeedASelection) {
    writeConfig(twoServers);
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 2);

    // Delete is disabled until a row has been focused; then the selection goes
    // away again, and both commands answer with the same message.
    ASSERT_TRUE(list.focusAndSelect(0));
    ASSERT_TRUE(waitUntil([&] { return main.child(mw::按钮_删除服务器).enabled(); }));
    EXPECT_TRUE(main.child(mw::按钮_连接服务器).enabled());
    EXPECT_EQ(main.child(mw::编辑框_备注).textUtf8(), "第一台");
    shot(main, "row-selected");
    list.clickEmptySpace();
    ASSERT_TRUE(waitUntil([&] { return list.selectedCount() == 0; }));

    struct Command {
        const char* name;
        int button;
    };
    for (const Command& command : {Command{"Edit", mw::按钮_设置服务器}, Command{"Delete", mw::按钮_删除服务器}}) {
        SCOPED_TRACE(command.name);
        main.child(command.button).click();
        const auto message = waitMessageBox(app.id());
        EXPECT_TRUE(isMessageBox(message, "操作错误", "请选择服务器列表！", IconKind::error, {IDOK}));
        if (!message) continue;
        shot(message->window, command.name);
        message->answer(IDOK);
        EXPECT_TRUE(waitGone(message->window));
        EXPECT_FALSE(findTopLevel(app.id(), caption::editorEdit)) << "the editor opened";
        EXPECT_EQ(list.itemCount(), 2);
    }
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), twoServers);
}

// ---- Launch options ----------------------------------------------------------------

struct OptionCase {
    const char* name;
    const char* fileLines;         // option lines of "ms.ini" before the start
    bool console, admin, r800, r1024;  // states after the start
    std::vector<int> clicks;       // controls clicked
    bool afterConsole, afterAdmin, after800, after1024;
    const char* savedLines;  // option lines written at the close
};

class Options : public ProgramTest, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(Options, ShowTheFileAndSaveTheStatesAtClose) {
    const OptionCase& c = GetParam();
    writeConfig(std::string("a|1|b||\r\n") + c.fileLines + "#LoadinPass:<>\r\n");
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    auto states = [&] {
        return std::vector<bool>{main.child(mw::选择框_onsole).checked(), main.child(mw::选择框_admin).checked(),
                                 main.child(mw::单选框800600).checked(), main.child(mw::单选框1024768).checked()};
    };
    EXPECT_EQ(states(), (std::vector<bool>{c.console, c.admin, c.r800, c.r1024}));
    for (int id : c.clicks) main.child(id).click();
    const std::vector<bool> after{c.afterConsole, c.afterAdmin, c.after800, c.after1024};
    EXPECT_TRUE(waitUntil([&] { return states() == after; })) << "after the clicks: console " << states()[0]
                                                               << " admin " << states()[1] << " 800 " << states()[2]
                                                               << " 1024 " << states()[3];
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), std::string("a|1|b||\r\n") + c.savedLines + "#LoadinPass:<>\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Options,
    ::testing::Values(
        OptionCase{"NoneThenConsoleAnd1024", "", false, false, false, false, {mw::选择框_onsole, mw::单选框1024768},
                   true, false, false, true, "#onsole:1\r\n#Start:1\r\n"},
        OptionCase{"AllThenAdminOffAnd800", "#onsole:1\r\n#admin:1\r\n#Start:1\r\n", true, true, false, true,
                   {mw::选择框_admin, mw::单选框800600}, true, false, true, false, "#onsole:1\r\n#Start:0\r\n"},
        OptionCase{"Start0Then1024", "#Start:0\r\n", false, false, true, false, {mw::单选框1024768}, false, false,
                   false, true, "#Start:1\r\n"},
        OptionCase{"AdminOnlyUntouched", "#admin:1\r\n", false, true, false, false, {}, false, true, false, false,
                   "#admin:1\r\n#Start:0\r\n"}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- A save that fails at close -------------------------------------------------------

enum class Blocker { readOnly, locked };
enum class Answer { retryAfterFix, cancel };

struct SaveFailureCase {
    const char* name;
    Blocker blocker;
    Answer answer;
};

class SaveFailure : public ProgramTest, public ::testing::WithParamInterface<SaveFailureCase> {};

TEST_P(SaveFailure, AsksToRetryAndKeepsTheOldFile) {
    const SaveFailureCase& c = GetParam();
    const std::string before = "a|1|b||\r\n#Start:0\r\n#LoadinPass:<>\r\n";
    writeConfig(before);
    const auto beforeBytes = folder->readConfigRaw();
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    main.child(mw::选择框_onsole).click();
    ASSERT_TRUE(waitUntil([&] { return main.child(mw::选择框_onsole).checked(); }));

    HANDLE lock = INVALID_HANDLE_VALUE;
    if (c.blocker == Blocker::readOnly) {
        ASSERT_TRUE(SetFileAttributesW(folder->configPath().c_str(), FILE_ATTRIBUTE_READONLY));
    } else {
        lock = CreateFileW(folder->configPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE) << GetLastError();
    }
    // The file's bytes; while it is locked, read through the lock's own handle.
    auto currentBytes = [&]() -> std::optional<std::string> {
        if (lock == INVALID_HANDLE_VALUE) return folder->readConfigRaw();
        std::string bytes(4096, '\0');
        DWORD got = 0;
        SetFilePointer(lock, 0, nullptr, FILE_BEGIN);
        if (!ReadFile(lock, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return std::nullopt;
        bytes.resize(got);
        return bytes;
    };
    auto unblock = [&] {
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        lock = INVALID_HANDLE_VALUE;
        SetFileAttributesW(folder->configPath().c_str(), FILE_ATTRIBUTE_NORMAL);
    };

    main.pressCloseBox();
    auto message = waitMessageBox(app.id());
    EXPECT_TRUE(isMessageBox(message, "保存失败", "配置文件 ms.ini 保存失败，本次的修改将会丢失。", IconKind::error,
                             {IDRETRY, IDCANCEL}));
    if (!message) {
        unblock();
        FAIL() << "no message box; the program " << (app.running() ? "runs" : "ended") << ", file: " << configText();
    }
    shot(message->window, "save-failed");
    EXPECT_EQ(currentBytes(), beforeBytes) << "the old file was changed";
    EXPECT_EQ(folder->list(), (std::vector<std::wstring>{L"Tessaline.exe", L"ms.ini"})) << folder->listUtf8();

    if (c.answer == Answer::retryAfterFix) {
        unblock();
        message->answer(IDRETRY);
        EXPECT_EQ(waitExit(), std::optional<DWORD>(0)) << describeTopLevelWindows(app.id());
        EXPECT_EQ(configText(), "a|1|b||\r\n#onsole:1\r\n#Start:0\r\n#LoadinPass:<>\r\n");
    } else {
        // Retry while the cause is still there asks again; Cancel gives up.
        message->answer(IDRETRY);
        EXPECT_TRUE(waitGone(message->window));
        message = waitMessageBox(app.id());
        EXPECT_TRUE(isMessageBox(message, "保存失败", "配置文件 ms.ini 保存失败，本次的修改将会丢失。",
                                 IconKind::error, {IDRETRY, IDCANCEL}));
        if (message) message->answer(IDCANCEL);
        EXPECT_EQ(waitExit(), std::optional<DWORD>(0)) << describeTopLevelWindows(app.id());
        unblock();
        EXPECT_EQ(folder->readConfigRaw(), beforeBytes) << "the old file was changed: " << configText();
    }
    unblock();
    EXPECT_EQ(folder->list(), (std::vector<std::wstring>{L"Tessaline.exe", L"ms.ini"})) << folder->listUtf8();
}

INSTANTIATE_TEST_SUITE_P(Causes, SaveFailure,
                         ::testing::Values(SaveFailureCase{"ReadOnlyRetry", Blocker::readOnly, Answer::retryAfterFix},
                                           SaveFailureCase{"ReadOnlyCancel", Blocker::readOnly, Answer::cancel},
                                           SaveFailureCase{"LockedRetry", Blocker::locked, Answer::retryAfterFix},
                                           SaveFailureCase{"LockedCancel", Blocker::locked, Answer::cancel}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace tessaline::e2e
