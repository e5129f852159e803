/* status-poller: asks the printer for its four real-time statuses every few
 * seconds and prints what they say, the way a till watches its printer.
 *
 *   status-poller [PORT [SECONDS [ROUNDS]]]
 *
 * PORT as for BPOpenPrinter (default 1: COM1, on Linux the device named by
 * SLIPDRV_COM1); SECONDS between rounds (default 5); ROUNDS to run (default 0:
 * until stopped). Exit 0 when the last round found the printer ready, 1 when
 * it was not ready or did not answer, 2 when the port cannot be opened. */
#include <stdio.h>
#include <stdlib.h>

#include "slipdrv.h"

#ifdef _WIN32
#include <windows.h>
static void pause_seconds(int seconds) { Sleep((DWORD)seconds * 1000); }
#else
#include <unistd.h>
static void pause_seconds(int seconds) { sleep((unsigned)seconds); }
#endif

struct flag {
    int status; /* n of BPRealtimeGetStatus */
    int bits;
    const char* meaning;
    int stops; /* the printer cannot print while it is set */
};

static const struct flag kFlags[] = {
    {1, SLIPDRV_STATUS1_DRAWER_PIN, "drawer sensor high", 0},
    {1, SLIPDRV_STATUS1_OFFLINE, "offline", 1},
    {2, SLIPDRV_STATUS2_COVER_OPEN, "cover open", 1},
    {2, SLIPDRV_STATUS2_FEED_BUTTON, "paper fed by the button", 0},
    {2, SLIPDRV_STATUS2_PAPER_END_STOP, "stopped at the paper end", 1},
    {2, SLIPDRV_STATUS2_ERROR, "error", 1},
    {3, SLIPDRV_STATUS3_AUTOCUTTER_ERROR, "autocutter error", 1},
    {3, SLIPDRV_STATUS3_UNRECOVERABLE, "unrecoverable error", 1},
    {3, SLIPDRV_STATUS3_AUTO_RECOVERABLE, "auto-recoverable error", 1},
    {4, SLIPDRV_STATUS4_PAPER_NEAR_END, "paper near its end", 0},
    {4, SLIPDRV_STATUS4_PAPER_END, "paper out", 1},
};

/* One round: 1 when the printer is ready, 0 when not, -1 without an answer. */
static int poll_once(void) {
    int replies[5] = {0};
    int n, ready = 1;
    size_t i;
    for (n = 1; n <= 4; ++n) {
        replies[n] = BPRealtimeGetStatus(n);
        if (replies[n] < 0) {
            printf("no answer to status %d\n", n);
            return -1;
        }
    }
    printf("status %02X %02X %02X %02X:", replies[1], replies[2], replies[3], replies[4]);
    for (i = 0; i < sizeof kFlags / sizeof kFlags[0]; ++i) {
        if ((replies[kFlags[i].status] & kFlags[i].bits) == kFlags[i].bits) {
            printf(" %s;", kFlags[i].meaning);
            if (kFlags[i].stops) ready = 0;
        }
    }
    printf(" %s\n", ready ? "ready" : "NOT READY");
    fflush(stdout);
    return ready;
}

int main(int argc, char** argv) {
    const int port = argc > 1 ? atoi(argv[1]) : 1;
    const int seconds = argc > 2 ? atoi(argv[2]) : 5;
    const int rounds = argc > 3 ? atoi(argv[3]) : 0;
    int round, last = -1;

    if (BPOpenPrinter(port, 9600) != 0) {
        fprintf(stderr, "status-poller: cannot open port %d\n", port);
        return 2;
    }
    for (round = 1; rounds == 0 || round <= rounds; ++round) {
        if (round > 1) pause_seconds(seconds);
        last = poll_once();
    }
    BPClosePrinter();
    return last == 1 ? 0 : 1;
}
