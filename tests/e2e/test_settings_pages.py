"""The second and third pages of the statistics window: the start-with-Windows
check box, the reset buttons and New Session, each taking effect at once, and
the About page with its link.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
import tapwise_ui as ui  # noqa: E402

RESET_QUESTION = "Are you sure to reset the chosen counter to zero?"
NEW_SESSION_QUESTION = "Are you sure to start a new session?"

STORED = {
    "CounterLastSession": 4,
    "CounterCurrentDay": 150, "CounterLastDay": 100,
    "CounterCurrentWeek": 100, "CounterLastWeek": 100,
    "CounterCurrentMonth": 2, "CounterLastMonth": 3,
    "CounterCurrentYear": 7, "CounterLastYear": 5,
    "CounterCurrentTotal": 12345,
}
# Saving always stores 0 as the current session, so this shows whether a save happened.
SENTINEL_NAME, SENTINEL = "CounterCurrentSession", 77
IDOK, SWITCHED_OFF = 1, ui.resource_string("IDS_SWITCHED_OFF").replace("\\n", "\n")


def checked(page):
    box = int(t.robot("item", hex(page), ui.SETTINGS_CONTROLS["autostart"]).strip(), 16)
    return t.send(box, ui.BM_GETCHECK)


def click(page, control):
    t.robot("click", hex(page), ui.SETTINGS_CONTROLS.get(control, control))


def seconds(text):
    h, m, s = (int(p) for p in text.split(":"))
    return h * 3600 + m * 60 + s


def counts(values):
    """The page's fields without the running time."""
    return {k: v for k, v in values.items() if k != ui.TIME_FIELD}


def blank_spot(page):
    """A point on the settings page that no control covers."""
    left, top, right, bottom = t.rect(page)
    return left + 40, bottom - 30


