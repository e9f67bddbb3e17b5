"""Removing Tapwise end to end: the uninstaller copy in the Windows directory,
started with "-Uninst" as the recorded "UninstallString" says, asks twice and
then closes the running copy and removes the shortcut, the group, the start-up
and uninstall entries, the settings and the files of the recorded "Path":
all plain files in the installer's own directory, only Tapwise's own files
anywhere else, nothing when the path is 8 characters or shorter.

Most scenarios lay out an installation directly (files and registry entries
as the installer writes them), which is faster than an install run and lets
"Path" point anywhere; one removes a real installation.
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
from twlib import check, check_eq  # noqa: E402
import test_setup as s  # noqa: E402

OWN_FILES = ("TW.exe", "Tapwise.dll", "Readme.txt", "Day.txt", "Month.txt", "Year.txt")
# What a run of Tapwise writes wherever it is started; a readme there is someone else's.
RUN_FILES = ("TW.exe", "Tapwise.dll", "Day.txt", "Month.txt", "Year.txt")
STAYED_TEXT = ("Tapwise has been removed, but these parts of it could not be removed:\n\n%s\n\n"
               "Removing them may need administrator rights.")
FOREIGN_TEXT = s.FOREIGN_TEXT % s.INSTALL_DIR
STORE = t.special_folder(0x1c) + r"\VirtualStore\Program Files\Tapwise"   # CSIDL_LOCAL_APPDATA
STORED = [r"HKCU\Software\Classes\VirtualStore\MACHINE\SOFTWARE" + node + r"\Orrinwood Software\Tapwise"
          for node in ("", r"\WOW6432Node")]
OTHER_PROFILE = r"Software\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-0-0-0-1001"
OTHERS_TEXT = ("Other people who use Tapwise on this PC keep their counts and history: these live in each "
               "person's own profile, which this removal does not touch.")
HISTORY = {"Day.txt": b"2024\t1\t5\t17\r\n", "Month.txt": b"2024\t1\t340\r\n", "Year.txt": b"2023\t9000\r\n"}


def write(windows_path, data):
    os.makedirs(os.path.dirname(s.u(windows_path)), exist_ok=True)
    with open(s.u(windows_path), "wb") as f:
        f.write(data)


def lay_out_installation(path=s.INSTALL_DIR, extra=None):
    """An installation in C:\\Program Files\\Tapwise as the installer leaves it, with
    history files; "Path" set to `path` (None: no "Path" value)."""
    files = {"TW.exe": s.PROGRAM_BYTES, "Tapwise.dll": s.LIBRARY_BYTES, "Readme.txt": s.README_BYTES}
    files.update(HISTORY)
    files.update(extra or {})
    for name, data in files.items():
        write(s.INSTALL_DIR + "\\" + name, data)
    write(s.uninstaller(), s.PROGRAM_BYTES)
    write(s.common_link(), b"shortcut")
    for item in ("Tapwise", "Readme", "Uninstall Tapwise"):
        write(s.group_dir() + "\\" + item + ".lnk", b"item")
    values = [(t.RUN_KEY, "Tapwise", s.INSTALL_DIR + r"\TW.exe -Auto"),
              (t.UNINSTALL_KEY, "DisplayName", t.TITLE),
              (t.UNINSTALL_KEY, "UninstallString", s.uninstaller() + " -Uninst"),
              (t.SETTINGS_KEY, "OptionAutostart", 1),
              (t.SETTINGS_KEY, "CounterCurrentTotal", 1234)]
    if path is not None:
        values.append((t.SETTINGS_KEY, "Path", path))
    import_values(values)


def import_values(values):
    """Writes HKLM values (str: REG_SZ, int: REG_DWORD) in one run of regedit."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, name, data in values:
        lines.append(f"[HKEY_LOCAL_MACHINE\\{key}]")
        if isinstance(data, int):
            lines.append(f'"{name}"=dword:{data:08x}')
        else:
            lines.append('"{}"="{}"'.format(name, data.replace("\\", "\\\\").replace('"', '\\"')))
        lines.append("")
    file = r"C:\twsetup-values.reg"
    with open(s.u(file), "w", encoding="latin-1", newline="\r\n") as f:
        f.write("\n".join(lines))
    try:
        rc, out = t.run(["regedit", "/S", file], timeout=60)
        check_eq(0, rc, f"regedit import ({out.strip()})")
    finally:
        os.remove(s.u(file))
    # Whole file or nothing: one value of each of the two keys that removal must empty
    # shows that it arrived (the uninstall key is read to start the uninstaller).
    checked = set()
    for key, name, data in values[::-1]:
        if key in (t.RUN_KEY, t.SETTINGS_KEY) and key not in checked:
            checked.add(key)
            found = t.reg_get(key, name)
            check(found and found[1] == data, f"{key}\\{name} after the import: {found}")


