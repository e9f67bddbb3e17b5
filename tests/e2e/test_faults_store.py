"""Faults in what the program keeps: a settings key that refuses writes while
the program runs, a history file that cannot be written across midnight, and
a store edited into values no save would ever write.

Midnight comes a few seconds after each start: the program runs with a moved
wall clock (twlib.ShiftedClock). Real clicks land in notepad.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
from twlib import check, check_eq  # noqa: E402
import tapwise_ui as ui  # noqa: E402

DIRECTORIES = ("TwLocked", "TwBlocked", "TwHostile")
CSIDL_WINDOWS = 0x24
# Tuesday 14 May 2024: the coming midnight ends the day only.
TUESDAY = {"DateYear": 2024, "DateMonth": 5, "DateWeek": 2, "DateDay": 14}


def seed(values):
    t.reset_store()
    for name, number in values.items():
        t.reg_set(t.SETTINGS_KEY, name, "dword", number)


STORE_REFUSED_TEXT = ("Windows refuses to let Tapwise save its counts, so they are kept only until Tapwise ends.\n"
                      "Ask your administrator to allow Tapwise to write to its registry key, or install Tapwise again.")


def keylock(action):
    rc, out = t.run([os.path.join(t.TEST_BIN, "keylock.exe"), action, t.SETTINGS_KEY], timeout=60)
    check_eq(0, rc, f"keylock {action} ({out.strip()})")


def dialogs_of(pid):
    return [w["title"] for w in t.top_windows() if w["pid"] == pid and w["class"] == "#32770" and w["visible"]]


def start_before_midnight(directory, day, seconds_before):
    """TW.exe -Auto in C:\\<directory>, under a clock that reads `seconds_before`
    seconds before the midnight that ends 2024-05-<day>; returns (process, main
    window, pid, unix directory, real time of midnight)."""
    check(0 < seconds_before < 60, "a start within the last minute of the day")
    _, unix = t.make_test_dir(directory)
    clock = t.ShiftedClock(2024, 5, day, 23, 59, 60 - seconds_before)
    midnight = clock.real_time(2024, 5, day + 1)
    proc = clock.start([os.path.join(unix, "TW.exe"), "-Auto"], cwd=unix)
    main = t.wait_main_window()
    check(main, f"TW.exe -Auto in C:\\{directory} did not start")
    return proc, main, int(t.robot("pid", hex(main)).strip()), unix, midnight


def tuesday_before_midnight(directory, seconds_before):
    """A store holding Tuesday's counts 10, 20 and 30, notepad to click in, and
    start_before_midnight on that day; returns the click points, then what
    start_before_midnight returns."""
    ui.keep_desktop()
    ui.end_running_copies()
    seed(dict(TUESDAY, CounterCurrentDay=10, CounterCurrentWeek=20, CounterCurrentTotal=30))
    _, _, points = t.start_click_target()
    return (points,) + start_before_midnight(directory, 14, seconds_before)


def uninstall_run(unix):
    """TW.exe -Uninst in `unix`, both questions answered yes, run to its end."""
    uninstall = t.start([os.path.join(unix, "TW.exe"), "-Uninst"], cwd=unix)
    t.answer(t.TITLE, "IDYES", 30000)
    t.answer(t.TITLE, "IDYES")
    check_eq(0, t.wait_exit(uninstall, 30), "exit code of the uninstall run")


def save(main):
    check_eq(1, t.send(main, t.WM_QUERYENDSESSION), "answer to WM_QUERYENDSESSION")
    return t.key_values()


def pick(values, names):
    return {n: (values or {}).get(n) for n in names}


COUNTS = ("CounterCurrentDay", "CounterLastDay", "CounterCurrentWeek", "CounterCurrentTotal",
          "CounterLastSession", "DateDay")


def test_settings_key_read_only_while_running():
    # Wine checks registry access lists as Windows does, so the settings key can
    # really be made read-only (keylock.exe). Saves are refused while it is
    # locked; reads still work, so the roll finds "Path" and writes its line.
    points, proc, main, pid, unix, midnight = tuesday_before_midnight("TwLocked", 14)
    t.click_times(points, 2)
    time.sleep(0.3)
    stored = save(main)
    check_eq({"CounterCurrentDay": 12, "CounterLastDay": 0, "CounterCurrentWeek": 22, "CounterCurrentTotal": 32,
              "CounterLastSession": 2, "DateDay": 14}, pick(stored, COUNTS), "stored before the lock")

    check(time.time() < midnight - 1, f"the key was about to be locked {time.time() - midnight:+.1f} s from midnight")
    keylock("lock")
    try:
        t.robot("regset", t.SETTINGS_KEY, "Probe", "dword", 1)
        check_eq(1, t.robot.rc, "exit code of a write into the locked key (1: refused)")
        t.click_times(points, 3)
        time.sleep(0.3)
        check_eq(stored, save(main), "store after a save into the locked key")
        # The person hears once that counts cannot be kept, while counting goes on.
        check_eq(STORE_REFUSED_TEXT, t.answer(t.TITLE, "IDOK", 10000), "message after the refused save")
        t.wait_until(lambda: time.time() > midnight + 2.5, 30, 0.2, "midnight")
        check_eq(stored, t.key_values(), "store after midnight with the key locked")
        check_eq([b"2024-05-14\t15\r\n"], t.history_lines(unix, "Day.txt"), "Day.txt after a roll with the key locked")
        check_eq([], dialogs_of(pid), "windows shown by the program")
        t.click_at(*points[0])
        time.sleep(0.3)
        check_eq(stored, save(main), "store after another save into the locked key")
    finally:
        keylock("unlock")

    # The next save stores everything the program went on counting, the roll included.
    after = save(main)
    check_eq({"CounterCurrentDay": 1, "CounterLastDay": 15, "CounterCurrentWeek": 26, "CounterCurrentTotal": 36,
              "CounterLastSession": 6, "DateDay": 15}, pick(after, COUNTS), "stored after the unlock")
    check_eq([b"2024-05-14\t15\r\n"], t.history_lines(unix, "Day.txt"), "Day.txt after the unlock")
    ui.stop(proc, main)


def test_settings_key_read_only_at_start():
    # A user who may read the key but not write it still sees the counts: the
    # store opens keys for reading with read access only.
    ui.keep_desktop()
    ui.end_running_copies()
    now = time.localtime()
    if now.tm_hour == 23 and now.tm_min >= 58:
        time.sleep(150)   # a start on one day and a save on the next would roll
        now = time.localtime()
    today = {"DateYear": now.tm_year, "DateMonth": now.tm_mon, "DateWeek": (now.tm_wday + 1) % 7,
             "DateDay": now.tm_mday}
    seed(dict(today, CounterCurrentDay=40, CounterLastDay=7, CounterCurrentWeek=50, CounterCurrentTotal=60))
    seeded = t.key_values()
    _, _, points = t.start_click_target()
    _, unix = t.make_test_dir("TwLocked")
    keylock("lock")
    try:
        proc = t.start([os.path.join(unix, "TW.exe"), "-Auto"], cwd=unix)
        main = t.wait_main_window()
        check(main, "TW.exe -Auto did not start with the settings key locked")
        t.click_times(points, 2)
        time.sleep(0.3)
        check_eq(seeded, save(main), "store after a save into the locked key")
        check_eq(STORE_REFUSED_TEXT, t.answer(t.TITLE, "IDOK", 10000), "message after the refused save")
    finally:
        keylock("unlock")
    check_eq({"CounterCurrentDay": 42, "CounterLastDay": 7, "CounterCurrentWeek": 52, "CounterCurrentTotal": 62,
              "CounterLastSession": 2, "DateDay": now.tm_mday}, pick(save(main), COUNTS),
             "stored after the unlock: the counts loaded from the locked key and 2 clicks")
    ui.stop(proc, main)


def test_history_file_blocked_across_midnight():
    # A directory in place of Day.txt: neither opened nor created, whoever runs the
    # program (Wine runs as root here, so file permissions would not stop it).
    points, proc, main, pid, unix, midnight = tuesday_before_midnight("TwBlocked", 12)
    obstacle = os.path.join(unix, "Day.txt")
    os.mkdir(obstacle)
    t.click_times(points, 2)
    t.wait_until(lambda: t.reg_number("DateDay") == 15, midnight + 3 - time.time(), 0.2, "the roll's save")
    check_eq({"CounterCurrentDay": 0, "CounterLastDay": 12, "CounterCurrentWeek": 22, "CounterCurrentTotal": 32,
              "CounterLastSession": 2, "DateDay": 15}, pick(t.key_values(), COUNTS), "stored by the roll")
    check(os.path.isdir(obstacle) and not os.listdir(obstacle), "the directory named Day.txt was changed")
    check_eq([], dialogs_of(pid), "windows shown by the program")
    t.click_at(*points[0])
    time.sleep(0.3)
    check_eq(1, save(main).get("CounterCurrentDay"), "day count after a click past the blocked roll")
    ui.stop(proc, main)

    # With the obstacle gone, the next night's roll writes its line.
    os.rmdir(obstacle)
    proc, main, pid, unix, midnight = start_before_midnight("TwBlocked", 15, 8)
    t.click_times(points, 2)
    t.wait_until(lambda: t.history_lines(unix, "Day.txt"), midnight + 3 - time.time(), 0.1,
                 "Day.txt after the next midnight")
    check_eq([b"2024-05-15\t3\r\n"], t.history_lines(unix, "Day.txt"), "Day.txt after the next midnight")
    check_eq([], dialogs_of(pid), "windows shown by the program")
    ui.stop(proc, main)


def listings(*windows_dirs):
    """Top-level names in each directory, without the scenarios' own directories and
    without the uninstaller copy that an installation leaves in the Windows directory."""
    ignored = {n.lower() for n in DIRECTORIES} | {"twuninst.exe"}
    return {d: sorted(n for n in os.listdir(t.unix_path(d)) if n.lower() not in ignored) for d in windows_dirs}


def test_hostile_store_values():
    """Values no save writes: text and 8-byte counts load as 0, negative counts
    count on from where they are, the top count stays at the top, an impossible
    date (month 13, day 0) is replaced by today, an over-long "Path" is never used, and a "Path"
    naming the Windows directory gets Tapwise's own history file there and loses
    it again to the uninstaller, nothing else."""
    ui.keep_desktop()
    ui.end_running_copies()
    windows = t.special_folder(CSIDL_WINDOWS)
    check(windows, "no Windows directory")
    watched = ("C:\\", windows)
    before = listings(*watched)
    long_path = "C:\\TwHostile\\" + "p" * 287
    check_eq(300, len(long_path), "length of the long \"Path\"")

    t.reset_store()
    t.reg_set(t.SETTINGS_KEY, "CounterCurrentDay", "sz", "123")
    t.reg_set(t.SETTINGS_KEY, "CounterCurrentWeek", "binhex", "0102030405060708")
    t.reg_set(t.SETTINGS_KEY, "CounterLastDay", "binhex", "4d000000")   # 77 as four raw bytes
    t.reg_set(t.SETTINGS_KEY, "CounterLastWeek", "sz", "x")
    for name, number in (("CounterCurrentMonth", -5), ("CounterCurrentYear", -2147483648),
                         ("CounterCurrentTotal", 0x7FFFFFFF), ("DateYear", 2024), ("DateMonth", 13),
                         ("DateWeek", 9), ("DateDay", 20)):
        t.reg_set(t.SETTINGS_KEY, name, "dword", number)
    t.reg_set(t.SETTINGS_KEY, "Path", "sz", long_path)

    _, _, points = t.start_click_target()
    proc, main, pid, unix, midnight = start_before_midnight("TwHostile", 14, 30)
    check_eq("C:\\TwHostile", t.reg_get(t.SETTINGS_KEY, "Path")[1], "\"Path\" written at start-up")
    t.click_times(points, 3)
    time.sleep(0.3)
    stored = save(main)
    # Tuesday 14 May 2024 is the moved clock's today.
    check_eq({"CounterCurrentDay": 3, "CounterLastDay": 77, "CounterCurrentWeek": 3, "CounterLastWeek": 0,
              "CounterCurrentMonth": -2, "CounterCurrentYear": -2147483645, "CounterCurrentTotal": 2147483647,
              "CounterLastSession": 3, "DateYear": 2024, "DateMonth": 5, "DateWeek": 2, "DateDay": 14},
             pick(stored, ("CounterCurrentDay", "CounterLastDay", "CounterCurrentWeek", "CounterLastWeek",
                           "CounterCurrentMonth", "CounterCurrentYear", "CounterCurrentTotal", "CounterLastSession",
                           "DateYear", "DateMonth", "DateWeek", "DateDay")),
             "stored after three clicks (every value a 4-byte number again)")
    sheet, page = ui.open_sheet(main)
    shown = ui.fields(page)
    check_eq(("2147483647", "-2", "-2147483645"), (shown[ui.TOTAL_FIELD], shown[1033], shown[1004]),
             "Total, Month and Year shown")
    t.screenshot("faults-hostile-values")
    ui.hide_sheet(sheet)

    # A "Path" too long for the store's buffer at the roll: the roll goes on, no file is written anywhere.
    check(time.time() < midnight - 1, f"the long \"Path\" was about to be set {time.time() - midnight:+.1f} s "
          "from midnight")
    t.reg_set(t.SETTINGS_KEY, "Path", "sz", long_path)
    t.wait_until(lambda: t.reg_number("DateDay") == 15, midnight + 3 - time.time(), 0.2, "the roll's save")
    check_eq({"CounterCurrentDay": 0, "CounterLastDay": 3}, pick(t.key_values(), ("CounterCurrentDay",
                                                                                  "CounterLastDay")),
             "day counts stored by the roll")
    check_eq(["TW.exe", "Tapwise.dll"], sorted(os.listdir(unix)), "files in C:\\TwHostile after the roll")
    check_eq(before, listings(*watched), "listings of C:\\ and the Windows directory after the roll")
    t.click_at(*points[0])
    ui.stop(proc, main)
    check_eq(2147483647, t.reg_number("CounterCurrentTotal"), "Total after a click at the top")

    # A day of 0 makes the stored date today's (had it been taken for a date, the
    # start would roll at once and leave a Day.txt in C:\TwHostile). Then "Path"
    # naming the Windows directory at the next roll: the line goes there.
    t.reg_set(t.SETTINGS_KEY, "DateDay", "dword", 0)
    proc, main, pid, unix, midnight = start_before_midnight("TwHostile", 15, 8)
    t.reg_set(t.SETTINGS_KEY, "Path", "sz", windows)
    t.wait_until(lambda: t.reg_number("DateDay") == 16, midnight + 3 - time.time(), 0.2, "the roll's save")
    check_eq([b"2024-05-15\t1\r\n"], t.history_lines(t.unix_path(windows), "Day.txt"),
             "Day.txt in the Windows directory")
    check_eq([], dialogs_of(pid), "windows shown by the program")

    # The uninstaller, with the copy still running, takes only Tapwise's own files there.
    uninstall_run(unix)
    check_eq(0, t.wait_exit(proc, 10), "exit code of the copy closed by the uninstaller")
    check_eq(None, t.key_values(), "settings key after the uninstall run")
    check_eq(before, listings(*watched), "listings of C:\\ and the Windows directory after the uninstall run")
    check_eq(["TW.exe", "Tapwise.dll"], sorted(os.listdir(unix)), "files in C:\\TwHostile (not the recorded Path)")


def test_overlong_path_at_uninstall():
    """An uninstall run that cannot read "Path" removes every registry entry and no file."""
    windows = t.special_folder(CSIDL_WINDOWS)
    watched = ("C:\\", windows)
    t.reset_store()
    _, unix = t.make_test_dir("TwHostile")
    before = listings(*watched)
    t.reg_set(t.SETTINGS_KEY, "Path", "sz", "C:\\TwHostile\\" + "p" * 287)
    t.reg_set(t.SETTINGS_KEY, "CounterCurrentTotal", "dword", 5)
    t.reg_set(t.RUN_KEY, "Tapwise", "sz", "C:\\TwHostile\\TW.exe -Auto")
    uninstall_run(unix)
    check_eq(None, t.key_values(), "settings key after the uninstall run")
    check_eq(None, t.reg_get(t.RUN_KEY, "Tapwise"), "Run value after the uninstall run")
    check_eq(["TW.exe", "Tapwise.dll"], sorted(os.listdir(unix)), "files in C:\\TwHostile")
    check_eq(before, listings(*watched), "listings of C:\\ and the Windows directory")


def unlock_key_and_remove_stray_line():
    if t.key_values() is not None:
        t.run([os.path.join(t.TEST_BIN, "keylock.exe"), "unlock", t.SETTINGS_KEY], timeout=60)
    windows = t.special_folder(CSIDL_WINDOWS)
    stray = t.unix_path(windows + "\\Day.txt") if windows else None
    if stray and os.path.isfile(stray):
        os.remove(stray)


if __name__ == "__main__":
    sys.exit(t.run_tests([t.tidy(fn, DIRECTORIES, unlock_key_and_remove_stray_line) for fn in (
        test_settings_key_read_only_while_running,
        test_settings_key_read_only_at_start,
        test_history_file_blocked_across_midnight,
        test_hostile_store_values,
        test_overlong_path_at_uninstall,
    )]))
