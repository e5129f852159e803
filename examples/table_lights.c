/* table-lights: switches the lights of a venue's tables through libkorvel:
 * one digit a table, 1 on and 0 off, sent to the table controller at an
 * address on COM1 (on Linux the device named by KORVEL_COM1).
 *
 *   table-lights [ADDRESS [DIGITS]]
 *
 * Exit 0 when the controller answered, 1 when another device answered, 2 on
 * an error (its number and text on stderr). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "korvel.h"

int main(int argc, char** argv) {
    const int address = argc > 1 ? atoi(argv[1]) : 1;
    char datas[KORVEL_DATAS_SIZE] = "1010000011110000";
    char description[256];
    int16_t result = 0;
    int error;

    if (argc > 2) snprintf(datas, sizeof datas, "%s", argv[2]);
    error = korvel_send_data((int16_t)address, datas, sizeof datas, &result, description, sizeof description);
    if (error != 0) {
        fprintf(stderr, "table-lights: error %d: %s\n", error, description);
        return 2;
    }
    if (result != 0) {
        printf("another device answered for address %d\n", address);
        return 1;
    }
    /* The text comes back normalised to the 64 tables. */
    printf("controller %d switched: %s\n", address, datas);
    return 0;
}
