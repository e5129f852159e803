/* comm_probe: checks under Wine that a COM port mapped to a virtual printer
 * carries the Win32 receive path the library's worker thread uses: an
 * overlapped handle, SetCommMask(EV_RXCHAR), WaitCommEvent completed through
 * GetOverlappedResult, then ClearCommError for the count and ReadFile.
 *
 *   comm_probe [PORT] [--expect N] [--write HEX] [--rounds N] [--timeout MS]
 *   comm_probe [PORT] --cancel-after MS
 *
 * The first form writes HEX (if given), then waits until N bytes (default 1)
 * have arrived and prints them, ROUNDS times, with the time each round took.
 * The second leaves a wait pending and ends it from another thread with
 * SetCommMask(h, 0), printing how the wait completed and how long it took.
 * Exit status 0 when the bytes arrived or the wait ended, 1 otherwise. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static LARGE_INTEGER frequency;

static double now_ms(void) {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

static int parse_hex(const char* text, unsigned char* out, int capacity) {
    int n = 0;
    size_t length = strlen(text);
    if (length % 2) return -1;
    for (size_t i = 0; i < length; i += 2) {
        unsigned value;
        if (n == capacity || sscanf(text + i, "%2x", &value) != 1) return -1;
        out[n++] = (unsigned char)value;
    }
    return n;
}

/* Completes an overlapped call: TRUE when it succeeded, waiting at most timeout_ms. */
static BOOL finish(HANDLE h, OVERLAPPED* ov, BOOL started, DWORD* count, DWORD timeout_ms, BOOL is_wait) {
    if (started) return GetOverlappedResult(h, ov, count, FALSE);
    if (GetLastError() != ERROR_IO_PENDING) return FALSE;
    if (WaitForSingleObject(ov->hEvent, timeout_ms) != WAIT_OBJECT_0) {
        /* Wine ends a pending WaitCommEvent on SetCommMask(h, 0) but not on
         * CancelIo, which reports success and leaves the wait pending. */
        if (is_wait)
            SetCommMask(h, 0);
        else
            CancelIo(h);
        GetOverlappedResult(h, ov, count, TRUE);
        SetLastError(WAIT_TIMEOUT);
        return FALSE;
    }
    return GetOverlappedResult(h, ov, count, TRUE);
}

struct cancel_request {
    HANDLE port;
    DWORD delay_ms;
    double called_at;
};

static DWORD WINAPI cancel_wait(void* context) {
    struct cancel_request* request = context;
    Sleep(request->delay_ms);
    request->called_at = now_ms();
    if (!SetCommMask(request->port, 0)) printf("SetCommMask(0) failed: %lu\n", GetLastError());
    return 0;
}

static int probe_cancel(HANDLE h, DWORD delay_ms) {
    OVERLAPPED ov = {0};
    ov.hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    struct cancel_request request = {h, delay_ms, 0.0};
    DWORD mask = 0, ignored;
    BOOL started = WaitCommEvent(h, &mask, &ov);
    DWORD error = GetLastError();
    if (started || error != ERROR_IO_PENDING) {
        printf("wait: not pending (result %d, error %lu, mask 0x%lx)\n", started, error, mask);
        return 1;
    }
    HANDLE thread = CreateThread(NULL, 0, cancel_wait, &request, 0, NULL);
    BOOL ok = GetOverlappedResult(h, &ov, &ignored, TRUE);
    error = ok ? 0 : GetLastError();
    double ended_at = now_ms();
    WaitForSingleObject(thread, INFINITE);
    printf("cancel: wait ended, result %d, error %lu, mask 0x%lx, %.2f ms after SetCommMask(0)\n", ok, error, mask,
           ended_at - request.called_at);
    return 0;
}

