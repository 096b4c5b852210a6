// The text of the Remote Desktop connection file written for each Connect
// command: a fixed 38-line template with the account, the address and port
// and the protected password put in. Code page 936, CR LF lines.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "store/server_table.h"

namespace tessaline {

// The 908 bytes (38 lines, each ending in CR LF) that every connection file starts from.
extern const std::string_view connectionFileTemplate;

// Placeholders of the template, in code page 936.
inline constexpr std::string_view accountPlaceholder = "%\xD5\xCB\xBA\xC5%";                    // %账号%
inline constexpr std::string_view addressPlaceholder = "%\xB7\xFE\xCE\xF1\xC6\xF7\xB5\xD8\xD6\xB7%"; // %服务器地址%
inline constexpr std::string_view passwordPlaceholder = "%\xC3\xDC\xC2\xEB%";                   // %密码%

// What the password placeholder becomes, in front of the encoded password.
inline constexpr std::string_view passwordLinePrefix = "password 51:b:";

// Size of the block handed to the data-protection function, whatever the password's length.
inline constexpr std::size_t passwordBlockSize = 512;

// The connection file text for one server. The account, the address and the
// port go in as withoutLineBreaks gives them, so that a value never adds or
// swallows a line break of the file. encodePassword is called only when the password is not empty;
// with an empty password the placeholder line stays as it is.
std::string buildConnectionText(const ServerEntry& entry,
                                const std::function<std::string(std::string_view password)>& encodePassword);

// The text without its CR and LF bytes, and without a lead byte that is then
// left alone at its end.
std::string withoutLineBreaks(std::string_view text);

// Formats one byte as upper-case hexadecimal without padding ("%X").
using FormatByte = std::function<std::string(unsigned char)>;

// The portable formatter: "0" to "FF", upper case, no padding.
std::string formatByteUpperHex(unsigned char byte);

// Two upper-case hexadecimal digits for each byte (a one-digit result of
// formatByte gets a "0" in front), then one more "0": N bytes give 2N + 1 characters.
std::string hexEncodeBlob(std::span<const unsigned char> bytes, const FormatByte& formatByte = formatByteUpperHex);

} // namespace tessaline
