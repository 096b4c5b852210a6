// The session launch under Wine: temporary names, the LocalDevices value and
// the start of the stand-in mstsc.exe that lies beside this test program.
#include "launch/session_launch_win.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "launch/connection_file.h"
#include "launch/handles_win.h"
#include "launch/launch_text.h"
#include "tests/standin/standin_record.h"
#include "tests/win/launch/test_support_win.h"

namespace tessaline::win {
namespace {

namespace fs = std::filesystem;
using testing::programFolder;
using testing::uniqueName;

std::optional<std::string> fileBytes(const fs::path& path) { return standin::readWholeFile(path); }

fs::path pathOf(const std::string& path936) { return fs::path(widen936(path936)); }

// ---- temporary names

TEST(TempNames, FirstFreeNameSkipsFilesAndDirectoriesThatExist) {
    const fs::path folder = fs::temp_directory_path() / widen936(uniqueName("tessaline-names"));
    fs::create_directories(folder);
    const std::string directory = narrow936(folder.wstring());

    EXPECT_EQ(firstFreeTempName(directory, 0xfe), tempFileNameFor(directory, 0xfe));
    std::ofstream(pathOf(tempFileNameFor(directory, 0xfe))) << "taken";
    fs::create_directory(pathOf(tempFileNameFor(directory, 0xff)));
    EXPECT_EQ(firstFreeTempName(directory, 0xfe), tempFileNameFor(directory, 0x100));
    EXPECT_EQ(firstFreeTempName(directory, 0xff), tempFileNameFor(directory, 0x100));

    fs::remove_all(folder);
}

TEST(TempNames, MakeTempFileNameIsAFreeTmpNameInTheTempDirectoryAndCounts) {
    const std::string directory = tempDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), '\\') << directory;

    const std::uint32_t before = tempNameCounter;
    const std::string first = makeTempFileName();
    const std::string second = makeTempFileName();
    EXPECT_EQ(tempNameCounter, before + 2);
    EXPECT_NE(first, second);
    for (const std::string& name : {first, second}) {
        ASSERT_EQ(name.rfind(directory, 0), 0u) << name;
        const std::string stem = name.substr(directory.size(), name.size() - directory.size() - 4);
        EXPECT_EQ(name.substr(name.size() - 4), ".tmp") << name;
        EXPECT_FALSE(stem.empty());
        EXPECT_EQ(stem.find_first_not_of("0123456789abcdef"), std::string::npos) << name;
        EXPECT_NE(stem[0] == '0' && stem.size() > 1, true) << "leading zero in " << name;
        EXPECT_FALSE(fs::exists(pathOf(name))) << "no file is made: " << name;
    }
}

TEST(ConnectionFileWrite, WritesTheBytesAsTheWholeContent) {
    const std::string path = makeTempFileName();
    EXPECT_EQ(writeConnectionFile(path, std::string(2000, 'x')), 0u);
    EXPECT_EQ(writeConnectionFile(path, connectionFileTemplate), 0u);
    EXPECT_EQ(fileBytes(pathOf(path)), std::string(connectionFileTemplate));
    fs::remove(pathOf(path));

    EXPECT_EQ(writeConnectionFile("Z:\\no\\such\\folder\\at\\all\\f.tmp", "x"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

// ---- the LocalDevices value

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

std::optional<RegistryValue> readValue(const std::string& key936, const std::string& name936) {
    OwnedKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, widen936(key936).c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const std::wstring name = widen936(name936);
    DWORD size = 0;
    RegistryValue value;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.data.resize(size);
    RegQueryValueExW(key.get(), name.c_str(), nullptr, &value.type, value.data.data(), &size);
    return value;
}

void writeValue(const std::string& key936, const std::string& name936, DWORD type, const std::vector<BYTE>& data) {
    OwnedKey key;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, widen936(key936).c_str(), key.receive()), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), widen936(name936).c_str(), 0, type, data.data(),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
}

void deleteValue(const std::string& key936, const std::string& name936) {
    OwnedKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, widen936(key936).c_str(), 0, KEY_SET_VALUE, key.receive()) ==
        ERROR_SUCCESS) {
        RegDeleteValueW(key.get(), widen936(name936).c_str());
    }
}

const std::vector<BYTE> dword76 = {76, 0, 0, 0};

