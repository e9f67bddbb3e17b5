"""The running tray program from the outside: how a start decides between the
statistics window, the tray alone and a hand-over to the copy that already
runs; what the hidden main window answers to the system's end-of-session
questions and to WM_CLOSE; and the timer's periodic save.
"""
import os
import re
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
import tapwise_ui as ui  # noqa: E402

MAIN_STYLE = 0x05CF0000  # overlapped window, maximize, clip siblings; never WS_VISIBLE
WS_EX_APPWINDOW = 0x00040000
MAIN_CLASS_STYLE = 0x3000  # byte-aligned client and window
WM_TIMER = 0x0113
# Saving always stores the running session as the last one and 0 as the
# current one, so any other number here shows that no save has happened since.
SENTINEL_NAME, SENTINEL = "CounterCurrentSession", 77


# Everyone may only release the click semaphore; waiting on it or changing its
# security is for our own account, as read from another process.
SEMAPHORE_DACL = r"D:\(A;;GA;;;S-1-5-21-[-0-9]+\)\(A;;DC;;;WD\)"


def semaphore_dacl():
    return t.robot("objsec", "TapwiseEvent").strip().partition("S:")[0]


def check_semaphore(what):
    found = semaphore_dacl()
    t.check(re.fullmatch(SEMAPHORE_DACL, found), f"{what}: {found}")


def set_sentinel():
    t.reg_set(t.SETTINGS_KEY, SENTINEL_NAME, "dword", SENTINEL)


def saved():
    return t.reg_number(SENTINEL_NAME) == 0


def test_normal_start_opens_statistics_window():
    ui.keep_desktop()
    proc, main, unix = ui.launch("TwStart")
    sheet = ui.wait_sheet()
    t.screenshot("tray-program-normal-start")
    t.check_eq(t.TITLE, t.text(main), "main window title")
    state = t.window_state(main)
    t.check(state["visible"] and state["iconic"],
            f"while the statistics window is open the main window is shown minimized: {state}")
    t.check_eq(102, t.reg_number("Release"), "stored release at start-up")
    t.check_eq(("sz", "C:\\TwStart", len("C:\\TwStart") + 1), t.reg_get(t.SETTINGS_KEY, "Path"),
               "stored program directory at start-up")

    ui.hide_sheet(sheet)
    t.check_eq(0, t.window_state(main)["visible"], "main window visible after the statistics window closed")
    t.check(proc.poll() is None and t.main_window() == main, "the program went on running in the tray")
    ui.stop(proc, main)


