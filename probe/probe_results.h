// The road of probe results from the probe threads to the window thread.
//
// A probe names its entry by identity, never by position: the window thread
// may delete entries while probes run, which moves the positions of those
// behind. Results are queued here by the probe threads and applied on the
// window thread, which alone changes the table's order and the list rows.
#pragma once

#include "store/server_table.h"

#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace tessaline {

struct ProbeResult {
    EntryId id = 0;
    ServerStatus status = ServerStatus::Unknown;
};

// One sweep's results in flight, and the switch that ends the sweep. A single
// lock guards the queue and the switch, so that once close() has returned no
// probe reads the table, queues a result or wakes the window any more.
class ProbeResultQueue {
public:
    // Tells the window thread that results are waiting; false when the
    // message could not be delivered.
    using Wake = std::function<bool()>;

    ProbeResultQueue() = default;
    ProbeResultQueue(const ProbeResultQueue&) = delete;
    ProbeResultQueue& operator=(const ProbeResultQueue&) = delete;

    // Copy of the entry's address and port, read under this queue's lock (and
    // the table's own). Nothing once closed or when the entry is gone.
    std::optional<ProbeTarget> readTarget(const ServerTable& table, EntryId id) const;

    // Queues the result; false (result dropped) once closed. When no wake-up
    // is outstanding, wake is called while the lock is still held; a wake that
    // succeeds stays outstanding until the next drain, so a full queue costs
    // the window one message, and a wake that fails is retried by the next push.
    bool push(const ProbeResult& result, const Wake& wake);

    // Every queued result, oldest first; the queue is then empty.
    std::vector<ProbeResult> drain();

    // Ends the sweep: queued results are dropped, and every later push and
    // readTarget does nothing.
    void close();
    bool isClosed() const;

private:
    mutable std::mutex mutex_;
    std::vector<ProbeResult> pending_;
    bool wakeOutstanding_ = false;
    bool closed_ = false;
};

// Window thread: writes each result's status into its entry, if the entry
// still exists, and calls showRow with the entry's current 1-based position.
// A result whose entry is gone is dropped and shows nothing.
void applyProbeResults(ServerTable& table, std::span<const ProbeResult> results,
                       const std::function<void(int position, ServerStatus)>& showRow);

} // namespace tessaline
