/* Modem lines for pseudo-terminals, preloaded into Wine by the Wine tests.
 *
 * A pty has no modem lines: TIOCMGET and friends fail with ENOTTY. Wine polls
 * TIOCMGET while WaitCommEvent is pending and ends the wait as cancelled when
 * it fails, so the Windows receive path cannot be tested on a pty. When the
 * real call fails that way on a pty, this answers as a port with a printer
 * attached would: CTS, DSR and carrier on, DTR and RTS as last set (both on
 * until the program changes them, as on a freshly opened port).
 *
 * Built once per word size: 32-bit Wine is built with 64-bit time and calls
 * glibc's __ioctl_time64 instead of ioctl, so both entry points are answered.
 * One LD_PRELOAD path with $LIB in it picks the build that fits the process. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#define LINE_BITS (TIOCM_DTR | TIOCM_RTS)

/* DTR/RTS of each pty the program touched, by device number. */
static struct {
    dev_t dev;
    int bits;
} ports[64];
static unsigned port_count;
static pthread_mutex_t ports_lock = PTHREAD_MUTEX_INITIALIZER;

static int* port_lines(dev_t dev) {
    for (unsigned i = 0; i < port_count; ++i)
        if (ports[i].dev == dev) return &ports[i].bits;
    unsigned slot = port_count < 64 ? port_count++ : (unsigned)(dev % 64);
    ports[slot].dev = dev;
    ports[slot].bits = LINE_BITS;
    return &ports[slot].bits;
}

typedef int (*ioctl_fn)(int, unsigned long, ...);

static int answer(ioctl_fn real, int fd, unsigned long request, int* arg) {
    int result = real ? real(fd, request, arg) : (errno = ENOSYS, -1);
    if (result == 0 || errno != ENOTTY || !arg ||
        (request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC))
        return result;
    struct stat st;
    /* UNIX98 pty slaves have majors 136 to 143. */
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || major(st.st_rdev) < 136 || major(st.st_rdev) > 143) {
        errno = ENOTTY;
        return result;
    }

    pthread_mutex_lock(&ports_lock);
    int* lines = port_lines(st.st_rdev);
    switch (request) {
        case TIOCMGET:
            *arg = *lines | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
            break;
        case TIOCMSET:
            *lines = *arg & LINE_BITS;
            break;
        case TIOCMBIS:
            *lines |= *arg & LINE_BITS;
            break;
        case TIOCMBIC:
            *lines &= ~(*arg & LINE_BITS);
            break;
    }
    pthread_mutex_unlock(&ports_lock);
    return 0;
}

/* Each entry point calls on to the one of its own name behind it. Only 32-bit
 * glibc has __ioctl_time64; in a 64-bit process nothing calls that one. */
#define ENTRY_POINT(name)                                    \
    int name(int fd, unsigned long request, ...) {           \
        static ioctl_fn real;                                \
        if (!real) real = (ioctl_fn)dlsym(RTLD_NEXT, #name); \
        va_list args;                                        \
        va_start(args, request);                             \
        int* arg = va_arg(args, int*);                       \
        va_end(args);                                        \
        return answer(real, fd, request, arg);               \
    }

ENTRY_POINT(ioctl)
ENTRY_POINT(__ioctl_time64)
