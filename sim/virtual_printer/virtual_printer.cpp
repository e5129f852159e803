#include "virtual_printer.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <stdexcept>
#include <system_error>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace vprinter {

namespace {

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// A printer's input buffer is small; the system doubles what is asked.
constexpr int kReceiveBufferBytes = 4096;

timespec toTimespec(std::chrono::nanoseconds left) {
    if (left < std::chrono::nanoseconds::zero()) left = {};
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    return timespec{static_cast<time_t>(seconds.count()), static_cast<long>((left - seconds).count())};
}

}  // namespace

VirtualPrinter::VirtualPrinter() : decoder_([this](const escpos::Command& command) { commandLocked(command); }) {
    auto fail = [this](const char* what) {
        const int error = errno;
        closeFd(heldSlave_);
        closeFd(line_);
        closeFd(wakeFd_);
        throw std::system_error(error, std::generic_category(), what);
    };

    line_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (line_ < 0) fail("posix_openpt");
    // Close-on-exec: a child that inherited the master would keep the line up
    // after hangUp(). Non-blocking: send() must never wait for the client.
    if (::fcntl(line_, F_SETFD, FD_CLOEXEC) < 0) fail("fcntl(F_SETFD)");
    if (::fcntl(line_, F_SETFL, ::fcntl(line_, F_GETFL) | O_NONBLOCK) < 0) fail("fcntl(F_SETFL)");
    if (::grantpt(line_) < 0) fail("grantpt");
    if (::unlockpt(line_) < 0) fail("unlockpt");
    char name[128];
    if (::ptsname_r(line_, name, sizeof name) != 0) fail("ptsname_r");
    path_ = name;

    heldSlave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (heldSlave_ < 0) fail("open slave");
    // The line carries binary data both ways: no echo, no signals, no CR/LF
    // translation, no XON/XOFF. Whatever the client sets later replaces this.
    termios line{};
    if (::tcgetattr(heldSlave_, &line) < 0) fail("tcgetattr");
    ::cfmakeraw(&line);
    line.c_cflag |= CLOCAL | CREAD;
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    if (::tcsetattr(heldSlave_, TCSANOW, &line) < 0) fail("tcsetattr");

    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) fail("eventfd");

    thread_ = std::thread(&VirtualPrinter::run, this);
}

VirtualPrinter::VirtualPrinter(TcpPort port)
    : decoder_([this](const escpos::Command& command) { commandLocked(command); }) {
    auto fail = [this](const char* what) {
        const int error = errno;
        closeFd(listener_);
        closeFd(wakeFd_);
        throw std::system_error(error, std::generic_category(), what);
    };

    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener_ < 0) fail("socket");
    const int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Set before listening, so that accepted connections take it and the
    // window they offer from the start.
    ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof kReceiveBufferBytes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port.number);
    if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) fail("bind");
    // Clients beyond the one served wait in the backlog.
    if (::listen(listener_, 8) < 0) fail("listen");
    socklen_t size = sizeof address;
    if (::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) < 0) fail("getsockname");
    tcpPort_ = ntohs(address.sin_port);

    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) fail("eventfd");

    thread_ = std::thread(&VirtualPrinter::run, this);
}

VirtualPrinter::~VirtualPrinter() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake();
    thread_.join();
    closeFd(heldSlave_);
    closeFd(line_);
    closeFd(listener_);
    closeFd(wakeFd_);
}

const std::string& VirtualPrinter::devicePath() const { return path_; }

std::uint16_t VirtualPrinter::tcpPort() const { return tcpPort_; }

std::size_t VirtualPrinter::connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

std::vector<std::uint8_t> VirtualPrinter::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool VirtualPrinter::waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

void VirtualPrinter::clear() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

void VirtualPrinter::send(const std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    if (hungUp_ || hangUpRequested_) throw std::logic_error("the virtual printer has hung up");
    queueLocked(bytes);
    flushLocked();
    if (!pending_.empty()) wake();  // the thread then waits for room on the line
}

void VirtualPrinter::sendAfter(std::chrono::milliseconds delay, std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    if (hungUp_ || hangUpRequested_) throw std::logic_error("the virtual printer has hung up");
    timed_.emplace(Clock::now() + delay, std::move(bytes));
    wake();
}

void VirtualPrinter::replyTo(std::vector<std::uint8_t> request, std::vector<std::uint8_t> reply,
                             std::chrono::milliseconds delay) {
    if (request.empty()) throw std::invalid_argument("replyTo needs a non-empty request");
    std::lock_guard lock(mutex_);
    auto same = std::find_if(rules_.begin(), rules_.end(), [&](const Rule& rule) { return rule.request == request; });
    if (same != rules_.end()) {
        same->reply = std::move(reply);
        same->delay = delay;
    } else {
        rules_.push_back(Rule{std::move(request), std::move(reply), delay});
    }
}

