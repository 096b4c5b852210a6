// Faults from outside the program, through the real Tessaline.exe: a save
// at close into a folder that cannot be written or onto a disk that fills,
// configuration files far larger than any the program writes, deletions and
// additions while probes wait, and two copies of the program in one folder.
//
// Folders that cannot be written and small disks are made with Unix tools
// (chattr, mount), which the test starts from inside Wine; they need root.
// Every server address used here is loopback or empty.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "store/config_cipher.h"
#include "tests/e2e/program.h"
#include "tests/support/loopback_socket_win.h"

namespace tessaline::e2e {
namespace {
using test_support::attemptsWaitingOn;

using Socket = test_support::OwnedSocket;
using test_support::loopback;
using test_support::socketsReady;

namespace ed = tessaline::ids::server_editor_window;

using Clock = std::chrono::steady_clock;

constexpr std::string_view saveFailedTitle = "保存失败";
constexpr std::string_view saveFailedText = "配置文件 ms.ini 保存失败，本次的修改将会丢失。";
constexpr std::string_view optionLines = "#Start:0\r\n#LoadinPass:<>\r\n";

// Compares two byte strings without printing megabytes: the lengths and the
// first place where they differ.
::testing::AssertionResult sameBytes(const std::optional<std::string>& got, const std::string& wanted) {
    if (!got) return ::testing::AssertionFailure() << "no file";
    if (*got == wanted) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < got->size() && at < wanted.size() && (*got)[at] == wanted[at]) ++at;
    const size_t from = at > 40 ? at - 40 : 0;
    return ::testing::AssertionFailure() << "got " << got->size() << " bytes, wanted " << wanted.size()
                                         << "; first difference at byte " << at << ": got \""
                                         << printable(got->substr(from, 80)) << "\", wanted \""
                                         << printable(wanted.substr(from, 80)) << "\"";
}

// ---- Unix commands ---------------------------------------------------------------

// The Unix path of a Windows path, through Wine's own mapping; empty when
// not running under Wine.
std::string unixPathOf(const std::wstring& windowsPath) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC proc = kernel ? GetProcAddress(kernel, "wine_get_unix_file_name") : nullptr;
    if (!proc) return {};
    char* unixName = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(proc))(windowsPath.c_str());
    if (!unixName) return {};
    std::string path(unixName);
    HeapFree(GetProcessHeap(), 0, unixName);
    return path;
}

// A text in single quotes for the shell.
std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct UnixResult {
    bool finished = false;  // false: could not be started, or no end within the time
    int status = -1;
    std::string output;
    std::string describe() const {
        return finished ? "exit status " + std::to_string(status) + ", output: " + output : "did not run: " + output;
    }
    bool ok() const { return finished && status == 0; }
};

// Runs a shell script. Wine starts a Unix program without giving back a
// process handle, so the script leaves its exit status in a file that is
// polled here.
UnixResult runUnix(const std::string& script, Millis timeout = 30s) {
    UnixResult result;
    TestFolder place(L"unix");
    const std::string dir = unixPathOf(place.path());
    if (dir.empty()) {
        result.output = "no Unix path (not under Wine)";
        return result;
    }
    const std::string body = "exec >" + shellQuote(dir + "/output") + " 2>&1\n(\n" + script + "\n)\necho $? >" +
                             shellQuote(dir + "/status.part") + " && mv " + shellQuote(dir + "/status.part") + " " +
                             shellQuote(dir + "/status") + "\n";
    if (!writeFileBytes(place.file(L"run.sh"), body)) {
        result.output = "cannot write the script";
        return result;
    }
    std::wstring commandLine = L"/bin/sh \"" + widen(dir) + L"/run.sh\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        result.output = "CreateProcessW failed, error " + std::to_string(GetLastError());
        return result;
    }
    if (info.hThread) CloseHandle(info.hThread);
    if (info.hProcess) CloseHandle(info.hProcess);
    if (!waitUntil([&] { return fileExists(place.file(L"status")); }, timeout, 50ms)) {
        result.output = "no exit status after " + std::to_string(timeout.count()) + " ms";
        return result;
    }
    result.finished = true;
    result.status = std::atoi(readFileBytes(place.file(L"status")).value_or("-1").c_str());
    result.output = readFileBytes(place.file(L"output")).value_or("");
    return result;
}

// Why this machine cannot make unwritable folders and small disks; empty
// when it can.
std::string unixToolsMissing() {
    static const std::string reason = [] {
        const UnixResult id = runUnix("id -u");
        if (!id.ok()) return "cannot run Unix commands from Wine: " + id.describe();
        if (id.output != "0\n") return "not root (id -u: " + id.output + ")";
        return std::string();
    }();
    return reason;
}

// ---- The test base ---------------------------------------------------------------------

