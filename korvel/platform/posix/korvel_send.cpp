// korvel-send ADDRESS DIGITS: one SendData call. Prints the result (0 or -1)
// and exits 0, or prints "error NUMBER: DESCRIPTION" on stderr and exits 2.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/kit_version.h"
#include "korvel.h"
#include "korvel_error.h"

namespace {

constexpr const char* kUsage =
    "usage: korvel-send ADDRESS DIGITS\n"
    "Sends the 64 on/off DIGITS to the device with ADDRESS (0-255) on COM1 (/dev/ttyS0, or the\n"
    "device KORVEL_COM1 names) at 1200 baud, as one SendData call. Prints 0 when the reply\n"
    "begins with ADDRESS, -1 when it does not (exit 0); when the call fails, prints\n"
    "\"error N: TEXT\" on stderr and exits 2 (error 9: nothing answered).\n"
    "  --help     this text\n"
    "  --version  the kit's version\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        kit::printVersion("korvel-send");
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "korvel-send: expected ADDRESS and DIGITS\n%s", kUsage);
        return 2;
    }
    char* end = nullptr;
    const long address = std::strtol(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0') {
        std::fprintf(stderr, "usage: korvel-send ADDRESS DIGITS (ADDRESS is a whole number)\n");
        return 2;
    }
    try {
        // The address travels as a 16-bit integer, as it does from an automation host.
        if (address < -32768 || address > 32767) korvel::raiseOverflow();
        std::int16_t a = static_cast<std::int16_t>(address);
        std::string datas = argv[2];
        korvel::ClsKorvel cls;
        std::printf("%d\n", cls.SendData(a, datas));
        return 0;
    } catch (const korvel::KorvelError& e) {
        std::fprintf(stderr, "error %d: %s\n", e.number(), e.description().c_str());
        return 2;
    }
}
