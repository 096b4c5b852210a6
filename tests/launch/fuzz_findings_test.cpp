// Inputs the fuzz targets found, kept as cases: a connection file value that
// ends in the first byte of a two-byte character must not take the CR of its
// line as that character's second byte.
//
// Code page 936 bytes used below:
//   "\xB7\xFE\xCE\xF1\xC6\xF7" 服务器   "\xB5\xD8" 地   "\xB9\xDC" 管   "\xC3\xDC\xC2\xEB" 密码
#include "launch/connection_file.h"

#include "store/text936.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline {
namespace {

struct LoneLeadByteCase {
    const char* name;
    ServerEntry entry;
    std::string_view line9;
    std::string_view line18;

    friend void PrintTo(const LoneLeadByteCase& c, std::ostream* os) { *os << c.name; }
};

ServerEntry entry(std::string address, std::string port, std::string account) {
    ServerEntry e;
    e.address = std::move(address);
    e.port = std::move(port);
    e.account = std::move(account);
    return e;
}

class LoneLeadByteAtValueEnd : public ::testing::TestWithParam<LoneLeadByteCase> {};

TEST_P(LoneLeadByteAtValueEnd, KeepsEveryLineBreakWhole) {
    const LoneLeadByteCase& c = GetParam();
    const std::string text = buildConnectionText(c.entry, [](std::string_view) { return std::string("0"); });

    // The lines as a code page 936 reader finds them: CR LF at character starts.
    const std::vector<std::string_view> lines = text936::split(text, "\r\n");
    ASSERT_EQ(lines.size(), 38u) << text;
    ASSERT_TRUE(text.ends_with("\r\n"));
    EXPECT_EQ(lines[8], c.line9);
    EXPECT_EQ(lines[17], c.line18);
    EXPECT_EQ(lines[18], passwordPlaceholder);

    // Every other line is the template's.
    const std::vector<std::string_view> templateLines = text936::split(connectionFileTemplate, "\r\n");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i != 8 && i != 17) {
            EXPECT_EQ(lines[i], templateLines[i]) << "line " << i + 1;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoneLeadByteAtValueEnd,
    ::testing::Values(
        // As the fuzzer found it: the account ends in half of "地".
        LoneLeadByteCase{"AccountEndingInHalfAPlaceholder",
                         entry("h%\xC3\xDC\xC2\xEB%", "1", "u%\xB7\xFE\xCE\xF1\xC6\xF7\xB5"),
                         "username:s:u%\xB7\xFE\xCE\xF1\xC6\xF7", "full address:s:h%\xC3\xDC\xC2\xEB%:1"},
        LoneLeadByteCase{"AccountOfOneLeadByte", entry("srv", "3389", "\x81"), "username:s:",
                         "full address:s:srv:3389"},
        LoneLeadByteCase{"LeadByteBeforeLeftOutLineBreak", entry("srv", "3389", "adm\x81\r\n"), "username:s:adm",
                         "full address:s:srv:3389"},
        LoneLeadByteCase{"AddressEndingInLeadByte", entry("host\xB5", "3389", "u"), "username:s:u",
                         "full address:s:host:3389"},
        LoneLeadByteCase{"AddressOfLeadByteAndLineFeed", entry("\x81\n", "1", "u"), "username:s:u",
                         "full address:s::1"},
        LoneLeadByteCase{"PortEndingInLeadByte", entry("srv", "33\xA3", "u"), "username:s:u",
                         "full address:s:srv:33"},
        // Whole characters stay, also when a left-out line break stood between their bytes.
        LoneLeadByteCase{"WholeCharacterBeforeLineBreakStays", entry("srv", "3389", "\xB9\xDC\r\n"),
                         "username:s:\xB9\xDC", "full address:s:srv:3389"},
        LoneLeadByteCase{"LeadBytesPairUp", entry("srv", "3389", "\x81\x81"), "username:s:\x81\x81",
                         "full address:s:srv:3389"},
        LoneLeadByteCase{"LeadByteTakesByteAfterLeftOutBreak", entry("srv", "3389", "a\x81\rb"),
                         "username:s:a\x81" "b", "full address:s:srv:3389"}),
    [](const ::testing::TestParamInfo<LoneLeadByteCase>& found) { return std::string(found.param.name); });

} // namespace
} // namespace tessaline
