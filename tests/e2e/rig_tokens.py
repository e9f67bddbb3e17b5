"""The person's journey across tokens, on the test rig. Every Tapwise here is a
copy that imports the rig's virtualization shim (shim-copy), so that a copy
run with the limited half of the person's token has its writes to the
machine's registry, the program directory and the Windows directory
redirected the way Windows redirects a 32-bit program's, and a "runas" copy
really runs with the full half. The person installs (asked once, elevated
through "runas"), the limited tray copy counts, saves, changes settings and
writes history, all of it in the person's virtual store and none of it in
the machine's; an elevated reinstall closes and restarts that copy, which
sees its own counts; removal leaves nothing of Tapwise anywhere.

Runs in a rig session with the shim installed in the prefix
(tw_rig_install_shim) and TW_RIG_SHIM_COPY naming shim-copy.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
from twlib import check, check_eq  # noqa: E402
import tapwise_ui as ui  # noqa: E402
import test_setup as s  # noqa: E402

STORE_ROOT = r"Software\Classes\VirtualStore"
STORE_KEY = STORE_ROOT + r"\MACHINE\SOFTWARE\Orrinwood Software"
STORE_SETTINGS = STORE_KEY + r"\Tapwise"
CSIDL_LOCAL_APPDATA = 0x1C
RESET_QUESTION = "Are you sure to reset the chosen counter to zero?"
FULL, LIMITED = 2, 3   # token elevation types
HISTORY_SUMMARY = 1045
PROGRAM = s.INSTALL_DIR + r"\TW.exe"


def shim_copy_bytes():
    tool = os.environ.get("TW_RIG_SHIM_COPY", "")
    check(os.access(tool, os.X_OK), f"no shim-copy at TW_RIG_SHIM_COPY={tool!r}: run on the rig (TW_RIG=1)")
    check(os.path.isfile(t.unix_path(r"C:\windows\system32\TWRIG.dll")),
          "the shim is not in the prefix's system32 (tw_rig_install_shim)")
    with tempfile.TemporaryDirectory() as work:
        out = subprocess.run([tool, os.path.join(t.BIN, "Tapwise.exe"), os.path.join(work, "TW.exe")],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
        check(out.returncode == 0, "shim-copy failed: " + out.stdout.decode(errors="replace"))
        with open(os.path.join(work, "TW.exe"), "rb") as f:
            return f.read()


def store_dir():
    return s.folder(CSIDL_LOCAL_APPDATA) + r"\VirtualStore\Program Files\Tapwise"


def person_store():
    """What the person's virtual store holds: settings, every value and every file."""
    root = s.u(s.folder(CSIDL_LOCAL_APPDATA) + r"\VirtualStore")
    files = [os.path.relpath(os.path.join(d, f), root) for d, _, names in os.walk(root) for f in names]
    return {"settings": t.key_values(STORE_SETTINGS, "HKEY_CURRENT_USER"),
            "values": sorted(line for line in export(STORE_ROOT, "HKEY_CURRENT_USER") if "=" in line),
            "files": sorted(files)}


def saved_with(**values):
    """The person's stored settings once they hold these values, else None."""
    stored = t.key_values(STORE_SETTINGS, "HKEY_CURRENT_USER") or {}
    return stored if all(stored.get(k) == v for k, v in values.items()) else None


def clear_person_store():
    t.reg_delete("HKCU\\" + STORE_SETTINGS)
    t.reg_delete("HKCU\\" + STORE_KEY)
    shutil.rmtree(s.u(store_dir()), ignore_errors=True)


def export(key, root="HKEY_LOCAL_MACHINE"):
    """A regedit export of a key, as a set of lines."""
    fd, path = tempfile.mkstemp(suffix=".reg", dir=t.unix_path(r"C:\windows\temp"))
    os.close(fd)
    try:
        t.run(["regedit", "/E", "C:\\windows\\temp\\" + os.path.basename(path), root + "\\" + key])
        with open(path, "rb") as f:
            data = f.read()
    finally:
        os.unlink(path)
    return set(data.decode("utf-16" if data[:2] == b"\xff\xfe" else "latin-1").replace("\\\r\n  ", "").splitlines())


def tree(windows_dir):
    """(path, size, modification time) of every file below a directory; this
    scenario's own registry exports excepted."""
    top, found = s.u(windows_dir), set()
    for root, _, files in os.walk(top):
        for name in files:
            path = os.path.join(root, name)
            if re.fullmatch(r"tmp\w+\.reg", name) or not os.path.isfile(path):
                continue
            st = os.stat(path)
            found.add((os.path.relpath(path, top), st.st_size, st.st_mtime_ns))
    return found


def machine():
    return {"software": export("Software"), "program files": tree(r"C:\Program Files"),
            "windows": tree(s.folder(s.CSIDL_WINDOWS))}


def changes(before, after):
    return {part: sorted(after[part] ^ before[part], key=str)[:12] for part in before if after[part] != before[part]}


