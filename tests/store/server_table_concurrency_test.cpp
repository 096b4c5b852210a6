// Probe threads report statuses while the window thread appends and removes:
// every call must be atomic, and a report must land on its own entry or nowhere.
#include "store/server_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using tessaline::EntryId;
using tessaline::ServerEntry;
using tessaline::ServerStatus;
using tessaline::ServerTable;

// Each entry's address names the status its probe reports, so a report that
// landed on another entry would show as a mismatch.
ServerStatus statusFor(EntryId id) { return id % 2 == 0 ? ServerStatus::Online : ServerStatus::Offline; }
const char* addressFor(ServerStatus status) { return status == ServerStatus::Online ? "on" : "off"; }

TEST(ServerTableConcurrency, ReportsLandOnTheirOwnEntryWhileTheTableChanges) {
    ServerTable table;
    const int initial = 64;
    for (int n = 0; n < initial; ++n) {
        ServerEntry entry;
        entry.address = addressFor(statusFor(static_cast<EntryId>(n + 1)));
        entry.port = "3389";
        ASSERT_EQ(table.appendEntry(entry), static_cast<EntryId>(n + 1));
    }

    const int rounds = 2000;
    const EntryId highestId = static_cast<EntryId>(initial + rounds);
    std::atomic<int> landed{0};
    std::vector<std::thread> probes;
    for (int t = 0; t < 4; ++t) {
        probes.emplace_back([&, t] {
            EntryId id = static_cast<EntryId>(t + 1);
            for (int n = 0; n < 5000; ++n) {
                const auto target = table.probeTarget(id);
                if (target) {
                    EXPECT_EQ(target->address, addressFor(statusFor(id)));
                    EXPECT_EQ(target->port, "3389");
                }
                if (table.setStatusById(id, statusFor(id)) > 0) landed.fetch_add(1);
                id = id % highestId + 1;  // also ids not made yet or already gone
            }
        });
    }

    // The window thread: append, remove, read and replace.
    EntryId nextId = static_cast<EntryId>(initial + 1);
    for (int round = 0; round < rounds; ++round) {
        const int count = table.entryCount();
        if (round % 3 == 2 && count > 0) {
            table.removeEntry(round % count + 1);
        } else {
            ServerEntry entry;
            entry.address = addressFor(statusFor(nextId));
            entry.port = "3389";
            EXPECT_EQ(table.appendEntry(entry), nextId);  // no ASSERT: the probes must be joined
            ++nextId;
        }
        if (const int now = table.entryCount(); now > 0) {
            const int position = round % now + 1;
            const auto entry = table.entryAt(position);
            EXPECT_TRUE(entry.has_value());
            if (entry) table.replaceEntryTexts(position, entry->address, "3389", "user", "pw", "note");
        }
    }
    for (std::thread& probe : probes) probe.join();

    // Every entry still present carries either no report or its own.
    const std::vector<EntryId> finalIds = table.ids();
    const std::vector<ServerEntry> entries = table.snapshot();
    ASSERT_EQ(finalIds.size(), entries.size());
    for (std::size_t n = 0; n < entries.size(); ++n) {
        EXPECT_EQ(entries[n].address, addressFor(statusFor(finalIds[n])));
        if (entries[n].status != ServerStatus::Unknown) {
            EXPECT_EQ(entries[n].status, statusFor(finalIds[n]));
        }
        if (n > 0) {
            EXPECT_LT(finalIds[n - 1], finalIds[n]);
        }
    }
    EXPECT_GT(landed.load(), 0);
}

} // namespace
