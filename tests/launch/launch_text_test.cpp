// Switches, command line, temporary file names and LocalDevices paths.
#include "launch/launch_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaline {
namespace {

TEST(BuildLaunchOptions, OnePieceForEachCheckedControlInOrder) {
    struct Case {
        LaunchOptionStates states;
        std::string text;
    };
    const std::vector<Case> cases = {
        {{false, false, false, false}, ""},
        {{true, false, false, false}, "/console "},
        {{false, true, false, false}, "/admin "},
        {{false, false, true, false}, "/w:800 /h:600 "},
        {{false, false, false, true}, "/w:1024 /h:768 "},
        {{true, false, false, true}, "/console /w:1024 /h:768 "},
        {{true, true, true, false}, "/console /admin /w:800 /h:600 "},
        {{true, true, true, true}, "/console /admin /w:800 /h:600 /w:1024 /h:768 "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(buildLaunchOptions(c.states), c.text)
            << c.states.console << c.states.admin << c.states.res800x600 << c.states.res1024x768;
    }
}

TEST(BuildCommandLine, PathUnquotedUnlessItHoldsABlank) {
    struct Case {
        std::string path;
        std::string options;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"C:\\users\\me\\Temp\\1a2b.tmp", "", "mstsc.exe C:\\users\\me\\Temp\\1a2b.tmp "},
        {"C:\\users\\me\\Temp\\1a2b.tmp", "/console /w:1024 /h:768 ",
         "mstsc.exe C:\\users\\me\\Temp\\1a2b.tmp /console /w:1024 /h:768 "},
        {"C:\\Documents and Settings\\me\\Temp\\f.tmp", "/admin ",
         "mstsc.exe \"C:\\Documents and Settings\\me\\Temp\\f.tmp\" /admin "},
        {"C:\\tab\there\\f.tmp", "", "mstsc.exe \"C:\\tab\there\\f.tmp\" "},
        {"C:\\\xB9\xDC\xC0\xED\\f.tmp", "", "mstsc.exe C:\\\xB9\xDC\xC0\xED\\f.tmp "},  // 管理, no blank
        {"f.tmp", "", "mstsc.exe f.tmp "},
    };
    for (const auto& c : cases) EXPECT_EQ(buildCommandLine(c.path, c.options), c.line) << c.path;
}

TEST(TempFileNameFor, DirectoryLowerCaseHexAndTmp) {
    struct Case {
        std::string directory;
        std::uint32_t number;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"C:\\users\\me\\Temp\\", 0x1A2Bu, "C:\\users\\me\\Temp\\1a2b.tmp"},
        {"C:\\users\\me\\Temp", 0x1A2Bu, "C:\\users\\me\\Temp\\1a2b.tmp"},
        {"", 0xABCu, "abc.tmp"},
        {"D:\\", 0u, "D:\\0.tmp"},
        {"D:\\", 0xFFFFFFFFu, "D:\\ffffffff.tmp"},
        {"D:\\", 0x00F0u, "D:\\f0.tmp"},
        // Ends in 昞 (95 5C): its second byte is no backslash, so one is added.
        {"D:\\\x95\x5C", 0x10u, "D:\\\x95\x5C\\10.tmp"},
        {"D:\\\x95\x5C\\", 0x10u, "D:\\\x95\x5C\\10.tmp"},
    };
    for (const auto& c : cases) EXPECT_EQ(tempFileNameFor(c.directory, c.number), c.name) << c.directory;
}

TEST(LocalDevicesValuePath, CutAtTheLastBackslashOfItsOwn) {
    const std::string base(localDevicesKey);
    EXPECT_EQ(base, "Software\\Microsoft\\Terminal Server Client\\LocalDevices");
    struct Case {
        std::string address;
        RegistryValuePath path;
    };
    const std::vector<Case> cases = {
        {"192.168.1.20", {base, "192.168.1.20"}},
        {"host.example", {base, "host.example"}},
        {"", {base, ""}},
        {"a\\b", {base + "\\a", "b"}},
        {"a\\b\\c", {base + "\\a\\b", "c"}},
        {"a\\", {base + "\\a", ""}},
        {"\x95\x5C", {base, "\x95\x5C"}},              // 昞: trail byte 0x5C
        {"x\\\x95\x5C", {base + "\\x", "\x95\x5C"}},
        {"\x95\x5C\\y", {base + "\\\x95\x5C", "y"}},
    };
    for (const auto& c : cases) {
        const RegistryValuePath got = localDevicesValuePath(c.address);
        EXPECT_EQ(got.key, c.path.key) << c.address;
        EXPECT_EQ(got.valueName, c.path.valueName) << c.address;
    }
}

} // namespace
} // namespace tessaline
