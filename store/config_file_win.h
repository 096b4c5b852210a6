// Reading and replacing the configuration file on Windows, in one piece.
#pragma once

#include <string>
#include <string_view>

namespace tessaline {

// The whole file's bytes; empty when it is missing or cannot be opened or read.
std::string readFileBytes(const std::wstring& path);

// Makes bytes the complete content of path: 0 on success, else the Win32
// error code. The bytes go to a new file in the same folder first, which then
// replaces the target in one step, so the target is never left half-written;
// on failure the target is left as it was and the new file is deleted.
// A read-only target is a failure (ERROR_ACCESS_DENIED), as is one that
// another handle holds open without sharing.
unsigned long replaceFileContents(const std::wstring& path, std::string_view bytes);

} // namespace tessaline
