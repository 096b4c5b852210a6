// The Connect command seen from outside: Tessaline.exe with the stand-in
// mstsc.exe beside it, the connection file and command line the stand-in
// received, the LocalDevices value, the button's state, and the cases where
// nothing may be started.
#include "tests/e2e/program.h"

#include <wincrypt.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "launch/connection_file.h"
#include "tests/standin/standin_record.h"

namespace tessaline::e2e {
namespace {

namespace fs = std::filesystem;
using standin::Record;

constexpr std::wstring_view localDevicesKey = L"Software\\Microsoft\\Terminal Server Client\\LocalDevices";
constexpr std::size_t templateLineCount = 38;
constexpr std::size_t passwordLineNumber = 19;  // 1-based

// ---- Small helpers --------------------------------------------------------------------

// The stand-in mstsc.exe that the build made (TESSALINE_MSTSC_STANDIN).
std::wstring standinUnderTest() {
    const std::wstring path = environmentVariable(L"TESSALINE_MSTSC_STANDIN");
    return !path.empty() && path.front() == L'/' ? windowsPathFromUnix(narrow(path)) : path;
}

std::wstring withBackslash(std::wstring path) {
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
}

std::wstring tempPathOfThisProcess() {
    std::wstring path(MAX_PATH + 1, L'\0');
    const DWORD length = GetTempPathW(static_cast<DWORD>(path.size()), path.data());
    path.resize(length < path.size() ? length : 0);
    return path;
}

// Names of the ".tmp" files in a folder, sorted.
std::vector<std::wstring> tmpFilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((withBackslash(folder) + L"*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// Sets environment variables of this process (which the program and, through
// it, the stand-in inherit) and puts the old values back at the end.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() { restore(); }

    void set(const std::wstring& name, const std::wstring& value) {
        if (!saved_.count(name)) {
            const DWORD n = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
            std::optional<std::wstring> old;
            if (n > 0) {
                std::wstring text(n, L'\0');
                text.resize(GetEnvironmentVariableW(name.c_str(), text.data(), n));
                old = text;
            }
            saved_[name] = old;
        }
        SetEnvironmentVariableW(name.c_str(), value.c_str());
    }

    void restore() {
        for (const auto& [name, old] : saved_) SetEnvironmentVariableW(name.c_str(), old ? old->c_str() : nullptr);
        saved_.clear();
    }

private:
    std::map<std::wstring, std::optional<std::wstring>> saved_;
};

// Lines of a CR LF text, without their line ends; `whole` false when the text
// does not end in CR LF or holds a CR or LF outside a CR LF pair.
struct SplitText {
    std::vector<std::string> lines;
    bool whole = true;
};

SplitText splitCrLf(std::string_view text) {
    SplitText split;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            split.lines.emplace_back(text.substr(start));
            split.whole = false;
            break;
        }
        split.lines.emplace_back(text.substr(start, end - start));
        start = end + 2;
    }
    for (const std::string& line : split.lines)
        if (line.find_first_of("\r\n") != std::string::npos) split.whole = false;
    return split;
}

std::optional<std::vector<BYTE>> hexDecode(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;  // lower case is not what the program writes
    };
    std::vector<BYTE> bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<BYTE>(high * 16 + low));
    }
    return bytes;
}

struct Unprotected {
    std::string data;
    std::wstring description;
};

// CryptUnprotectData in this process: the program runs as the same user.
std::optional<Unprotected> unprotect(std::vector<BYTE> blob, DWORD& error) {
    DATA_BLOB in{static_cast<DWORD>(blob.size()), blob.data()};
    DATA_BLOB out{};
    LPWSTR description = nullptr;
    SetLastError(0xdeadbeef);
    if (!CryptUnprotectData(&in, &description, nullptr, nullptr, nullptr, 0, &out)) {
        error = GetLastError();
        return std::nullopt;
    }
    Unprotected result{std::string(reinterpret_cast<const char*>(out.pbData), out.cbData),
                       description ? std::wstring(description) : std::wstring()};
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    LocalFree(description);
    return result;
}

