// The probe sweep under Windows Sockets, against loopback listeners only:
// results reach their entries through the window's message queue, by
// identity, and nothing arrives once the sweep is closed.
#include "probe/port_number.h"
#include "probe/probe_sweep_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>
#include "tests/support/loopback_socket_win.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tessaline {
namespace {
using test_support::attemptsWaitingOn;

using test_support::loopback;
using test_support::OwnedSocket;

constexpr UINT kWakeMessage = WM_APP + 7;
constexpr DWORD kPatienceMs = 30000;  // only to end a broken test, never a check

// The test's own sockets need the library whether or not the program's
// start (startSocketLibrary) succeeded; the program's start is also made.
class SocketEnvironment : public testing::Environment {
public:
    void SetUp() override {
        WSADATA data{};
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        ASSERT_TRUE(startSocketLibrary());
    }
    void TearDown() override {
        stopSocketLibrary();
        WSACleanup();
    }
};

const testing::Environment* const socketEnvironment =
    testing::AddGlobalTestEnvironment(new SocketEnvironment);

// A TCP listener on 127.0.0.1. It accepts only once serve() is called; every
// accepted connection is read until its peer closes it.
class Listener {
public:
    explicit Listener(int backlog) : socket_(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
        sockaddr_in address = loopback(0);
        EXPECT_EQ(bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0)
            << WSAGetLastError();
        EXPECT_EQ(listen(socket_.get(), backlog), 0) << WSAGetLastError();
        int length = sizeof address;
        EXPECT_EQ(getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
        port_ = ntohs(address.sin_port);
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    ~Listener() {
        stop_.store(true);
        if (server_.joinable()) {
            server_.join();
        }
    }

    std::uint16_t port() const { return port_; }
    int accepted() const { return accepted_.load(); }
    int closedByPeer() const { return closedByPeer_.load(); }

    // Fills the accept queue with connections that are never accepted, until
    // one more attempt no longer completes: later attempts then wait.
    // Returns the number of attempts left waiting (1).
    int fillAcceptQueue() {
        for (int i = 0; i < 16; ++i) {
            OwnedSocket filler(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
            u_long nonBlocking = 1;
            ioctlsocket(filler.get(), FIONBIO, &nonBlocking);
            const sockaddr_in address = loopback(port_);
            connect(filler.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(filler.get(), &writable);
            timeval wait{0, 300000};
            const bool completed = select(0, nullptr, &writable, nullptr, &wait) == 1;
            fillers_.push_back(std::move(filler));
            if (!completed) {
                return 1;
            }
        }
        ADD_FAILURE() << "the accept queue of port " << port_ << " never filled";
        return 0;
    }

    void serve() {
        server_ = std::thread([this] { run(); });
    }

private:
    void run() {
        std::vector<OwnedSocket> open;
        while (!stop_.load()) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(socket_.get(), &readable);
            for (const OwnedSocket& s : open) {
                FD_SET(s.get(), &readable);
            }
            timeval wait{0, 20000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0) {
                continue;
            }
            for (auto it = open.begin(); it != open.end();) {
                char byte = 0;
                if (FD_ISSET(it->get(), &readable) && recv(it->get(), &byte, 1, 0) <= 0) {
                    closedByPeer_.fetch_add(1);
                    it = open.erase(it);
                } else {
                    ++it;
                }
            }
            if (FD_ISSET(socket_.get(), &readable)) {
                SOCKET s = accept(socket_.get(), nullptr, nullptr);
                if (s != INVALID_SOCKET) {
                    accepted_.fetch_add(1);
                    open.emplace_back(s);
                }
            }
        }
    }

    OwnedSocket socket_;
    std::uint16_t port_ = 0;
    std::vector<OwnedSocket> fillers_;
    std::thread server_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::atomic<int> closedByPeer_{0};
};

// A loopback port with nothing listening on it.
std::uint16_t closedPort() {
    Listener listener(1);
    return listener.port();
}

ServerEntry server(std::string address, std::string port) {
    ServerEntry entry;
    entry.address = std::move(address);
    entry.port = std::move(port);
    return entry;
}

std::vector<ServerStatus> statuses(const ServerTable& table) {
    std::vector<ServerStatus> all;
    for (const ServerEntry& entry : table.snapshot()) {
        all.push_back(entry.status);
    }
    return all;
}

// The window side: a message-only window, a message loop, and the rows the
// results were shown in.
class ProbeSweepTest : public testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TessalineProbeTestWindow";
        RegisterClassW(&windowClass);  // already registered by an earlier test: fine
        window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(window_, nullptr) << GetLastError();
    }
    void TearDown() override {
        closeProbeSweep();
        DestroyWindow(window_);
    }

    // Runs the message loop until done() holds; false when it never did.
    bool pumpUntil(const std::function<bool()>& done) {
        const DWORD start = GetTickCount();
        for (;;) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == kWakeMessage && message.hwnd == window_) {
                    ++wakes_;
                    applyPendingProbeResults(table_, [this](int position, ServerStatus status) {
                        shown_.emplace_back(position, status);
                        // The row must show the entry that now holds the result.
                        EXPECT_EQ(table_.entryAt(position)->status, status) << "row " << position;
                    });
                } else {
                    DispatchMessageW(&message);
                }
            }
            if (done()) {
                return true;
            }
            if (GetTickCount() - start > kPatienceMs) {
                return false;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }

