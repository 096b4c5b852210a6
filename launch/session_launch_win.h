// The Connect command's work after the selection check: the temporary
// connection file, the LocalDevices value and the start of mstsc.exe.
// Nothing on this road is reported to the user; each step goes on whatever
// the one before it did. The outcomes are returned for the tests only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "store/config_format.h"
#include "store/server_table.h"
#include "store/text936_win.h"

namespace tessaline::win {

// Names made by makeTempFileName so far in this process.
extern std::uint32_t tempNameCounter;

// The user's temporary directory in code page 936, as GetTempPathW gives it;
// empty when it cannot be had.
std::string tempDirectory();

// tempFileNameFor(directory, number), with the number raised by one for as
// long as a file or directory of that name exists.
std::string firstFreeTempName(std::string_view directory, std::uint32_t number);

// A free name in the temporary directory for GetTickCount() + tempNameCounter;
// adds one to tempNameCounter. No file is made.
std::string makeTempFileName();

// Writes the bytes as the whole new content of the file (created or emptied).
// Returns 0 or the GetLastError value of the failed step.
DWORD writeConnectionFile(std::string_view path936, std::string_view bytes);

struct LocalDevicesOutcome {
    enum class Kind { AlreadyPresent, Written, Failed };
    Kind kind = Kind::Failed;
    LSTATUS error = ERROR_SUCCESS;  // of the failed step
};

// Writes REG_DWORD 76 named after the address under the LocalDevices key of
// HKEY_CURRENT_USER, unless a value of that name exists (whatever its type or data).
LocalDevicesOutcome ensureLocalDevicesValue(std::string_view address936);

struct ClientStart {
    bool started = false;
    DWORD error = 0;                // GetLastError of CreateProcessW when not started
    DWORD waitResult = WAIT_FAILED; // of WaitForInputIdle when started
    DWORD processId = 0;
};

// Starts the client with the command line (no application name, so the system
// search order finds mstsc.exe, the program's own folder first), shown
// normally, and waits at most one second for it to become ready for input.
// Keeps no handle to it.
ClientStart startRemoteDesktopClient(std::string_view commandLine936);

inline constexpr DWORD clientIdleWaitMilliseconds = 1000;

struct SessionLaunch {
    std::string tempFilePath;
    std::string commandLine;
    DWORD fileError = 0;
    LocalDevicesOutcome localDevices;
    ClientStart client;
};

// Makes the temporary name, writes the connection file of the entry, ensures
// its LocalDevices value, and starts the client with the options' switches.
SessionLaunch openRemoteSession(const ServerEntry& entryCopy, const LaunchOptionStates& options);

} // namespace tessaline::win
