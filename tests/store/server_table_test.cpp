// The server table: positions, identities and status reports.
#include "store/server_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tessaline::EntryId;
using tessaline::ServerEntry;
using tessaline::ServerStatus;
using tessaline::ServerTable;

ServerEntry entryNamed(const std::string& address) {
    ServerEntry entry;
    entry.address = address;
    entry.port = "3389";
    entry.account = "Administrator";
    return entry;
}

std::vector<std::string> addresses(const ServerTable& table) {
    std::vector<std::string> out;
    for (const ServerEntry& entry : table.snapshot()) out.push_back(entry.address);
    return out;
}

// A table holding "a", "b", "c" at positions 1..3.
class ServerTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a", "b", "c"}) ids_.push_back(table_.appendEntry(entryNamed(name)));
    }
    ServerTable table_;
    std::vector<EntryId> ids_;
};

TEST(ServerTableEmpty, HasNothing) {
    ServerTable table;
    EXPECT_EQ(table.entryCount(), 0);
    EXPECT_FALSE(table.entryAt(1).has_value());
    EXPECT_EQ(table.idAt(1), 0u);
    EXPECT_TRUE(table.snapshot().empty());
    EXPECT_EQ(table.positionOf(1), 0);
    EXPECT_EQ(table.setStatusById(1, ServerStatus::Online), 0);
    table.removeEntry(1);
    EXPECT_EQ(table.entryCount(), 0);
}

