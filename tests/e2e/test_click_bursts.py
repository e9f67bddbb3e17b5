"""Every press counted, exactly: the running program under bursts of real
input, 2 ms apart and as fast as a window's queue is emptied, on a quiet
machine and with both cores kept busy by other processes for the whole burst.

The robot sends each press with its release through SendInput into a window
of its own and takes it off the queue, which is where the mouse hook runs; it
reports how many presses it took. The program's count is read from the store
after asking it to save.
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import twlib as t  # noqa: E402
from twlib import check, check_eq  # noqa: E402
import tapwise_ui as ui  # noqa: E402

PRESSES = 2000
BURSTS = (("2 ms apart", 2000, False), ("as fast as taken", 0, False),
          ("2 ms apart, both cores busy", 2000, True), ("as fast as taken, both cores busy", 0, True))


def busy_cores():
    """Two processes that each keep a core busy until ended."""
    return [subprocess.Popen([sys.executable, "-c", "while True: pass"], stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for _ in range(2)]


def end(loaders):
    for p in loaders:
        p.kill()
        p.wait(timeout=10)


def burst(spacing_us, busy):
    loaders = busy_cores() if busy else []
    try:
        out = t.robot("burst", PRESSES, spacing_us, timeout=300).split()
    finally:
        end(loaders)
    check(len(out) == 10 and out[0] == "sent", f"robot burst answered {out}")
    return int(out[1]), int(out[3]), float(out[5])


def test_every_press_of_a_burst_is_counted():
    ui.keep_desktop()
    ui.end_running_copies()
    t.reset_store()
    _, unix = t.make_test_dir("TwBurst")
    proc = t.start([os.path.join(unix, "TW.exe"), "-Auto"], cwd=unix)
    main = t.wait_main_window()
    check(main, "TW.exe -Auto did not start")
    base = ui.saved_total(main)
    taken_so_far = 0
    for label, spacing, busy in BURSTS:
        sent, taken, seconds = burst(spacing, busy)
        print(f"NOTE: {label}: {taken} of {sent} presses taken in {seconds:.2f} s "
              f"({seconds * 1e6 / max(sent, 1):.0f} µs per press)", flush=True)
        check_eq(PRESSES, taken, f"presses the robot's window took, {label}")
        taken_so_far += taken
        # The count may lag behind a burst, never lose any of it.
        deadline = time.time() + 20
        while ui.saved_total(main) - base < taken_so_far and time.time() < deadline:
            time.sleep(0.5)
        time.sleep(1)
        check_eq(taken_so_far, ui.saved_total(main) - base, f"presses counted after the burst {label}")
    ui.stop(proc, main)


if __name__ == "__main__":
    sys.exit(t.run_tests([t.tidy(test_every_press_of_a_burst_is_counted, ("TwBurst",))]))
