"""Presses in another program, counted through the hook's own thread (needs
the rig, with TW_RIG_XHOOK=Tapwise.dll): Windows calls our 32-bit hook for a
64-bit program by a message to the thread that installed it, and that
program's input waits for the answer. The robot's burst stands for such a
program; the library must never be mapped into it.

While the presses flow, the user-interface thread opens the statistics
window, shows a message box and saves, and after the watchdog has
re-installed the hook in a quiet stretch; every press is counted exactly and
no removal of a mouse message waits for Wine's time-out for an owner that
does not answer, re-installs amid the presses included.
"""
import os
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
from twlib import check, check_eq  # noqa: E402
import tapwise_ui as ui  # noqa: E402

PRESSES = 300
HOOK_TIMEOUT_US = 2000000  # Wine's time-out for a hook's owner that does not answer
TIMER_ID = 1


class Burst:
    """robot burst in the background for the length of a with block."""

    def __init__(self, directory, unix):
        self.stop = (directory + "\\burst.stop", os.path.join(unix, "burst.stop"))
        self.out = []
        self.thread = threading.Thread(
            target=lambda: self.out.extend(t.robot("burst", PRESSES, 2000, self.stop[0], timeout=300).split()))

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *_):
        open(self.stop[1], "w").close()
        self.thread.join()
        os.remove(self.stop[1])

    def taken(self, label):
        out = self.out
        check(len(out) == 10 and out[0] == "sent", f"robot burst answered {out}")
        sent, taken, wait_us, mapped = int(out[1]), int(out[3]), float(out[7]), out[9]
        print(f"NOTE: {label}: {taken} of {sent} presses, longest removal {wait_us:.0f} µs", flush=True)
        check_eq(sent, taken, f"presses the robot's window took, {label}")
        check_eq("0", mapped, f"Tapwise.dll mapped into the burst's process, {label}")
        check(wait_us < HOOK_TIMEOUT_US, f"a removal waited {wait_us:.0f} µs, {label}: the hook's time-out")
        return taken


def test_presses_counted_while_the_window_thread_works():
    ui.keep_desktop()
    proc, main, unix = ui.launch("TwXHook", "-Auto")
    directory = "C:\\TwXHook"
    base = ui.saved_total(main)

    with Burst(directory, unix) as burst:
        t.wait_until(lambda: ui.saved_total(main) > base, 30, 0.2, "the first presses to be counted")
        sheet, _ = ui.open_sheet(main)
        ui.hide_sheet(sheet)
        t.post(main, t.WM_COMMAND, t.CMD_TERMINATE)
        ui.press(ui.wait_box(), ui.IDNO)
    taken = burst.taken("while the statistics window, a message box and saves come and go")
    t.wait_until(lambda: ui.saved_total(main) - base == taken, 20, 0.2, "the burst's presses to be counted")

    # Twenty ticks without a press: the watchdog's second check re-installs
    # the hook, from the counting thread; the presses after it count alike.
    t.post_many(20, main, t.WM_TIMER, TIMER_ID)
    with Burst(directory, unix) as burst:
        t.wait_until(lambda: ui.saved_total(main) - base > taken, 30, 0.2, "the second burst to be counted")
    taken += burst.taken("after the watchdog's re-install")
    t.wait_until(lambda: ui.saved_total(main) - base == taken, 20, 0.2, "every press to be counted")

    # Re-installs amid presses (their ticks come at once here): the counting
    # thread answers throughout. Presses in the 5 ms without a hook go
    # uncounted, as on Windows, so only the waits are checked.
    with Burst(directory, unix) as burst:
        t.wait_until(lambda: ui.saved_total(main) - base > taken, 30, 0.2, "the last burst to be counted")
        for _ in range(5):
            t.post_many(20, main, t.WM_TIMER, TIMER_ID)
    burst.taken("across the watchdog's re-installs")
    ui.stop(proc, main)


if __name__ == "__main__":
    sys.exit(t.run_tests([t.tidy(test_presses_counted_while_the_window_thread_works, ("TwXHook",))]))