class Hardening : public ProgramTest {
protected:
    void TearDown() override {
        if (HasFailure()) {
            shot(Window(), "failure-before-cleanup");
            if (app.started()) std::cerr << "windows at the failure:" << describeTopLevelWindows(app.id()) << "\n";
        }
        app.kill();
        second.kill();
        while (!undo_.empty()) {
            const UnixResult r = runUnix(undo_.back());
            if (!r.ok()) ADD_FAILURE() << "cleanup failed: " << undo_.back() << ": " << r.describe();
            undo_.pop_back();
        }
        ProgramTest::TearDown();
    }

    // Runs `script`; `undo` runs at the test's end whatever happens, in the
    // reverse order of the calls. Empty when it worked, else the reason.
    std::string prepare(const std::string& script, const std::string& undo) {
        if (const std::string missing = unixToolsMissing(); !missing.empty()) return missing;
        undo_.push_back(undo);
        const UnixResult r = runUnix(script);
        return r.ok() ? std::string() : script + ": " + r.describe();
    }
    // Runs a script whose failure fails the test.
    ::testing::AssertionResult runOrFail(const std::string& script) {
        const UnixResult r = runUnix(script);
        if (r.ok()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << script << ": " << r.describe();
    }

    std::string folderUnix() const { return shellQuote(unixPathOf(folder->path())); }

    // A small file system of its own over the test folder, holding a fresh
    // copy of the program. The mount goes away at the test's end.
    std::string mountSmallDisk(const std::string& size) {
        const std::string where = folderUnix();
        std::string why = prepare("mount -t tmpfs -o size=" + size + ",mode=0777 tessaline-test " + where,
                                  // The program's files may still be held for a moment after its end.
                                  "mountpoint -q " + where + " || exit 0; for i in 1 2 3 4 5 6 7 8 9 10; do umount " +
                                      where + " && exit 0; sleep 0.5; done; umount -l " + where);
        if (!why.empty()) return why;
        if (!folder->copyProgram()) return "cannot copy the program onto the small disk, error " +
                                           std::to_string(GetLastError());
        return {};
    }

    // Main window: the editor's Add, with the five texts.
    ::testing::AssertionResult addServer(const Window& main, DWORD processId, const std::vector<std::wstring>& texts) {
        main.child(mw::按钮_添加服务器).click();
        const Window editor = waitTopLevel(processId, caption::editorAdd);
        if (!editor) return ::testing::AssertionFailure() << "no editor;" << describeTopLevelWindows(processId);
        const int boxes[] = {ed::编辑框_域名, ed::编辑框_端口, ed::编辑框_账号, ed::编辑框_密码, ed::编辑框_备注};
        for (size_t i = 0; i < texts.size(); ++i) editor.child(boxes[i]).setText(texts[i]);
        editor.child(ed::按钮1).click();
        if (!waitGone(editor)) return ::testing::AssertionFailure() << "the editor stays open";
        return ::testing::AssertionSuccess();
    }

    // Presses the close box and expects the save-failure question.
    std::optional<MessageBoxInfo> closeIntoSaveFailure(const Window& main) {
        main.pressCloseBox();
        auto message = waitMessageBox(app.id(), 30s);
        EXPECT_TRUE(isMessageBox(message, saveFailedTitle, saveFailedText, IconKind::error, {IDRETRY, IDCANCEL}))
            << "the program " << (app.running() ? "runs" : "ended");
        return message;
    }

    Process second;  // a second copy of the program, when a test needs one

private:
    std::vector<std::string> undo_;
};

// ---- A folder that cannot be written ----------------------------------------------------

enum class Unwritable { immutableFolder, readOnlyMount };
enum class Answer { retryAfterFix, cancel };

struct UnwritableCase {
    const char* name;
    Unwritable cause;
    Answer answer;
};

class HardeningUnwritableFolder : public Hardening, public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(HardeningUnwritableFolder, AsksToRetryAndKeepsTheOldFile) {
    const UnwritableCase& c = GetParam();
    const std::string where = folderUnix();
    std::string block, fix;
    if (c.cause == Unwritable::immutableFolder) {
        block = "chattr +i " + where;
        fix = "chattr -i " + where;
    } else {
        const std::string why = mountSmallDisk("16m");
        if (!why.empty()) GTEST_SKIP() << "no small disk: " << why;
        block = "mount -o remount,ro " + where;
        fix = "mount -o remount,rw " + where;
    }
    writeConfig("|3389|甲||\r\n#Start:0\r\n#LoadinPass:<>\r\n");
    const auto beforeBytes = folder->readConfigRaw();
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    main.child(mw::选择框_onsole).click();
    ASSERT_TRUE(waitUntil([&] { return main.child(mw::选择框_onsole).checked(); }));

