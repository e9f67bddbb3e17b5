"""Tapwise across integrity levels, on the test rig, where Windows' isolation
between a person's programs and those run as administrator is real: a window
message from the limited half of the split token to a program with the full
half is refused, and a global hook of the first is never called in the second.

Here every program Wine starts directly has the full token (Windows' elevated
one); the robot's `spawn ... limited` starts one as the person's shell would.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
from twlib import check, check_eq  # noqa: E402
import tapwise_ui as ui  # noqa: E402

CMD = r"C:\windows\system32\cmd.exe"


def win_path(unix):
    return "Z:" + unix.replace("/", "\\")


def limited_robot(out_dir, *args):
    """One robot command run with the limited token; its output."""
    out = os.path.join(out_dir, "limited.txt")
    if os.path.exists(out):
        os.remove(out)
    line = f'cmd /c {win_path(os.path.join(t.TEST_BIN, "robot.exe"))} {" ".join(map(str, args))} > {win_path(out)}'
    pid = t.spawn(CMD, line, "limited")
    check(t.robot("wait-exit", pid, 120000).strip() != "running", f"limited robot {args} did not end")
    with open(out, encoding="latin-1") as f:
        return f.read().rpartition("\x04 ")[0] or ""


# Where Windows keeps what the limited copy writes to the machine's store.
PERSON_STORE = r"HKCU\Software\Classes\VirtualStore\MACHINE\SOFTWARE\Orrinwood Software\Tapwise"


def test_clicks_in_a_program_run_as_administrator_are_not_counted():
    """The limit the read-me names: the limited copy counts the person's programs only."""
    ui.keep_desktop()
    ui.end_running_copies()
    t.reset_store()
    t.reg_delete(PERSON_STORE)
    win, unix = t.make_test_dir("TwRigUipi")
    t.spawn(os.path.join(win, "TW.exe"), f'"{win}\\TW.exe" -Auto', "limited")
    main = t.wait_main_window()
    check(main, "the limited copy did not start")
    base = ui.saved_total(main, PERSON_STORE)
    counted = lambda: ui.saved_total(main, PERSON_STORE) - base  # noqa: E731
    out = limited_robot(unix, "burst", 40, 2000).split()
    check(len(out) >= 6 and out[3] == "40", f"limited burst answered {out}")
    t.wait_until(lambda: counted() == 40, 20, what="the limited program's 40 presses counted")
    out = t.robot("burst", 40, 2000).split()
    check(len(out) >= 6 and out[3] == "40", f"elevated burst answered {out}")
    # Presses count in order: once ten more of the person's are in, any of
    # the elevated program's would be too.
    limited_robot(unix, "burst", 10, 2000)
    t.wait_until(lambda: counted() >= 50, 20, what="ten more of the person's presses counted")
    check_eq(50, counted(), "presses counted with the elevated program's 40 among them")
    ui.end_running_copies()


def test_a_limited_copy_names_the_copy_run_as_administrator():
    """Its request is refused: it says so instead of leaving without a word, and does not count twice."""
    ui.keep_desktop()
    proc, main, _ = ui.launch("TwRigUipi", "-Auto")
    win = "C:\\TwRigUipi"
    pid = t.spawn(os.path.join(win, "TW.exe"), f'"{win}\\TW.exe"', "limited")
    said = t.answer(t.TITLE, "IDOK", 20000)
    check("already running as administrator" in said, f"the limited copy said {said!r}")
    check(t.robot("wait-exit", pid, 20000).strip() != "running", "the limited copy did not end")
    check_eq(1, len(t.processes("TW.exe")), "copies of Tapwise running")
    ui.stop(proc, main)


def test_a_copy_run_as_administrator_answers_its_icon():
    """The shell, with the person's token, reaches the icon's window only for the messages it lets in."""
    ui.keep_desktop()
    ui.end_running_copies()
    time.sleep(0.5)  # the keeper's own icon settles first
    before = t.grab_screen()
    proc, main, _ = ui.launch("TwRigUipi", "-Auto")
    icon = ui.wait_tray_icon(before)
    t.click_at(*ui.centre(icon), "right")
    t.wait_until(lambda: [w for w in t.top_windows() if w["class"] == "#32768" and w["visible"]], 5, 0.2,
                 "the tray menu after a right press on the elevated copy's icon")
    t.click_at(500, 300)
    ui.stop(proc, main)


if __name__ == "__main__":
    sys.exit(t.run_tests([
        t.tidy(test_clicks_in_a_program_run_as_administrator_are_not_counted, ("TwRigUipi",)),
        t.tidy(test_a_limited_copy_names_the_copy_run_as_administrator, ("TwRigUipi",)),
        t.tidy(test_a_copy_run_as_administrator_answers_its_icon, ("TwRigUipi",)),
    ]))
