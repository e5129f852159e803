// libkorvel and korvel-send against the simulated table controller (a Modbus RTU server) on a
// pseudo-terminal named by KORVEL_COM1: the registers the slave stores, the
// results, the errors and what reaches the slave.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "korvel.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

class Peer {
public:
    explicit Peer(int address) {
        char tmpl[] = "/tmp/korvel-e2e-XXXXXX";
        dir_ = mkdtemp(tmpl);
        link_ = dir_ + "/com1";
        const std::string addr = std::to_string(address), state = dir_ + "/state", mode = modePath();
        mode_("reply");
        const char* argv[] = {TABLE_CONTROLLER, "--link",      link_.c_str(), "--address",  addr.c_str(),
                              "--state",        state.c_str(), "--mode-file", mode.c_str(), nullptr};
        posix_spawn(&pid_, TABLE_CONTROLLER, nullptr, nullptr, const_cast<char**>(argv), environ);
        for (int i = 0; i < 500 && access(link_.c_str(), F_OK) != 0; ++i) std::this_thread::sleep_for(10ms);
        setenv("KORVEL_COM1", link_.c_str(), 1);
    }
    ~Peer() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        std::system(("rm -rf " + dir_).c_str());
        unsetenv("KORVEL_COM1");
    }

    bool ready() const { return access(link_.c_str(), F_OK) == 0; }
    void mode_(const std::string& m) const { std::ofstream(modePath()) << m << "\n"; }
    std::map<std::string, std::string> state() const {
        std::map<std::string, std::string> s;
        std::ifstream in(dir_ + "/state");
        std::string line;
        while (std::getline(in, line)) {
            const auto space = line.find(' ');
            s[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
        }
        return s;
    }
    const std::string& dir() const { return dir_; }

    // Whether a caller holds the port open: the control locks it while open.
    bool portHeld() const {
        const int fd = open(link_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return false;
        const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
        close(fd);
        return held;
    }

private:
    std::string modePath() const { return dir_ + "/mode"; }
    std::string dir_, link_;
    pid_t pid_ = -1;
};

struct Outcome {
    int error = 0;
    std::string description;
    std::int16_t result = 99;
    std::string datas;
};

Outcome send(std::int16_t address, const std::string& digits) {
    Outcome o;
    korvel::ClsKorvel cls;
    std::int16_t a = address;
    o.datas = digits;
    try {
        o.result = cls.SendData(a, o.datas);
    } catch (const korvel::KorvelError& e) {
        o.error = e.number();
        o.description = e.description();
    }
    EXPECT_EQ(a, address);
    return o;
}

const std::string k64Zero(64, '0');

TEST(KorvelE2E, SlaveHoldsTheBitsAndTheResultIsZero) {
    Peer peer(1);
    ASSERT_TRUE(peer.ready());
    // D0..D7 = 80 01 FF 00 0F F0 AA 55: D0 the high byte of register 0x0100.
    const std::string digits =
        "10000000000000011111111100000000000011111111000010101010"
        "01010101";
    const Outcome o = send(1, digits);
    EXPECT_EQ(o.error, 0) << o.description;
    EXPECT_EQ(o.result, 0);
    const auto s = peer.state();
    EXPECT_EQ(s.at("registers"), "8001 FF00 0FF0 AA55");
    EXPECT_EQ(s.at("received"), "17");
    EXPECT_EQ(s.at("last"),
              "0110010000040880"
              "01FF000FF0AA55" +
                  s.at("last").substr(30));

    // The text "1" goes out padded, and comes back in its 64-character form.
    const Outcome padded = send(1, "1");
    EXPECT_EQ(padded.result, 0);
    EXPECT_EQ(padded.datas, "1" + std::string(63, '0'));
    EXPECT_EQ(peer.state().at("last"),
              "01100100000408800000000000000"
              "0BC9B");
    EXPECT_EQ(peer.state().at("registers"), "8000 0000 0000 0000");
}

TEST(KorvelE2E, ReplyFromAnotherAddressIsMinusOne) {
    Peer peer(5);
    ASSERT_TRUE(peer.ready());
    peer.mode_("other");
    const Outcome o = send(5, k64Zero);
    EXPECT_EQ(o.error, 0) << o.description;
    EXPECT_EQ(o.result, -1);
}

TEST(KorvelE2E, NoReplyIsErrorNineAndThePortIsClosed) {
    Peer peer(1);
    ASSERT_TRUE(peer.ready());
    peer.mode_("none");
    const Outcome o = send(1, k64Zero);
    EXPECT_EQ(o.error, 9);
    EXPECT_EQ(o.description, "Subscript out of range");
    EXPECT_EQ(peer.state().at("received"), "17");
    EXPECT_FALSE(peer.portHeld());
    // Closed: the next call opens it again without a port-in-use error.
    peer.mode_("reply");
    EXPECT_EQ(send(1, k64Zero).result, 0);
}

TEST(KorvelE2E, BadAddressIsOverflowBeforeAnyByteAndTheNextCallWorks) {
    Peer peer(1);
    ASSERT_TRUE(peer.ready());
    for (std::int16_t address : {256, -1}) {
        const Outcome o = send(address, "1");
        EXPECT_EQ(o.error, 6);
        EXPECT_EQ(o.description, "Overflow");
        EXPECT_EQ(o.datas, "1" + std::string(63, '0'));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(peer.state().at("received"), "0");
        EXPECT_TRUE(peer.portHeld());  // left open by the error
    }
    // Another thread has a form and control of its own, and finds COM1 taken.
    Outcome other;
    std::thread([&] { other = send(1, "1"); }).join();
    EXPECT_EQ(other.error, 8005);
    EXPECT_EQ(other.description, "Port already open");
    const Outcome next = send(1, "11");
    EXPECT_EQ(next.error, 0) << next.description;
    EXPECT_EQ(next.result, 0);
    EXPECT_EQ(peer.state().at("registers"), "C000 0000 0000 0000");
    EXPECT_FALSE(peer.portHeld());
}

TEST(KorvelE2E, MissingPortIsTheControlsError) {
    setenv("KORVEL_COM1", "/nonexistent/korvel-port", 1);
    const Outcome o = send(1, "1");
    unsetenv("KORVEL_COM1");
    EXPECT_EQ(o.error, 8010);
    EXPECT_NE(o.description.find("/nonexistent/korvel-port"), std::string::npos);
    EXPECT_EQ(o.datas, "1");  // failed before the text was normalised
}

TEST(KorvelE2E, CInterfaceHandsBackResultErrorAndText) {
    Peer peer(2);
    ASSERT_TRUE(peer.ready());
    char datas[KORVEL_DATAS_SIZE] = "101";
    char description[128] = "x";
    std::int16_t result = 99;
    EXPECT_EQ(korvel_send_data(2, datas, sizeof datas, &result, description, sizeof description), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(std::string(datas), "101" + std::string(61, '0'));
    EXPECT_STREQ(description, "");
    EXPECT_EQ(peer.state().at("registers"), "A000 0000 0000 0000");

    char bad[KORVEL_DATAS_SIZE] = "2";
    EXPECT_EQ(korvel_send_data(2, bad, sizeof bad, &result, description, sizeof description), 6);
    EXPECT_STREQ(description, "Overflow");
    EXPECT_EQ(std::string(bad), "2" + std::string(63, '0'));
}

std::string run(const std::string& command, int& status) {
    std::string out;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    char buf[256];
    while (p && std::fgets(buf, sizeof buf, p)) out += buf;
    status = p ? pclose(p) : -1;
    return out;
}

TEST(KorvelE2E, CommandPrintsTheResultOrTheError) {
    Peer peer(3);
    ASSERT_TRUE(peer.ready());
    const std::string send = std::string(KORVEL_SEND) + " ";
    int status = 0;
    EXPECT_EQ(run(send + "3 11110000", status), "0\n");
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(peer.state().at("registers"), "F000 0000 0000 0000");
    EXPECT_EQ(run(send + "300 1", status), "error 6: Overflow\n");
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(run(send + "4 1", status), "error 9: Subscript out of range\n");  // nobody answers address 4
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