def fill(windows_dir, names):
    for name in names:
        write(windows_dir + "\\" + name, b"data of " + name.encode())


def snapshot():
    return {
        "install dir": {n: s.digest(s.INSTALL_DIR + "\\" + n) for n in s.listing(s.INSTALL_DIR) or []},
        "uninstaller": s.exists(s.uninstaller()),
        "shortcut": s.exists(s.common_link()),
        "group": s.listing(s.group_dir()),
        "run": s.reg_raw(t.RUN_KEY, "Tapwise"),
        "uninstall": s.reg_raw(t.UNINSTALL_KEY, "UninstallString"),
        "path": s.reg_raw(t.SETTINGS_KEY, "Path"),
        "total": s.reg_raw(t.SETTINGS_KEY, "CounterCurrentTotal"),
        "copy": t.main_window(),
    }


def start_uninstaller():
    """Runs the recorded uninstall command as the system's list of programs would:
    the command line exactly as stored. Returns the process id."""
    recorded = s.reg_raw(t.UNINSTALL_KEY, "UninstallString")
    check(isinstance(recorded, tuple), f"no UninstallString to run ({recorded})")
    program = recorded[2].rpartition(" ")[0].strip('"')
    return t.spawn(program, recorded[2])


def uninstall(answers=("IDYES", "IDYES")):
    """Answers the questions in order; returns their texts once the run has ended."""
    pid = start_uninstaller()
    # The first question may wait for Wine to bring up a desktop process first.
    texts = [t.answer(t.TITLE, a, 30000 if i == 0 else 10000) for i, a in enumerate(answers)]
    check_eq("0", t.robot("wait-exit", pid, 20000).strip(), "exit code of the uninstall run")
    check_eq(0, t.find("#32770", t.TITLE), "message box left after the uninstall run")
    return texts


def start_copy():
    proc = t.start([s.INSTALL_DIR + r"\TW.exe", "-Auto"])
    # A loaded machine can take a while to bring a Wine program up.
    main = t.wait_main_window(30000)
    check(main, "the installed copy did not start")
    return proc, main


def check_removed_entries():
    check(not s.exists(s.common_link()), f"shortcut {s.common_link()} left")
    check(not s.exists(s.user_link()), f"shortcut {s.user_link()} left")
    check_eq(None, s.listing(s.group_dir()), "group folder after removal")
    check_eq("NOVALUE", s.reg_raw(t.RUN_KEY, "Tapwise"), "Run value after removal")
    check(not s.key_exists(t.UNINSTALL_KEY), "uninstall key left")
    check(not s.key_exists(t.SETTINGS_KEY), "settings key left")
    check(not s.key_exists(s.COMPANY_KEY), f"{s.COMPANY_KEY} left empty")
    # The running uninstaller's own file goes at the restart, moved aside.
    check(not s.exists(s.uninstaller()), f"{s.uninstaller()} left under its name")
    windows = s.uninstaller().lower().rpartition("\\")[0]
    check([p for p, _ in s.pending_renames() if p.rpartition("\\")[0] == windows and p.endswith(".tmp")],
          f"the uninstaller is not to go at the restart ({s.pending_renames()})")


def library_holders():
    return s.library_holders(s.INSTALL_DIR)


# ---------------------------------------------------------------- scenarios

def test_no_at_first_question_changes_nothing():
    s.reset_setup()
    lay_out_installation()
    start_copy()
    before = snapshot()
    # Only one question is answered: a second one would keep the run from ending.
    check_eq([s.REMOVE_TEXT], uninstall(("IDNO",)), "questions asked")
    check_eq(before, snapshot(), "installation after No to the first question")


