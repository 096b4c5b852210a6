// A stand-in for the Remote Desktop client, for tests only: records how it
// was started (see standin_record.h), then shows a window and runs a message
// loop so that WaitForInputIdle returns, and ends after a short while.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>

#include "tests/standin/standin_record.h"

namespace {

std::wstring folderOfThisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return L".";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::string encode(UINT codePage, const std::wstring& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), bytes, nullptr, nullptr);
    return out;
}

void writeFile(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

bool readFile(const std::wstring& path, std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char chunk[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != FALSE) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return ok;
}

// A new numbered folder of its own below the records folder.
std::wstring newRecordFolder() {
    const std::wstring records = folderOfThisProgram() + L"\\" + std::wstring(L"mstsc-calls");
    CreateDirectoryW(records.c_str(), nullptr);
    for (unsigned number = 1;; ++number) {
        const std::wstring folder = records + L"\\" + std::to_wstring(number);
        if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
}

DWORD millisecondsFrom(const char* variable, DWORD fallback) {
    const char* text = std::getenv(variable);
    return text && *text ? static_cast<DWORD>(std::strtoul(text, nullptr, 10)) : fallback;
}

void record() {
    const std::wstring folder = newRecordFolder();
    if (folder.empty()) return;
    const std::wstring commandLine = GetCommandLineW();
    writeFile(folder + L"\\command-line.utf8", encode(CP_UTF8, commandLine));
    writeFile(folder + L"\\command-line.936", encode(936, commandLine));

    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine.c_str(), &count);
    const std::wstring fileArgument = arguments && count > 1 ? arguments[1] : L"";
    if (arguments) LocalFree(arguments);
    writeFile(folder + L"\\file-argument.utf8", encode(CP_UTF8, fileArgument));
    std::string copy;
    if (!fileArgument.empty() && readFile(fileArgument, copy)) writeFile(folder + L"\\file-copy.bin", copy);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    writeFile(folder + L"\\startup.txt",
              "flags=" + std::to_string(startup.dwFlags) + " show=" + std::to_string(startup.wShowWindow));
    writeFile(folder + L"\\process-id.txt", std::to_string(GetCurrentProcessId()));
    writeFile(folder + L"\\complete", "");
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER || message == WM_CLOSE) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    record();
    Sleep(millisecondsFrom(tessaline::standin::busyMillisecondsVariable, 0));

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"TessalineMstscStandIn";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"mstsc stand-in", WS_OVERLAPPEDWINDOW,
                                        CW_USEDEFAULT, CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, showCommand);
    SetTimer(window, 1, millisecondsFrom(tessaline::standin::lifetimeMillisecondsVariable, 300), nullptr);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
