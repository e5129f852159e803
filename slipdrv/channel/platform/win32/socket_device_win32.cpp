// A network printer on Windows: a non-blocking Winsock socket. The worker
// sleeps on two events, one that Winsock signals for received bytes and the
// end of the connection (WSAEventSelect) and one that stopWatching() sets.
// A write waits for room with select(), which leaves that event alone, in
// short steps so that cancelWrites ends it. Winsock gives no count of what the
// printer has acknowledged, so progress is what it accepts; after the printer
// has ended its side of the stream, each write looks for a while for the
// reset with which a printer that closed altogether answers the bytes.
//
// A failed write resets the connection by closing the socket, while the
// worker may be using it: the lock makes the worker's calls and that close
// take turns, so the worker never reaches a socket handle that was reused.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <mutex>
#include <string>

#include "../../../error.h"
#include "../../socket_device.h"
#include "../../write_bounds.h"

namespace slipdrv {
namespace {

using Clock = std::chrono::steady_clock;

// How long the worker rests after a wait that failed on its own, so that a
// failing wait costs no CPU.
constexpr DWORD kFailedWaitPauseMs = 20;
// The longest a write waits for room before it looks for a cancel.
constexpr DWORD kCancelLookMs = 50;
// How long a write to a printer that has ended its side of the stream looks
// for a reset: the reset comes one round trip after the bytes reach a printer
// that has gone, far less than this on a counter's network.
constexpr DWORD kResetGraceMs = 50;
constexpr DWORD kResetLookMs = 5;

// Started once, at the first network port, and never stopped: stopping it is
// not allowed while the library unloads, under the loader lock.
bool startWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

DWORD msUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<DWORD>(std::min<long long>(left, 1 << 30)) : 0;
}

timeval toTimeval(DWORD ms) {
    timeval t{};
    t.tv_sec = static_cast<long>(ms / 1000);
    t.tv_usec = static_cast<long>(ms % 1000) * 1000;
    return t;
}

// One connection attempt to one address, bounded by the deadline; the socket or INVALID_SOCKET.
SOCKET connectTo(const addrinfo& address, Clock::time_point deadline) {
    const SOCKET s = WSASocketW(address.ai_family, address.ai_socktype, address.ai_protocol, nullptr, 0,
                                WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return s;
    u_long nonBlocking = 1;
    const BOOL one = TRUE;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&kSendBufferBytes), sizeof kSendBufferBytes);
    if (connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) return s;
    if (WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval limit = toTimeval(msUntil(deadline));
        if (select(0, nullptr, &writable, &failed, &limit) > 0 && FD_ISSET(s, &writable)) {
            int error = 0;
            int size = sizeof error;
            if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 && error == 0)
                return s;
        }
    }
    closesocket(s);
    return INVALID_SOCKET;
}

// Reads and drops what is waiting now (not what keeps arriving).
void discardInput(SOCKET s) {
    u_long waiting = 0;
    if (s == INVALID_SOCKET || ioctlsocket(s, FIONREAD, &waiting) != 0) return;
    char sink[4096];
    while (waiting > 0) {
        const int n = recv(s, sink, static_cast<int>(std::min<u_long>(sizeof sink, waiting)), 0);
        if (n <= 0) return;
        waiting -= static_cast<u_long>(n);
    }
}

class Win32SocketDevice final : public SocketDevice {
public:
    explicit Win32SocketDevice(const WriteLimits& limits) : limits_(limits) {
        if (!startWinsock()) throw Error("can't start Winsock for the network port");
        networkEvent_ = WSACreateEvent();
        if (networkEvent_ == WSA_INVALID_EVENT) throw Error("can't create the network event of the network port");
        // Auto-reset: each stopWatching ends one wait.
        wakeEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (!wakeEvent_) {
            WSACloseEvent(networkEvent_);
            throw Error("can't create the wake-up event of the network port");
        }
    }
    ~Win32SocketDevice() override {
        close();
        CloseHandle(wakeEvent_);
        WSACloseEvent(networkEvent_);
    }
    Win32SocketDevice(const Win32SocketDevice&) = delete;
    Win32SocketDevice& operator=(const Win32SocketDevice&) = delete;

    bool connect(const std::string& host, std::uint16_t port) override {
        close();
        cancelled_ = false;
        const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
        SOCKET s = INVALID_SOCKET;
        for (const addrinfo* address = found; address && s == INVALID_SOCKET && msUntil(deadline) > 0;
             address = address->ai_next)
            s = connectTo(*address, deadline);
        freeaddrinfo(found);
        if (s == INVALID_SOCKET) return false;
        {
            std::lock_guard lock(mutex_);
            socket_ = s;
        }
        printerClosed_ = false;
        hungUp_ = false;
        WSAResetEvent(networkEvent_);
        open_ = true;
        return true;
    }

    bool isOpen() const override { return open_; }

    // The send side is shut first, so the printer sees the end of the stream
    // after the last byte rather than a reset.
    void close() override {
        if (!open_) return;
        SOCKET s;
        {
            std::lock_guard lock(mutex_);
            s = socket_;
            socket_ = INVALID_SOCKET;
        }
        if (s != INVALID_SOCKET) {
            discardInput(s);
            shutdown(s, SD_SEND);
            closesocket(s);
        }
        open_ = false;
    }

    void purgeInput() override {
        std::lock_guard lock(mutex_);
        discardInput(socket_);
    }

