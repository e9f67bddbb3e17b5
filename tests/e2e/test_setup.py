"""Installing Tapwise end to end. Run under a setup name, the program copies
itself into the program directory, writes out the hook library and the
readme, puts a shortcut on the desktop and a group into the Start menu,
registers itself for start-up and for removal, starts the installed copy and
says so; over an earlier installation, with a copy running and counting, it
closes that copy and replaces everything but the user's start-up choice.

Each scenario begins from a prefix without any trace of Tapwise (checked), and
the run ends by clearing everything again. The helpers here are shared with
test_setup_targets.py and test_setup_uninstall.py.
"""
import hashlib
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
from twlib import check, check_eq  # noqa: E402

INSTALL_DIR = r"C:\Program Files\Tapwise"
SETUP_DIR = r"C:\twsetup"
SETUP_EXE = SETUP_DIR + r"\Tapwise.exe"
# Quoted: Windows starts these as written, and the path has a blank.
RUN_COMMAND = f'"{INSTALL_DIR}\\TW.exe" -Auto'
CURRENT_VERSION_KEY = r"Software\Microsoft\Windows\CurrentVersion"
COMPANY_KEY = r"Software\Orrinwood Software"
INSTALLED_TEXT = ("Tapwise Version 1.2, an incredibly cool app by Orrinwood Media\n"
                  "has been successfully installed on your system.")
HUNG_TEXT = ("Tapwise is running but does not answer, so nothing has been changed.\n"
             "End it (or restart Windows), then try again.")
NEEDS_ADMIN_TEXT = ("Tapwise could not be installed: Windows refused to let it write to the program directory "
                    "or the registry.\nInstalling Tapwise needs administrator rights.")
LIBRARY_IN_USE_TEXT = ('Tapwise could not replace its library "Tapwise.dll", which other programs are using.\n'
                       "Restart Windows, then install Tapwise again.")
FOREIGN_TEXT = ("Tapwise has been removed.\n\nThe folder %s also holds files that are not Tapwise's: "
                "they and the folder were left in place.")
OTHER_COPY_TEXT = ("Tapwise is still running for another person signed in to this PC. "
                   "That copy keeps the old version until the person signs in again.")
REMOVE_TEXT = "Are you sure you want to remove this very cool app?"
REALLY_TEXT = "Really?"
INSTALLED_FILES = ("TW.exe", "Tapwise.dll", "Readme.txt")
CSIDL_PROGRAMS, CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY = 2, 16, 0x17, 25
CSIDL_WINDOWS = 0x24
# Directories that scenarios create besides the install directory.
SCRATCH_DIRS = (SETUP_DIR, r"C:\Apps", r"C:\TW8ch", r"C:\TW9chr")
DRIVE_D_DIR = "tw-drive-d"   # in the prefix: what a scenario maps as D:
DESKTOP_SPOT = (760, 560)   # bare desktop, away from the taskbar and any window the scenarios open


def _bytes(path):
    with open(path, "rb") as f:
        return f.read()


PROGRAM_BYTES = _bytes(os.path.join(t.BIN, "Tapwise.exe"))
LIBRARY_BYTES = _bytes(os.path.join(t.BIN, "Tapwise.dll"))     # what the build put into LIBRARY 113
README_BYTES = _bytes(os.path.join(t.SOURCE, "resources", "Readme.txt"))

_folders = {}
_original_program_files = []


# ---------------------------------------------------------------- places

def folder(csidl):
    if csidl not in _folders:
        path = t.special_folder(csidl)
        check(path, f"the prefix has no special folder {csidl:#x}")
        _folders[csidl] = path
    return _folders[csidl]


def uninstaller():
    return folder(CSIDL_WINDOWS) + r"\TWUninst.exe"


def common_link():
    return folder(CSIDL_COMMON_DESKTOPDIRECTORY) + r"\Tapwise.lnk"


def user_link():
    return folder(CSIDL_DESKTOPDIRECTORY) + r"\Tapwise.lnk"


def group_dir():
    return folder(CSIDL_COMMON_PROGRAMS) + r"\Tapwise"