TEST(LocalDevicesValue, WrittenOnceAndNeverChanged) {
    const std::string base(localDevicesKey);
    // A plain address, and one with a character of code page 936 (服务器).
    for (const std::string& address : {uniqueName("tessaline-test"), "\xB7\xFE\xCE\xF1\xC6\xF7" + uniqueName("-")}) {
        SCOPED_TRACE(address);
        ASSERT_FALSE(readValue(base, address));

        const LocalDevicesOutcome first = ensureLocalDevicesValue(address);
        EXPECT_EQ(first.kind, LocalDevicesOutcome::Kind::Written) << first.error;
        const auto written = readValue(base, address);
        ASSERT_TRUE(written);
        EXPECT_EQ(written->type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(written->data, dword76);

        // Somebody changes type and data: the next launch leaves them alone.
        writeValue(base, address, REG_SZ, {'x', 0, 0, 0});
        EXPECT_EQ(ensureLocalDevicesValue(address).kind, LocalDevicesOutcome::Kind::AlreadyPresent);
        const auto kept = readValue(base, address);
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(kept->data, (std::vector<BYTE>{'x', 0, 0, 0}));

        writeValue(base, address, REG_DWORD, {5, 0, 0, 0});
        EXPECT_EQ(ensureLocalDevicesValue(address).kind, LocalDevicesOutcome::Kind::AlreadyPresent);
        EXPECT_EQ(readValue(base, address)->data, (std::vector<BYTE>{5, 0, 0, 0}));

        deleteValue(base, address);
    }
}

TEST(LocalDevicesValue, EmptyAddressIsTheKeysDefaultValue) {
    const std::string base(localDevicesKey);
    const std::optional<RegistryValue> saved = readValue(base, "");
    deleteValue(base, "");

    EXPECT_EQ(ensureLocalDevicesValue("").kind, LocalDevicesOutcome::Kind::Written);
    const auto written = readValue(base, "");
    ASSERT_TRUE(written);
    EXPECT_EQ(written->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(written->data, dword76);
    EXPECT_EQ(ensureLocalDevicesValue("").kind, LocalDevicesOutcome::Kind::AlreadyPresent);

    deleteValue(base, "");
    if (saved) writeValue(base, "", saved->type, saved->data);
}

TEST(LocalDevicesValue, BackslashInTheAddressMakesAFurtherKey) {
    const std::string base(localDevicesKey);
    const std::string outer = uniqueName("tessaline-test");
    const std::string address = outer + "\\inner\\srv";
    const std::string key = base + "\\" + outer + "\\inner";

    EXPECT_EQ(ensureLocalDevicesValue(address).kind, LocalDevicesOutcome::Kind::Written);
    const auto written = readValue(key, "srv");
    ASSERT_TRUE(written);
    EXPECT_EQ(written->data, dword76);
    EXPECT_FALSE(readValue(base, address)) << "the whole address must not be a value name";
    EXPECT_EQ(ensureLocalDevicesValue(address).kind, LocalDevicesOutcome::Kind::AlreadyPresent);

    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, widen936(base + "\\" + outer).c_str()), ERROR_SUCCESS);
}

// ---- the client start, with the stand-in mstsc.exe

class SessionLaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        standIn_ = programFolder() / "mstsc.exe";
        ASSERT_TRUE(fs::exists(standIn_)) << standIn_;
        records_ = programFolder() / standin::recordsFolderName;
        standin::clearRecords(records_);
    }
    void TearDown() override {
        for (const std::string& address : addresses_) deleteValue(std::string(localDevicesKey), address);
        for (const std::string& path : files_) fs::remove(pathOf(path));
        SetEnvironmentVariableA(standin::busyMillisecondsVariable, nullptr);
    }

    ServerEntry entryFor(std::string account, std::string password) {
        ServerEntry entry;
        entry.address = uniqueName("tessaline-launch");
        entry.port = "3389";
        entry.account = std::move(account);
        entry.password = std::move(password);
        entry.note = "note";
        addresses_.push_back(entry.address);
        return entry;
    }

    SessionLaunch launch(const ServerEntry& entry, const LaunchOptionStates& options) {
        SessionLaunch result = openRemoteSession(entry, options);
        files_.push_back(result.tempFilePath);
        return result;
    }

    fs::path standIn_;
    fs::path records_;
    std::vector<std::string> addresses_;
    std::vector<std::string> files_;
};

// What the command line must be for a path, written out.
std::string expectedCommandLine(const std::string& path, const std::string& switches) {
    const bool blank = path.find_first_of(" \t") != std::string::npos;
    return blank ? "mstsc.exe \"" + path + "\" " + switches : "mstsc.exe " + path + " " + switches;
}

TEST_F(SessionLaunchTest, StartsTheClientOnTheWrittenFile) {
    const ServerEntry entry = entryFor("\xB9\xDC\xC0\xED\xD4\xB1", "");  // 管理员
    const SessionLaunch result = launch(entry, {true, false, false, true});

    EXPECT_EQ(result.fileError, 0u);
    EXPECT_EQ(result.localDevices.kind, LocalDevicesOutcome::Kind::Written);
    ASSERT_TRUE(result.client.started) << result.client.error;
    EXPECT_EQ(result.client.waitResult, 0u) << "the stand-in becomes idle at once";
    EXPECT_EQ(result.commandLine, expectedCommandLine(result.tempFilePath, "/console /w:1024 /h:768 "));

    const std::string expectedText = buildConnectionText(entry, [](std::string_view) -> std::string {
        ADD_FAILURE() << "no password to encode";
        return {};
    });
    EXPECT_EQ(fileBytes(pathOf(result.tempFilePath)), expectedText);

    const auto records = standin::waitForRecords(records_, 1);
    ASSERT_EQ(records.size(), 1u);
    const standin::Record& call = records[0];
    EXPECT_EQ(call.commandLine936, result.commandLine);
    EXPECT_EQ(widen936(call.commandLine936), widen936(result.commandLine));
    EXPECT_EQ(fs::path(std::u8string(call.fileArgumentUtf8.begin(), call.fileArgumentUtf8.end())),
              pathOf(result.tempFilePath));
    EXPECT_EQ(call.fileCopy, expectedText);
    EXPECT_TRUE(call.startupFlags & STARTF_USESHOWWINDOW) << call.startupFlags;
    EXPECT_EQ(call.showWindow, SW_SHOWNORMAL);
    EXPECT_EQ(call.processId, result.client.processId);
}

