// Code page 936 scanning: finding, splitting and replacing at character
// boundaries, so that the second byte of a two-byte character never matches.
#include "store/text936.h"

#include <cstring>

namespace tessaline::text936 {

namespace {

// True when needle's bytes stand at index i of text (i + needle.size() <= text.size()).
inline bool matchesAt(std::string_view text, std::size_t i, std::string_view needle) noexcept {
    return std::memcmp(text.data() + i, needle.data(), needle.size()) == 0;
}

} // namespace

std::size_t find(std::string_view text, std::string_view needle, std::size_t from) noexcept {
    if (from > text.size()) return npos;
    if (needle.empty()) return from;
    if (needle.size() > text.size()) return npos;
    const std::size_t last = text.size() - needle.size();  // last index a match can start at
    const char first = needle.front();
    std::size_t i = from;
    while (i <= last) {
        const char c = text[i];
        if (c == first && matchesAt(text, i, needle)) return i;
        i += (isLeadByte(c) && i + 1 < text.size()) ? 2 : 1;
    }
    return npos;
}

std::size_t findLast(std::string_view text, char c) noexcept {
    std::size_t found = npos;
    std::size_t i = 0;
    while (i < text.size()) {
        const char b = text[i];
        if (b == c) found = i;
        i += (isLeadByte(b) && i + 1 < text.size()) ? 2 : 1;
    }
    return found;
}

std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> pieces;
    if (text.empty()) return pieces;
    if (separator.empty()) {
        pieces.push_back(text);
        return pieces;
    }
    std::size_t start = 0;
    std::size_t at = find(text, separator, 0);
    while (at != npos) {
        pieces.push_back(text.substr(start, at - start));
        start = at + separator.size();
        at = find(text, separator, start);
    }
    if (start < text.size()) pieces.push_back(text.substr(start));
    return pieces;
}

std::string replaceAll(std::string_view text, std::string_view placeholder, std::string_view value) {
    if (placeholder.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    std::size_t at = find(text, placeholder, 0);
    while (at != npos) {
        out.append(text.substr(start, at - start));
        out.append(value);
        start = at + placeholder.size();
        at = find(text, placeholder, start);
    }
    out.append(text.substr(start));
    return out;
}

} // namespace tessaline::text936
