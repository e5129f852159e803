#include "common/platform/posix/serial_line.h"

// termios2 (TCGETS2/TCSETS2 with BOTHER) takes any rate, not only the Bnnn
// constants; it cannot share a file with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kit {

bool setUpSerialLine(int fd, const SerialLine& line) {
    if (line.dataBits < 5 || line.dataBits > 8) return false;
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                          IXANY | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &=
        ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= sizes[line.dataBits - 5];
    // Mark and space parity are a fixed parity bit: CMSPAR, with PARODD for mark.
    switch (line.parity) {
        case 'e':
            tio.c_cflag |= PARENB;
            break;
        case 'o':
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 'm':
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case 's':
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (line.twoStopBits) tio.c_cflag |= CSTOPB;
    if (line.rtsCts) tio.c_cflag |= CRTSCTS;
    tio.c_cflag |= CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = tio.c_ospeed = static_cast<speed_t>(line.baud);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return ::ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace kit