TEST_F(SessionLaunchTest, NoOptionsLeaveOneSpaceAfterThePath) {
    const SessionLaunch result = launch(entryFor("u", ""), {});
    EXPECT_EQ(result.commandLine, expectedCommandLine(result.tempFilePath, ""));
    EXPECT_EQ(result.commandLine.back(), ' ');
    const auto records = standin::waitForRecords(records_, 1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].commandLine936, result.commandLine);
}

TEST_F(SessionLaunchTest, PasswordLineUnprotectsAndTheRestIsTheTemplate) {
    const ServerEntry entry = entryFor("admin", "p@ss");
    const SessionLaunch result = launch(entry, {false, true, true, false});
    const auto written = fileBytes(pathOf(result.tempFilePath));
    ASSERT_TRUE(written);

    ServerEntry withoutPassword = entry;
    withoutPassword.password.clear();
    std::string expected = buildConnectionText(withoutPassword, {});
    const std::size_t line19 = expected.find(passwordPlaceholder);
    ASSERT_NE(line19, std::string::npos);
    ASSERT_EQ(written->substr(0, line19), expected.substr(0, line19));
    const std::size_t end = written->find("\r\n", line19);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(written->substr(end), expected.substr(line19 + passwordPlaceholder.size()));

    const std::string line = written->substr(line19, end - line19);
    ASSERT_EQ(line.rfind(passwordLinePrefix, 0), 0u) << line;
    const auto blob = testing::unhex(std::string_view(line).substr(passwordLinePrefix.size()));
    DATA_BLOB in{static_cast<DWORD>(blob.size()), const_cast<BYTE*>(blob.data())};
    OwnedLocalBlob out;
    ASSERT_TRUE(CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, 0, &out.blob)) << GetLastError();
    ASSERT_EQ(out.blob.cbData, passwordBlockSize);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(out.blob.pbData)), L"p@ss");

    const auto records = standin::waitForRecords(records_, 1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].fileCopy, written);
    EXPECT_EQ(result.commandLine, expectedCommandLine(result.tempFilePath, "/admin /w:800 /h:600 "));
}

TEST_F(SessionLaunchTest, TwoLaunchesGiveTwoFilesThatBothStay) {
    const ServerEntry entry = entryFor("u", "");
    const SessionLaunch first = launch(entry, {});
    const SessionLaunch second = launch(entry, {});
    EXPECT_NE(first.tempFilePath, second.tempFilePath);
    EXPECT_TRUE(fs::exists(pathOf(first.tempFilePath)));
    EXPECT_TRUE(fs::exists(pathOf(second.tempFilePath)));
    EXPECT_EQ(second.localDevices.kind, LocalDevicesOutcome::Kind::AlreadyPresent);

    const auto records = standin::waitForRecords(records_, 2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].commandLine936, first.commandLine);
    EXPECT_EQ(records[1].commandLine936, second.commandLine);
}

TEST_F(SessionLaunchTest, MissingClientIsNotAnError) {
    const fs::path away = standIn_.string() + ".away";
    fs::rename(standIn_, away);
    const SessionLaunch result = launch(entryFor("u", ""), {});
    fs::rename(away, standIn_);

    EXPECT_FALSE(result.client.started);
    EXPECT_EQ(result.client.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(result.fileError, 0u) << "the steps before the start still ran";
    EXPECT_TRUE(fs::exists(pathOf(result.tempFilePath)));
    EXPECT_TRUE(standin::readRecords(records_).empty());
}

TEST_F(SessionLaunchTest, ClientThatNeverBecomesIdleIsWaitedForOnlyUpToTheLimit) {
    SetEnvironmentVariableA(standin::busyMillisecondsVariable, "60000");
    const SessionLaunch result = launch(entryFor("u", ""), {});
    ASSERT_TRUE(result.client.started) << result.client.error;
    EXPECT_EQ(result.client.waitResult, static_cast<DWORD>(WAIT_TIMEOUT));

    // Back from the launch while the client is still busy: it was not waited for.
    OwnedHandle client(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, result.client.processId));
    ASSERT_TRUE(client.valid()) << GetLastError();
    EXPECT_EQ(WaitForSingleObject(client.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    TerminateProcess(client.get(), 0);
    WaitForSingleObject(client.get(), 10000);
}

TEST(StartRemoteDesktopClient, UnknownProgramIsReportedNotRaised) {
    const ClientStart start = startRemoteDesktopClient("tessaline-no-such-client.exe x.tmp ");
    EXPECT_FALSE(start.started);
    EXPECT_EQ(start.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

} // namespace
} // namespace tessaline::win
