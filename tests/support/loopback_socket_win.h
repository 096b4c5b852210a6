// Sockets of a test or benchmark process on loopback: the Windows Sockets
// library, an owned socket, loopback addresses, and the connection attempts
// that wait for an answer (link ws2_32, and iphlpapi for the last).
#pragma once

#include <winsock2.h>
#include <iphlpapi.h>

#include <string>
#include <utility>
#include <vector>

namespace tessaline::test_support {

// Starts the socket library once for the whole process (never cleaned up:
// the process ends with it).
inline bool socketsReady() {
    static const bool ready = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

// Closes its socket on every path.
class OwnedSocket {
public:
    explicit OwnedSocket(SOCKET s = INVALID_SOCKET) : socket_(s) {}
    OwnedSocket(OwnedSocket&& other) noexcept : socket_(std::exchange(other.socket_, INVALID_SOCKET)) {}
    OwnedSocket& operator=(OwnedSocket&& other) noexcept {
        if (this != &other) {
            reset();
            socket_ = std::exchange(other.socket_, INVALID_SOCKET);
        }
        return *this;
    }
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;
    ~OwnedSocket() { reset(); }

    SOCKET get() const { return socket_; }
    bool valid() const { return socket_ != INVALID_SOCKET; }
    void reset() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

private:
    SOCKET socket_;
};

// An IPv4 address (numeric text) and port.
inline sockaddr_in ipv4(const std::string& address, u_short port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr(address.c_str());
    a.sin_port = htons(port);
    return a;
}

// 127.0.0.1 and port.
inline sockaddr_in loopback(u_short port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

// Connection attempts of this machine to the port that still wait for an
// answer (SYN sent), or -1 when the table cannot be read.
inline int attemptsWaitingOn(u_short port) {
    ULONG size = 0;
    GetTcpTable(nullptr, &size, FALSE);
    std::vector<unsigned char> buffer(size + 65536);  // room for connections made meanwhile
    size = static_cast<ULONG>(buffer.size());
    auto* table = reinterpret_cast<MIB_TCPTABLE*>(buffer.data());
    if (GetTcpTable(table, &size, FALSE) != NO_ERROR) return -1;
    int waiting = 0;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCPROW& row = table->table[i];
        if (row.dwState == MIB_TCP_STATE_SYN_SENT && ntohs(static_cast<u_short>(row.dwRemotePort)) == port) ++waiting;
    }
    return waiting;
}

} // namespace tessaline::test_support