    if (const std::string why = prepare(block, fix); !why.empty()) GTEST_SKIP() << "cannot block the folder: " << why;
    // The way must really stop a new file, as root as the test is.
    const std::wstring trial = folder->file(L"trial.tmp");
    const HANDLE made = CreateFileW(trial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (made != INVALID_HANDLE_VALUE) {
        CloseHandle(made);
        DeleteFileW(trial.c_str());
        GTEST_SKIP() << block << " does not stop new files here";
    }

    auto message = closeIntoSaveFailure(main);
    ASSERT_TRUE(message);
    shot(message->window, "save-failed");
    EXPECT_EQ(folder->readConfigRaw(), beforeBytes) << "the old file was changed: " << configText();
    EXPECT_EQ(folder->list(), (std::vector<std::wstring>{L"Tessaline.exe", L"ms.ini"})) << folder->listUtf8();

    if (c.answer == Answer::retryAfterFix) {
        ASSERT_TRUE(runOrFail(fix));
        message->answer(IDRETRY);
        EXPECT_EQ(waitExit(30s), std::optional<DWORD>(0)) << describeTopLevelWindows(app.id());
        EXPECT_EQ(configText(), "|3389|甲||\r\n#onsole:1\r\n#Start:0\r\n#LoadinPass:<>\r\n");
    } else {
        // Retry while the folder is still closed asks again; Cancel gives up.
        message->answer(IDRETRY);
        EXPECT_TRUE(waitGone(message->window));
        message = waitMessageBox(app.id(), 30s);
        EXPECT_TRUE(isMessageBox(message, saveFailedTitle, saveFailedText, IconKind::error, {IDRETRY, IDCANCEL}));
        if (message) message->answer(IDCANCEL);
        EXPECT_EQ(waitExit(30s), std::optional<DWORD>(0)) << describeTopLevelWindows(app.id());
        ASSERT_TRUE(runOrFail(fix));
        EXPECT_EQ(folder->readConfigRaw(), beforeBytes) << "the old file was changed: " << configText();
    }
    EXPECT_EQ(folder->list(), (std::vector<std::wstring>{L"Tessaline.exe", L"ms.ini"})) << folder->listUtf8();
}

INSTANTIATE_TEST_SUITE_P(
    Causes, HardeningUnwritableFolder,
    ::testing::Values(UnwritableCase{"ImmutableFolderRetry", Unwritable::immutableFolder, Answer::retryAfterFix},
                      UnwritableCase{"ImmutableFolderCancel", Unwritable::immutableFolder, Answer::cancel},
                      UnwritableCase{"ReadOnlyMountRetry", Unwritable::readOnlyMount, Answer::retryAfterFix},
                      UnwritableCase{"ReadOnlyMountCancel", Unwritable::readOnlyMount, Answer::cancel}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- A disk that fills during the save ----------------------------------------------------

// Fills the folder's disk with one file, then gives `leave` bytes back.
::testing::AssertionResult fillDisk(const std::wstring& filler, LONGLONG leave) {
    const HANDLE file = CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ::testing::AssertionFailure() << "cannot create the filler, error "
                                                                           << GetLastError();
    const std::unique_ptr<void, decltype(&CloseHandle)> owner(file, &CloseHandle);
    const std::string chunk(64 * 1024, 'f');
    LONGLONG size = 0;
    DWORD error = 0;
    for (;;) {
        DWORD written = 0;
        if (!WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr)) {
            error = GetLastError();
            break;
        }
        size += written;
        // A short write is the last that fits; the next one fails.
        if (written == 0) break;
    }
    LARGE_INTEGER end{};
    end.QuadPart = size > leave ? size - leave : 0;
    const bool cut = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    if (!cut) return ::testing::AssertionFailure() << "cannot shorten the filler";
    if (error != ERROR_DISK_FULL && error != ERROR_HANDLE_DISK_FULL) {
        return ::testing::AssertionFailure() << "the filler stopped with error " << error << " after " << size
                                             << " bytes";
    }
    return ::testing::AssertionSuccess();
}

struct DiskFullCase {
    const char* name;
    Answer answer;
};

class HardeningDiskFull : public Hardening, public ::testing::WithParamInterface<DiskFullCase> {};

TEST_P(HardeningDiskFull, KeepsTheOldFileWhenTheNewOneDoesNotFit) {
    if (const std::string why = mountSmallDisk("16m"); !why.empty()) GTEST_SKIP() << "no small disk: " << why;
    const std::string before = "127.0.0.1|3389|甲||\r\n#Start:0\r\n#LoadinPass:<>\r\n";
    writeConfig(before);
    const auto beforeBytes = folder->readConfigRaw();
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));

    // A server whose password alone is larger than the room left on the disk
    // (a one-line box: Wine's multi-line box wraps a long text too slowly).
    constexpr size_t longSize = 256 * 1024;
    std::wstring longPassword;
    while (longPassword.size() < longSize) longPassword += L"password of a server that does not fit; ";
    longPassword.resize(longSize);
    ASSERT_TRUE(addServer(main, app.id(), {L"", L"3390", L"乙", longPassword, L"note"}));
    ASSERT_TRUE(waitUntil([&] { return list.itemCount() == 2; })) << list.itemCount() << " rows";

