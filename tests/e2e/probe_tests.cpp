// The reachability probe seen from outside: Tessaline.exe probes loopback
// listeners of the test process, and its list shows what each server did.
// Every address used here is loopback, empty, or a name that cannot resolve;
// the names are only tried where the machine has no network but loopback.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/e2e/program.h"
#include "tests/support/loopback_socket_win.h"

namespace tessaline::e2e {
namespace {
using test_support::attemptsWaitingOn;

using test_support::ipv4;
using test_support::OwnedSocket;
using test_support::socketsReady;

namespace ed = tessaline::ids::server_editor_window;

// Long enough for a probe that waits for a released listener: Linux repeats
// an unanswered SYN after 1, 3, 7 and 15 s. Only ends a broken test.
constexpr Millis releasePatience = 30s;

// ---- Sockets of the test process ----------------------------------------------------

// A TCP port on a loopback address. Listening, it accepts only once serve()
// has been called and then reads every connection until the peer closes it;
// hold() makes further connection attempts wait instead (a server that does
// not answer); bound only, it refuses every attempt at once.
class Listener {
public:
    enum class Kind { listening, refusing };

    explicit Listener(Kind kind = Kind::listening, std::string address = "127.0.0.1", u_short port = 0,
                      int backlog = 1)
        : address_(std::move(address)) {
        if (!socketsReady()) return;
        socket_ = OwnedSocket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in a = ipv4(address_, port);
        if (!socket_.valid() || bind(socket_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            error_ = WSAGetLastError();
            return;
        }
        if (kind == Kind::listening && listen(socket_.get(), backlog) != 0) {
            error_ = WSAGetLastError();
            return;
        }
        int length = sizeof a;
        if (getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&a), &length) != 0) {
            error_ = WSAGetLastError();
            return;
        }
        port_ = ntohs(a.sin_port);
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    ~Listener() {
        stop_.store(true);
        if (server_.joinable()) server_.join();
    }

    bool ok() const { return port_ != 0; }
    int error() const { return error_; }
    const std::string& address() const { return address_; }
    u_short port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }

    // Fills the accept queue with connections nobody accepts, until one more
    // attempt no longer completes: from then on attempts wait. Returns the
    // number of the test's own attempts left waiting.
    int hold() {
        for (int i = 0; i < 16; ++i) {
            OwnedSocket filler(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
            u_long nonBlocking = 1;
            ioctlsocket(filler.get(), static_cast<long>(FIONBIO), &nonBlocking);
            const sockaddr_in a = ipv4(address_, port_);
            connect(filler.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a);
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(filler.get(), &writable);
            timeval wait{0, 300000};
            const bool completed = select(0, nullptr, &writable, nullptr, &wait) == 1;
            fillers_.push_back(std::move(filler));
            if (!completed) return 1;
        }
        ADD_FAILURE() << "the accept queue of port " << port_ << " never filled";
        return 0;
    }

    // Accepts every connection, those already queued first.
    void serve() {
        if (!server_.joinable()) server_ = std::thread([this] { run(); });
    }

    // Stops listening: attempts that wait are refused when they try again.
    void stopListening() { socket_.reset(); }

    // Accepted connections that the peer closed (recv gave 0), that it reset,
    // and bytes the peers sent.
    int closedByPeer() const { return closed_.load(); }
    int resetByPeer() const { return reset_.load(); }
    int bytesReceived() const { return bytes_.load(); }
    std::string counts() const {
        return std::to_string(closedByPeer()) + " closed, " + std::to_string(resetByPeer()) + " reset, " +
               std::to_string(bytesReceived()) + " bytes received on " + address_ + ":" + portText();
    }

private:
    void run() {
        std::vector<OwnedSocket> open;
        while (!stop_.load()) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(socket_.get(), &readable);
            for (const OwnedSocket& s : open) FD_SET(s.get(), &readable);
            timeval wait{0, 20000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
            for (auto it = open.begin(); it != open.end();) {
                if (!FD_ISSET(it->get(), &readable)) {
                    ++it;
                    continue;
                }
                char buffer[256];
                const int got = recv(it->get(), buffer, static_cast<int>(sizeof buffer), 0);
                if (got > 0) {
                    bytes_.fetch_add(got);
                    ++it;
                    continue;
                }
                (got == 0 ? closed_ : reset_).fetch_add(1);
                it = open.erase(it);
            }
            if (FD_ISSET(socket_.get(), &readable)) {
                OwnedSocket accepted(accept(socket_.get(), nullptr, nullptr));
                if (accepted.valid()) open.push_back(std::move(accepted));
            }
        }
    }

    std::string address_;
    OwnedSocket socket_;
    u_short port_ = 0;
    int error_ = 0;
    std::vector<OwnedSocket> fillers_;
    std::thread server_;
    std::atomic<bool> stop_{false};
    std::atomic<int> closed_{0};
    std::atomic<int> reset_{0};
    std::atomic<int> bytes_{0};
};

// True when every network interface that the system lists is loopback, as in
// a network namespace of its own: a host name lookup then cannot reach any
// resolver. False when the list cannot be read.
bool onlyLoopbackNetwork(std::string& seen) {
    std::vector<unsigned char> buffer(16384);
    ULONG rc = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
        ULONG size = static_cast<ULONG>(buffer.size());
        rc = GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                  nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
        if (rc == ERROR_BUFFER_OVERFLOW) buffer.resize(size + 1024);
    }
    if (rc == ERROR_NO_DATA) return true;
    if (rc != NO_ERROR) {
        seen = "GetAdaptersAddresses failed with " + std::to_string(rc);
        return false;
    }
    bool loopbackOnly = true;
    for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
        seen += std::string(" [") + (a->AdapterName ? a->AdapterName : "?") + " type " + std::to_string(a->IfType) +
                (a->OperStatus == IfOperStatusUp ? " up" : " down");
        if (a->IfType != IF_TYPE_SOFTWARE_LOOPBACK && a->OperStatus == IfOperStatusUp) loopbackOnly = false;
        for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
            const sockaddr* sa = u->Address.lpSockaddr;
            bool loopback = false;
            if (sa && sa->sa_family == AF_INET) {
                const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
                loopback = (ntohl(in->sin_addr.s_addr) >> 24) == 127;
                seen += " ipv4";
            } else if (sa && sa->sa_family == AF_INET6) {
                const auto* in6 = reinterpret_cast<const sockaddr_in6*>(sa);
                loopback = IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr);
                seen += " ipv6";
            }
            seen += loopback ? "(loopback)" : "(other)";
            if (!loopback) loopbackOnly = false;
        }
        seen += "]";
    }
    return loopbackOnly;
}

// Threads of another process.
int threadCount(DWORD processId) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == processId) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

// ---- Rows ---------------------------------------------------------------------------

// Status text and state image of a row; the image as the item state holds
// it, one above the image's index (0 green, 1 red, 2 yellow).
struct RowStatus {
    std::string text;
    int image = 0;
    bool operator==(const RowStatus&) const = default;
};
std::ostream& operator<<(std::ostream& out, const RowStatus& s) { return out << "\"" << s.text << "\"/" << s.image; }

const RowStatus online{"在线", 1};
const RowStatus offline{"离线", 2};
const RowStatus unknown{"...", 3};

// The text and the image are two queries: a result that the program shows
// between them would pair an old text with a new image, so the text is read
// again until both readings agree.
RowStatus rowStatus(const RemoteListView& list, int row) {
    for (;;) {
        std::string text = list.itemTextUtf8(row, 3);
        const int image = list.stateImageIndex(row);
        if (list.itemTextUtf8(row, 3) == text) return {std::move(text), image};
    }
}

std::vector<RowStatus> rowStatuses(const RemoteListView& list) {
    std::vector<RowStatus> all;
    for (int row = 0; row < list.itemCount(); ++row) all.push_back(rowStatus(list, row));
    return all;
}

std::string describe(const std::vector<RowStatus>& rows) {
    std::string text;
    for (const RowStatus& r : rows) text += " \"" + r.text + "\"/" + std::to_string(r.image);
    return text;
}

std::vector<LPARAM> itemValues(const RemoteListView& list) {
    std::vector<LPARAM> values;
    for (int row = 0; row < list.itemCount(); ++row) values.push_back(list.itemParam(row));
    return values;
}

// Rows whose status is still "..." and yellow.
int unknownRows(const RemoteListView& list) {
    int n = 0;
    for (int row = 0; row < list.itemCount(); ++row) n += rowStatus(list, row) == unknown ? 1 : 0;
    return n;
}

