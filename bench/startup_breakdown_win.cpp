// Where start-up time goes with a long server list, measured inside one
// process under Wine: the program's own start-up steps, called one by one
// with the program's code, each timed.
//
//   bench_startup_breakdown [SERVERS] [ROUNDS]
//
// Runs in a scratch folder of the temporary directory; its servers point at
// a closed loopback port, so the probes it starts end at once.
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "app/program.h"
#include "bench/bench_report.h"
#include "store/config_cipher.h"
#include "store/config_format.h"
#include "store/config_file_win.h"
#include "ui/main_window.h"
#include "ui/server_list.h"

namespace tessaline::bench {
namespace {

std::string configText(int servers) {
    std::string text;
    for (int i = 0; i < servers; ++i) {
        text += "127.0.0.1|1|Administrator|Pw-" + std::to_string(i * 7919) + "|rack " + std::to_string(i % 40) +
                "\r\n";
    }
    text += "#Start:0\r\n#LoadinPass:<>\r\n";
    return text;
}

// Handles every message that is waiting, then returns.
void drainMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

double workingSetKb() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return static_cast<double>(counters.WorkingSetSize) / 1024.0;
}

// Memory of the table and the list rows alone, without probes: the table
// filled as start-up fills it, and a list set up as the program's, refilled.
void measureTableAndList(int servers) {
    const double before = workingSetKb();
    loadConfigFile();
    for (const ServerEntry& entry : parseConfig(program().configBytes).entries) serverTable().appendEntry(entry);
    const double table = workingSetKb();
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL, 0, 0, 344,
                                160, CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr,
                                                     nullptr, nullptr),
                                nullptr, nullptr, nullptr);
    setupServerList(list);
    mainWindow().超级列表框1 = list;
    refillServerList();
    const double rows = workingSetKb();
    const double n = servers > 0 ? servers : 1;
    row(5, "breakdown, " + std::to_string(servers) + " servers: configuration bytes + table, per server", "-",
        fixed((table - before) * 1024.0 / n, 0) + " bytes", Mark::info);
    row(5, "breakdown, " + std::to_string(servers) + " servers: list rows, per server", "-",
        fixed((rows - table) * 1024.0 / n, 0) + " bytes", Mark::info);
    DestroyWindow(GetParent(list));
    mainWindow() = MainWindowControls{};
    serverTable().clear();
}

int run(int servers, int rounds) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"tessaline-bench-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    SetCurrentDirectoryW(folder.c_str());
    if (replaceFileContents(L"ms.ini", configCipher(configText(servers), "3619")) != 0) {
        std::fprintf(stderr, "cannot write ms.ini\n");
        return 1;
    }

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    if (servers > 0) measureTableAndList(servers);

    Samples load, open, firstIdle, refillHidden, refillShown;
    for (int round = 0; round < rounds; ++round) {
        serverTable().clear();
        Clock::time_point start = Clock::now();
        loadConfigFile();
        load.add(millisecondsSince(start));

        // Creation (parse, fill the table, fill the list, start the probes),
        // then showing and the first paint.
        start = Clock::now();
        HWND window = openMainWindow();
        open.add(millisecondsSince(start));
        start = Clock::now();
        drainMessages();
        firstIdle.add(millisecondsSince(start));

        // The refill alone, with the window hidden and shown.
        ShowWindow(window, SW_HIDE);
        start = Clock::now();
        refillServerList();
        refillHidden.add(millisecondsSince(start));
        ShowWindow(window, SW_SHOW);
        drainMessages();
        start = Clock::now();
        refillServerList();
        refillShown.add(millisecondsSince(start));

        DestroyWindow(window);
        drainMessages();
    }
    const std::string n = std::to_string(servers);
    row(2, "breakdown, " + n + " servers: read and decipher ms.ini", "-", medianAndSpread(load, "ms", 1), Mark::info);
    row(2, "breakdown, " + n + " servers: create main window (parse, fill table and list, start probes)", "-",
        medianAndSpread(open, "ms", 1), Mark::info);
    row(2, "breakdown, " + n + " servers: message loop after showing, until idle (probes of a closed port end at once: includes applying their results)", "-",
        medianAndSpread(firstIdle, "ms", 1), Mark::info);
    row(2, "breakdown, " + n + " servers: refill of the list alone, window hidden", "-",
        medianAndSpread(refillHidden, "ms", 1), Mark::info);
    row(2, "breakdown, " + n + " servers: refill of the list alone, window shown", "-",
        medianAndSpread(refillShown, "ms", 1), Mark::info);
    DeleteFileW(L"ms.ini");
    SetCurrentDirectoryW(temp);
    RemoveDirectoryW(folder.c_str());
    return 0;
}

} // namespace
} // namespace tessaline::bench

int wmain(int argc, wchar_t** argv) {
    const int servers = argc > 1 ? _wtoi(argv[1]) : 10'000;
    const int rounds = argc > 2 ? _wtoi(argv[2]) : 5;
    return tessaline::bench::run(servers, rounds > 0 ? rounds : 5);
}