std::string utf16leWithTerminator(std::wstring_view text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    bytes.append(2, '\0');
    return bytes;
}

// ---- The LocalDevices value ---------------------------------------------------------------

struct RegistryValue {
    DWORD type = REG_NONE;
    std::string data;
    friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

std::optional<RegistryValue> readLocalDevicesValue(const std::wstring& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, std::wstring(localDevicesKey).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    RegistryValue value;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type,
                                  reinterpret_cast<BYTE*>(value.data.data()), &size);
        value.data.resize(size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}

bool writeLocalDevicesValue(const std::wstring& name, const RegistryValue& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, std::wstring(localDevicesKey).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LSTATUS status = RegSetValueExW(key, name.c_str(), 0, value.type,
                                          reinterpret_cast<const BYTE*>(value.data.data()),
                                          static_cast<DWORD>(value.data.size()));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void deleteLocalDevicesValue(const std::wstring& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, std::wstring(localDevicesKey).c_str(), 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, name.c_str());
    RegCloseKey(key);
}

RegistryValue dword(DWORD data) {
    return {REG_DWORD, std::string(reinterpret_cast<const char*>(&data), sizeof data)};
}

// A loopback address that no LocalDevices value names yet, so that runs in
// parallel (one per code page) never share one.
std::string freshLoopbackAddress() {
    static unsigned counter = 0;
    const unsigned seed = static_cast<unsigned>(GetCurrentProcessId()) * 31u + GetTickCount();
    for (;;) {
        const unsigned n = seed + counter++ * 97u;
        const std::string address =
            "127.77." + std::to_string(1 + (n >> 8) % 254) + "." + std::to_string(1 + n % 254);
        if (!readLocalDevicesValue(widen(address))) return address;
    }
}

// The files named `mstsc.exe` where the program could find one besides its
// own folder: the system folders and every folder on the PATH.
std::vector<std::wstring> systemMstscFiles() {
    std::vector<std::wstring> folders;
    wchar_t buffer[MAX_PATH + 1] = {};
    if (GetSystemDirectoryW(buffer, MAX_PATH)) folders.emplace_back(buffer);
    if (GetWindowsDirectoryW(buffer, MAX_PATH)) folders.emplace_back(buffer);
    const std::wstring path = environmentVariable(L"PATH");
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(L';', start), path.size());
        if (end > start) folders.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::wstring> found;
    for (const auto& folder : folders) {
        const std::wstring file = withBackslash(folder) + L"mstsc.exe";
        if (fileExists(file)) found.push_back(file);
    }
    return found;
}

// ---- What the stand-in received -----------------------------------------------------------

struct Server {
    std::string address, port, account, password, note;  // UTF-8
};

std::string serverLine(const Server& s) {
    return s.address + "|" + s.port + "|" + s.account + "|" + s.password + "|" + s.note + "\r\n";
}

