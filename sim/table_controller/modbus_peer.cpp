// modbus-peer: a table controller on a pseudo-terminal for the sender's
// tests, the benchmark and the demo. A libmodbus RTU server (1200 baud 8N1)
// with four holding registers from 0x0100 sits on one pseudo-terminal; the
// sender opens another, whose name --link points at; a relay thread copies
// bytes between the two and counts what the sender wrote.
//
//   modbus-peer --link PATH --address N [--state FILE] [--mode-file FILE]
//
// The state file is rewritten after every byte from the sender and every
// request: "received N" (bytes from the sender), "requests N" (requests
// handled), "registers XXXX XXXX XXXX XXXX" (0x0100 to 0x0103, hex) and
// "last HEX" (the last request). The mode file, read at every request, holds
// "reply" (the default: a normal reply), "other" (a reply that starts with
// another address) or "none" (no reply).
#include <errno.h>
#include <fcntl.h>
#include <modbus/modbus.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::mutex stateLock;
std::string statePath;
unsigned long received = 0, requests = 0;
modbus_mapping_t* mapping = nullptr;
std::string lastRequest;

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

std::string readMode(const std::string& path) {
    std::string mode = "reply";
    if (!path.empty()) {
        std::ifstream in(path);
        in >> mode;
    }
    return mode;
}

}  // namespace

int main(int argc, char** argv) {
    std::string link, modePath;
    int address = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--link")
            link = argv[i + 1];
        else if (opt == "--address")
            address = std::atoi(argv[i + 1]);
        else if (opt == "--state")
            statePath = argv[i + 1];
        else if (opt == "--mode-file")
            modePath = argv[i + 1];
        else {
            std::fprintf(stderr, "modbus-peer: unknown option %s\n", opt.c_str());
            return 2;
        }
    }
    if (link.empty()) {
        std::fprintf(stderr, "usage: modbus-peer --link PATH --address N [--state FILE] [--mode-file FILE]\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    // Ends with the process that started it, even when that one crashes.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() == 1) return 1;
    std::string senderName, serverName;
    const int senderMaster = openMaster(senderName), serverMaster = openMaster(serverName);
    if (senderMaster < 0 || serverMaster < 0) {
        std::perror("modbus-peer: pseudo-terminal");
        return 1;
    }
    // Hold the sender's side open ourselves, so the master never sees a hang-up
    // between the sender's calls.
    const int senderHold = open(senderName.c_str(), O_RDWR | O_NOCTTY);

    modbus_t* ctx = modbus_new_rtu(serverName.c_str(), 1200, 'N', 8, 1);
    mapping = modbus_mapping_new_start_address(0, 0, 0, 0, 0x0100, 4, 0, 0);
    if (!ctx || !mapping || modbus_set_slave(ctx, address) != 0 || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "modbus-peer: %s\n", modbus_strerror(errno));
        return 1;
    }
    {
        std::lock_guard<std::mutex> g(stateLock);
        writeState();
    }
    std::thread(relay, senderMaster, serverMaster).detach();

    unlink(link.c_str());
    if (symlink(senderName.c_str(), link.c_str()) != 0) {
        std::perror("modbus-peer: symlink");
        return 1;
    }
    std::printf("modbus-peer: address %d on %s\n", address, senderName.c_str());
    std::fflush(stdout);

    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        const int length = modbus_receive(ctx, query);
        if (length <= 0) continue;  // a request for another address, or a broken frame
        const std::string mode = readMode(modePath);
        {
            std::lock_guard<std::mutex> g(stateLock);
            std::string hex;
            char two[4];
            for (int i = 0; i < length; ++i) {
                std::snprintf(two, sizeof two, "%02X", query[i]);
                hex += two;
            }
            lastRequest = hex;
        }
        if (mode == "other") {
            const uint8_t reply[] = {static_cast<uint8_t>(address + 1), 0x10, 0x01, 0x00, 0x00, 0x04};
            modbus_send_raw_request(ctx, reply, sizeof reply);
        } else if (mode != "none") {
            std::lock_guard<std::mutex> g(stateLock);
            modbus_reply(ctx, query, length, mapping);
        }
        std::lock_guard<std::mutex> g(stateLock);
        ++requests;
        writeState();
    }
    (void)senderHold;
}
