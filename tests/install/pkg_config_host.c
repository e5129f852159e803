/* A C host built with the installed pkg-config files: prints its argument as
 * one line on COM1 and switches tables through the table controller on
 * KORVEL_COM1. Exit 0 when both calls succeeded. */
#include <stdio.h>
#include <string.h>

#include "korvel.h"
#include "slipdrv.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: pkg_config_host LINE\n");
        return 2;
    }
    char line[256];
    snprintf(line, sizeof line, "%s\n", argv[1]);
    if (BPOpenPrinter(1, 9600) != 0 || BPPrintString(line) != 0) {
        fprintf(stderr, "pkg_config_host: printing failed\n");
        return 1;
    }
    BPClosePrinter();

    char digits[KORVEL_DATAS_SIZE] = "10100000";
    char description[128];
    int16_t result = 1;
    const int error = korvel_send_data(1, digits, sizeof digits, &result, description, sizeof description);
    if (error != 0 || result != 0) {
        fprintf(stderr, "pkg_config_host: korvel_send_data gave %d (%s), result %d\n", error, description, result);
        return 1;
    }
    return 0;
}
