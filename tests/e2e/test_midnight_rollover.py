#!/usr/bin/python3
"""The day rolls over at the first once-a-second check after local midnight.

The Win32 probe (MidnightProbe.DISABLED_* in win32_tests.exe, see
tests/win32/test_midnight_probe.cpp) runs the real roll-over check once a
second from 23:59:55 local time on Sunday 2023-12-31 on, under the
time-shifting preload (tests/preload/timeshift.c), so that day, week, month
and year all end five seconds later. The clock is set to 23:59:52 when the
probe is loaded; Wine's start-up takes up some of those seconds and the probe
waits for 23:59:55 before its first check. The local zone is a fixed UTC+9
without daylight saving, so local midnight is not UTC midnight: a check that
went by the system time instead of the local time would roll nine hours off.

Only the probe gets the preload. Wine 8's 64-bit ntdll reads the wall clock in
the client process (clock_gettime), and the time zone is worked out there too,
so the wineserver of the session stays untouched and is shared with the other
tests.

Environment (set by tools/test.sh): TW_SOURCE, TW_TEST_BIN, TW_WINE, WINEPREFIX,
DISPLAY. Run alone, the script starts a throwaway Wine session of its own.
Exit code 0 means pass.
"""
import calendar
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.environ.get("TW_SOURCE") or os.path.dirname(os.path.dirname(HERE))
TEST_BIN = os.environ.get("TW_TEST_BIN") or os.path.join(SOURCE, "build", "win64", "testbin")
PRELOAD = os.path.join(SOURCE, "build", "timeshift.so")

# Local start time and zone: POSIX "TWT-9" is nine hours east of UTC, no DST.
ZONE = "TWT-9"
ZONE_EAST_SECONDS = 9 * 3600
START_LOCAL = (2023, 12, 31, 23, 59, 52)   # a Sunday, the last day of a year
FILTER = "MidnightProbe.DISABLED_RollsTheDayAtTheFirstCheckAfterMidnight"

EXPECTED_FILES = {
    "Day.txt": b"2023-12-31\t4321\r\n",
    "Month.txt": b"2023-12\t65432\r\n",
    "Year.txt": b"2023\t765432\r\n",
}


def fail(message, log=None):
    print("FAIL:", message)
    if log:
        print("---- probe output ----")
        print(log)
    return 1


def in_own_session():
    """Re-runs this script inside a Wine session started for it alone."""
    script = os.path.abspath(__file__)
    command = (
        'source "$TW_SOURCE/tools/wine-session.sh"; tw_session_start; '
        'trap tw_session_stop EXIT; /usr/bin/python3 "$0"'
    )
    env = dict(os.environ, TW_SOURCE=SOURCE, TW_TEST_BIN=TEST_BIN)
    return subprocess.call(["bash", "-c", command, script], env=env)


def main():
    if not os.environ.get("WINEPREFIX") or not os.environ.get("TW_WINE"):
        return in_own_session()
    wine = os.environ["TW_WINE"]
    exe = os.path.join(TEST_BIN, "win32_tests.exe")
    if not os.path.isfile(exe):
        return fail("no test program at " + exe)

    build = subprocess.run(
        ["bash", os.path.join(SOURCE, "tools", "build-preload.sh"), PRELOAD],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    if build.returncode != 0:
        return fail("building the preload failed", build.stdout.decode(errors="replace"))

    work = tempfile.mkdtemp(prefix="tw-midnight-")
    try:
        log_path = os.path.join(work, "probe.log")
        history = os.path.join(work, "history")
        os.mkdir(history)
        start_epoch = calendar.timegm(START_LOCAL) - ZONE_EAST_SECONDS
        env = dict(os.environ)
        env.update({
            "LD_PRELOAD": PRELOAD + (":" + env["LD_PRELOAD"] if env.get("LD_PRELOAD") else ""),
            "TW_TIME_START": str(start_epoch),
            "TZ": ZONE,
            # Wine maps the Unix root to drive Z:.
            "TW_PROBE_DIR": "Z:" + history.replace("/", "\\"),
        })
        env.pop("TW_TIME_OFFSET", None)
        # Wine's services keep inherited descriptors open: output goes to a file.
        with open(log_path, "wb") as log:
            try:
                rc = subprocess.call(
                    ["timeout", "90", wine, exe, "--gtest_also_run_disabled_tests", "--gtest_filter=" + FILTER],
                    cwd=TEST_BIN, env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
            except OSError as e:
                return fail("cannot start wine: %s" % e)
        with open(log_path, "rb") as f:
            output = f.read().decode(errors="replace")

        if rc != 0:
            return fail("probe exit code %d" % rc, output)
        if "[  PASSED  ] 1 test" not in output:
            return fail("the probe did not run and pass exactly one test", output)
        for name, expected in EXPECTED_FILES.items():
            path = os.path.join(history, name)
            if not os.path.isfile(path):
                return fail("%s was not written" % name, output)
            with open(path, "rb") as f:
                got = f.read()
            if got != expected:
                return fail("%s holds %r, expected %r" % (name, got, expected), output)
        if os.path.exists(os.path.join(history, "Week.txt")):
            return fail("a Week.txt appeared", output)
        print(output)
        print("PASS: the day, week, month and year rolled at the first check after local midnight")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
