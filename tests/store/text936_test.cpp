// Finding, splitting and replacing in code page 936 texts.
//
// Two-byte characters used below, as code page 936 bytes:
//   "\x81\x7C" 亅 (second byte is "|")     "\x95\x5C" 昞 (second byte is "\")
//   "\xC4\xE3" 你                            "\xBA\xC3" 好
#include "store/text936.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using tessaline::text936::npos;
namespace t936 = tessaline::text936;

struct FindCase {
    const char* name;
    std::string_view text;
    std::string_view needle;
    std::size_t from;
    std::size_t expected;
};

TEST(Text936Find, AtCharacterBoundariesOnly) {
    const FindCase cases[] = {
        {"ascii", "a|b", "|", 0, 1},
        {"from skips earlier", "a|b|c", "|", 2, 3},
        {"from at match", "a|b", "|", 1, 1},
        {"not found", "abc", "|", 0, npos},
        {"trail byte 0x7C is no bar", "\x81\x7C", "|", 0, npos},
        {"bar after two-byte char", "\x81\x7C|", "|", 0, 2},
        {"trail byte 0x5C is no backslash", "\x95\x5C" "a\\", "\\", 0, 3},
        {"needle spanning a char's second byte", "\x81\x7C" "ab", "|a", 0, npos},
        {"two-byte needle", "x\xC4\xE3\xBA\xC3", "\xBA\xC3", 0, 3},
        {"two-byte needle not at trail", "\xC4\xC4\xE3", "\xC4\xE3", 0, npos},
        {"lone lead byte at end is a char", "ab\x81", "\x81", 0, 2},
        {"lone lead byte at end, needle after", "a\x81", "|", 0, npos},
        {"empty needle at from", "abc", "", 2, 2},
        {"empty needle at end", "abc", "", 3, 3},
        {"empty needle past end", "abc", "", 4, npos},
        {"empty text", "", "|", 0, npos},
        {"empty text empty needle", "", "", 0, 0},
        {"needle longer than text", "ab", "abc", 0, npos},
        {"needle at very end", "ab#Start:", "#Start:", 0, 2},
        {"case-sensitive", "#start:1", "#Start:", 0, npos},
        {"CR LF", "a\r\nb", "\r\n", 0, 1},
        {"CR as a trail byte", "\x81\r\nb", "\r\n", 0, npos},
    };
    for (const FindCase& c : cases) {
        EXPECT_EQ(t936::find(c.text, c.needle, c.from), c.expected) << c.name;
        if (c.from == 0) {
            EXPECT_EQ(t936::contains(c.text, c.needle), c.expected != npos) << c.name;
        }
    }
}