// Checks one record against the server and the switches: the exact command
// line, a fresh ".tmp" name in `tempFolder`, the file's lines and the
// protected password.
::testing::AssertionResult receivedConnection(const Record& record, const Server& server, std::string_view switches,
                                             const std::wstring& tempFolder) {
    const std::string path936 = utf8To936(record.fileArgumentUtf8);
    const std::string folder936 = utf8To936(narrow(withBackslash(tempFolder)));
    // A path with a blank goes in quotation marks, so that the client gets it as one argument.
    const std::string quote = path936.find_first_of(" \t") != std::string::npos ? "\"" : "";
    const std::string expectedCommandLine = "mstsc.exe " + quote + path936 + quote + " " + std::string(switches);
    if (record.commandLine936 != expectedCommandLine) {
        return ::testing::AssertionFailure() << "command line " << printable(record.commandLine936) << "\nexpected "
                                             << printable(expectedCommandLine);
    }
    if (path936.compare(0, folder936.size(), folder936) != 0 ||
        path936.find('\\', folder936.size()) != std::string::npos) {
        return ::testing::AssertionFailure() << "file " << printable(path936) << " is not in the temporary folder "
                                             << printable(folder936);
    }
    const std::string name = path936.substr(folder936.size());
    const std::size_t digits = name.size() >= 4 ? name.size() - 4 : 0;
    if (digits == 0 || name.compare(digits, 4, ".tmp") != 0 ||
        name.find_first_not_of("0123456789abcdef") != digits || (name[0] == '0' && digits > 1)) {
        return ::testing::AssertionFailure() << "file name " << printable(name)
                                             << " is not lower-case hexadecimal without leading zeros and \".tmp\"";
    }
    if (!record.fileCopy) return ::testing::AssertionFailure() << "the stand-in could not read " << path936;
    if (readFileBytes(widen(record.fileArgumentUtf8)) != record.fileCopy) {
        return ::testing::AssertionFailure() << "the file in the temporary folder is gone or differs from what the "
                                                "client read: "
                                             << record.fileArgumentUtf8;
    }

    const std::string& file = *record.fileCopy;
    const SplitText got = splitCrLf(file);
    if (!got.whole || got.lines.size() != templateLineCount) {
        return ::testing::AssertionFailure() << got.lines.size() << " lines (whole CR LF lines: " << got.whole
                                             << "), expected " << templateLineCount << ":\n"
                                             << printable(file);
    }

    ServerEntry entry;
    entry.address = utf8To936(server.address);
    entry.port = utf8To936(server.port);
    entry.account = utf8To936(server.account);
    entry.password = utf8To936(server.password);
    const SplitText expected = splitCrLf(buildConnectionText(entry, [](std::string_view) { return std::string(); }));
    // A few lines spelled out here too, so that a fault shared with the builder still shows.
    const std::map<std::size_t, std::string> spelled{
        {1, "screen mode id:i:1"},
        {9, "username:s:" + withoutLineBreaks(entry.account)},
        {18, "full address:s:" + withoutLineBreaks(entry.address) + ":" + withoutLineBreaks(entry.port)},
        {32, "alternate shell:s:"},
        {38, "promptcredentialonce:i:1"}};
    for (std::size_t i = 0; i < templateLineCount; ++i) {
        const std::size_t number = i + 1;
        if (number == passwordLineNumber) continue;
        const auto it = spelled.find(number);
        if (got.lines[i] != expected.lines.at(i) || (it != spelled.end() && got.lines[i] != it->second)) {
            return ::testing::AssertionFailure() << "line " << number << " is " << printable(got.lines[i])
                                                 << ", expected " << printable(expected.lines.at(i));
        }
    }

    const std::string& passwordLine = got.lines[passwordLineNumber - 1];
    if (server.password.empty()) {
        if (passwordLine != passwordPlaceholder) {
            return ::testing::AssertionFailure() << "line 19 for an empty password is " << printable(passwordLine);
        }
        return ::testing::AssertionSuccess();
    }
    const std::string_view prefix = passwordLinePrefix;
    const std::string_view hex = std::string_view(passwordLine).substr(std::min(prefix.size(), passwordLine.size()));
    if (passwordLine.compare(0, prefix.size(), prefix) != 0 || hex.size() % 2 != 1 || hex.back() != '0') {
        return ::testing::AssertionFailure() << "line 19 is not \"password 51:b:\", hexadecimal pairs and \"0\": "
                                             << printable(passwordLine);
    }
    const auto blob = hexDecode(hex.substr(0, hex.size() - 1));
    if (!blob) return ::testing::AssertionFailure() << "line 19 is not upper-case hexadecimal: " << passwordLine;
    DWORD error = 0;
    const auto plain = unprotect(*blob, error);
    if (!plain) {
        return ::testing::AssertionFailure() << "CryptUnprotectData refused the " << blob->size()
                                             << "-byte blob, error " << error;
    }
    const std::string start = utf16leWithTerminator(widen(server.password));
    if (plain->data.size() != passwordBlockSize || plain->data.compare(0, start.size(), start) != 0 ||
        plain->description != L"psw") {
        return ::testing::AssertionFailure() << "protected block of " << plain->data.size() << " bytes starting "
                                             << printable(plain->data.substr(0, start.size())) << ", description \""
                                             << narrow(plain->description) << "\"; expected 512 bytes starting "
                                             << printable(start) << " and \"psw\"";
    }
    return ::testing::AssertionSuccess();
}

