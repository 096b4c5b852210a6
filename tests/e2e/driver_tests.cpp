// Checks of the end-to-end driver itself, against the fixture program: if one
// of these fails, the program tests' failures say nothing about the program.
#include <gtest/gtest.h>

#include "tests/e2e/driver.h"

namespace tessaline::e2e {
namespace {

constexpr int idShowError = 1001;
constexpr int idShowQuestion = 1002;
constexpr int idEdit = 1003;
constexpr int idPassword = 1004;
constexpr int idCheck = 1005;
constexpr int idList = 1006;
constexpr int idLog = 1007;
constexpr DWORD exitClosed = 3;

const std::wstring fixtureCaption = L"驱动测试 Fixture";

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring fixture = environmentVariable(L"TESSALINE_E2E_FIXTURE");
        ASSERT_FALSE(fixture.empty()) << "TESSALINE_E2E_FIXTURE is not set";
        ASSERT_TRUE(folder.copyProgramFrom(fixture));
        app = Process::start(folder.programPath(), folder.path());
        ASSERT_TRUE(app.started()) << "CreateProcessW failed, error " << app.startError();
        main = waitTopLevel(app.id(), fixtureCaption);
        ASSERT_TRUE(main) << describeTopLevelWindows(app.id());
    }
    void TearDown() override {
        if (HasFailure()) {
            saveScreenshot(Window(), L"driver-failure");
            folder.keep();
        }
    }

    std::string logText() const { return main.child(idLog).textUtf8(); }

    TestFolder folder{L"driver", true};
    Process app;
    Window main;
};

TEST_F(DriverTest, ReadsAndWritesControls) {
    EXPECT_EQ(main.className(), L"TessalineE2EFixture");
    EXPECT_EQ(main.child(idShowError).textUtf8(), "错误(Error)");
    EXPECT_TRUE(main.child(idShowError).isDefaultButton());
    EXPECT_FALSE(main.child(idShowQuestion).isDefaultButton());

    const Window edit = main.child(idEdit);
    edit.setTextUtf8("服务器 a|b");
    EXPECT_EQ(edit.textUtf8(), "服务器 a|b");
    EXPECT_EQ(edit.passwordChar(), 0);

    const Window password = main.child(idPassword);
    EXPECT_EQ(password.passwordChar(), L'*');
    EXPECT_EQ(password.textLimit(), 16);

    const Window check = main.child(idCheck);
    EXPECT_FALSE(check.checked());
    check.click();
    EXPECT_TRUE(waitUntil([&] { return check.checked(); })) << check.describe();

    EXPECT_TRUE(main.hasStyle(WS_CAPTION | WS_SYSMENU));
    EXPECT_FALSE(main.hasStyle(WS_THICKFRAME));
    EXPECT_EQ(main.outerSize().cx, 340);
    EXPECT_EQ(main.outerSize().cy, 300);
    const POINT offset = main.offsetFromScreenCentre();
    EXPECT_LE(std::abs(offset.x), 1);
    const RECT inMain = edit.rectIn(main);
    EXPECT_EQ(inMain.left, 10);
    EXPECT_EQ(inMain.top, 46);
    EXPECT_EQ(inMain.right - inMain.left, 150);
    EXPECT_FALSE(saveScreenshot(main, L"driver-fixture").empty());
}

TEST_F(DriverTest, ReadsAndAnswersMessageBoxes) {
    main.child(idShowError).click();
    auto box = waitMessageBox(app.id());
    ASSERT_TRUE(box) << describeTopLevelWindows(app.id());
    EXPECT_EQ(box->titleUtf8(), "错误");
    EXPECT_EQ(box->textUtf8(), "出错了 (failed)");
    EXPECT_EQ(box->icon, IconKind::error) << box->describe();
    EXPECT_EQ(box->buttons, std::vector<int>{IDOK}) << box->describe();
    EXPECT_EQ(box->owner, nullptr);
    saveScreenshot(box->window, L"driver-error-box");
    box->answer(IDOK);
    ASSERT_TRUE(waitGone(box->window));
    EXPECT_TRUE(waitUntil([&] { return logText() == "error box closed"; })) << logText();

    main.child(idShowQuestion).click();
    box = waitMessageBox(app.id());
    ASSERT_TRUE(box);
    EXPECT_EQ(box->icon, IconKind::information) << box->describe();
    EXPECT_EQ(box->buttons, (std::vector<int>{IDYES, IDNO})) << box->describe();
    box->answer(IDNO);
    EXPECT_TRUE(waitUntil([&] { return logText() == "answer no"; })) << logText();
}

