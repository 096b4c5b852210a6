// Program-wide state and the configuration file's load and save.
#include "app/program.h"

#include <windows.h>

#include "store/config_cipher.h"
#include "store/config_file_win.h"

namespace tessaline {

ServerTable& serverTable() {
    // Deliberately never destroyed: see the header.
    static ServerTable* const table = new ServerTable;
    return *table;
}

ProgramState& program() {
    // Never destroyed either: releaseAtExit, registered with atexit, empties
    // it on the way out, after static destructors have begun to run.
    static ProgramState* const state = new ProgramState;
    return *state;
}

void loadConfigFile() {
    ProgramState& state = program();
    state.configBytes = configCipher(readFileBytes(L"ms.ini"), configKey);
    state.startupPassword = startupPasswordFrom(state.configBytes);
}

unsigned long saveConfigFile(const LaunchOptionStates& options) {
    const std::vector<ServerEntry> entries = serverTable().snapshot();
    std::string plain = serializeConfig(entries, options, program().startupPassword);
    const std::string enciphered = configCipher(plain, configKey);
    SecureZeroMemory(plain.data(), plain.size());  // it holds the passwords
    return replaceFileContents(L"ms.ini", enciphered);
}

void releaseAtExit() {
    serverTable().clear();
    ProgramState& state = program();
    std::string().swap(state.configBytes);
    std::string().swap(state.startupPassword);
}

} // namespace tessaline
