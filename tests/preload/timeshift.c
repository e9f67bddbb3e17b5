/* timeshift.so: moves the wall clock of a Wine program (or of any program)
 * by a fixed number of seconds, so that date changes such as
 * local midnight can be reached in seconds instead of waiting for them.
 *
 *   TW_TIME_OFFSET=<seconds>   added to every wall-clock reading (may be
 *                              negative or fractional)
 *   TW_TIME_START=<epoch>      alternatively: the wall clock reads <epoch> at
 *                              the moment this library is loaded
 *
 * Only wall clocks move (CLOCK_REALTIME and its coarse, alarm and TAI
 * variants, gettimeofday, time); the monotonic and CPU clocks stay true, so
 * sleeps, timers and timeouts keep their real lengths. TW_TIME_OFFSET is the
 * one to use for several processes: TW_TIME_START is fixed per process at
 * its own load time, so processes started later would read different clocks.
 *
 * What was measured with Wine 8.0 (Debian, 64-bit wine64 loader), by a small
 * Win32 program printing GetLocalTime, GetSystemTime and
 * GetSystemTimeAsFileTime under variants of this library:
 *  - The 64-bit ntdll.so reads the wall clock itself, in the client process,
 *    through libc's clock_gettime: a variant overriding only clock_gettime
 *    moved all three readings; one overriding only gettimeofday and time
 *    moved none. (Wine picks CLOCK_REALTIME_COARSE instead when that clock
 *    resolves 1 ms or better; here it resolves 4 ms, so CLOCK_REALTIME is
 *    used. Both are shifted, so either choice is covered.)
 *  - LD_PRELOAD survives Wine's preloader and reaches ntdll.so's calls.
 *  - The wineserver need not be preloaded: a preloaded client of an
 *    unshifted server reads the shifted clock, and Sleep, timers and the tick
 *    count keep running at real speed. TW_TIME_START=<23:59:55 of a day>
 *    gave a first GetLocalTime of 23:59:55 in the program's main().
 *  - The local time zone is worked out in the client from libc, so TZ in the
 *    client's environment decides it (a POSIX zone such as "TWT-9" works).
 * So one program can run with a moved clock inside a session shared with
 * other tests; tests/e2e/test_midnight_rollover.py does exactly that.
 *
 * Build: tools/build-preload.sh (native gcc, 64-bit, like the wine64 loader).
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/time.h>
#include <time.h>

#ifndef CLOCK_REALTIME_COARSE
#define CLOCK_REALTIME_COARSE 5
#endif
#ifndef CLOCK_REALTIME_ALARM
#define CLOCK_REALTIME_ALARM 8
#endif
#ifndef CLOCK_TAI
#define CLOCK_TAI 11
#endif

typedef int (*clock_gettime_fn)(clockid_t, struct timespec *);

static clock_gettime_fn real_clock_gettime;
static clock_gettime_fn real_clock_gettime64;
static long long offset_ns;

static const long long kNanos = 1000000000LL;

static int is_wall_clock(clockid_t id)
{
    return id == CLOCK_REALTIME || id == CLOCK_REALTIME_COARSE || id == CLOCK_REALTIME_ALARM ||
           id == CLOCK_TAI;
}

static void shift(struct timespec *ts)
{
    long long ns = (long long)ts->tv_sec * kNanos + ts->tv_nsec + offset_ns;
    long long sec = ns / kNanos, rest = ns % kNanos;
    if (rest < 0) {
        rest += kNanos;
        sec -= 1;
    }
    ts->tv_sec = (time_t)sec;
    ts->tv_nsec = (long)rest;
}

/* glibc marks the pointers non-null; callers that pass null anyway get the
 * error or no-op that they would get without the preload. */
static int is_null(const void *p)
{
    return p == 0;
}

static void resolve(void)
{
    if (!real_clock_gettime)
        real_clock_gettime = (clock_gettime_fn)dlsym(RTLD_NEXT, "clock_gettime");
}

/* Seconds with an optional fraction, as nanoseconds; 0 for anything else,
 * so a mistyped setting leaves the clock alone instead of moving it oddly. */
static int parse_seconds(const char *text, long long *ns)
{
    char *end;
    double v;
    if (!text || !*text)
        return 0;
    errno = 0;
    v = strtod(text, &end);
    if (errno || *end || end == text)
        return 0;
    *ns = (long long)(v * 1e9);
    return 1;
}

__attribute__((constructor)) static void timeshift_init(void)
{
    long long ns;
    resolve();
    real_clock_gettime64 = (clock_gettime_fn)dlsym(RTLD_NEXT, "__clock_gettime64");
    if (parse_seconds(getenv("TW_TIME_OFFSET"), &ns)) {
        offset_ns = ns;
    } else if (parse_seconds(getenv("TW_TIME_START"), &ns) && real_clock_gettime) {
        struct timespec now;
        if (real_clock_gettime(CLOCK_REALTIME, &now) == 0)
            offset_ns = ns - ((long long)now.tv_sec * kNanos + now.tv_nsec);
    }
}

int clock_gettime(clockid_t id, struct timespec *ts)
{
    int rc;
    resolve();
    if (!real_clock_gettime) {
        errno = ENOSYS;
        return -1;
    }
    rc = real_clock_gettime(id, ts);
    if (rc == 0 && !is_null(ts) && is_wall_clock(id))
        shift(ts);
    return rc;
}

/* 32-bit glibc's 64-bit-time entry; absent from 64-bit glibc, where the
 * plain name above is the only one. */
int __clock_gettime64(clockid_t id, struct timespec *ts)
{
    int rc;
    if (!real_clock_gettime64)
        return clock_gettime(id, ts);
    rc = real_clock_gettime64(id, ts);
    if (rc == 0 && !is_null(ts) && is_wall_clock(id))
        shift(ts);
    return rc;
}

int gettimeofday(struct timeval *tv, void *tz)
{
    struct timespec ts;
    if (tz) {
        /* The obsolete zone argument: report no offset, as modern libc does. */
        struct timezone *z = (struct timezone *)tz;
        z->tz_minuteswest = 0;
        z->tz_dsttime = 0;
    }
    if (is_null(tv))
        return 0;
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0)
        return -1;
    tv->tv_sec = ts.tv_sec;
    tv->tv_usec = ts.tv_nsec / 1000;
    return 0;
}

time_t time(time_t *out)
{
    struct timespec ts;
    time_t t = (time_t)-1;
    if (clock_gettime(CLOCK_REALTIME, &ts) == 0)
        t = ts.tv_sec;
    if (out)
        *out = t;
    return t;
}
