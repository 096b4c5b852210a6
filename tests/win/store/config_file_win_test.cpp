// Reading and replacing the configuration file through the W file functions,
// run under Wine: failures must leave the old file byte for byte and no new
// file behind.
#include "store/config_file_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using tessaline::readFileBytes;
using tessaline::replaceFileContents;

// A junk value, set before a call whose error code is checked.
constexpr DWORD junkError = 0xdeadbeef;

// Names in folder (without "." and ".."), sorted.
std::vector<std::wstring> namesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += (c < 0x80) ? static_cast<char>(c) : '?';
    return out;
}

std::string describe(const std::vector<std::wstring>& names) {
    std::string out;
    for (const std::wstring& name : names) {
        out += '[';
        out += narrow(name);
        out += ']';
    }
    return out;
}

// Writes bytes with plain calls, independent of the code under test.
void writeDirectly(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok);
    ASSERT_EQ(written, bytes.size());
}

// Bytes with NUL, CR LF and every high value.
std::string sampleBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t n = 0; n < size; ++n) bytes[n] = static_cast<char>((n * 131 + seed) & 0xff);
    return bytes;
}

// A fresh folder under the temporary directory, emptied and removed after.
class ConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override { folder_ = makeFolder(L"tessaline-store-"); }

    void TearDown() override {
        for (const std::wstring& folder : folders_) removeFolder(folder);
    }

    std::wstring makeFolder(const std::wstring& prefix) {
        wchar_t temp[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        EXPECT_GT(length, 0u);
        static unsigned serial = 0;
        const std::wstring folder = std::wstring(temp, length) + prefix +
                                    std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial) +
                                    L"\\";
        EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << "error " << GetLastError();
        folders_.push_back(folder);
        return folder;
    }

    static void removeFolder(const std::wstring& folder) {
        for (const std::wstring& name : namesIn(folder)) {
            const std::wstring path = folder + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
        RemoveDirectoryW(folder.c_str());
    }

    std::wstring folder_;
    std::vector<std::wstring> folders_;
};

TEST_F(ConfigFileTest, MissingFileReadsEmpty) {
    EXPECT_EQ(readFileBytes(folder_ + L"ms.ini"), "");
    EXPECT_EQ(readFileBytes(folder_ + L"no such folder\\ms.ini"), "");
    EXPECT_EQ(readFileBytes(L""), "");
}

TEST_F(ConfigFileTest, ReadGivesEveryByte) {
    const std::string bytes = sampleBytes(70000, 7);
    writeDirectly(folder_ + L"ms.ini", bytes);
    EXPECT_EQ(readFileBytes(folder_ + L"ms.ini"), bytes);
}

TEST_F(ConfigFileTest, ReplaceCreatesTheFileAndLeavesNothingElse) {
    const std::wstring path = folder_ + L"ms.ini";
    const std::string bytes = sampleBytes(69, 1);
    EXPECT_EQ(replaceFileContents(path, bytes), 0u);
    EXPECT_EQ(readFileBytes(path), bytes);
    EXPECT_EQ(namesIn(folder_), std::vector<std::wstring>{L"ms.ini"}) << describe(namesIn(folder_));
}

TEST_F(ConfigFileTest, ReplaceOverwritesWholly) {
    const std::wstring path = folder_ + L"ms.ini";
    writeDirectly(path, sampleBytes(5000, 2));
    // Longer, then shorter: nothing of an earlier content may remain.
    for (std::size_t size : {std::size_t{9000}, std::size_t{69}, std::size_t{0}, std::size_t{1}}) {
        const std::string bytes = sampleBytes(size, static_cast<unsigned>(size));
        EXPECT_EQ(replaceFileContents(path, bytes), 0u) << size;
        EXPECT_EQ(readFileBytes(path), bytes) << size;
        EXPECT_EQ(namesIn(folder_), std::vector<std::wstring>{L"ms.ini"}) << describe(namesIn(folder_));
    }
}