// ---- The test base -------------------------------------------------------------------------

// Where the program's temporary folder is.
enum class TempFolder { user, ownPlain, ownWithBlank };

class Connect : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_FALSE(standinUnderTest().empty()) << "TESSALINE_MSTSC_STANDIN is not set";
        records = fs::path(folder->file(L"mstsc-calls"));
        userTemp = tempPathOfThisProcess();
        ASSERT_FALSE(userTemp.empty());
    }

    void TearDown() override {
        // A stand-in still running holds its exe open, and the folder could not go.
        for (const Record& call : standin::readRecords(records)) {
            if (const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, call.processId)) {
                WaitForSingleObject(process, static_cast<DWORD>(Millis(defaultTimeout).count()));
                CloseHandle(process);
            }
        }
        ProgramTest::TearDown();
        environment.restore();
        for (const auto& address : addresses) deleteLocalDevicesValue(widen(address));
        // The program never deletes its files; the ones it left in the user's folder go here.
        for (const auto& file : userTempFiles) DeleteFileW(file.c_str());
    }

    bool installStandin() {
        return CopyFileW(standinUnderTest().c_str(), folder->file(L"mstsc.exe").c_str(), FALSE) != 0;
    }

    // A server on a fresh loopback address; its LocalDevices value goes at the end.
    Server server(std::string port, std::string account, std::string password, std::string note = "") {
        addresses.push_back(freshLoopbackAddress());
        return Server{addresses.back(), std::move(port), std::move(account), std::move(password), std::move(note)};
    }

    // Points TMP and TEMP of the program at a folder of the test's own.
    void useTempFolder(TempFolder kind) {
        if (kind == TempFolder::user) {
            temp = userTemp;
            return;
        }
        temp = folder->file(kind == TempFolder::ownWithBlank ? L"temp folder" : L"temp");
        ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr)) << GetLastError();
        environment.set(L"TMP", temp);
        environment.set(L"TEMP", temp);
    }

    // Starts the program on these servers with the stand-in beside it; waits for the main window.
    Window startWith(const std::vector<Server>& servers, bool withStandin = true) {
        std::string config;
        for (const auto& s : servers) config += serverLine(s);
        // No option lines: every option control starts unchecked.
        writeConfig(config + "#LoadinPass:<>\r\n");
        if (withStandin && !installStandin()) {
            ADD_FAILURE() << "cannot copy the stand-in " << narrow(standinUnderTest()) << ", error " << GetLastError();
            return Window();
        }
        if (temp.empty()) useTempFolder(TempFolder::ownPlain);
        return startToMainWindow();
    }

    // Focuses and selects a row and waits until Connect is enabled.
    ::testing::AssertionResult selectRow(const Window& main, int row) {
        RemoteListView list(main.child(mw::超级列表框1));
        if (!list.focusAndSelect(row)) return ::testing::AssertionFailure() << "cannot select row " << row;
        if (!waitUntil([&] { return main.child(mw::按钮_连接服务器).enabled() && list.selected(row); }))
            return ::testing::AssertionFailure() << "Connect is not enabled after selecting row " << row;
        return ::testing::AssertionSuccess();
    }

    // Waits for `count` records, then for the command to have ended (the button
    // enabled again and the window thread answering).
    std::vector<Record> waitForCalls(const Window& main, std::size_t count) {
        auto calls = standin::waitForRecords(records, count);
        waitIdle(main);
        for (const auto& call : calls) {
            if (temp == userTemp) userTempFiles.insert(widen(call.fileArgumentUtf8));
        }
        return calls;
    }

    // The program's window thread has handled everything posted before this returns.
    static void waitIdle(const Window& main) {
        waitUntil([&] { return main.child(mw::按钮_连接服务器).enabled(); });
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(main.hwnd(), WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
    }

    ScopedEnvironment environment;
    fs::path records;
    std::wstring userTemp;
    std::wstring temp;  // the program's temporary folder
    std::vector<std::string> addresses;
    std::set<std::wstring> userTempFiles;
};

