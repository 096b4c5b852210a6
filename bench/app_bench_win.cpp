// Benchmarks of Tessaline.exe as a whole, under Wine: start-up, the probe
// sweep, the window's responsiveness while probes wait, and memory. This
// program starts the real Tessaline.exe in folders of its own (through the
// end-to-end driver) and watches its windows from outside. Every server it
// lists is on loopback (127.0.0.1): listeners made here, in this process.
//
//   bench_app [all|floor|startup|sweep|hang|memory|memory-unswept] [ROUNDS]
//
// Prints result rows for scripts/bench (see bench_report.h).
#include <winsock2.h>

#include <windows.h>

#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_report.h"
#include "tests/e2e/driver.h"
#include "tests/support/loopback_socket_win.h"
#include "ui/control_ids.h"

namespace tessaline::bench {
namespace {

using Socket = test_support::OwnedSocket;
using test_support::loopback;

using e2e::Process;
using e2e::TestFolder;

constexpr int kListId = ids::main_window::超级列表框1;

// ---- Loopback servers ----------------------------------------------------------

class WinsockSession {
public:
    WinsockSession() {
        WSADATA data{};
        ready_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession() {
        if (ready_) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool ready() const { return ready_; }

private:
    bool ready_ = false;
};

// A listener on 127.0.0.1 at a port of the system's choice. The system
// completes each handshake on its own while the accept queue has room, so a
// probe that connects and closes at once is answered without accept().
class Listener {
public:
    explicit Listener(int backlog) : socket_(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
        if (!socket_.valid()) return;
        sockaddr_in address = loopback(0);
        if (bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
        if (listen(socket_.get(), backlog) != 0) return;
        int length = sizeof address;
        if (getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
        port_ = ntohs(address.sin_port);
    }
    bool valid() const { return port_ != 0; }
    std::uint16_t port() const { return port_; }

private:
    Socket socket_;
    std::uint16_t port_ = 0;
};

// Enough listeners for `servers` probes that all connect at once (Linux caps
// each accept queue at net.core.somaxconn, 4096 here). Made afresh for each
// run, so that every run starts with empty queues.
class AcceptingServers {
public:
    explicit AcceptingServers(int servers) {
        const int count = servers / 2000 + 1;
        for (int i = 0; i < count; ++i) {
            auto listener = std::make_unique<Listener>(SOMAXCONN);
            if (listener->valid()) listeners_.push_back(std::move(listener));
        }
    }
    bool valid() const { return !listeners_.empty(); }
    std::uint16_t portFor(int server) const {
        return listeners_[static_cast<std::size_t>(server) % listeners_.size()]->port();
    }

private:
    std::vector<std::unique_ptr<Listener>> listeners_;
};

// A listener whose accept queue is full: Linux drops every further SYN, so a
// connection attempt to it hangs until the system gives up
// (net.ipv4.tcp_syn_retries). It stands in for a host that does not answer.
class SilentServer {
public:
    SilentServer() : listener_(0) {
        if (!listener_.valid()) return;
        // With a backlog of 0 the queue holds one connection; fill it until a
        // further attempt no longer completes.
        for (int i = 0; i < 8; ++i) {
            auto filler = std::make_unique<Socket>(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
            u_long nonBlocking = 1;
            ioctlsocket(filler->get(), FIONBIO, &nonBlocking);
            sockaddr_in address = loopback(listener_.port());
            connect(filler->get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(filler->get(), &writable);
            timeval wait{0, 500'000};
            const int ready = select(0, nullptr, &writable, nullptr, &wait);
            fillers_.push_back(std::move(filler));
            if (ready == 0) {  // this attempt hangs: the queue is full
                full_ = true;
                return;
            }
        }
    }
    bool valid() const { return full_; }
    std::uint16_t port() const { return listener_.port(); }

private:
    Listener listener_;
    std::vector<std::unique_ptr<Socket>> fillers_;
    bool full_ = false;
};

// ---- ms.ini --------------------------------------------------------------------

template <typename PortOf>
std::string configText(int servers, PortOf portOf) {
    std::string text;
    for (int i = 0; i < servers; ++i) {
        text += "127.0.0.1|" + std::to_string(portOf(i)) + "|Administrator|Pw-" + std::to_string(i * 7919) +
                "|rack " + std::to_string(i % 40) + "\r\n";
    }
    text += "#Start:0\r\n#LoadinPass:<>\r\n";
    return text;
}

// ---- One run of the program ------------------------------------------------------

struct RunOptions {
    bool waitForSweep = false;
    bool ping = false;           // round trips to the main window while the sweep runs
    bool measureMemory = false;  // after the sweep
    int pollIntervalMs = 2;
    int timeoutMs = 60'000;
};

struct RunResult {
    bool shown = false;
    bool swept = false;
    double shownMs = 0;  // process start -> main window visible with all rows
    double sweepMs = 0;  // main window visible -> every row showing its result
    int online = 0;
    int offline = 0;
    Samples pings;  // WM_NULL round trips, ms
    SIZE_T workingSet = 0;
    std::string problem;
};

// The program's visible main window, found without sending it a message.
HWND visibleMainWindow(DWORD processId) {
    struct Search {
        DWORD pid;
        HWND found;
    } search{processId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto* s = reinterpret_cast<Search*>(parameter);
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            if (pid != s->pid || !IsWindowVisible(window)) return TRUE;
            wchar_t caption[64] = {};
            GetWindowTextW(window, caption, 64);
            if (std::wstring(caption) != L"Tessaline") return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Round trips of WM_NULL to a window of another process, on a thread of
// their own, until stopped.
class Pinger {
public:
    explicit Pinger(HWND window) : thread_([this, window] { loop(window); }) {}
    ~Pinger() { stop(); }
    Pinger(const Pinger&) = delete;
    Pinger& operator=(const Pinger&) = delete;

    Samples stop() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
        return samples_;
    }

private:
    void loop(HWND window) {
        while (!stopping_) {
            const Clock::time_point start = Clock::now();
            DWORD_PTR result = 0;
            const LRESULT answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
            samples_.add(answered ? millisecondsSince(start) : 5000.0);
            Sleep(5);
        }
    }

    std::atomic<bool> stopping_{false};
    Samples samples_;
    std::thread thread_;
};

void measureMemory(const Process& app, RunResult& result) {
    Sleep(1000);  // the probe threads end and their stacks go
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(app.handle(), &counters, sizeof counters)) {
        result.workingSet = counters.WorkingSetSize;
    } else {
        result.problem = "GetProcessMemoryInfo failed, error " + std::to_string(GetLastError());
    }
}

RunResult runProgram(const std::string& config, int rows, const RunOptions& options) {
    RunResult result;
    TestFolder folder(L"bench");
    if (!folder.copyProgram() || !folder.writeConfigPlain(config)) {
        result.problem = "cannot prepare the folder " + e2e::narrow(folder.path());
        return result;
    }

    const Clock::time_point start = Clock::now();
    Process app = Process::start(folder.programPath(), folder.path());
    if (!app.started()) {
        result.problem = "cannot start the program, error " + std::to_string(app.startError());
        return result;
    }

    HWND main = nullptr;
    HWND list = nullptr;
    while (millisecondsSince(start) < options.timeoutMs) {
        main = visibleMainWindow(app.id());
        if (main != nullptr) {
            list = GetDlgItem(main, kListId);
            if (list != nullptr && SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == rows) break;
        }
        main = nullptr;
        Sleep(1);
    }
    if (main == nullptr) {
        result.problem = "no main window with " + std::to_string(rows) + " rows";
        return result;
    }
    const Clock::time_point shownAt = Clock::now();
    result.shown = true;
    result.shownMs = std::chrono::duration<double, std::milli>(shownAt - start).count();
    if (!options.waitForSweep) {
        if (options.measureMemory) measureMemory(app, result);
        return result;
    }

    std::optional<Pinger> pinger;
    if (options.ping) pinger.emplace(main);

    // A row's status never goes back to Unknown, so the rows are checked in
    // order, each until it shows a result: one state query per row and poll.
    int next = 0;
    while (next < rows && millisecondsSince(shownAt) < options.timeoutMs) {
        const auto state = static_cast<UINT>(
            SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(next), LVIS_STATEIMAGEMASK));
        const UINT image = (state & LVIS_STATEIMAGEMASK) >> 12;  // status + 0: 1 online, 2 offline, 3 unknown
        if (image == 1 || image == 2) {
            (image == 1 ? result.online : result.offline) += 1;
            ++next;
            continue;
        }
        Sleep(static_cast<DWORD>(options.pollIntervalMs));
    }
    result.sweepMs = millisecondsSince(shownAt);
    result.swept = next == rows;
    if (pinger) result.pings = pinger->stop();
    if (!result.swept) {
        result.problem = std::to_string(rows - next) + " rows without a result after " +
                         std::to_string(options.timeoutMs) + " ms";
        return result;
    }

    if (options.measureMemory) measureMemory(app, result);
    return result;
}

// Ends the program of the last run before the next one starts: the Process
// object kills it when it goes; this lets Wine finish tidying up.
void pause() { Sleep(300); }

bool reportProblem(const RunResult& r, const char* what) {
    if (r.problem.empty()) return false;
    note("%s: %s", what, r.problem.c_str());
    return true;
}

std::string ratioText(double ratio, const Samples& perRound) {
    return fixed(ratio, 2) + "x (rounds " + fixed(perRound.min(), 2) + "-" + fixed(perRound.max(), 2) + ")";
}

// ---- The benchmarks -----------------------------------------------------------------

// What threads cost here: the floor under any one-thread-per-server sweep.
void benchFloor() {
    constexpr int threads = 1000;
    AcceptingServers servers(threads);
    static std::atomic<int> running{0};
    static std::uint16_t port = 0;
    port = servers.portFor(0);

    const auto measure = [](LPTHREAD_START_ROUTINE procedure) {
        running = threads;
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < threads; ++i) {
            HANDLE thread = CreateThread(nullptr, 0, procedure, nullptr, 0, nullptr);
            if (thread != nullptr) CloseHandle(thread);
            else --running;
        }
        const double created = millisecondsSince(start);
        while (running > 0 && millisecondsSince(start) < 60'000) Sleep(1);
        return std::make_pair(created, millisecondsSince(start));
    };
    const auto idle = measure([](LPVOID) -> DWORD {
        --running;
        return 0;
    });
    const auto connecting = measure([](LPVOID) -> DWORD {
        Socket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address = loopback(port);
        connect(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        --running;
        return 0;
    });
    row(3, "floor: 1,000 CreateThread calls in one thread, threads that do nothing (created; all ended)", "-",
        fixed(idle.first, 0) + " ms; " + fixed(idle.second, 0) + " ms", Mark::info);
    row(3, "floor: 1,000 threads that each connect to a loopback listener (created; all ended)", "-",
        fixed(connecting.first, 0) + " ms; " + fixed(connecting.second, 0) + " ms", Mark::info);
}

void benchStartup(int rounds) {
    constexpr int many = 10'000;
    Samples empty, full, perRound;
    for (int i = 0; i < rounds; ++i) {
        AcceptingServers servers(many);
        const RunResult e = runProgram(configText(0, [](int) { return 1; }), 0, {});
        pause();
        const RunResult f =
            runProgram(configText(many, [&](int s) { return servers.portFor(s); }), many, {});
        pause();
        if (reportProblem(e, "start-up, empty list") || reportProblem(f, "start-up, 10,000 servers")) continue;
        empty.add(e.shownMs);
        full.add(f.shownMs);
        perRound.add(f.shownMs / e.shownMs);
    }
    if (empty.empty()) {
        row(2, "start-up", "-", "no complete round", Mark::shortfall);
        return;
    }
    row(2, "start-up to main window shown with its list filled, empty list", "-",
        medianAndSpread(empty, "ms", 0), Mark::info);
    row(2, "start-up to main window shown with its list filled, 10,000 servers", "-",
        medianAndSpread(full, "ms", 0), Mark::info);
    const double ratio = full.median() / empty.median();
    row(2, "start-up: 10,000 servers / empty list (same run)", "<= 1.5x", ratioText(ratio, perRound),
        markFor(ratio <= 1.5));
}

void benchSweep(int rounds) {
    constexpr int few = 10;
    constexpr int many = 1000;
    Samples small, large, perRound;
    int offline = 0;
    RunOptions options;
    options.waitForSweep = true;
    for (int i = 0; i < rounds; ++i) {
        AcceptingServers servers(many);
        const auto portOf = [&](int s) { return servers.portFor(s); };
        const RunResult a = runProgram(configText(few, portOf), few, options);
        pause();
        const RunResult b = runProgram(configText(many, portOf), many, options);
        pause();
        if (reportProblem(a, "sweep, 10 servers") || reportProblem(b, "sweep, 1,000 servers")) continue;
        offline += a.offline + b.offline;
        small.add(a.sweepMs);
        large.add(b.sweepMs);
        perRound.add(b.sweepMs / a.sweepMs);
    }
    if (small.empty()) {
        row(3, "probe sweep", "-", "no complete round", Mark::shortfall);
        return;
    }
    if (offline > 0) note("sweep: %d rows showed offline although their server accepts", offline);
    row(3, "sweep, main window shown -> every row shows its result, 10 servers", "-",
        medianAndSpread(small, "ms", 0), Mark::info);
    row(3, "sweep, main window shown -> every row shows its result, 1,000 servers", "<= 1000 ms",
        medianAndSpread(large, "ms", 0), markFor(large.median() <= 1000.0));
    const double ratio = large.median() / small.median();
    row(3, "sweep: 1,000 / 10 servers (same run)", "<= 10x", ratioText(ratio, perRound), markFor(ratio <= 10.0));
}

void benchHang(int rounds) {
    constexpr int many = 200;
    SilentServer silent;
    if (!silent.valid()) {
        row(4, "responsiveness", "-", "cannot make a listener that drops SYNs", Mark::shortfall);
        return;
    }
    const auto portOf = [&](int) { return silent.port(); };
    RunOptions options;
    options.waitForSweep = true;
    options.pollIntervalMs = 10;
    options.timeoutMs = 180'000;
    Samples alone, all, perRound;
    std::vector<Samples> roundTrips;
    for (int i = 0; i < rounds; ++i) {
        const RunResult a = runProgram(configText(1, portOf), 1, options);
        pause();
        RunOptions pinging = options;
        pinging.ping = true;
        const RunResult b = runProgram(configText(many, portOf), many, pinging);
        pause();
        if (reportProblem(a, "one silent server") || reportProblem(b, "200 silent servers")) continue;
        alone.add(a.sweepMs);
        all.add(b.sweepMs);
        perRound.add(b.sweepMs / a.sweepMs);
        note("hang round %d: one probe %.0f ms, 200 probes %.0f ms, %zu round trips p50 %.2f p99 %.2f max %.2f ms",
             i + 1, a.sweepMs, b.sweepMs, b.pings.count(), b.pings.median(), b.pings.quantile(0.99),
             b.pings.max());
        roundTrips.push_back(b.pings);
    }
    if (alone.empty()) {
        row(4, "responsiveness", "-", "no complete round", Mark::shortfall);
        return;
    }
    Samples p99s, maxima;
    std::size_t trips = 0;
    for (const Samples& s : roundTrips) {
        p99s.add(s.quantile(0.99));
        maxima.add(s.max());
        trips += s.count();
    }
    row(4, "WM_NULL round trip while 200 probes wait, 99th percentile (median of rounds)", "<= 20 ms",
        medianAndSpread(p99s, "ms", 2) + ", " + std::to_string(trips) + " round trips",
        markFor(p99s.median() <= 20.0));
    row(4, "WM_NULL round trip while 200 probes wait, maximum (all rounds)", "<= 100 ms",
        fixed(maxima.max(), 2) + " ms", markFor(maxima.max() <= 100.0));
    row(4, "one silent server alone: main window shown -> row shows its result", "-",
        medianAndSpread(alone, "ms", 0), Mark::info);
    row(4, "200 silent servers: main window shown -> every row shows its result", "-",
        medianAndSpread(all, "ms", 0), Mark::info);
    const double ratio = all.median() / alone.median();
    row(4, "200 silent servers / one alone (same run)", "<= 1.2x", ratioText(ratio, perRound),
        markFor(ratio <= 1.2));
}

// afterSweep false: measured once the window shows, for a program built
// without probes (a diagnosis of where the memory goes).
void benchMemory(int rounds, bool afterSweep) {
    constexpr int many = 10'000;
    RunOptions options;
    options.waitForSweep = afterSweep;
    options.measureMemory = true;
    options.pollIntervalMs = 20;
    Samples emptySet, fullSet;
    for (int i = 0; i < rounds; ++i) {
        AcceptingServers servers(many);
        const RunResult e = runProgram(configText(0, [](int) { return 1; }), 0, options);
        pause();
        const RunResult f =
            runProgram(configText(many, [&](int s) { return servers.portFor(s); }), many, options);
        pause();
        if (reportProblem(e, "memory, empty list") || reportProblem(f, "memory, 10,000 servers")) continue;
        note("memory round %d: sweep of 10,000 took %.0f ms", i + 1, f.sweepMs);
        emptySet.add(static_cast<double>(e.workingSet) / 1024.0);
        fullSet.add(static_cast<double>(f.workingSet) / 1024.0);
    }
    if (emptySet.empty()) {
        row(5, "memory", "-", "no complete round", Mark::shortfall);
        return;
    }
    const std::string when = afterSweep ? "after the sweep" : "when the window shows";
    row(5, "working set, empty list, " + when, "-", medianAndSpread(emptySet, "KB", 0), Mark::info);
    row(5, "working set, 10,000 servers, " + when, "-", medianAndSpread(fullSet, "KB", 0), Mark::info);
    const double perServer = (fullSet.median() - emptySet.median()) * 1024.0 / many;
    row(5, "working set growth per server (10,000 servers - empty) / 10,000, " + when, "<= 1024 bytes",
        fixed(perServer, 0) + " bytes", afterSweep ? markFor(perServer <= 1024.0) : Mark::info);
}

} // namespace
} // namespace tessaline::bench

int wmain(int argc, wchar_t** argv) {
    using namespace tessaline::bench;
    const std::wstring what = argc > 1 ? argv[1] : L"all";
    const int rounds = argc > 2 ? _wtoi(argv[2]) : 0;
    const auto roundsOr = [&](int fallback) { return rounds > 0 ? rounds : fallback; };

    WinsockSession winsock;
    if (!winsock.ready()) {
        std::fprintf(stderr, "bench_app: Windows Sockets did not start\n");
        return 1;
    }
    if (tessaline::e2e::programUnderTest().empty()) {
        std::fprintf(stderr, "bench_app: set TESSALINE_EXE to the Tessaline.exe to measure\n");
        return 1;
    }
    const bool all = what == L"all";
    if (all || what == L"floor") benchFloor();
    if (all || what == L"startup") benchStartup(roundsOr(7));
    if (all || what == L"sweep") benchSweep(roundsOr(7));
    if (all || what == L"hang") benchHang(roundsOr(3));
    if (all || what == L"memory") benchMemory(roundsOr(3), true);
    if (what == L"memory-unswept") benchMemory(roundsOr(3), false);
    return 0;
}
