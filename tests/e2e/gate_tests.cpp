// The access gate and the start-up password, seen from outside: the
// authentication window at start, and the window that sets the password.
#include "tests/e2e/program.h"

namespace tessaline::e2e {
namespace {

constexpr std::string_view gatedConfig = "127.0.7.1|3390|运维|pw|备注\r\n#Start:0\r\n#LoadinPass:<Pw-123>\r\n";
constexpr std::string_view gatePassword = "Pw-123";

// Fixed frame with a caption, a system menu and a close box, nothing else.
void expectFixedFrame(const Window& w) {
    EXPECT_TRUE(w.hasStyle(WS_CAPTION | WS_SYSMENU)) << w.describe();
    EXPECT_FALSE(w.style() & WS_THICKFRAME) << "resizable: " << w.describe();
    EXPECT_FALSE(w.style() & WS_MINIMIZEBOX) << "minimize box: " << w.describe();
    EXPECT_FALSE(w.style() & WS_MAXIMIZEBOX) << "maximize box: " << w.describe();
    const POINT off = w.offsetFromScreenCentre();
    EXPECT_LE(std::abs(off.x), 1) << "not centred: " << w.describe();
    EXPECT_LE(std::abs(off.y), 1) << "not centred: " << w.describe();
}

void expectOuterSize(const Window& w, int width, int height) {
    const SIZE size = w.outerSize();
    EXPECT_EQ(size.cx, width) << w.describe();
    EXPECT_EQ(size.cy, height) << w.describe();
}

// Types characters into an empty edit box; what it holds afterwards.
std::wstring typeInto(const Window& edit, std::wstring_view chars) {
    edit.setText(L"");
    edit.sendChars(chars);
    return edit.text();
}

// ---- Authentication window ------------------------------------------------------------

class Gate : public ProgramTest {};

TEST_F(Gate, ComesFirstRefusesWrongPasswordsAndOpensOnTheRightOne) {
    writeConfig(gatedConfig);
    start();
    const Window gate = waitWindow(caption::authentication);
    ASSERT_TRUE(gate);
    EXPECT_FALSE(findTopLevel(app.id(), caption::mainWindow)) << "main window open before the password";
    shot(gate, "authentication");

    expectOuterSize(gate, 250, 123);
    expectFixedFrame(gate);
    expectPlaces(gate, {
                           {aw::图片框1, 0, 12, 20, 38, 38, nullptr},
                           {aw::标签1, 0, 57, 7, 175, 16, "请输入密码(Input Password):"},
                           {aw::编辑框1, 0, 64, 26, 152, 24, ""},
                           {aw::按钮1, 0, 64, 59, 72, 24, "确定(OK)"},
                           {aw::按钮2, 0, 144, 59, 72, 24, "取消(NO)"},
                       });
    const Window box = gate.child(aw::编辑框1);
    EXPECT_NE(box.passwordChar(), 0) << "password box is not masked";
    EXPECT_TRUE(gate.child(aw::按钮1).isDefaultButton());

    // Wrong passwords, any number of tries; each empties the box.
    const char* wrong[] = {"wrong", "pw-123", "", "Pw-123 ", "Pw-12"};
    bool first = true;
    for (const char* attempt : wrong) {
        SCOPED_TRACE(std::string("attempt \"") + attempt + "\"");
        box.setTextUtf8(attempt);
        gate.child(aw::按钮1).click();
        const auto message = waitMessageBox(app.id());
        EXPECT_TRUE(isMessageBox(message, "错误", "密码错误", IconKind::error, {IDOK}));
        if (!message) break;
        if (first) shot(message->window, "wrong-password");
        first = false;
        message->answer(IDOK);
        EXPECT_TRUE(waitGone(message->window));
        EXPECT_TRUE(waitUntil([&] { return box.text().empty(); })) << "box holds \"" << box.textUtf8() << "\"";
        EXPECT_TRUE(gate.visible());
        EXPECT_FALSE(findTopLevel(app.id(), caption::mainWindow));
    }

    box.setTextUtf8(gatePassword);
    box.pressEnter();
    const Window main = waitMainWindow();
    ASSERT_TRUE(main);
    EXPECT_TRUE(waitGone(gate));
    RemoteListView list(main.child(mw::超级列表框1));
    EXPECT_EQ(list.itemCount(), 1);
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), gatedConfig);
}

