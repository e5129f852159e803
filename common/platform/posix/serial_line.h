// The line settings of a serial port on Linux, applied in one step.
#pragma once

namespace kit {

struct SerialLine {
    unsigned baud = 9600;      // any whole rate: standard or not, the driver gets it as it is
    unsigned dataBits = 8;     // 5 to 8
    char parity = 'n';         // n, e, o, m (mark) or s (space)
    bool twoStopBits = false;  // with 5 data bits the UART makes this 1.5 stop bits
    bool rtsCts = false;       // CTS/RTS handshake
};

// Raw mode with the line's settings, the modem control lines ignored
// (CLOCAL), the receiver on, and reads that return at once with what is
// there (VMIN = VTIME = 0). False when the device refuses, or for data bits
// outside 5 to 8.
bool setUpSerialLine(int fd, const SerialLine& line);

}  // namespace kit
