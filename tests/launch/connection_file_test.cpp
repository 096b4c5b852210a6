// The connection file template's bytes and the rules that fill it.
#include "launch/connection_file.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace tessaline {
namespace {

// Code page 936 (GBK) bytes of the Chinese characters the template and these
// tests use, as iconv gives them ("账号" is D5CB BAC5).
const std::map<std::string, std::string> gbkOf = {
    {"账", "\xD5\xCB"}, {"号", "\xBA\xC5"}, {"服", "\xB7\xFE"}, {"务", "\xCE\xF1"}, {"器", "\xC6\xF7"},
    {"地", "\xB5\xD8"}, {"址", "\xD6\xB7"}, {"密", "\xC3\xDC"}, {"码", "\xC2\xEB"}, {"管", "\xB9\xDC"},
    {"理", "\xC0\xED"}, {"员", "\xD4\xB1"},
};

// A UTF-8 text of ASCII and the characters above, in code page 936.
std::string gbk(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            out.push_back(utf8[i++]);
            continue;
        }
        const auto found = gbkOf.find(std::string(utf8.substr(i, 3)));  // these characters take three UTF-8 bytes
        if (found == gbkOf.end()) {
            ADD_FAILURE() << "no code page 936 bytes known for the character at " << i << " of " << utf8;
            return out;
        }
        out += found->second;
        i += 3;
    }
    return out;
}

// The lines of the connection file as the user reads them.
const std::vector<std::string_view> templateLinesUtf8 = {
    "screen mode id:i:1", "desktopwidth:i:800", "desktopheight:i:600", "session bpp:i:16",
    "winposstr:s:0,3,0,0,800,600", "compression:i:1", "keyboardhook:i:2", "displayconnectionbar:i:1",
    "username:s:%账号%", "disable wallpaper:i:1", "disable full window drag:i:1", "allow desktop composition:i:0",
    "allow font smoothing:i:0", "disable menu anims:i:1", "disable themes:i:0", "disable cursor setting:i:0",
    "bitmapcachepersistenable:i:1", "full address:s:%服务器地址%", "%密码%", "audiomode:i:0",
    "redirectprinters:i:1", "redirectcomports:i:0", "redirectsmartcards:i:1", "redirectclipboard:i:1",
    "redirectposdevices:i:0", "drivestoredirect:s:", "autoreconnection enabled:i:1", "authentication level:i:0",
    "prompt for credentials:i:0", "negotiate security layer:i:1", "remoteapplicationmode:i:0", "alternate shell:s:",
    "shell working directory:s:", "gatewayhostname:s:", "gatewayusagemethod:i:4", "gatewaycredentialssource:i:4",
    "gatewayprofileusagemethod:i:0", "promptcredentialonce:i:1",
};