    // Waits until every probe has ended, then takes in what they sent.
    void finishSweep() {
        ASSERT_TRUE(pumpUntil([] { return unfinishedProbes() == 0; })) << unfinishedProbes() << " probes left";
        pumpUntil([] { return true; });
    }

    void start() { startProbeSweep(table_, window_, kWakeMessage); }

    HWND window_ = nullptr;
    ServerTable table_;
    int wakes_ = 0;
    std::vector<std::pair<int, ServerStatus>> shown_;
};

std::string fullWidthDigits(std::uint16_t number) {
    std::string text;
    for (const char digit : std::to_string(number)) {
        text += '\xA3';
        text += static_cast<char>(0xB0 + (digit - '0'));
    }
    return text;
}

TEST_F(ProbeSweepTest, ProbeServerReadsAddressesAndPortTexts) {
    Listener listener(SOMAXCONN);
    listener.serve();
    const std::uint16_t open = listener.port();
    const std::string openText = std::to_string(open);
    const std::uint16_t closed = closedPort();

    struct Case {
        std::string what, address, port;
        ServerStatus expected;
    };
    const Case cases[] = {
        {"numeric address", "127.0.0.1", openText, ServerStatus::Online},
        {"short numeric form", "127.1", openText, ServerStatus::Online},
        {"host name", "localhost", openText, ServerStatus::Online},
        {"full-width digits", "127.0.0.1", fullWidthDigits(open), ServerStatus::Online},
        {"white space and sign", "127.0.0.1", " \t\xA1\xA1+" + openText, ServerStatus::Online},
        {"trailing letters", "127.0.0.1", openText + "rdp", ServerStatus::Online},
        {"above 65535", "127.0.0.1", std::to_string(open + 65536), ServerStatus::Online},
        {"beyond 32 bits", "127.0.0.1", std::to_string(open + 4294967296LL), ServerStatus::Online},
        {"closed port", "127.0.0.1", std::to_string(closed), ServerStatus::Offline},
        {"empty address", "", openText, ServerStatus::Offline},
        {"letters only: port 1", "127.0.0.1", "rdp", ServerStatus::Offline},
        {"blanks only: port 1", "127.0.0.1", "   ", ServerStatus::Offline},
        {"negative: port 1", "127.0.0.1", "-" + openText, ServerStatus::Offline},
        // A name no resolver can encode: refused without a query on the wire.
        {"very long address", std::string(5000, 'a'), openText, ServerStatus::Offline},
        {"over-long label", std::string(70, 'b') + ".invalid", openText, ServerStatus::Offline},
    };
    int online = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(probeServer(c.address, c.port), c.expected);
        online += c.expected == ServerStatus::Online ? 1 : 0;
    }
    // Each successful probe opened one connection and closed it at once.
    EXPECT_TRUE(pumpUntil([&] { return listener.closedByPeer() == online; }))
        << listener.accepted() << " accepted, " << listener.closedByPeer() << " closed";
    EXPECT_EQ(listener.accepted(), online);
}

TEST_F(ProbeSweepTest, FailedSocketLibraryGivesOffline) {
    Listener listener(SOMAXCONN);
    listener.serve();
    stopSocketLibrary();
    EXPECT_EQ(probeServer("127.0.0.1", std::to_string(listener.port())), ServerStatus::Offline);
    ASSERT_TRUE(startSocketLibrary());
    EXPECT_EQ(probeServer("127.0.0.1", std::to_string(listener.port())), ServerStatus::Online);
}

