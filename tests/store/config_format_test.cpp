// The plain text of "ms.ini": parsing, the password markers, writing, and
// the texts the format can keep.
//
// Code page 936 bytes used below:
//   "\x81\x7C" 亅 (second byte is "|")   "\xC4\xE3\xBA\xC3" 你好
#include "store/config_format.h"

#include "store/config_cipher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_view_literals;
using tessaline::LaunchOptionStates;
using tessaline::ParsedConfig;
using tessaline::ServerEntry;
using tessaline::ServerStatus;

ServerEntry entry(std::string address, std::string port, std::string account, std::string password = {},
                  std::string note = {}) {
    return ServerEntry{std::move(address), std::move(port), std::move(account), std::move(password),
                       std::move(note), ServerStatus::Unknown};
}

LaunchOptionStates options(bool console, bool admin, bool res800, bool res1024) {
    LaunchOptionStates states;
    states.console = console;
    states.admin = admin;
    states.res800x600 = res800;
    states.res1024x768 = res1024;
    return states;
}

std::string describe(const ServerEntry& e) {
    return "{" + e.address + "|" + e.port + "|" + e.account + "|" + e.password + "|" + e.note + "}";
}

// ---------------------------------------------------------------- writing

TEST(SerializeConfig, OneEntryExampleIs69BytesAndEnciphersTo69) {
    const std::vector<ServerEntry> entries{entry("127.0.0.1", "3389", "Administrator")};
    const std::string text = tessaline::serializeConfig(entries, options(true, false, true, false), "");
    EXPECT_EQ(text, "127.0.0.1|3389|Administrator||\r\n"
                    "#onsole:1\r\n"
                    "#Start:0\r\n"
                    "#LoadinPass:<>\r\n");
    EXPECT_EQ(text.size(), 69u);
    const std::string file = tessaline::configCipher(text, tessaline::configKey);
    EXPECT_EQ(file.size(), 69u);
    EXPECT_EQ(tessaline::configCipher(file, tessaline::configKey), text);
}