TEST_F(ServerTableTest, AppendKeepsOrderAndCopiesTheEntry) {
    EXPECT_EQ(table_.entryCount(), 3);
    EXPECT_EQ(addresses(table_), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(table_.ids(), ids_);
    for (int position = 1; position <= 3; ++position) {
        EXPECT_EQ(table_.idAt(position), ids_[static_cast<std::size_t>(position) - 1]);
        EXPECT_EQ(table_.positionOf(ids_[static_cast<std::size_t>(position) - 1]), position);
    }
    EXPECT_NE(ids_[0], 0u);
    EXPECT_LT(ids_[0], ids_[1]);
    EXPECT_LT(ids_[1], ids_[2]);

    ServerEntry entry = entryNamed("d");
    entry.status = ServerStatus::Unknown;
    table_.appendEntry(entry);
    entry.address = "changed after append";
    EXPECT_EQ(table_.entryAt(4)->address, "d");
}

TEST_F(ServerTableTest, BulkAppendKeepsOrderAndGivesNewIdentities) {
    table_.removeEntry(3);
    table_.appendEntries({entryNamed("d"), entryNamed("e")});
    table_.appendEntry(entryNamed("f"));
    EXPECT_EQ(addresses(table_), (std::vector<std::string>{"a", "b", "d", "e", "f"}));
    const std::vector<EntryId> ids = table_.ids();
    for (std::size_t n = 1; n < ids.size(); ++n) EXPECT_LT(ids[n - 1], ids[n]);
    EXPECT_GT(ids[2], ids_[2]);  // the removed entry's identity is not given again
    EXPECT_EQ(table_.positionOf(ids[3]), 4);
}

TEST_F(ServerTableTest, PositionsOutsideTheTableChangeNothing) {
    for (int position : {-1, 0, 4, 5}) {
        table_.removeEntry(position);
        EXPECT_FALSE(table_.entryAt(position).has_value()) << position;
        EXPECT_EQ(table_.idAt(position), 0u) << position;
        EXPECT_FALSE(table_.setEntryStatus(position, ServerStatus::Online)) << position;
        EXPECT_FALSE(table_.replaceEntryTexts(position, "x", "x", "x", "x", "x")) << position;
    }
    EXPECT_EQ(addresses(table_), (std::vector<std::string>{"a", "b", "c"}));
    for (const ServerEntry& entry : table_.snapshot()) EXPECT_EQ(entry.status, ServerStatus::Unknown);
}

TEST_F(ServerTableTest, RemoveMovesLaterEntriesUpAndKeepsIdentities) {
    table_.removeEntry(1);
    EXPECT_EQ(addresses(table_), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(table_.positionOf(ids_[0]), 0);
    EXPECT_EQ(table_.positionOf(ids_[1]), 1);
    EXPECT_EQ(table_.positionOf(ids_[2]), 2);
    EXPECT_FALSE(table_.probeTarget(ids_[0]).has_value());

    // A new entry gets a new identity, never the removed one.
    const EntryId d = table_.appendEntry(entryNamed("d"));
    EXPECT_NE(d, ids_[0]);
    EXPECT_EQ(table_.positionOf(d), 3);

    table_.removeEntry(2);  // "c"
    EXPECT_EQ(addresses(table_), (std::vector<std::string>{"b", "d"}));
    EXPECT_EQ(table_.positionOf(d), 2);
    EXPECT_EQ(table_.positionOf(ids_[2]), 0);
}

TEST_F(ServerTableTest, StatusByIdFollowsTheEntryAndIsDroppedOnceItIsGone) {
    table_.removeEntry(1);
    EXPECT_EQ(table_.setStatusById(ids_[2], ServerStatus::Online), 2);
    EXPECT_EQ(table_.entryAt(2)->status, ServerStatus::Online);
    EXPECT_EQ(table_.entryAt(1)->status, ServerStatus::Unknown);

    EXPECT_EQ(table_.setStatusById(ids_[0], ServerStatus::Offline), 0);
    for (const ServerEntry& entry : table_.snapshot()) EXPECT_NE(entry.status, ServerStatus::Offline);
    EXPECT_EQ(table_.setStatusById(0, ServerStatus::Offline), 0);
}

TEST_F(ServerTableTest, ReplaceKeepsStatusAndIdentity) {
    ASSERT_TRUE(table_.setEntryStatus(2, ServerStatus::Offline));
    ASSERT_TRUE(table_.replaceEntryTexts(2, "host", "3390", "user", "secret", "note"));
    const ServerEntry entry = *table_.entryAt(2);
    EXPECT_EQ(entry, (ServerEntry{"host", "3390", "user", "secret", "note", ServerStatus::Offline}));
    EXPECT_EQ(table_.idAt(2), ids_[1]);
}

TEST_F(ServerTableTest, ProbeTargetCopiesAddressAndPort) {
    ASSERT_TRUE(table_.replaceEntryTexts(3, "10.0.0.3", "3391", "u", "p", "n"));
    const auto target = table_.probeTarget(ids_[2]);
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(target->id, ids_[2]);
    EXPECT_EQ(target->address, "10.0.0.3");
    EXPECT_EQ(target->port, "3391");
}

TEST_F(ServerTableTest, ClearDropsEverythingButNeverReusesIdentities) {
    table_.clear();
    EXPECT_EQ(table_.entryCount(), 0);
    for (EntryId id : ids_) EXPECT_EQ(table_.positionOf(id), 0);
    const EntryId next = table_.appendEntry(entryNamed("e"));
    for (EntryId id : ids_) EXPECT_NE(next, id);
}

TEST(ServerTableLookup, FindsEveryEntryAfterManyRemovals) {
    ServerTable table;
    std::vector<EntryId> ids;
    for (int n = 0; n < 200; ++n) ids.push_back(table.appendEntry(entryNamed(std::to_string(n))));
    // Remove every third entry, from the back so the positions stay simple.
    for (int n = 199; n >= 0; n -= 3) table.removeEntry(n + 1);
    int expectedPosition = 0;
    for (int n = 0; n < 200; ++n) {
        const bool removed = (199 - n) % 3 == 0;
        if (removed) {
            EXPECT_EQ(table.positionOf(ids[static_cast<std::size_t>(n)]), 0) << n;
        } else {
            ++expectedPosition;
            EXPECT_EQ(table.positionOf(ids[static_cast<std::size_t>(n)]), expectedPosition) << n;
            EXPECT_EQ(table.entryAt(expectedPosition)->address, std::to_string(n));
        }
    }
    EXPECT_EQ(table.entryCount(), expectedPosition);
}

} // namespace