def spawn_limited(program, command_line, env=None):
    """Starts a program with the person's limited token, in a moved clock's
    environment if one is given; returns its process id."""
    if not env:
        return int(t.spawn(program, command_line, "limited"))
    robot = t.start_env([os.path.join(t.TEST_BIN, "robot.exe"), "spawn", program, command_line, "limited"], env)
    check_eq(0, t.wait_exit(robot, 60), f"exit code of the robot starting {program}")
    robot.log.seek(0)
    return int(robot.log.read().decode("latin-1").rpartition("\x04 ")[0].strip())


def clock_env(clock):
    return {"LD_PRELOAD": t.TIME_PRELOAD, "TW_TIME_OFFSET": repr(clock.offset), "TZ": t.SHIFTED_ZONE}


def limited_setup(program, command_line, answers, env=None):
    """Runs setup or removal as the person starts it: limited, it asks once for the
    elevated copy, which does the work; returns the texts of the messages answered
    and the tray copy's window."""
    first = spawn_limited(program, command_line, env)
    check(t.wait_window("#32770", t.TITLE, 30000), f"no message from {program}")
    name = program.rpartition("\\")[2]
    copies = t.processes(name)
    check_eq({first: LIMITED}, {p: kind for p, (_, kind) in copies.items() if p == first}, f"token of {name}")
    check_eq([FULL], [kind for p, (parent, kind) in copies.items() if parent == first],
             f"tokens of the copies {name} asked for")
    texts = [t.answer(t.TITLE, button, 30000) for button in answers]
    check_eq("0", t.robot("wait-exit", first, 30000).strip(), f"exit code of the limited {name}")
    return texts


def start_limited_click_target():
    """Notepad, a program of the person's with the limited token too; its window
    and points in its edit area."""
    t.spawn(r"C:\windows\notepad.exe", "notepad.exe", "limited")
    pad = t.wait_window("Notepad", "-", 20000)
    check(pad, "notepad did not open a window")
    left, top, right, bottom = t.rect(pad)
    x, y = (left + right) // 2, (top + bottom) // 2
    return pad, [(x - 120, y - 60), (x + 120, y - 60), (x - 120, y + 60), (x + 120, y + 60)]


def autostart_box(settings):
    return t.send(int(t.robot("item", hex(settings), ui.SETTINGS_CONTROLS["autostart"]).strip(), 16), ui.BM_GETCHECK)


def tray_copy(when):
    main = t.wait_main_window(20000)
    check(main, f"no tray copy runs {when}")
    pid = s.window_pid(main)
    check_eq((PROGRAM, LIMITED), (t.process_image(pid), t.processes("TW.exe").get(pid, (0, 0))[1]),
             f"program file and token of the tray copy {when}")
    return main, pid