TEST(SerializeConfig, OptionLinesInOrder) {
    const struct {
        LaunchOptionStates states;
        std::string_view password;
        std::string_view expected;
    } cases[] = {
        {options(false, false, true, false), "", "#Start:0\r\n#LoadinPass:<>\r\n"},
        {options(false, false, false, false), "", "#Start:0\r\n#LoadinPass:<>\r\n"},
        {options(false, false, false, true), "pw", "#Start:1\r\n#LoadinPass:<pw>\r\n"},
        {options(true, true, false, true), "", "#onsole:1\r\n#admin:1\r\n#Start:1\r\n#LoadinPass:<>\r\n"},
        {options(false, true, true, false), "\xC4\xE3", "#admin:1\r\n#Start:0\r\n#LoadinPass:<\xC4\xE3>\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tessaline::serializeConfig({}, c.states, c.password), c.expected) << c.expected;
    }
}

TEST(SerializeConfig, EveryTextWrittenAsHeld) {
    const std::vector<ServerEntry> entries{entry("a", "1", "u", "p", "n"), entry("", "", "", "", ""),
                                           entry("b", "2", "v", "", "note only")};
    EXPECT_EQ(tessaline::serializeConfig(entries, options(false, false, true, false), ""),
              "a|1|u|p|n\r\n"
              "||||\r\n"
              "b|2|v||note only\r\n"
              "#Start:0\r\n#LoadinPass:<>\r\n");
}

// ---------------------------------------------------------------- parsing

struct ParseCase {
    const char* name;
    std::string_view text;
    std::vector<ServerEntry> entries;
    LaunchOptionStates turnOn;
};

TEST(ParseConfig, LinesAndPieces) {
    const LaunchOptionStates none{};
    const ParseCase cases[] = {
        {"empty", "", {}, none},
        {"two pieces make no entry", "a|b\r\n", {}, none},
        {"three pieces", "a|b|c\r\n", {entry("a", "b", "c")}, none},
        {"four pieces", "a|b|c|d\r\n", {entry("a", "b", "c", "d")}, none},
        {"five pieces", "a|b|c|d|e\r\n", {entry("a", "b", "c", "d", "e")}, none},
        {"sixth piece dropped", "a|b|c|d|e|f\r\n", {entry("a", "b", "c", "d", "e")}, none},
        {"four bars only: five empty texts", "||||\r\n", {entry("", "", "")}, none},
        {"two bars only: two pieces", "||\r\n", {}, none},
        {"three bars only: three pieces", "|||\r\n", {entry("", "", "")}, none},
        {"final bar adds nothing", "a|b|c|pw|\r\n", {entry("a", "b", "c", "pw")}, none},
        {"each line from its own pieces",
         "h1|1|u1|pw1|note1\r\nh2|2|u2|pw2|\r\nh3|3|u3||\r\n",
         {entry("h1", "1", "u1", "pw1", "note1"), entry("h2", "2", "u2", "pw2"), entry("h3", "3", "u3")},
         none},
        {"last line without line break", "a|b|c", {entry("a", "b", "c")}, none},
        {"empty lines ignored", "\r\n\r\na|b|c\r\n\r\n", {entry("a", "b", "c")}, none},
        {"bare LF is not a line break", "a|b|c\nd|e|f\r\n", {entry("a", "b", "c\nd", "e", "f")}, none},
        {"second byte 0x7C is not a bar",
         "a|b|c|d|\xC4\xE3\x81\x7C" "x\r\n", {entry("a", "b", "c", "d", "\xC4\xE3\x81\x7C" "x")}, none},
        {"lead byte at line end takes the CR", "a|b|c\x81\r\nd|e|f\r\n",
         {entry("a", "b", "c\x81\r\nd", "e", "f")}, none},
        {"nothing after NUL", "a|b|c\r\nd|e|f\0|g|h\r\n#onsole:1\r\n"sv, {entry("a", "b", "c"), entry("d", "e", "f")},
         none},
        {"NUL at start", "\0a|b|c\r\n"sv, {}, none},
    };
    for (const ParseCase& c : cases) {
        const ParsedConfig parsed = tessaline::parseConfig(c.text);
        ASSERT_EQ(parsed.entries.size(), c.entries.size()) << c.name;
        for (std::size_t n = 0; n < c.entries.size(); ++n) {
            EXPECT_EQ(parsed.entries[n], c.entries[n])
                << c.name << ": got " << describe(parsed.entries[n]) << ", want " << describe(c.entries[n]);
        }
        EXPECT_EQ(parsed.turnOn, c.turnOn) << c.name;
    }
}

TEST(ParseConfig, OptionMarkers) {
    const LaunchOptionStates none{};
    const LaunchOptionStates console = options(true, false, false, false);
    const LaunchOptionStates admin = options(false, true, false, false);
    const LaunchOptionStates r800 = options(false, false, true, false);
    const LaunchOptionStates r1024 = options(false, false, false, true);
    const ParseCase cases[] = {
        {"#Start:1", "#Start:1\r\n", {}, r1024},
        {"#Start:0", "#Start:0\r\n", {}, r800},
        {"bare #Start:", "#Start:\r\n", {}, r800},
        {"#Start:2", "#Start:2\r\n", {}, r800},
        {"lower-case s is no marker", "#start:1\r\n", {}, none},
        {"later #Start: line wins (radio buttons)", "#Start:1\r\n#Start:0\r\n", {}, r800},
        {"later #Start: line wins, other way", "#Start:0\r\n#Start:1\r\n", {}, r1024},
        {"#onsole:1", "#onsole:1\r\n", {}, console},
        {"#onsole:0 leaves it", "#onsole:0\r\n", {}, none},
        {"#onsole:11 by its last byte", "#onsole:11\r\n", {}, console},
        {"#onsole:10", "#onsole:10\r\n", {}, none},
        {"marker anywhere in the line", "xx#onsole:yy1\r\n", {}, console},
        {"#admin:1", "#admin:1\r\n", {}, admin},
        {"#admin:0", "#admin:0\r\n", {}, none},
        {"first rule only: console decides", "#onsole:0#admin:1\r\n", {}, console},
        {"first rule only: console marker wins even unset", "#admin:#onsole:0\r\n", {}, none},
        {"first rule only: admin before start", "#Start:#admin:0\r\n", {}, none},
        {"first rule only: admin set, start untouched", "#Start:#admin:1\r\n", {}, admin},
        {"markers never turn off", "#onsole:1\r\n#onsole:0\r\n", {}, console},
        {"marker after NUL ignored", "#Start:0\r\n\0#admin:1\r\n"sv, {}, r800},
        {"marker split by a two-byte char is none", "\x81#onsole:1\r\n", {}, none},
        {"server line note ending in #admin:1", "h|3389|u|p|x#admin:1\r\n",
         {entry("h", "3389", "u", "p", "x#admin:1")}, admin},
        {"password line with two bars makes an entry",
         "#LoadinPass:<a|b|c>\r\n", {entry("#LoadinPass:<a", "b", "c>")}, none},
        {"all at once", "#onsole:1\r\n#admin:1\r\n#Start:1\r\n#LoadinPass:<>\r\n", {},
         options(true, true, false, true)},
    };
    for (const ParseCase& c : cases) {
        const ParsedConfig parsed = tessaline::parseConfig(c.text);
        EXPECT_EQ(parsed.entries, c.entries) << c.name;
        EXPECT_EQ(parsed.turnOn.console, c.turnOn.console) << c.name;
        EXPECT_EQ(parsed.turnOn.admin, c.turnOn.admin) << c.name;
        EXPECT_EQ(parsed.turnOn.res800x600, c.turnOn.res800x600) << c.name;
        EXPECT_EQ(parsed.turnOn.res1024x768, c.turnOn.res1024x768) << c.name;
    }
}

// ---------------------------------------------------------------- markers

TEST(ExtractMarked, Rules) {
    const struct {
        const char* name;
        std::string_view text, start, end, expected;
    } cases[] = {
        {"no start marker", "abc", "<", ">", ""},
        {"markers touch", "#LoadinPass:<>\r\n", "#LoadinPass:<", ">", ""},
        {"one piece", "#LoadinPass:<pw>\r\n", "#LoadinPass:<", ">", "pw"},
        {"to the first end marker", "#LoadinPass:<a>b>", "#LoadinPass:<", ">", "a"},
        {"two pieces joined", "#LoadinPass:<pw>\r\n#LoadinPass:<pw>\r\n", "#LoadinPass:<", ">", "pw||pw"},
        {"empty piece still counts", "<>x<b>", "<", ">", "||b"},
        {"start without end drops earlier pieces", "#LoadinPass:<a>\r\n#LoadinPass:<", "#LoadinPass:<", ">", ""},
        {"start without end at once", "#LoadinPass:<abc", "#LoadinPass:<", ">", ""},
        {"end marker before start is skipped", ">#LoadinPass:<a>", "#LoadinPass:<", ">", "a"},
        // The end marker is searched from the first byte of the start marker,
        // so it can be found inside it.
        {"end searched from the start marker itself", "abXb", "ab", "b", ""},
        {"and the scan goes on behind it", "abXbab", "ab", "b", "||"},
        {"multi-byte end marker", "[[x]]y[[z]]", "[[", "]]", "x||z"},
        {"end marker inside a two-byte char is none", "<a\x81>b>", "<", ">", "a\x81>b"},
        {"start marker inside a two-byte char is none", "\x81<a>", "<", ">", ""},
        {"empty text", "", "<", ">", ""},
        {"empty start marker", "a>b", "", ">", ""},
        {"empty end marker", "<a>", "<", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tessaline::extractMarked(c.text, c.start, c.end), c.expected) << c.name;
    }
}

TEST(StartupPasswordFrom, ConfigBytes) {
    const struct {
        const char* name;
        std::string_view bytes, expected;
    } cases[] = {
        {"none", "#Start:0\r\n", ""},
        {"empty", "#Start:0\r\n#LoadinPass:<>\r\n", ""},
        {"set", "#Start:0\r\n#LoadinPass:<s3cret>\r\n", "s3cret"},
        {"cut at NUL before the end marker", "#LoadinPass:<ab\0cd>\r\n"sv, ""},
        {"password before NUL", "#LoadinPass:<ab>\r\n\0#LoadinPass:<"sv, "ab"},
        {"two-byte password", "#LoadinPass:<\xC4\xE3\xBA\xC3>\r\n", "\xC4\xE3\xBA\xC3"},
        {"from a server text too", "h|1|#LoadinPass:<x>||\r\n#LoadinPass:<pw>\r\n", "x||pw"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tessaline::startupPasswordFrom(c.bytes), c.expected) << c.name;
    }
}

// ---------------------------------------------------------------- storable texts

TEST(StorableTexts, ServerTexts) {
    const struct {
        std::string_view text;
        bool storable;
    } cases[] = {
        {"", true},
        {"192.168.1.10", true},
        {"\xC4\xE3\xBA\xC3", true},
        {"\x81\x7C", true},                // second byte 0x7C is not a bar
        {"a>b<c", true},
        {"#Start", true},
        {"a|b", false},
        {"a\rb", false},
        {"a\nb", false},
        {"x#onsole:", false},
        {"#admin:0", false},
        {"#Start:", false},
        {"pre#LoadinPass:<", false},
        {"#LoadinPass:", true},
        {"a\0b"sv, false},
        {"ab\x81", false},                 // would take the following "|" as its second byte
        {"\x81|", true},                   // one two-byte character
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tessaline::isStorableServerText(c.text), c.storable) << '"' << std::string(c.text) << '"';
    }
}

