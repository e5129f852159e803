#include "line_settings.h"

#include <cctype>
#include <vector>

#include "serial_control.h"

namespace korvel {
namespace {

unsigned wholeNumber(const std::string& field, unsigned low, unsigned high) {
    if (field.empty() || field.size() > 7) raiseInvalidProperty();
    unsigned value = 0;
    for (char c : field) {
        if (c < '0' || c > '9') raiseInvalidProperty();
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < low || value > high) raiseInvalidProperty();
    return value;
}

}  // namespace

LineSettings parseLineSettings(const std::string& text) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == ',')
            fields.emplace_back();
        else if (c != ' ')
            fields.back() += c;
    }
    if (fields.size() != 4) raiseInvalidProperty();
    LineSettings s;
    s.baud = wholeNumber(fields[0], 110, 256000);
    if (fields[1].size() != 1) raiseInvalidProperty();
    s.parity = static_cast<char>(std::tolower(static_cast<unsigned char>(fields[1][0])));
    if (std::string("neoms").find(s.parity) == std::string::npos) raiseInvalidProperty();
    s.dataBits = wholeNumber(fields[2], 5, 8);
    if (fields[3] == "1")
        s.stopBits10 = 10;
    else if (fields[3] == "1.5" && s.dataBits == 5)
        s.stopBits10 = 15;
    else if (fields[3] == "2" && s.dataBits != 5)
        s.stopBits10 = 20;
    else
        raiseInvalidProperty();
    return s;
}

}  // namespace korvel