def test_yes_then_no_changes_nothing():
    s.reset_setup()
    lay_out_installation()
    start_copy()
    before = snapshot()
    check_eq([s.REMOVE_TEXT, s.REALLY_TEXT], uninstall(("IDYES", "IDNO")), "questions asked")
    check_eq(before, snapshot(), "installation after Yes and No")


def test_removes_a_real_installation():
    s.reset_setup()
    seen = s.install_ok()
    t.wait_until(lambda: t.reg_get(t.SETTINGS_KEY, "Path"), 10, what='"Path" of the installed copy')
    fill(s.INSTALL_DIR, HISTORY)
    check_eq([s.REMOVE_TEXT, s.REALLY_TEXT], uninstall(), "questions asked")
    s.wait_process_end(seen["pid"], 1000)
    check_eq(0, t.main_window(), "a Tapwise copy after removal")
    check_removed_entries()
    s.check_directory_removed(s.INSTALL_DIR, copy_ran=True)
    check_eq([], s.group_windows(), "folder windows opened by removing the group")


def test_subdirectory_keeps_the_directory():
    s.reset_setup()
    lay_out_installation()
    write(s.INSTALL_DIR + r"\sub\keep.txt", b"kept")
    # An older version's group, made over DDE in the person's Start menu, holding a link of someone else's.
    for item in ("Tapwise", "Readme", "Other"):
        write(s.dde_group_dir() + "\\" + item + ".lnk", b"item")
    check_eq(FOREIGN_TEXT, uninstall(("IDYES", "IDYES", "IDOK"))[2], "message naming the folder kept")
    check_removed_entries()
    check_eq(["sub"], s.listing(s.INSTALL_DIR), f"contents of {s.INSTALL_DIR} ({library_holders()})")
    check_eq(["keep.txt"], s.listing(s.INSTALL_DIR + r"\sub"), "contents of the sub-directory")
    check_eq(["Other.lnk", "Readme.lnk", "Tapwise.lnk"], s.listing(s.dde_group_dir()), "an older group with another link")


def test_dot_file_keeps_the_directory():
    s.reset_setup()
    lay_out_installation(extra={".keep": b"kept", "Tw1f.tmp": b"moved aside"})
    for item in ("Tapwise", "Readme", "Uninstall Tapwise"):
        write(s.dde_group_dir() + "\\" + item + ".lnk", b"item")
    check_eq(FOREIGN_TEXT, uninstall(("IDYES", "IDYES", "IDOK"))[2], "message naming the folder kept")
    check_removed_entries()
    check_eq([".keep"], s.listing(s.INSTALL_DIR), f"contents of {s.INSTALL_DIR} ({library_holders()})")
    check_eq(None, s.listing(s.dde_group_dir()), "an older group holding only Tapwise's links")


def test_install_path_compared_without_case():
    s.reset_setup()
    # A person's own file in the installer's directory is theirs: it stays, and is named.
    lay_out_installation(path=r"c:\program files\TAPWISE", extra={"notes.txt": b"user's"})
    check_eq(FOREIGN_TEXT, uninstall(("IDYES", "IDYES", "IDOK"))[2], "message naming the folder kept")
    check_removed_entries()
    check_eq(["notes.txt"], s.listing(s.INSTALL_DIR), f"contents of {s.INSTALL_DIR}")


def redirect_path_and_counts():
    """What Windows leaves where every tray copy ran limited: "Path", the counts and a
    history file only in the person's redirected store, which an elevated copy never sees."""
    fill(STORE, ["Day.txt", "notes.txt"])
    for key in STORED:
        t.reg_set(key, "Path", "sz", s.INSTALL_DIR)
        t.reg_set(key, "CounterCurrentTotal", "dword", 5)


