// Code page 936 scanning: finding, splitting and replacing at character
// boundaries, so that the second byte of a two-byte character never matches.
#include "store/text936.h"

namespace tessaline::text936 {

namespace {

// Whether index k (from <= k < text.size(), from a character boundary) is a
// character boundary. A byte below 0x80 always ends a character, so the
// position after the last such byte before k is a boundary; from there on
// every byte up to k is 0x80 or above, and those bytes pair up as two-byte
// characters. `known` is a boundary at or after from that callers move forward
// as they scan, so each byte is looked at only once.
inline bool isBoundary(std::string_view text, std::size_t known, std::size_t k) noexcept {
    std::size_t b = k;
    while (b > known && isLeadByte(text[b - 1])) --b;
    return (k - b) % 2 == 0;
}

} // namespace

std::size_t find(std::string_view text, std::string_view needle, std::size_t from) noexcept {
    if (from > text.size()) return npos;
    if (needle.empty()) return from;
    std::size_t known = from;
    // Byte-wise search first; a hit inside a two-byte character is skipped.
    for (std::size_t k = text.find(needle, from); k != npos; k = text.find(needle, k + 1)) {
        if (isBoundary(text, known, k)) return k;
        known = k + 1;  // k is a second byte, so a character starts behind it
    }
    return npos;
}

std::size_t findLast(std::string_view text, char c) noexcept {
    if (isLeadByte(c)) {
        // Not an ASCII byte: only a forward scan can tell its characters.
        std::size_t found = npos;
        for (std::size_t i = 0; i < text.size(); i += charLength(text, i)) {
            if (text[i] == c) found = i;
        }
        return found;
    }
    // Each candidate is an ASCII byte, and the run of high bytes before it
    // ends at the next ASCII byte to its left, so no byte is read twice.
    for (std::size_t k = text.rfind(c); k != npos; k = (k == 0) ? npos : text.rfind(c, k - 1)) {
        if (isBoundary(text, 0, k)) return k;
    }
    return npos;
}

void splitInto(std::string_view text, std::string_view separator, std::vector<std::string_view>& pieces) {
    pieces.clear();
    if (text.empty()) return;
    if (separator.empty()) {
        pieces.push_back(text);
        return;
    }
    std::size_t start = 0;
    for (std::size_t at = find(text, separator, 0); at != npos; at = find(text, separator, start)) {
        pieces.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
    if (start < text.size()) pieces.push_back(text.substr(start));
}

std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> pieces;
    splitInto(text, separator, pieces);
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
