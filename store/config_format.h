// The plain text of "ms.ini": server lines, option lines and the start-up
// password line, read and written without escaping.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/server_table.h"

namespace tessaline {

inline constexpr std::string_view configFileName = "ms.ini";
inline constexpr std::string_view configKey = "3619";
inline constexpr std::string_view passwordStartMarker = "#LoadinPass:<";
inline constexpr std::string_view passwordEndMarker = ">";

// Checked states of the four launch-option controls of the main window.
struct LaunchOptionStates {
    bool console = false;     // 选择框_onsole
    bool admin = false;       // 选择框_admin
    bool res800x600 = false;  // 单选框800600
    bool res1024x768 = false; // 单选框1024768

    friend bool operator==(const LaunchOptionStates&, const LaunchOptionStates&) = default;
};

// The pieces between startMarker and the next endMarker, joined by "||";
// empty when a start marker has no end marker after it.
std::string extractMarked(std::string_view text, std::string_view startMarker, std::string_view endMarker);

// The start-up password held in deciphered configuration bytes.
std::string startupPasswordFrom(std::string_view configBytes);

struct ParsedConfig {
    std::vector<ServerEntry> entries;  // every status Unknown
    // Controls the file turns on; it never turns one off. The two radio
    // buttons form one group, so at most one of them is set: the one chosen
    // by the last "#Start:" line.
    LaunchOptionStates turnOn;
};

// Entries and option markers of deciphered configuration bytes (up to the first NUL).
ParsedConfig parseConfig(std::string_view configBytes);

// The plain text that "ms.ini" enciphers.
std::string serializeConfig(std::span<const ServerEntry> entries, const LaunchOptionStates& options,
                            std::string_view startupPassword);

// Texts the format can keep as they are. A server text must hold no "|", CR or
// LF and none of the option or password markers; a start-up password no ">",
// "|", CR, LF or "#Start:". Neither may hold a NUL or end in the first byte of
// a two-byte character (it would take the separator after it as its second byte).
bool isStorableServerText(std::string_view text);
bool isStorableStartupPassword(std::string_view password);

} // namespace tessaline