void VirtualPrinter::clearRules() {
    std::lock_guard lock(mutex_);
    rules_.clear();
}

void VirtualPrinter::setConditions(Conditions conditions) {
    std::lock_guard lock(mutex_);
    answering_ = true;
    const auto status = state_.setConditions(conditions);
    if (status.empty() || hungUp_ || hangUpRequested_) return;
    queueLocked(status);
    flushLocked();
    if (!pending_.empty()) wake();
}

void VirtualPrinter::setNvGraphics(escpos::GraphicsStore nv) {
    std::lock_guard lock(mutex_);
    state_.setNvGraphics(std::move(nv));
}

Conditions VirtualPrinter::conditions() const {
    std::lock_guard lock(mutex_);
    return state_.conditions();
}

void VirtualPrinter::hangUp() {
    std::unique_lock lock(mutex_);
    if (hungUp_) return;
    if (std::this_thread::get_id() == thread_.get_id()) {  // from a receive handler
        closeLineLocked();
        return;
    }
    hangUpRequested_ = true;
    wake();
    changed_.wait(lock, [&] { return !hangUpRequested_; });
}

void VirtualPrinter::setReading(bool on) {
    std::lock_guard lock(mutex_);
    reading_ = on;
    readAllowance_ = kUnlimited;
    wake();
}

void VirtualPrinter::stopReadingAfter(std::size_t count) {
    std::lock_guard lock(mutex_);
    reading_ = true;
    readAllowance_ = count;
    wake();
}

void VirtualPrinter::setBufferFull(bool full) {
    std::lock_guard lock(mutex_);
    if (bufferFull_ == full) return;
    bufferFull_ = full;
    wake();
}

void VirtualPrinter::onReceive(ReceiveHandler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void VirtualPrinter::wake() const {
    const std::uint64_t one = 1;
    // Cannot fail short of a counter overflow, and then the thread is awake anyway.
    [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

// The printer's thread: blocks in ppoll on the wake-up descriptor and the
// line until bytes arrive, the line has room for pending bytes, a timed send
// is due, or another thread changed the state. Behind a TCP port with no
// client it waits for one on the listening socket instead of the line.
void VirtualPrinter::run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (hangUpRequested_) {
            if (!hungUp_) closeLineLocked();
            hangUpRequested_ = false;
            changed_.notify_all();
        }
        sendDueLocked();

        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {line_, 0, 0}};
        nfds_t count = 1;
        timespec timeout{};
        const timespec* timeoutPtr = nullptr;
        const std::size_t readable = reading_ && !bufferFull_ ? readAllowance_ : 0;
        const bool awaitingClient = line_ < 0 && listener_ >= 0;
        if (line_ >= 0) {
            fds[1].events = static_cast<short>((readable > 0 ? POLLIN : 0) | (pending_.empty() ? 0 : POLLOUT));
            count = 2;
            if (!timed_.empty()) {
                timeout = toTimespec(timed_.begin()->first - Clock::now());
                timeoutPtr = &timeout;
            }
        } else if (awaitingClient) {
            fds[1] = {listener_, POLLIN, 0};
            count = 2;
        }
        lock.unlock();

        ::ppoll(fds, count, timeoutPtr, nullptr);
        const bool woken = (fds[0].revents & POLLIN) != 0;
        if (woken) {
            std::uint64_t value;
            [[maybe_unused]] ssize_t got = ::read(wakeFd_, &value, sizeof value);
        }
        if (awaitingClient) {
            if (fds[1].revents & POLLIN) acceptClient();
            lock.lock();
            continue;
        }
        // Only this thread closes the line, so reading it unlocked is safe. A
        // wake-up may have changed what may be read (the printer stopped
        // reading, or was given a count): the read then goes by the state as
        // it is now. It still happens on the wake-up that stops the printer,
        // so bytes that had arrived by then are taken.
        std::size_t allowed = readable;
        if (woken) {
            lock.lock();
            allowed = reading_ && !bufferFull_ ? readAllowance_ : 0;
            lock.unlock();
        }
        if (count == 2 && (fds[1].revents & POLLIN) && allowed > 0) readLine(allowed);

        lock.lock();
        if (count == 2 && line_ >= 0) {
            if (fds[1].revents & POLLOUT) flushLocked();
            // A client's connection that was reset while the printer does not
            // read; on a pseudo-terminal the held slave descriptor prevents
            // it. End the line rather than spin on a descriptor that stays ready.
            if ((fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) && !(fds[1].revents & POLLIN)) {
                closeLineLocked();
            }
        }
    }
}

