// The reachability sweep: probe threads, their connection attempts, and the
// hand-over of results to the window thread.
#include "probe/probe_sweep_win.h"

#include "probe/port_number.h"

#include <windows.h>
#include <winsock.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace tessaline {

namespace {

// Creating threads is the slow part of a sweep under Wine (about 0.65 ms
// each); the window thread leaves it to starters, two of them sharing the list.
constexpr std::size_t kStarterThreads = 2;

std::atomic<bool> socketLibraryReady{false};

// Owns one socket and closes it on every path.
class Socket {
public:
    explicit Socket(SOCKET s) noexcept : socket_(s) {}
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() {
        if (socket_ != INVALID_SOCKET) {
            closesocket(socket_);
        }
    }
    SOCKET get() const noexcept { return socket_; }
    bool valid() const noexcept { return socket_ != INVALID_SOCKET; }

private:
    SOCKET socket_;
};

struct HandleCloser {
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using ThreadHandle = std::unique_ptr<void, HandleCloser>;

// One sweep, shared by the window thread, the starters and the probes. Every
// thread keeps it alive through its own reference, so a probe that is still
// waiting at program end never touches freed memory.
struct Sweep {
    Sweep(ServerTable& t, HWND window, UINT message) : table(t), notifyWindow(window), wakeMessage(message) {}

    ServerTable& table;           // read only through results.readTarget
    const HWND notifyWindow;
    const UINT wakeMessage;
    ProbeResultQueue results;
    std::atomic<int> unfinished{0};
};

// The sweep the window serves; read and replaced on the window thread only.
// Never destroyed: the process ends while abandoned probes may still use
// the sweep, and a static destructor would tear it down under them.
std::shared_ptr<Sweep>& currentSweep = *new std::shared_ptr<Sweep>;

struct ProbeTask {
    std::shared_ptr<Sweep> sweep;
    EntryId id;
};

struct StarterTask {
    std::shared_ptr<Sweep> sweep;
    std::vector<EntryId> ids;
};

bool resolveAddress(const std::string& address, in_addr& resolved) {
    const unsigned long numeric = inet_addr(address.c_str());
    if (numeric != INADDR_NONE) {
        resolved.s_addr = numeric;
        return true;
    }
    // The answer lives in storage of this thread until its next lookup.
    const hostent* host = gethostbyname(address.c_str());
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_length != sizeof resolved ||
        host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr) {
        return false;
    }
    std::memcpy(&resolved, host->h_addr_list[0], sizeof resolved);
    return true;
}

// Thread procedure of one probe: copy the entry, try it, report by identity.
DWORD WINAPI ReachabilityProbe(LPVOID parameter) {
    const std::unique_ptr<ProbeTask> task(static_cast<ProbeTask*>(parameter));
    Sweep& sweep = *task->sweep;
    if (const std::optional<ProbeTarget> target = sweep.results.readTarget(sweep.table, task->id)) {
        const ServerStatus status = probeServer(target->address, target->port);
        sweep.results.push(ProbeResult{task->id, status}, [&sweep] {
            return PostMessageW(sweep.notifyWindow, sweep.wakeMessage, 0, 0) != FALSE;
        });
    }
    sweep.unfinished.fetch_sub(1);
    return 0;
}

// Starts the probe thread of one entry. A thread that cannot be started
// leaves its entry Unknown.
void startProbe(const std::shared_ptr<Sweep>& sweep, EntryId id) {
    auto task = std::make_unique<ProbeTask>(ProbeTask{sweep, id});
    const ThreadHandle thread(CreateThread(nullptr, 0, ReachabilityProbe, task.get(), 0, nullptr));
    if (!thread) {
        sweep->unfinished.fetch_sub(1);
        return;
    }
    task.release();  // the thread owns it now
}

void startProbes(const StarterTask& work) {
    std::size_t started = 0;
    for (const EntryId id : work.ids) {
        if (work.sweep->results.isClosed()) {
            break;
        }
        startProbe(work.sweep, id);
        ++started;
    }
    work.sweep->unfinished.fetch_sub(static_cast<int>(work.ids.size() - started));
}

DWORD WINAPI ProbeStarter(LPVOID parameter) {
    const std::unique_ptr<StarterTask> work(static_cast<StarterTask*>(parameter));
    // Creating threads competes with the window thread for the processors
    // (and, under Wine, for its server): the probes start once the window
    // thread has reached its message loop, where a sent message is answered.
    // A window that is gone answers at once.
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(work->sweep->notifyWindow, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer);
    startProbes(*work);
    return 0;
}

} // namespace

bool startSocketLibrary() {
    if (socketLibraryReady.load()) {
        return true;
    }
    WSADATA data{};
    const int error = WSAStartup(MAKEWORD(1, 1), &data);
    socketLibraryReady.store(error == 0);
    return error == 0;
}

void stopSocketLibrary() {
    if (socketLibraryReady.exchange(false)) {
        WSACleanup();
    }
}

ServerStatus probeServer(const std::string& address, std::string_view portText) {
    const std::uint16_t port = tcpPortFor(probePortNumber(portText));
    if (address.empty() || !socketLibraryReady.load()) {
        return ServerStatus::Offline;
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    if (!resolveAddress(address, target.sin_addr)) {
        return ServerStatus::Offline;
    }
    const Socket socket(::socket(AF_INET, SOCK_STREAM, 0));
    if (!socket.valid()) {
        return ServerStatus::Offline;
    }
    const int connected = connect(socket.get(), reinterpret_cast<const sockaddr*>(&target),
                                  static_cast<int>(sizeof target));
    return connected == 0 ? ServerStatus::Online : ServerStatus::Offline;
}

void startProbeSweep(ServerTable& table, HWND notifyWindow, UINT wakeMessage) {
    if (currentSweep) {
        currentSweep->results.close();
    }
    currentSweep = std::make_shared<Sweep>(table, notifyWindow, wakeMessage);
    const std::vector<EntryId> ids = table.ids();
    if (ids.empty()) {
        return;
    }
    currentSweep->unfinished.store(static_cast<int>(ids.size()));

    // The window thread only hands out the identities; starters create the
    // probe threads, so the window shows without waiting for them.
    const std::size_t starters = std::min(kStarterThreads, ids.size());
    std::size_t begin = 0;
    for (std::size_t k = 0; k < starters; ++k) {
        const std::size_t end = begin + (ids.size() - begin) / (starters - k);
        auto work = std::make_unique<StarterTask>(StarterTask{
            currentSweep, std::vector<EntryId>(ids.begin() + static_cast<std::ptrdiff_t>(begin),
                                               ids.begin() + static_cast<std::ptrdiff_t>(end))});
        const ThreadHandle starter(CreateThread(nullptr, 0, ProbeStarter, work.get(), 0, nullptr));
        if (starter) {
            work.release();
        } else {
            startProbes(*work);  // no thread to spare: start these probes here
        }
        begin = end;
    }
}

void applyPendingProbeResults(ServerTable& table,
                              const std::function<void(int position, ServerStatus)>& showRow) {
    if (!currentSweep) {
        return;
    }
    const std::vector<ProbeResult> results = currentSweep->results.drain();
    applyProbeResults(table, results, showRow);
}

void closeProbeSweep() {
    if (currentSweep) {
        currentSweep->results.close();
    }
}

int unfinishedProbes() {
    return currentSweep ? currentSweep->unfinished.load() : 0;
}

} // namespace tessaline
