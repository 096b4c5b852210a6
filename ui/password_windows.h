// The two start-up password windows.
#pragma once

namespace tessaline {

// Asks for the start-up password; sets accessGranted on the right one.
// Its Cancel button ends the program with exit code 0.
void runAuthenticationWindow();

// Sets, changes or clears the start-up password in memory.
void openStartupPasswordWindow();

} // namespace tessaline