TEST_F(ProbeSweepTest, EmptyTableStartsNothing) {
    start();
    EXPECT_EQ(unfinishedProbes(), 0);
    finishSweep();
    EXPECT_EQ(wakes_, 0);
}

TEST_F(ProbeSweepTest, EveryEntryReachesItsResult) {
    Listener listener(SOMAXCONN);
    listener.serve();
    const std::string open = std::to_string(listener.port());
    const std::string closed = std::to_string(closedPort());
    constexpr int kEntries = 200;
    std::vector<ServerStatus> expected;
    int online = 0;
    for (int i = 0; i < kEntries; ++i) {
        switch (i % 4) {
        case 0: table_.appendEntry(server("127.0.0.1", open)); expected.push_back(ServerStatus::Online); ++online; break;
        case 1: table_.appendEntry(server("127.0.0.1", closed)); expected.push_back(ServerStatus::Offline); break;
        case 2: table_.appendEntry(server("", open)); expected.push_back(ServerStatus::Offline); break;
        default: table_.appendEntry(server("localhost", open)); expected.push_back(ServerStatus::Online); ++online; break;
        }
    }

    start();
    finishSweep();

    EXPECT_EQ(statuses(table_), expected);
    EXPECT_EQ(shown_.size(), static_cast<std::size_t>(kEntries));
    EXPECT_GE(wakes_, 1);
    EXPECT_LE(wakes_, kEntries);
    EXPECT_TRUE(pumpUntil([&] { return listener.closedByPeer() == online; }))
        << listener.accepted() << " accepted, " << listener.closedByPeer() << " closed";
}

TEST_F(ProbeSweepTest, ResultOfEntryDeletedWhileWaitingIsDropped) {
    Listener listener(1);
    const int waitingFillers = listener.fillAcceptQueue();
    table_.appendEntry(server("127.0.0.1", std::to_string(listener.port())));  // waits
    table_.appendEntry(server("", "3389"));                                    // Offline at once

    start();
    ASSERT_TRUE(pumpUntil([&] { return shown_.size() == 1; }));
    EXPECT_EQ(shown_.front(), std::make_pair(2, ServerStatus::Offline));
    ASSERT_TRUE(pumpUntil([&] { return attemptsWaitingOn(listener.port()) >= waitingFillers + 1; }))
        << attemptsWaitingOn(listener.port()) << " attempts waiting";

    // The waiting entry goes; the other moves up to its position, and a new
    // one takes the second position.
    table_.removeEntry(1);
    table_.appendEntry(server("127.0.0.1", "3389"));
    listener.serve();  // the waiting probe now connects: Online, for an entry that is gone
    finishSweep();

    // The probe did connect (and closed at once): its Online was dropped.
    EXPECT_TRUE(pumpUntil([&] { return listener.closedByPeer() == 1; })) << listener.closedByPeer();
    EXPECT_EQ(statuses(table_), (std::vector<ServerStatus>{ServerStatus::Offline, ServerStatus::Unknown}));
    EXPECT_EQ(shown_.size(), 1u);
}

TEST_F(ProbeSweepTest, NothingArrivesAfterClose) {
    Listener listener(1);
    const int waitingFillers = listener.fillAcceptQueue();
    table_.appendEntry(server("127.0.0.1", std::to_string(listener.port())));
    table_.appendEntry(server("127.0.0.1", std::to_string(listener.port())));

    start();
    ASSERT_TRUE(pumpUntil([&] { return attemptsWaitingOn(listener.port()) >= waitingFillers + 2; }))
        << attemptsWaitingOn(listener.port()) << " attempts waiting";
    closeProbeSweep();
    listener.serve();
    finishSweep();

    // Both probes had read their entries before the close and did connect.
    EXPECT_TRUE(pumpUntil([&] { return listener.closedByPeer() == 2; })) << listener.closedByPeer();
    EXPECT_EQ(wakes_, 0);
    EXPECT_TRUE(shown_.empty());
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, window_, kWakeMessage, kWakeMessage, PM_NOREMOVE));
    EXPECT_EQ(statuses(table_), (std::vector<ServerStatus>{ServerStatus::Unknown, ServerStatus::Unknown}));
}

} // namespace
} // namespace tessaline
