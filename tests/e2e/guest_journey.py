"""The shipped 32-bit program's life in a 32-bit Wine prefix, driven by the
32-bit robot with real clicks: install, the tray program started from the Run
value the way Windows starts it, clicks in another program counted live in the
statistics window and saved, start with Windows switched off and on, a restart
that keeps the counts, Terminate and the removal.

It runs inside the emulated machine that tools/guest-journey.sh boots (this
machine's kernel runs no 32-bit code), and as well in a 64-bit session with the
x86_64 build, to try changes quickly. A Wine program start costs seconds on the
emulated CPU, so one robot process serves every command. Each stage leaves a
screenshot build/screenshots/i686-NN-<stage>.png.
"""
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
from twlib import check, check_eq  # noqa: E402
import tapwise_ui as ui  # noqa: E402
import test_journey as j  # noqa: E402

SETTLE = float(os.environ.get("TW_SETTLE", "1"))   # slower machine, longer waits
_t0 = time.time()
UNINSTALLER = r"C:\windows\TWUninst.exe"


class ServedRobot:
    """twlib.robot through one robot process that serves every command ("robot
    serve"): a Wine program start costs seconds on the emulated CPU. Its output
    is read up to the end mark of each command, so Wine's services holding the
    pipe open do not matter."""

    def __init__(self):
        self.proc = None
        self.rc = 0

    def start(self):
        self.log = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([t.WINE, os.path.join(t.TEST_BIN, "robot.exe"), "serve"],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.log,
                                     start_new_session=True)
        self.buffer = b""

    def stop(self):
        if self.proc:
            self.proc.stdin.close()
            try:
                self.proc.wait(timeout=wait_s(20))
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait(timeout=10)
            self.proc = None

    def __call__(self, *args, timeout=60):
        if self.proc is None:
            self.start()
        line = "\t".join(str(a) for a in args)
        check("\n" not in line, f"a robot argument holds a line break: {args!r}")
        self.proc.stdin.write(line.encode("latin-1") + b"\n")
        self.proc.stdin.flush()
        end = time.time() + wait_s(timeout)
        while True:
            mark = self.buffer.find(b"\x04 ")
            if mark >= 0 and b"\n" in self.buffer[mark:]:
                stop = self.buffer.index(b"\n", mark)
                out, self.rc = self.buffer[:mark], int(self.buffer[mark + 2:stop])
                self.buffer = self.buffer[stop + 1:]
                return out.decode("latin-1")
            left = end - time.time()
            check(left > 0 and select.select([self.proc.stdout], [], [], left)[0],
                  f"the robot did not answer {args!r} in time")
            chunk = os.read(self.proc.stdout.fileno(), 65536)
            check(chunk, f"the robot ended during {args!r}")
            self.buffer += chunk


served = ServedRobot()
t.robot = served


def stage(number, name):
    t.screenshot(f"i686-{number:02d}-{name}")
    print(f"stage {number:02d} {name} done at {time.time() - _t0:.0f}s", flush=True)


def wait_s(seconds):
    return seconds * SETTLE


def wait_field(page, control, value, what):
    seen = []
    try:
        t.wait_until(lambda: seen.append(t.text(page, control)) or seen[-1] == value, wait_s(10), 0.3,
                     f"{what} to read {value}")
    except t.Failure as e:
        raise t.Failure(f"{e}; it read {seen[-1:]!r}, all fields {ui.fields(page)!r}") from None


def start_from_run_value():
    """Starts the program the way Windows starts a Run value: the program file
    found in the stored command line, which reaches the program as stored,
    quotes or none. Returns (pid, main window)."""
    run = t.reg_get(t.RUN_KEY, "Tapwise")
    check(run and run[0] == "sz", f"no Run value to start from: {run!r}")
    out = t.robot("spawn", j.PROGRAM, run[1]).strip()
    check(t.robot.rc == 0 and out.isdigit(), f"starting {run[1]!r} failed: {out!r}")
    main = t.wait_main_window(int(wait_s(30000)))
    check(main, f"no main window after starting the Run value {run[1]!r}")
    return int(out), main


