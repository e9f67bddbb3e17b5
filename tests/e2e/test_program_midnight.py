"""The running program across midnight, and a start after days away.

TW.exe runs with a moved wall clock (tests/preload/timeshift.c through
twlib.ShiftedClock) in a zone nine hours east of UTC, so local midnight comes
a few seconds after the start. Real clicks land in notepad while it counts.
At the first timer tick after midnight the finished day's count must be
appended to Day.txt in the recorded "Path" and moved into the day's last
count; a start whose stored date lies in an earlier week rolls the day and
the week at once.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
from twlib import check, check_eq  # noqa: E402
import tapwise_ui as ui  # noqa: E402

# The timer ticks once a second, so the roll comes at most a second after
# midnight; the rest is slack for a loaded machine and the polling.
ROLL_WITHIN = 2.2
DIRECTORIES = ("TwMidDay", "TwMidYear", "TwWeekAway")


def seed(values):
    t.reset_store()
    for name, number in values.items():
        t.reg_set(t.SETTINGS_KEY, name, "dword", number)


def stored(names):
    return {n: t.reg_number(n) for n in names}


def wait_for_file(path, deadline):
    while time.time() < deadline:
        if os.path.exists(path):
            return time.time()
        time.sleep(0.05)
    return None


def run_across_midnight(directory, stamp, before, clicks_before, clicks_after, start_local, watch_day=None):
    """Seeds the store, starts TW.exe -Auto in C:\\<directory> under a clock that reads
    start_local, clicks before and after midnight; returns what it saw. With
    watch_day (the day's last count before and after the roll, as shown), the
    statistics window is open across midnight: the roll itself must rewrite
    the page, no click or other refresh comes in between."""
    ui.keep_desktop()
    ui.end_running_copies()
    seed(dict(stamp, **before))
    _, unix = t.make_test_dir(directory)
    _, _, points = t.start_click_target()
    clock = t.ShiftedClock(*start_local)
    y, mo, d = start_local[:3]
    midnight = clock.real_time(y, mo, d, 23, 59, 59) + 1
    proc = clock.start([os.path.join(unix, "TW.exe"), "-Auto"], cwd=unix)
    main = t.wait_main_window()
    check(main, "TW.exe -Auto did not start under the moved clock")
    t.click_times(points, clicks_before)
    check(time.time() < midnight - 1,
          f"the clicks before midnight took until {time.time() - midnight:+.1f} s from midnight")
    last_day = ui.STATS_FIELDS["Day"][1]
    if watch_day:
        t.post(main, t.WM_COMMAND, t.CMD_OPEN)
        sheet = ui.wait_sheet()
        page = ui.current_page(sheet)
        t.wait_until(lambda: t.text(page, last_day) == watch_day[0], 5, 0.1, "the page to show the day's last count")
        check(time.time() < midnight - 0.3, "the statistics window opened only after midnight")

    day_file = os.path.join(unix, "Day.txt")
    early = wait_for_file(day_file, midnight - 0.3)
    if early is not None:
        with open(day_file, "rb") as f:
            raise t.Failure(f"Day.txt appeared {early - midnight:+.2f} s from midnight, expected only after it; "
                            f"it holds {f.read()!r}")
    rolled = wait_for_file(day_file, midnight + ROLL_WITHIN)
    check(rolled is not None, f"Day.txt did not appear within {ROLL_WITHIN} s after midnight")
    if watch_day:
        t.wait_until(lambda: t.text(page, last_day) == watch_day[1], 2, 0.1,
                     f"the open page to show the rolled day's count {watch_day[1]}")
        check_eq("0", t.text(page, ui.STATS_FIELDS["Day"][0]), "day count on the open page after the roll")
        ui.hide_sheet(sheet)
    check_eq(1, t.send(main, t.WM_QUERYENDSESSION), "answer to WM_QUERYENDSESSION")
    seen = {"rolled_after": rolled - midnight, "unix": unix, "proc": proc, "main": main,
            "at_roll": stored(["CounterCurrentDay", "CounterLastDay", "DateDay", "DateWeek"])}
    t.screenshot(f"midnight-{directory}")
    t.click_times(points, clicks_after)
    time.sleep(0.5)
    check_eq(1, t.send(main, t.WM_QUERYENDSESSION), "answer to WM_QUERYENDSESSION")
    seen["files"] = {n: t.history_lines(unix, n) for n in ("Day.txt", "Month.txt", "Year.txt")}
    return seen


def test_day_rolls_at_first_tick_after_midnight():
    # Tuesday 14 May 2024: the day ends, the week (Monday to Sunday) and the month go on.
    stamp = {"DateYear": 2024, "DateMonth": 5, "DateWeek": 2, "DateDay": 14}
    before = {"CounterCurrentDay": 40, "CounterLastDay": 7, "CounterCurrentWeek": 90, "CounterLastWeek": 80,
              "CounterCurrentMonth": 300, "CounterLastMonth": 250, "CounterCurrentYear": 1000,
              "CounterLastYear": 900, "CounterCurrentTotal": 5000}
    seen = run_across_midnight("TwMidDay", stamp, before, 4, 2, (2024, 5, 14, 23, 59, 42), watch_day=("7", "44"))
    print(f"NOTE: Day.txt written {seen['rolled_after']:.2f} s after midnight", flush=True)

    check_eq({"CounterCurrentDay": 0, "CounterLastDay": 44, "DateDay": 15, "DateWeek": 3}, seen["at_roll"],
             "stored by the first save after the roll")
    check_eq({"Day.txt": [b"2024-05-14\t44\r\n"], "Month.txt": None, "Year.txt": None}, seen["files"],
             "history files after midnight")
    check_eq({"DateYear": 2024, "DateMonth": 5, "DateWeek": 3, "DateDay": 15,
              "CounterCurrentDay": 2, "CounterLastDay": 44,
              "CounterCurrentWeek": 96, "CounterLastWeek": 80,
              "CounterCurrentMonth": 306, "CounterLastMonth": 250,
              "CounterCurrentYear": 1006, "CounterLastYear": 900,
              "CounterCurrentTotal": 5006, "CounterLastSession": 6},
             stored(["DateYear", "DateMonth", "DateWeek", "DateDay", "CounterCurrentDay", "CounterLastDay",
                     "CounterCurrentWeek", "CounterLastWeek", "CounterCurrentMonth", "CounterLastMonth",
                     "CounterCurrentYear", "CounterLastYear", "CounterCurrentTotal", "CounterLastSession"]),
             "stored after two more clicks and a save")
    ui.stop(seen["proc"], seen["main"])


def test_year_end_rolls_every_period():
    # Sunday 31 December 2023: day, week, month and year all end at once.
    stamp = {"DateYear": 2023, "DateMonth": 12, "DateWeek": 0, "DateDay": 31}
    before = {"CounterCurrentDay": 10, "CounterCurrentWeek": 70, "CounterLastWeek": 60,
              "CounterCurrentMonth": 700, "CounterCurrentYear": 7000, "CounterCurrentTotal": 9000}
    seen = run_across_midnight("TwMidYear", stamp, before, 3, 1, (2023, 12, 31, 23, 59, 47))
    check_eq({"Day.txt": [b"2023-12-31\t13\r\n"], "Month.txt": [b"2023-12\t703\r\n"], "Year.txt": [b"2023\t7003\r\n"]},
             seen["files"], "history files after the last midnight of the year")
    check(not os.path.exists(os.path.join(seen["unix"], "Week.txt")), "a Week.txt was written")
    check_eq({"DateYear": 2024, "DateMonth": 1, "DateWeek": 1, "DateDay": 1,
              "CounterCurrentDay": 1, "CounterLastDay": 13, "CounterCurrentWeek": 1, "CounterLastWeek": 73,
              "CounterCurrentMonth": 1, "CounterLastMonth": 703, "CounterCurrentYear": 1, "CounterLastYear": 7003,
              "CounterCurrentTotal": 9004},
             stored(["DateYear", "DateMonth", "DateWeek", "DateDay", "CounterCurrentDay", "CounterLastDay",
                     "CounterCurrentWeek", "CounterLastWeek", "CounterCurrentMonth", "CounterLastMonth",
                     "CounterCurrentYear", "CounterLastYear", "CounterCurrentTotal"]),
             "stored after one click in the new year and a save")
    ui.stop(seen["proc"], seen["main"])


def test_start_after_a_week_away():
    # Stored: Wednesday 6 March 2024. Started on Wednesday 13 March: another day and
    # another week of the same month and year.
    ui.keep_desktop()
    ui.end_running_copies()
    seed({"DateYear": 2024, "DateMonth": 3, "DateWeek": 3, "DateDay": 6,
          "CounterCurrentDay": 12, "CounterLastDay": 5, "CounterCurrentWeek": 50, "CounterLastWeek": 40,
          "CounterCurrentMonth": 70, "CounterLastMonth": 65, "CounterCurrentYear": 90, "CounterLastYear": 80,
          "CounterCurrentTotal": 500, "CounterLastSession": 9})
    _, unix = t.make_test_dir("TwWeekAway")
    clock = t.ShiftedClock(2024, 3, 13, 10, 0, 0)
    proc = clock.start([os.path.join(unix, "TW.exe"), "-Auto"], cwd=unix)
    main = t.wait_main_window()
    check(main, "TW.exe -Auto did not start under the moved clock")
    # The start-up roll saves at once, before the first tick.
    t.wait_until(lambda: t.reg_number("DateDay") == 13, 5, 0.2, "the start-up roll's save")
    check_eq({"Day.txt": [b"2024-03-06\t12\r\n"], "Month.txt": None, "Year.txt": None},
             {n: t.history_lines(unix, n) for n in ("Day.txt", "Month.txt", "Year.txt")},
             "history files after the start-up roll")
    check_eq({"DateYear": 2024, "DateMonth": 3, "DateWeek": 3, "DateDay": 13,
              "CounterCurrentDay": 0, "CounterLastDay": 12, "CounterCurrentWeek": 0, "CounterLastWeek": 50,
              "CounterCurrentMonth": 70, "CounterLastMonth": 65, "CounterCurrentYear": 90, "CounterLastYear": 80,
              "CounterCurrentTotal": 500, "CounterCurrentSession": 0, "CounterLastSession": 0},
             stored(["DateYear", "DateMonth", "DateWeek", "DateDay", "CounterCurrentDay", "CounterLastDay",
                     "CounterCurrentWeek", "CounterLastWeek", "CounterCurrentMonth", "CounterLastMonth",
                     "CounterCurrentYear", "CounterLastYear", "CounterCurrentTotal", "CounterCurrentSession",
                     "CounterLastSession"]),
             "stored after the start-up roll")
    ui.stop(proc, main)
    # Nothing more happens on the same day: a second run appends no further line.
    proc = clock.start([os.path.join(unix, "TW.exe"), "-Auto"], cwd=unix)
    main = t.wait_main_window()
    check(main, "the second run did not start")
    time.sleep(1.5)
    ui.stop(proc, main)
    check_eq([b"2024-03-06\t12\r\n"], t.history_lines(unix, "Day.txt"), "Day.txt after a second run on the same day")


if __name__ == "__main__":
    sys.exit(t.run_tests([t.tidy(fn, DIRECTORIES) for fn in (
        test_day_rolls_at_first_tick_after_midnight,
        test_year_end_rolls_every_period,
        test_start_after_a_week_away,
    )]))
