// The reachability sweep on Windows: one thread per server tries one TCP
// connection (Windows Sockets 1.1) and hands its result to the window thread.
//
// Window thread only: startSocketLibrary, stopSocketLibrary, startProbeSweep,
// applyPendingProbeResults, closeProbeSweep. The table passed to
// startProbeSweep must stay alive until closeProbeSweep has returned; after
// that no probe touches the table or the window again.
#pragma once

#include "probe/probe_results.h"

#include <windows.h>

#include <functional>
#include <string_view>

namespace tessaline {

// Starts Windows Sockets version 1.1 (with the main window) and remembers the
// outcome: while it has not started, every probe gives Offline.
bool startSocketLibrary();
// Cleans the socket library up again (with the main window).
void stopSocketLibrary();

// Starts one probe thread per entry of the table and returns at once. A probe
// that has a result queues it and, when the window has no wake-up pending,
// posts wakeMessage (wParam and lParam 0) to notifyWindow; the window then
// calls applyPendingProbeResults. Starting a sweep closes the previous one.
void startProbeSweep(ServerTable& table, HWND notifyWindow, UINT wakeMessage);

// Window thread, on wakeMessage: applies every queued result to its entry and
// calls showRow with the entry's current position (its list row is position - 1).
void applyPendingProbeResults(ServerTable& table,
                              const std::function<void(int position, ServerStatus)>& showRow);

// Window thread, from the main window's WM_DESTROY: ends the sweep. Once it
// returns, no probe reads the table, queues a result or posts a message; the
// threads still waiting for a connection are abandoned, never waited for.
void closeProbeSweep();

// One probe's attempt, made on the calling thread: resolve the address
// (numeric IPv4 first, then a host name lookup; an empty address is Offline
// at once), connect once to the port of the port text, close at once.
ServerStatus probeServer(const std::string& address, std::string_view portText);

// Probes of the latest sweep that have not ended yet (for tests and benchmarks).
int unfinishedProbes();

} // namespace tessaline