def dde_group_dir():
    """Where Wine's Program Manager would put a group made over DDE."""
    return folder(CSIDL_PROGRAMS) + r"\Tapwise"


def u(windows_path):
    return t.unix_path(windows_path)


def exists(windows_path):
    return os.path.lexists(u(windows_path))


def listing(windows_dir):
    path = u(windows_dir)
    return sorted(os.listdir(path)) if os.path.isdir(path) else None


def digest(windows_path):
    with open(u(windows_path), "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()[:16]


def check_bytes(windows_path, expected, what):
    check(exists(windows_path), f"{what} {windows_path} is missing")
    with open(u(windows_path), "rb") as f:
        found = f.read()
    if found != expected:
        raise t.Failure(f"{what} {windows_path}: expected {len(expected)} bytes "
                        f"(sha256 {hashlib.sha256(expected).hexdigest()[:16]}), found {len(found)} bytes "
                        f"(sha256 {hashlib.sha256(found).hexdigest()[:16]})")


# ---------------------------------------------------------------- registry

def reg_raw(key, value):
    """(type, size, text) of an HKLM value exactly as stored; 'NOKEY'/'NOVALUE' when absent."""
    out = t.robot("regget", key, value).strip()
    if out in ("NOKEY", "NOVALUE"):
        return out
    kind, size, data = out.split(" ", 2)
    return int(kind), int(size), t._unquote(data)


def key_exists(key):
    return t.robot("regget", key, "-").strip() != "NOKEY"


def check_sz(key, value, expected):
    # REG_SZ whose size counts the terminating zero
    check_eq((1, len(expected) + 1, expected), reg_raw(key, value), f"{key}\\{value}")


def program_files_value():
    return reg_raw(CURRENT_VERSION_KEY, "ProgramFilesDir")


def restore_program_files():
    if not _original_program_files:
        _original_program_files.append(program_files_value())
    original = _original_program_files[0]
    if program_files_value() == original:
        return
    if isinstance(original, tuple):
        check_eq(1, original[0], "type of the prefix's own ProgramFilesDir")
        t.reg_set(CURRENT_VERSION_KEY, "ProgramFilesDir", "sz", original[2])
    else:
        t.reg_delete(CURRENT_VERSION_KEY, "ProgramFilesDir")
    check_eq(original, program_files_value(), "ProgramFilesDir after restoring it")


# ---------------------------------------------------------------- windows

def group_windows():
    """Wine's shell opens a folder window on the group it creates."""
    return [w for w in t.top_windows()
            if w["class"] == "ExplorerWClass" and w["title"].rstrip("\\").split("\\")[-1] == "Tapwise"]


def close_group_windows():
    found = group_windows()
    for w in found:
        t.post(w["hwnd"], t.WM_CLOSE)
    if found:
        t.wait_until(lambda: not group_windows(), 10, what="the group's folder window to close")


def visible_windows_of(pid):
    return [w for w in t.top_windows() if w["pid"] == pid and w["visible"]]


def window_pid(hwnd):
    return int(t.robot("pid", hex(hwnd)).strip() or "0")


mapped_by = t.mapped_by


def library_holders(directory):
    return f"processes mapping its Tapwise.dll: {mapped_by(directory + chr(92) + 'Tapwise.dll')}"


def check_directory_removed(directory, copy_ran=False):
    """An emptied install directory is gone. copy_ran: a copy ran from it, with its mouse hook."""
    left = listing(directory)
    if copy_ran and left and len(left) == 1 and left[0].lower().startswith("tw") and left[0].endswith(".tmp"):
        # Wine loads a global hook's library into each process that gets mouse
        # input while the hook is set, and unloads it only when that process
        # ends; its desktop process outlives the uninstall run by a moment.
        # Whether it got mouse input is up to timing, so the library may
        # survive the run, moved aside; it and the directory must then go at
        # the restart.
        print(f"NOTE: {directory}\\Tapwise.dll kept as {left[0]}", flush=True)
        check_eq([(directory.lower() + "\\" + left[0].lower(), ""), (directory.lower(), "")],
                 [p for p in pending_renames() if p[0].startswith(directory.lower())], "what goes at the next restart")
        return
    check(left is None, f"{directory} left with {left} ({library_holders(directory)})")


SESSION_MANAGER_KEY = r"System\CurrentControlSet\Control\Session Manager"
PENDING = "PendingFileRenameOperations"


def pending_renames():
    """What is to be renamed or deleted at the next restart: (source, target)
    pairs of Windows paths, target "" for a deletion."""
    found = (t.key_values(SESSION_MANAGER_KEY) or {}).get(PENDING)
    if not isinstance(found, tuple):
        return []
    def windows_path(name):   # "\\??\\C:\\x", with "!" first where an existing target is replaced
        name = name.lstrip("!")
        return name[4:] if name.startswith("\\??\\") else name
    names = found[2].decode("utf-16-le").split("\0")
    return [(windows_path(names[i]).lower(), windows_path(names[i + 1]).lower())
            for i in range(0, len(names) - 1, 2) if names[i]]


def clear_pending_renames():
    t.reg_delete(SESSION_MANAGER_KEY, PENDING)


def wait_process_end(pid, ms=10000):
    out = t.robot("wait-exit", pid, ms).strip()
    check(t.robot.rc == 0, f"process {pid} still runs after {ms} ms")
    return out


# ---------------------------------------------------------------- state

def remove(windows_path):
    path = u(windows_path)
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path, ignore_errors=True)
    elif os.path.lexists(path):
        os.remove(path)


