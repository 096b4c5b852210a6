// Helpers shared by the launcher's Windows tests.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tessaline::win::testing {

// The folder of the running test program.
inline std::filesystem::path programFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return std::filesystem::path(path).parent_path();
}

// Hexadecimal digits (pairs) back to bytes; the final lone digit is dropped.
inline std::vector<unsigned char> unhex(std::string_view hex) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

// A text no earlier run has used, for registry names and such.
inline std::string uniqueName(const char* stem) {
    static unsigned serial = 0;
    return std::string(stem) + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) +
           "-" + std::to_string(++serial);
}

} // namespace tessaline::win::testing
