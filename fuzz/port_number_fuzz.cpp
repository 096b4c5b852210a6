// Fuzz target: the probe's port number read from a port text, against a
// reading written out from the rules (fold the full-width characters, then
// read a decimal number as strtol does, wrapping at 32 bits) and against
// strtol itself where no wrap is involved.
#include "fuzz/reference936.h"
#include "probe/port_number.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace tessaline;
using fuzz::check;

std::string referenceFold(std::string_view text) {
    std::string folded;
    for (std::size_t start : fuzz::characterStarts(text)) {
        const auto lead = static_cast<unsigned char>(text[start]);
        if (lead < 0x80) {
            folded += text[start];
            continue;
        }
        if (start + 1 == text.size()) break;  // a lead byte with no trail byte ends the text
        const auto trail = static_cast<unsigned char>(text[start + 1]);
        if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
            folded += static_cast<char>(trail - 0x80);
        } else if (lead == 0xA1 && trail == 0xA1) {
            folded += ' ';
        } else if (lead == 0xA1 && trail == 0xAB) {
            folded += '~';
        } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
            folded += '*';
        } else {
            folded += text.substr(start, 2);
        }
    }
    return folded;
}

// Decimal reading: white space, one sign, digits; the value kept modulo 2^32.
std::int32_t referenceRead(std::string_view text, std::size_t& digits) {
    std::size_t i = 0;
    while (i < text.size() && std::string_view(" \t\n\v\f\r").find(text[i]) != std::string_view::npos) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::uint64_t value = 0;
    digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        value = (value * 10 + static_cast<std::uint64_t>(text[i] - '0')) % 0x100000000u;
    }
    if (negative) value = (0x100000000u - value) % 0x100000000u;
    const std::int64_t wrapped = value >= 0x80000000u ? static_cast<std::int64_t>(value) - 0x100000000 : static_cast<std::int64_t>(value);
    return static_cast<std::int32_t>(wrapped);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view portText(reinterpret_cast<const char*>(data), size);

    const std::string folded = foldFullWidth(portText);
    check(folded == referenceFold(portText), "full-width characters fold to their ASCII forms");
    check(foldFullWidth(folded) == folded, "folding twice changes nothing more");

    std::size_t digits = 0;
    const std::int32_t expected = referenceRead(folded, digits);
    const std::int32_t number = parsePortNumber(portText);
    check(number == expected, "the port number is the decimal reading wrapped at 32 bits");

    // Up to nine digits never wrap: strtol reads the same number.
    if (digits <= 9 && folded.find('\0') == std::string::npos) {
        check(static_cast<long>(number) == std::strtol(folded.c_str(), nullptr, 10), "strtol agrees");
    }

    const std::int32_t probed = probePortNumber(portText);
    check(probed >= 1, "the probe's number is at least 1");
    check(probed == (number < 1 ? 1 : number), "numbers below 1 are probed as 1");
    check(tcpPortFor(probed) == static_cast<std::uint16_t>(static_cast<std::uint32_t>(probed) % 65536u),
          "the TCP port is the low 16 bits");
    return 0;
}