// The window thread answers a message within the time-out (2 s), `rounds`
// times over a few seconds.
::testing::AssertionResult answersMessages(const Window& main, int rounds) {
    for (int i = 0; i < rounds; ++i) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(main.hwnd(), WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result) == 0) {
            return ::testing::AssertionFailure() << "no answer to WM_NULL within 2 s in round " << i + 1
                                                 << ", error " << GetLastError();
        }
        Sleep(300);
    }
    return ::testing::AssertionSuccess();
}

// A server line of "ms.ini" (UTF-8 here, code page 936 in the file).
std::string line(const std::string& address, const std::string& port, const std::string& account = "op") {
    return address + "|" + port + "|" + account + "||\r\n";
}
constexpr std::string_view optionLines = "#Start:0\r\n#LoadinPass:<>\r\n";

std::string fullWidthDigits(const std::string& digits) {
    static const char* const forms[] = {"０", "１", "２", "３", "４", "５", "６", "７", "８", "９"};
    std::string text;
    for (char d : digits) text += forms[d - '0'];
    return text;
}

// ---- Results of the sweep ---------------------------------------------------------------

class ProbeResults : public ProgramTest {};

TEST_F(ProbeResults, ListenerClosedPortEmptyAddressAndLocalhost) {
    Listener listener;
    Listener refusing(Listener::Kind::refusing);
    ASSERT_TRUE(listener.ok() && refusing.ok()) << listener.error() << " " << refusing.error();
    listener.serve();
    const std::string config = line("127.0.0.1", listener.portText()) + line("127.0.0.1", refusing.portText()) +
                               line("", listener.portText()) + line("localhost", listener.portText()) +
                               std::string(optionLines);
    writeConfig(config);
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 4);

    const std::vector<RowStatus> expected{online, offline, offline, online};
    EXPECT_TRUE(waitUntil([&] { return rowStatuses(list) == expected; })) << describe(rowStatuses(list));
    shot(main, "results");
    // Two probes connected, each closed its connection at once and sent
    // nothing; the entry without an address made no attempt.
    EXPECT_TRUE(waitUntil([&] { return listener.closedByPeer() == 2; })) << listener.counts();
    Sleep(300);  // room for a connection too many to show itself
    EXPECT_EQ(listener.closedByPeer(), 2) << listener.counts();
    EXPECT_EQ(listener.resetByPeer(), 0) << listener.counts();
    EXPECT_EQ(listener.bytesReceived(), 0) << listener.counts();
    EXPECT_EQ(itemValues(list), (std::vector<LPARAM>{1, 2, 3, 4}));

    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), config) << "statuses are not saved";
}

// Port texts: each row is probed on the port its text gives, the low 16 bits
// of a 32-bit number, at least 1. Port 1 and 3389 are listened on at an
// address of 127/8 of this test's own.
struct PortRow {
    const char* what;
    std::string address;
    std::string port;
    RowStatus expected;
    const Listener* reached = nullptr;  // the listener an online row connects to
};

// A program started on a list made of rows, once every row shows a result.
class ProbeRowsTest : public ProgramTest {
protected:
    void startWithRows(const std::vector<PortRow>& rows) {
        for (const PortRow& r : rows) config_ += line(r.address, r.port, r.what);
        config_ += optionLines;
        writeConfig(config_);
        main_ = startToMainWindow();
        ASSERT_TRUE(main_);
        list_ = std::make_unique<RemoteListView>(main_.child(mw::超级列表框1));
        ASSERT_EQ(list_->itemCount(), static_cast<int>(rows.size()));
        EXPECT_TRUE(waitUntil([&] { return unknownRows(*list_) == 0; })) << describe(rowStatuses(*list_));
    }

    std::string config_;  // the plain text of "ms.ini" written for the rows
    Window main_;
    std::unique_ptr<RemoteListView> list_;
};

class ProbePortTexts : public ProbeRowsTest {};

