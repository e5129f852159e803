// The control's Settings text, "baud,parity,data bits,stop bits", such as
// "1200,n,8,1". Parsed and checked here once for every platform; the
// backends only apply what this accepts.
//
// The rule is what a serial UART and the Windows serial driver can do:
//   baud       any whole number from 110 to 256000
//   parity     n, e, o, m (mark) or s (space), either case
//   data bits  5 to 8
//   stop bits  1, 1.5 or 2; 1.5 only with 5 data bits, 2 not with 5 data bits
// Blanks are ignored. Anything else is error 380, invalid property value.
#pragma once

#include <string>

namespace korvel {

struct LineSettings {
    unsigned baud = 9600;
    char parity = 'n';         // n, e, o, m or s
    unsigned dataBits = 8;     // 5 to 8
    unsigned stopBits10 = 10;  // 10, 15 or 20: 1, 1.5 or 2 stop bits
};

// Throws KorvelError 380 (invalid property value) for a text the rule refuses.
LineSettings parseLineSettings(const std::string& text);

}  // namespace korvel