    // Only this thread (the host's) closes the socket, so it is used unlocked here.
    bool write(const std::uint8_t* bytes, std::uint32_t length) override {
        const SOCKET s = socket_;
        if (!open_ || s == INVALID_SOCKET || cancelled_) return false;
        WriteBounds bounds(length, limits_);
        if (!connectionFailed(s) && sendAll(s, bytes, length, bounds) && (!printerClosed_ || noResetFollows(s, bounds)))
            return true;
        // Closing with a zero linger resets the connection and drops what
        // Winsock still holds of the run, so a printer that reads again never
        // gets its tail. The port stays open and hung up.
        {
            std::lock_guard lock(mutex_);
            socket_ = INVALID_SOCKET;
        }
        const linger reset{1, 0};
        setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
        closesocket(s);
        return false;
    }

    void cancelWrites() override { cancelled_ = true; }

    bool receiveEnded() const override { return hungUp_; }

    std::uint32_t inQueue() override {
        std::lock_guard lock(mutex_);
        return waiting(socket_);
    }

    std::uint32_t readPort(std::uint8_t* destination, std::uint32_t maximum) override {
        std::lock_guard lock(mutex_);
        const std::uint32_t k = std::min({maximum, waiting(socket_), std::uint32_t{INT_MAX}});
        if (k == 0) return 0;
        const int n = recv(socket_, reinterpret_cast<char*>(destination), static_cast<int>(k), 0);
        return n > 0 ? static_cast<std::uint32_t>(n) : 0;
    }

    bool watchReceive() override {
        std::lock_guard lock(mutex_);
        return socket_ != INVALID_SOCKET && WSAEventSelect(socket_, networkEvent_, FD_READ | FD_CLOSE) == 0;
    }

    bool waitReceive() override {
        // The end of the connection is reported once; what came before it is
        // still read, then only the wake-up ends a wait.
        if (printerClosed_ && !hungUp_) {
            if (inQueue() > 0) return true;
            hungUp_ = true;
        }
        const HANDLE events[2] = {wakeEvent_, networkEvent_};
        const DWORD waited = WaitForMultipleObjects(hungUp_ ? 1 : 2, events, FALSE, INFINITE);
        if (waited == WAIT_OBJECT_0) return false;
        if (waited != WAIT_OBJECT_0 + 1) {
            Sleep(kFailedWaitPauseMs);
            return false;
        }
        WSANETWORKEVENTS happened{};
        {
            std::lock_guard lock(mutex_);
            if (socket_ == INVALID_SOCKET || WSAEnumNetworkEvents(socket_, networkEvent_, &happened) != 0) {
                // Reset by a failed write: nothing more arrives.
                WSAResetEvent(networkEvent_);
                hungUp_ = true;
                return false;
            }
        }
        if (happened.lNetworkEvents & FD_CLOSE) printerClosed_ = true;
        if (inQueue() > 0) return true;
        if (printerClosed_) hungUp_ = true;
        return false;
    }

    void stopWatching() override { SetEvent(wakeEvent_); }

private:
    static std::uint32_t waiting(SOCKET s) {
        u_long count = 0;
        if (s == INVALID_SOCKET || ioctlsocket(s, FIONREAD, &count) != 0) return 0;
        return static_cast<std::uint32_t>(count);
    }

    // The connection is reset: a look at the stream finds an error where the
    // next byte would be. The end of the printer's side is no failure: it may
    // still read.
    static bool connectionFailed(SOCKET s) {
        char next;
        const int n = recv(s, &next, 1, MSG_PEEK);
        return n < 0 && WSAGetLastError() != WSAEWOULDBLOCK;
    }

    // False when the connection is reset within the grace: a send of nothing
    // fails on a reset connection and does nothing on a live one.
    bool noResetFollows(SOCKET s, const WriteBounds& bounds) const {
        const auto until = Clock::now() + std::chrono::milliseconds(kResetGraceMs);
        for (;;) {
            if (send(s, "", 0, 0) == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) return false;
            if (connectionFailed(s)) return false;
            if (Clock::now() >= until) return true;
            if (cancelled_ || bounds.remainingMs() == 0) return false;
            Sleep(kResetLookMs);
        }
    }

    // Hands the run to Winsock; the bytes it accepts are the progress.
    bool sendAll(SOCKET s, const std::uint8_t* bytes, std::uint32_t length, WriteBounds& bounds) {
        std::uint32_t sent = 0;
        while (sent < length) {
            const int chunk = static_cast<int>(std::min<std::uint32_t>(length - sent, INT_MAX));
            const int n = send(s, reinterpret_cast<const char*>(bytes + sent), chunk, 0);
            if (n > 0) {
                sent += static_cast<std::uint32_t>(n);
                bounds.moved();
                continue;
            }
            if (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) return false;
            const DWORD left = bounds.remainingMs();
            if (left == 0 || cancelled_) return false;
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval limit = toTimeval(std::min(left, kCancelLookMs));
            if (select(0, nullptr, &writable, &failed, &limit) < 0 || FD_ISSET(s, &failed)) return false;
        }
        return true;
    }

    // The socket is written by the host's thread (connect, close, a failed
    // write) under the lock and read by the worker under it.
    std::mutex mutex_;
    SOCKET socket_ = INVALID_SOCKET;
    std::atomic<bool> open_{false};
    WSAEVENT networkEvent_ = WSA_INVALID_EVENT;
    HANDLE wakeEvent_ = nullptr;
    std::atomic<bool> printerClosed_{false};  // set by the worker, reset by connect
    std::atomic<bool> hungUp_{false};         // set by the worker, reset by connect, read by the host's reads
    std::atomic<bool> cancelled_{false};      // set by cancelWrites on any thread, reset by connect
    WriteLimits limits_;
};

}  // namespace

std::unique_ptr<SocketDevice> makeSocketDevice(const WriteLimits& limits) {
    return std::make_unique<Win32SocketDevice>(limits);
}

}  // namespace slipdrv