def test_autostart_check_box():
    ui.keep_desktop()
    ui.end_running_copies()
    t.reset_store()
    t.reg_set(t.SETTINGS_KEY, "OptionAutostart", "dword", 1)
    proc, main, _ = ui.launch("TwAuto", clean_store=False)
    sheet = ui.wait_sheet()
    page = ui.select_page(sheet, 1)
    t.screenshot("settings-page")
    t.check_eq(1, checked(page), "check box state from a stored option of 1")
    expected_entry = '"C:\\TwAuto\\TW.exe" -Auto'

    # Unticking with no start-up entry present: no message, the option is stored.
    t.check_eq(None, t.reg_get(t.RUN_KEY, "Tapwise"), "start-up entry before the first click")
    click(page, "autostart")
    t.wait_until(lambda: t.reg_number("OptionAutostart") == 0, 5, 0.2, "OptionAutostart 0 after unticking")
    t.check_eq(0, checked(page), "check box after the first click")
    t.check_eq([sheet], [w["hwnd"] for w in t.top_windows()
                         if w["class"] == "#32770" and w["visible"] and w["title"] == t.TITLE],
               "windows with the title after unticking (no message box)")

    click(page, "autostart")
    t.wait_until(lambda: t.reg_number("OptionAutostart") == 1, 5, 0.2, "OptionAutostart 1 after ticking")
    t.check_eq(("sz", expected_entry, len(expected_entry) + 1), t.reg_get(t.RUN_KEY, "Tapwise"),
               "start-up entry after ticking (type, text, size with its zero)")

    click(page, "autostart")
    t.wait_until(lambda: t.reg_number("OptionAutostart") == 0, 5, 0.2, "OptionAutostart 0 after unticking")
    t.check_eq(None, t.reg_get(t.RUN_KEY, "Tapwise"), "start-up entry after unticking")

    # Each opening shows the option as it now is.
    ui.hide_sheet(sheet)
    t.post(main, t.WM_COMMAND, t.CMD_OPEN)
    sheet = ui.wait_sheet()
    page = ui.select_page(sheet, 1)
    t.check_eq(0, checked(page), "check box at the next opening")
    click(page, "autostart")
    t.wait_until(lambda: t.reg_number("OptionAutostart") == 1, 5, 0.2, "OptionAutostart 1 after ticking")
    ui.hide_sheet(sheet)
    t.post(main, t.WM_COMMAND, t.CMD_OPEN)
    sheet = ui.wait_sheet()
    t.check_eq(1, checked(ui.select_page(sheet, 1)), "check box at the opening after ticking")
    ui.hide_sheet(sheet)
    ui.stop(proc, main)

    # A refused machine Run key (as under UAC): its value stays but starts nothing; the person's replaces it.
    user_run = "HKCU\\" + t.RUN_KEY
    t.keylock("lock", t.RUN_KEY)
    try:
        proc, main, _ = ui.launch("TwAuto", clean_store=False)
        click(ui.select_page(ui.wait_sheet(), 1), "autostart")
        t.wait_until(lambda: t.reg_number("OptionAutostart") == 0, 5, 0.2, "OptionAutostart 0 after unticking")
        t.check_eq((expected_entry, None), (t.reg_get(t.RUN_KEY, "Tapwise")[1], t.reg_get(user_run, "Tapwise")),
                   "machine's and person's Run values unticked under a refused key")
        ui.stop(proc, main)
        auto = t.spawn(r"C:\TwAuto\TW.exe", expected_entry)
        t.check_eq("0", t.robot("wait-exit", auto, 10000).strip(), "a start from the Run value with the option 0")
        t.check_eq(0, t.main_window(), "main window of that start")
        t.keylock("unlock", t.RUN_KEY)
        t.reg_delete(t.RUN_KEY, "Tapwise")
        t.keylock("lock", t.RUN_KEY)
        proc, main, _ = ui.launch("TwAuto", clean_store=False)
        page = ui.select_page(ui.wait_sheet(), 1)
        click(page, "autostart")
        t.wait_until(lambda: t.reg_get(user_run, "Tapwise"), 5, 0.2, "the person's Run value after ticking")
        t.check_eq((None, expected_entry), (t.reg_get(t.RUN_KEY, "Tapwise"), t.reg_get(user_run, "Tapwise")[1]),
                   "machine's and person's Run values ticked under a refused key")
        click(page, "autostart")
        t.wait_until(lambda: not t.reg_get(user_run, "Tapwise"), 5, 0.2, "the person's Run value to go")
        # Neither Run value may be written: the box must not stay ticked.
        t.keylock("lock", user_run)
        t.reg_set(t.SETTINGS_KEY, "OptionAutostart", "dword", 7)   # rewritten once the click is taken
        click(page, "autostart")
        t.wait_until(lambda: t.reg_number("OptionAutostart") != 7, 5, 0.2, "the page to take the click")
        t.check_eq((0, 0), (checked(page), t.reg_number("OptionAutostart")), "check box and option without a Run value")
        ui.stop(proc, main)
    finally:
        t.keylock("unlock", t.RUN_KEY)
        t.keylock("unlock", user_run)
    t.reg_delete(t.RUN_KEY, "Tapwise")


def test_windows_own_start_up_switch():
    """Windows keeps a person's "off" beside the Run value (never written here); the box shows what Windows does."""
    ui.keep_desktop()
    t.reset_store()
    t.reg_set(t.SETTINGS_KEY, "OptionAutostart", "dword", 1)
    approved = r"Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved"
    off, on = "0300000010d2a3c4b5e6d701", "020000000000000000000000"
    places = ((t.RUN_KEY, approved + r"\Run32"), ("HKCU\\" + t.RUN_KEY, "HKCU\\" + approved + r"\Run"))
    proc, main, _ = ui.launch("TwSwitch", "-Auto", clean_store=False)
    try:
        for run_key, record_key in places:   # the machine's value, then the person's (the machine's key refused)
            if run_key != t.RUN_KEY:
                t.keylock("lock", t.RUN_KEY)
            t.reg_set(run_key, "Tapwise", "sz", r'"C:\TwSwitch\TW.exe" -Auto')
            for record, ticked in ((off, 0), (on, 1)):
                t.reg_set(record_key, "Tapwise", "binhex", record)
                t.post(main, t.WM_COMMAND, t.CMD_OPEN)
                sheet = ui.wait_sheet()
                page = ui.select_page(sheet, 1)
                t.check_eq(ticked, checked(page), f"check box with Windows' record {record[:2]} under {record_key}")
                if not ticked:  # a tick says where to switch Tapwise on; the box stays as Windows acts
                    click(page, "autostart")
                    box = ui.wait_box(exclude=(sheet,))
                    t.check_eq((SWITCHED_OFF, [IDOK]), ui.read_box(box)[:2], "message on ticking the box")
                    ui.press(box, IDOK)
                    t.check_eq((0, 1, ("raw", 3, off)), (checked(page), t.reg_number("OptionAutostart"),
                               t.reg_get(record_key, "Tapwise")), "check box, option and Windows' record after it")
                ui.hide_sheet(sheet)
            for key in (record_key, run_key):
                t.reg_delete(key, "Tapwise")
    finally:
        ui.stop(proc, main)
        t.keylock("unlock", t.RUN_KEY)
        for key in (k for place in places for k in place):
            t.reg_delete(key, "Tapwise")


