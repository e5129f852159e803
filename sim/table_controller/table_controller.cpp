// table-controller: a table controller for people, the demo, the benchmark
// and the tests. A libmodbus RTU server (1200 baud 8N1) with the four holding
// registers from 0x0100 that hold the 64 table states; after every write it
// prints them as an 8 x 8 grid. It listens on a serial device (--device) or
// on a pseudo-terminal that --link points at: there a relay thread copies
// bytes between the sender's pseudo-terminal and the server's, counting what
// the sender wrote.
//
// The state file is rewritten after every byte from the sender (with
// --device: after every request) and every request: "received N" (bytes from
// the sender), "requests N" (requests handled), "registers XXXX XXXX XXXX
// XXXX" (0x0100 to 0x0103, hex) and "last HEX" (the last request). The mode
// file, read at every request and ahead of --no-reply and --reply-address,
// holds "reply" (a normal reply), "other" (a reply from another address) or
// "none" (no reply). Without a normal reply nothing is stored.
//
// Threads: the main thread serves requests and prints; the relay thread only
// counts bytes and rewrites the state file. Both take stateLock around the
// counters, the registers and the state file. A third thread waits for the
// signals that end the program and touches nothing shared.
#include <errno.h>
#include <fcntl.h>
#include <modbus/modbus.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "common/kit_version.h"

namespace {

constexpr const char* kUsage =
    "usage: table-controller (--link PATH | --device DEVICE) [--address N]\n"
    "                        [--no-reply | --reply-address N] [--state FILE] [--mode-file FILE]\n"
    "Plays a table controller: a Modbus RTU device at 1200 baud 8N1 whose holding registers\n"
    "0x0100-0x0103 hold the 64 table states (table 1: bit 7 of the high byte of 0x0100).\n"
    "After every write it prints the tables as a grid, # on and . off.\n"
    "  --link PATH        listen on a new pseudo-terminal that PATH links to (a COM port for\n"
    "                     KORVEL_COM1 or Wine)\n"
    "  --device DEVICE    listen on a serial device, e.g. /dev/ttyUSB0\n"
    "  --address N        the device's address, 1-247 (default 1)\n"
    "  --no-reply         take requests without replying (the sender reports error 9)\n"
    "  --reply-address N  reply as address N, 0-255 (the sender returns -1)\n"
    "  --state FILE       keep counters, registers and the last request in FILE\n"
    "  --mode-file FILE   read reply, other or none from FILE at every request\n"
    "  --help             this text\n"
    "  --version          the kit's version\n";

constexpr int kFirstRegister = 0x0100;
constexpr int kRegisterCount = 4;

struct Options {
    std::string link, device, statePath, modePath;
    int address = 1;
    int replyAddress = -1;  // -1: a normal reply
    bool noReply = false;
};

enum class Answer { kReply, kOtherAddress, kNone };

std::mutex stateLock;
std::string statePath;
unsigned long received = 0, requests = 0;
modbus_mapping_t* mapping = nullptr;
std::string lastRequest;

[[noreturn]] void usage(const std::string& why) {
    std::fprintf(stderr, "table-controller: %s\n%s", why.c_str(), kUsage);
    std::exit(2);  // NOLINT(concurrency-mt-unsafe): at start-up, before any thread runs
}

int number(const std::string& option, const std::string& text, int low, int high) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < low || value > high)
        usage(option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high) + ", not '" +
              text + "'");
    return static_cast<int>(value);
}

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage("missing value after " + arg);
            return argv[++i];
        };
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);  // NOLINT(concurrency-mt-unsafe): at start-up, before any thread runs
        } else if (arg == "--version") {
            kit::printVersion("table-controller");
            std::exit(0);  // NOLINT(concurrency-mt-unsafe): at start-up, before any thread runs
        } else if (arg == "--link") {
            o.link = value();
        } else if (arg == "--device") {
            o.device = value();
        } else if (arg == "--address") {
            o.address = number(arg, value(), 1, 247);
        } else if (arg == "--reply-address") {
            o.replyAddress = number(arg, value(), 0, 255);
        } else if (arg == "--no-reply") {
            o.noReply = true;
        } else if (arg == "--state") {
            o.statePath = value();
        } else if (arg == "--mode-file") {
            o.modePath = value();
        } else {
            usage("unknown argument " + arg);
        }
    }
    if (o.link.empty() == o.device.empty()) usage("give one of --link and --device");
    if (o.noReply && o.replyAddress >= 0) usage("--no-reply and --reply-address exclude each other");
    return o;
}

