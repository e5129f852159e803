// The control's Settings text, "baud,parity,data bits,stop bits", such as
// "1200,n,8,1". Parsed here once for both backends.
#pragma once

#include <string>

namespace korvel {

struct LineSettings {
    unsigned baud = 9600;
    char parity = 'n';    // n, e, o, m or s
    unsigned dataBits = 8;  // 4 to 8
    unsigned stopBits10 = 10;  // 10, 15 or 20: 1, 1.5 or 2 stop bits
};

// Throws KorvelError 380 (invalid property value) for a text it cannot use.
LineSettings parseLineSettings(const std::string& text);

}  // namespace korvel
