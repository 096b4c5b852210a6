// Many probe threads report while the window thread removes, adds and
// applies: every result lands on the entry it was made for or nowhere, no
// wake-up is lost, and nothing is touched after the sweep is closed.
#include "probe/probe_results.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tessaline {
namespace {

constexpr int kInitialEntries = 4000;
constexpr int kProbeThreads = 8;

// An entry's address carries its serial number; the status a probe reports
// for it follows from that number, so a result that landed on another entry
// shows up as a wrong status.
std::string addressFor(int serial) { return "host" + std::to_string(serial); }

int serialOf(const std::string& address) { return std::stoi(address.substr(4)); }

ServerStatus expectedStatus(int serial) {
    return serial % 2 == 0 ? ServerStatus::Online : ServerStatus::Offline;
}

ServerEntry makeEntry(int serial) {
    ServerEntry entry;
    entry.address = addressFor(serial);
    entry.port = std::to_string(serial);
    return entry;
}

// Stands in for the window's message queue: the wake "posts" one message.
struct Window {
    std::atomic<int> messages{0};
    std::atomic<int> wakes{0};
    bool post() {
        wakes.fetch_add(1);
        messages.fetch_add(1);
        return true;
    }
};

void probeAll(ProbeResultQueue& queue, const ServerTable& table, Window& window,
              const std::vector<EntryId>& ids, int thread, std::atomic<int>& dropped) {
    for (std::size_t i = static_cast<std::size_t>(thread); i < ids.size(); i += kProbeThreads) {
        const auto target = queue.readTarget(table, ids[i]);
        if (!target) {
            continue;
        }
        const ProbeResult result{ids[i], expectedStatus(serialOf(target->address))};
        if (!queue.push(result, [&window] { return window.post(); })) {
            dropped.fetch_add(1);
        }
    }
}

TEST(ProbeRoutingStress, ResultsFollowTheirEntriesWhileTableChanges) {
    ServerTable table;
    for (int serial = 0; serial < kInitialEntries; ++serial) {
        table.appendEntry(makeEntry(serial));
    }
    const std::vector<EntryId> ids = table.ids();
    ProbeResultQueue queue;
    Window window;
    std::atomic<int> dropped{0};
    std::atomic<int> running{kProbeThreads};

    std::vector<std::thread> probes;
    for (int t = 0; t < kProbeThreads; ++t) {
        probes.emplace_back([&, t] {
            probeAll(queue, table, window, ids, t, dropped);
            running.fetch_sub(1);
        });
    }

    int misplaced = 0;
    const auto showRow = [&](int position, ServerStatus status) {
        const auto entry = table.entryAt(position);
        if (!entry || entry->status != status || expectedStatus(serialOf(entry->address)) != status) {
            ++misplaced;
        }
    };
    const auto applyIfWoken = [&] {
        if (window.messages.exchange(0) > 0) {
            const std::vector<ProbeResult> results = queue.drain();
            applyProbeResults(table, results, showRow);
        }
    };

    std::mt19937 random(12345);
    int nextSerial = kInitialEntries;
    while (running.load() > 0) {
        const int count = table.entryCount();
        if (count > 0) {
            table.removeEntry(std::uniform_int_distribution<int>(1, count)(random));
        }
        table.appendEntry(makeEntry(nextSerial++));
        applyIfWoken();
    }
    for (std::thread& probe : probes) {
        probe.join();
    }
    applyIfWoken();

    // A queued result always has a wake-up on its way: nothing is left behind.
    EXPECT_TRUE(queue.drain().empty());
    EXPECT_EQ(misplaced, 0);
    EXPECT_EQ(dropped.load(), 0);
    for (const ServerEntry& entry : table.snapshot()) {
        const int serial = serialOf(entry.address);
        if (serial >= kInitialEntries) {
            EXPECT_EQ(entry.status, ServerStatus::Unknown) << entry.address;  // never probed
        } else {
            EXPECT_EQ(entry.status, expectedStatus(serial)) << entry.address;
        }
    }
}

TEST(ProbeRoutingStress, CloseStopsEveryProbeAccess) {
    // The table is freed right after the close while probes still run: a
    // probe that read it or a wake-up after the close would be caught here
    // (and by the sanitizers).
    auto table = std::make_unique<ServerTable>();
    for (int serial = 0; serial < kInitialEntries; ++serial) {
        table->appendEntry(makeEntry(serial));
    }
    const std::vector<EntryId> ids = table->ids();
    const ServerTable& shared = *table;
    ProbeResultQueue queue;
    Window window;
    std::atomic<int> dropped{0};

    std::vector<std::thread> probes;
    for (int t = 0; t < kProbeThreads; ++t) {
        probes.emplace_back([&, t] { probeAll(queue, shared, window, ids, t, dropped); });
    }
    while (window.wakes.load() == 0) {
        std::this_thread::yield();
    }
    queue.close();
    const int wakesAtClose = window.wakes.load();
    // The probes reach the table only through readTarget, which no longer looks.
    table.reset();

    for (std::thread& probe : probes) {
        probe.join();
    }
    EXPECT_EQ(window.wakes.load(), wakesAtClose);
    EXPECT_TRUE(queue.drain().empty());
    EXPECT_FALSE(queue.push({ids.front(), ServerStatus::Online}, [&window] { return window.post(); }));
    EXPECT_EQ(window.wakes.load(), wakesAtClose);
}

} // namespace
} // namespace tessaline
