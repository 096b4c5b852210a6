// Slow, obviously correct code page 936 scanning for the fuzz targets to
// check the program against: character boundaries are found by walking the
// text from its first byte, one character at a time, every time.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline::fuzz {

// Stops the run with a message; libFuzzer keeps the input as a crash.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

inline void check(bool holds, const char* what) {
    if (!holds) fail(what);
}

// Start indexes of every character of the text: a byte of 0x80 or above and
// the byte after it form one character; a lead byte at the very end stands alone.
inline std::vector<std::size_t> characterStarts(std::string_view text) {
    std::vector<std::size_t> starts;
    std::size_t i = 0;
    while (i < text.size()) {
        starts.push_back(i);
        const bool lead = static_cast<unsigned char>(text[i]) >= 0x80;
        i += (lead && i + 1 < text.size()) ? 2 : 1;
    }
    return starts;
}

inline bool isCharacterStart(std::string_view text, std::size_t index) {
    if (index == text.size()) return true;
    for (std::size_t start : characterStarts(text)) {
        if (start == index) return true;
    }
    return false;
}

// True when the text's last character is a lead byte without its second byte.
inline bool endsInLoneLeadByte(std::string_view text) {
    const std::vector<std::size_t> starts = characterStarts(text);
    return !starts.empty() && starts.back() == text.size() - 1 &&
           static_cast<unsigned char>(text.back()) >= 0x80;
}

// First character start at or after `from` where needle's bytes begin, or npos.
inline std::size_t findAtCharacter(std::string_view text, std::string_view needle, std::size_t from) {
    for (std::size_t start : characterStarts(text)) {
        if (start < from) continue;
        if (text.substr(start, needle.size()) == needle) return start;
    }
    if (needle.empty() && from == text.size()) return from;
    return std::string_view::npos;
}

// Start indexes of the needle's occurrences, found character by character
// from the first byte, left to right, without overlap. The needle must not be empty.
inline std::vector<std::size_t> occurrencesAtCharacters(std::string_view text, std::string_view needle) {
    std::vector<std::size_t> found;
    if (needle.empty()) return found;
    std::size_t next = 0;
    for (std::size_t start : characterStarts(text)) {
        if (start < next) continue;
        if (text.substr(start, needle.size()) == needle) {
            found.push_back(start);
            next = start + needle.size();
        }
    }
    return found;
}

inline std::size_t countAtCharacters(std::string_view text, std::string_view needle) {
    return occurrencesAtCharacters(text, needle).size();
}

// Pieces between separators found character by character: empty pieces
// count, the text after the last separator only when it is not empty, and an
// empty text gives none. The separator must not be empty.
inline std::vector<std::string> splitAtCharacters(std::string_view text, std::string_view separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t at : occurrencesAtCharacters(text, separator)) {
        pieces.emplace_back(text.substr(start, at - start));
        start = at + separator.size();
    }
    if (start < text.size()) pieces.emplace_back(text.substr(start));
    return pieces;
}

// Every occurrence of the placeholder, found character by character without
// overlap, replaced by the value. The placeholder must not be empty.
inline std::string replaceAtCharacters(std::string_view text, std::string_view placeholder, std::string_view value) {
    std::string out;
    std::size_t start = 0;
    for (std::size_t at : occurrencesAtCharacters(text, placeholder)) {
        out += text.substr(start, at - start);
        out += value;
        start = at + placeholder.size();
    }
    out += text.substr(start);
    return out;
}

} // namespace tessaline::fuzz
