"""One user's life with Tapwise, end to end, with the real build and real
clicks: install, the installed copy in the tray, clicks in another program,
the statistics window opened from the tray icon following them live, start
with Windows switched off and on, a period reset and a new session, a night
across midnight, Terminate, a restart showing the last session, and removal
that leaves nothing of Tapwise but the uninstaller file and the company key.

Each stage leaves a screenshot build/screenshots/journey-NN-<stage>.png.
The night runs the installed program with a moved wall clock
(twlib.ShiftedClock) starting just before the midnight that ends the day in
its stored date stamp.
"""
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
from twlib import check, check_eq  # noqa: E402
import tapwise_ui as ui  # noqa: E402

INSTALL_DIR = r"C:\Program Files\Tapwise"
PROGRAM = INSTALL_DIR + r"\TW.exe"
RUN_COMMAND = f'"{PROGRAM}" -Auto'
LIBRARY = INSTALL_DIR + r"\Tapwise.dll"
SETUP_DIR = r"C:\TwJourney"
COMPANY_KEY = r"Software\Orrinwood Software"
INSTALLED_TEXT = ("Tapwise Version 1.2, an incredibly cool app by Orrinwood Media\n"
                  "has been successfully installed on your system.")
TERMINATE_QUESTION = "Are you sure you want to terminate this very cool app?"
REMOVE_QUESTION = "Are you sure you want to remove this very cool app?"
RESET_QUESTION = "Are you sure to reset the chosen counter to zero?"
NEW_SESSION_QUESTION = "Are you sure to start a new session?"
REALLY = "Really?"
CSIDL_PROGRAMS, CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_PROGRAMS = 2, 16, 23
CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_WINDOWS = 25, 0x24
MENU_CLASS = "#32768"
PARKED_POINTER = (1000, 40)   # top right of the desktop: no window of the journey opens there

_company_key_existed = []


def folder(csidl):
    path = t.special_folder(csidl)
    check(path, f"the prefix has no special folder {csidl:#x}")
    return path


def exists(windows_path):
    return os.path.lexists(t.unix_path(windows_path))


def places():
    """Everything an installation puts on disk."""
    return {
        "install directory": INSTALL_DIR,
        "uninstaller": folder(CSIDL_WINDOWS) + r"\TWUninst.exe",
        "desktop link of all users": folder(CSIDL_COMMON_DESKTOPDIRECTORY) + r"\Tapwise.lnk",
        "desktop link of the user": folder(CSIDL_DESKTOPDIRECTORY) + r"\Tapwise.lnk",
        "group folder": folder(CSIDL_PROGRAMS) + r"\Tapwise",
        "group folder of all users": folder(CSIDL_COMMON_PROGRAMS) + r"\Tapwise",
    }


def remove_everything():
    """Ends every copy and removes every trace of an installation."""
    t.close_copies()
    t.cleanup()
    t.reset_store()
    for path in list(places().values()) + [SETUP_DIR]:
        unix = t.unix_path(path)
        if os.path.isdir(unix) and not os.path.islink(unix):
            shutil.rmtree(unix, ignore_errors=True)
        elif os.path.lexists(unix):
            os.remove(unix)
    if _company_key_existed == [False]:
        t.reg_delete(COMPANY_KEY)


