"""The statistics window: a centred four-page sheet with a single "Hide
Tapwise" button that opens once at a time; its first page, which shows
counts, last counts and coloured percentage changes and follows every click
and every second; and its History page, which draws the history files.
"""
import os
import re
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
import tapwise_ui as ui  # noqa: E402

TAB_CONTROL = 0x3020
TIME_PATTERN = re.compile(r"^\d\d:[0-5]\d:[0-5]\d$")

STORED = {
    "CounterLastSession": 0,
    "CounterCurrentDay": 150, "CounterLastDay": 100,
    "CounterCurrentWeek": 100, "CounterLastWeek": 100,
    "CounterCurrentMonth": 2, "CounterLastMonth": 3,
    "CounterCurrentYear": 0, "CounterLastYear": 5,
    "CounterCurrentTotal": 12345,
}
# period: current, last, percentage, colour of the percentage (None: the default colour)
SHOWN_AT_START = {
    "Session": ("0", "0", "n/a", None),
    "Day": ("150", "100", "+50%", ui.DARK_GREEN),
    "Week": ("100", "100", "0%", ui.DARK_GREEN),
    "Month": ("2", "3", "-34%", ui.DARK_RED),
    "Year": ("0", "5", "-100%", ui.DARK_RED),
}
SHOWN_AFTER_TWO_CLICKS = {
    "Session": ("2", "0", "n/a", None),
    "Day": ("152", "100", "+52%", ui.DARK_GREEN),
    "Week": ("102", "100", "+2%", ui.DARK_GREEN),
    "Month": ("4", "3", "+33%", ui.DARK_GREEN),
    "Year": ("2", "5", "-60%", ui.DARK_RED),
}


def seconds(text):
    h, m, s = (int(p) for p in text.split(":"))
    return h * 3600 + m * 60 + s


def pixels(screen, box):
    return [screen.pixel(x, y) for y in range(box[1], box[3]) for x in range(box[0], box[2])]


