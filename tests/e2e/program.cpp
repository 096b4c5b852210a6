// The test base of the end-to-end tests of Tessaline.exe.
#include "tests/e2e/program.h"

#include <algorithm>

namespace tessaline::e2e {

namespace {

std::wstring currentTestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
    std::replace(name.begin(), name.end(), '/', '_');
    return widen(name);
}

}  // namespace

void ProgramTest::SetUp() {
    ASSERT_FALSE(programUnderTest().empty()) << "TESSALINE_EXE is not set";
    folder = std::make_unique<TestFolder>(L"run");
    ASSERT_TRUE(folder->copyProgram()) << "cannot copy " << narrow(programUnderTest()) << " to "
                                       << narrow(folder->path()) << ", error " << GetLastError();
}

void ProgramTest::TearDown() {
    if (HasFailure()) {
        shot(Window(), "failure");
        if (app.started()) {
            std::cerr << "windows of the program at the failure:" << describeTopLevelWindows(app.id()) << "\n";
        }
        if (folder) {
            folder->keep();
            std::cerr << "test folder kept: " << narrow(folder->path()) << "\n";
        }
    }
    app.kill();
    folder.reset();
}

void ProgramTest::start(const std::wstring& currentDir) {
    app = Process::start(folder->programPath(), currentDir.empty() ? folder->path() : currentDir);
    ASSERT_TRUE(app.started()) << "CreateProcessW failed, error " << app.startError();
}

Window ProgramTest::waitWindow(std::wstring_view caption, Millis timeout) const {
    Window w = waitTopLevel(app.id(), caption, timeout);
    if (!w) {
        ADD_FAILURE() << "no window \"" << narrow(caption) << "\"; the program "
                      << (app.running() ? "runs" : "has ended") << " with:" << describeTopLevelWindows(app.id());
    }
    return w;
}

Window ProgramTest::startToMainWindow(const std::wstring& currentDir) {
    start(currentDir);
    if (HasFatalFailure()) return Window();
    return waitMainWindow();
}

Window ProgramTest::startThroughGate(std::string_view passwordUtf8) {
    start();
    if (HasFatalFailure()) return Window();
    const Window gate = waitWindow(caption::authentication);
    if (!gate) return Window();
    gate.child(aw::编辑框1).setTextUtf8(passwordUtf8);
    gate.child(aw::按钮1).click();
    return waitMainWindow();
}

::testing::AssertionResult ProgramTest::closeMainWindow(const Window& main) {
    main.pressCloseBox();
    const auto code = app.waitExit();
    if (!code) {
        return ::testing::AssertionFailure() << "the program did not end after the close box; windows:"
                                             << describeTopLevelWindows(app.id());
    }
    if (*code != 0) return ::testing::AssertionFailure() << "exit code " << *code;
    return ::testing::AssertionSuccess();
}

void ProgramTest::writeConfig(std::string_view utf8Text) {
    ASSERT_TRUE(folder->writeConfigPlain(utf8To936(utf8Text)));
}

std::string ProgramTest::configText() const {
    const auto plain = folder->readConfigPlain();
    return plain ? cp936ToUtf8(*plain) : "(no file)";
}

void ProgramTest::shot(const Window& window, std::string_view what) const {
    saveScreenshot(window, currentTestName() + L"-" + widen(what));
}

void ProgramTest::expectPlaces(const Window& top, std::initializer_list<ControlPlace> places) const {
    for (const auto& p : places) {
        const Window control = top.child(p.id);
        if (!control) {
            ADD_FAILURE() << "control " << p.id << " missing in \"" << top.textUtf8() << "\"";
            continue;
        }
        const Window container = p.container ? top.child(p.container) : top;
        const RECT r = control.rectIn(container);
        const RECT expected{p.x, p.y, p.x + p.w, p.y + p.h};
        EXPECT_TRUE(EqualRect(&r, &expected))
            << "control " << p.id << " " << control.describe() << ": place (" << r.left << "," << r.top << ") size "
            << r.right - r.left << "x" << r.bottom - r.top << ", expected (" << p.x << "," << p.y << ") size " << p.w
            << "x" << p.h << " in container " << p.container;
        if (p.text) {
            EXPECT_EQ(control.textUtf8(), p.text) << "text of control " << p.id;
        }
    }
}

::testing::AssertionResult isMessageBox(const std::optional<MessageBoxInfo>& box, std::string_view title,
                                        std::string_view text, IconKind icon, std::vector<int> buttons) {
    if (!box) return ::testing::AssertionFailure() << "no message box appeared";
    std::sort(buttons.begin(), buttons.end());
    if (box->titleUtf8() != title || box->textUtf8() != text || box->icon != icon || box->buttons != buttons ||
        box->owner != nullptr) {
        std::string want;
        for (int b : buttons) want += std::to_string(b) + " ";
        return ::testing::AssertionFailure() << "got " << box->describe() << "\nwanted title=\"" << title
                                             << "\" text=\"" << text << "\" icon=" << toString(icon)
                                             << " buttons=[" << want << "] unowned";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace tessaline::e2e
