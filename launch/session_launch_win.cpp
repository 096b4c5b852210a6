// Temporary file, registry value and client start of a session launch.
#include "launch/session_launch_win.h"

#include <vector>

#include "launch/connection_file.h"
#include "launch/handles_win.h"
#include "launch/launch_text.h"
#include "launch/password_encoding_win.h"

namespace tessaline::win {

std::uint32_t tempNameCounter = 0;

std::string tempDirectory() {
    const DWORD needed = GetTempPathW(0, nullptr);
    if (needed == 0) return {};
    std::wstring path(needed, L'\0');
    const DWORD length = GetTempPathW(needed, path.data());
    if (length == 0 || length >= needed) return {};
    path.resize(length);
    return narrow936(path);
}

std::string firstFreeTempName(std::string_view directory, std::uint32_t number) {
    for (;;) {
        std::string name = tempFileNameFor(directory, number);
        WIN32_FIND_DATAW found;
        OwnedFind search(FindFirstFileW(widen936(name).c_str(), &found));
        if (!search.valid()) return name;
        ++number;
    }
}

std::string makeTempFileName() {
    const std::uint32_t number = GetTickCount() + tempNameCounter;
    ++tempNameCounter;
    return firstFreeTempName(tempDirectory(), number);
}

DWORD writeConnectionFile(std::string_view path936, std::string_view bytes) {
    OwnedHandle file(CreateFileW(widen936(path936).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return GetLastError();
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        return GetLastError();
    }
    return written == bytes.size() ? 0 : ERROR_WRITE_FAULT;
}

LocalDevicesOutcome ensureLocalDevicesValue(std::string_view address936) {
    const RegistryValuePath path = localDevicesValuePath(address936);
    const std::wstring key = widen936(path.key);
    const std::wstring valueName = widen936(path.valueName);

    {
        OwnedKey reading;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, reading.receive()) == ERROR_SUCCESS &&
            RegQueryValueExW(reading.get(), valueName.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            return {LocalDevicesOutcome::Kind::AlreadyPresent, ERROR_SUCCESS};
        }
    }

    OwnedKey writing;
    LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_WRITE, writing.receive());
    if (status != ERROR_SUCCESS) {
        *writing.receive() = nullptr;  // nothing was opened
        status = RegCreateKeyW(HKEY_CURRENT_USER, key.c_str(), writing.receive());
        if (status != ERROR_SUCCESS) return {LocalDevicesOutcome::Kind::Failed, status};
    }
    const DWORD data = localDevicesData;
    status = RegSetValueExW(writing.get(), valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                            sizeof data);
    if (status != ERROR_SUCCESS) return {LocalDevicesOutcome::Kind::Failed, status};
    return {LocalDevicesOutcome::Kind::Written, ERROR_SUCCESS};
}

ClientStart startRemoteDesktopClient(std::string_view commandLine936) {
    // CreateProcessW may write into the command line, so it gets a copy of its own.
    std::wstring commandLine = widen936(commandLine936);
    commandLine.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};

    ClientStart outcome;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        outcome.error = GetLastError();
        return outcome;
    }
    const OwnedHandle processHandle(process.hProcess);
    const OwnedHandle threadHandle(process.hThread);
    outcome.started = true;
    outcome.processId = process.dwProcessId;
    outcome.waitResult = WaitForInputIdle(process.hProcess, clientIdleWaitMilliseconds);
    return outcome;
}

SessionLaunch openRemoteSession(const ServerEntry& entryCopy, const LaunchOptionStates& options) {
    SessionLaunch launch;
    launch.tempFilePath = makeTempFileName();
    const std::string text = buildConnectionText(entryCopy, encodeSavedPassword);
    launch.fileError = writeConnectionFile(launch.tempFilePath, text);
    launch.localDevices = ensureLocalDevicesValue(entryCopy.address);
    launch.commandLine = buildCommandLine(launch.tempFilePath, buildLaunchOptions(options));
    launch.client = startRemoteDesktopClient(launch.commandLine);
    return launch;
}

} // namespace tessaline::win