    constexpr LONGLONG room = 64 * 1024;
    const std::wstring filler = folder->file(L"filler.bin");
    ASSERT_TRUE(fillDisk(filler, room));
    ULARGE_INTEGER freeBytes{};
    ASSERT_TRUE(GetDiskFreeSpaceExW((folder->path() + L"\\").c_str(), &freeBytes, nullptr, nullptr)) << GetLastError();
    // Room for a start of the new file, not for all of it.
    EXPECT_GT(freeBytes.QuadPart, 0u);
    EXPECT_LT(freeBytes.QuadPart, longSize / 2) << "free bytes";

    auto message = closeIntoSaveFailure(main);
    ASSERT_TRUE(message);
    shot(message->window, "disk-full");
    EXPECT_EQ(folder->readConfigRaw(), beforeBytes) << "the old file was changed";
    const std::vector<std::wstring> withFiller{L"Tessaline.exe", L"filler.bin", L"ms.ini"};
    EXPECT_EQ(folder->list(), withFiller) << folder->listUtf8();

    if (GetParam().answer == Answer::cancel) {
        message->answer(IDCANCEL);
        EXPECT_EQ(waitExit(30s), std::optional<DWORD>(0)) << describeTopLevelWindows(app.id());
        EXPECT_EQ(folder->readConfigRaw(), beforeBytes) << "the old file was changed";
        EXPECT_EQ(folder->list(), withFiller) << folder->listUtf8();
    } else {
        ASSERT_TRUE(DeleteFileW(filler.c_str())) << GetLastError();
        message->answer(IDRETRY);
        EXPECT_EQ(waitExit(30s), std::optional<DWORD>(0)) << describeTopLevelWindows(app.id());
        const std::string expected =
            utf8To936("127.0.0.1|3389|甲||\r\n|3390|乙|") + narrow(longPassword) + "|note\r\n" + std::string(optionLines);
        EXPECT_TRUE(sameBytes(folder->readConfigPlain(), expected));
        EXPECT_EQ(folder->list(), (std::vector<std::wstring>{L"Tessaline.exe", L"ms.ini"})) << folder->listUtf8();
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, HardeningDiskFull,
                         ::testing::Values(DiskFullCase{"Cancel", Answer::cancel},
                                           DiskFullCase{"RetryAfterFreeing", Answer::retryAfterFix}),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- Files far larger than the program writes ----------------------------------------------

// `size` bytes of code page 936 text: ASCII, Chinese characters and the
// two-byte character 0x81 0x7C, whose second byte is "|" and must not split
// the line. No "|", CR, LF, NUL, "#" or ">" of its own.
std::string longText(size_t size, unsigned seed) {
    static const std::string pieces[] = {"abc ", "\xB7\xFE\xCE\xF1\xC6\xF7", "\x81\x7C", "0123456789", " \xB2\xE2"};
    std::mt19937 random(seed);
    std::string text;
    text.reserve(size + 16);
    while (text.size() < size) text += pieces[random() % std::size(pieces)];
    // Cut only at a character boundary.
    size_t cut = 0;
    while (cut < size) cut += static_cast<unsigned char>(text[cut]) >= 0x80 ? 2 : 1;
    text.resize(cut);
    return text;
}

// Bytes that make neither an entry nor a marker: no NUL, "|" or "#".
std::string randomText(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& b : bytes) {
        do {
            b = static_cast<char>(random() & 0xFF);
        } while (b == '\0' || b == '|' || b == '#');
    }
    return bytes;
}

struct BigFile {
    std::string plain;     // what "ms.ini" deciphers to
    std::string rewritten;  // the plain text the program writes back at close
    int rows = 0;
};

constexpr size_t megabyte = 1u << 20;

struct BigConfigCase {
    const char* name;
    BigFile (*make)();
};

class HardeningBigConfig : public Hardening, public ::testing::WithParamInterface<BigConfigCase> {};

TEST_P(HardeningBigConfig, StartsAndRewritesTheWholeFile) {
    const BigFile file = GetParam().make();
    ASSERT_TRUE(folder->writeConfigPlain(file.plain));
    start();
    const Window main = waitWindow(caption::mainWindow, 60s);
    ASSERT_TRUE(main);
    EXPECT_FALSE(findMessageBox(app.id())) << findMessageBox(app.id())->describe();
    EXPECT_FALSE(findTopLevel(app.id(), caption::authentication));
    RemoteListView list(main.child(mw::超级列表框1));
    EXPECT_EQ(list.itemCount(), file.rows);
    main.pressCloseBox();
    EXPECT_EQ(waitExit(60s), std::optional<DWORD>(0)) << describeTopLevelWindows(app.id());
    EXPECT_TRUE(sameBytes(folder->readConfigPlain(), file.rewritten));
    EXPECT_EQ(folder->list(), (std::vector<std::wstring>{L"Tessaline.exe", L"ms.ini"})) << folder->listUtf8();
}

// Lines of a megabyte in each field but the address (kept empty, so that no
// probe goes anywhere), an option line and a line without separators of the
// same length.
BigFile oneMegabyteLines() {
    std::string servers;
    servers.append("|3389|op|pw|").append(longText(megabyte, 1)).append("\r\n");
    servers.append("|").append(longText(megabyte, 2)).append("|op||\r\n");
    servers.append("|1|").append(longText(megabyte, 3)).append("|").append(longText(megabyte, 4)).append("|n\r\n");
    BigFile f;
    f.plain.append(servers).append(longText(megabyte, 5)).append("\r\n#admin:").append(longText(megabyte, 6));
    f.plain.append("1\r\n#Start:0\r\n#LoadinPass:<>\r\n");
    f.rewritten.append(servers).append("#admin:1\r\n#Start:0\r\n#LoadinPass:<>\r\n");
    f.rows = 3;
    return f;
}

// Fifty servers with a note of a megabyte each.
BigFile fiftyMegabytesOfServers() {
    BigFile f;
    for (unsigned i = 0; i < 50; ++i) {
        f.plain.append("|").append(std::to_string(3300 + i)).append("|op").append(std::to_string(i)).append("||");
        f.plain.append(longText(megabyte, 100 + i)).append("\r\n");
    }
    f.plain.append("#onsole:1\r\n#Start:1\r\n#LoadinPass:<>\r\n");
    f.rewritten = f.plain;
    f.rows = 50;
    return f;
}

// Fifty megabytes of random bytes that hold no separator and no marker.
BigFile fiftyMegabytesOfRandomText() {
    BigFile f;
    f.plain = randomText(50 * megabyte, 7);
    f.rewritten = std::string(optionLines);
    return f;
}

INSTANTIATE_TEST_SUITE_P(Files, HardeningBigConfig,
                         ::testing::Values(BigConfigCase{"OneMegabyteLines", oneMegabyteLines},
                                           BigConfigCase{"FiftyMegabytesOfServers", fiftyMegabytesOfServers},
                                           BigConfigCase{"FiftyMegabytesOfRandomText", fiftyMegabytesOfRandomText}),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- Deleting and adding while probes wait ---------------------------------------------------

// A TCP port on 127.0.0.1 in one of three ways: it answers (accepts and
// reads until the peer closes), it refuses (bound, not listening), or it is
// held (its accept queue full, so that attempts wait) until released with
// serve() or refuse().
class Server {
public:
    enum class Kind { answering, refusing, held };

    explicit Server(Kind kind) {
        if (!socketsReady()) return;
        listener_ = Socket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in a = loopback(0);
        if (!listener_.valid() || bind(listener_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            (kind != Kind::refusing && listen(listener_.get(), 1) != 0)) {
            error_ = WSAGetLastError();
            return;
        }
        int length = sizeof a;
        if (getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&a), &length) != 0) {
            error_ = WSAGetLastError();
            return;
        }
        port_ = ntohs(a.sin_port);
        if (kind == Kind::answering) serve();
        if (kind == Kind::held) hold();
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    ~Server() {
        stop_.store(true);
        if (thread_.joinable()) thread_.join();
    }

    bool ok() const { return port_ != 0 && error_ == 0; }
    std::string failure() const { return "port " + std::to_string(port_) + ", error " + std::to_string(error_); }
    u_short port() const { return port_; }
    std::wstring portText() const { return std::to_wstring(port_); }
    // The test's own attempts that wait on a held port.
    int ownWaiting() const { return ownWaiting_; }
    int closedByPeer() const { return closed_.load(); }

    void serve() {
        // Room for the attempts of many probes that try again at one moment.
        listen(listener_.get(), SOMAXCONN);
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    // Attempts that wait are refused at their next try.
    void refuse() { listener_.reset(); }

private:
    // Connects without accepting until an attempt no longer completes.
    void hold() {
        for (int i = 0; i < 16; ++i) {
            Socket filler(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
            u_long nonBlocking = 1;
            ioctlsocket(filler.get(), static_cast<long>(FIONBIO), &nonBlocking);
            const sockaddr_in a = loopback(port_);
            connect(filler.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a);
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(filler.get(), &writable);
            timeval wait{0, 300000};
            const bool completed = select(0, nullptr, &writable, nullptr, &wait) == 1;
            fillers_.push_back(std::move(filler));
            if (!completed) {
                ownWaiting_ = 1;
                return;
            }
        }
        error_ = -1;  // the queue never filled
    }

    void run() {
        std::vector<Socket> open;
        while (!stop_.load()) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(listener_.get(), &readable);
            for (const Socket& s : open) FD_SET(s.get(), &readable);
            timeval wait{0, 20000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
            for (auto it = open.begin(); it != open.end();) {
                char buffer[64];
                if (FD_ISSET(it->get(), &readable) && recv(it->get(), buffer, sizeof buffer, 0) <= 0) {
                    closed_.fetch_add(1);
                    it = open.erase(it);
                } else {
                    ++it;
                }
            }
            if (FD_ISSET(listener_.get(), &readable)) {
                Socket accepted(accept(listener_.get(), nullptr, nullptr));
                if (accepted.valid()) open.push_back(std::move(accepted));
            }
        }
    }

    Socket listener_;
    u_short port_ = 0;
    int error_ = 0;
    int ownWaiting_ = 0;
    std::vector<Socket> fillers_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> closed_{0};
};

const std::string online = "在线", offline = "离线", unknown = "...";

// What a row's server can show: the status text and its state image
// (as the item state holds it: image index + 1).
int imageOf(const std::string& status) { return status == online ? 1 : status == offline ? 2 : 3; }

// The servers of the churn test and what each of their rows may show.
enum class Fate { answering, refusing, heldThenServed, heldThenRefused, added };

struct ModelRow {
    std::wstring address, port, account, password, note;
    Fate fate;
};

class HardeningProbeChurn : public Hardening {};

TEST_F(HardeningProbeChurn, HundredDeletionsAndAdditionsWhileProbesWait) {
    Server answering(Server::Kind::answering), refusing(Server::Kind::refusing);
    Server heldServed(Server::Kind::held), heldRefused(Server::Kind::held);
    for (const Server* s : {&answering, &refusing, &heldServed, &heldRefused}) ASSERT_TRUE(s->ok()) << s->failure();

    // 120 servers, every sixth answering, refusing, or held in one of two ways.
    std::vector<ModelRow> model;
    const Fate pattern[] = {Fate::heldThenServed, Fate::heldThenRefused, Fate::answering,
                            Fate::heldThenServed, Fate::heldThenRefused, Fate::refusing};
    auto portOf = [&](Fate f) {
        switch (f) {
        case Fate::answering: return answering.portText();
        case Fate::refusing: return refusing.portText();
        case Fate::heldThenServed: return heldServed.portText();
        default: return heldRefused.portText();
        }
    };
    int loadedServed = 0, loadedRefused = 0;
    for (int i = 0; i < 120; ++i) {
        const Fate f = pattern[i % 6];
        loadedServed += f == Fate::heldThenServed ? 1 : 0;
        loadedRefused += f == Fate::heldThenRefused ? 1 : 0;
        const std::wstring n = std::to_wstring(i);
        model.push_back({L"127.0.0.1", portOf(f), L"L" + n, L"p" + n, L"loaded " + n, f});
    }
    auto lineOf = [](const ModelRow& r) {
        return narrow(r.address + L"|" + r.port + L"|" + r.account + L"|" + r.password + L"|" + r.note) + "\r\n";
    };
    std::string file;
    for (const ModelRow& r : model) file += lineOf(r);
    writeConfig(file + std::string(optionLines));

    const Window main = startToMainWindow();
    const auto started = Clock::now();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 120);

    bool servedReleased = false, refusedReleased = false;
    // What a row may show. A held server's row shows "..." until it is
    // released; so that this does not depend on time, it may show "离线"
    // once the system has given up attempts to that port (Linux does after
    // about two minutes). The attempts are counted after the row was read, so
    // a result that came from a give-up is always covered.
    auto allowed = [&](Fate fate, const std::string& status) {
        switch (fate) {
        case Fate::answering: return status == online;
        case Fate::refusing: return status == offline;
        case Fate::added: return status == unknown;
        case Fate::heldThenServed:
            return status == unknown || (servedReleased && status == online) ||
                   (status == offline &&
                    attemptsWaitingOn(heldServed.port()) < heldServed.ownWaiting() + loadedServed);
        case Fate::heldThenRefused:
            return status == unknown ||
                   (status == offline &&
                    (refusedReleased ||
                     attemptsWaitingOn(heldRefused.port()) < heldRefused.ownWaiting() + loadedRefused));
        }
        return false;
    };
    // Checks every row's status text and state image against the model and,
    // when `full`, also its texts and item value.
    auto checkRows = [&](const std::string& when, bool full) -> ::testing::AssertionResult {
        const int count = list.itemCount();
        if (count != static_cast<int>(model.size())) {
            return ::testing::AssertionFailure() << when << ": " << count << " rows, expected " << model.size();
        }
        for (int item = 0; item < count; ++item) {
            const ModelRow& m = model[static_cast<size_t>(item)];
            if (full) {
                const std::vector<std::string> texts{narrow(m.address), narrow(m.port), narrow(m.account)};
                const std::vector<std::string> shown{list.itemTextUtf8(item, 0), list.itemTextUtf8(item, 1),
                                                     list.itemTextUtf8(item, 2)};
                const LPARAM value = list.itemParam(item);
                if (shown != texts || value != item + 1) {
                    return ::testing::AssertionFailure() << when << ": row " << item << " shows " << shown[0] << " "
                                                         << shown[1] << " " << shown[2] << " with item value "
                                                         << value << ", expected " << texts[2];
                }
            }
            // A result may arrive between the reads of the text and the
            // image; a row whose two disagree is read again.
            std::string status = list.itemTextUtf8(item, 3);
            int image = list.stateImageIndex(item);
            for (int again = 0; again < 5 && image != imageOf(status); ++again) {
                Sleep(50);
                status = list.itemTextUtf8(item, 3);
                image = list.stateImageIndex(item);
            }
            if (!allowed(m.fate, status) || image != imageOf(status)) {
                return ::testing::AssertionFailure() << when << ": row " << item << " (" << narrow(m.account)
                                                     << ") shows \"" << status << "\" with image " << image;
            }
        }
        return ::testing::AssertionSuccess();
    };

    // The answering and refusing servers have their results, the held ones wait.
    ASSERT_TRUE(waitUntil([&] {
        const auto rows = list.allRowsUtf8();
        for (size_t i = 0; i < rows.size(); ++i) {
            const Fate f = model[i].fate;
            if ((f == Fate::answering && rows[i][3] != online) || (f == Fate::refusing && rows[i][3] != offline))
                return false;
        }
        return true;
    }, 30s)) << "the answering and refusing servers show no result";
    ASSERT_TRUE(waitUntil([&] {
        return attemptsWaitingOn(heldServed.port()) >= heldServed.ownWaiting() + loadedServed &&
               attemptsWaitingOn(heldRefused.port()) >= heldRefused.ownWaiting() + loadedRefused;
    })) << attemptsWaitingOn(heldServed.port()) << " and " << attemptsWaitingOn(heldRefused.port())
        << " attempts waiting";
    ASSERT_TRUE(checkRows("before the first round", true));

    std::mt19937 random(12345);
    const int rounds = 100;
    // A waiting attempt tries again 1, 3, 7, 15, 31 and 63 s after its start:
    // released before the last try, it connects.
    const auto releaseServedBy = started + 40s;
    const auto roundsStart = Clock::now();
    int firstServedRound = -1;  // the round in which released probes began to connect
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        if (!servedReleased && (round == rounds / 3 || Clock::now() > releaseServedBy)) {
            heldServed.serve();
            servedReleased = true;
        }
        // Delete a row chosen at random.
        const int row = static_cast<int>(random() % model.size());
        ASSERT_TRUE(list.focusAndSelect(row));
        ASSERT_TRUE(waitUntil([&] { return main.child(mw::按钮_删除服务器).enabled() && list.selected(row); }));
        main.child(mw::按钮_删除服务器).click();
        const auto question = waitMessageBox(app.id());
        ASSERT_TRUE(isMessageBox(question, "删除项目", "确认删除该项？", IconKind::none, {IDOK, IDCANCEL}));
        question->answer(IDOK);
        model.erase(model.begin() + row);
        ASSERT_TRUE(waitUntil([&] { return list.itemCount() == static_cast<int>(model.size()); }))
            << list.itemCount() << " rows after deleting row " << row;

        // Add one, pointing at one of the four servers.
        const Fate target = pattern[random() % 6];
        const std::wstring n = std::to_wstring(round);
        const ModelRow added{L"127.0.0.1", portOf(target), L"N" + n, L"np" + n, L"added " + n, Fate::added};
        ASSERT_TRUE(addServer(main, app.id(), {added.address, added.port, added.account, added.password, added.note}));
        model.push_back(added);
        ASSERT_TRUE(waitUntil([&] { return list.itemCount() == static_cast<int>(model.size()); }))
            << list.itemCount() << " rows after adding";
        // Statuses after every round, the whole rows after every tenth.
        ASSERT_TRUE(checkRows("after round " + std::to_string(round), round % 10 == 9));
        ASSERT_TRUE(app.running());
        if (firstServedRound < 0 && heldServed.closedByPeer() > 0) firstServedRound = round;
    }
    const auto roundsTime = std::chrono::duration_cast<Millis>(Clock::now() - roundsStart);
    std::cout << rounds << " rounds in " << roundsTime.count() << " ms, " << roundsTime.count() / rounds
              << " ms each; released probes connected from round " << firstServedRound << "\n";
    RecordProperty("rounds", rounds);
    RecordProperty("roundMillis", static_cast<int>(roundsTime.count() / rounds));

    // Every held server is released: the served ones connect at their next
    // try, the others are refused. Results of deleted rows go nowhere.
    if (!servedReleased) {
        heldServed.serve();
        servedReleased = true;
    }
    heldRefused.refuse();
    refusedReleased = true;
    const auto settled = [&] {
        const auto rows = list.allRowsUtf8();
        for (size_t i = 0; i < rows.size(); ++i) {
            const Fate f = model[i].fate;
            if ((f == Fate::heldThenServed && rows[i][3] == unknown) ||
                (f == Fate::heldThenRefused && rows[i][3] != offline))
                return false;
        }
        return true;
    };
    EXPECT_TRUE(waitUntil(settled, 150s)) << "held servers still without a result";
    EXPECT_TRUE(waitUntil([&] { return heldServed.closedByPeer() == loadedServed; }, 10s))
        << heldServed.closedByPeer() << " connections to the served port closed, expected " << loadedServed;
    EXPECT_TRUE(checkRows("after the release", true));
    for (size_t i = 0; i < model.size(); ++i) {
        if (model[i].fate == Fate::heldThenServed) {
            EXPECT_EQ(list.itemTextUtf8(static_cast<int>(i), 3), online) << "row " << i << " " << narrow(model[i].account);
        }
    }
    shot(main, "after-rounds");

    ASSERT_TRUE(closeMainWindow(main));
    std::string expected;
    for (const ModelRow& r : model) expected += lineOf(r);
    EXPECT_TRUE(sameBytes(folder->readConfigPlain(), expected + std::string(optionLines)));
}

// ---- Two copies in one folder -------------------------------------------------------

enum class Closing { firstThenSecond, secondThenFirst, together };

struct TwoCopiesCase {
    const char* name;
    Closing closing;
};

class HardeningTwoCopies : public Hardening, public ::testing::WithParamInterface<TwoCopiesCase> {};

TEST_P(HardeningTwoCopies, TheLastToCloseDecidesTheWholeFile) {
    const std::string base = "|3389|甲|p|note\r\n";
    writeConfig(base + std::string(optionLines));
    const Window first = startToMainWindow();
    ASSERT_TRUE(first);
    second = Process::start(folder->programPath(), folder->path());
    ASSERT_TRUE(second.started()) << second.startError();
    const Window other = waitTopLevel(second.id(), caption::mainWindow);
    ASSERT_TRUE(other) << describeTopLevelWindows(second.id());

    // The first copy checks admin, the second adds a server.
    first.child(mw::选择框_admin).click();
    ASSERT_TRUE(waitUntil([&] { return first.child(mw::选择框_admin).checked(); }));
    ASSERT_TRUE(addServer(other, second.id(), {L"", L"3390", L"乙", L"p2", L"second"}));
    RemoteListView otherList(other.child(mw::超级列表框1));
    ASSERT_TRUE(waitUntil([&] { return otherList.itemCount() == 2; }));
    EXPECT_FALSE(other.child(mw::选择框_admin).checked());

    const std::string firstText = base + "#admin:1\r\n" + std::string(optionLines);
    const std::string secondText = base + "|3390|乙|p2|second\r\n" + std::string(optionLines);
    switch (GetParam().closing) {
    case Closing::firstThenSecond:
        ASSERT_TRUE(closeMainWindow(first));
        EXPECT_EQ(configText(), firstText);
        other.pressCloseBox();
        EXPECT_EQ(second.waitExit(), std::optional<DWORD>(0));
        EXPECT_EQ(configText(), secondText);
        break;
    case Closing::secondThenFirst:
        other.pressCloseBox();
        EXPECT_EQ(second.waitExit(), std::optional<DWORD>(0));
        EXPECT_EQ(configText(), secondText);
        ASSERT_TRUE(closeMainWindow(first));
        EXPECT_EQ(configText(), firstText);
        break;
    case Closing::together: {
        first.pressCloseBox();
        other.pressCloseBox();
        // One copy may find "ms.ini" held by the other's replacement at that
        // moment and ask; once the other has ended, Retry saves, and that
        // copy is then the last to close.
        struct Copy {
            Process& process;
            const std::string& text;
        };
        Copy copies[] = {{app, firstText}, {second, secondText}};
        const std::string* retried = nullptr;
        ASSERT_TRUE(waitUntil([&] {
            for (Copy& c : copies) {
                if (c.process.running() && findMessageBox(c.process.id())) return true;
            }
            return !app.running() && !second.running();
        }, 20s)) << describeTopLevelWindows(app.id()) << describeTopLevelWindows(second.id());
        for (Copy& c : copies) {
            const auto message = c.process.running() ? findMessageBox(c.process.id()) : std::nullopt;
            if (!message) continue;
            EXPECT_TRUE(isMessageBox(message, saveFailedTitle, saveFailedText, IconKind::error, {IDRETRY, IDCANCEL}));
            Process& otherCopy = &c.process == &app ? second : app;
            EXPECT_TRUE(otherCopy.waitExit().has_value()) << "both copies ask";
            message->answer(IDRETRY);
            retried = &c.text;
            std::cout << "copy " << (&c.process == &app ? "1" : "2") << " asked to retry its save\n";
        }
        EXPECT_EQ(waitExit(), std::optional<DWORD>(0)) << describeTopLevelWindows(app.id());
        EXPECT_EQ(second.waitExit(), std::optional<DWORD>(0)) << describeTopLevelWindows(second.id());
        const std::string text = configText();
        if (retried) {
            EXPECT_EQ(text, *retried);
        } else {
            EXPECT_TRUE(text == firstText || text == secondText) << printable(text);
        }
        break;
    }
    }
    EXPECT_FALSE(findMessageBox(app.id()));
    EXPECT_EQ(folder->list(), (std::vector<std::wstring>{L"Tessaline.exe", L"ms.ini"})) << folder->listUtf8();
}

INSTANTIATE_TEST_SUITE_P(Orders, HardeningTwoCopies,
                         ::testing::Values(TwoCopiesCase{"FirstClosesFirst", Closing::firstThenSecond},
                                           TwoCopiesCase{"SecondClosesFirst", Closing::secondThenFirst},
                                           TwoCopiesCase{"BothAtOnce", Closing::together}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace tessaline::e2e