static int probe_receive(HANDLE h, const unsigned char* request, int request_length, DWORD expect, int rounds,
                         DWORD timeout_ms) {
    OVERLAPPED wait_ov = {0}, io_ov = {0};
    wait_ov.hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    io_ov.hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    unsigned char* data = malloc(expect + 4096);

    for (int round = 1; round <= rounds; ++round) {
        DWORD got = 0, count = 0, waits = 0;
        double start = now_ms();
        if (request_length > 0) {
            ResetEvent(io_ov.hEvent);
            BOOL ok = finish(h, &io_ov, WriteFile(h, request, (DWORD)request_length, NULL, &io_ov), &count, timeout_ms,
                             FALSE);
            if (!ok || count != (DWORD)request_length) {
                printf("write: failed, error %lu, %lu bytes\n", GetLastError(), count);
                return 1;
            }
        }
        while (got < expect) {
            DWORD mask = 0;
            ResetEvent(wait_ov.hEvent);
            ++waits;
            if (!finish(h, &wait_ov, WaitCommEvent(h, &mask, &wait_ov), &count, timeout_ms, TRUE)) {
                printf("wait: failed, error %lu, mask 0x%lx, %lu of %lu bytes\n", GetLastError(), mask, got, expect);
                return 1;
            }
            if (!(mask & EV_RXCHAR)) {
                printf("wait: completed without EV_RXCHAR, mask 0x%lx\n", mask);
                continue;
            }
            COMSTAT status;
            DWORD errors;
            if (!ClearCommError(h, &errors, &status)) {
                printf("ClearCommError failed: %lu\n", GetLastError());
                return 1;
            }
            DWORD wanted = status.cbInQue;
            if (wanted > expect + 4096 - got) wanted = expect + 4096 - got;
            if (wanted == 0) continue; /* read along with an earlier event's bytes */
            ResetEvent(io_ov.hEvent);
            BOOL started = ReadFile(h, data + got, wanted, NULL, &io_ov);
            if (!started && GetLastError() == ERROR_IO_PENDING) printf("read: %lu bytes pending at first\n", wanted);
            if (!finish(h, &io_ov, started, &count, timeout_ms, FALSE)) {
                printf("read: failed, error %lu\n", GetLastError());
                return 1;
            }
            got += count;
        }
        printf("round %d: %lu bytes in %.2f ms, %lu waits:", round, got, now_ms() - start, waits);
        for (DWORD i = 0; i < got && i < 32; ++i) printf(" %02x", data[i]);
        printf(got > 32 ? " ...\n" : "\n");
        fflush(stdout);
    }
    free(data);
    return 0;
}

int main(int argc, char** argv) {
    const char* port = "\\\\.\\COM1";
    DWORD expect = 1, timeout_ms = 10000, cancel_after = 0;
    int rounds = 1, request_length = 0;
    unsigned char request[256];
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--expect") && i + 1 < argc)
            expect = strtoul(argv[++i], NULL, 10);
        else if (!strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--timeout") && i + 1 < argc)
            timeout_ms = strtoul(argv[++i], NULL, 10);
        else if (!strcmp(argv[i], "--cancel-after") && i + 1 < argc)
            cancel_after = strtoul(argv[++i], NULL, 10);
        else if (!strcmp(argv[i], "--write") && i + 1 < argc) {
            request_length = parse_hex(argv[++i], request, sizeof request);
            if (request_length < 0) {
                fprintf(stderr, "bad hex: %s\n", argv[i]);
                return 2;
            }
        } else if (argv[i][0] != '-')
            port = argv[i];
        else {
            fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    QueryPerformanceFrequency(&frequency);
    setvbuf(stdout, NULL, _IONBF, 0);

    HANDLE h = CreateFileA(port, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        printf("open %s: error %lu\n", port, GetLastError());
        return 1;
    }
    /* Bytes a virtual printer sent while no program had the port open are
     * still in the line; an earlier run's leftovers must not count. */
    if (!PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR)) printf("PurgeComm failed: %lu\n", GetLastError());
    DCB dcb = {0};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(h, &dcb)) {
        dcb.BaudRate = CBR_9600;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        if (!SetCommState(h, &dcb)) printf("SetCommState failed: %lu\n", GetLastError());
    } else {
        printf("GetCommState failed: %lu\n", GetLastError());
    }
    /* Reads return at once with what the driver holds. */
    COMMTIMEOUTS timeouts = {MAXDWORD, 0, 0, 0, 0};
    if (!SetCommTimeouts(h, &timeouts)) printf("SetCommTimeouts failed: %lu\n", GetLastError());
    if (!EscapeCommFunction(h, SETDTR)) printf("EscapeCommFunction(SETDTR) failed: %lu\n", GetLastError());
    DWORD modem = 0;
    if (GetCommModemStatus(h, &modem))
        printf("modem status 0x%lx\n", modem);
    else
        printf("GetCommModemStatus failed: %lu\n", GetLastError());
    if (!SetCommMask(h, EV_RXCHAR)) {
        printf("SetCommMask failed: %lu\n", GetLastError());
        return 1;
    }

    int status = cancel_after ? probe_cancel(h, cancel_after)
                              : probe_receive(h, request, request_length, expect, rounds, timeout_ms);
    CloseHandle(h);
    return status;
}