def close_copy(main, pid):
    t.send(main, t.WM_CLOSE)
    ended = t.robot("wait-exit", pid, int(wait_s(20000))).strip()
    check(ended in ("0", "gone"), f"the copy did not end with 0 after WM_CLOSE: {ended}")


def test_guest_journey():
    check(not os.path.exists(t.unix_path(j.INSTALL_DIR)), "the prefix already holds an installation")

    # 01 -- installing: the final message, the files, the Run value, the uninstall
    # entry and the desktop shortcut.
    ui.keep_desktop()
    time.sleep(wait_s(1))
    empty_tray = t.grab_screen()
    os.makedirs(t.unix_path(j.SETUP_DIR), exist_ok=True)
    shutil.copy(os.path.join(t.BIN, "Tapwise.exe"), t.unix_path(j.SETUP_DIR + r"\Tapwise.exe"))
    setup = t.start([j.SETUP_DIR + r"\Tapwise.exe"])
    check(t.wait_window("#32770", t.TITLE, int(wait_s(60000))), "the installer showed no message")
    stage(1, "installed")
    check_eq(j.INSTALLED_TEXT, t.answer(t.TITLE, "IDOK"), "the installer's final message")
    check_eq(0, t.wait_exit(setup, wait_s(30)), "exit code of the install run")
    check_eq(["Readme.txt", "TW.exe", "Tapwise.dll"], sorted(os.listdir(t.unix_path(j.INSTALL_DIR))),
             f"files in {j.INSTALL_DIR}")
    with open(os.path.join(t.BIN, "Tapwise.exe"), "rb") as f:
        shipped = f.read()
    for copy in (j.PROGRAM, UNINSTALLER):
        with open(t.unix_path(copy), "rb") as f:
            check(f.read() == shipped, f"{copy} is not the running program's bytes")
    with open(os.path.join(t.BIN, "Tapwise.dll"), "rb") as f, open(t.unix_path(j.LIBRARY), "rb") as g:
        check(f.read() == g.read(), f"{j.LIBRARY} is not the library the program carries")
    run = t.reg_get(t.RUN_KEY, "Tapwise")
    check(run and run[0] == "sz" and run[1] in (j.PROGRAM + " -Auto", f'"{j.PROGRAM}" -Auto'),
          f"Run value after the installation: {run!r}")
    uninstall = t.reg_get(t.UNINSTALL_KEY, "UninstallString")
    check(uninstall and uninstall[0] == "sz" and uninstall[1] in (UNINSTALLER + " -Uninst", f'"{UNINSTALLER}" -Uninst'),
          f"UninstallString: {uninstall!r}")
    check_eq(("sz", t.TITLE, len(t.TITLE) + 1), t.reg_get(t.UNINSTALL_KEY, "DisplayName"), "DisplayName")
    link = j.folder(j.CSIDL_COMMON_DESKTOPDIRECTORY) + r"\Tapwise.lnk"
    check_eq(j.PROGRAM.lower(), (t.read_link(link) or {}).get("path", "").lower(), f"target of {link}")
    check(os.path.isdir(t.unix_path(j.folder(j.CSIDL_COMMON_PROGRAMS) + r"\Tapwise")), "no program group folder")

    # 02 -- the tray program as Windows starts it at log-on, from the Run value;
    # the copy the installer started makes way first.
    main = t.wait_main_window(int(wait_s(30000)))
    check(main, "the installer started no installed copy")
    close_copy(main, j.pid_of(main))
    # Windows hands the stored line over as it is: with the path unquoted, the
    # tail after the program name's first blank is "Files\Tapwise\TW.exe -Auto",
    # which is no switch, and the statistics window would open.
    pid, main = start_from_run_value()
    time.sleep(wait_s(3))   # a statistics window would open right after start-up
    shown = [w["title"] for w in t.top_windows() if w["pid"] == pid and w["visible"]]
    check_eq([], shown, f"visible windows of the copy started from the Run value {run[1]!r}")
    check_eq(j.PROGRAM, t.process_image(pid), "program file of the running copy")
    check_eq(("sz", j.INSTALL_DIR, len(j.INSTALL_DIR) + 1), t.reg_get(t.SETTINGS_KEY, "Path"),
             "\"Path\" recorded by the installed copy")
    icon = ui.wait_tray_icon(empty_tray, wait_s(20))
    stage(2, "tray")

    # 03 -- real clicks in another program, left and middle presses.
    _, pad, _ = t.start_click_target()
    # Notepad mostly off the left edge, so that the statistics window opening in
    # the middle of the screen stays clear of it.
    t.move(pad, -420, 200)
    left, top, right, bottom = t.rect(pad)
    check_eq((-420, 200), (left, top), "Notepad's place")
    points = [(x, y) for y in (top + 120, bottom - 80) for x in (40, right - 60)]
    t.click_times(points, 5)
    t.click_at(*points[1], "middle")
    stage(3, "clicks")

    # 04 -- the statistics window from a real click on the tray icon, which counts
    # too; it follows further clicks as they happen.
    t.click_at(*ui.centre(icon))
    sheet = ui.wait_sheet(int(wait_s(20000)))
    page = ui.current_page(sheet)
    wait_field(page, ui.TOTAL_FIELD, "7", "Total after six clicks in notepad and one on the tray icon")
    check_eq(("7", "0", "n/a"), j.stats_row(page, "Session"), "Session row")
    check_eq("7", j.stats_row(page, "Day")[0], "Day count")
    t.click_times(points[2:], 2)
    wait_field(page, ui.STATS_FIELDS["Session"][0], "9", "Session after two more clicks")
    check_eq("9", t.text(page, ui.TOTAL_FIELD), "Total after two more clicks")
    seconds = t.text(page, ui.TIME_FIELD)
    t.wait_until(lambda: t.text(page, ui.TIME_FIELD) != seconds, wait_s(5), 0.5, "the session time to run on")
    stage(4, "statistics")

    # 05 -- the settings page: start with Windows off deletes the Run value, on
    # writes it again as the installer did.
    settings = ui.select_page(sheet, 1)
    box = int(t.robot("item", hex(settings), ui.SETTINGS_CONTROLS["autostart"]).strip(), 16)
    check_eq(1, t.send(box, ui.BM_GETCHECK), "start-with-Windows check box after the installation")
    t.robot("click", hex(settings), ui.SETTINGS_CONTROLS["autostart"])
    t.wait_until(lambda: t.reg_get(t.RUN_KEY, "Tapwise") is None, wait_s(10), 0.3, "the Run value to go")
    t.wait_until(lambda: t.reg_number("OptionAutostart") == 0, wait_s(10), 0.3, "OptionAutostart 0 (stored last)")
    t.robot("click", hex(settings), ui.SETTINGS_CONTROLS["autostart"])
    t.wait_until(lambda: t.reg_get(t.RUN_KEY, "Tapwise") is not None, wait_s(10), 0.3, "the Run value to come back")
    check_eq(run, t.reg_get(t.RUN_KEY, "Tapwise"), "Run value after switching on again")
    t.wait_until(lambda: t.reg_number("OptionAutostart") == 1, wait_s(10), 0.3, "OptionAutostart 1 after switching on")
    stage(5, "autostart")
    ui.hide_sheet(sheet)

    # 06 -- a restart keeps the counts: saved at the end, read back at the next
    # start from the Run value, shown when a second start opens the window.
    close_copy(main, pid)
    check_eq((9, 9), (t.reg_number("CounterLastSession"), t.reg_number("CounterCurrentTotal")),
             "session (stored as the last one) and total stored at the end")
    pid, main = start_from_run_value()
    second = t.start([j.PROGRAM], cwd=t.unix_path(j.INSTALL_DIR))
    sheet = ui.wait_sheet(int(wait_s(30000)))
    check_eq(0, t.wait_exit(second, wait_s(30)), "exit code of the second start")
    page = ui.current_page(sheet)
    check_eq(("0", "9"), j.stats_row(page, "Session")[:2], "Session row after the restart")
    check_eq("9", t.text(page, ui.TOTAL_FIELD), "Total after the restart")
    t.click_at(*points[0])
    wait_field(page, ui.TOTAL_FIELD, "10", "Total after a click following the restart")
    stage(6, "restarted")
    ui.hide_sheet(sheet)

    # 07 -- Terminate from the tray menu, Yes, Yes; the right press on the icon
    # and the press on the menu item count as well.
    j.tray_menu_terminate(icon)
    ui.answer_box(j.TERMINATE_QUESTION, "stop", ui.IDYES)
    ui.answer_box(j.REALLY, "question", ui.IDYES)
    ended = t.robot("wait-exit", pid, int(wait_s(20000))).strip()
    check(ended in ("0", "gone"), f"the copy did not end with 0 after Terminate, Yes, Yes: {ended}")
    check_eq(0, t.main_window(), "main window after Terminate")
    check_eq((3, 12), (t.reg_number("CounterLastSession"), t.reg_number("CounterCurrentTotal")),
             "session and total stored at Terminate")
    t.wait_until(lambda: ui.strip_pixels(t.grab_screen()) == ui.strip_pixels(empty_tray), wait_s(10), 0.5,
                 "the tray icon to go")
    stage(7, "terminated")

    # 08 -- removal by the recorded uninstall command. Every process lets go of
    # the hook library first, Wine's desktop with them: Wine never unloads a hook
    # library from a process that received mouse input while the hook was set,
    # and refuses to delete a loaded file (Windows unloads it once the hook is
    # gone). Removal with a copy running is a scenario of its own.
    t.cleanup()
    served.stop()
    t.wait_until(lambda: not t.mapped_by(j.LIBRARY), wait_s(20), 0.5, "every process to let go of " + j.LIBRARY)
    command = t.reg_get(t.UNINSTALL_KEY, "UninstallString")[1]
    program, _, switch = command.rpartition(" ")
    removal = t.start([program.strip('"'), switch])
    ui.answer_box(j.REMOVE_QUESTION, "stop", ui.IDYES)
    ui.answer_box(j.REALLY, "question", ui.IDYES)
    check_eq(0, t.wait_exit(removal, wait_s(40)), "exit code of the uninstall run")
    stage(8, "uninstalled")
    left = {name: sorted(os.listdir(t.unix_path(path))) if os.path.isdir(t.unix_path(path)) else True
            for name, path in j.places().items() if j.exists(path)}
    # The running uninstaller was moved aside for the restart.
    check_eq({}, left, f"what is left on disk (processes with the library loaded now: {t.mapped_by(j.LIBRARY)})")
    check_eq("NOKEY", t.robot("regget", t.SETTINGS_KEY, "-").strip(), "settings key after the removal")
    check_eq(None, t.reg_get(t.RUN_KEY, "Tapwise"), "Run value after the removal")
    check_eq("NOKEY", t.robot("regget", t.UNINSTALL_KEY, "-").strip(), "uninstall key after the removal")
    check_eq("NOKEY", t.robot("regget", j.COMPANY_KEY, "-").strip(), f"{j.COMPANY_KEY}, left empty")
    check_eq([], j.tapwise_processes(), "processes of Tapwise after the removal")


if __name__ == "__main__":
    try:
        sys.exit(t.run_tests([test_guest_journey]))
    finally:
        served.stop()