def drive_d_link():
    return os.path.join(t.PREFIX, "dosdevices", "d:")


def map_drive_d():
    """Maps D: to a directory of the prefix, unless the prefix has a D: already."""
    if os.path.lexists(drive_d_link()):
        return False
    os.makedirs(os.path.join(t.PREFIX, DRIVE_D_DIR), exist_ok=True)
    os.symlink("../" + DRIVE_D_DIR, drive_d_link())
    return True


def unmap_drive_d():
    """Removes a D: that map_drive_d made, with everything on it."""
    if os.path.islink(drive_d_link()) and os.readlink(drive_d_link()) == "../" + DRIVE_D_DIR:
        os.remove(drive_d_link())
    shutil.rmtree(os.path.join(t.PREFIX, DRIVE_D_DIR), ignore_errors=True)


def reset_setup():
    """Ends every Tapwise process and removes every trace of an installation; checks the result."""
    t.close_copies()
    t.cleanup()
    close_group_windows()
    restore_program_files()
    unmap_drive_d()
    t.reset_store()
    clear_pending_renames()
    places = [INSTALL_DIR, group_dir(), dde_group_dir(), uninstaller(), common_link(), user_link()] + list(SCRATCH_DIRS)
    for p in places:
        remove(p)
    left = [p for p in places if exists(p)]
    check(not left, f"left after the reset: {left}")
    for key in (t.SETTINGS_KEY, t.UNINSTALL_KEY):
        check(not key_exists(key), f"key {key} left after the reset")
    check_eq("NOVALUE", reg_raw(t.RUN_KEY, "Tapwise"), "Run value after the reset")
    check(not t.main_window(), "a Tapwise copy still runs after the reset")


def run_installer(expect_copy=True):
    """Runs the program under its setup name up to its final message.

    Returns what was seen while the message showed: its window and text, the
    installed copy's window, process and program file."""
    os.makedirs(u(SETUP_DIR), exist_ok=True)
    with open(u(SETUP_EXE), "wb") as f:
        f.write(PROGRAM_BYTES)
    proc = t.start([SETUP_EXE])
    box = t.wait_window("#32770", t.TITLE, 30000)
    check(box, "the installer showed no message")
    seen = {"proc": proc, "box": box, "main": t.wait_main_window(15000) if expect_copy else t.main_window()}
    seen["box_still_up"] = t.find("#32770", t.TITLE) == box
    if seen["main"]:
        seen["pid"] = window_pid(seen["main"])
        seen["image"] = t.process_image(seen["pid"])
    seen["text"] = t.answer(t.TITLE, "IDOK")
    seen["exit"] = t.wait_exit(proc, 15)
    return seen


