// The program-wide state that the windows' handlers share, and the
// configuration's way in and out of "ms.ini".
#pragma once

#include <string>

#include "store/config_format.h"
#include "store/server_table.h"

namespace tessaline {

// The one server table of the run. It lives until the process ends, so
// that probe threads abandoned at exit never meet a destroyed object;
// releaseAtExit empties it.
ServerTable& serverTable();

struct ProgramState {
    std::string configBytes;      // deciphered "ms.ini", unchanged after start-up
    std::string startupPassword;  // empty: none
    bool accessGranted = false;
    int editIndex = 0;            // 0: the editor adds; n > 0: it edits position n
};

// The one program state; like the table, it lives until the process ends.
ProgramState& program();

// Reads and deciphers "ms.ini" (relative to the current directory) into
// configBytes, and takes the start-up password from it.
void loadConfigFile();

// Serializes the table, the options and the start-up password, enciphers
// them and replaces "ms.ini" in one step. Returns 0 or the Windows error.
unsigned long saveConfigFile(const LaunchOptionStates& options);

// Releases the table's entries and the configuration texts; registered
// with atexit, so it runs once on every way out.
void releaseAtExit();

} // namespace tessaline