TEST_F(Gate, PasswordBoxTakesAtMost16Bytes) {
    writeConfig(gatedConfig);
    start();
    const Window gate = waitWindow(caption::authentication);
    ASSERT_TRUE(gate);
    const Window box = gate.child(aw::编辑框1);
    EXPECT_EQ(typeInto(box, L"abcdefghijklmnopqrst"), L"abcdefghijklmnop");
    const std::wstring chinese = typeInto(box, L"一二三四五六七八九十");
    EXPECT_EQ(chinese, L"一二三四五六七八") << "16 bytes are 8 double-byte characters; got " << narrow(chinese);
    gate.child(aw::按钮2).click();
    EXPECT_EQ(waitExit(), std::optional<DWORD>(0));
}

enum class LeaveWay { cancel, closeBox, esc };

struct LeaveCase {
    const char* name;
    LeaveWay way;
};

class GateLeft : public ProgramTest, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(GateLeft, EndsWithoutMainWindowAndLeavesTheFile) {
    writeConfig(gatedConfig);
    const auto before = folder->readConfigRaw();
    start();
    const Window gate = waitWindow(caption::authentication);
    ASSERT_TRUE(gate);
    gate.child(aw::编辑框1).setTextUtf8("typed but not sent");
    switch (GetParam().way) {
    case LeaveWay::cancel: gate.child(aw::按钮2).click(); break;
    case LeaveWay::closeBox: gate.pressCloseBox(); break;
    case LeaveWay::esc: gate.pressEsc(); break;
    }
    bool mainSeen = false;
    waitUntil([&] {
        mainSeen = mainSeen || findTopLevel(app.id(), caption::mainWindow);
        return !app.running();
    });
    EXPECT_FALSE(mainSeen) << "the main window opened";
    EXPECT_EQ(waitExit(), std::optional<DWORD>(0)) << describeTopLevelWindows(app.id());
    EXPECT_EQ(folder->readConfigRaw(), before) << "ms.ini changed: " << configText();
    EXPECT_EQ(folder->list(), (std::vector<std::wstring>{L"Tessaline.exe", L"ms.ini"})) << folder->listUtf8();
}

INSTANTIATE_TEST_SUITE_P(Ways, GateLeft,
                         ::testing::Values(LeaveCase{"Cancel", LeaveWay::cancel},
                                           LeaveCase{"CloseBox", LeaveWay::closeBox},
                                           LeaveCase{"Esc", LeaveWay::esc}),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- Start-up password window ----------------------------------------------------------

class StartupPassword : public ProgramTest {
protected:
    Window openPasswordWindow(const Window& main) {
        main.child(mw::按钮_启动密码).click();
        return waitWindow(caption::startupPassword);
    }
};

TEST_F(StartupPassword, NewPasswordIsSavedAtCloseAndAskedAtNextStart) {
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    const Window setter = openPasswordWindow(main);
    ASSERT_TRUE(setter);
    shot(setter, "startup-password");

    expectOuterSize(setter, 290, 130);
    expectFixedFrame(setter);
    expectPlaces(setter, {
                             {pw::图片框1, 0, 16, 15, 40, 32, nullptr},
                             {pw::标签1, 0, 64, 9, 56, 16, "新的密码:"},
                             {pw::编辑框1, 0, 120, 8, 152, 24, ""},
                             {pw::标签2, 0, 64, 36, 56, 16, "重复密码:"},
                             {pw::编辑框2, 0, 120, 33, 152, 24, ""},
                             {pw::按钮1, 0, 120, 65, 70, 26, "确定(OK)"},
                             {pw::按钮2, 0, 205, 65, 70, 26, "取消(NO)"},
                         });
    EXPECT_TRUE(setter.child(pw::按钮1).isDefaultButton());
    for (int id : {pw::编辑框1, pw::编辑框2}) {
        const Window box = setter.child(id);
        EXPECT_EQ(box.passwordChar(), 0) << "masked: " << box.describe();
        EXPECT_EQ(typeInto(box, L"abcdefghijklmnopqrst"), L"abcdefghijklmnop") << "box " << id;
        EXPECT_EQ(typeInto(box, L"一二三四五六七八九十"), L"一二三四五六七八") << "box " << id;
    }

    const std::string password = "新密码 1";
    setter.child(pw::编辑框1).setTextUtf8(password);
    setter.child(pw::编辑框2).setTextUtf8(password);
    setter.child(pw::按钮1).click();
    ASSERT_TRUE(waitGone(setter)) << describeTopLevelWindows(app.id());
    EXPECT_EQ(configText(), "(no file)") << "written before the main window closed";
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), "#Start:0\r\n#LoadinPass:<新密码 1>\r\n");

    const Window again = startThroughGate(password);
    ASSERT_TRUE(again);
    ASSERT_TRUE(closeMainWindow(again));
}