void writeState() {
    if (statePath.empty()) return;
    std::ostringstream s;
    char regs[64];
    std::snprintf(regs, sizeof regs, "%04X %04X %04X %04X", mapping->tab_registers[0], mapping->tab_registers[1],
                  mapping->tab_registers[2], mapping->tab_registers[3]);
    s << "received " << received << "\nrequests " << requests << "\nregisters " << regs << "\nlast " << lastRequest
      << "\n";
    const std::string tmp = statePath + ".tmp";
    std::ofstream(tmp) << s.str();
    std::rename(tmp.c_str(), statePath.c_str());
}

int openMaster(std::string& slaveName) {
    const int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) return -1;
    char name[128];
    if (ptsname_r(fd, name, sizeof name) != 0) return -1;
    slaveName = name;
    return fd;
}

void writeAll(int fd, const char* data, ssize_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, data, static_cast<size_t>(n));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        data += w;
        n -= w;
    }
}

// Sender side (a) <-> libmodbus side (b).
void relay(int a, int b) {
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    char buf[512];
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t n = read(a, buf, sizeof buf);
            if (n > 0) {
                writeAll(b, buf, n);
                std::lock_guard<std::mutex> g(stateLock);
                received += static_cast<unsigned long>(n);
                writeState();
            }
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n = read(b, buf, sizeof buf);
            if (n > 0) writeAll(a, buf, n);
        }
        if ((fds[0].revents | fds[1].revents) & (POLLHUP | POLLERR | POLLNVAL)) usleep(1000);
    }
}

Answer answerFor(const Options& o) {
    std::string mode;
    if (!o.modePath.empty()) std::ifstream(o.modePath) >> mode;
    if (mode == "none") return Answer::kNone;
    if (mode == "other") return Answer::kOtherAddress;
    if (!mode.empty()) return Answer::kReply;
    if (o.noReply) return Answer::kNone;
    return o.replyAddress >= 0 ? Answer::kOtherAddress : Answer::kReply;
}

// Row r holds tables 8r+1 to 8r+8: the high byte of register r/2 for even
// rows, its low byte for odd ones, bit 7 first.
std::string grid(const uint16_t* registers) {
    std::string out = "tables  1 2 3 4 5 6 7 8\n";
    int on = 0;
    for (int row = 0; row < 8; ++row) {
        const unsigned byte = row % 2 == 0 ? registers[row / 2] >> 8 : registers[row / 2] & 0xFFu;
        const std::string label = std::to_string(row * 8 + 1) + "-" + std::to_string(row * 8 + 8);
        out += std::string(7 - label.size(), ' ') + label;
        for (int bit = 7; bit >= 0; --bit) {
            const bool lit = (byte >> bit & 1u) != 0;
            on += lit;
            out += lit ? " #" : " .";
        }
        out += "\n";
    }
    return out + std::to_string(on) + " of 64 tables on\n";
}

// Waits for a signal that ends the program, removes the link if there is one
// and exits with the shell's status for that signal. A thread rather than a
// handler: under ThreadSanitizer a handler waits until the thread it
// interrupts leaves its blocking call, which the other two never do.
void endOnSignal(sigset_t signals, const std::string& link) {
    int signalNumber = 0;
    while (sigwait(&signals, &signalNumber) != 0) {
    }
    if (!link.empty()) unlink(link.c_str());
    _exit(128 + signalNumber);
}

