// Program entry: the working folder, the configuration, the access gate,
// the main window and the message loop.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "app/program.h"
#include "ui/form.h"
#include "ui/main_window.h"
#include "ui/password_windows.h"

namespace tessaline {
namespace {

// "ms.ini" is the file next to the executable, wherever the program was
// started from.
void enterProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return;
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);  // truncated: ask again with more room
    }
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return;
    path.resize(slash == 2 && path[1] == L':' ? slash + 1 : slash);  // keep "C:\" a root
    SetCurrentDirectoryW(path.c_str());  // a failure is ignored
}

void runStartup() {
    loadConfigFile();
    ProgramState& state = program();
    if (!state.startupPassword.empty()) runAuthenticationWindow();
    else state.accessGranted = true;
    if (state.accessGranted) openMainWindow();
}

int runMessageLoop() {
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) break;
        if (!translateFormKeys(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return 0;
}

} // namespace
} // namespace tessaline

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace tessaline;
    enterProgramFolder();
    serverTable();  // the empty table
    program();
    std::atexit(releaseAtExit);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    runStartup();
    if (mainWindow().window != nullptr) runMessageLoop();
    return 0;  // exit() runs releaseAtExit
}
