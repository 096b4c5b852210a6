// The TCP port a reachability probe uses, read from the port text as typed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaline {

// Full-width forms folded to their ASCII bytes: a code page 936 character
// 0xA3 0xA1..0xFE becomes (trail & 0x7F); 0xA1 0xA1 (ideographic space)
// becomes a blank, 0xA1 0xAB "~", 0xA1 0xEE and 0xA1 0xEF "*". Every other
// character is kept as it is; a lead byte with no trail byte ends the text.
std::string foldFullWidth(std::string_view text);

// The folded text read as a decimal integer: leading white space (blank, tab,
// LF, VT, FF, CR), one optional sign, then digits up to the first other byte.
// No digits gives 0; values beyond 32 bits wrap around.
std::int32_t parsePortNumber(std::string_view portText);

// parsePortNumber, with every value below 1 replaced by 1.
std::int32_t probePortNumber(std::string_view portText);

// The TCP port actually connected to: the low 16 bits of the probe number.
constexpr std::uint16_t tcpPortFor(std::int32_t probePort) noexcept {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(probePort) & 0xFFFFu);
}

} // namespace tessaline