def test_command_line_switches():
    """Only "-Auto" itself, or any one character before it, keeps the window closed,
    however the program's own name is quoted in the command line."""
    rows = [  # arguments, statistics window expected
        (["-Auto"], False),
        (["x-Auto"], False),
        (["-auto"], True),
        (["-Autox"], True),
        (["-Auto", "-Uninst"], True),
    ]
    # Raw command lines in a directory whose name has a blank and the switch text.
    folder = "Tw -Auto"
    program = "C:\\" + folder + "\\TW.exe"
    raw_rows = [
        (program + " -Auto", False),            # a Run value written without quotes
        ('"' + program + '"   -Auto  ', False),  # quoted, extra blanks
        (program, True),                        # only the folder holds "-Auto"
    ]
    ui.keep_desktop()
    ui.end_running_copies()
    t.reset_store()
    _, unix = t.make_test_dir("TwSwitch")
    _, raw_unix = t.make_test_dir(folder)
    wrong = []

    def try_start(what, start, opens):
        pid = start()
        main = t.wait_main_window()
        if not main:
            wrong.append(f"{what}: no main window")
            return
        if opens:
            if not t.wait_window("#32770", t.TITLE, 10000):
                wrong.append(f"{what}: expected the statistics window, none opened")
        elif not ui.no_sheet_within(2500):
            wrong.append(f"{what}: expected the tray only, found the statistics window")
        if what == "['-Auto']":
            state = t.window_state(main)
            found = (state["visible"], state["style"], state["exstyle"] & WS_EX_APPWINDOW, state["classstyle"])
            if found != (0, MAIN_STYLE, WS_EX_APPWINDOW, MAIN_CLASS_STYLE):
                wrong.append(f"{what}: main window (visible, style, app-window bit, class style): expected "
                             f"(0, {MAIN_STYLE:#x}, {WS_EX_APPWINDOW:#x}, {MAIN_CLASS_STYLE:#x}), found "
                             f"({found[0]}, {found[1]:#x}, {found[2]:#x}, {found[3]:#x})")
        t.send(main, t.WM_CLOSE)
        code = t.robot("wait-exit", pid, 20000).strip()
        if code != "0" and code != "gone":
            wrong.append(f"{what}: exit code expected 0, found {code}")
        t.wait_until(lambda: not t.main_window(), 10, 0.2, f"the copy started with {what} to go")

    for args, opens in rows:
        def start(args=args):
            proc = ui.start_copy(unix, *args)
            main = t.wait_main_window()
            return t.robot("pid", hex(main)).strip() if main else "0"
        try_start(str(args), start, opens)
    for line, opens in raw_rows:
        try_start(f"[{line}]", lambda line=line: t.spawn(program, line), opens)

    # "-Uninst" after an unquoted name with blanks is the uninstall switch.
    pid = t.spawn(program, program + " -Uninst")
    box = t.wait_window("#32770", t.TITLE, 15000)
    if not box or t.main_window():
        wrong.append(f"[{program} -Uninst]: expected the removal question, found "
                     f"{'a running program' if t.main_window() else 'nothing'}")
        t.close_copies()
    else:
        question = t.answer(t.TITLE, "IDNO")
        if question != "Are you sure you want to remove this very cool app?":
            wrong.append(f"[{program} -Uninst]: expected the removal question, found {question!r}")
        t.robot("wait-exit", pid, 10000)
    # "-Uninst" after another switch is no switch at all: nothing was removed.
    t.check(os.path.exists(os.path.join(unix, "TW.exe")), "TW.exe was removed by \"-Auto -Uninst\"")
    t.check(os.path.exists(os.path.join(raw_unix, "TW.exe")), "TW.exe was removed after No to the removal")
    shutil.rmtree(raw_unix, ignore_errors=True)
    t.check(not wrong, "; ".join(wrong))


def test_second_copy_hands_over():
    ui.keep_desktop()
    proc, main, unix = ui.launch("TwHand", "-Auto")
    t.check(ui.no_sheet_within(1500), "statistics window open after a start with -Auto")
    # A second copy must not get as far as loading its settings, which would rewrite these.
    t.reg_set(t.SETTINGS_KEY, "Release", "dword", 7)
    t.reg_set(t.SETTINGS_KEY, "Path", "sz", "untouched")

    code, _ = t.run([os.path.join(unix, "TW.exe"), "-Auto"], timeout=60, cwd=unix)
    t.check_eq(0, code, "exit code of the second copy")
    sheet = ui.wait_sheet(5000)
    mains = [w for w in t.top_windows() if w["class"] == t.MAIN_CLASS]
    t.check_eq([main], [w["hwnd"] for w in mains], "main windows of class Orrinwood-Tapwise")
    t.check_eq(7, t.reg_number("Release"), "Release after a second copy ran")
    t.check_eq("untouched", t.reg_get(t.SETTINGS_KEY, "Path")[1], "Path after a second copy ran")

    # With the window open, one more copy changes nothing on screen.
    where = t.rect(sheet)
    code, _ = t.run([os.path.join(unix, "TW.exe")], timeout=60, cwd=unix)
    t.check_eq(0, code, "exit code of the third copy")
    time.sleep(1)
    t.check_eq([sheet], ui.visible_sheets(), "statistics windows after a third copy")
    t.check_eq(where, t.rect(sheet), "position of the statistics window after a third copy")
    t.check(proc.poll() is None, "the first copy ended")
    ui.hide_sheet(sheet)
    ui.stop(proc, main)


