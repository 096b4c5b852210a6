// The one ordered table of servers, shared by the window thread and the
// reachability probes. Positions are 1-based; every entry also carries an
// identity that stays with it for the whole run, so that a probe result can
// find its entry after deletions have moved the positions.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tessaline {

enum class ServerStatus : std::int32_t { Online = 1, Offline = 2, Unknown = 3 };

struct ServerEntry {
    std::string address;
    std::string port;      // as typed; never validated here
    std::string account;
    std::string password;  // plain, in memory only
    std::string note;
    ServerStatus status = ServerStatus::Unknown;

    friend bool operator==(const ServerEntry&, const ServerEntry&) = default;
};

// Stable identity of an entry; never reused within one run. 0 means none.
using EntryId = std::uint64_t;

// What a probe needs of an entry, copied under the table's lock.
struct ProbeTarget {
    EntryId id = 0;
    std::string address;
    std::string port;
};

// Every member takes the table's lock, so each call is atomic with respect
// to every other; no lock is held once a call has returned.
class ServerTable {
public:
    ServerTable() = default;
    ServerTable(const ServerTable&) = delete;
    ServerTable& operator=(const ServerTable&) = delete;

    // Adds a copy as position count + 1 and returns its identity.
    EntryId appendEntry(const ServerEntry& entry);
    EntryId appendEntry(ServerEntry&& entry);
    // Appends all, in order, under one lock and with one allocation (the
    // entries of a whole configuration file).
    void appendEntries(std::vector<ServerEntry> entries);
    // Replaces the five texts of the entry at position; keeps status and identity.
    // A position outside 1..count changes nothing and returns false.
    bool replaceEntryTexts(int position, std::string address, std::string port,
                           std::string account, std::string password, std::string note);
    // A position outside 1..count changes nothing and returns false.
    bool setEntryStatus(int position, ServerStatus status);
    // Removes the entry; those behind it move up. Outside 1..count: nothing.
    void removeEntry(int position);
    // Drops every entry (program end).
    void clear();

    int entryCount() const;
    // Copy of the entry at position, or nothing outside 1..count.
    std::optional<ServerEntry> entryAt(int position) const;
    // Copies of all entries in table order.
    std::vector<ServerEntry> snapshot() const;

    // Identity of the entry at position, or 0 outside 1..count.
    EntryId idAt(int position) const;
    // Identities of all entries in table order.
    std::vector<EntryId> ids() const;
    // Current 1-based position of the entry, or 0 when it is gone.
    int positionOf(EntryId id) const;
    // Address and port of the entry, or nothing when it is gone.
    std::optional<ProbeTarget> probeTarget(EntryId id) const;
    // Sets the status of the entry if it still exists and returns its current
    // position, or 0 when it is gone (the result is then dropped).
    int setStatusById(EntryId id, ServerStatus status);

private:
    struct Slot {
        EntryId id;
        ServerEntry entry;
    };
    // Index of the slot holding id, or npos. Slots stay sorted by identity:
    // identities grow with every append, and removals keep the order.
    std::size_t indexOf(EntryId id) const;

    mutable std::mutex mutex_;
    std::vector<Slot> slots_;
    EntryId nextId_ = 1;
};

} // namespace tessaline