def tapwise_processes():
    """Command lines of this prefix's processes running a Tapwise program file."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if f"WINEPREFIX={t.PREFIX}".encode() + b"\0" not in f.read():
                    continue
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                command = f.read().split(b"\0")[0].decode("latin-1")
        except OSError:
            continue
        if command.lower().endswith(("\\tw.exe", "/tw.exe", "twuninst.exe", "\\tapwise.exe", "/tapwise.exe")):
            found.append(command)
    return found


def pid_of(hwnd):
    return int(t.robot("pid", hex(hwnd)).strip())


def stats_row(page, period):
    return ui.stats_row(ui.fields(page), period)


def wait_field(page, control, value, what):
    t.wait_until(lambda: t.text(page, control) == value, 5, 0.2, f"{what} to read {value}")


def tray_menu_terminate(icon):
    t.click_at(*ui.centre(icon), "right")
    menu = t.wait_until(lambda: next((w["hwnd"] for w in t.top_windows()
                                      if w["class"] == MENU_CLASS and w["visible"]), 0), 5, 0.2, "the tray menu")
    left, top, right, bottom = t.rect(menu)
    t.click_at((left + right) // 2, bottom - 10)   # Terminate, the last item


def test_journey():
    _company_key_existed[:] = [t.key_values(COMPANY_KEY) is not None]
    remove_everything()
    left = [name for name, path in places().items() if exists(path)]
    check_eq([], left, "pieces of an installation before the journey")

    # 01 -- installing: the setup program under its own name, then the final message.
    ui.keep_desktop()
    time.sleep(0.5)   # the keeper's own icon settles first
    empty_tray = t.grab_screen()
    os.makedirs(t.unix_path(SETUP_DIR), exist_ok=True)
    shutil.copy(os.path.join(t.BIN, "Tapwise.exe"), t.unix_path(SETUP_DIR + r"\Tapwise.exe"))
    setup = t.start([SETUP_DIR + r"\Tapwise.exe"])
    check(t.wait_window("#32770", t.TITLE, 30000), "the installer showed no message")
    main = t.wait_main_window(15000)
    check(main, "no installed copy runs while the final message shows")
    t.screenshot("journey-01-installed")
    check_eq(INSTALLED_TEXT, t.answer(t.TITLE, "IDOK"), "the installer's final message")
    check_eq(0, t.wait_exit(setup, 20), "exit code of the install run")
    check_eq(["Readme.txt", "TW.exe", "Tapwise.dll"], sorted(os.listdir(t.unix_path(INSTALL_DIR))),
             f"files in {INSTALL_DIR}")
    for name in ("uninstaller", "desktop link of all users", "group folder of all users"):
        check(exists(places()[name]), f"the {name} {places()[name]} is missing")
    check_eq(("sz", RUN_COMMAND, len(RUN_COMMAND) + 1), t.reg_get(t.RUN_KEY, "Tapwise"),
             "Run value after the installation")
    check_eq(f'"{places()["uninstaller"]}" -Uninst', t.key_values(t.UNINSTALL_KEY).get("UninstallString"),
             "UninstallString")

    # 02 -- the installed copy in the tray: started with -Auto, no window of its own.
    pid = pid_of(main)
    check_eq(PROGRAM, t.process_image(pid), "program file of the running copy")
    check_eq([], [w["title"] for w in t.top_windows() if w["pid"] == pid and w["visible"]],
             "visible windows of the installed copy")
    check_eq([], ui.visible_sheets(), "statistics windows after the installation")
    check_eq(INSTALL_DIR, t.key_values().get("Path"), "\"Path\" recorded by the installed copy")
    icon = ui.wait_tray_icon(empty_tray)
    t.screenshot("journey-02-tray")

    # 03 -- real clicks in another program: its client area with three buttons, its title bar.
    _, pad, points = t.start_click_target()
    pad_left, pad_top, pad_right, _ = t.rect(pad)
    t.click_times(points, 2)
    t.click_at(*points[2], "middle")
    t.click_at(pad_left + 200, pad_top + 10)
    t.click_at(pad_left + 400, pad_top + 10)
    t.click_at(*points[3])
    t.screenshot("journey-03-clicks")

    # 04 -- the statistics window from a real click on the tray icon; that press counts too.
    t.click_at(*ui.centre(icon))
    sheet = ui.wait_sheet()
    page = ui.current_page(sheet)
    wait_field(page, ui.TOTAL_FIELD, "7", "Total after six clicks in notepad and one on the tray icon")
    check_eq(("7", "0", "n/a"), stats_row(page, "Session"), "Session row")
    check_eq("7", stats_row(page, "Day")[0], "Day count")
    # It follows clicks in the other program as they happen.
    t.click_times(points, 2)
    wait_field(page, ui.TOTAL_FIELD, "9", "Total after two more clicks")
    wait_field(page, ui.STATS_FIELDS["Session"][0], "9", "Session after two more clicks")
    t.screenshot("journey-04-statistics")

    # 05 -- start with Windows: off deletes the Run value, on writes it again.
    settings = ui.select_page(sheet, 1)
    box = int(t.robot("item", hex(settings), ui.SETTINGS_CONTROLS["autostart"]).strip(), 16)
    check_eq(1, t.send(box, ui.BM_GETCHECK), "start-with-Windows check box after the installation")
    t.robot("click", hex(settings), ui.SETTINGS_CONTROLS["autostart"])
    t.wait_until(lambda: t.reg_get(t.RUN_KEY, "Tapwise") is None, 5, 0.2, "the Run value to go")
    check_eq(0, t.reg_number("OptionAutostart"), "OptionAutostart after switching off")
    t.robot("click", hex(settings), ui.SETTINGS_CONTROLS["autostart"])
    t.wait_until(lambda: t.reg_get(t.RUN_KEY, "Tapwise") is not None, 5, 0.2, "the Run value to come back")
    check_eq(("sz", RUN_COMMAND, len(RUN_COMMAND) + 1), t.reg_get(t.RUN_KEY, "Tapwise"),
             "Run value after switching on again")
    check_eq(1, t.reg_number("OptionAutostart"), "OptionAutostart after switching on again")
    t.screenshot("journey-05-autostart")

    # 06 -- the day reset, then a new session; each answered Yes and saved at once.
    t.robot("click", hex(settings), ui.SETTINGS_CONTROLS["Day"])
    ui.answer_box(RESET_QUESTION, "question", ui.IDYES, exclude=[sheet])
    t.wait_until(lambda: t.reg_number("CounterCurrentDay") == 0, 5, 0.2, "the stored day count to be reset")
    t.robot("click", hex(settings), ui.SETTINGS_CONTROLS["new_session"])
    ui.answer_box(NEW_SESSION_QUESTION, "question", ui.IDYES, exclude=[sheet])
    t.wait_until(lambda: t.reg_number("CounterLastSession") == 0, 5, 0.2, "the save after the new session")
    page = ui.select_page(sheet, 0)
    check_eq({"Session": ("0", "9", "-100%"), "Day": ("0", "0", "n/a"), "Total": "9"},
             {"Session": stats_row(page, "Session"), "Day": stats_row(page, "Day"),
              "Total": t.text(page, ui.TOTAL_FIELD)}, "statistics after the reset and the new session")
    t.screenshot("journey-06-reset")
    ui.hide_sheet(sheet)

    # 07 -- a night: the copy ends, and runs again from just before the midnight
    # that ends the day of its stored date stamp.
    t.send(main, t.WM_CLOSE)
    check(t.robot("wait-exit", pid, 10000).strip() == "0", "the installed copy did not end after WM_CLOSE")
    stored = t.key_values()
    year, month, day = stored["DateYear"], stored["DateMonth"], stored["DateDay"]
    check_eq((0, 9), (stored["CounterCurrentDay"], stored["CounterCurrentTotal"]), "day and total stored at the end")
    clock = t.ShiftedClock(year, month, day, 23, 59, 45)
    midnight = clock.real_time(year, month, day, 23, 59, 59) + 1
    night = clock.start([PROGRAM, "-Auto"], cwd=t.unix_path(INSTALL_DIR))
    main = t.wait_main_window()
    check(main, "the installed copy did not start under the moved clock")
    pid = pid_of(main)
    t.click_times(points, 2)
    check(time.time() < midnight - 1, "the clicks before midnight came too late")
    install_unix = t.unix_path(INSTALL_DIR)
    t.wait_until(lambda: t.history_lines(install_unix, "Day.txt"), midnight + 3 - time.time(), 0.1,
                 "Day.txt in the install directory")
    check(time.time() > midnight, "Day.txt was written before midnight")
    check_eq([b"%04d-%02d-%02d\t2\r\n" % (year, month, day)], t.history_lines(install_unix, "Day.txt"),
             "Day.txt after midnight")
    time.sleep(0.3)
    rolled = t.key_values()
    check_eq((0, 2, 11), (rolled["CounterCurrentDay"], rolled["CounterLastDay"], rolled["CounterCurrentTotal"]),
             "day, last day and total stored by the roll")
    t.click_at(*points[0])
    t.screenshot("journey-07-midnight")

    # 08 -- Terminate from the tray menu, Yes, Yes. The right press on the icon and
    # the press on the menu item count as well: five presses in this run.
    tray_menu_terminate(icon)
    ui.answer_box(TERMINATE_QUESTION, "stop", ui.IDYES)
    ui.answer_box(REALLY, "question", ui.IDYES)
    check_eq(0, t.wait_exit(night, 20), "exit code after Terminate, Yes, Yes")
    check_eq(0, t.main_window(), "main window after Terminate")
    last_session = t.reg_number("CounterLastSession")
    check_eq(5, last_session, "session count stored at the end of the night's run")
    t.wait_until(lambda: ui.strip_pixels(t.grab_screen()) == ui.strip_pixels(empty_tray), 20, 0.3,
                 "the tray icon to go")
    t.screenshot("journey-08-terminated")

    # 09 -- the next start shows that run as the last session. Everything else ends
    # first, Wine's desktop with it, so that no process keeps the hook library
    # loaded (Wine never unloads it and refuses to delete a loaded file), and the
    # pointer stays where no window of the rest of the journey opens.
    t.cleanup()
    t.wait_until(lambda: not t.mapped_by(LIBRARY), 15, 0.5, "every process to let go of " + LIBRARY)
    ui.keep_desktop()
    t.xdotool("mousemove", *PARKED_POINTER)
    morning = clock.start([PROGRAM, "-Auto"], cwd=install_unix)
    main = t.wait_main_window()
    check(main, "the installed copy did not start again")
    sheet, page = ui.open_sheet(main)
    check_eq(("0", str(last_session)), stats_row(page, "Session")[:2], "Session row after the restart")
    check_eq(str(9 + last_session), t.text(page, ui.TOTAL_FIELD), "Total after the restart")
    t.screenshot("journey-09-restarted")
    ui.hide_sheet(sheet)

    # 10 -- removal, as the recorded uninstall command runs it, with the copy running.
    holders = [p for p in t.mapped_by(LIBRARY) if not p.lower().endswith("\\tw.exe")]
    check_eq([], holders, f"processes besides the copy with {LIBRARY} loaded before the removal")
    command = t.key_values(t.UNINSTALL_KEY)["UninstallString"]
    # The command line exactly as stored, the way the system's list of programs starts it.
    removal = t.spawn(command.rpartition(" ")[0].strip('"'), command)
    ui.answer_box(REMOVE_QUESTION, "stop", ui.IDYES)
    ui.answer_box(REALLY, "question", ui.IDYES)
    check_eq("0", t.robot("wait-exit", removal, 30000).strip(), "exit code of the uninstall run")
    check_eq(0, t.wait_exit(morning, 10), "exit code of the copy closed by the uninstaller")
    t.screenshot("journey-10-uninstalled")
    left = {name: sorted(os.listdir(t.unix_path(path))) if os.path.isdir(t.unix_path(path)) else True
            for name, path in places().items() if exists(path)}
    # The running uninstaller was moved aside for the restart.
    check_eq({}, left, "what is left on disk")
    check_eq(None, t.key_values(), "settings key after the removal")
    check_eq(None, t.key_values(COMPANY_KEY), f"{COMPANY_KEY}, left empty")
    check_eq(None, t.reg_get(t.RUN_KEY, "Tapwise"), "Run value after the removal")
    check_eq(None, t.key_values(t.UNINSTALL_KEY), "uninstall key after the removal")
    check_eq(0, t.main_window(), "main window after the removal")
    check_eq([], tapwise_processes(), "processes of Tapwise after the removal")


def journey():
    try:
        test_journey()
    finally:
        remove_everything()


journey.__name__ = "test_journey"

if __name__ == "__main__":
    sys.exit(t.run_tests([journey]))
