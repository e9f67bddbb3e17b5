"""Faults from outside the program while it counts: the process killed hard
(no chance to save), and its mouse hook pulled out from under it by another
program. Real clicks land in notepad throughout.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
from twlib import check, check_eq  # noqa: E402
import tapwise_ui as ui  # noqa: E402

DIRECTORIES = ("TwKilled", "TwUnhook")
COUNTERS = ("CounterCurrentDay", "CounterCurrentWeek", "CounterCurrentMonth", "CounterCurrentYear",
            "CounterCurrentTotal", "CounterLastSession")


def unhook(library):
    """Unhooks the hook whose handle the given library's shared section holds, from a
    process of its own; returns what it printed."""
    rc, out = t.run([os.path.join(t.TEST_BIN, "unhook.exe"), library], timeout=60)
    check_eq(0, rc, f"exit code of unhook.exe ({out.strip()})")
    return out.strip()


def seed(values):
    t.reset_store()
    for name, number in values.items():
        t.reg_set(t.SETTINGS_KEY, name, "dword", number)


def message_boxes_of(pid):
    return [w for w in t.top_windows() if w["pid"] == pid and w["class"] == "#32770" and w["visible"]]


def test_killed_hard_keeps_the_last_save():
    """A kill loses at most what came after the last save; what is stored stays whole."""
    ui.keep_desktop()
    ui.end_running_copies()
    # Tuesday 14 May 2024, so that the night in between ends the day only.
    seed({"DateYear": 2024, "DateMonth": 5, "DateWeek": 2, "DateDay": 14,
          "CounterCurrentDay": 100, "CounterLastDay": 90, "CounterCurrentWeek": 200, "CounterLastWeek": 150,
          "CounterCurrentMonth": 300, "CounterCurrentYear": 400, "CounterCurrentTotal": 1000})
    _, unix = t.make_test_dir("TwKilled")
    _, _, points = t.start_click_target()
    clock = t.ShiftedClock(2024, 5, 14, 23, 59, 48)
    midnight = clock.real_time(2024, 5, 15)
    program = os.path.join(unix, "TW.exe")
    proc = clock.start([program, "-Auto"], cwd=unix)
    main = t.wait_main_window()
    check(main, "TW.exe -Auto did not start")
    pid = int(t.robot("pid", hex(main)).strip())
    t.click_times(points, 3)
    t.wait_until(lambda: t.history_lines(unix, "Day.txt"), midnight + 3 - time.time(), 0.1, "the roll at midnight")

    # The last save: what the system's end-of-session question stores.
    t.click_times(points, 2)
    time.sleep(0.3)
    check_eq(1, t.send(main, t.WM_QUERYENDSESSION), "answer to WM_QUERYENDSESSION")
    last_save = t.key_values()
    check_eq({"CounterCurrentDay": 2, "CounterCurrentWeek": 205, "CounterCurrentMonth": 305,
              "CounterCurrentYear": 405, "CounterCurrentTotal": 1005, "CounterLastSession": 5},
             {n: last_save.get(n) for n in COUNTERS}, "counts of the last save")
    check_eq((103, 15, 3), (last_save.get("CounterLastDay"), last_save.get("DateDay"), last_save.get("DateWeek")),
             "last day, day and day of week of the last save")

    # Three clicks that only the running program knows of, then the kill.
    t.click_times(points, 3)
    time.sleep(0.3)
    t.kill_hard(proc)
    check(t.robot("wait-exit", pid, 2000).strip() != "running", f"process {pid} still runs after the kill")
    check_eq(0, t.main_window(), "main window after the kill")
    # On Windows a dead thread's hooks go with it; Wine keeps a global hook for as
    # long as the desktop lives, and it would go on signalling every click next to
    # the restarted copy's own hook. Its handle is still in the shared section.
    unhook("C:\\TwKilled\\Tapwise.dll")

    after_kill = t.key_values()
    deltas = {n: after_kill.get(n) - last_save[n] for n in COUNTERS}
    # Only a periodic save (every 30 ticks) could have come in between; it stores
    # the three late clicks in every count alike.
    check(len(set(deltas.values())) == 1 and 0 <= deltas["CounterCurrentTotal"] <= 3,
          f"stored counts after the kill against the last save: expected one common increase of 0 to 3, "
          f"found {deltas}")
    for name in ("CounterLastDay", "CounterLastWeek", "DateYear", "DateMonth", "DateWeek", "DateDay"):
        check_eq(last_save.get(name), after_kill.get(name), f"{name} after the kill")
    check_eq([b"2024-05-14\t103\r\n"], t.history_lines(unix, "Day.txt"), "Day.txt after the kill")
    check_eq((None, None), (t.history_lines(unix, "Month.txt"), t.history_lines(unix, "Year.txt")),
             "Month.txt and Year.txt after the kill")

    # The next run starts from what was stored, and counts on from there.
    proc = clock.start([program, "-Auto"], cwd=unix)
    main = t.wait_main_window()
    check(main, "TW.exe -Auto did not start again after the kill")
    sheet, page = ui.open_sheet(main)
    expected = {n: str(after_kill[n]) for n in COUNTERS}
    expected["CounterCurrentSession"] = "0"
    fields = {"CounterCurrentSession": 1030, "CounterLastSession": 1034, "CounterCurrentDay": 1031,
              "CounterCurrentWeek": 1032, "CounterCurrentMonth": 1033, "CounterCurrentYear": 1004,
              "CounterCurrentTotal": ui.TOTAL_FIELD}
    shown = ui.fields(page)
    check_eq(expected, {n: shown.get(i) for n, i in fields.items()}, "statistics page after the restart")
    t.screenshot("faults-after-kill-restart")
    t.click_at(*points[0])
    t.wait_until(lambda: t.text(page, ui.TOTAL_FIELD) == str(after_kill["CounterCurrentTotal"] + 1), 5, 0.2,
                 "the restarted copy to count a click")
    ui.hide_sheet(sheet)
    ui.stop(proc, main)
    check_eq([b"2024-05-14\t103\r\n"], t.history_lines(unix, "Day.txt"), "Day.txt after the restarted run")


def test_hook_removed_behind_its_back():
    """Another program unhooks the hook: clicks go uncounted until the watchdog's
    check after a silent ten-tick stretch puts the hook back."""
    ui.keep_desktop()
    proc, main, unix = ui.launch("TwUnhook", "-Auto")
    pid = int(t.robot("pid", hex(main)).strip())
    _, _, points = t.start_click_target()

    def session():
        t.send(main, t.WM_QUERYENDSESSION)
        return t.reg_number("CounterLastSession")

    # One counted click first: the watchdog renews the hook only after clicks.
    t.click_at(*points[0])
    t.wait_until(lambda: session() == 1, 5, 0.3, "the first click to count")
    counted_at = time.time()
    check_eq("1", unhook("C:\\TwUnhook\\Tapwise.dll"), "unhook.exe from another process (1: a hook was removed)")
    t.click_times(points, 2)
    time.sleep(0.5)
    check_eq(1, session(), "session count after two clicks with the hook removed")

    # The watchdog runs every ten ticks: it sees the clicks once, and at its next
    # check, ten silent ticks later, it puts the hook back. Clicks until one counts.
    resumed, tries = None, 0
    while time.time() < counted_at + 30:
        t.click_at(*points[tries % len(points)])
        tries += 1
        time.sleep(0.3)
        if session() > 1:
            resumed = time.time()
            break
        time.sleep(0.7)
    check(resumed is not None, "clicks still went uncounted 30 s after the last counted click")
    print(f"NOTE: counting resumed {resumed - counted_at:.1f} s after the last counted click, "
          f"at the {tries}th click", flush=True)
    check(resumed - counted_at > 8, f"counting resumed {resumed - counted_at:.1f} s after the last counted "
          "click, sooner than any ten-tick check could have seen a silent stretch")
    check_eq(2, session(), "session count once counting resumed (only the click after the re-hook)")
    t.click_times(points, 3)
    time.sleep(0.5)
    check_eq(5, session(), "session count after three more clicks")
    check_eq([], message_boxes_of(pid), "message boxes of the program")
    ui.stop(proc, main)


if __name__ == "__main__":
    sys.exit(t.run_tests([t.tidy(fn, DIRECTORIES) for fn in (
        test_killed_hard_keeps_the_last_save,
        test_hook_removed_behind_its_back,
    )]))