void VirtualPrinter::acceptClient() {
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) return;
    std::lock_guard lock(mutex_);
    line_ = client;
    ++connections_;
    flushLocked();  // what was sent while nobody was connected
    changed_.notify_all();
}

void VirtualPrinter::readLine(std::size_t most) {
    std::uint8_t buffer[4096];
    const ssize_t got = ::read(line_, buffer, std::min(sizeof buffer, most));
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    std::unique_lock lock(mutex_);
    if (got <= 0) {
        closeLineLocked();
        return;
    }
    // Another thread may have changed the allowance while this one read.
    if (readAllowance_ != kUnlimited) readAllowance_ -= std::min(readAllowance_, static_cast<std::size_t>(got));
    const std::span<const std::uint8_t> chunk(buffer, static_cast<std::size_t>(got));
    receiveLocked(chunk);
    ReceiveHandler handler = handler_;
    lock.unlock();
    if (handler) handler(chunk);
}

void VirtualPrinter::receiveLocked(std::span<const std::uint8_t> chunk) {
    const auto now = Clock::now();
    answers_.clear();
    for (const std::uint8_t byte : chunk) {
        received_.push_back(byte);
        ++streamOffset_;
        // Matched byte by byte, so a request followed by more bytes in the same
        // chunk still gets its reply, and in the order the requests arrived.
        for (const Rule& rule : rules_) {
            if (received_.size() >= rule.request.size() &&
                std::equal(rule.request.rbegin(), rule.request.rend(), received_.rbegin())) {
                answeredByRule_.push_back(streamOffset_);
                if (rule.delay.count() <= 0) {
                    answers_.emplace_back(streamOffset_, rule.reply);
                } else {
                    timed_.emplace(now + rule.delay, rule.reply);
                }
            }
        }
    }
    decoder_.feed(chunk);  // adds the state's answers
    // Each answer goes out in the order of the requests, however they interleave.
    std::stable_sort(answers_.begin(), answers_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& answer : answers_) queueLocked(answer.second);
    answers_.clear();
    flushLocked();
    changed_.notify_all();
}

// Called by the decoder from receiveLocked() for each command complete so far.
void VirtualPrinter::commandLocked(const escpos::Command& command) {
    const std::uint64_t end = command.offset + command.length;
    bool ruleAnswered = false;
    while (!answeredByRule_.empty() && answeredByRule_.front() <= end) {
        ruleAnswered = ruleAnswered || answeredByRule_.front() == end;
        answeredByRule_.pop_front();
    }
    if (!answering_) return;
    auto answer = state_.apply(command);
    if (!answer.empty() && !ruleAnswered) answers_.emplace_back(end, std::move(answer));
}

void VirtualPrinter::queueLocked(const std::vector<std::uint8_t>& bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

// What went out is only counted off (pendingSent_), so a long send costs no
// more than its bytes: the queue is emptied once all of it has gone.
void VirtualPrinter::flushLocked() {
    if (line_ < 0 && listener_ >= 0) return;  // kept for the next client
    while (pendingSent_ < pending_.size() && line_ >= 0) {
        const std::uint8_t* from = pending_.data() + pendingSent_;
        const std::size_t size = pending_.size() - pendingSent_;
        // A client that went away must not end the printer with SIGPIPE.
        const ssize_t written = listener_ >= 0 ? ::send(line_, from, size, MSG_NOSIGNAL) : ::write(line_, from, size);
        if (written > 0) {
            pendingSent_ += static_cast<std::size_t>(written);
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else if (written < 0 && errno == EAGAIN) {
            return;  // the client has not read enough yet; POLLOUT resumes
        } else {
            break;  // the line is gone
        }
    }
    pending_.clear();
    pendingSent_ = 0;
}

void VirtualPrinter::sendDueLocked() {
    if (line_ < 0) return;
    const auto now = Clock::now();
    while (!timed_.empty() && timed_.begin()->first <= now) {
        queueLocked(timed_.begin()->second);
        timed_.erase(timed_.begin());
    }
    flushLocked();
}

// Behind a TCP port only the client's connection ends; the printer then
// waits for the next client.
void VirtualPrinter::closeLineLocked() {
    closeFd(line_);
    closeFd(heldSlave_);
    pending_.clear();
    pendingSent_ = 0;
    timed_.clear();
    if (listener_ < 0) hungUp_ = true;
    changed_.notify_all();
}

}  // namespace vprinter
