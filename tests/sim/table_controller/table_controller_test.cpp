// table-controller as people run it: what korvel-send gets back, the grid it
// prints after a write, on a linked pseudo-terminal and on a device, and the
// command lines it refuses.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "run_program.h"

namespace {

using namespace std::chrono_literals;

// The grid for a digit text, straight from digit positions: digit n is table
// n, in row (n-1)/8 and column (n-1)%8.
std::string expectedGrid(const std::string& digits) {
    std::string grid = "tables  1 2 3 4 5 6 7 8\n";
    int on = 0;
    for (int row = 0; row < 8; ++row) {
        const std::string label = std::to_string(8 * row + 1) + "-" + std::to_string(8 * row + 8);
        grid += std::string(7 - label.size(), ' ') + label;
        for (int column = 0; column < 8; ++column) {
            const std::size_t n = static_cast<std::size_t>(8 * row + column);
            const bool lit = n < digits.size() && digits[n] == '1';
            on += lit;
            grid += lit ? " #" : " .";
        }
        grid += "\n";
    }
    return grid + std::to_string(on) + " of 64 tables on\n";
}

// The program in the background, its output in a file, ended with SIGTERM.
// Without --device it listens on a link of its own (link()).
class Controller {
public:
    explicit Controller(const std::vector<std::string>& options) {
        char dirTemplate[] = "/tmp/table-controller-test-XXXXXX";
        dir_ = mkdtemp(dirTemplate);
        std::vector<std::string> argv{TABLE_CONTROLLER};
        argv.insert(argv.end(), options.begin(), options.end());
        if (std::find(options.begin(), options.end(), "--device") == options.end()) {
            argv.push_back("--link");
            argv.push_back(link());
        }
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn(&pid_, TABLE_CONTROLLER, &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Controller() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        unlink(output().c_str());
        unlink(link().c_str());
        rmdir(dir_.c_str());
    }
    std::string link() const { return dir_ + "/com1"; }
    std::string output() const { return dir_ + "/out"; }

    // The output once it holds `text`, or as it is after five seconds.
    std::string outputWith(const std::string& text) const {
        std::string out;
        for (int i = 0; i < 500; ++i) {
            out = kittest::readFile(output());
            if (out.find(text) != std::string::npos) break;
            std::this_thread::sleep_for(10ms);
        }
        return out;
    }

private:
    std::string dir_;
    pid_t pid_ = -1;
};

TEST(TableController, AnswersKorvelSendAndPrintsTheTables) {
    // D0..D7 = 80 01 FF 00 0F F0 AA 55: the bit order within a byte and the
    // byte order within a register both show in the grid.
    const std::string pattern = "1000000000000001111111110000000000001111111100001010101001010101";
    const struct {
        const char* name;
        std::vector<std::string> options;
        int address;
        std::string digits;
        int status;
        std::string out, err;
        bool stored;
    } cases[] = {
        {"reply", {"--address", "9"}, 9, pattern, 0, "0\n", "", true},
        {"no reply", {"--no-reply"}, 1, "1", 2, "", "error 9: Subscript out of range\n", false},
        {"reply from another address", {"--reply-address", "7"}, 1, "11", 0, "-1\n", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Controller controller(c.options);
        ASSERT_NE(controller.outputWith("table-controller: address").find("address"), std::string::npos);
        const auto sent = kittest::runProgram({KORVEL_SEND, std::to_string(c.address), c.digits},
                                              {"KORVEL_COM1=" + controller.link()});
        EXPECT_EQ(sent.status, c.status);
        EXPECT_EQ(sent.out, c.out);
        EXPECT_EQ(sent.err, c.err);
        const std::string out = controller.outputWith("tables on\n");
        EXPECT_TRUE(out.ends_with(expectedGrid(c.stored ? c.digits : ""))) << out;
    }
}

// On a serial device it is the device's only user: the frame for the digits
// "1", written by hand, is answered and stored.
TEST(TableController, AnswersOnADevice) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    Controller controller({"--device", ptsname(master)});
    ASSERT_NE(controller.outputWith("at 1200 baud").find("at 1200 baud"), std::string::npos);
    const std::uint8_t frame[] = {0x01, 0x10, 0x01, 0x00, 0x00, 0x04, 0x08, 0x80, 0x00,
                                  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xBC, 0x9B};
    ASSERT_EQ(write(master, frame, sizeof frame), static_cast<ssize_t>(sizeof frame));
    std::vector<std::uint8_t> reply;
    pollfd readable{master, POLLIN, 0};
    while (reply.size() < 8 && poll(&readable, 1, 5000) > 0) {
        std::uint8_t buffer[16];
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0) break;
        reply.insert(reply.end(), buffer, buffer + got);
    }
    ASSERT_EQ(reply.size(), 8u);
    EXPECT_EQ(std::vector<std::uint8_t>(reply.begin(), reply.begin() + 6),
              (std::vector<std::uint8_t>{0x01, 0x10, 0x01, 0x00, 0x00, 0x04}));
    const std::string out = controller.outputWith("tables on\n");
    EXPECT_TRUE(out.ends_with(expectedGrid("1"))) << out;
    close(master);
}

// Each refused command line: exit 2, the reason on stderr, nothing on stdout.
TEST(TableController, RefusesBadCommandLines) {
    const std::vector<std::string> refused[] = {
        {},
        {"--link", "/tmp/a", "--device", "/dev/null"},
        {"--link", "/tmp/a", "--address", "0"},
        {"--link", "/tmp/a", "--address", "248"},
        {"--link", "/tmp/a", "--reply-address", "256"},
        {"--link", "/tmp/a", "--no-reply", "--reply-address", "2"},
        {"--link"},
    };
    for (const auto& options : refused) {
        std::vector<std::string> argv{TABLE_CONTROLLER};
        argv.insert(argv.end(), options.begin(), options.end());
        const auto run = kittest::runProgram(argv);
        EXPECT_EQ(run.status, 2) << ::testing::PrintToString(options);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with("table-controller: ")) << run.err;
    }
}

}  // namespace