struct RefusedCase {
    const char* name;
    const char* first;
    const char* second;
    const char* message;
};

TEST_F(StartupPassword, RefusedInputsKeepTheWindowAndChangeNothing) {
    writeConfig("#Start:0\r\n#LoadinPass:<old>\r\n");
    const Window main = startThroughGate("old");
    ASSERT_TRUE(main);
    const Window setter = openPasswordWindow(main);
    ASSERT_TRUE(setter);

    const RefusedCase cases[] = {
        {"mismatch", "abc", "abd", "两次密码必须相同"},
        {"mismatch-empty", "abc", "", "两次密码必须相同"},
        {"greater-than", "a>b", "a>b", "密码不能包含“>”或“|”"},
        {"bar", "a|b", "a|b", "密码不能包含“>”或“|”"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setter.child(pw::编辑框1).setTextUtf8(c.first);
        setter.child(pw::编辑框2).setTextUtf8(c.second);
        setter.child(pw::按钮1).click();
        const auto message = waitMessageBox(app.id());
        EXPECT_TRUE(isMessageBox(message, "输入出错", c.message, IconKind::error, {IDOK}));
        if (!message) break;
        shot(message->window, c.name);
        message->answer(IDOK);
        EXPECT_TRUE(waitGone(message->window));
        EXPECT_TRUE(setter.visible()) << "the window closed";
        EXPECT_EQ(setter.child(pw::编辑框1).textUtf8(), c.first);
        EXPECT_EQ(setter.child(pw::编辑框2).textUtf8(), c.second);
    }

    setter.pressEsc();
    ASSERT_TRUE(waitGone(setter)) << "Esc did not close the window";
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), "#Start:0\r\n#LoadinPass:<old>\r\n");
}

TEST_F(StartupPassword, ClearingAsksFirst) {
    writeConfig("#Start:0\r\n#LoadinPass:<old>\r\n");
    const Window main = startThroughGate("old");
    ASSERT_TRUE(main);
    const Window setter = openPasswordWindow(main);
    ASSERT_TRUE(setter);

    setter.child(pw::按钮1).click();
    auto question = waitMessageBox(app.id());
    ASSERT_TRUE(isMessageBox(question, "提示", "您确定要清空密码吗？", IconKind::information, {IDYES, IDNO}));
    shot(question->window, "clear-question");
    question->answer(IDNO);
    EXPECT_TRUE(waitGone(question->window));
    EXPECT_TRUE(setter.visible()) << "No closed the window";

    setter.child(pw::按钮1).click();
    question = waitMessageBox(app.id());
    ASSERT_TRUE(isMessageBox(question, "提示", "您确定要清空密码吗？", IconKind::information, {IDYES, IDNO}));
    question->answer(IDYES);
    ASSERT_TRUE(waitGone(setter)) << "Yes did not close the window";
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), emptyConfigText);

    const Window again = startToMainWindow();
    ASSERT_TRUE(again) << "asked for a cleared password";
    ASSERT_TRUE(closeMainWindow(again));
}

}  // namespace
}  // namespace tessaline::e2e
