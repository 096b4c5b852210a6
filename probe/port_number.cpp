// Reading a probe's port number from the port text.
#include "probe/port_number.h"

#include "store/text936.h"

namespace tessaline {

namespace {

constexpr bool isBlank(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

} // namespace

std::string foldFullWidth(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (!text936::isLeadByte(text[i])) {
            folded.push_back(text[i]);
            ++i;
            continue;
        }
        if (i + 1 >= text.size()) {
            break;  // a lead byte without its trail byte ends the text
        }
        const auto lead = static_cast<unsigned char>(text[i]);
        const auto trail = static_cast<unsigned char>(text[i + 1]);
        if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
            folded.push_back(static_cast<char>(trail & 0x7F));
        } else if (lead == 0xA1 && trail == 0xA1) {
            folded.push_back(' ');
        } else if (lead == 0xA1 && trail == 0xAB) {
            folded.push_back('~');
        } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
            folded.push_back('*');
        } else {
            folded.append(text.substr(i, 2));
        }
        i += 2;
    }
    return folded;
}

std::int32_t parsePortNumber(std::string_view portText) {
    const std::string text = foldFullWidth(portText);
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Unsigned arithmetic wraps modulo 2^32 without undefined behaviour.
    std::uint32_t value = 0;
    while (i < text.size() && isDigit(text[i])) {
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
        ++i;
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t probePortNumber(std::string_view portText) {
    const std::int32_t number = parsePortNumber(portText);
    return number < 1 ? 1 : number;
}

} // namespace tessaline