def test_redirected_state_is_removed_and_a_refused_link_named():
    s.reset_setup()
    lay_out_installation(path=None)
    redirect_path_and_counts()
    # A second person with a profile on this PC, whose counts no removal of ours reaches.
    t.reg_set(OTHER_PROFILE, "ProfileImagePath", "sz", r"C:\users\other")
    subprocess.run(["chattr", "+i", s.u(s.common_link())], check=True)
    try:
        texts = uninstall(("IDYES", "IDYES", "IDOK"))
    finally:
        subprocess.run(["chattr", "-i", s.u(s.common_link())])
        t.reg_delete(OTHER_PROFILE)
    check_eq(STAYED_TEXT % s.common_link() + "\n\n" + OTHERS_TEXT, texts[2], "message naming what stayed")
    os.remove(s.u(s.common_link()))
    check_removed_entries()
    s.check_directory_removed(s.INSTALL_DIR)
    check_eq(["notes.txt"], s.listing(STORE), "the person's redirected install directory")
    check_eq(["NOKEY", "NOKEY"], [s.reg_raw(k, "Path") for k in STORED], "the person's redirected settings keys")
    check_eq([], [k for k in STORED if s.key_exists(k.rpartition("\\")[0])], "the person's emptied vendor keys")
    shutil.rmtree(s.u(STORE))


def test_short_path_keeps_its_files():
    short = r"C:\TW8ch"   # 8 characters: the longest "Path" that is left alone
    names = ["TW.exe", "Day.txt", "other.txt"]
    s.reset_setup()
    lay_out_installation(path=short)
    fill(short, names)
    uninstall()
    check_removed_entries()
    check_eq(sorted(names), s.listing(short), f'contents of {short} ("Path" of {len(short)} characters)')
    s.check_directory_removed(s.INSTALL_DIR)


def test_foreign_path_loses_only_own_files():
    foreign = r"C:\TW9chr"   # 9 characters: just past the length guard, and not the install directory
    s.reset_setup()
    lay_out_installation(path=foreign)
    fill(foreign, list(OWN_FILES) + ["other.txt", "TW.ini"])
    uninstall()
    check_removed_entries()
    check_eq(sorted(set(OWN_FILES) - set(RUN_FILES)) + ["TW.ini", "other.txt"], s.listing(foreign),
             f"contents of {foreign} after removal")
    s.check_directory_removed(s.INSTALL_DIR)   # the installed copy goes too, never silently left


def test_library_in_use_goes_at_the_restart():
    # Every program the hook reached keeps the library mapped, and a mapped
    # image cannot be deleted: it and then the directory are left to the restart.
    s.reset_setup()
    lay_out_installation()
    library = s.INSTALL_DIR + r"\Tapwise.dll"
    s.hold_library(library)
    uninstall()
    check_removed_entries()
    aside = s.listing(s.INSTALL_DIR)
    check(len(aside) == 1 and aside[0].lower().startswith("tw") and aside[0].lower().endswith(".tmp"),
          f"contents of {s.INSTALL_DIR} with its library in use: {aside}")
    check_eq([(s.INSTALL_DIR.lower() + "\\" + aside[0].lower(), ""), (s.INSTALL_DIR.lower(), "")],
             s.pending_renames()[:2], "what goes at the next restart")


def test_reinstall_before_the_restart_survives_it():
    # What is in use goes at the restart under a name no install uses again, and an
    # install cancels what an older removal left due under its own names.
    s.reset_setup()
    s.install_ok()
    t.close_copies()
    holder = s.hold_library(s.INSTALL_DIR + r"\Tapwise.dll")
    uninstall()
    due = s.pending_renames()
    taken = [p for p, _ in due if p.endswith(("\\tapwise.dll", "\\twuninst.exe"))]
    check_eq([], taken, f"deletions due at the restart under names an install uses ({due})")
    check(len(due) >= 2, f"the library and the uninstaller in use are to go at the restart ({due})")
    # As an older removal left it: the uninstaller's own name due for deletion.
    pairs = [(s.uninstaller(), ""), ("C:\\other.tmp", "")] + due
    t.reg_set(s.SESSION_MANAGER_KEY, s.PENDING, 7,
              ("".join(f"\\??\\{a}\0{b}\0" for a, b in pairs) + "\0").encode("latin-1").hex())
    s.install_ok()
    check_eq([("c:\\other.tmp", "")] + [d for d in due if d[0] != s.INSTALL_DIR.lower()], s.pending_renames(),
             "deletions due after the install")
    t.close_copies()
    t.kill_hard(holder)
    check_eq(0, t.run(["wineboot", "-r"], timeout=120)[0], "exit code of the restart")
    s.check_installation()
    _, _, points = t.start_click_target()
    proc, main = start_copy()
    t.click_times(points, 3)
    time.sleep(0.3)
    check_eq(1, t.send(main, t.WM_QUERYENDSESSION), "answer to WM_QUERYENDSESSION")
    check_eq(3, t.reg_number("CounterCurrentDay"), "clicks counted after the restart")
    uninstall()
    check_removed_entries()
    t.close_copies()