TEST_F(ProbePortTexts, EveryRowIsProbedOnThePortItsTextGives) {
    Listener listener;
    Listener refusing(Listener::Kind::refusing);
    ASSERT_TRUE(listener.ok() && refusing.ok()) << listener.error() << " " << refusing.error();
    listener.serve();
    // A loopback address where this run may take port 1 (binding it needs
    // root) and port 3389; runs in parallel take different addresses.
    std::unique_ptr<Listener> port1, port3389;
    for (int host = 1; host < 250 && !(port1 && port1->ok() && port3389 && port3389->ok()); ++host) {
        const std::string address = "127.77.0." + std::to_string(host);
        port1 = std::make_unique<Listener>(Listener::Kind::listening, address, u_short{1}, 8);
        port3389 = std::make_unique<Listener>(Listener::Kind::listening, address, u_short{3389}, 8);
    }
    ASSERT_TRUE(port1->ok()) << "cannot listen on port 1 of 127.77.0.x, error " << port1->error();
    ASSERT_TRUE(port3389->ok()) << "cannot listen on port 3389 of 127.77.0.x, error " << port3389->error();
    port1->serve();
    port3389->serve();
    const std::string& low = port1->address();
    const std::string open = listener.portText();
    const std::string closed = refusing.portText();
    // 2^32 times a power of ten, plus the port: far beyond 64 bits, yet the
    // port again once wrapped to 32 bits.
    std::string padded = std::string(30, '0') + open;
    const std::string beyond64 = "4294967296" + padded.substr(padded.size() - 30);

    const Listener* const l = &listener;
    const Listener* const l1 = port1.get();
    const Listener* const l3389 = port3389.get();
    const std::vector<PortRow> rows{
        {"digits", "127.0.0.1", open, online, l},
        {"full-width digits", "127.0.0.1", fullWidthDigits(open), online, l},
        {"full-width 3389", low, "３３８９", online, l3389},
        {"leading blanks", "127.0.0.1", "  " + open, online, l},
        {"leading ideographic space and plus", "127.0.0.1", "　+" + open, online, l},
        {"full-width plus", "127.0.0.1", "＋" + open, online, l},
        {"trailing letters", "127.0.0.1", open + "rdp", online, l},
        {"trailing full-width letters", "127.0.0.1", open + "ｒｄｐ", online, l},
        {"above 65535", "127.0.0.1", std::to_string(listener.port() + 65536), online, l},
        {"3389 + 65536", low, "68925", online, l3389},
        {"beyond 32 bits", "127.0.0.1", std::to_string(listener.port() + 4294967296LL), online, l},
        {"beyond 64 bits", "127.0.0.1", beyond64, online, l},
        {"closed port", "127.0.0.1", closed, offline},
        {"letters only: port 1", low, "rdp", online, l1},
        {"empty: port 1", low, "", online, l1},
        {"zero: port 1", low, "0", online, l1},
        {"negative: port 1", low, "-" + open, online, l1},
        {"minus (2^32 - 3389) wraps to 3389", low, "-4294963907", online, l3389},
        {"letters before digits: port 1", low, "x3389", online, l1},
        {"port 2, where nothing listens", low, "2", offline},
    };
    ASSERT_NO_FATAL_FAILURE(startWithRows(rows));
    const Window& main = main_;
    RemoteListView& list = *list_;
    const std::string& config = config_;
    shot(main, "ports");
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const PortRow& r = rows[static_cast<size_t>(i)];
        EXPECT_EQ(rowStatus(list, i), r.expected) << r.what << ": " << r.address << " port text \"" << r.port << "\"";
        EXPECT_EQ(list.itemTextUtf8(i, 1), r.port) << r.what << ": the port column shows the text as stored";
    }

    // Every connection the program made, it closed at once.
    auto connectionsTo = [&](const Listener* target) {
        int n = 0;
        for (const PortRow& r : rows) n += r.reached == target ? 1 : 0;
        return n;
    };
    EXPECT_TRUE(waitUntil([&] {
        return listener.closedByPeer() == connectionsTo(l) && port1->closedByPeer() == connectionsTo(l1) &&
               port3389->closedByPeer() == connectionsTo(l3389);
    })) << listener.counts() << "; " << port1->counts() << "; " << port3389->counts();
    for (const Listener* each : {l, l1, l3389}) {
        EXPECT_EQ(each->resetByPeer(), 0) << each->counts();
        EXPECT_EQ(each->bytesReceived(), 0) << each->counts();
    }
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), config);
}