def install_ok():
    """A complete install run with its checks of the message and the started copy."""
    seen = run_installer()
    check_eq(INSTALLED_TEXT, seen["text"], "text of the installer's final message")
    check_eq(0, seen["exit"], "exit code of the install run")
    check(seen["main"], "no installed copy (window class Orrinwood-Tapwise) ran while the final message showed")
    check(seen["box_still_up"], "the final message went away before the installed copy was seen")
    return seen


def check_link_fields(windows_path, target, workdir, description, args=""):
    link = t.read_link(windows_path)
    check(link is not None, f"{windows_path} cannot be read as a shell link")
    found = {k: link[k] for k in ("path", "args", "workdir", "description")}
    expected = {"path": target, "args": args, "workdir": workdir, "description": description}
    if workdir is None:
        del found["workdir"], expected["workdir"]
    check_eq(expected, found, f"fields of {windows_path} read by the shell link object")


def lnkinfo(windows_path):
    """Fields of a link file as the native liblnk tool reads it."""
    out = subprocess.run(["lnkinfo", u(windows_path)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         timeout=30, check=False).stdout.decode("latin-1")
    fields = {}
    for line in out.splitlines():
        name, sep, value = line.strip().partition(":")
        if sep and name.strip() in ("Local path", "Working directory", "Description", "Command line arguments"):
            fields[name.strip()] = value.strip()
    return fields


def check_group(program, readme):
    """The group's links in the Start menu of all users, written by setup itself: no
    message has to come back from the shell, which Windows would not pass to an
    elevated installer."""
    check_eq(["Readme.lnk", "Tapwise.lnk", "Uninstall Tapwise.lnk"], listing(group_dir()), f"group {group_dir()}")
    check_eq(None, listing(dde_group_dir()), "a group made over DDE")
    directory = program.rpartition("\\")[0]
    check_link_fields(group_dir() + r"\Tapwise.lnk", program, directory, "Tapwise")
    check_link_fields(group_dir() + r"\Readme.lnk", readme, directory, "Readme")
    check_link_fields(group_dir() + r"\Uninstall Tapwise.lnk", uninstaller(), folder(CSIDL_WINDOWS),
                      "Uninstall Tapwise", "-Uninst")
    check_eq((uninstaller(), 1), t.read_link(group_dir() + r"\Uninstall Tapwise.lnk").get("icon"),
             "icon of the uninstaller's link")


def check_installation(directory=INSTALL_DIR):
    """Files, registry entries, shortcut and group of a completed installation in directory."""
    program = directory + r"\TW.exe"
    check_eq(sorted(INSTALLED_FILES), listing(directory), f"files in {directory}")
    check_bytes(program, PROGRAM_BYTES, "installed program")
    check_bytes(uninstaller(), PROGRAM_BYTES, "uninstaller")
    check_bytes(directory + r"\Tapwise.dll", LIBRARY_BYTES, "hook library (resource LIBRARY 113)")
    check_bytes(directory + r"\Readme.txt", README_BYTES, "readme (resource TEXT 116)")
    check_sz(t.UNINSTALL_KEY, "DisplayName", t.TITLE)
    check_sz(t.UNINSTALL_KEY, "UninstallString", f'"{uninstaller()}" -Uninst')
    files = (program, uninstaller(), directory + r"\Tapwise.dll", directory + r"\Readme.txt")
    check_eq((sum(os.path.getsize(u(p)) for p in files) + 1023) // 1024, t.reg_number("EstimatedSize", t.UNINSTALL_KEY),
             "EstimatedSize in KiB")
    check(exists(common_link()), f"no shortcut {common_link()} on the desktop of all users")
    check(not exists(user_link()), f"a shortcut {user_link()} was also put on the user's own desktop")
    check_link_fields(common_link(), program, directory, "Tapwise")
    check_eq({"Local path": program, "Working directory": directory, "Description": "Tapwise"},
             lnkinfo(common_link()), "lnkinfo of the desktop shortcut")
    check_group(program, directory + r"\Readme.txt")


# ---------------------------------------------------------------- scenarios

def test_install_fresh():
    reset_setup()
    t.reg_set("HKCU\\" + t.RUN_KEY, "Tapwise", "sz", "left from a time without administrator rights")
    seen = install_ok()
    check_eq("NOVALUE", reg_raw("HKCU\\" + t.RUN_KEY, "Tapwise"), "the person's own Run value beside the machine's")
    check_eq(INSTALL_DIR + r"\TW.exe", seen["image"], "program file of the copy started by the installer")
    check_installation()
    check_sz(t.RUN_KEY, "Tapwise", RUN_COMMAND)
    check_eq(1, t.reg_number("OptionAutostart"), "OptionAutostart written when absent")
    check(t.find(t.MAIN_CLASS) == seen["main"], "the installed copy ended after the install run")
    # Started with -Auto: tray only, no statistics window.
    check_eq([], visible_windows_of(seen["pid"]), "visible windows of the installed copy")

    # At logon Windows starts the Run value exactly as stored, with no quotes added.
    t.close_copies()
    pid = t.spawn(INSTALL_DIR + r"\TW.exe", reg_raw(t.RUN_KEY, "Tapwise")[2])
    check(t.wait_main_window(15000), "no main window after starting the Run value as stored")
    check(t.wait_window("#32770", t.TITLE, 2500) == 0, "the Run value's start opened the statistics window")
    check_eq([], visible_windows_of(int(pid)), "visible windows of the copy started from the Run value")


def test_reinstall_over_running_counting_copy():
    reset_setup()
    seeded, clicks = 5000, 4
    t.reg_set(t.SETTINGS_KEY, "CounterCurrentTotal", "dword", seeded)
    first = install_ok()
    check_sz(t.RUN_KEY, "Tapwise", RUN_COMMAND)
    for _ in range(clicks):
        t.click_at(*DESKTOP_SPOT)
        time.sleep(0.3)   # apart, so that no two make a double-click
    # The user switched start-up off; a reinstallation must keep that.
    t.reg_set(t.SETTINGS_KEY, "OptionAutostart", "dword", 0)
    # Stale files to see them written again. Replaced rather than truncated:
    # the library is mapped by the running copy and, once the hook ran there,
    # by Wine's desktop process, which never lets it go; how the installer
    # replaces a library in use is the next scenario's subject.
    for path in (INSTALL_DIR + r"\Tapwise.dll", INSTALL_DIR + r"\Readme.txt", uninstaller()):
        os.remove(u(path))
        with open(u(path), "wb") as f:
            f.write(b"stale")
    old_stamp = os.stat(u(INSTALL_DIR + r"\TW.exe")).st_mtime_ns

    second = install_ok()
    check(second["pid"] != first["pid"], "the copy running after the reinstallation is still the old one")
    wait_process_end(first["pid"])
    total = t.reg_number("CounterCurrentTotal")
    print(f"NOTE: CounterCurrentTotal {total} after {seeded} seeded and {clicks} clicks", flush=True)
    check(total is not None and total >= seeded + clicks,
          f"CounterCurrentTotal saved by the closed copy: expected >= {seeded + clicks}, found {total}")
    check_eq(0, t.reg_number("OptionAutostart"), "OptionAutostart after the reinstallation")
    check_eq("NOVALUE", reg_raw(t.RUN_KEY, "Tapwise"), "Run value with start-up switched off")
    check(os.stat(u(INSTALL_DIR + r"\TW.exe")).st_mtime_ns != old_stamp, "TW.exe was not written again")
    check_installation()
    check_eq(INSTALL_DIR + r"\TW.exe", second["image"], "program file of the newly started copy")

    # A copy that no longer answers (stopped from outside): the installer gives
    # up within a minute with a message and changes nothing.
    stopped = t.mapping_pids(INSTALL_DIR + r"\TW.exe")
    check(len(stopped) == 1, f"Linux processes running {INSTALL_DIR}\\TW.exe: {stopped}")
    stale = {INSTALL_DIR + r"\Readme.txt": b"stale", uninstaller(): b"stale"}
    for path, data in stale.items():
        os.remove(u(path))
        with open(u(path), "wb") as f:
            f.write(data)
    t.reg_set(t.RUN_KEY, "Tapwise", "sz", "stale")
    t.reg_set(t.UNINSTALL_KEY, "UninstallString", "sz", "stale")
    program_stamp = os.stat(u(INSTALL_DIR + r"\TW.exe")).st_mtime_ns
    os.kill(stopped[0], signal.SIGSTOP)
    try:
        os.makedirs(u(SETUP_DIR), exist_ok=True)
        started = time.time()
        proc = t.start([SETUP_EXE])
        box = t.wait_window("#32770", t.TITLE, 55000)
        check(box, "no message within a minute from the installer facing a stopped copy")
        print(f"NOTE: the installer's message came after {time.time() - started:.1f} s", flush=True)
        check_eq(HUNG_TEXT, t.answer(t.TITLE, "IDOK"), "the installer's message facing a stopped copy")
        check_eq(0, t.wait_exit(proc, 15), "exit code of the install run facing a stopped copy")
        for path, data in stale.items():
            check_bytes(path, data, "file left alone by the refused install run:")
        check_eq(program_stamp, os.stat(u(INSTALL_DIR + r"\TW.exe")).st_mtime_ns, "time stamp of TW.exe")
        check_sz(t.RUN_KEY, "Tapwise", "stale")
        check_sz(t.UNINSTALL_KEY, "UninstallString", "stale")
    finally:
        os.kill(stopped[0], signal.SIGCONT)


def balloons():
    """Wine's shell shows a balloon as a tooltip window."""
    return [w for w in t.top_windows() if w["class"] == "tooltips_class32" and w["visible"]
            and w["title"].startswith("Tapwise is counting your clicks.")]


def hold_library(path):
    """A process that keeps the library at path mapped, as every program the
    hook reached does; returns it once the mapping is seen."""
    proc = t.start([os.path.join(t.TEST_BIN, "robot.exe"), "hold", path, "300000"])
    t.wait_until(lambda: mapped_by(path), 15, what=f"a process mapping {path}")
    return proc


def put_older_library():
    """An older library in the install directory, other bytes than the one the
    program carries: a real image with both exports, so that it can be loaded
    and the copy the installer starts runs (a library without them would leave
    that copy showing its message)."""
    library = INSTALL_DIR + r"\Tapwise.dll"
    older = _bytes(os.path.join(t.TEST_BIN, "..", "benchbin", "nullhook.dll"))
    check(older != LIBRARY_BYTES, "the stand-in for an older library has the new library's bytes")
    os.remove(u(library))
    with open(u(library), "wb") as f:
        f.write(older)
    return library, older


def test_reinstall_replaces_a_library_and_a_program_in_use():
    # Every program the hook reached maps the library, and another person's copy maps TW.exe:
    # both are moved aside for the restart, the processes run on from the new names, and the
    # message says that the other copy keeps the old version.
    reset_setup()
    install_ok()
    t.close_copies()
    library, older = put_older_library()
    program = INSTALL_DIR + r"\TW.exe"
    holders = [hold_library(library), hold_library(program)]
    seen = run_installer()
    check_eq(INSTALLED_TEXT + "\n\n" + OTHER_COPY_TEXT, seen["text"], "text of the installer's final message")
    check_bytes(library, LIBRARY_BYTES, "hook library after a reinstallation over one in use")
    check_bytes(program, PROGRAM_BYTES, "installed program")
    aside = [n for n in listing(INSTALL_DIR) if n not in INSTALLED_FILES]
    check_eq(2, len(aside), f"files besides {INSTALLED_FILES} in {INSTALL_DIR}")
    check_eq(sorted((INSTALL_DIR + "\\" + n).lower() for n in aside), sorted(p for p, _ in pending_renames()),
             "files to go at the next restart")
    check(older in [_bytes(u(INSTALL_DIR + "\\" + n)) for n in aside], "the older library was not moved aside")
    check(all(h.poll() is None for h in holders), "a process holding the older files ended")
    check(all(mapped_by(INSTALL_DIR + "\\" + n) for n in aside), "the older files are not mapped under their new names")


def test_reinstall_says_so_when_the_library_stays_old():
    # Held open without leave to rename it, the older library can neither be
    # overwritten nor moved aside: the final message must not claim success.
    reset_setup()
    install_ok()
    t.close_copies()
    library, older = put_older_library()
    t.start([os.path.join(t.TEST_BIN, "robot.exe"), "hold", library, "300000", "open"])
    time.sleep(1)
    seen = run_installer(expect_copy=False)
    check_eq(LIBRARY_IN_USE_TEXT, seen["text"], "text of the installer's final message")
    check_eq(0, seen["exit"], "exit code of the install run")
    check_bytes(library, older, "the older library, kept whole")
    check_eq(sorted(INSTALLED_FILES), listing(INSTALL_DIR), f"files in {INSTALL_DIR}")
    check_eq([], pending_renames(), "files to go at the next restart")


def test_limited_install_asks_once_and_a_failed_one_restarts_the_copy():
    # Limited, it asks once through "runas" (Wine's copy, limited too, must not
    # ask again); the tray copy is the person's, started by the first.
    reset_setup()
    os.makedirs(u(SETUP_DIR), exist_ok=True)
    with open(u(SETUP_EXE), "wb") as f:
        f.write(PROGRAM_BYTES)
    # The person's own Run value goes, by the person's own copy.
    t.reg_set("HKCU\\" + t.RUN_KEY, "Tapwise", "sz", "left from a time without administrator rights")
    first = int(t.spawn(SETUP_EXE, f'"{SETUP_EXE}"', "limited"))
    check(t.wait_window("#32770", t.TITLE, 30000), "no final message of the limited install")
    main = t.wait_main_window(15000)
    setups = t.processes("Tapwise.exe")
    check_eq(3, setups.get(first, (0, 0))[1], "elevation type of the limited installer")
    check_eq([first], [parent for p, (parent, _) in setups.items() if p != first], "parents of its other copies")
    check_eq((first, 3), t.processes("TW.exe").get(int(window_pid(main))), "parent and token of the tray copy")
    check_eq(INSTALLED_TEXT, t.answer(t.TITLE, "IDOK"), "final message of the copy asked for")
    check_eq("0", t.robot("wait-exit", first, 15000).strip(), "exit code of the limited installer")
    t.wait_until(balloons, 10, 0.3, "the balloon of the installed copy's first start")
    check_eq("NOVALUE", reg_raw("HKCU\\" + t.RUN_KEY, "Tapwise"), "the person's own Run value after the install")

    # A refused program file after the running copy was closed: the person
    # hears that rights are missing, and the closed copy runs again.
    subprocess.run(["chattr", "+i", u(INSTALL_DIR + r"\TW.exe")], check=True)
    try:
        t.close_copies()
        t.spawn(INSTALL_DIR + r"\TW.exe", f'"{INSTALL_DIR}\\TW.exe" -Auto', "limited")
        main = t.wait_main_window(15000)
        first = int(t.spawn(SETUP_EXE, f'"{SETUP_EXE}"', "limited"))
        check_eq(NEEDS_ADMIN_TEXT, t.answer(t.TITLE, "IDOK", 30000), "message of the refused install")
        check_eq("0", t.robot("wait-exit", first, 15000).strip(), "exit code of the limited installer")
        again = t.wait_main_window(15000)
        check(main and again and again != main, "the closed copy did not run again")
        # It was not just installed: no balloon says where it went.
        time.sleep(4)
        check_eq([], balloons(), "balloons of the copy started again after the refused install")
    finally:
        subprocess.run(["chattr", "-i", u(INSTALL_DIR + r"\TW.exe")])


def test_cleanup_leaves_no_trace():
    reset_setup()


TESTS = [
    test_install_fresh,
    test_reinstall_over_running_counting_copy,
    test_reinstall_replaces_a_library_and_a_program_in_use,
    test_reinstall_says_so_when_the_library_stays_old,
    test_limited_install_asks_once_and_a_failed_one_restarts_the_copy,
    test_cleanup_leaves_no_trace,
]


def run(tests):
    """run_tests, with every copy closed in order after each scenario: its cleanup
    kills what is left, and a killed copy's hook would linger."""
    def closing(fn):
        def scenario():
            try:
                fn()
            finally:
                t.close_copies()
        scenario.__name__ = fn.__name__
        return scenario
    return t.run_tests([closing(fn) for fn in tests])


if __name__ == "__main__":
    sys.exit(run(TESTS))
