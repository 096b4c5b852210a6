// Probe results queued by the probe threads and applied on the window thread.
#include "probe/probe_results.h"

#include <utility>

namespace tessaline {

std::optional<ProbeTarget> ProbeResultQueue::readTarget(const ServerTable& table, EntryId id) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) {
        return std::nullopt;
    }
    return table.probeTarget(id);
}

bool ProbeResultQueue::push(const ProbeResult& result, const Wake& wake) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) {
        return false;
    }
    pending_.push_back(result);
    if (!wakeOutstanding_) {
        wakeOutstanding_ = wake();
    }
    return true;
}

std::vector<ProbeResult> ProbeResultQueue::drain() {
    std::vector<ProbeResult> results;
    const std::lock_guard<std::mutex> lock(mutex_);
    results.swap(pending_);
    wakeOutstanding_ = false;
    return results;
}

void ProbeResultQueue::close() {
    std::vector<ProbeResult> dropped;
    const std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    dropped.swap(pending_);
}

bool ProbeResultQueue::isClosed() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

void applyProbeResults(ServerTable& table, std::span<const ProbeResult> results,
                       const std::function<void(int position, ServerStatus)>& showRow) {
    for (const ProbeResult& result : results) {
        const int position = table.setStatusById(result.id, result.status);
        if (position > 0 && showRow) {
            showRow(position, result.status);
        }
    }
}

} // namespace tessaline
