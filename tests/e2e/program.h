// What the end-to-end tests know of Tessaline.exe from outside: its window
// captions, the configuration texts it writes, and a test base that gives
// each test a folder with its own copy of the program.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "tests/e2e/driver.h"
#include "ui/control_ids.h"

namespace tessaline::e2e {

namespace caption {
inline constexpr std::wstring_view mainWindow = L"Tessaline";
inline constexpr std::wstring_view authentication = L"身份验证 (Authentication)";
inline constexpr std::wstring_view startupPassword = L"启动密码设置(Set LoginPass)";
inline constexpr std::wstring_view editorAdd = L"添加服务器列表";
inline constexpr std::wstring_view editorEdit = L"修改服务器列表";
}  // namespace caption

namespace mw = tessaline::ids::main_window;
namespace aw = tessaline::ids::authentication_window;
namespace pw = tessaline::ids::startup_password_window;

// The plain text a save writes for an empty table, no options and no password.
inline constexpr std::string_view emptyConfigText = "#Start:0\r\n#LoadinPass:<>\r\n";

// One expected control: where it sits in its container and what it says.
struct ControlPlace {
    int id;
    int container;  // a control id, or 0 for the window itself
    int x, y, w, h;
    const char* text;  // UTF-8; nullptr: not checked
};

// Each test gets a fresh folder with a copy of Tessaline.exe. A failing test
// leaves its folder and a screenshot of the screen behind.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program; `currentDir` empty: the program's own folder.
    void start(const std::wstring& currentDir = {});
    // Waits for a window of the program; the caller ASSERTs on the result.
    Window waitWindow(std::wstring_view caption, Millis timeout = defaultTimeout) const;
    Window waitMainWindow() const { return waitWindow(caption::mainWindow); }
    // Starts and waits for the main window (no password set).
    Window startToMainWindow(const std::wstring& currentDir = {});
    // Starts, passes the authentication window with `password`, waits for the main window.
    Window startThroughGate(std::string_view passwordUtf8);
    // Waits for the process's end; its exit code, or nothing after the time-out.
    std::optional<DWORD> waitExit(Millis timeout = defaultTimeout) { return app.waitExit(timeout); }
    // Closes the main window with its close box and waits for the process's end.
    ::testing::AssertionResult closeMainWindow(const Window& main);

    // "ms.ini" from UTF-8 text (converted to code page 936), and its plain text back as UTF-8.
    void writeConfig(std::string_view utf8Text);
    std::string configText() const;  // "(no file)" when missing

    // A screenshot named after the test.
    void shot(const Window& window, std::string_view what) const;

    // Checks each control's text, place and size in its container.
    void expectPlaces(const Window& top, std::initializer_list<ControlPlace> places) const;

    std::unique_ptr<TestFolder> folder;
    Process app;
};

// The message box the process shows next, with its parts checked.
::testing::AssertionResult isMessageBox(const std::optional<MessageBoxInfo>& box, std::string_view title,
                                        std::string_view text, IconKind icon, std::vector<int> buttons);

}  // namespace tessaline::e2e
