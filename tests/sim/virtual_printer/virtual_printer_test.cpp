// The virtual printer seen from the client's side of the pseudo-terminal, the
// way the library sees a serial port: bytes must cross the line unchanged in
// both directions, replies and timed sends must arrive, a hang-up must reach
// the client, and a stalled printer must make the client's writes back up.
#include "virtual_printer.h"

#include <gtest/gtest.h>

#include "pty_client.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using vprinter::VirtualPrinter;
using vptest::Client;

Bytes allByteValues() {
    Bytes bytes(256);
    std::iota(bytes.begin(), bytes.end(), 0);
    return bytes;
}

// More than the pty's buffers hold, so that both sides must wait for room.
Bytes burst(std::size_t size) {
    std::mt19937 random(12345);
    Bytes bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// --- the line ----------------------------------------------------------------

TEST(VirtualPrinterLine, EachPrinterHasItsOwnTerminal) {
    VirtualPrinter first, second;
    EXPECT_EQ(first.devicePath().rfind("/dev/pts/", 0), 0u) << first.devicePath();
    EXPECT_NE(first.devicePath(), second.devicePath());
    Client client(first.devicePath());
    ASSERT_TRUE(client.isOpen());
    EXPECT_TRUE(::isatty(client.fd()));
}

struct LineCase {
    const char* name;
    Bytes bytes;
};

// Bytes a terminal in its default (cooked) mode would translate, swallow or
// act on: the line must carry them as data in both directions.
std::vector<LineCase> lineCases() {
    return {
        {"newline stays one byte", text("a\nb")},
        {"carriage return stays itself", text("a\rb")},
        {"interrupt, quit, suspend and end-of-file characters", {0x03, 0x1c, 0x1a, 0x04, 'x'}},
        {"flow-control characters", {0x11, 0x13, 'x', 0x13, 0x11}},
        {"erase and kill characters", {0x7f, 0x08, 0x15, 0x17, 'x'}},
        {"every byte value", allByteValues()},
        {"a burst larger than the line's buffers", burst(40000)},
    };
}

TEST(VirtualPrinterLine, ClientBytesArriveUnchanged) {
    for (const auto& c : lineCases()) {
        SCOPED_TRACE(c.name);
        VirtualPrinter printer;
        Client client(printer.devicePath());
        ASSERT_TRUE(client.isOpen());
        ASSERT_TRUE(client.write(c.bytes));
        EXPECT_TRUE(printer.waitForReceived(c.bytes.size(), 10s));
        EXPECT_EQ(printer.received(), c.bytes);
        EXPECT_TRUE(client.readAnything(50ms).empty()) << "echoed back to the client";
    }
}

TEST(VirtualPrinterLine, SentBytesArriveUnchangedWithoutBlockingTheSender) {
    for (const auto& c : lineCases()) {
        SCOPED_TRACE(c.name);
        VirtualPrinter printer;
        Client client(printer.devicePath());
        ASSERT_TRUE(client.isOpen());
        // The client reads only after send() has returned: send() must leave what
        // does not fit to the printer's thread.
        auto sending = std::async(std::launch::async, [&] { printer.send(c.bytes); });
        EXPECT_EQ(sending.wait_for(10s), std::future_status::ready) << "send() waited for the client";
        EXPECT_EQ(client.read(c.bytes.size()), c.bytes);
        EXPECT_TRUE(client.readAnything(50ms).empty());
        EXPECT_TRUE(printer.received().empty()) << "the line echoed the printer's bytes";
    }
}

TEST(VirtualPrinterLine, ClientMayCloseAndReopenWhileThePrinterIdles) {
    VirtualPrinter printer;
    {
        Client first(printer.devicePath());
        ASSERT_TRUE(first.write(text("a")));
        ASSERT_TRUE(printer.waitForReceived(1, 10s));
    }
    // With no client left, the printer must neither see a hang-up nor spin on one.
    timespec before{}, after{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
    std::this_thread::sleep_for(400ms);
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
    const double cpuMs = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
    EXPECT_LT(cpuMs, 200.0) << "the printer's thread is busy while the line is idle";

    Client second(printer.devicePath());
    ASSERT_TRUE(second.isOpen());
    ASSERT_TRUE(second.write(text("b")));
    EXPECT_TRUE(printer.waitForReceived(2, 10s));
    EXPECT_EQ(printer.received(), text("ab"));
    printer.send(text("c"));
    EXPECT_EQ(second.read(1), text("c"));
}

// --- what was received -------------------------------------------------------

TEST(VirtualPrinterReceived, WaitCountsEveryByteSinceTheLastClear) {
    VirtualPrinter printer;
    Client client(printer.devicePath());
    ASSERT_TRUE(client.write(text("ab")));
    EXPECT_FALSE(printer.waitForReceived(3, 200ms)) << "two bytes are not three";
    ASSERT_TRUE(client.write(text("c")));
    EXPECT_TRUE(printer.waitForReceived(3, 10s)) << "counted across separate writes";
    EXPECT_EQ(printer.received(), text("abc"));

    printer.clear();
    EXPECT_TRUE(printer.received().empty());
    EXPECT_FALSE(printer.waitForReceived(1, 100ms));
    ASSERT_TRUE(client.write(text("d")));
    EXPECT_TRUE(printer.waitForReceived(1, 10s));
    EXPECT_EQ(printer.received(), text("d"));
}

TEST(VirtualPrinterReceived, HandlerSeesEveryChunkInOrder) {
    VirtualPrinter printer;
    std::mutex mutex;
    Bytes seen;
    printer.onReceive([&](std::span<const std::uint8_t> chunk) {
        std::lock_guard lock(mutex);
        seen.insert(seen.end(), chunk.begin(), chunk.end());
    });
    Client client(printer.devicePath());
    const Bytes data = burst(10000);
    for (std::size_t at = 0; at < data.size(); at += 999) {
        ASSERT_TRUE(client.write(Bytes(data.begin() + at, data.begin() + std::min(at + 999, data.size()))));
    }
    ASSERT_TRUE(printer.waitForReceived(data.size(), 10s));
    // The handler runs after the bytes are counted; give it its turn.
    for (int i = 0; i < 1000; ++i) {
        {
            std::lock_guard lock(mutex);
            if (seen.size() >= data.size()) break;
        }
        std::this_thread::sleep_for(10ms);
    }
    std::lock_guard lock(mutex);
    EXPECT_EQ(seen, data);
}

// --- replies -----------------------------------------------------------------

struct ReplyRule {
    Bytes request;
    Bytes reply;
};

struct ReplyCase {
    const char* name;
    std::vector<ReplyRule> rules;
    std::vector<Bytes> writes;  // each one received before the next is written
    Bytes expected;
};

TEST(VirtualPrinterReplies, AnswerWhenTheStreamEndsWithTheRequest) {
    const Bytes status1{0x10, 0x04, 0x01}, status2{0x10, 0x04, 0x02};
    const std::vector<ReplyCase> cases{
        {"the request alone", {{status1, {0x16}}}, {status1}, {0x16}},
        {"after other bytes in the same write", {{status1, {0x16}}}, {{0x1b, 0x40, 0x10, 0x04, 0x01}}, {0x16}},
        {"split over two writes", {{status1, {0x16}}}, {{0x10}, {0x04, 0x01}}, {0x16}},
        {"followed by more bytes in the same write", {{status1, {0x16}}}, {{0x10, 0x04, 0x01, 0x1b, 0x40}}, {0x16}},
        {"every time it comes",
         {{status1, {0x16}}},
         {{0x10, 0x04, 0x01, 0x10, 0x04, 0x01}, status1},
         {0x16, 0x16, 0x16}},
        {"several rules, in the order of the requests",
         {{status1, {0x16}}, {status2, {0x12}}},
         {{0x10, 0x04, 0x02, 0x10, 0x04, 0x01}},
         {0x12, 0x16}},
        {"a later rule for the same request replaces the earlier",
         {{status1, {0x16}}, {status1, {0x1e}}},
         {status1},
         {0x1e}},
        {"a reply of several bytes",
         {{{0x1d, 0x72, 0x01}, {0x00, 0x0f, 0xff}}},
         {{0x1d, 0x72, 0x01}},
         {0x00, 0x0f, 0xff}},
        {"a request that differs in its last byte", {{status1, {0x16}}}, {status2}, {}},
        {"the request's bytes in another order", {{status1, {0x16}}}, {{0x04, 0x10, 0x01}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualPrinter printer;
        for (const auto& rule : c.rules) printer.replyTo(rule.request, rule.reply);
        Client client(printer.devicePath());
        std::size_t total = 0;
        for (const auto& write : c.writes) {
            ASSERT_TRUE(client.write(write));
            total += write.size();
            ASSERT_TRUE(printer.waitForReceived(total, 10s));
        }
        EXPECT_EQ(client.read(c.expected.size()), c.expected);
        EXPECT_TRUE(client.readAnything(200ms).empty()) << "more than the expected reply";
    }
}

TEST(VirtualPrinterReplies, ClearedRulesNoLongerAnswer) {
    VirtualPrinter printer;
    printer.replyTo({0x10, 0x04, 0x01}, {0x16});
    printer.clearRules();
    Client client(printer.devicePath());
    ASSERT_TRUE(client.write({0x10, 0x04, 0x01}));
    ASSERT_TRUE(printer.waitForReceived(3, 10s));
    EXPECT_TRUE(client.readAnything(300ms).empty());

    printer.replyTo({0x10, 0x04, 0x01}, {0x12});
    ASSERT_TRUE(client.write({0x10, 0x04, 0x01}));
    EXPECT_EQ(client.read(1), Bytes{0x12}) << "a rule added after clearRules() answers";
}

TEST(VirtualPrinterReplies, DelayedReplyComesLater) {
    VirtualPrinter printer;
    printer.replyTo({0x10, 0x04, 0x04}, {0x12}, 1500ms);
    Client client(printer.devicePath());
    ASSERT_TRUE(client.write({0x10, 0x04, 0x04}));
    ASSERT_TRUE(printer.waitForReceived(3, 10s));
    EXPECT_TRUE(client.readAnything(100ms).empty()) << "the reply came before its delay";
    EXPECT_EQ(client.read(1), Bytes{0x12});
}

TEST(VirtualPrinterReplies, EmptyRequestIsRefused) {
    VirtualPrinter printer;
    EXPECT_THROW(printer.replyTo({}, {0x12}), std::invalid_argument);
}

// --- timed sends -------------------------------------------------------------

TEST(VirtualPrinterSendAfter, ReturnsAtOnceAndSendsLater) {
    VirtualPrinter printer;
    Client client(printer.devicePath());
    printer.sendAfter(1500ms, {1, 2, 3});
    EXPECT_TRUE(client.readAnything(100ms).empty()) << "sent before its delay, or sendAfter() waited";
    EXPECT_EQ(client.read(3), (Bytes{1, 2, 3}));
}

TEST(VirtualPrinterSendAfter, BytesGoOutInTheOrderTheyAreDue) {
    VirtualPrinter printer;
    Client client(printer.devicePath());
    printer.sendAfter(1500ms, text("C"));
    printer.sendAfter(300ms, text("B"));
    printer.send(text("A"));
    EXPECT_EQ(client.read(3), text("ABC"));
}

// --- hang-up and stalls ------------------------------------------------------

TEST(VirtualPrinterHangUp, ClientSeesTheLineGo) {
    VirtualPrinter printer;
    Client client(printer.devicePath());
    ASSERT_TRUE(client.write({1, 2}));
    ASSERT_TRUE(printer.waitForReceived(2, 10s));
    printer.sendAfter(100ms, {9});  // dropped by the hang-up
    printer.hangUp();

    pollfd p{client.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    EXPECT_TRUE(p.revents & POLLHUP) << "revents " << p.revents;
    std::uint8_t byte;
    const ssize_t got = ::read(client.fd(), &byte, 1);
    EXPECT_TRUE(got == 0 || (got < 0 && errno == EIO)) << "read gave " << got << ", errno " << errno;
    EXPECT_EQ(::write(client.fd(), "x", 1), -1);
    EXPECT_EQ(errno, EIO);

    EXPECT_EQ(printer.received(), (Bytes{1, 2})) << "what arrived before stays";
    EXPECT_THROW(printer.send({3}), std::logic_error);
    EXPECT_THROW(printer.sendAfter(1ms, {3}), std::logic_error);
    printer.hangUp();  // a second time changes nothing

    Client late(printer.devicePath());
    EXPECT_FALSE(late.isOpen()) << "the device still opens after the hang-up";
}

// Stopped at once or after a count of bytes, the printer reads exactly that
// many and the client's writes back up until reading resumes.
TEST(VirtualPrinterStall, ClientWritesBackUpUntilReadingResumes) {
    const struct {
        bool tcp;
        std::size_t readFirst;
    } cases[] = {{false, 0}, {false, 3000}, {true, 0}, {true, 3000}};
    for (const auto& [tcp, readFirst] : cases) {
        SCOPED_TRACE(testing::Message() << (tcp ? "TCP" : "pty") << ", reads " << readFirst << " bytes first");
        const auto made =
            tcp ? std::make_unique<VirtualPrinter>(VirtualPrinter::TcpPort{}) : std::make_unique<VirtualPrinter>();
        VirtualPrinter& printer = *made;
        if (readFirst == 0)
            printer.setReading(false);
        else
            printer.stopReadingAfter(readFirst);
        Client client = tcp ? Client(printer.tcpPort()) : Client(printer.devicePath());

        // Write without waiting until the line is full (capped in case it never is).
        const Bytes data = burst(tcp ? 16 << 20 : 1 << 20);
        std::size_t written = 0;
        bool full = false;
        while (written < data.size()) {
            const ssize_t n =
                ::write(client.fd(), data.data() + written, std::min<std::size_t>(512, data.size() - written));
            if (n > 0) {
                written += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                full = true;
                break;
            } else {
                FAIL() << "write failed, errno " << errno;
            }
        }
        EXPECT_TRUE(full) << "wrote " << written << " bytes and the line never filled";
        printer.waitForReceived(readFirst, 2s);
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(printer.received().size(), readFirst);

        printer.setReading(true);
        EXPECT_TRUE(printer.waitForReceived(written, 10s));
        EXPECT_EQ(printer.received(), Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(written)));
    }
}

TEST(VirtualPrinterLifetime, EndsWithWorkPending) {
    std::unique_ptr<Client> client;  // stays open while the printer ends
    {
        VirtualPrinter printer;
        client = std::make_unique<Client>(printer.devicePath());
        printer.sendAfter(std::chrono::hours(1), {1});
        printer.send(burst(100000));  // more than the client will ever read
        printer.setReading(false);
        ASSERT_TRUE(client->write({2}));
    }  // must return: the thread may not wait for the line or the timer
}

// --- behind a TCP port -------------------------------------------------------

// Bytes sent before anyone connects wait for the first client; a second client
// is connected but not served until the first has gone.
TEST(VirtualPrinterTcp, ServesOneClientAtATime) {
    VirtualPrinter printer(VirtualPrinter::TcpPort{});
    ASSERT_NE(printer.tcpPort(), 0);
    EXPECT_TRUE(printer.devicePath().empty());
    printer.send(text("early"));
    Client first(printer.tcpPort());
    ASSERT_TRUE(first.isOpen());
    EXPECT_EQ(first.read(5), text("early"));
    ASSERT_TRUE(first.write(allByteValues()));
    ASSERT_TRUE(printer.waitForReceived(256, 10s));

    Client second(printer.tcpPort());
    ASSERT_TRUE(second.isOpen());
    ASSERT_TRUE(second.write(text("B")));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(printer.received(), allByteValues()) << "the second client was read while the first was connected";
    EXPECT_EQ(printer.connections(), 1u);

    first.close();
    EXPECT_TRUE(printer.waitForReceived(257, 10s));
    EXPECT_EQ(printer.connections(), 2u);
    printer.send(text("c"));
    EXPECT_EQ(second.read(1), text("c"));
}

// A hang-up ends the client's connection and drops what was still to be
// sent; the printer then serves the next client with the same rules.
TEST(VirtualPrinterTcp, HangUpEndsTheConnectionAndTheNextClientIsServed) {
    VirtualPrinter printer(VirtualPrinter::TcpPort{});
    const Bytes request{0x10, 0x04, 0x01};
    printer.replyTo(request, {0x12});
    Client first(printer.tcpPort());
    ASSERT_TRUE(first.write(request));
    EXPECT_EQ(first.read(1), Bytes{0x12});
    printer.sendAfter(100ms, {9});
    printer.hangUp();

    pollfd p{first.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    std::uint8_t byte;
    EXPECT_EQ(::read(first.fd(), &byte, 1), 0) << "the connection did not end";

    Client second(printer.tcpPort());
    ASSERT_TRUE(second.write(request));
    EXPECT_EQ(second.readAnything(300ms), Bytes{0x12}) << "the dropped byte came, or the reply did not";
    EXPECT_EQ(printer.received().size(), 2 * request.size());
}

// --- the virtual-printer program ---------------------------------------------

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vprinter-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string operator/(const char* name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Program {
public:
    // In `folder` when one is given, else in the test's own.
    Program(std::vector<std::string> args, const std::string& output, const std::string& folder = {}) {
        args.insert(args.begin(), VIRTUAL_PRINTER_PROGRAM);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool running() const { return pid_ > 0; }
    void signal(int number) const { ::kill(pid_, number); }

    // The exit status, or -1 if the program is still running after `timeout`.
    int wait(std::chrono::milliseconds timeout = 10s) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
};

bool waitFor(const std::function<bool()>& ready, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = Clock::now() + timeout;
    while (!ready()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

void control(const std::string& fifo, const std::string& line) {
    std::ofstream out(fifo);
    out << line << '\n';
}

TEST(VirtualPrinterProgram, RecordsRepliesAndObeysTheControlFifo) {
    TempDir dir;
    const std::string link = dir / "printer", record = dir / "record", fifo = dir / "control";
    Program program({"--link", link, "--record", record, "--control", fifo, "--reply", "100401=12", "--show"},
                    dir / "stdout");
    ASSERT_TRUE(program.running());
    ASSERT_TRUE(waitFor([&] { return exists(link); })) << "no link";

    Client client(link);
    ASSERT_TRUE(client.isOpen());
    ASSERT_TRUE(client.write({0x1b, 0x40, 0x10, 0x04, 0x01}));
    EXPECT_EQ(client.read(1), Bytes{0x12}) << "--reply";
    EXPECT_TRUE(waitFor([&] { return readFile(record) == "\x1b\x40\x10\x04\x01"; })) << "record: " << readFile(record);

    control(fifo, "send 41 42");
    EXPECT_EQ(client.read(2), text("AB"));
    control(fifo, "send-after 20 4344");
    EXPECT_EQ(client.read(2), text("CD"));
    control(fifo, "not-a-command 12");
    control(fifo, "send 4");  // an odd number of digits
    control(fifo, "reply 1d7201 0f");
    control(fifo, "send 46");  // once this arrives, the lines before it have been run
    EXPECT_EQ(client.read(1), text("F"));
    ASSERT_TRUE(client.write({0x1d, 0x72, 0x01}));
    EXPECT_EQ(client.read(1), Bytes{0x0f}) << "reply added through the FIFO";
    control(fifo, "clear-rules");
    control(fifo, "send 45");  // after clear-rules has been read
    EXPECT_EQ(client.read(1), text("E"));
    ASSERT_TRUE(client.write({0x10, 0x04, 0x01}));
    EXPECT_TRUE(client.readAnything(300ms).empty()) << "a cleared rule answered";
    const std::string everything("\x1b\x40\x10\x04\x01\x1d\x72\x01\x10\x04\x01", 11);
    EXPECT_TRUE(waitFor([&] { return readFile(record) == everything; }));

    control(fifo, "hangup");
    pollfd p{client.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);

    control(fifo, "quit");
    EXPECT_EQ(program.wait(), 0);
    EXPECT_FALSE(exists(link)) << "the link outlived the program";
    EXPECT_EQ(readFile(record), everything) << "the record changed after the hang-up";
    EXPECT_NE(readFile(dir / "stdout").find("1b 40 10 04 01"), std::string::npos) << readFile(dir / "stdout");
}

TEST(VirtualPrinterProgram, StopsReadingAfterTheGivenCount) {
    TempDir dir;
    const std::string link = dir / "printer", record = dir / "record";
    Program program({"--link", link, "--record", record, "--stop-reading-after", "4"}, dir / "stdout");
    ASSERT_TRUE(waitFor([&] { return exists(link); })) << "no link";
    Client client(link);
    ASSERT_TRUE(client.write(text("0123456789")));
    EXPECT_TRUE(waitFor([&] { return readFile(record) == "0123"; })) << "record: " << readFile(record);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(readFile(record), "0123");
}

// With a link and a TCP port, both lines feed one record and obey the FIFO;
// the port's number is printed when 0 asks for a free one.
TEST(VirtualPrinterProgram, ServesATcpPortBesideTheLink) {
    TempDir dir;
    const std::string link = dir / "printer", record = dir / "record", fifo = dir / "control", out = dir / "stdout";
    Program program({"--link", link, "--tcp", "0", "--record", record, "--control", fifo, "--reply", "100401=12"}, out);
    const std::string announced = "listening on 127.0.0.1:";
    ASSERT_TRUE(waitFor([&] { return readFile(out).find('\n', readFile(out).find(announced)) != std::string::npos; }))
        << readFile(out);
    const std::string said = readFile(out);
    const auto port = static_cast<std::uint16_t>(std::stoi(said.substr(said.find(announced) + announced.size())));
    ASSERT_TRUE(exists(link));

    Client network(port), serial(link);
    ASSERT_TRUE(network.isOpen());
    ASSERT_TRUE(network.write({0x1b, 0x40, 0x10, 0x04, 0x01}));
    EXPECT_EQ(network.read(1), Bytes{0x12}) << "--reply";
    EXPECT_TRUE(waitFor([&] { return readFile(record).size() == 5; }));
    ASSERT_TRUE(serial.write(text("S")));
    EXPECT_TRUE(waitFor([&] { return readFile(record) == "\x1b\x40\x10\x04\x01S"; })) << readFile(record);

    control(fifo, "send 41");
    EXPECT_EQ(network.read(1), text("A"));
    EXPECT_EQ(serial.read(1), text("A"));
    control(fifo, "hangup");
    EXPECT_TRUE(network.read(1, 2s).empty());
    Client next(port);
    ASSERT_TRUE(next.write(text("N")));
    EXPECT_TRUE(waitFor([&] { return readFile(record).size() == 7; })) << readFile(record);

    control(fifo, "quit");
    EXPECT_EQ(program.wait(), 0);
}

TEST(VirtualPrinterProgram, EndsOnSignalsAndRemovesTheLink) {
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(number));
        TempDir dir;
        const std::string link = dir / "printer";
        Program program({"--link", link}, dir / "stdout");
        ASSERT_TRUE(waitFor([&] { return exists(link); }));
        program.signal(number);
        EXPECT_EQ(program.wait(), 0);
        EXPECT_FALSE(exists(link));
    }
}

TEST(VirtualPrinterProgram, RefusesASecondPrinterOnTheSameFifo) {
    TempDir dir;
    const std::string fifo = dir / "control";
    Program first({"--link", dir / "first", "--control", fifo}, dir / "first.out");
    ASSERT_TRUE(waitFor([&] { return exists(dir / "first"); }));
    Program second({"--link", dir / "second", "--control", fifo}, dir / "second.out");
    EXPECT_EQ(second.wait(), 1) << "a second reader would take the first one's commands";
    EXPECT_FALSE(exists(dir / "second"));
    control(fifo, "quit");
    EXPECT_EQ(first.wait(), 0) << "the first printer lost its command";
}

TEST(VirtualPrinterProgram, RefusesBadStarts) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
    };
    TempDir dir;
    const std::string file = dir / "file";
    std::ofstream(file) << "keep";
    const std::vector<Case> cases{
        {"no link", {}},
        {"the link path is a regular file", {"--link", file}},
        {"the control path is a regular file", {"--link", dir / "link", "--control", file}},
        {"a reply without '='", {"--link", dir / "link", "--reply", "1004"}},
        {"a reply with an odd number of digits", {"--link", dir / "link", "--reply", "100=12"}},
        {"an unknown option", {"--link", dir / "link", "--speed", "9600"}},
        {"a negative count to stop reading after", {"--link", dir / "link", "--stop-reading-after", "-1"}},
        {"a TCP port out of range", {"--tcp", "65536"}},
        {"a TCP port that is not a number", {"--tcp", "91x"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Program program(c.args, dir / "stdout");
        const int status = program.wait();
        EXPECT_NE(status, 0);
        EXPECT_NE(status, -1) << "still running";
        EXPECT_EQ(readFile(file), "keep");
        EXPECT_FALSE(exists(dir / "link"));
    }
}

// A printer that starts without paper answers from its state and from the
// state the control FIFO sets, lists what arrives and renders each piece of
// paper as it is cut, and the rest at exit.
TEST(VirtualPrinterProgram, AnswersFromItsStateAndShowsThePaper) {
    TempDir dir;
    const std::string link = dir / "printer", fifo = dir / "control", paper = dir / "paper", listing = dir / "listing";
    Program program({"--link", link, "--control", fifo, "--state", "paper-out", "--paper", paper, "--listing", listing,
                     "--width", "384"},
                    dir / "stdout");
    ASSERT_TRUE(waitFor([&] { return exists(link); })) << readFile(dir / "stdout");
    Client client(link);
    const Bytes statusRequest{0x10, 0x04, 0x04};
    Bytes receipt = text(std::string("\x1b@Table 7\n\x1dV\x00Thanks\n", 20));
    receipt.insert(receipt.end(), statusRequest.begin(), statusRequest.end());
    ASSERT_TRUE(client.write(receipt));
    EXPECT_EQ(client.read(1), Bytes{0x72}) << "paper out";
    EXPECT_TRUE(waitFor([&] { return exists(paper + "-1.png"); })) << "the cut piece";
    EXPECT_TRUE(waitFor([&] { return readFile(listing).find("GS V") != std::string::npos; })) << readFile(listing);

    const struct {
        const char* line;
        std::uint8_t answer;
    } states[] = {{"state paper-near-end drawer-open", 0x1e}, {"state", 0x12}};
    for (const auto& state : states) {
        SCOPED_TRACE(state.line);
        control(fifo, state.line);
        control(fifo, "send 46");  // once this arrives, the state line has been run
        EXPECT_EQ(client.read(1), text("F"));
        ASSERT_TRUE(client.write(statusRequest));
        EXPECT_EQ(client.read(1), Bytes{state.answer});
    }

    control(fifo, "quit");
    EXPECT_EQ(program.wait(), 0);
    EXPECT_TRUE(exists(paper + "-2.png")) << "the piece left on the printer at exit";
    EXPECT_FALSE(exists(paper + "-3.png"));
    const std::string png = readFile(paper + "-1.png");
    ASSERT_GE(png.size(), 24u);
    EXPECT_EQ(png.substr(16, 4), std::string("\0\0\x01\x80", 4)) << "not 384 dots wide";
    const std::string lines = readFile(listing);
    // ESC @, text, LF, GS V, text, LF and the three status requests.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 9) << lines;
    EXPECT_NE(lines.find("DLE EOT"), std::string::npos) << lines;
}

// NV graphics defined in one run are in the printer's memory in the next: the
// remaining capacity and the key-code list count them.
TEST(VirtualPrinterProgram, CountsTheNvGraphicsOfEarlierRuns) {
    TempDir dir;
    const std::string link = dir / "printer", fifo = dir / "control";
    const Bytes remaining{0x1D, '(', 'L', 2, 0, 48, 51};
    const Bytes keyCodes{0x1D, '(', 'L', 4, 0, 48, 64, 'K', 'C'};
    // An NV graphic 'A1' of 8 x 1 dots: one byte of rows.
    const Bytes define{0x1D, '(', 'L', 12, 0, 48, 67, 48, 'A', '1', 1, 8, 0, 1, 0, 49, 0xFF};
    const auto join = [](Bytes first, const Bytes& second) {
        first.insert(first.end(), second.begin(), second.end());
        return first;
    };
    // Each answer after its header 37h: 31h and the bytes remaining of the
    // 384 KiB; 72h, 40h and the key codes.
    const struct {
        Bytes send;
        std::string answer;
    } runs[] = {
        {join(define, remaining), std::string("1393215\0", 8)},
        {join(keyCodes, remaining), std::string("r\x40"
                                                "A1\0"
                                                "1393215\0",
                                                13)},
    };
    for (const auto& run : runs) {
        Program program({"--link", link, "--control", fifo, "--paper", dir / "paper", "--state", "ok"}, dir / "stdout",
                        dir.path());
        ASSERT_TRUE(waitFor([&] { return exists(link); })) << readFile(dir / "stdout");
        Client client(link);
        ASSERT_TRUE(client.write(run.send));
        Bytes expected;
        for (std::size_t at = 0; at < run.answer.size();) {
            expected.push_back(0x37);
            const std::size_t end = run.answer.find('\0', at) + 1;
            expected.insert(expected.end(), run.answer.begin() + static_cast<std::ptrdiff_t>(at),
                            run.answer.begin() + static_cast<std::ptrdiff_t>(end));
            at = end;
        }
        EXPECT_EQ(client.read(expected.size()), expected);
        control(fifo, "quit");
        EXPECT_EQ(program.wait(), 0);
    }
}

// The port a program started with --tcp 0 announces on stdout; 0 if it does not.
std::uint16_t announcedPort(const std::string& out) {
    const std::string announced = "listening on 127.0.0.1:";
    if (!waitFor([&] { return readFile(out).find('\n', readFile(out).find(announced)) != std::string::npos; }))
        return 0;
    const std::string said = readFile(out);
    return static_cast<std::uint16_t>(std::stoi(said.substr(said.find(announced) + announced.size())));
}

// Writes `unit` over and over (without waiting: the client's descriptor does
// not block) until `most` bytes have gone, `within` has passed, or the line
// has taken nothing for `stall`; returns the bytes written.
std::size_t push(int fd, const Bytes& unit, std::size_t most, std::chrono::milliseconds within,
                 std::chrono::milliseconds stall) {
    Bytes chunk;
    while (chunk.size() < (64u << 10)) chunk.insert(chunk.end(), unit.begin(), unit.end());
    const auto deadline = Clock::now() + within;
    std::size_t sent = 0, at = 0;  // at: where the next write starts in the chunk
    while (sent < most && Clock::now() < deadline) {
        const ssize_t n = ::write(fd, chunk.data() + at, chunk.size() - at);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            at = (at + static_cast<std::size_t>(n)) % chunk.size();
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) break;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(stall.count())) == 0) break;  // the printer has stopped reading
    }
    return sent;
}

// Reads a FIFO that a writer is opening or has open until the writer closes
// it; false if nothing has come and gone within `timeout`.
bool drainFifo(const std::string& path, std::chrono::milliseconds timeout) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const auto deadline = Clock::now() + timeout;
    std::size_t got = 0;
    bool closed = false;
    while (!closed && Clock::now() < deadline) {
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) got += static_cast<std::size_t>(n);
        closed = n == 0 && got > 0;  // before the writer has it open, a read also ends at once
        if (n <= 0 && !closed) std::this_thread::sleep_for(5ms);
    }
    ::close(fd);
    return closed;
}

// The paper's first piece goes to a FIFO that nobody reads yet, so the paper
// stalls at the first cut, as a printer's mechanism might: the printer must
// then stop reading once it holds a few MB, on a link and on a TCP port, and
// still answer what it has read; once the paper moves again, reading resumes.
TEST(VirtualPrinterProgram, ReadsTheLineNoFasterThanItPrints) {
    for (const bool tcp : {false, true}) {
        SCOPED_TRACE(tcp ? "TCP port" : "link");
        TempDir dir;
        const std::string link = dir / "printer", paper = dir / "paper", out = dir / "stdout";
        ASSERT_EQ(::mkfifo((paper + "-1.png").c_str(), 0600), 0);
        std::vector<std::string> args{"--state", "ok", "--paper", paper};
        args.insert(args.end(), {tcp ? "--tcp" : "--link", tcp ? "0" : link});
        Program program(args, out);
        std::unique_ptr<Client> client;
        if (tcp) {
            const std::uint16_t port = announcedPort(out);
            ASSERT_NE(port, 0) << readFile(out);
            client = std::make_unique<Client>(port);
        } else {
            ASSERT_TRUE(waitFor([&] { return exists(link); })) << readFile(out);
            client = std::make_unique<Client>(link);
        }
        ASSERT_TRUE(client->isOpen());
        ASSERT_TRUE(client->write({0x1b, 'J', 10, 0x1d, 'V', 0, 0x10, 0x04, 0x01}));
        EXPECT_EQ(client->read(1), Bytes{0x12}) << "no status while the paper waits";

        // NUL bytes print nothing; far more than the printer may hold.
        const std::size_t most = std::size_t{32} << 20;
        const std::size_t taken = push(client->fd(), {0}, most, 20s, 1s);
        EXPECT_LT(taken, std::size_t{12} << 20) << "the printer kept reading";

        ASSERT_TRUE(drainFifo(paper + "-1.png", 10s)) << "the first piece was not written";
        EXPECT_EQ(push(client->fd(), {0}, std::size_t{4} << 20, 20s, 5s), std::size_t{4} << 20)
            << "reading did not resume";
        program.signal(SIGTERM);
        EXPECT_EQ(program.wait(5s), 0);
    }
}

// Paper that takes long to make (pieces of 19750 dot rows, one after another)
// sent for a second: a signal ends the printer soon, not after the backlog.
TEST(VirtualPrinterProgram, EndsSoonAfterASignalWhilePrinting) {
    Bytes piece;
    for (int i = 0; i < 79; ++i) piece.insert(piece.end(), {0x1b, 'J', 250});
    piece.insert(piece.end(), {0x1d, 'V', 0});
    for (const auto& [number, name] : {std::pair{SIGTERM, "SIGTERM"}, std::pair{SIGINT, "SIGINT"}}) {
        SCOPED_TRACE(name);
        TempDir dir;
        const std::string paper = dir / "paper", out = dir / "stdout";
        Program program({"--tcp", "0", "--paper", paper}, out);
        const std::uint16_t port = announcedPort(out);
        ASSERT_NE(port, 0) << readFile(out);
        Client client(port);
        ASSERT_TRUE(client.isOpen());
        push(client.fd(), piece, std::size_t{8} << 20, 1s, 1s);
        ASSERT_TRUE(exists(paper + "-1.png")) << "nothing printed yet";
        program.signal(number);
        EXPECT_EQ(program.wait(5s), 0) << "still printing 5 s after the signal";
    }
}

// At a limit of the paper the paper stops, with a message, and the printer
// goes on: it reads, answers and lists what follows.
TEST(VirtualPrinterProgram, StopsThePaperAtItsLimitsAndGoesOn) {
    const std::string cut("\x1bJ\x08\x1dV\x00", 6), feed("\x1bJ\x08", 3);
    const struct {
        const char* name;
        std::vector<std::string> limit;
        std::string stream;
        const char* says;
    } cases[] = {
        {"pieces", {"--max-pieces", "2"}, cut + cut + cut, "after 2 pieces"},
        {"length", {"--max-length", "12"}, cut + feed + feed + cut, "piece 2 reached 12 dots"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string link = dir / "printer", paper = dir / "paper", listing = dir / "listing";
        std::vector<std::string> args{"--link", link, "--state", "ok", "--paper", paper, "--listing", listing};
        args.insert(args.end(), c.limit.begin(), c.limit.end());
        Program program(args, dir / "stdout");
        ASSERT_TRUE(waitFor([&] { return exists(link); })) << readFile(dir / "stdout");
        Client client(link);
        ASSERT_TRUE(client.write(text(c.stream + "\x10\x04\x01")));
        EXPECT_EQ(client.read(1), Bytes{0x12});
        EXPECT_TRUE(waitFor([&] { return readFile(dir / "stdout").find(c.says) != std::string::npos; }))
            << readFile(dir / "stdout");
        EXPECT_TRUE(waitFor([&] { return readFile(listing).find("DLE EOT") != std::string::npos; }));
        program.signal(SIGTERM);
        EXPECT_EQ(program.wait(), 0);
        EXPECT_TRUE(exists(paper + "-2.png"));
        EXPECT_FALSE(exists(paper + "-3.png"));
    }
}

TEST(VirtualPrinterProgram, HelpAndRefusedValues) {
    TempDir dir;
    const std::string link = dir / "link";
    const struct {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {"help", {"--help"}, 0, "usage: virtual-printer"},
        {"a width no paper has", {"--link", link, "--width", "500"}, 2, "--width"},
        {"a character set no printer holds", {"--link", link, "--charset", "latin1"}, 2, "--charset"},
        {"an unknown condition", {"--link", link, "--state", "jammed"}, 2, "jammed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Program program(c.args, dir / "out");
        EXPECT_EQ(program.wait(), c.status);
        EXPECT_NE(readFile(dir / "out").find(c.says), std::string::npos) << readFile(dir / "out");
        EXPECT_FALSE(exists(link));
    }
}

}  // namespace
