// Scanning of code page 936 (GBK) byte texts: a byte of 0x80 or above starts
// a two-byte character whose second byte is never matched on its own.
// Every finder and splitter of the program goes through these functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline::text936 {

inline constexpr std::size_t npos = std::string_view::npos;

// True when the byte starts a two-byte character.
constexpr bool isLeadByte(char c) noexcept { return static_cast<unsigned char>(c) >= 0x80; }

// Byte length of the character that starts at index i: 2 for a lead byte
// followed by another byte, otherwise 1 (a lone lead byte at the end is 1).
constexpr std::size_t charLength(std::string_view text, std::size_t i) noexcept {
    return (isLeadByte(text[i]) && i + 1 < text.size()) ? 2 : 1;
}

// Index of the first occurrence of needle that starts at a character
// boundary at or after `from` (itself a boundary), or npos. An empty needle
// is found at `from`.
std::size_t find(std::string_view text, std::string_view needle, std::size_t from = 0) noexcept;

inline bool contains(std::string_view text, std::string_view needle) noexcept {
    return find(text, needle) != npos;
}

// Index of the last byte c (an ASCII byte) that is a character of its own, or npos.
std::size_t findLast(std::string_view text, char c) noexcept;

// Pieces between separators: empty pieces count, an empty first piece too;
// the text after the last separator is a piece only when it is not empty, so
// a separator at the very end adds nothing; an empty text gives no pieces.
std::vector<std::string_view> split(std::string_view text, std::string_view separator);
// The same pieces into a vector the caller keeps, so that a loop over many
// lines allocates once.
void splitInto(std::string_view text, std::string_view separator, std::vector<std::string_view>& pieces);

// Every occurrence of placeholder replaced by value, left to right, without
// overlap; scanning goes on behind each inserted value, which is never searched.
std::string replaceAll(std::string_view text, std::string_view placeholder, std::string_view value);

// The bytes up to, not including, the first NUL byte (all of them without one).
constexpr std::string_view untilNul(std::string_view bytes) noexcept {
    return bytes.substr(0, bytes.find('\0'));
}

} // namespace tessaline::text936
