// Start-up and shutdown seen from outside: the first start without "ms.ini",
// the ways the main window closes, the folder the file lives in, and files
// that are not what the program wrote.
#include <random>

#include "store/config_cipher.h"
#include "tests/e2e/program.h"

namespace tessaline::e2e {
namespace {

using namespace std::string_view_literals;

// ---- First start ----------------------------------------------------------------

enum class CloseWay { closeBox, esc, altF4 };

struct CloseCase {
    const char* name;
    CloseWay way;
};

class FirstStart : public ProgramTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(FirstStart, OpensEmptyMainWindowAndCreatesTheFileWhenClosed) {
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    EXPECT_FALSE(findTopLevel(app.id(), caption::authentication)) << "no password is set";

    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_TRUE(list.valid());
    EXPECT_EQ(list.itemCount(), 0);
    EXPECT_EQ(main.child(mw::编辑框_备注).textUtf8(), "");
    for (int id : {mw::选择框_onsole, mw::选择框_admin, mw::单选框800600, mw::单选框1024768})
        EXPECT_EQ(main.child(id).checkState(), BST_UNCHECKED) << main.child(id).describe();
    EXPECT_FALSE(main.child(mw::按钮_删除服务器).enabled());
    EXPECT_FALSE(main.child(mw::按钮_连接服务器).enabled());
    EXPECT_TRUE(main.child(mw::按钮_添加服务器).enabled());
    EXPECT_FALSE(fileExists(folder->configPath())) << "written before the close";

    switch (GetParam().way) {
    case CloseWay::closeBox: main.pressCloseBox(); break;
    case CloseWay::esc: main.pressEsc(); break;
    case CloseWay::altF4: main.pressAltF4(); break;
    }
    EXPECT_EQ(waitExit(), std::optional<DWORD>(0)) << describeTopLevelWindows(app.id());
    EXPECT_EQ(configText(), emptyConfigText);
    EXPECT_EQ(folder->list(), (std::vector<std::wstring>{L"Tessaline.exe", L"ms.ini"})) << folder->listUtf8();
}

INSTANTIATE_TEST_SUITE_P(CloseWays, FirstStart,
                         ::testing::Values(CloseCase{"CloseBox", CloseWay::closeBox}, CloseCase{"Esc", CloseWay::esc},
                                           CloseCase{"AltF4", CloseWay::altF4}),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- The executable's folder ------------------------------------------------------

struct FolderCase {
    const char* name;
    bool chineseProgramFolder;
    bool chineseCurrentFolder;
};

class Folders : public ProgramTest, public ::testing::WithParamInterface<FolderCase> {
protected:
    void SetUp() override {
        // The program's folder, named as the case says.
        folder = std::make_unique<TestFolder>(L"prog", GetParam().chineseProgramFolder);
        ASSERT_TRUE(folder->copyProgram());
    }
};

TEST_P(Folders, ConfigIsReadAndWrittenNextToTheExecutable) {
    writeConfig("127.1.2.3|3389|管理员|secret|机房 A\r\n#onsole:1\r\n#Start:1\r\n#LoadinPass:<>\r\n");
    // The current folder holds a file of its own that the program must not touch.
    TestFolder elsewhere(L"cwd", GetParam().chineseCurrentFolder);
    const std::string decoy = configCipher(utf8To936("9.9.9.9|1|x||\r\n#admin:1\r\n#Start:0\r\n#LoadinPass:<>\r\n"),
                                           "3619");
    ASSERT_TRUE(writeFileBytes(elsewhere.configPath(), decoy));

    const Window main = startToMainWindow(elsewhere.path());
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 1);
    EXPECT_EQ(list.itemTextUtf8(0, 0), "127.1.2.3");
    EXPECT_TRUE(main.child(mw::选择框_onsole).checked());
    EXPECT_FALSE(main.child(mw::选择框_admin).checked()) << "read the current folder's file";
    EXPECT_TRUE(main.child(mw::单选框1024768).checked());

    main.child(mw::选择框_admin).click();
    ASSERT_TRUE(waitUntil([&] { return main.child(mw::选择框_admin).checked(); }));
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), "127.1.2.3|3389|管理员|secret|机房 A\r\n#onsole:1\r\n#admin:1\r\n#Start:1\r\n#LoadinPass:<>\r\n");
    EXPECT_EQ(readFileBytes(elsewhere.configPath()), decoy) << "the current folder's file was changed";
    EXPECT_EQ(elsewhere.list(), std::vector<std::wstring>{L"ms.ini"}) << elsewhere.listUtf8();
}

INSTANTIATE_TEST_SUITE_P(CurrentFolderElsewhere, Folders,
                         ::testing::Values(FolderCase{"Ascii", false, false},
                                           FolderCase{"ChineseProgramFolder", true, false},
                                           FolderCase{"ChineseCurrentFolder", false, true}),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- Files the program did not write ------------------------------------------------

// Bytes without "#", so that no marker can appear in their plain text.
std::string randomText(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& b : bytes) {
        do {
            b = static_cast<char>(random() & 0xFF);
        } while (b == '#');
    }
    return bytes;
}

struct BadConfigCase {
    const char* name;
    std::string (*fileBytes)();
};

class BadConfig : public ProgramTest, public ::testing::WithParamInterface<BadConfigCase> {};

TEST_P(BadConfig, StartsWithoutMessageAndClosesCleanly) {
    ASSERT_TRUE(folder->writeConfigRaw(GetParam().fileBytes()));
    start();
    const Window main = waitWindow(caption::mainWindow, 30s);
    ASSERT_TRUE(main);
    EXPECT_FALSE(findMessageBox(app.id())) << findMessageBox(app.id())->describe();
    EXPECT_FALSE(findTopLevel(app.id(), caption::authentication));
    ASSERT_TRUE(closeMainWindow(main));
    const std::string text = configText();
    EXPECT_TRUE(text.ends_with("#LoadinPass:<>\r\n")) << printable(text.substr(text.size() > 200 ? text.size() - 200 : 0));
    EXPECT_EQ(folder->list(), (std::vector<std::wstring>{L"Tessaline.exe", L"ms.ini"})) << folder->listUtf8();
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadConfig,
    ::testing::Values(
        BadConfigCase{"Empty", [] { return std::string(); }},
        BadConfigCase{"RandomBytes", [] { return configCipher(randomText(4096, 1), "3619"); }},
        BadConfigCase{"OtherKey",
                      [] {
                          return configCipher("1.2.3.4|3389|a|b|c\r\n#onsole:1\r\n#Start:1\r\n#LoadinPass:<secret>\r\n",
                                              "1234");
                      }},
        BadConfigCase{"TwentyMegabytes", [] { return configCipher(randomText(20u << 20, 2), "3619"); }},
        BadConfigCase{"TwentyMegabytesOfPlainLines",
                      [] {
                          std::string text;
                          while (text.size() < (20u << 20)) text += "no separator on this line\r\n";
                          return configCipher(text, "3619");
                      }},
        BadConfigCase{"NulBeforePassword",
                      [] { return configCipher(std::string("#Start:0\r\n\0#LoadinPass:<pw>\r\n"sv), "3619"); }}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace tessaline::e2e