def test_resets_take_effect_at_once():
    ui.keep_desktop()
    ui.end_running_copies()
    ui.store_counts(STORED)
    proc, main, _ = ui.launch("TwReset", clean_store=False)
    started = time.time()
    sheet = ui.wait_sheet()
    stats = ui.current_page(sheet)
    shown = ui.fields(stats)
    page = ui.select_page(sheet, 1)

    # No changes nothing, neither on the page nor in the store.
    t.reg_set(t.SETTINGS_KEY, SENTINEL_NAME, "dword", SENTINEL)
    click(page, "Day")
    ui.answer_box(RESET_QUESTION, "question", ui.IDNO, exclude=[sheet])
    time.sleep(0.5)
    t.check_eq(counts(shown), counts(ui.fields(stats)), "statistics page after No to a reset")
    t.check_eq((150, 100), (t.reg_number("CounterCurrentDay"), t.reg_number("CounterLastDay")), "stored Day counts")

    # Yes resets one period, shows it and saves at once.
    rows = [  # button, fields that become "0" (or "n/a"), stored values that become 0
        ("Day", ui.STATS_FIELDS["Day"], ("CounterCurrentDay", "CounterLastDay")),
        ("Week", ui.STATS_FIELDS["Week"], ("CounterCurrentWeek", "CounterLastWeek")),
        ("Month", ui.STATS_FIELDS["Month"], ("CounterCurrentMonth", "CounterLastMonth")),
        ("Year", ui.STATS_FIELDS["Year"], ("CounterCurrentYear", "CounterLastYear")),
        ("Total", (ui.TOTAL_FIELD,), ("CounterCurrentTotal",)),
    ]
    for button, ids, names in rows:
        ui.clear_of_periodic_save(started, 6)
        t.reg_set(t.SETTINGS_KEY, SENTINEL_NAME, "dword", SENTINEL)
        click(page, button)
        ui.answer_box(RESET_QUESTION, "question", ui.IDYES, exclude=[sheet])
        expected = dict(shown)
        for i, field in enumerate(ids):
            expected[field] = "n/a" if i == 2 else "0"
        t.wait_until(lambda: t.reg_number(SENTINEL_NAME) == 0, 5, 0.2, f"the save after Reset {button}")
        now = ui.fields(stats)
        t.check_eq(counts(expected), counts(now), f"statistics page after Reset {button}")
        t.check_eq([0] * len(names), [t.reg_number(n) for n in names], f"stored {names} after Reset {button}")
        shown = now

    # Total grows again from 0; the session counts the same presses.
    spot = blank_spot(page)
    for _ in range(3):
        t.click_at(*spot)
    t.wait_until(lambda: t.text(stats, ui.TOTAL_FIELD) == "3", 5, 0.2, "Total to reach 3 after three clicks")
    shown = ui.fields(stats)
    t.check_eq(("3", "4", "-25%"), ui.stats_row(shown, "Session"), "Session row after three clicks")

    # Reset Session: counts go, the time on computer keeps running.
    click(page, "Session")
    ui.answer_box(RESET_QUESTION, "question", ui.IDYES, exclude=[sheet])
    t.wait_until(lambda: t.text(stats, ui.STATS_FIELDS["Session"][0]) == "0", 5, 0.2, "Session to reset")
    after = ui.fields(stats)
    t.check_eq(("0", "0", "n/a"), ui.stats_row(after, "Session"), "Session row after Reset Session")
    t.check(after[ui.TIME_FIELD] >= shown[ui.TIME_FIELD] and after[ui.TIME_FIELD] != "00:00:00",
            f"time on computer after Reset Session: {shown[ui.TIME_FIELD]} before, {after[ui.TIME_FIELD]} after")

    # New Session: No changes nothing; Yes moves the count to the last session and restarts the time.
    for _ in range(2):
        t.click_at(*spot)
    t.wait_until(lambda: t.text(stats, ui.STATS_FIELDS["Session"][0]) == "2", 5, 0.2, "Session to reach 2")
    click(page, "new_session")
    ui.answer_box(NEW_SESSION_QUESTION, "question", ui.IDNO, exclude=[sheet])
    time.sleep(0.5)
    t.check_eq("2", t.text(stats, ui.STATS_FIELDS["Session"][0]), "Session count after No to New Session")
    ui.clear_of_periodic_save(started, 6)
    t.reg_set(t.SETTINGS_KEY, "CounterLastSession", "dword", 55)
    click(page, "new_session")
    old_time = t.text(stats, ui.TIME_FIELD)
    pressed = time.time()
    ui.answer_box(NEW_SESSION_QUESTION, "question", ui.IDYES, exclude=[sheet])
    t.wait_until(lambda: t.reg_number("CounterLastSession") == 0, 5, 0.2, "the save after New Session")
    ui.select_page(sheet, 0)
    time.sleep(0.3)
    new = ui.fields(stats)
    t.check_eq(("0", "2", "-100%"), ui.stats_row(new, "Session"), "Session row after New Session")
    # The time starts again from 00:00:00: no more seconds than have passed since Yes.
    since = int(time.time() - pressed) + 1
    t.check(seconds(old_time) > since, f"session too young to tell a restart: {old_time}")
    t.check(seconds(new[ui.TIME_FIELD]) <= since,
            f"time on computer after New Session: {new[ui.TIME_FIELD]}, {since} s after Yes (before: {old_time})")
    percent = ui.field_rects(stats)[ui.STATS_FIELDS["Session"][2]]
    screen = t.grab_screen()
    t.check(screen.count(percent, ui.DARK_RED) > 0 and screen.count(percent, ui.DARK_GREEN) == 0,
            "Session percentage after New Session is not dark red")
    t.screenshot("settings-after-new-session")

    # A new session after one without clicks has nothing to compare with.
    page = ui.select_page(sheet, 1)
    click(page, "new_session")
    ui.answer_box(NEW_SESSION_QUESTION, "question", ui.IDYES, exclude=[sheet])
    t.wait_until(lambda: t.text(stats, ui.STATS_FIELDS["Session"][1]) == "0", 5, 0.2, "last session 0")
    t.check_eq(("0", "0", "n/a"), ui.stats_row(ui.fields(stats), "Session"), "Session row after an empty session")

    ui.hide_sheet(sheet)
    ui.stop(proc, main)


def test_about_page():
    ui.keep_desktop()
    proc, main, _ = ui.launch("TwAbout")
    sheet = ui.wait_sheet()
    page = ui.select_page(sheet, 2)
    time.sleep(0.3)
    t.screenshot("about-page")
    rows = t.children(page)
    link = [c for c in rows if c["id"] == ui.ABOUT_LINK]
    t.check_eq([("Button", "Orrinwood Media", True)], [(c["class"], c["text"], c["visible"]) for c in link],
               "the About page's link button")
    texts = [c["text"] for c in rows if c["class"] == "Static" and c["text"]]
    t.check(any("Tapwise" in x for x in texts), f"no description of Tapwise among {texts}")
    opened = ui.opened_addresses("TwAbout", lambda: t.robot("click", hex(page), ui.ABOUT_LINK))
    t.check_eq([ui.resource_string("IDS_PRODUCT_URL")], opened, "addresses opened by the About page's link")
    ui.hide_sheet(sheet)
    ui.stop(proc, main)


if __name__ == "__main__":
    sys.exit(t.run_tests([
        test_autostart_check_box,
        test_windows_own_start_up_switch,
        test_resets_take_effect_at_once,
        test_about_page,
    ]))