// A stale link from an earlier run is replaced; anything else is left alone.
bool makeLink(const std::string& target, const std::string& link) {
    struct stat info {};
    if (lstat(link.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            std::fprintf(stderr, "table-controller: %s exists and is not a symbolic link\n", link.c_str());
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        std::perror(("table-controller: symlink " + link).c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    statePath = options.statePath;
    signal(SIGPIPE, SIG_IGN);
    // Blocked before any thread starts, so that only endOnSignal takes them.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    for (const int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&endSignals, s);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);
    // Ends with the process that started it, even when that one crashes.
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) return 1;

    std::string serverPath = options.device, senderName;
    int senderMaster = -1, serverMaster = -1;
    if (!options.link.empty()) {
        senderMaster = openMaster(senderName);
        serverMaster = openMaster(serverPath);
        if (senderMaster < 0 || serverMaster < 0) {
            std::perror("table-controller: pseudo-terminal");
            return 1;
        }
        // Hold the sender's side open ourselves, so the master never sees a
        // hang-up between the sender's calls.
        if (open(senderName.c_str(), O_RDWR | O_NOCTTY) < 0) {
            std::perror("table-controller: pseudo-terminal");
            return 1;
        }
    }

    modbus_t* ctx = modbus_new_rtu(serverPath.c_str(), 1200, 'N', 8, 1);
    mapping = modbus_mapping_new_start_address(0, 0, 0, 0, kFirstRegister, kRegisterCount, 0, 0);
    if (!ctx || !mapping || modbus_set_slave(ctx, options.address) != 0 || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "table-controller: %s: %s\n", serverPath.c_str(), modbus_strerror(errno));
        return 1;
    }
    {
        std::lock_guard<std::mutex> g(stateLock);
        writeState();
    }
    if (!options.link.empty()) {
        std::thread(relay, senderMaster, serverMaster).detach();
        if (!makeLink(senderName, options.link)) return 1;
        std::printf("table-controller: address %d on %s (%s)\n", options.address, options.link.c_str(),
                    senderName.c_str());
    } else {
        std::printf("table-controller: address %d on %s at 1200 baud 8N1\n", options.address, serverPath.c_str());
    }
    std::fflush(stdout);
    std::thread(endOnSignal, endSignals, options.link).detach();

    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        const int length = modbus_receive(ctx, query);
        if (length < 0 && !options.device.empty() &&
            (errno == EIO || errno == EBADF || errno == ENXIO || errno == ENODEV || errno == ECONNRESET)) {
            std::fprintf(stderr, "table-controller: %s: %s\n", serverPath.c_str(), modbus_strerror(errno));
            return 1;  // the device went away
        }
        if (length <= 0) continue;  // a request for another address, or a broken frame
        const Answer answer = answerFor(options);
        std::string hex, spaced;
        for (int i = 0; i < length; ++i) {
            char two[4];
            std::snprintf(two, sizeof two, "%02X", query[i]);
            hex += two;
            spaced += (i ? " " : "") + std::string(two);
        }
        std::string what;
        if (answer == Answer::kOtherAddress) {
            const int other = options.replyAddress >= 0 ? options.replyAddress : options.address + 1;
            const uint8_t reply[] = {static_cast<uint8_t>(other), 0x10, 0x01, 0x00, 0x00, 0x04};
            modbus_send_raw_request(ctx, reply, sizeof reply);
            what = "replied as address " + std::to_string(other) + ", nothing stored";
        } else if (answer == Answer::kNone) {
            what = "no reply, nothing stored";
        } else {
            std::lock_guard<std::mutex> g(stateLock);
            modbus_reply(ctx, query, length, mapping);
            what = "replied";
        }
        uint16_t registers[kRegisterCount];
        unsigned long count;
        {
            std::lock_guard<std::mutex> g(stateLock);
            lastRequest = hex;
            if (options.link.empty()) received += static_cast<unsigned long>(length);
            count = ++requests;
            writeState();
            std::memcpy(registers, mapping->tab_registers, sizeof registers);
        }
        std::printf("request %lu: %s\n  %s\n", count, spaced.c_str(), what.c_str());
        const uint8_t function = query[1];
        if (function == MODBUS_FC_WRITE_SINGLE_REGISTER || function == MODBUS_FC_WRITE_MULTIPLE_REGISTERS)
            std::fputs(grid(registers).c_str(), stdout);
        std::fflush(stdout);
    }
}
