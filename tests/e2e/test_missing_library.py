"""A start without a usable hook library: the message about the library, with
the application title as caption, then exit code 0 with no window, no tray
icon and nothing written to the settings store."""
import os
import shutil
import sys

import twlib as t

NO_LIBRARY = 'The library "Tapwise.dll" cannot be loaded.'


def start_without_library(name, library=None):
    t.reset_store()
    win, unix = t.make_test_dir(name)
    os.remove(os.path.join(unix, "Tapwise.dll"))
    if library:
        shutil.copy(library, os.path.join(unix, "Tapwise.dll"))
    proc = t.start([unix + "/TW.exe", "-Auto"])
    try:
        t.check_eq(NO_LIBRARY, t.answer(t.TITLE, "IDOK", 15000), "message text")
        t.check_eq(0, t.wait_exit(proc, 15), "exit code")
        t.check_eq(0, t.main_window(), "main window after the message")
        t.check_eq(None, t.reg_get(t.SETTINGS_KEY, "Release"), "settings store after the message")
    finally:
        shutil.rmtree(unix, ignore_errors=True)


def test_library_missing():
    start_without_library("TwNoLib")


def test_library_without_one_export():
    start_without_library("TwHalfLib", os.path.join(t.TEST_BIN, "halfhook", "Tapwise.dll"))


if __name__ == "__main__":
    sys.exit(t.run_tests([test_library_missing, test_library_without_one_export]))
