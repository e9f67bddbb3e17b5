"""The tray icon as the user meets it: it appears with the program and goes
with it, shows the title as its tip, opens the statistics window on a left
press, offers Open and Terminate on a right press, and Terminate asks twice.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
import tapwise_ui as ui  # noqa: E402

TERMINATE_QUESTION = "Are you sure you want to terminate this very cool app?"
REALLY = "Really?"
MENU_CLASS = "#32768"
NIN_BALLOONSHOW, NIN_BALLOONTIMEOUT, NIN_BALLOONUSERCLICK = 0x402, 0x404, 0x405
FOUND_HERE = ui.resource_string("IDS_FOUND_HERE").replace("\\n", "\n")


def start_with_icon(directory, switch="-Auto"):
    """Starts the program with -Auto; returns (process, main window, icon box, capture before the start)."""
    ui.keep_desktop()
    ui.end_running_copies()
    time.sleep(0.5)  # the keeper's own icon settles first
    before = t.grab_screen()
    proc, main, _ = ui.launch(directory, switch)
    icon = ui.wait_tray_icon(before)
    return proc, main, icon, before


def balloons():
    """Wine's shell shows a balloon as a tooltip window, two seconds after it was asked for."""
    return [w for w in t.top_windows() if w["class"] == "tooltips_class32" and w["visible"] and w["title"] == FOUND_HERE]


def visible_menus():
    return [w["hwnd"] for w in t.top_windows() if w["class"] == MENU_CLASS and w["visible"]]


def wait_menu():
    return t.wait_until(lambda: (visible_menus() or [0])[0], 5, 0.2, "the tray menu")


def test_icon_tip_and_removal():
    proc, main, icon, before = start_with_icon("TwIcon")
    time.sleep(4)
    t.check_eq([], balloons(), "balloons after a start with -Auto (not setup's)")
    width, height = icon[2] - icon[0], icon[3] - icon[1]
    t.check(8 <= width <= 24 and 8 <= height <= 24, f"tray icon of unexpected size: {icon}")

    # From elsewhere: a pointer that an earlier scenario left on the icon would not move, and show no tip.
    t.xdotool("mousemove", 500, 300)
    t.xdotool("mousemove", *ui.centre(icon))
    tips = t.wait_until(lambda: [w for w in t.top_windows() if w["class"] == "tooltips_class32"
                                 and w["visible"] and w["title"]], 8, 0.3, "the tray icon's tip")
    t.check_eq([t.TITLE], [w["title"] for w in tips], "tray tips shown")
    t.screenshot("tray-icon-tip")
    t.xdotool("mousemove", 500, 300)

    # A restarted shell has lost every icon and says so with "TaskbarCreated".
    t.check_eq("0", t.robot("untray", hex(main), 1).strip() or str(t.robot.rc), "removing the icon from outside")
    t.wait_until(lambda: ui.strip_pixels(t.grab_screen()) == ui.strip_pixels(before), 10, 0.3,
                 "the tray icon to go after the shell lost it")
    t.post(main, int(t.robot("regmsg", "TaskbarCreated").strip()))
    again = ui.wait_tray_icon(before)
    t.check_eq(icon, again, "tray icon box after TaskbarCreated")

    ui.stop(proc, main)
    t.wait_until(lambda: ui.strip_pixels(t.grab_screen()) == ui.strip_pixels(before), 10, 0.3,
                 "the tray icon to go away after the program ended")


def test_balloon_after_setup():
    proc, main, _, before = start_with_icon("TwFound", "+-Auto")  # as setup starts it
    t.wait_until(balloons, 10, 0.3, f"the balloon {FOUND_HERE!r} after setup's start")
    t.screenshot("tray-balloon-after-setup")
    # The icon may be out of sight behind the overflow arrow: a click on the balloon itself (which Wine's
    # shell does not report, Windows' does as below) opens the statistics; the balloon's other news does not.
    for news in (NIN_BALLOONSHOW, NIN_BALLOONTIMEOUT):
        t.post(main, t.TRAY_MESSAGE, 1, news)
    t.check(ui.no_sheet_within(1500), "a statistics window after the balloon's show or time-out")
    t.post(main, t.TRAY_MESSAGE, 1, NIN_BALLOONUSERCLICK)
    ui.hide_sheet(ui.wait_sheet(5000))
    t.robot("untray", hex(main), 1)  # the shell loses the icon and its balloon
    t.post(main, int(t.robot("regmsg", "TaskbarCreated").strip()))
    ui.wait_tray_icon(before)
    time.sleep(4)
    t.check_eq([], balloons(), "balloons with the icon added again after TaskbarCreated")
    ui.stop(proc, main)


