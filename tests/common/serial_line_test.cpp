// The termios set-up on a pseudo-terminal. A pty keeps everything but the
// character size and the parity enable (it forces CS8 and clears PARENB), so
// those two are left to the devices; the rest is read back as the driver
// holds it.
#include <asm/termbits.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "common/platform/posix/serial_line.h"

namespace kit {
namespace {

struct LineCase {
    const char* name;
    SerialLine line;
    unsigned speed;
    tcflag_t flagsOn;   // must be set
    tcflag_t flagsOff;  // must be clear
};

TEST(SerialLine, ReachesTheDriverAsTermiosFlags) {
    const LineCase cases[] = {
        {"1200 8N1", {1200, 8, 'n', false, false}, 1200, CREAD | CLOCAL, CMSPAR | PARODD | CSTOPB | CRTSCTS},
        {"odd, two stop bits", {9600, 7, 'o', true, false}, 9600, PARODD | CSTOPB, CMSPAR},
        {"mark", {14400, 8, 'm', false, false}, 14400, CMSPAR | PARODD, CSTOPB},
        {"space", {256000, 5, 's', true, false}, 256000, CMSPAR | CSTOPB, PARODD},
        {"handshake at a rate of its own", {12345, 8, 'n', false, true}, 12345, CRTSCTS, CMSPAR | CSTOPB},
    };
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const int fd = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(setUpSerialLine(fd, c.line));
        struct termios2 tio {};
        ASSERT_EQ(::ioctl(fd, TCGETS2, &tio), 0);
        EXPECT_EQ(tio.c_ospeed, c.speed);
        EXPECT_EQ(tio.c_ispeed, c.speed);
        EXPECT_EQ(tio.c_cflag & c.flagsOn, c.flagsOn);
        EXPECT_EQ(tio.c_cflag & c.flagsOff, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);  // raw
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_cc[VMIN], 0);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
    }
    EXPECT_FALSE(setUpSerialLine(fd, {1200, 9, 'n', false, false}));
    ::close(fd);
    ::close(master);
}

}  // namespace
}  // namespace kit