// Names that cannot resolve and addresses no resolver takes; tried only
// where the machine has no network but loopback, so no query leaves it.
class ProbeWithoutNetwork : public ProbeRowsTest {
protected:
    void SetUp() override {
        std::string seen;
        if (!onlyLoopbackNetwork(seen)) {
            GTEST_SKIP() << "a network interface other than loopback is present (run under unshare -n):" << seen;
        }
        ProgramTest::SetUp();
    }
};

TEST_F(ProbeWithoutNetwork, UnresolvableNamesAndOverlongTextsShowOffline) {
    Listener listener;
    ASSERT_TRUE(listener.ok()) << listener.error();
    listener.serve();
    const std::string open = listener.portText();
    // 2^32 times 10^4990, plus the port: 5,000 digits that wrap to the port.
    std::string padded = std::string(4990, '0') + open;
    const std::string longDigits = "4294967296" + padded.substr(padded.size() - 4990);
    ASSERT_EQ(longDigits.size(), 5000u);

    const std::vector<PortRow> rows{
        {"unresolvable name", "tessaline-probe.invalid", open, offline},
        {"5,000-byte address", std::string(5000, 'a'), open, offline},
        {"5,000-byte dotted address", std::string(4999, '9') + ".", open, offline},
        {"Chinese host name", "服务器.invalid", open, offline},
        {"5,000-digit port", "127.0.0.1", longDigits, online},
        {"5,000 letters as port: port 1", "127.0.0.1", std::string(5000, 'p'), offline},
        {"between them, a server that answers", "127.0.0.1", open, online},
    };
    ASSERT_NO_FATAL_FAILURE(startWithRows(rows));
    const Window& main = main_;
    RemoteListView& list = *list_;
    const std::string& config = config_;
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const PortRow& r = rows[static_cast<size_t>(i)];
        EXPECT_EQ(rowStatus(list, i), r.expected) << r.what;
    }
    EXPECT_TRUE(waitUntil([&] { return listener.closedByPeer() == 2; })) << listener.counts();
    EXPECT_TRUE(app.running());
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), config);
}

// ---- Servers that do not answer -------------------------------------------------------

class ProbeWaiting : public ProgramTest {};

TEST_F(ProbeWaiting, WindowAnswersWhileAProbeWaits) {
    Listener silent;
    ASSERT_TRUE(silent.ok()) << silent.error();
    const int fillers = silent.hold();
    ASSERT_GT(fillers, 0);
    const std::string config =
        line("127.0.0.1", silent.portText()) + line("", silent.portText()) + std::string(optionLines);
    writeConfig(config);
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 2);

    // The other row gets its result while the first probe waits.
    ASSERT_TRUE(waitUntil([&] { return rowStatus(list, 1) == offline; })) << describe(rowStatuses(list));
    ASSERT_TRUE(waitUntil([&] { return attemptsWaitingOn(silent.port()) >= fillers + 1; }))
        << attemptsWaitingOn(silent.port()) << " attempts waiting, " << fillers << " of them the test's own";
    EXPECT_TRUE(answersMessages(main, 8));
    EXPECT_EQ(rowStatus(list, 0), unknown);
    shot(main, "waiting");
    // The list still answers and can be worked while the probe waits.
    ASSERT_TRUE(list.focusAndSelect(1));
    EXPECT_TRUE(waitUntil([&] { return main.child(mw::按钮_删除服务器).enabled(); }));
    EXPECT_EQ(rowStatus(list, 0), unknown);

    // Released, the waiting probe connects and closes at once.
    silent.serve();
    EXPECT_TRUE(waitUntil([&] { return rowStatus(list, 0) == online; }, releasePatience))
        << describe(rowStatuses(list));
    EXPECT_TRUE(waitUntil([&] { return silent.closedByPeer() == 1; })) << silent.counts();
    EXPECT_EQ(rowStatus(list, 1), offline);
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), config);
}

