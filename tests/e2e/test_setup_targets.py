"""Where Tapwise installs itself, and what an install run that cannot write
its program file leaves alone: the program-files directory comes from
"ProgramFilesDir" (without one trailing backslash) or defaults to
C:\\Program Files; the uninstaller empties that directory, found the same way;
a program target that cannot be created ends the run with a message and no
entries written over an earlier installation.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
from twlib import check, check_eq  # noqa: E402
import test_setup as s  # noqa: E402
from test_setup import (INSTALL_DIR, CURRENT_VERSION_KEY, PROGRAM_BYTES, REMOVE_TEXT, REALLY_TEXT,  # noqa: E402
                        check_bytes, check_installation, check_sz, common_link, digest, exists, group_dir,
                        group_windows, install_ok, listing, program_files_value, reg_raw, reset_setup,
                        restore_program_files, run_installer, u, uninstaller, user_link)

PATH_TOO_LONG_TEXT = "Tapwise could not be installed: the path of its program directory is too long."


def test_program_files_dir_value():
    try:
        reset_setup()
        t.reg_delete(CURRENT_VERSION_KEY, "ProgramFilesDir")
        check_eq("NOVALUE", program_files_value(), "ProgramFilesDir after deleting it")
        install_ok()
        check_sz(t.RUN_KEY, "Tapwise", f'"{INSTALL_DIR}\\TW.exe" -Auto')
        check_bytes(INSTALL_DIR + r"\TW.exe", PROGRAM_BYTES, "program installed without ProgramFilesDir")

        reset_setup()
        # One trailing backslash is dropped: D:\Apps\ gives D:\Apps\Tapwise. The
        # prefix has no D: of its own, so the scenario maps one for its length.
        apps = (r"D:" if s.map_drive_d() else r"C:") + r"\Apps"
        t.reg_set(CURRENT_VERSION_KEY, "ProgramFilesDir", "sz", apps + "\\")
        seen = install_ok()
        target = apps + r"\Tapwise"
        check_eq(target + r"\TW.exe", seen["image"], "program file of the started copy")
        check_installation(target)
        check_sz(t.RUN_KEY, "Tapwise", f'"{target}\\TW.exe" -Auto')
        check(not exists(INSTALL_DIR), f"{INSTALL_DIR} was created although ProgramFilesDir names {apps}\\")
        t.wait_until(lambda: t.reg_get(t.SETTINGS_KEY, "Path"), 10, what='"Path" of the started copy')
        check_eq(("sz", target, len(target) + 1), t.reg_get(t.SETTINGS_KEY, "Path"), '"Path"')

        # This is the installer's own directory: Tapwise's files go, the person's notes stay and are named.
        with open(u(target + r"\notes.txt"), "wb") as f:
            f.write(b"user's notes")
        uninstall = t.start([uninstaller(), "-Uninst"])
        check_eq(REMOVE_TEXT, t.answer(t.TITLE, "IDYES"), "first question")
        check_eq(REALLY_TEXT, t.answer(t.TITLE, "IDYES"), "second question")
        check_eq(s.FOREIGN_TEXT % target, t.answer(t.TITLE, "IDOK", 20000), "message naming the folder kept")
        check_eq(0, t.wait_exit(uninstall, 20), "exit code of the uninstall run")
        left = [n for n in s.listing(target) if not (n.lower().startswith("tw") and n.lower().endswith(".tmp"))]
        check_eq(["notes.txt"], left, f"files left in {target}")
        os.remove(u(target + r"\notes.txt"))
        check(exists(apps), f"{apps} itself was removed")
        check(not t.main_window(), "the installed copy still runs after removal")

        # Room for the program's path but not for its quoted Run value: the run ends with a
        # message, and the copy it closed runs again all the same.
        first = install_ok()
        longer = "C:\\" + "x" * 232   # + \Tapwise\TW.exe: 250 characters
        t.reg_set(CURRENT_VERSION_KEY, "ProgramFilesDir", "sz", longer)
        seen = run_installer()
        check_eq(PATH_TOO_LONG_TEXT, seen["text"], "message of an install whose Run value would not fit")
        check(seen["main"] and seen["pid"] != first["pid"], "the closed copy did not run again")
        s.remove(longer)
    finally:
        restore_program_files()
        t.close_copies()
        s.unmap_drive_d()


def earlier_installation():
    """What an install run must leave alone when it fails: entries, link and group."""
    return {
        "run": reg_raw(t.RUN_KEY, "Tapwise"),
        "name": reg_raw(t.UNINSTALL_KEY, "DisplayName"),
        "uninstall": reg_raw(t.UNINSTALL_KEY, "UninstallString"),
        "link": digest(common_link()),
        "group": listing(group_dir()),
        "item": digest(group_dir() + r"\Tapwise.lnk"),
    }


def test_unwritable_program_file_keeps_earlier_installation():
    reset_setup()
    # An earlier installation elsewhere, and a program target that cannot be created.
    old = r"C:\Old Place"
    t.reg_set(t.RUN_KEY, "Tapwise", "sz", old + r"\TW.exe -Auto")
    t.reg_set(t.UNINSTALL_KEY, "DisplayName", "sz", "Tapwise (earlier)")
    t.reg_set(t.UNINSTALL_KEY, "UninstallString", "sz", old + r"\TWUninst.exe -Uninst")
    t.reg_set(t.SETTINGS_KEY, "CounterCurrentTotal", "dword", 7)
    os.makedirs(u(group_dir()))
    for path, data in ((common_link(), b"earlier shortcut"), (group_dir() + r"\Tapwise.lnk", b"earlier item")):
        with open(u(path), "wb") as f:
            f.write(data)
    os.makedirs(u(INSTALL_DIR + r"\TW.exe"))
    before = earlier_installation()

    seen = run_installer(expect_copy=False)
    check("could not be installed" in seen["text"], f"failure message expected, found {seen['text']!r}")
    check_eq(0, seen["exit"], "exit code of the failed install run")
    check(not seen["main"] and not t.main_window(), "a copy was started although the program could not be installed")
    after = earlier_installation()
    check_eq(before, after, "the earlier installation's entries")
    check_eq(["TW.exe"], listing(INSTALL_DIR), f"contents of {INSTALL_DIR}")
    check(not exists(uninstaller()), "the uninstaller was written by a failed install run")
    check(not exists(user_link()), "a shortcut was put on the user's desktop")
    check_eq(None, t.reg_number("OptionAutostart"), "OptionAutostart after a failed install run")
    check_eq([], group_windows(), "folder windows of a group (none was to be created)")


def test_cleanup_leaves_no_trace():
    reset_setup()


TESTS = [
    test_program_files_dir_value,
    test_unwritable_program_file_keeps_earlier_installation,
    test_cleanup_leaves_no_trace,
]

if __name__ == "__main__":
    sys.exit(s.run(TESTS))