// ---- The road of one Connect command ---------------------------------------------------------

TEST_F(Connect, ButtonWritesTheFileInTheUsersTempFolderAndStartsTheClientOnIt) {
    useTempFolder(TempFolder::user);
    const Server first = server("3389", "运维", "密码Pw-1", "第一台");
    const Server second = server("3390", "administrator", "");
    const Window main = startWith({first, second});
    ASSERT_TRUE(main);
    ASSERT_TRUE(selectRow(main, 0));
    main.child(mw::按钮_连接服务器).click();
    auto calls = waitForCalls(main, 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(receivedConnection(calls[0], first, "", userTemp));
    EXPECT_EQ(calls[0].startupFlags & STARTF_USESHOWWINDOW, static_cast<unsigned long>(STARTF_USESHOWWINDOW));
    EXPECT_EQ(calls[0].showWindow, SW_SHOWNORMAL);
    EXPECT_FALSE(findMessageBox(app.id())) << findMessageBox(app.id())->describe();

    // The second server has no password: its line 19 keeps the placeholder.
    ASSERT_TRUE(selectRow(main, 1));
    main.child(mw::按钮_连接服务器).click();
    calls = waitForCalls(main, 2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(receivedConnection(calls[1], second, "", userTemp));
    ASSERT_TRUE(closeMainWindow(main));
}

TEST_F(Connect, EnterInTheMainWindowConnectsTheSelectedServer) {
    const Server only = server("13389", "user", "pw");
    const Window main = startWith({only});
    ASSERT_TRUE(main);
    ASSERT_TRUE(selectRow(main, 0));
    main.pressEnter();
    const auto calls = waitForCalls(main, 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(receivedConnection(calls[0], only, "", temp));
    EXPECT_EQ(tmpFilesIn(temp).size(), 1u);
    ASSERT_TRUE(closeMainWindow(main));
}

TEST_F(Connect, TwoCommandsLeaveTwoFiles) {
    const Server only = server("3389", "运维", "两次");
    const Window main = startWith({only});
    ASSERT_TRUE(main);
    ASSERT_TRUE(selectRow(main, 0));
    main.child(mw::按钮_连接服务器).click();
    ASSERT_EQ(waitForCalls(main, 1).size(), 1u);
    main.child(mw::按钮_连接服务器).click();
    const auto calls = waitForCalls(main, 2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NE(calls[0].fileArgumentUtf8, calls[1].fileArgumentUtf8);
    for (const auto& call : calls) EXPECT_TRUE(receivedConnection(call, only, "", temp));

    std::set<std::wstring> named;
    for (const auto& call : calls) named.insert(fs::path(widen(call.fileArgumentUtf8)).filename().wstring());
    const auto present = tmpFilesIn(temp);
    EXPECT_EQ(std::set<std::wstring>(present.begin(), present.end()), named);
    ASSERT_TRUE(closeMainWindow(main));
}

// ---- Switches ----------------------------------------------------------------------------------

struct SwitchCase {
    const char* name;
    std::vector<int> clicks;  // option controls clicked before Connect
    const char* switches;
};

void PrintTo(const SwitchCase& c, std::ostream* out) { *out << c.name; }

class ConnectSwitches : public Connect, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(ConnectSwitches, FollowTheControlsAtTheMomentOfTheCommand) {
    const SwitchCase& c = GetParam();
    const Server only = server("3389", "a", "p");
    const Window main = startWith({only});
    ASSERT_TRUE(main);
    // Without option lines in "ms.ini" every control starts unchecked.
    for (int id : c.clicks) main.child(id).click();
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(c.clicks.begin(), c.clicks.end(), [&](int id) { return main.child(id).checked(); });
    })) << "the clicks did not check their controls";
    ASSERT_TRUE(selectRow(main, 0));
    main.child(mw::按钮_连接服务器).click();
    const auto calls = waitForCalls(main, 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(receivedConnection(calls[0], only, c.switches, temp));
    ASSERT_TRUE(closeMainWindow(main));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConnectSwitches,
    ::testing::Values(SwitchCase{"ConsoleAnd1024", {mw::选择框_onsole, mw::单选框1024768}, "/console /w:1024 /h:768 "},
                      SwitchCase{"None", {}, ""},
                      SwitchCase{"Admin", {mw::选择框_admin}, "/admin "},
                      SwitchCase{"Only800", {mw::单选框800600}, "/w:800 /h:600 "},
                      SwitchCase{"All", {mw::选择框_onsole, mw::选择框_admin, mw::单选框800600},
                                 "/console /admin /w:800 /h:600 "}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- The LocalDevices value --------------------------------------------------------------------

TEST_F(Connect, WritesTheLocalDevicesValueOnceAndNeverChangesIt) {
    const Server only = server("3389", "a", "p");
    const std::wstring name = widen(only.address);
    ASSERT_FALSE(readLocalDevicesValue(name)) << "the value exists before the test";
    const Window main = startWith({only});
    ASSERT_TRUE(main);
    ASSERT_TRUE(selectRow(main, 0));
    main.child(mw::按钮_连接服务器).click();
    ASSERT_EQ(waitForCalls(main, 1).size(), 1u);
    const auto written = readLocalDevicesValue(name);
    ASSERT_TRUE(written) << "no LocalDevices value named " << only.address;
    EXPECT_EQ(written->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_TRUE(*written == dword(76)) << "data " << printable(written->data);

    // Somebody else's data and type: the next commands leave them alone.
    const std::wstring text = L"changed";
    const std::vector<RegistryValue> others{
        dword(1), {REG_SZ, std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t))}};
    std::size_t calls = 1;
    for (const RegistryValue& other : others) {
        ASSERT_TRUE(writeLocalDevicesValue(name, other));
        main.child(mw::按钮_连接服务器).click();
        ASSERT_EQ(waitForCalls(main, ++calls).size(), calls);
        const auto after = readLocalDevicesValue(name);
        ASSERT_TRUE(after);
        EXPECT_TRUE(*after == other) << "type " << after->type << " data " << printable(after->data) << ", expected type "
                                     << other.type << " data " << printable(other.data);
    }
    ASSERT_TRUE(closeMainWindow(main));
}

// ---- Nothing selected ------------------------------------------------------------------------------

enum class Unselect { clickEmptySpace, deleteAnotherRow };

struct NoSelectionCase {
    const char* name;
    Unselect how;
    bool enter;  // Enter instead of the button
};

void PrintTo(const NoSelectionCase& c, std::ostream* out) { *out << c.name; }

class ConnectWithoutSelection : public Connect, public ::testing::WithParamInterface<NoSelectionCase> {};

TEST_P(ConnectWithoutSelection, ShowsTheMessageAndDoesNothingElse) {
    const NoSelectionCase& c = GetParam();
    const Server first = server("3389", "a", "p");
    const Server second = server("3390", "b", "q");
    const Window main = startWith({first, second});
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_TRUE(selectRow(main, 0));
    if (c.how == Unselect::clickEmptySpace) {
        list.clickEmptySpace();
    } else {
        main.child(mw::按钮_删除服务器).click();
        const auto question = waitMessageBox(app.id());
        ASSERT_TRUE(question);
        question->answer(IDOK);
        ASSERT_TRUE(waitGone(question->window));
        ASSERT_TRUE(waitUntil([&] { return list.itemCount() == 1; }));
    }
    ASSERT_TRUE(waitUntil([&] { return list.selectedCount() == 0; }));
    const Window button = main.child(mw::按钮_连接服务器);
    ASSERT_TRUE(button.enabled());

    if (c.enter) {
        main.pressEnter();
    } else {
        button.click();
    }
    const auto message = waitMessageBox(app.id());
    EXPECT_TRUE(isMessageBox(message, "操作错误", "请选择服务器列表！", IconKind::error, {IDOK}));
    ASSERT_TRUE(message);
    shot(message->window, "no-selection");
    message->answer(IDOK);
    EXPECT_TRUE(waitGone(message->window));
    waitIdle(main);

    EXPECT_TRUE(tmpFilesIn(temp).empty()) << tmpFilesIn(temp).size() << " files in " << narrow(temp);
    EXPECT_TRUE(standin::readRecords(records).empty()) << "the client was started";
    EXPECT_TRUE(button.enabled());
    EXPECT_FALSE(readLocalDevicesValue(widen(first.address))) << "LocalDevices value written";
    EXPECT_FALSE(readLocalDevicesValue(widen(second.address))) << "LocalDevices value written";
    EXPECT_EQ(topLevelWindows(app.id()).size(), 1u) << describeTopLevelWindows(app.id());
    ASSERT_TRUE(closeMainWindow(main));
}

INSTANTIATE_TEST_SUITE_P(Cases, ConnectWithoutSelection,
                         ::testing::Values(NoSelectionCase{"EmptySpaceButton", Unselect::clickEmptySpace, false},
                                           NoSelectionCase{"EmptySpaceEnter", Unselect::clickEmptySpace, true},
                                           NoSelectionCase{"AfterRefillButton", Unselect::deleteAnotherRow, false}),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- No client -------------------------------------------------------------------------------------

TEST_F(Connect, WithoutAClientNothingStartsAndTheProgramGoesOn) {
    const auto systemClients = systemMstscFiles();
    if (!systemClients.empty()) GTEST_SKIP() << "this Windows has its own " << narrow(systemClients.front());
    const Server first = server("3389", "a", "p", "one");
    const Server second = server("3390", "b", "q", "two");
    const Window main = startWith({first, second}, false);
    ASSERT_TRUE(main);
    ASSERT_TRUE(selectRow(main, 0));
    const Window button = main.child(mw::按钮_连接服务器);

    // Each command still writes its file; once it is there, the command ends
    // with the button enabled and without a message.
    for (std::size_t round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        if (round == 1) {
            button.click();
        } else {
            main.pressEnter();
        }
        ASSERT_TRUE(waitUntil([&] { return tmpFilesIn(temp).size() == round; })) << tmpFilesIn(temp).size();
        EXPECT_TRUE(waitUntil([&] { return button.enabled(); })) << button.describe();
        waitIdle(main);
        EXPECT_FALSE(findMessageBox(app.id())) << findMessageBox(app.id())->describe();
        EXPECT_EQ(topLevelWindows(app.id()).size(), 1u) << describeTopLevelWindows(app.id());
        EXPECT_FALSE(fs::exists(records)) << "something recorded a start";
    }

    // The program still works: another row, its note, and a clean close.
    ASSERT_TRUE(selectRow(main, 1));
    EXPECT_TRUE(waitUntil([&] { return main.child(mw::编辑框_备注).textUtf8() == "two"; }))
        << main.child(mw::编辑框_备注).textUtf8();
    EXPECT_TRUE(app.running());
    ASSERT_TRUE(closeMainWindow(main));
}

// ---- The button while the command runs -----------------------------------------------------------------

TEST_F(Connect, ButtonIsDisabledWhileTheCommandWaitsForTheClient) {
    // The stand-in writes its record and then stays busy, so the program's
    // wait for it to become ready for input lasts its full second.
    environment.set(widen(standin::busyMillisecondsVariable), L"1500");
    const Server only = server("3389", "a", "p");
    const Window main = startWith({only});
    ASSERT_TRUE(main);
    ASSERT_TRUE(selectRow(main, 0));
    const Window button = main.child(mw::按钮_连接服务器);
    // The window thread is busy during the command: read the style bit, send nothing.
    auto disabled = [&] { return (GetWindowLongPtrW(button.hwnd(), GWL_STYLE) & WS_DISABLED) != 0; };
    ASSERT_FALSE(disabled());

    button.click();
    EXPECT_TRUE(waitUntil(disabled, defaultTimeout, 1ms)) << "the button was never seen disabled";
    EXPECT_TRUE(waitUntil([&] { return !disabled(); })) << "the button stayed disabled";
    const auto calls = waitForCalls(main, 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(receivedConnection(calls[0], only, "", temp));
    ASSERT_TRUE(closeMainWindow(main));
}

// ---- The path on the command line -------------------------------------------------------------------

struct TempPathCase {
    const char* name;
    TempFolder kind;
    bool quoted;
};

void PrintTo(const TempPathCase& c, std::ostream* out) { *out << c.name; }

class ConnectTempPath : public Connect, public ::testing::WithParamInterface<TempPathCase> {};

TEST_P(ConnectTempPath, IsQuotedOnlyWhenItHoldsABlank) {
    const TempPathCase& c = GetParam();
    useTempFolder(c.kind);
    if (!c.quoted && temp.find_first_of(L" \t") != std::wstring::npos)
        GTEST_SKIP() << "the scratch folder's own path holds a blank: " << narrow(temp);
    const Server only = server("3389", "a", "p");
    const Window main = startWith({only});
    ASSERT_TRUE(main);
    main.child(mw::选择框_admin).click();
    ASSERT_TRUE(selectRow(main, 0));
    main.child(mw::按钮_连接服务器).click();
    const auto calls = waitForCalls(main, 1);
    ASSERT_EQ(calls.size(), 1u);
    // The stand-in read the file through the argument it got, so it got the whole path.
    EXPECT_TRUE(receivedConnection(calls[0], only, "/admin ", temp));
    const std::string_view head = "mstsc.exe ";
    const std::string& line = calls[0].commandLine936;
    EXPECT_EQ(line.size() > head.size() && line[head.size()] == '"', c.quoted) << line;
    EXPECT_EQ(tmpFilesIn(temp).size(), 1u);
    ASSERT_TRUE(closeMainWindow(main));
}

INSTANTIATE_TEST_SUITE_P(Cases, ConnectTempPath,
                         ::testing::Values(TempPathCase{"WithBlank", TempFolder::ownWithBlank, true},
                                           TempPathCase{"WithoutBlank", TempFolder::ownPlain, false}),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- Line breaks in the server's texts ------------------------------------------------------------------

struct LineBreakCase {
    const char* name;
    const char* port;
    const char* account;
};

void PrintTo(const LineBreakCase& c, std::ostream* out) { *out << c.name; }

class ConnectLineBreaks : public Connect, public ::testing::WithParamInterface<LineBreakCase> {};

// "ms.ini" splits its lines at CR LF only, so a lone CR or LF reaches a field.
TEST_P(ConnectLineBreaks, NeverAddLinesToTheFile) {
    const LineBreakCase& c = GetParam();
    const Server only = server(c.port, c.account, "p");
    const Window main = startWith({only});
    ASSERT_TRUE(main);
    ASSERT_EQ(RemoteListView(main.child(mw::超级列表框1)).itemCount(), 1);
    ASSERT_TRUE(selectRow(main, 0));
    main.child(mw::按钮_连接服务器).click();
    const auto calls = waitForCalls(main, 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(receivedConnection(calls[0], only, "", temp));
    ASSERT_TRUE(calls[0].fileCopy);
    for (const auto& line : splitCrLf(*calls[0].fileCopy).lines)
        EXPECT_NE(line, "alternate shell:s:calc") << "a value added a line";
    ASSERT_TRUE(closeMainWindow(main));
}

INSTANTIATE_TEST_SUITE_P(Cases, ConnectLineBreaks,
                         ::testing::Values(LineBreakCase{"LfInAccount", "3389", "a\nalternate shell:s:calc"},
                                           LineBreakCase{"CrInAccount", "3389", "a\ralternate shell:s:calc"},
                                           LineBreakCase{"LfInPort", "33\n89", "a"},
                                           LineBreakCase{"CrAndLfApartInAccount", "3389", "a\r-\nb\n\rc"}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace tessaline::e2e