TEST(StorableTexts, StartupPasswords) {
    const struct {
        std::string_view text;
        bool storable;
    } cases[] = {
        {"", true},
        {"s3cret", true},
        {"\xC4\xE3\xBA\xC3", true},
        {"<#LoadinPass:<", true},
        {"#onsole:1", true},               // its line ends in ">", so no option follows
        {"a>b", false},
        {"a|b", false},
        {"a||b", false},
        {"\x81>", true},                   // one two-byte character
        {"a\r\n#onsole:1", false},
        {"a\rb", false},
        {"x#Start:", false},               // would choose 800*600 at the next start
        {"a\0b"sv, false},
        {"ab\x81", false},                 // would take the ">" as its second byte
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tessaline::isStorableStartupPassword(c.text), c.storable) << '"' << std::string(c.text) << '"';
    }
}

// ---------------------------------------------------------------- round trip

TEST(ConfigRoundTrip, StorableTextsReadBackEqual) {
    const std::vector<ServerEntry> entries{
        entry("127.0.0.1", "3389", "Administrator"),
        entry("host.example", "3390", "\xC4\xE3\xBA\xC3", "p>w<d", "\xC4\xE3\x81\x7C note \x81\x7C"),
        entry("", "", "", "", ""),
        entry("10.0.0.2", "abc", "user", "pw", ""),
        entry("10.0.0.3", "3389", "user", "", "only a note"),
        entry("a", "b", "c", "#LoadinPass:", ">#"),
    };
    const struct {
        LaunchOptionStates states;
        std::string_view password;
    } cases[] = {
        {options(false, false, true, false), ""},
        {options(true, false, true, false), "pw"},
        {options(false, true, false, true), "\xC4\xE3\x81\x7C"},
        {options(true, true, false, true), "#onsole:0"},
    };
    for (const ServerEntry& e : entries) {
        for (const std::string* text : {&e.address, &e.port, &e.account, &e.password, &e.note}) {
            ASSERT_TRUE(tessaline::isStorableServerText(*text)) << *text;
        }
    }
    for (const auto& c : cases) {
        ASSERT_TRUE(tessaline::isStorableStartupPassword(c.password)) << c.password;
        const std::string file = tessaline::configCipher(
            tessaline::serializeConfig(entries, c.states, c.password), tessaline::configKey);
        const std::string configBytes = tessaline::configCipher(file, tessaline::configKey);
        const ParsedConfig parsed = tessaline::parseConfig(configBytes);
        EXPECT_EQ(parsed.entries, entries);
        EXPECT_EQ(parsed.turnOn, c.states);
        EXPECT_EQ(tessaline::startupPasswordFrom(configBytes), c.password);
    }
}

TEST(ConfigRoundTrip, ManyEntries) {
    std::vector<ServerEntry> entries;
    for (int n = 0; n < 10000; ++n) {
        const std::string s = std::to_string(n);
        entries.push_back(entry("10.0." + s, "3389", "user" + s, "pw" + s, n % 2 ? "" : "\xC4\xE3" + s));
    }
    const std::string text = tessaline::serializeConfig(entries, options(false, false, true, false), "x");
    const ParsedConfig parsed = tessaline::parseConfig(text);
    EXPECT_EQ(parsed.entries, entries);
}

} // namespace
