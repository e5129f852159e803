// A C++ host built with find_package(CounterKit): prints its argument as one
// line on COM1, switches tables through the table controller on KORVEL_COM1,
// and catches the library's KorvelError by type for an address out of range.
// Exit 0 when each call did what it should.
#include <cstdio>
#include <string>

#include "korvel.h"
#include "slipdrv.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: find_package_host LINE\n");
        return 2;
    }
    const std::string line = std::string(argv[1]) + "\n";
    if (BPOpenPrinter(1, 9600) != 0 || BPPrintString(line.c_str()) != 0) {
        std::fprintf(stderr, "find_package_host: printing failed\n");
        return 1;
    }
    BPClosePrinter();

    korvel::ClsKorvel korvel;
    std::int16_t address = 1;
    std::string digits = "01010000";
    if (korvel.SendData(address, digits) != 0) {
        std::fprintf(stderr, "find_package_host: the table controller did not answer as itself\n");
        return 1;
    }
    try {
        address = 300;
        korvel.SendData(address, digits);
        std::fprintf(stderr, "find_package_host: address 300 was accepted\n");
        return 1;
    } catch (const korvel::KorvelError& e) {
        if (e.number() != KORVEL_ERR_OVERFLOW) {
            std::fprintf(stderr, "find_package_host: address 300 gave error %d\n", e.number());
            return 1;
        }
    }
    return 0;
}