def test_journey_across_tokens():
    s.PROGRAM_BYTES = shim_copy_bytes()
    s.reset_setup()
    clear_person_store()
    untouched = person_store()
    ui.keep_desktop()
    os.makedirs(s.u(s.SETUP_DIR), exist_ok=True)
    with open(s.u(s.SETUP_EXE), "wb") as f:
        f.write(s.PROGRAM_BYTES)

    # Installed by the copy asked for, which alone may write the machine's parts.
    check_eq([s.INSTALLED_TEXT], limited_setup(s.SETUP_EXE, f'"{s.SETUP_EXE}"', ["IDOK"]), "the installer's message")
    s.check_installation()
    main, pid = tray_copy("after the install")
    # From here on the machine's parts are the installer's: the tray copy starts
    # again as Windows starts the Run value at logon, limited.
    t.send(main, t.WM_CLOSE)
    s.wait_process_end(pid)
    before = machine()
    spawn_limited(PROGRAM, s.reg_raw(t.RUN_KEY, "Tapwise")[2])
    main, pid = tray_copy("at logon")

    # The limited tray copy counts, saves and changes its settings.
    pad, points = start_limited_click_target()
    t.click_times(points, 3)
    sheet, page = ui.open_sheet(main)
    t.wait_until(lambda: t.text(page, ui.TOTAL_FIELD) == "3", 5, 0.2, "Total to read 3 after three clicks")
    check_eq(1, t.send(main, t.WM_QUERYENDSESSION), "answer to WM_QUERYENDSESSION")
    check(saved_with(CounterCurrentTotal=3), "the total of 3 is not in the person's store after WM_QUERYENDSESSION")
    settings = ui.select_page(sheet, 1)
    t.robot("click", hex(settings), ui.SETTINGS_CONTROLS["Day"])
    ui.answer_box(RESET_QUESTION, "question", ui.IDYES, exclude=[sheet])
    # Windows keeps the person from removing the machine's Run value: the stored
    # choice, which ends the copy that value starts, and the box tell the truth.
    t.robot("click", hex(settings), ui.SETTINGS_CONTROLS["autostart"])
    check_eq(0, autostart_box(settings), "start-with-Windows box after switching it off")
    ui.hide_sheet(sheet)
    stored = t.wait_until(lambda: saved_with(CounterCurrentDay=0, OptionAutostart=0), 10, 0.3,
                          "the reset day and the start-up choice in the person's store")
    check_eq((3, 3), (stored["CounterCurrentTotal"], stored["CounterLastSession"]), "total and session saved")
    check_eq(s.INSTALL_DIR, stored.get("Path"), "\"Path\" recorded by the tray copy")

    # A night: the copy runs again from just before the midnight that ends its day.
    t.send(main, t.WM_CLOSE)
    s.wait_process_end(pid)
    clock = t.ShiftedClock(stored["DateYear"], stored["DateMonth"], stored["DateDay"], 23, 59, 40)
    midnight = clock.real_time(stored["DateYear"], stored["DateMonth"], stored["DateDay"], 23, 59, 59) + 1
    # Start-up is off: the person starts it from the Start menu, which opens its window.
    spawn_limited(PROGRAM, f'"{PROGRAM}"', clock_env(clock))
    main, pid = tray_copy("in the night")
    ui.hide_sheet(ui.wait_sheet())
    t.click_times(points, 2)
    check(time.time() < midnight - 1, "the clicks before midnight came too late")
    store_unix = s.u(store_dir())
    day = t.wait_until(lambda: t.history_lines(store_unix, "Day.txt"), midnight + 5 - time.time(), 0.2,
                       "Day.txt in the person's virtual store")
    check_eq([b"%04d-%02d-%02d\t2\r\n" % (stored["DateYear"], stored["DateMonth"], stored["DateDay"])], day,
             "the person's Day.txt")
    check_eq(1, t.send(main, t.WM_QUERYENDSESSION), "answer to WM_QUERYENDSESSION after midnight")
    check_eq({}, changes(before, machine()), "what the limited copy changed in the machine's registry and files")
    check_eq(sorted(s.INSTALLED_FILES), s.listing(s.INSTALL_DIR), f"files in {s.INSTALL_DIR}")
    person = person_store()
    counts = person["settings"]
    check_eq((0, 2, 5), (counts["CounterCurrentDay"], counts["CounterLastDay"], counts["CounterCurrentTotal"]),
             "day, last day and total in the person's store after midnight")
    check_eq(sorted(untouched["files"] + [os.path.join("Program Files", "Tapwise", "Day.txt")]), person["files"],
             "files in the person's store")

    # An elevated reinstall: the copy asked for closes the tray copy and installs;
    # the person's restarted copy sees the person's counts, not the machine's.
    check_eq([s.INSTALLED_TEXT], limited_setup(s.SETUP_EXE, f'"{s.SETUP_EXE}"', ["IDOK"], clock_env(clock)),
             "the reinstaller's message")
    s.wait_process_end(pid)
    s.check_installation()
    main, pid = tray_copy("after the reinstall")
    sheet, page = ui.open_sheet(main)
    check_eq(("0", "2"), ui.stats_row(ui.fields(page), "Day")[:2], "Day row of the restarted copy")
    check_eq("5", t.text(page, ui.TOTAL_FIELD), "Total of the restarted copy")
    check_eq(0, autostart_box(ui.select_page(sheet, 1)), "start-with-Windows box after the reinstall")
    history = ui.select_page(sheet, 3)
    night = "%04d-%02d-%02d" % (stored["DateYear"], stored["DateMonth"], stored["DateDay"])
    check_eq(f"Best: {night} with 2 clicks. Mean: 2 clicks.", t.text(history, HISTORY_SUMMARY),
             "summary of the History page of the restarted copy")
    ui.hide_sheet(sheet)
    t.post(pad, t.WM_CLOSE)

    # Removal as the person starts it from the list of programs.
    command = s.reg_raw(t.UNINSTALL_KEY, "UninstallString")[2]
    check_eq([s.REMOVE_TEXT, s.REALLY_TEXT],
             limited_setup(command.rpartition(" ")[0].strip('"'), command, ["IDYES", "IDYES"], clock_env(clock)),
             "questions of the removal")
    s.wait_process_end(pid)
    check_eq(0, t.main_window(), "a tray copy after the removal")
    check_eq(untouched, person_store(), "the person's virtual store after the removal, against before the journey")
    check(not s.key_exists("HKCU\\" + STORE_KEY), f"HKCU\\{STORE_KEY} left")
    check(not s.key_exists(s.COMPANY_KEY), f"{s.COMPANY_KEY} left")
    check_eq("NOVALUE", s.reg_raw(t.RUN_KEY, "Tapwise"), "Run value after the removal")
    check(not s.key_exists(t.UNINSTALL_KEY), "uninstall key left")
    check(not s.exists(s.uninstaller()), f"{s.uninstaller()} left under its name")
    s.check_directory_removed(s.INSTALL_DIR, copy_ran=True)


def journey():
    try:
        test_journey_across_tokens()
    finally:
        t.close_copies()
        t.cleanup()
        # Started with the person's token, they are none of cleanup's.
        for exe in ("notepad.exe", "Tapwise.exe", "TWUninst.exe", "TW.exe"):
            for pid in t.processes(exe):
                t.robot("kill", pid)
        s.reset_setup()
        clear_person_store()


journey.__name__ = "test_journey_across_tokens"

if __name__ == "__main__":
    sys.exit(t.run_tests([journey]))
