// The server table: entries in list order, each with a run-long identity.
#include "store/server_table.h"

#include <algorithm>
#include <utility>

namespace tessaline {

namespace {

constexpr std::size_t noSlot = static_cast<std::size_t>(-1);

} // namespace

std::size_t ServerTable::indexOf(EntryId id) const {
    const auto it = std::lower_bound(slots_.begin(), slots_.end(), id,
                                     [](const Slot& slot, EntryId want) { return slot.id < want; });
    if (it == slots_.end() || it->id != id) return noSlot;
    return static_cast<std::size_t>(it - slots_.begin());
}

EntryId ServerTable::appendEntry(const ServerEntry& entry) {
    std::lock_guard lock(mutex_);
    const EntryId id = nextId_++;
    slots_.push_back(Slot{id, entry});
    return id;
}

EntryId ServerTable::appendEntry(ServerEntry&& entry) {
    std::lock_guard lock(mutex_);
    const EntryId id = nextId_++;
    slots_.push_back(Slot{id, std::move(entry)});
    return id;
}

void ServerTable::appendEntries(std::vector<ServerEntry> entries) {
    std::lock_guard lock(mutex_);
    slots_.reserve(slots_.size() + entries.size());
    for (ServerEntry& entry : entries) slots_.push_back(Slot{nextId_++, std::move(entry)});
}

bool ServerTable::replaceEntryTexts(int position, std::string address, std::string port,
                                    std::string account, std::string password, std::string note) {
    std::lock_guard lock(mutex_);
    if (position < 1 || static_cast<std::size_t>(position) > slots_.size()) return false;
    ServerEntry& entry = slots_[static_cast<std::size_t>(position) - 1].entry;
    entry.address = std::move(address);
    entry.port = std::move(port);
    entry.account = std::move(account);
    entry.password = std::move(password);
    entry.note = std::move(note);
    return true;
}

bool ServerTable::setEntryStatus(int position, ServerStatus status) {
    std::lock_guard lock(mutex_);
    if (position < 1 || static_cast<std::size_t>(position) > slots_.size()) return false;
    slots_[static_cast<std::size_t>(position) - 1].entry.status = status;
    return true;
}

void ServerTable::removeEntry(int position) {
    std::lock_guard lock(mutex_);
    if (position < 1 || static_cast<std::size_t>(position) > slots_.size()) return;
    slots_.erase(slots_.begin() + (position - 1));
}

void ServerTable::clear() {
    std::lock_guard lock(mutex_);
    slots_.clear();
}

int ServerTable::entryCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(slots_.size());
}

std::optional<ServerEntry> ServerTable::entryAt(int position) const {
    std::lock_guard lock(mutex_);
    if (position < 1 || static_cast<std::size_t>(position) > slots_.size()) return std::nullopt;
    return slots_[static_cast<std::size_t>(position) - 1].entry;
}

std::vector<ServerEntry> ServerTable::snapshot() const {
    std::lock_guard lock(mutex_);
    std::vector<ServerEntry> entries;
    entries.reserve(slots_.size());
    for (const Slot& slot : slots_) entries.push_back(slot.entry);
    return entries;
}

EntryId ServerTable::idAt(int position) const {
    std::lock_guard lock(mutex_);
    if (position < 1 || static_cast<std::size_t>(position) > slots_.size()) return 0;
    return slots_[static_cast<std::size_t>(position) - 1].id;
}

std::vector<EntryId> ServerTable::ids() const {
    std::lock_guard lock(mutex_);
    std::vector<EntryId> result;
    result.reserve(slots_.size());
    for (const Slot& slot : slots_) result.push_back(slot.id);
    return result;
}

int ServerTable::positionOf(EntryId id) const {
    std::lock_guard lock(mutex_);
    const std::size_t index = indexOf(id);
    return index == noSlot ? 0 : static_cast<int>(index + 1);
}

std::optional<ProbeTarget> ServerTable::probeTarget(EntryId id) const {
    std::lock_guard lock(mutex_);
    const std::size_t index = indexOf(id);
    if (index == noSlot) return std::nullopt;
    const ServerEntry& entry = slots_[index].entry;
    return ProbeTarget{id, entry.address, entry.port};
}

int ServerTable::setStatusById(EntryId id, ServerStatus status) {
    std::lock_guard lock(mutex_);
    const std::size_t index = indexOf(id);
    if (index == noSlot) return 0;
    slots_[index].entry.status = status;
    return static_cast<int>(index + 1);
}

} // namespace tessaline
