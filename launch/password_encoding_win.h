// The password line's data: the password protected for the current Windows
// user with CryptProtectData, written as hexadecimal text.
#pragma once

#include <string>
#include <string_view>

#include "launch/system_functions_win.h"

namespace tessaline::win {

// Description stored with the protected block.
inline constexpr std::wstring_view savedPasswordDescription = L"psw";

// The 512-byte block that begins with the password in UTF-16LE and its
// terminator (the first 256 units only, without terminator, for longer
// passwords; zero bytes after it), protected with the description "psw" and
// written by hexEncodeBlob: upper-case digits, two a byte, and a final "0".
// When the protection fails the result is "0". The converted password and the
// block are wiped once the protected blob has been made.
std::string encodeSavedPassword(std::string_view password936);

// The same with a chosen protection function in place of CryptProtectData.
std::string encodeSavedPasswordWith(std::string_view password936, CryptProtectDataFunction protect);

} // namespace tessaline::win
