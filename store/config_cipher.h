// The configuration cipher: RC4 as published, keystream XORed with the data.
// The same call enciphers and deciphers.
#pragma once

#include <string>
#include <string_view>

namespace tessaline {

// A new byte string of the data's length. An empty key leaves the state in
// its initial order 0..255 (the program never passes one).
std::string configCipher(std::string_view data, std::string_view key);

} // namespace tessaline
