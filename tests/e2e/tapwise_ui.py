"""What the tray and statistics-window scenarios share: starting the program
with the desktop kept alive, finding the tray icon on screen, the statistics
window and its pages, and message boxes that carry the same caption as the
window they belong to.
"""
import os
import time

import twlib as t

# Property sheet and button messages; none of them carries a pointer, so
# they work across processes.
PSM_SETCURSEL = 0x0400 + 101
PSM_GETCURRENTPAGEHWND = 0x0400 + 118
TCM_GETITEMCOUNT = 0x1304
BM_GETCHECK = 0x00F0
WM_CONTEXTMENU, WM_MOUSEMOVE, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP = 0x7B, 0x200, 0x202, 0x203, 0x205
IDYES, IDNO = 6, 7
MB_TEXT_ID, MB_ICON_ID = 0xFFFF, 1088  # ids of a Wine message box's text and icon

DARK_RED, DARK_GREEN = (128, 0, 0), (0, 128, 0)

STATS_FIELDS = {  # period: (current, last, percentage)
    "Session": (1030, 1034, 1012),
    "Day": (1031, 1035, 1013),
    "Week": (1032, 1036, 1014),
    "Month": (1033, 1037, 1015),
    "Year": (1004, 1010, 1016),
}
TOTAL_FIELD, TIME_FIELD, STATS_LINK = 1005, 1006, 1009
SETTINGS_CONTROLS = {"autostart": 1002, "new_session": 1003, "Session": 1007, "Day": 1008, "Week": 1009,
                     "Month": 1011, "Year": 1017, "Total": 1018}
ABOUT_LINK = 1011
PAGE_CAPTIONS = ("Click Statistics", "Program Settings", "About Tapwise", "History")


def keep_desktop():
    """Wine shows its desktop and taskbar only while some program has a tray
    icon or a visible window, and closes them when the last program ends; an
    idle robot with an icon of its own keeps them up, so that what the
    program adds and removes can be watched on screen."""
    t.start([os.path.join(t.TEST_BIN, "robot.exe"), "idle", "600000", "tray"])
    tray = t.wait_window("Shell_TrayWnd", "-", 15000)
    t.check(tray, "the desktop's taskbar did not appear")
    return tray


def end_running_copies():
    """A copy left running by an earlier scenario would turn a start into a hand-over."""
    for _ in range(3):
        main = t.main_window()
        if not main:
            return
        t.robot("kill", t.robot("pid", hex(main)).strip())
        t.wait_until(lambda: t.main_window() != main, 10, 0.2, "an old copy to end")


def launch(directory, *args, clean_store=True):
    """TW.exe in C:\\<directory>, started on an empty store unless told otherwise;
    returns (process, main window, unix directory)."""
    end_running_copies()
    if clean_store:
        t.reset_store()
    _, unix = t.make_test_dir(directory)
    proc = start_copy(unix, *args)
    main = t.wait_main_window()
    t.check(main, f"no main window of class {t.MAIN_CLASS!r} after starting TW.exe {' '.join(args)}")
    return proc, main, unix


def start_copy(unix, *args, at_once=False):
    return t.start([os.path.join(unix, "TW.exe")] + list(args), cwd=unix, at_once=at_once)


def clear_of_periodic_save(started, seconds):
    """Waits, if need be, until the next `seconds` hold none of the saves that
    the timer makes every 30 s after start-up, so that a save seen in that
    time can only come from what the scenario did."""
    phase = (time.time() - started) % 30
    if phase + seconds > 27.5:
        time.sleep(30.5 - phase)


def store_counts(values):
    """Writes counter values (name suffix: number) to an otherwise empty store;
    without a date stamp they are taken to belong to today."""
    t.reset_store()
    for name, number in values.items():
        t.reg_set(t.SETTINGS_KEY, name, "dword", number)


def saved_total(main, key=t.SETTINGS_KEY):
    """The total the running copy saves when asked, as Windows asks at sign-out."""
    t.check_eq(1, t.send(main, t.WM_QUERYENDSESSION), "answer to WM_QUERYENDSESSION")
    return t.reg_number("CounterCurrentTotal", key) or 0