TEST_F(DriverTest, KeysReachTheFocusedControl) {
    // Enter: the default button shows its box.
    main.pressEnter();
    auto box = waitMessageBox(app.id());
    ASSERT_TRUE(box) << "Enter did not press the default button";
    box->window.pressEsc();
    ASSERT_TRUE(waitGone(box->window)) << "Esc did not close the message box";

    // Esc closes the window.
    main.pressEsc();
    EXPECT_EQ(app.waitExit(), std::optional<DWORD>(exitClosed));
}

TEST_F(DriverTest, CloseBoxAndAltF4CloseTheWindow) {
    main.pressAltF4();
    EXPECT_EQ(app.waitExit(), std::optional<DWORD>(exitClosed)) << describeTopLevelWindows(app.id());
}

TEST_F(DriverTest, CloseBox) {
    main.pressCloseBox();
    EXPECT_EQ(app.waitExit(), std::optional<DWORD>(exitClosed));
}

TEST_F(DriverTest, ReadsAndDrivesTheListView) {
    RemoteListView list(main.child(idList));
    ASSERT_TRUE(list.valid());
    EXPECT_EQ(list.itemCount(), 3);
    const auto columns = list.columns();
    ASSERT_EQ(columns.size(), 3u);
    EXPECT_EQ(columns[0].title, L"地址");
    EXPECT_EQ(columns[1].width, 50);
    EXPECT_EQ(columns[1].format & LVCFMT_JUSTIFYMASK, LVCFMT_CENTER);
    const auto rows = list.allRowsUtf8();
    EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{
                        {"127.0.0.1", "3389", "第一"}, {"127.0.0.2", "22", ""}, {"127.0.0.3", "3390", "third row"}}));
    EXPECT_EQ(list.itemParam(1), 2);
    EXPECT_EQ(list.stateImageIndex(0), 1);  // unchecked
    EXPECT_EQ(list.stateImageIndex(2), 2);  // checked
    EXPECT_TRUE(list.extendedStyle() & LVS_EX_FULLROWSELECT);
    EXPECT_EQ(list.selectedCount(), 0);

    ASSERT_TRUE(list.focusAndSelect(1));
    EXPECT_TRUE(list.selected(1));
    EXPECT_TRUE(list.focusedItem(1));
    EXPECT_TRUE(waitUntil([&] { return logText() == "focused 2"; })) << logText();

    list.clickItem(2);
    EXPECT_TRUE(waitUntil([&] { return list.selected(2) && !list.selected(1); }));
    EXPECT_TRUE(waitUntil([&] { return logText() == "focused 3"; })) << logText();

    list.clickEmptySpace();
    EXPECT_TRUE(waitUntil([&] { return list.selectedCount() == 0; })) << list.selectedCount();
}

TEST(DriverFolder, WritesConfigAndListsTheFolder) {
    TestFolder folder(L"folder", true);
    EXPECT_NE(folder.path().find(L"服务器"), std::wstring::npos);
    const std::string plain = utf8To936("127.0.0.1|3389|管理员||\r\n#Start:0\r\n#LoadinPass:<>\r\n");
    ASSERT_TRUE(folder.writeConfigPlain(plain));
    const auto raw = folder.readConfigRaw();
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->size(), plain.size());
    EXPECT_NE(*raw, plain);
    EXPECT_EQ(folder.readConfigPlain(), plain);
    EXPECT_EQ(folder.list(), std::vector<std::wstring>{L"ms.ini"});
    EXPECT_TRUE(folder.removeConfig());
    EXPECT_FALSE(folder.readConfigRaw());
    EXPECT_EQ(windowsPathFromUnix("/a/b c/d"), L"Z:\\a\\b c\\d");
}

}  // namespace
}  // namespace tessaline::e2e