TEST(Text936FindLast, AtCharacterBoundariesOnly) {
    const struct {
        std::string_view text;
        char c;
        std::size_t expected;
    } cases[] = {
        {"a\\b\\c", '\\', 3},
        {"a\\\x95\x5C", '\\', 1},  // the last "\" byte is a second byte
        {"\x95\x5C", '\\', npos},
        {"", '\\', npos},
        {"abc", '\\', npos},
        {"\\", '\\', 0},
        {"\x81\x7C|\x81\x7C", '|', 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(t936::findLast(c.text, c.c), c.expected) << '"' << std::string(c.text) << '"';
    }
}

struct SplitCase {
    const char* name;
    std::string_view text;
    std::string_view separator;
    std::vector<std::string_view> expected;
};

TEST(Text936Split, PiecesFollowTheStoreRule) {
    const SplitCase cases[] = {
        {"empty text", "", "|", {}},
        {"no separator", "abc", "|", {"abc"}},
        {"plain", "a|b|c", "|", {"a", "b", "c"}},
        {"separator at end adds nothing", "a|b|", "|", {"a", "b"}},
        {"two at end: one empty piece", "a|b||", "|", {"a", "b", ""}},
        {"empty first piece", "|a", "|", {"", "a"}},
        {"separator only", "|", "|", {""}},
        {"four separators", "||||", "|", {"", "", "", ""}},
        {"empty inside", "a||b", "|", {"a", "", "b"}},
        {"trail byte 0x7C does not split", "a\x81\x7C" "b|c", "|", {"a\x81\x7C" "b", "c"}},
        {"lone lead byte at end", "a|\x81", "|", {"a", "\x81"}},
        {"lead byte swallows separator", "a\x81|b", "|", {"a\x81|b"}},
        {"CR LF lines", "one\r\ntwo\r\n", "\r\n", {"one", "two"}},
        {"empty line between", "one\r\n\r\ntwo", "\r\n", {"one", "", "two"}},
        {"bare LF is no line break", "one\ntwo\r\n", "\r\n", {"one\ntwo"}},
    };
    std::vector<std::string_view> reused{"left over"};
    for (const SplitCase& c : cases) {
        EXPECT_EQ(t936::split(c.text, c.separator), c.expected) << c.name;
        t936::splitInto(c.text, c.separator, reused);
        EXPECT_EQ(reused, c.expected) << c.name;
    }
}

TEST(Text936ReplaceAll, EveryOccurrenceWithoutRescanningValues) {
    const struct {
        const char* name;
        std::string_view text, placeholder, value, expected;
    } cases[] = {
        {"none", "abc", "%X%", "1", "abc"},
        {"every one", "%X% and %X%", "%X%", "v", "v and v"},
        {"value holds placeholder", "%X%%X%", "%X%", "%X%!", "%X%!%X%!"},
        {"without overlap", "aaaa", "aa", "b", "bb"},
        {"odd overlap", "aaa", "aa", "b", "ba"},
        {"value joins with the rest", "%%X%", "%X%", "", "%"},
        {"empty value", "a%X%b", "%X%", "", "ab"},
        {"empty text", "", "%X%", "v", ""},
        {"empty placeholder", "abc", "", "v", "abc"},
        {"not inside a two-byte char", "\x81|X|", "|X|", "y", "\x81|X|"},
        {"after a two-byte char", "\xC4\xE3|X|", "|X|", "\xBA\xC3", "\xC4\xE3\xBA\xC3"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(t936::replaceAll(c.text, c.placeholder, c.value), c.expected) << c.name;
    }
}

// The finders skip byte-wise hits inside two-byte characters without walking
// the text character by character; compare them with a walk that does.
std::size_t walkFind(std::string_view text, std::string_view needle, std::size_t from) {
    for (std::size_t i = from; i <= text.size(); i += (i < text.size() ? t936::charLength(text, i) : 1)) {
        if (text.substr(i).starts_with(needle)) return i;
    }
    return npos;
}

std::size_t walkFindLast(std::string_view text, char c) {
    std::size_t found = npos;
    for (std::size_t i = 0; i < text.size(); i += t936::charLength(text, i)) {
        if (text[i] == c) found = i;
    }
    return found;
}

TEST(Text936Find, AgreesWithACharacterWalkOnRandomTexts) {
    // Few distinct bytes, so that hits, two-byte characters with "|" or "\"
    // as second byte, and long runs of high bytes are all common.
    const char alphabet[] = {'a', '|', '\\', '\r', '\n', '\x81', '\xC4', '\xE3', '\xBA'};
    const std::string_view needles[] = {"|", "\\", "\r\n", "a|", "\x81|", "\xC4\xE3", "\xE3\xC4", "||"};
    std::mt19937 random(936);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
    std::uniform_int_distribution<std::size_t> length(0, 40);
    for (int round = 0; round < 3000; ++round) {
        std::string text(length(random), 'a');
        for (char& c : text) c = alphabet[pick(random)];
        for (const std::string_view needle : needles) {
            for (std::size_t from = 0; from <= text.size(); from += t936::charLength(text, from)) {
                ASSERT_EQ(t936::find(text, needle, from), walkFind(text, needle, from))
                    << "round " << round << " from " << from;
                if (from == text.size()) break;
            }
        }
        for (const char c : {'|', '\\', '\x81'}) {
            ASSERT_EQ(t936::findLast(text, c), walkFindLast(text, c)) << "round " << round;
        }
    }
}

TEST(Text936UntilNul, StopsAtFirstNul) {
    using namespace std::string_view_literals;
    EXPECT_EQ(t936::untilNul("ab\0cd\0"sv), "ab"sv);
    EXPECT_EQ(t936::untilNul("abc"sv), "abc"sv);
    EXPECT_EQ(t936::untilNul("\0abc"sv), ""sv);
    EXPECT_EQ(t936::untilNul(""sv), ""sv);
}

} // namespace