def test_windows_directory_as_path_keeps_its_files():
    s.reset_setup()
    windows = s.folder(s.CSIDL_WINDOWS)
    lay_out_installation(path=windows)
    before = s.listing(windows)
    own = sorted(set(n.lower() for n in before) & set(n.lower() for n in OWN_FILES))
    check_eq([], own, f"files of Tapwise's names in {windows} before the run")
    uninstall()
    check_removed_entries()
    after = s.listing(windows)
    # The running uninstaller alone goes, moved aside for the restart.
    check_eq(["TWUninst.exe"], sorted(set(before) - set(after)), f"files gone from {windows}")


def test_limited_uninstall_asks_once_and_clears_what_windows_redirected():
    # The copy asked for removes the machine's items; the limited one that asked clears
    # the person's redirected copies and names what stayed (a refused Run value).
    s.reset_setup()
    lay_out_installation(path=None)
    redirect_path_and_counts()
    t.reg_set("HKCU\\" + t.RUN_KEY, "Tapwise", "dword", 1)
    t.keylock("lock", t.RUN_KEY)
    try:
        first = int(t.spawn(s.uninstaller(), s.reg_raw(t.UNINSTALL_KEY, "UninstallString")[2], "limited"))
        check(t.wait_window("#32770", t.TITLE, 30000), "no question from the limited uninstaller")
        check_eq([first], [parent for p, (parent, _) in t.processes("TWUninst.exe").items() if p != first],
                 "parents of the limited uninstaller's other copies")
        check_eq([s.REMOVE_TEXT, s.REALLY_TEXT], [t.answer(t.TITLE, "IDYES") for _ in range(2)], "questions asked")
        check_eq(STAYED_TEXT % f"HKEY_LOCAL_MACHINE\\{t.RUN_KEY}\\Tapwise", t.answer(t.TITLE, "IDOK", 20000),
                 "message naming what stayed")
        check_eq("0", t.robot("wait-exit", first, 20000).strip(), "exit code of the limited uninstaller")
    finally:
        t.keylock("unlock", t.RUN_KEY)
    check_eq(["notes.txt"], s.listing(STORE), "the person's redirected install directory")
    check_eq(["NOKEY", "NOKEY", "NOVALUE"], [s.reg_raw(k, "Path") for k in STORED] + [s.reg_raw("HKCU\\" + t.RUN_KEY, "Tapwise")],
             "the person's redirected settings keys and Run value")
    check(not s.key_exists(t.UNINSTALL_KEY), "uninstall key left")
    s.check_directory_removed(s.INSTALL_DIR)
    shutil.rmtree(s.u(STORE))


def test_cleanup_leaves_no_trace():
    s.reset_setup()


TESTS = [
    test_no_at_first_question_changes_nothing,
    test_yes_then_no_changes_nothing,
    test_removes_a_real_installation,
    test_subdirectory_keeps_the_directory,
    test_dot_file_keeps_the_directory,
    test_install_path_compared_without_case,
    test_redirected_state_is_removed_and_a_refused_link_named,
    test_short_path_keeps_its_files,
    test_foreign_path_loses_only_own_files,
    test_library_in_use_goes_at_the_restart,
    test_reinstall_before_the_restart_survives_it,
    test_windows_directory_as_path_keeps_its_files,
    test_limited_uninstall_asks_once_and_clears_what_windows_redirected,
    test_cleanup_leaves_no_trace,
]

if __name__ == "__main__":
    sys.exit(s.run(TESTS))