def stop(proc, main):
    """Ends the program the way another copy would and checks its exit code."""
    t.send(main, t.WM_CLOSE)
    code = t.wait_exit(proc, 20)
    t.check_eq(0, code, "exit code after WM_CLOSE")


# --- tray icon ---------------------------------------------------------------

def taskbar_box():
    return t.rect(t.find("Shell_TrayWnd"))


def notification_strip():
    """The right half of the taskbar, where the notification area lies."""
    left, top, right, bottom = taskbar_box()
    return ((left + right) // 2, top, right, bottom)


def strip_pixels(screen):
    left, top, right, bottom = notification_strip()
    return [screen.pixel(x, y) for y in range(top, bottom) for x in range(left, right)]


def changed_box(before, after):
    """Bounding box of the pixels of the notification strip that differ between two captures."""
    left, top, right, bottom = notification_strip()
    xs, ys = [], []
    for y in range(top, bottom):
        for x in range(left, right):
            if before.pixel(x, y) != after.pixel(x, y):
                xs.append(x)
                ys.append(y)
    return (min(xs), min(ys), max(xs) + 1, max(ys) + 1) if xs else None


def wait_tray_icon(before, timeout=10):
    """Waits until an icon shows up in the notification strip; returns its box."""
    return t.wait_until(lambda: changed_box(before, t.grab_screen()), timeout, 0.3, "the tray icon")


def centre(box):
    return (box[0] + box[2]) // 2, (box[1] + box[3]) // 2


# --- statistics window -------------------------------------------------------

def visible_sheets():
    """Visible statistics windows: captioned with the title and holding a tab control."""
    return [w["hwnd"] for w in t.top_windows()
            if w["class"] == "#32770" and w["title"] == t.TITLE and w["visible"] and is_sheet(w["hwnd"])]


def is_sheet(hwnd):
    return t.robot("item", hex(hwnd), 0x3020).strip() not in ("0", "0x0", "")  # its tab control


def wait_sheet(ms=10000):
    sheet = t.wait_window("#32770", t.TITLE, ms)
    t.check(sheet, "the statistics window did not open")
    return sheet


def open_sheet(main):
    """The statistics window opened by a click on the tray icon: (sheet, its current page)."""
    t.post(main, t.TRAY_MESSAGE, 1, t.WM_LBUTTONDOWN)
    sheet = wait_sheet()
    return sheet, current_page(sheet)


def no_sheet_within(ms):
    """True when no statistics window shows up within ms milliseconds."""
    return t.wait_window("#32770", t.TITLE, ms) == 0


def current_page(sheet):
    return t.send(sheet, PSM_GETCURRENTPAGEHWND)


def select_page(sheet, index):
    t.send(sheet, PSM_SETCURSEL, index, 0)
    page = current_page(sheet)
    t.check(page, f"no page {index} in the statistics window")
    t.check_eq(PAGE_CAPTIONS[index], t.text(page), f"caption of page {index}")
    return page


def sheet_buttons(sheet):
    """The sheet's own buttons by id: OK 1, Cancel 2, Apply 12321, Help 9."""
    return {c["id"]: c for c in t.children(sheet) if c["class"] == "Button" and c["id"] in (1, 2, 9, 12321)}


def hide_sheet(sheet):
    """Presses "Hide Tapwise" and waits until the window has gone."""
    t.robot("click", hex(sheet), 2)
    t.wait_until(lambda: not t.robot("state", hex(sheet)).strip(), 10, 0.2, "the statistics window to close")


def fields(page):
    return {c["id"]: c["text"] for c in t.children(page)}


def field_rects(page):
    return {c["id"]: c["rect"] for c in t.children(page)}


def stats_row(values, period):
    return tuple(values[i] for i in STATS_FIELDS[period])


# --- message boxes -----------------------------------------------------------

def wait_box(exclude=(), timeout=10):
    """Waits for a message box with the title as caption, other than the
    windows in exclude (the statistics window carries the same caption)."""
    def find():
        for w in t.top_windows():
            if (w["class"] == "#32770" and w["title"] == t.TITLE and w["visible"]
                    and w["hwnd"] not in exclude and not is_sheet(w["hwnd"])):
                return w["hwnd"]
        return 0
    return t.wait_until(find, timeout, 0.2, "a message box")


def read_box(box):
    """(text, button ids, icon box) of a message box."""
    rows = t.children(box)
    text = next((c["text"] for c in rows if c["id"] == MB_TEXT_ID), None)
    buttons = sorted(c["id"] for c in rows if c["class"] == "Button" and c["visible"])
    icon = next((c["rect"] for c in rows if c["id"] == MB_ICON_ID), None)
    return text, buttons, icon


def icon_kind(screen, box):
    """"stop" for the red stop sign, "question" for the blue question mark."""
    red = blue = 0
    left, top, right, bottom = box
    for y in range(top, bottom):
        for x in range(left, right):
            r, g, b = screen.pixel(x, y)
            if r > 150 and g < 90 and b < 90:
                red += 1
            elif b > 120 and r < 90:
                blue += 1
    if red > 50 and red > 3 * blue:
        return "stop"
    if blue > 50 and blue > 3 * red:
        return "question"
    return f"unknown (red {red}, blue {blue})"


def press(box, button):
    t.robot("click", hex(box), button)
    t.wait_until(lambda: not t.robot("state", hex(box)).strip(), 10, 0.2, "the message box to close")


def answer_box(expected_text, expected_icon, button, exclude=()):
    """Checks the next message box's text, Yes/No buttons and icon, then presses button."""
    box = wait_box(exclude)
    time.sleep(0.3)  # let the box paint its icon before the capture
    text, buttons, icon = read_box(box)
    t.check_eq(expected_text, text, "message box text")
    t.check_eq([IDYES, IDNO], buttons, "message box buttons (Yes, No)")
    if expected_icon:
        t.check(icon is not None, "message box without an icon")
        t.check_eq(expected_icon, icon_kind(t.grab_screen(), icon), "message box icon")
    press(box, button)


# --- links -------------------------------------------------------------------

HTTP_OPEN_KEY = r"Software\Classes\http\shell\open\command"
FOLDER_OPEN_KEY = r"Software\Classes\Folder\shell\open\command"


def resource_string(name):
    """A string-table entry of the program's resources, by its symbolic name."""
    import re
    with open(os.path.join(t.SOURCE, "resources", "tapwise.rc"), encoding="latin-1") as rc:
        found = re.search(r"^\s*" + name + r'\s+"((?:[^"]|"")*)"', rc.read(), re.M)
    t.check(found, f"no string {name} in the resources")
    return found.group(1).replace('""', '"')


def opened_addresses(directory, press, key=HTTP_OPEN_KEY):
    """Runs press() with the prefix's handler for web addresses (or folders,
    by key) replaced by a robot that writes down what it was asked to open (no
    browser starts), and returns the addresses written down."""
    record = "C:\\" + directory + "\\opened.txt"
    record_unix = t.unix_path(record)
    if os.path.exists(record_unix):
        os.unlink(record_unix)
    robot = "Z:" + os.path.join(t.TEST_BIN, "robot.exe").replace("/", "\\")
    old = t.reg_get(key, "-")
    t.reg_set(key, "-", "sz", f'"{robot}" record "{record}" "%1"')
    try:
        press()
        t.wait_until(lambda: os.path.exists(record_unix) and open(record_unix).read().strip(), 20, 0.3,
                     "the link to be handed to the shell")
        time.sleep(0.5)  # a second, unexpected opening would show up here
        with open(record_unix) as f:
            return f.read().split()
    finally:
        if old and old[0] == "sz":
            t.reg_set(key, "-", "sz", old[1])
        else:
            t.reg_delete(key, "-")