TEST_F(ConfigFileTest, RelativePathUsesTheCurrentDirectory) {
    wchar_t previous[MAX_PATH + 1];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH + 1, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(folder_.c_str()));
    const std::string bytes = sampleBytes(100, 3);
    const unsigned long result = replaceFileContents(L"ms.ini", bytes);
    const std::string readBack = readFileBytes(L"ms.ini");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(readBack, bytes);
    EXPECT_EQ(readFileBytes(folder_ + L"ms.ini"), bytes);
    EXPECT_EQ(namesIn(folder_), std::vector<std::wstring>{L"ms.ini"}) << describe(namesIn(folder_));
}

TEST_F(ConfigFileTest, FolderWithChineseName) {
    const std::wstring folder = makeFolder(L"配置文件 测试-");
    const std::wstring path = folder + L"ms.ini";
    const std::string bytes = sampleBytes(300, 4);
    EXPECT_EQ(replaceFileContents(path, bytes), 0u);
    EXPECT_EQ(readFileBytes(path), bytes);
    EXPECT_EQ(replaceFileContents(path, "again"), 0u);
    EXPECT_EQ(readFileBytes(path), "again");
    EXPECT_EQ(namesIn(folder), std::vector<std::wstring>{L"ms.ini"}) << describe(namesIn(folder));
}

// Each failure keeps the old content byte for byte and leaves no new file.
struct FailureCase {
    const char* name;
    // Prepares the folder holding "ms.ini" with the old bytes; returns what
    // undoes it after the call.
    std::function<std::function<void()>(const std::wstring& path)> prepare;
    DWORD expected;  // 0: any failure code
};

TEST_F(ConfigFileTest, FailuresLeaveTheOldFileAndNoStrayFile) {
    const FailureCase cases[] = {
        {"read-only target",
         [](const std::wstring& path) {
             EXPECT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
             return std::function<void()>([] {});
         },
         ERROR_ACCESS_DENIED},
        {"target open without sharing",
         [](const std::wstring& path) {
             const HANDLE lock =
                 CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
             EXPECT_NE(lock, INVALID_HANDLE_VALUE) << "error " << GetLastError();
             return std::function<void()>([lock] { CloseHandle(lock); });
         },
         0},
        {"target open for reading only",
         [](const std::wstring& path) {
             const HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr);
             EXPECT_NE(lock, INVALID_HANDLE_VALUE) << "error " << GetLastError();
             return std::function<void()>([lock] { CloseHandle(lock); });
         },
         0},
    };
    const std::string old = sampleBytes(69, 9);
    for (const FailureCase& c : cases) {
        const std::wstring folder = makeFolder(L"tessaline-fail-");
        const std::wstring path = folder + L"ms.ini";
        writeDirectly(path, old);
        const std::function<void()> undo = c.prepare(path);
        SetLastError(junkError);
        const unsigned long result = replaceFileContents(path, "new content");
        const std::vector<std::wstring> names = namesIn(folder);
        undo();
        if (c.expected != 0) {
            EXPECT_EQ(result, c.expected) << c.name;
        } else {
            EXPECT_NE(result, 0u) << c.name;
            EXPECT_NE(result, junkError) << c.name;
        }
        EXPECT_EQ(names, std::vector<std::wstring>{L"ms.ini"}) << c.name << ": " << describe(names);
        EXPECT_EQ(readFileBytes(path), old) << c.name;
    }
}

TEST_F(ConfigFileTest, MissingFolderFails) {
    const std::wstring missing = folder_ + L"not there\\";
    SetLastError(junkError);
    const unsigned long result = replaceFileContents(missing + L"ms.ini", "bytes");
    EXPECT_NE(result, 0u);
    EXPECT_NE(result, junkError);
    EXPECT_EQ(GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(namesIn(folder_).empty()) << describe(namesIn(folder_));
}

TEST_F(ConfigFileTest, FolderInPlaceOfTheFileFails) {
    const std::wstring path = folder_ + L"ms.ini";
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    EXPECT_EQ(replaceFileContents(path, "bytes"), static_cast<unsigned long>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(namesIn(folder_), std::vector<std::wstring>{L"ms.ini"}) << describe(namesIn(folder_));
    RemoveDirectoryW(path.c_str());
}

} // namespace