TEST_F(ProbeWaiting, DeletingAndAddingLeavesEveryOtherRowRight) {
    // A waits and is then refused (its Offline must go nowhere, as A is gone
    // by then); B answers; C waits and is then accepted; D is closed.
    Listener silentA, silentC, open;
    Listener refusing(Listener::Kind::refusing);
    ASSERT_TRUE(silentA.ok() && silentC.ok() && open.ok() && refusing.ok());
    const int fillersA = silentA.hold();
    const int fillersC = silentC.hold();
    ASSERT_TRUE(fillersA > 0 && fillersC > 0);
    open.serve();
    writeConfig(line("127.0.0.1", silentA.portText(), "A") + line("127.0.0.1", open.portText(), "B") +
                line("127.0.0.1", silentC.portText(), "C") + line("127.0.0.1", refusing.portText(), "D") +
                std::string(optionLines));
    const Window main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    ASSERT_EQ(list.itemCount(), 4);

    ASSERT_TRUE(waitUntil([&] { return rowStatuses(list) == std::vector<RowStatus>{unknown, online, unknown, offline}; }))
        << describe(rowStatuses(list));
    ASSERT_TRUE(waitUntil([&] {
        return attemptsWaitingOn(silentA.port()) >= fillersA + 1 && attemptsWaitingOn(silentC.port()) >= fillersC + 1;
    })) << attemptsWaitingOn(silentA.port()) << " and " << attemptsWaitingOn(silentC.port()) << " attempts waiting";

    // Delete A.
    ASSERT_TRUE(list.focusAndSelect(0));
    ASSERT_TRUE(waitUntil([&] { return main.child(mw::按钮_删除服务器).enabled(); }));
    main.child(mw::按钮_删除服务器).click();
    const auto question = waitMessageBox(app.id());
    ASSERT_TRUE(isMessageBox(question, "删除项目", "确认删除该项？", IconKind::none, {IDOK, IDCANCEL}));
    question->answer(IDOK);
    ASSERT_TRUE(waitUntil([&] { return list.itemCount() == 3; })) << list.itemCount() << " rows";

    // Add an entry with the editor's defaults.
    main.child(mw::按钮_添加服务器).click();
    const Window editor = waitWindow(caption::editorAdd);
    ASSERT_TRUE(editor);
    editor.child(ed::按钮1).click();
    ASSERT_TRUE(waitGone(editor));
    ASSERT_TRUE(waitUntil([&] { return list.itemCount() == 4; })) << list.itemCount() << " rows";

    using Rows = std::vector<std::vector<std::string>>;
    const Rows texts{{"127.0.0.1", open.portText(), "B", "在线"},
                     {"127.0.0.1", silentC.portText(), "C", "..."},
                     {"127.0.0.1", refusing.portText(), "D", "离线"},
                     {"127.0.0.1", "3389", "Administrator", "..."}};
    EXPECT_EQ(list.allRowsUtf8(), texts);
    EXPECT_EQ(rowStatuses(list), (std::vector<RowStatus>{online, unknown, offline, unknown}));

    // A's attempt ends refused, then C's connects.
    silentA.stopListening();
    EXPECT_TRUE(waitUntil([&] { return attemptsWaitingOn(silentA.port()) == 0; }, releasePatience))
        << attemptsWaitingOn(silentA.port()) << " attempts still waiting on A's port";
    silentC.serve();
    EXPECT_TRUE(waitUntil([&] { return rowStatus(list, 1) == online; }, releasePatience))
        << describe(rowStatuses(list));
    EXPECT_TRUE(waitUntil([&] { return silentC.closedByPeer() == 1; })) << silentC.counts();
    EXPECT_TRUE(answersMessages(main, 2));  // every result that was posted has been handled

    const Rows after{{"127.0.0.1", open.portText(), "B", "在线"},
                     {"127.0.0.1", silentC.portText(), "C", "在线"},
                     {"127.0.0.1", refusing.portText(), "D", "离线"},
                     {"127.0.0.1", "3389", "Administrator", "..."}};
    EXPECT_EQ(list.allRowsUtf8(), after);
    EXPECT_EQ(rowStatuses(list), (std::vector<RowStatus>{online, online, offline, unknown}));
    EXPECT_EQ(itemValues(list), (std::vector<LPARAM>{1, 2, 3, 4}));
    shot(main, "after");

    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), line("127.0.0.1", open.portText(), "B") + line("127.0.0.1", silentC.portText(), "C") +
                                line("127.0.0.1", refusing.portText(), "D") + "127.0.0.1|3389|Administrator||\r\n" +
                                std::string(optionLines));
}

