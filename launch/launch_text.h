// The texts of a session launch that need no Windows: the client's switches,
// its command line, the temporary file's name and the LocalDevices value's path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/config_format.h"

namespace tessaline {

// "/console ", "/admin ", "/w:800 /h:600 ", "/w:1024 /h:768 " for each checked
// control, in that order; empty when none is checked.
std::string buildLaunchOptions(const LaunchOptionStates& options);

// "mstsc.exe ", the path, " " and the options. A path holding a space or a tab
// goes in double quotation marks, so that the client gets it as one argument.
std::string buildCommandLine(std::string_view tempFilePath, std::string_view launchOptions);

// The directory (a backslash added unless it ends in one or is empty), the
// number in lower-case hexadecimal without leading zeros, and ".tmp".
std::string tempFileNameFor(std::string_view tempDirectory, std::uint32_t number);

// The Remote Desktop client's per-user key that holds one value per server address.
inline constexpr std::string_view localDevicesKey = "Software\\Microsoft\\Terminal Server Client\\LocalDevices";

// The value's data: REG_DWORD 76.
inline constexpr std::uint32_t localDevicesData = 76;

// Where the LocalDevices value of an address lives below HKEY_CURRENT_USER.
struct RegistryValuePath {
    std::string key;
    std::string valueName;  // empty: the key's default value

    friend bool operator==(const RegistryValuePath&, const RegistryValuePath&) = default;
};

// The LocalDevices key and the address joined by a backslash, cut at the last
// backslash that is a character of its own: an address holding a backslash
// moves the cut into a further key.
RegistryValuePath localDevicesValuePath(std::string_view address);

} // namespace tessaline