def test_end_of_session_messages_and_periodic_save():
    ui.keep_desktop()
    proc, main, _ = ui.launch("TwTimer", "-Auto")
    started = time.time()

    set_sentinel()
    t.check_eq(1, t.send(main, t.WM_QUERYENDSESSION), "answer to WM_QUERYENDSESSION")
    t.check(saved(), "WM_QUERYENDSESSION did not save the counters")
    set_sentinel()
    t.check_eq(0, t.send(main, t.WM_ENDSESSION, 0, 0), "answer to WM_ENDSESSION")
    t.check(saved(), "WM_ENDSESSION with 'not ending' did not save the counters")
    t.check(proc.poll() is None and t.main_window() == main, "the program ended on WM_ENDSESSION(0)")

    # The timer saves at its 30th tick and not before.
    set_sentinel()
    time.sleep(max(0, started + 25 - time.time()))
    t.check_eq(SENTINEL, t.reg_number(SENTINEL_NAME), "stored value 25 s after start (no save before tick 30)")
    t.wait_until(saved, started + 36 - time.time(), 0.3, "the save at timer tick 30")
    saved_after = time.time() - started
    t.check(saved_after > 26, f"periodic save came {saved_after:.1f} s after start")

    # Timer messages of another id are not ticks; thirty ticks of id 1 always include a save.
    set_sentinel()
    t.post_many(30, main, WM_TIMER, 2, 0)
    time.sleep(1.5)
    t.check_eq(SENTINEL, t.reg_number(SENTINEL_NAME), "stored value after 30 WM_TIMER messages of id 2")
    t.post_many(30, main, WM_TIMER, 1, 0)
    t.wait_until(saved, 5, 0.3, "a save among 30 WM_TIMER messages of id 1")

    ui.stop(proc, main)


def test_close_ends_without_question():
    ui.keep_desktop()
    proc, main, _ = ui.launch("TwClose", "-Auto")
    check_semaphore("security of the click semaphore")
    t.post(main, t.WM_CLOSE)
    t.check_eq(0, t.wait_exit(proc, 20), "exit code after WM_CLOSE")

    # Programs the hook reached keep an older copy's semaphore alive, with the
    # security it was born with: the next copy gives it ours.
    old = t.start([os.path.join(t.TEST_BIN, "robot.exe"), "objsec", "TapwiseEvent", "D:(A;;GA;;;WD)", "60000"])
    t.wait_until(lambda: semaphore_dacl() == "D:(A;;GA;;;WD)", 15, what="the older semaphore")
    proc, main, _ = ui.launch("TwClose", "-Auto")
    check_semaphore("security of the click semaphore an older copy left")
    t.post(main, t.WM_CLOSE)
    t.check_eq(0, t.wait_exit(proc, 20), "exit code after WM_CLOSE")
    t.kill_hard(old)

    # Even with the Terminate question on screen, WM_CLOSE from another copy ends the program.
    proc, main, _ = ui.launch("TwClose", "-Auto")
    started = time.time()
    t.post(main, t.WM_COMMAND, t.CMD_TERMINATE)
    box = ui.wait_box()
    ui.clear_of_periodic_save(started, 8)
    set_sentinel()
    t.send(main, t.WM_CLOSE)
    t.check_eq(0, t.wait_exit(proc, 20), "exit code after WM_CLOSE during the Terminate question")
    t.check(not t.robot("state", hex(box)).strip(), "the Terminate question outlived the program")
    t.check(saved(), "the counters were not saved at shut-down")


if __name__ == "__main__":
    sys.exit(t.run_tests([
        test_normal_start_opens_statistics_window,
        test_command_line_switches,
        test_second_copy_hands_over,
        test_end_of_session_messages_and_periodic_save,
        test_close_ends_without_question,
    ]))