def test_mouse_on_the_icon():
    proc, main, icon, _ = start_with_icon("TwMouse")
    started = time.time()
    x, y = ui.centre(icon)

    # Releases, double clicks and moves over the icon do nothing.
    for mouse in (ui.WM_LBUTTONUP, ui.WM_LBUTTONDBLCLK, ui.WM_MOUSEMOVE, ui.WM_RBUTTONUP):
        t.post(main, t.TRAY_MESSAGE, 1, mouse)
    t.check(ui.no_sheet_within(2000), "a release, double click or move opened the statistics window")
    t.check_eq([], visible_menus(), "menus after releases, double clicks and moves")

    # A left press opens the window; another one while it is open changes nothing.
    t.click_at(x, y)
    sheet = ui.wait_sheet(5000)
    where = t.rect(sheet)
    t.click_at(x, y)
    time.sleep(1.5)
    t.check_eq([sheet], ui.visible_sheets(), "statistics windows after a second left press")
    t.check_eq(where, t.rect(sheet), "statistics window position after a second left press")
    ui.hide_sheet(sheet)

    # A right press shows the menu; its first item, Open, opens the window.
    t.click_at(x, y, "right")
    menu = wait_menu()
    t.screenshot("tray-icon-menu")
    left, top, right, bottom = t.rect(menu)
    t.click_at((left + right) // 2, top + 10)
    sheet = ui.wait_sheet(5000)
    t.check_eq([], visible_menus(), "menus after choosing Open")
    ui.hide_sheet(sheet)

    # The context-menu key shows the menu too; a click elsewhere closes it, choosing nothing.
    t.post(main, t.TRAY_MESSAGE, 1, ui.WM_CONTEXTMENU)
    wait_menu()
    t.click_at(500, 300)
    t.wait_until(lambda: not visible_menus(), 5, 0.2, "the menu to close after a click elsewhere")
    t.check(ui.no_sheet_within(1500), "the statistics window opened after the menu was dismissed")
    t.check(proc.poll() is None, "the program ended after the menu was dismissed")

    # A close request (another copy's setup, a log-off) while the menu is open
    # ends the program, and the clicks counted so far are saved on the way.
    t.check_eq(1, t.send(main, t.WM_QUERYENDSESSION), "answer to WM_QUERYENDSESSION")
    counted, clicks = t.reg_number("CounterCurrentTotal"), 3
    for _ in range(clicks):
        t.click_at(500, 300)
        time.sleep(0.3)   # apart, so that no two make a double-click
    t.post(main, t.TRAY_MESSAGE, 1, t.WM_RBUTTONDOWN)
    wait_menu()
    ui.clear_of_periodic_save(started, 8)
    t.reg_set(t.SETTINGS_KEY, "CounterCurrentTotal", "dword", 0)
    t.send(main, t.WM_CLOSE)
    t.check_eq(0, t.wait_exit(proc, 20), "exit code after WM_CLOSE with the tray menu open")
    t.check(t.reg_number("CounterCurrentTotal") >= counted + clicks,
            f"CounterCurrentTotal after the close: expected {counted} + {clicks} clicks at least, "
            f"found {t.reg_number('CounterCurrentTotal')}")


def test_terminate_asks_twice():
    proc, main, icon, before = start_with_icon("TwTerm")
    started = time.time()

    t.post(main, t.WM_COMMAND, t.CMD_TERMINATE)
    ui.answer_box(TERMINATE_QUESTION, "stop", ui.IDNO)
    time.sleep(1)
    t.check(proc.poll() is None, "the program ended after No to the first question")

    t.post(main, t.WM_COMMAND, t.CMD_TERMINATE)
    ui.answer_box(TERMINATE_QUESTION, "stop", ui.IDYES)
    ui.answer_box(REALLY, "question", ui.IDNO)
    time.sleep(1)
    t.check(proc.poll() is None, "the program ended after Yes, No")

    # From the tray menu, answered No before: both questions come again.
    t.click_at(*ui.centre(icon), "right")
    menu = wait_menu()
    left, top, right, bottom = t.rect(menu)
    t.click_at((left + right) // 2, bottom - 10)
    ui.answer_box(TERMINATE_QUESTION, "stop", ui.IDYES)
    ui.clear_of_periodic_save(started, 8)
    t.reg_set(t.SETTINGS_KEY, "CounterCurrentSession", "dword", 77)
    ui.answer_box(REALLY, "question", ui.IDYES)
    t.check_eq(0, t.wait_exit(proc, 20), "exit code after Terminate, Yes, Yes")
    t.check_eq(0, t.main_window(), "main window after Terminate")
    t.check_eq(0, t.reg_number("CounterCurrentSession"), "stored session value (saved at shut-down)")
    t.wait_until(lambda: ui.strip_pixels(t.grab_screen()) == ui.strip_pixels(before), 10, 0.3,
                 "the tray icon to go away after Terminate")


if __name__ == "__main__":
    sys.exit(t.run_tests([
        test_icon_tip_and_removal,
        test_balloon_after_setup,
        test_mouse_on_the_icon,
        test_terminate_asks_twice,
    ]))