def centred_position(sheet):
    """Centred on the work area: the screen above the taskbar."""
    screen = t.grab_screen()
    left, top, right, bottom = t.rect(sheet)
    x = max(screen.width // 2 - (right - left) // 2, 0)
    y = max(ui.taskbar_box()[1] // 2 - (bottom - top) // 2, 0)
    return x, y


def check_centred(sheet, when):
    left, top, _, _ = t.rect(sheet)
    t.check_eq(centred_position(sheet), (left, top), f"statistics window position {when}")


def check_shown(page, expected, total, when):
    """Texts and colours of the statistics page against a table of rows."""
    values = ui.fields(page)
    rects = ui.field_rects(page)
    screen = t.grab_screen()
    wrong = []
    for period, (current, last, percent, colour) in expected.items():
        found = ui.stats_row(values, period)
        if found != (current, last, percent):
            wrong.append(f"{period}: expected {(current, last, percent)}, found {found}")
        box = rects[ui.STATS_FIELDS[period][2]]
        reds, greens = screen.count(box, ui.DARK_RED), screen.count(box, ui.DARK_GREEN)
        found_colour = ui.DARK_RED if reds and not greens else ui.DARK_GREEN if greens and not reds else None
        if (reds or greens) and found_colour is None:
            found_colour = f"mixed ({reds} red, {greens} green pixels)"
        if found_colour != colour:
            wrong.append(f"{period} percentage colour: expected {colour}, found {found_colour}")
    if values[ui.TOTAL_FIELD] != total:
        wrong.append(f"Total: expected {total!r}, found {values[ui.TOTAL_FIELD]!r}")
    if not TIME_PATTERN.match(values[ui.TIME_FIELD]):
        wrong.append(f"time on computer: found {values[ui.TIME_FIELD]!r}")
    t.check(not wrong, f"{when}: " + "; ".join(wrong))
    return values


def test_sheet_frame():
    ui.keep_desktop()
    proc, main, _ = ui.launch("TwSheet", "-Auto")
    t.check(ui.no_sheet_within(1000), "statistics window open after a start with -Auto")
    closed_look = t.grab_screen()
    t.post(main, t.WM_COMMAND, t.CMD_OPEN)
    sheet = ui.wait_sheet()
    time.sleep(0.3)
    t.screenshot("statistics-window-frame")

    t.check_eq(t.TITLE, t.text(sheet), "caption")
    tabs = int(t.robot("item", hex(sheet), TAB_CONTROL).strip(), 16)
    t.check_eq(4, t.send(tabs, ui.TCM_GETITEMCOUNT), "number of tabs")
    t.check_eq(ui.PAGE_CAPTIONS[0], t.text(ui.current_page(sheet)), "page shown first")
    check_centred(sheet, "at the first opening")
    state = t.window_state(main)
    t.check(state["visible"] and state["iconic"], f"main window while the window is open: {state}")

    buttons = ui.sheet_buttons(sheet)
    t.check_eq([2], sorted(i for i, b in buttons.items() if b["visible"]), "visible buttons of the sheet (by id)")
    hide, ok = buttons[2], buttons[1]
    t.check_eq("Hide Tapwise", hide["text"], "label of the only button")
    (hl, ht, hr, hb), (ol, ot, orr, ob) = hide["rect"], ok["rect"]
    t.check_eq((orr - ol + 40, ot, ob), (hr - hl, ht, hb), "button width (the platform's plus 40), top, bottom")
    t.check(hr > orr, f"the button keeps the Cancel button's right edge, right of OK: {hide['rect']} vs {ok['rect']}")

    # Centred once per opening: a moved window stays where the user put it.
    t.move(sheet, 20, 30)
    for index in (1, 2, 0):
        ui.select_page(sheet, index)
    t.check_eq((20, 30), t.rect(sheet)[:2], "position after moving the window and switching tabs")
    t.post(main, t.WM_COMMAND, t.CMD_OPEN)
    time.sleep(1)
    t.check_eq([sheet], ui.visible_sheets(), "statistics windows after a second Open")
    t.check_eq((20, 30), t.rect(sheet)[:2], "position after a second Open")

    # The close box closes it like the button does; the program goes back to the tray alone.
    left, top, right, _ = t.rect(sheet)
    t.click_at(right - 14, top + 12)
    t.wait_until(lambda: not t.robot("state", hex(sheet)).strip(), 10, 0.2, "the close box to close the window")
    t.check_eq(0, t.window_state(main)["visible"], "main window visible after closing")
    taskbar = ui.taskbar_box()
    left_half = (taskbar[0], taskbar[1], (taskbar[0] + taskbar[2]) // 2, taskbar[3])
    t.wait_until(lambda: pixels(t.grab_screen(), left_half) == pixels(closed_look, left_half), 5, 0.3,
                 "the taskbar button to go away after closing")

    # Opened again: centred again, on the first page; Esc closes it.
    t.post(main, t.WM_COMMAND, t.CMD_OPEN)
    sheet = ui.wait_sheet()
    check_centred(sheet, "at the second opening")
    t.check_eq(ui.PAGE_CAPTIONS[0], t.text(ui.current_page(sheet)), "page shown at the second opening")
    t.xdotool("key", "Escape")
    t.wait_until(lambda: not t.robot("state", hex(sheet)).strip(), 10, 0.2, "Esc to close the window")
    t.check(proc.poll() is None, "the program ended when its window closed")
    ui.stop(proc, main)


def page_layout(sheet, shot):
    """Per page: its box and its controls' boxes; a screenshot of each."""
    return [(t.rect(ui.select_page(sheet, i)), [c["rect"] for c in t.children(ui.current_page(sheet))],
             t.screenshot(f"{shot}-{caption.replace(' ', '-').lower()}")) for i, caption in enumerate(ui.PAGE_CAPTIONS)]


def check_layout(layout, plain, what):
    """Controls inside their page, none overlapping that do not at 96 DPI, spanning at least the share of it they do there."""
    within = lambda a, b: a[0] >= b[0] and a[1] >= b[1] and a[2] <= b[2] and a[3] <= b[3]  # noqa: E731
    overlaps = lambda bs: {(i, j) for i, a in enumerate(bs) for j, b in enumerate(bs[i + 1:], i + 1) if a[0] < b[2]  # noqa
                           and b[0] < a[2] and a[1] < b[3] and b[1] < a[3] and not within(a, b) and not within(b, a)}
    share = lambda p, bs: [round((max(b[k + 2] for b in bs) - min(b[k] for b in bs)) / (p[k + 2] - p[k]), 2)  # noqa
                           for k in (0, 1)]
    for caption, (page, boxes, _), (plain_page, plain_boxes, _) in zip(ui.PAGE_CAPTIONS, layout, plain):
        t.check(all(within(b, page) for b in boxes), f"{what}, controls of {caption!r} {page} reach out: {boxes}")
        t.check(overlaps(boxes) <= overlaps(plain_boxes), f"{what}, {caption!r}: {overlaps(boxes)} overlap")
        # At least the share they span at 96 DPI: more is fine, for the check above keeps them inside.
        # Wine makes a sheet of four pages 18 px taller at 96 DPI than one of three, whatever the captions.
        got, expected = share(page, boxes), share(plain_page, plain_boxes)
        t.check(all(g >= e - 0.04 for g, e in zip(got, expected)),
                f"{what}, controls of {caption!r} span {got} of the page, at 96 DPI {expected}")


def test_pages_hold_their_controls_at_every_dpi():
    ui.keep_desktop()
    plain = None
    try:
        for dpi in (96, 120, 144, 192):  # read by each program at its start; Windows' 100 to 200 % scaling
            t.reg_set(r"HKCU\Control Panel\Desktop", "LogPixels", "dword", dpi)
            proc, main, _ = ui.launch(f"TwDpi{dpi}")
            sheet = ui.wait_sheet()
            layout = page_layout(sheet, f"dpi{dpi}")
            plain = plain or layout
            check_layout(layout, plain, f"at {dpi} DPI")
            picture = layout[ui.PAGE_CAPTIONS.index("About Tapwise")][1][2]  # drawn at the scale's size
            t.check_eq(((110 * dpi + 48) // 96, (87 * dpi + 48) // 96),
                       (picture[2] - picture[0], picture[3] - picture[1]), f"About picture size at {dpi} DPI")
            if dpi == 96:  # moved to a monitor at 150 %: the place Windows suggests, everything half as big again
                left, top, _, _ = t.rect(sheet)
                suggested = (left - 100, top - 100, left + 460, top + 480)
                t.robot("dpichanged", hex(sheet), 144, *suggested)
                check_layout(grown := page_layout(sheet, "dpi96-to-144"), plain, "after a change from 96 to 144 DPI")
                widths = [layout[0][1][0][2] - layout[0][1][0][0] for layout in (plain, grown)]
                t.check(t.rect(sheet) == suggested and abs(widths[1] - 1.5 * widths[0]) <= 2,
                        f"window {t.rect(sheet)} and frame widths {widths} after the change to 144 DPI")
            ui.stop(proc, main)
    finally:
        t.reg_delete(r"HKCU\Control Panel\Desktop", "LogPixels")


def test_statistics_page_shows_and_follows_counts():
    ui.keep_desktop()
    ui.end_running_copies()
    ui.store_counts(STORED)
    proc, main, _ = ui.launch("TwValues", clean_store=False)
    sheet = ui.wait_sheet()
    page = ui.current_page(sheet)
    t.wait_until(lambda: ui.fields(page)[ui.TOTAL_FIELD] == "12345", 5, 0.2, "the stored total on the page")
    before = check_shown(page, SHOWN_AT_START, "12345", "at opening")
    t.screenshot("statistics-page-start")

    # Two presses on a blank part of the page: every count follows at once.
    rects = ui.field_rects(page)
    total = rects[ui.TOTAL_FIELD]
    blank = (total[2] + 80, (total[1] + total[3]) // 2)
    t.click_at(*blank)
    t.click_at(*blank)
    t.wait_until(lambda: t.text(page, ui.STATS_FIELDS["Session"][0]) == "2", 5, 0.2, "the page to show 2 clicks")
    time.sleep(0.3)
    check_shown(page, SHOWN_AFTER_TWO_CLICKS, "12347", "after two clicks")
    t.screenshot("statistics-page-two-clicks")

    # The time runs every second and its refresh touches nothing else.
    first = ui.fields(page)
    time.sleep(2.2)
    second = ui.fields(page)
    t.check(seconds(second[ui.TIME_FIELD]) >= seconds(first[ui.TIME_FIELD]) + 2,
            f"time on computer went from {first[ui.TIME_FIELD]} to {second[ui.TIME_FIELD]} in 2.2 s")
    t.check(seconds(second[ui.TIME_FIELD]) <= seconds(before[ui.TIME_FIELD]) + 60,
            f"time on computer {second[ui.TIME_FIELD]} runs ahead of the session")
    del first[ui.TIME_FIELD], second[ui.TIME_FIELD]
    t.check_eq(first, second, "page fields other than the time, two seconds apart")

    opened = ui.opened_addresses("TwValues", lambda: t.robot("click", hex(page), ui.STATS_LINK))
    t.check_eq([ui.resource_string("IDS_LINK_URL")], opened, "addresses opened by the page's link button")

    ui.hide_sheet(sheet)
    ui.stop(proc, main)


# Gaps, a bad line of each kind (another date format, a negative count, a count
# past the counters' end, a line cut short at the end) and a leap day; Day.txt
# holds more than the page reads from its end.
HISTORY_FILES = {
    "Day.txt": b"2023-01-01\t1\r\n" * 1000
               + b"2024-02-27\t1200\r\n2024-02-29\t5\r\n29.02.2024\t7\r\n2024-03-01\t-3\r\n2024-03-01\t3400\r\n2024-03-01\t9",
    "Month.txt": b"2023-11\t30000\r\n2024-01\t90000\r\nnot a line\r\n2024-02\t60000\r\n",
    "Year.txt": b"2021\t400000\r\n2023\t99999999999\r\n2023\t800000\r\n",
}
HISTORY_VIEWS, HISTORY_CHART, HISTORY_TEXTS, HISTORY_FOLDER = (1040, 1041, 1042), 1043, (1044, 1045), 1046


def test_history_page():
    ui.keep_desktop()
    ui.end_running_copies()
    ui.store_counts({"CounterCurrentDay": 40, "CounterCurrentMonth": 4000, "CounterCurrentYear": 400000})
    win, unix = t.make_test_dir("TwHistory")
    for name, data in HISTORY_FILES.items():
        with open(os.path.join(unix, name), "wb") as f:
            f.write(data)
    proc = t.ShiftedClock(2024, 3, 2, 10).start([os.path.join(unix, "TW.exe")], cwd=unix)
    main = t.wait_main_window()
    sheet = ui.wait_sheet()
    page = ui.select_page(sheet, 3)
    texts = lambda: tuple(t.text(page, i) for i in HISTORY_TEXTS)  # noqa: E731
    t.check_eq(("2024-03-02: 40 clicks so far (not finished)", "Best: 2024-03-01 with 3400 clicks. Mean: 1535 clicks."),
               texts(), "texts of the 30 days at opening")
    t.screenshot("history-days")

    # A click on the chart's right end selects the running day and counts; the keys walk back over the gap.
    left, top, right, bottom = t.rect(int(t.robot("item", hex(page), HISTORY_CHART), 16))
    for clicks in (1, 2, 3):
        t.click_at(right - 8, (top + bottom) // 2)
        t.wait_until(lambda: texts()[0] == f"2024-03-02: {40 + clicks} clicks so far (not finished)", 5, 0.2,
                     f"the running day to show click {clicks}")
    walk = [("Left", "2024-03-01: 3400 clicks"), ("Left", "2024-02-29: 5 clicks"),
            ("Left", "2024-02-28: no count logged (Tapwise was not running)"), ("Left", "2024-02-27: 1200 clicks"),
            ("Home", "2024-02-02: no count logged (Tapwise was not running)"),
            ("End", "2024-03-02: 43 clicks so far (not finished)")]
    for key, expected in walk:
        t.xdotool("key", key)
        t.wait_until(lambda: texts()[0] == expected, 5, 0.2, f"{expected!r} after {key} (found {texts()[0]!r})")

    for view, name, expected in ((1, "months", ("2024-03: 4003 clicks so far (not finished)",
                                                "Best: 2024-01 with 90000 clicks. Mean: 60000 clicks.")),
                                 (2, "years", ("2024: 400003 clicks so far (not finished)",
                                               "Best: 2023 with 800000 clicks. Mean: 600000 clicks."))):
        t.robot("click", hex(page), HISTORY_VIEWS[view])
        t.wait_until(lambda: texts() == expected, 5, 0.2, f"the {name} view's texts {expected} (found {texts()})")
        t.screenshot(f"history-{name}")

    # The files are read again each time the page is shown.
    with open(os.path.join(unix, "Year.txt"), "ab") as f:
        f.write(b"2022\t100000\r\n")
    ui.select_page(sheet, 0)
    ui.select_page(sheet, 3)
    t.check_eq("Best: 2023 with 800000 clicks. Mean: 433333 clicks.", texts()[1], "summary after a line was added")

    # Explorer is shown where the files really are: the redirected copy once Windows made one.
    store = t.robot("folder", 0x1C).strip() + "\\VirtualStore\\TwHistory"
    for folder in (win, store):
        if folder == store:
            os.makedirs(t.unix_path(store), exist_ok=True)
            open(os.path.join(t.unix_path(store), "Day.txt"), "wb").close()
        opened = ui.opened_addresses("TwHistory", lambda: t.robot("click", hex(page), HISTORY_FOLDER), ui.FOLDER_OPEN_KEY)
        t.check_eq([folder], opened, "folder opened by the button")
    shutil.rmtree(t.unix_path(store))
    ui.stop(proc, main)


def test_history_page_reads_the_line_of_a_day_that_ends_while_it_is_shown():
    ui.keep_desktop()
    ui.end_running_copies()
    ui.store_counts({"CounterCurrentDay": 40})
    _, unix = t.make_test_dir("TwHistoryMidnight")
    proc = t.ShiftedClock(2024, 3, 2, 23, 59, 40).start([os.path.join(unix, "TW.exe")], cwd=unix)
    main = t.wait_main_window()
    page = ui.select_page(ui.wait_sheet(), 3)
    t.check_eq("2024-03-02: 40 clicks so far (not finished)", t.text(page, HISTORY_TEXTS[0]), "running day before midnight")
    t.wait_until(lambda: t.text(page, HISTORY_TEXTS[0]).startswith("2024-03-03"), 40, 0.3, "the day to roll over")
    t.check_eq(("2024-03-03: 0 clicks so far (not finished)", "Best: 2024-03-02 with 40 clicks. Mean: 40 clicks."),
               tuple(t.text(page, i) for i in HISTORY_TEXTS), "texts after midnight")
    ui.stop(proc, main)


if __name__ == "__main__":
    sys.exit(t.run_tests([
        test_sheet_frame,
        test_pages_hold_their_controls_at_every_dpi,
        test_statistics_page_shows_and_follows_counts,
        test_history_page,
        test_history_page_reads_the_line_of_a_day_that_ends_while_it_is_shown,
    ]))
