// Probe results reach the entry that was probed, by identity, or nothing.
#include "probe/probe_results.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tessaline {
namespace {

ServerEntry entryAt(const std::string& address) {
    ServerEntry entry;
    entry.address = address;
    entry.port = "3389";
    return entry;
}

std::vector<ServerStatus> statuses(const ServerTable& table) {
    std::vector<ServerStatus> all;
    for (const ServerEntry& entry : table.snapshot()) {
        all.push_back(entry.status);
    }
    return all;
}

using Shown = std::vector<std::pair<int, ServerStatus>>;

Shown applyAll(ServerTable& table, ProbeResultQueue& queue) {
    Shown shown;
    const std::vector<ProbeResult> results = queue.drain();
    applyProbeResults(table, results, [&shown](int position, ServerStatus status) {
        shown.emplace_back(position, status);
    });
    return shown;
}

constexpr auto Online = ServerStatus::Online;
constexpr auto Offline = ServerStatus::Offline;
constexpr auto Unknown = ServerStatus::Unknown;

TEST(ProbeResults, ResultReachesItsEntryAfterPositionsMoved) {
    ServerTable table;
    table.appendEntry(entryAt("a"));
    const EntryId b = table.appendEntry(entryAt("b"));
    const EntryId c = table.appendEntry(entryAt("c"));
    ProbeResultQueue queue;
    const auto wake = [] { return true; };

    ASSERT_TRUE(queue.push({c, Online}, wake));
    ASSERT_TRUE(queue.push({b, Offline}, wake));
    table.removeEntry(1);  // b and c move up to positions 1 and 2

    const Shown shown = applyAll(table, queue);
    EXPECT_EQ(shown, (Shown{{2, Online}, {1, Offline}}));
    EXPECT_EQ(statuses(table), (std::vector<ServerStatus>{Offline, Online}));
}

TEST(ProbeResults, ResultOfRemovedEntryLandsNowhere) {
    // The removed entry's old position is taken by its successor, and a new
    // entry is appended behind: neither may receive the result.
    ServerTable table;
    const EntryId first = table.appendEntry(entryAt("first"));
    const EntryId second = table.appendEntry(entryAt("second"));
    ProbeResultQueue queue;

    ASSERT_TRUE(queue.push({second, Online}, [] { return true; }));
    ASSERT_TRUE(queue.push({first, Online}, [] { return true; }));
    table.removeEntry(1);
    table.removeEntry(1);
    table.appendEntry(entryAt("new"));
    table.appendEntry(entryAt("newer"));

    EXPECT_TRUE(applyAll(table, queue).empty());
    EXPECT_EQ(statuses(table), (std::vector<ServerStatus>{Unknown, Unknown}));
}

TEST(ProbeResults, ReadTargetFollowsIdentity) {
    ServerTable table;
    table.appendEntry(entryAt("gone"));
    const EntryId kept = table.appendEntry(entryAt("kept"));
    const EntryId gone = table.idAt(1);
    table.removeEntry(1);
    ProbeResultQueue queue;

    const auto target = queue.readTarget(table, kept);
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(target->address, "kept");
    EXPECT_EQ(target->port, "3389");
    EXPECT_FALSE(queue.readTarget(table, gone).has_value());
}

TEST(ProbeResults, OneWakeUntilDrained) {
    ProbeResultQueue queue;
    int wakes = 0;
    const auto wake = [&wakes] { ++wakes; return true; };

    for (EntryId id = 1; id <= 5; ++id) {
        ASSERT_TRUE(queue.push({id, Online}, wake));
    }
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(queue.drain().size(), 5u);
    EXPECT_TRUE(queue.drain().empty());

    ASSERT_TRUE(queue.push({6, Offline}, wake));
    EXPECT_EQ(wakes, 2);
}

TEST(ProbeResults, FailedWakeIsRetriedByNextPush) {
    ProbeResultQueue queue;
    std::vector<bool> answers{false, true};
    int wakes = 0;
    const auto wake = [&] { return answers[static_cast<std::size_t>(wakes++)]; };

    ASSERT_TRUE(queue.push({1, Online}, wake));
    ASSERT_TRUE(queue.push({2, Online}, wake));
    ASSERT_TRUE(queue.push({3, Online}, wake));
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(queue.drain().size(), 3u);
}

TEST(ProbeResults, NothingAfterClose) {
    ServerTable table;
    const EntryId id = table.appendEntry(entryAt("a"));
    ProbeResultQueue queue;
    int wakes = 0;
    const auto wake = [&wakes] { ++wakes; return true; };

    ASSERT_TRUE(queue.push({id, Online}, wake));
    queue.close();
    EXPECT_TRUE(queue.isClosed());

    EXPECT_FALSE(queue.push({id, Offline}, wake));
    EXPECT_EQ(wakes, 1);
    EXPECT_FALSE(queue.readTarget(table, id).has_value());
    // Results queued before the close are dropped with it.
    EXPECT_TRUE(applyAll(table, queue).empty());
    EXPECT_EQ(statuses(table), (std::vector<ServerStatus>{Unknown}));
}

TEST(ProbeResults, ApplyWithoutRowCallback) {
    ServerTable table;
    const EntryId id = table.appendEntry(entryAt("a"));
    const std::vector<ProbeResult> results{{id, Online}};
    applyProbeResults(table, results, nullptr);
    EXPECT_EQ(statuses(table), (std::vector<ServerStatus>{Online}));
}

} // namespace
} // namespace tessaline