TEST_F(ProbeWaiting, ClosingSavesAndEndsAtOnceWhileProbesWait) {
    Listener silent, open;
    ASSERT_TRUE(silent.ok() && open.ok());
    const int fillers = silent.hold();
    ASSERT_GT(fillers, 0);
    open.serve();
    const std::string servers = line("127.0.0.1", silent.portText(), "甲") + line("127.0.0.1", open.portText(), "乙") +
                                line("127.0.0.1", silent.portText(), "丙");

    struct CloseWay {
        const char* name;
        void (*close)(const Window& main);
    };
    const CloseWay ways[] = {
        {"close box", [](const Window& main) { main.pressCloseBox(); }},
        {"Esc", [](const Window& main) { main.pressEsc(); }},
        {"Alt+F4", [](const Window& main) { main.pressAltF4(); }},
    };
    for (const CloseWay& way : ways) {
        SCOPED_TRACE(way.name);
        writeConfig(servers + "#onsole:1\r\n#Start:1\r\n#LoadinPass:<>\r\n");
        // The attempts of an earlier run ended with its process.
        ASSERT_TRUE(waitUntil([&] { return attemptsWaitingOn(silent.port()) == fillers; }))
            << attemptsWaitingOn(silent.port()) << " attempts waiting, " << fillers << " of them the test's own";
        const Window main = startToMainWindow();
        ASSERT_TRUE(main);
        RemoteListView list(main.child(mw::超级列表框1));
        ASSERT_EQ(list.itemCount(), 3);
        ASSERT_TRUE(waitUntil([&] { return rowStatus(list, 1) == online; })) << describe(rowStatuses(list));
        ASSERT_TRUE(waitUntil([&] { return attemptsWaitingOn(silent.port()) == fillers + 2; }))
            << attemptsWaitingOn(silent.port()) << " attempts waiting, " << fillers << " of them the test's own";
        main.child(mw::单选框800600).click();
        ASSERT_TRUE(waitUntil([&] { return main.child(mw::单选框800600).checked(); }));

        way.close(main);
        const std::optional<DWORD> code = waitExit(10s);
        ASSERT_TRUE(code) << "the program did not end; windows:" << describeTopLevelWindows(app.id());
        EXPECT_EQ(*code, 0u) << "exit code 0x" << std::hex << *code << std::dec
                             << " (0xC0000005: an access violation while the process ended)";
        EXPECT_EQ(silent.closedByPeer(), 0) << "no waiting attempt may have connected: " << silent.counts();
        EXPECT_EQ(configText(), servers + "#onsole:1\r\n#Start:0\r\n#LoadinPass:<>\r\n");
    }
}

// ---- An empty list ----------------------------------------------------------------------

class ProbeEmptyList : public ProgramTest {};

TEST_F(ProbeEmptyList, StartsNoProbeAndChangesNothing) {
    // The same program with one waiting server runs one thread more than with
    // none: the probe's. With no server there is none to count.
    Listener silent;
    ASSERT_TRUE(silent.ok()) << silent.error();
    const int fillers = silent.hold();
    ASSERT_GT(fillers, 0);
    writeConfig(line("127.0.0.1", silent.portText()) + std::string(optionLines));
    Window main = startToMainWindow();
    ASSERT_TRUE(main);
    ASSERT_TRUE(waitUntil([&] { return attemptsWaitingOn(silent.port()) >= fillers + 1; }));
    Sleep(500);  // the threads that start the probes have ended
    const int withOne = threadCount(app.id());
    ASSERT_TRUE(closeMainWindow(main));

    const std::string config = "#onsole:1\r\n#admin:1\r\n#Start:1\r\n#LoadinPass:<>\r\n";
    writeConfig(config);
    main = startToMainWindow();
    ASSERT_TRUE(main);
    RemoteListView list(main.child(mw::超级列表框1));
    Sleep(500);
    const int withNone = threadCount(app.id());
    EXPECT_EQ(list.itemCount(), 0);
    EXPECT_TRUE(answersMessages(main, 3));
    EXPECT_EQ(threadCount(app.id()), withNone);
    EXPECT_EQ(withOne - withNone, 1) << withOne << " threads with one waiting server, " << withNone << " with none";
    EXPECT_EQ(list.itemCount(), 0);
    EXPECT_FALSE(findMessageBox(app.id()));
    EXPECT_EQ(topLevelWindows(app.id()).size(), 1u) << describeTopLevelWindows(app.id());
    ASSERT_TRUE(closeMainWindow(main));
    EXPECT_EQ(configText(), config);
}

}  // namespace
}  // namespace tessaline::e2e
