// Port texts as typed, read into the port a probe connects to.
#include "probe/port_number.h"

#include <gtest/gtest.h>

#include <string>

namespace tessaline {
namespace {

struct PortCase {
    const char* what;
    std::string text;
    std::int32_t parsed;     // parsePortNumber
    std::uint16_t tcpPort;   // tcpPortFor(probePortNumber)
};

const PortCase kPortCases[] = {
    {"plain digits", "3389", 3389, 3389},
    {"digits then letters", "3389abc", 3389, 3389},
    {"digits then a blank and more digits", "33 89", 33, 33},
    {"letters only", "rdp", 0, 1},
    {"empty", "", 0, 1},
    {"blanks only", "   ", 0, 1},
    {"zero", "0", 0, 1},
    {"negative", "-3389", -3389, 1},
    {"minus one", "-1", -1, 1},
    {"sign alone", "+", 0, 1},
    {"minus alone", "-", 0, 1},
    {"two signs", "+-3389", 0, 1},
    {"plus sign", "+3389", 3389, 3389},
    {"every white space byte before", " \t\n\v\f\r3389", 3389, 3389},
    {"white space after the sign ends the number", "+ 3389", 0, 1},
    {"above 65535 keeps the low 16 bits", "68925", 68925, 3389},
    {"65536 is port 0 of the low bits", "65536", 65536, 0},
    {"2^32 + 3389 wraps to 3389", "4294970685", 3389, 3389},
    {"2^31 wraps to the lowest value", "2147483648", INT32_MIN, 1},
    {"largest value", "2147483647", INT32_MAX, 65535},
    {"negative wrap to a positive value", "-4294963907", 3389, 3389},
    {"many digits wrap modulo 2^32", "18446744073709555005", 3389, 3389},
    {"full-width digits", "\xA3\xB3\xA3\xB3\xA3\xB8\xA3\xB9", 3389, 3389},
    {"full-width and ASCII digits mixed", "\xA3\xB3" "389", 3389, 3389},
    {"full-width plus", "\xA3\xAB" "3389", 3389, 3389},
    {"full-width minus", "\xA3\xAD" "3389", -3389, 1},
    {"ideographic space is a blank", "\xA1\xA1" "3389", 3389, 3389},
    {"full-width letters stop the digits", "3389\xA3\xE1", 3389, 3389},
    {"another double-byte character stops the digits", "33\xB0\xA1" "89", 33, 33},
    {"a double-byte character before the digits", "\xB0\xA1" "3389", 0, 1},
    {"lead byte 0xA3 with a trail below 0xA1 is kept as it is", "\xA3\x33" "3389", 0, 1},
    {"lone lead byte ends the text", "3389\xA3", 3389, 3389},
    {"lone lead byte after a sign", "-\xA3", 0, 1},
    {"tilde and stars stop the digits", "\xA1\xAB" "3389", 0, 1},
};

TEST(PortNumber, ReadsPortTexts) {
    for (const PortCase& c : kPortCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(parsePortNumber(c.text), c.parsed);
        EXPECT_EQ(probePortNumber(c.text), c.parsed < 1 ? 1 : c.parsed);
        EXPECT_EQ(tcpPortFor(probePortNumber(c.text)), c.tcpPort);
    }
}

struct FoldCase {
    const char* what;
    std::string text;
    std::string folded;
};

const FoldCase kFoldCases[] = {
    {"ASCII unchanged", "abc 123", "abc 123"},
    {"full-width digits", "\xA3\xB0\xA3\xB9", "09"},
    {"full-width letters and signs", "\xA3\xC1\xA3\xE1\xA3\xAB\xA3\xAD\xA3\xA1\xA3\xFE", "Aa+-!~"},
    {"ideographic space", "\xA1\xA1", " "},
    {"tilde", "\xA1\xAB", "~"},
    {"two stars", "\xA1\xEE\xA1\xEF", "**"},
    {"other double-byte characters kept", "\xB7\xFE\xCE\xF1", "\xB7\xFE\xCE\xF1"},
    {"0xA3 with trail 0xA0 kept", "\xA3\xA0", "\xA3\xA0"},
    {"0xA3 0xFF kept", "\xA3\xFF", "\xA3\xFF"},
    {"other 0xA1 characters kept", "\xA1\xA2", "\xA1\xA2"},
    {"trail byte 0xA3 is not a lead byte", "\xB0\xA3\xB3", "\xB0\xA3"},
    {"lone lead byte ends the text", "12\xA3", "12"},
    {"empty", "", ""},
};

TEST(PortNumber, FoldsFullWidthForms) {
    for (const FoldCase& c : kFoldCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(foldFullWidth(c.text), c.folded);
    }
}

} // namespace
} // namespace tessaline