std::vector<std::string> templateLines() {
    std::vector<std::string> lines;
    for (auto line : templateLinesUtf8) lines.push_back(gbk(line));
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

TEST(ConnectionFileTemplate, IsTheThirtyEightLinesInCodePage936) {
    EXPECT_EQ(connectionFileTemplate.size(), 908u);
    EXPECT_EQ(connectionFileTemplate, joinLines(templateLines()));

    std::size_t crlf = 0;
    for (std::size_t i = 0; i + 1 < connectionFileTemplate.size(); ++i) {
        if (connectionFileTemplate[i] == '\r') {
            EXPECT_EQ(connectionFileTemplate[i + 1], '\n') << "CR without LF at " << i;
            ++crlf;
        }
    }
    EXPECT_EQ(crlf, 38u);
    EXPECT_EQ(connectionFileTemplate.substr(connectionFileTemplate.size() - 2), "\r\n");
}

TEST(ConnectionFileTemplate, PlaceholdersHaveTheirKnownBytes) {
    EXPECT_EQ(accountPlaceholder, "%\xD5\xCB\xBA\xC5%");
    EXPECT_EQ(addressPlaceholder, gbk("%服务器地址%"));
    EXPECT_EQ(passwordPlaceholder, gbk("%密码%"));
    EXPECT_EQ(passwordPlaceholder.size(), 6u);
}

struct FillCase {
    const char* name;
    ServerEntry entry;
    std::string encoded;  // what the fake encoder returns, UTF-8
    // Expected lines 9, 18 and 19, UTF-8 (converted to code page 936 here).
    std::string line9;
    std::string line18;
    std::string line19;
};

void PrintTo(const FillCase& c, std::ostream* os) { *os << c.name; }

ServerEntry entry(std::string address, std::string port, std::string account, std::string password) {
    ServerEntry e;
    e.address = gbk(address);
    e.port = gbk(port);
    e.account = gbk(account);
    e.password = gbk(password);
    e.note = "never used";
    return e;
}

class ConnectionTextFill : public ::testing::TestWithParam<FillCase> {};

TEST_P(ConnectionTextFill, FillsLinesNineEighteenAndNineteen) {
    const FillCase& c = GetParam();
    std::vector<std::string> passwords;
    const std::string text = buildConnectionText(c.entry, [&](std::string_view password) {
        passwords.emplace_back(password);
        return gbk(c.encoded);
    });

    std::vector<std::string> expected = templateLines();
    expected[8] = gbk(c.line9);
    expected[17] = gbk(c.line18);
    expected[18] = gbk(c.line19);
    EXPECT_EQ(text, joinLines(expected));

    if (c.entry.password.empty()) {
        EXPECT_TRUE(passwords.empty()) << "encoder called for an empty password";
    } else {
        ASSERT_EQ(passwords.size(), 1u);
        EXPECT_EQ(passwords[0], c.entry.password);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConnectionTextFill,
    ::testing::Values(
        FillCase{"EmptyPasswordKeepsPlaceholder", entry("10.0.0.5", "3389", "Administrator", ""), "",
                 "username:s:Administrator", "full address:s:10.0.0.5:3389", "%密码%"},
        FillCase{"PasswordLine", entry("srv", "3389", "u", "pw"), "01AB000", "username:s:u",
                 "full address:s:srv:3389", "password 51:b:01AB000"},
        FillCase{"EmptyAccount", entry("srv", "3389", "", ""), "", "username:s:", "full address:s:srv:3389",
                 "%密码%"},
        FillCase{"EmptyPortEndsInColon", entry("srv", "", "u", ""), "", "username:s:u", "full address:s:srv:",
                 "%密码%"},
        FillCase{"PortGoesInAsTyped", entry("srv", " 03389", "u", ""), "", "username:s:u",
                 "full address:s:srv: 03389", "%密码%"},
        FillCase{"ChineseAccount", entry("srv", "3389", "管理员", ""), "", "username:s:管理员",
                 "full address:s:srv:3389", "%密码%"},
        FillCase{"AccountHoldingAddressPlaceholderTwice", entry("h", "1", "a%服务器地址%b%服务器地址%", ""), "",
                 "username:s:ah:1bh:1", "full address:s:h:1", "%密码%"},
        FillCase{"AccountHoldingPasswordPlaceholder", entry("h", "1", "x%密码%", "p"), "F0", "username:s:xpassword 51:b:F0",
                 "full address:s:h:1", "password 51:b:F0"},
        FillCase{"AccountHoldingPasswordPlaceholderWithoutPassword", entry("h", "1", "x%密码%", ""), "",
                 "username:s:x%密码%", "full address:s:h:1", "%密码%"},
        FillCase{"AddressHoldingPasswordPlaceholder", entry("%密码%", "1", "u", "p"), "F0", "username:s:u",
                 "full address:s:password 51:b:F0:1", "password 51:b:F0"},
        FillCase{"AddressHoldingAccountPlaceholderIsNotSearchedAgain", entry("%账号%", "1", "u", ""), "",
                 "username:s:u", "full address:s:%账号%:1", "%密码%"},
        FillCase{"AccountHoldingItsOwnPlaceholderIsNotSearchedAgain", entry("h", "1", "%账号%", ""), "",
                 "username:s:%账号%", "full address:s:h:1", "%密码%"},
        FillCase{"EncodedTextHoldingPlaceholderIsNotSearchedAgain", entry("h", "1", "u", "p"), "%密码%",
                 "username:s:u", "full address:s:h:1", "password 51:b:%密码%"},
        FillCase{"LineBreaksInAccountAddressAndPortAreLeftOut", entry("ho\r\nst\n", "33\r89", "ad\r\nmin\r", "p\r\n"),
                 "0", "username:s:admin", "full address:s:host:3389", "password 51:b:0"}),
    [](const ::testing::TestParamInfo<FillCase>& fill) { return std::string(fill.param.name); });

TEST(ConnectionText, TwoBuildsDifferOnlyInThePasswordLine) {
    const ServerEntry e = entry("h", "1", "u", "p");
    int calls = 0;
    const auto encoder = [&](std::string_view) { return std::string(++calls == 1 ? "AA0" : "BB0"); };
    std::string first = buildConnectionText(e, encoder);
    std::string second = buildConnectionText(e, encoder);
    EXPECT_NE(first, second);
    first.replace(first.find("AA0"), 3, "BB0");
    EXPECT_EQ(first, second);
}

TEST(LineBreaks, AreTheOnlyBytesLeftOut) {
    EXPECT_EQ(withoutLineBreaks("\r\na\rb\nc\r\n"), "abc");
    EXPECT_EQ(withoutLineBreaks(gbk("管理员 \t|%")), gbk("管理员 \t|%"));
    EXPECT_EQ(withoutLineBreaks(""), "");
}

struct HexCase {
    std::vector<unsigned char> bytes;
    std::string hex;
};

TEST(HexEncodeBlob, TwoUpperCaseDigitsAByteAndAFinalZero) {
    const std::vector<HexCase> cases = {
        {{0x01, 0xAB, 0x00}, "01AB000"},
        {{}, "0"},
        {{0x00}, "000"},
        {{0x0F, 0x10, 0xFF, 0x9c}, "0F10FF9C0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hexEncodeBlob(c.bytes), c.hex) << "expected " << c.hex;
    }
}

TEST(HexEncodeBlob, EveryByteValueGivesTwoDigitsThatReadBack) {
    std::vector<unsigned char> all(256);
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<unsigned char>(i);
    const std::string hex = hexEncodeBlob(all);
    ASSERT_EQ(hex.size(), 2 * all.size() + 1);
    EXPECT_EQ(hex.back(), '0');
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(std::stoul(hex.substr(2 * i, 2), nullptr, 16), i);
        EXPECT_EQ(hex.substr(2 * i, 2).find_first_of("abcdef"), std::string::npos) << hex.substr(2 * i, 2);
    }
}

TEST(HexEncodeBlob, PadsWhateverTheFormatterGivesAsOneDigit) {
    std::vector<unsigned char> seen;
    const std::vector<unsigned char> bytes = {0x05, 0xC3};
    const std::string hex = hexEncodeBlob(bytes, [&](unsigned char b) {
        seen.push_back(b);
        return formatByteUpperHex(b);
    });
    EXPECT_EQ(hex, "05C30");
    EXPECT_EQ(seen, bytes);
}

TEST(FormatByteUpperHex, IsPrintfUpperCaseX) {
    const std::vector<std::pair<unsigned char, std::string>> cases = {
        {0x00, "0"}, {0x09, "9"}, {0x0A, "A"}, {0x0F, "F"}, {0x10, "10"}, {0xAB, "AB"}, {0xFF, "FF"}};
    for (const auto& [byte, text] : cases) EXPECT_EQ(formatByteUpperHex(byte), text) << int{byte};
}

} // namespace
} // namespace tessaline
