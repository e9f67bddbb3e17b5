"""What the Linux side can see of a program running under Wine: its unix
process, CPU time, resident memory and per-thread context switches.

Other Wine sessions on the machine may run programs of the same name, so a
process counts as ours only when it has mapped the very file we started."""
import os
import subprocess
import time

CLOCK_TICK = os.sysconf("SC_CLK_TCK")


def find_pid(comm, unix_exe, timeout=10.0):
    """Unix pid of the Wine process named comm that mapped unix_exe."""
    unix_exe = os.path.realpath(unix_exe)
    end = time.time() + timeout
    while time.time() < end:
        found = subprocess.run(["pgrep", "-x", comm], capture_output=True, text=True).stdout.split()
        for pid in found:
            try:
                with open(f"/proc/{pid}/maps") as maps:
                    if unix_exe in maps.read():
                        return int(pid)
            except OSError:
                pass
        time.sleep(0.1)
    return None


def cpu_seconds(pid):
    """utime + stime of the whole process (all threads), in seconds."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICK


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return None


def rss_by_mapping(pid):
    """Resident KiB per mapped file (its base name; Wine maps every PE module,
    built-in or not, as a file) or per kind of anonymous memory ([heap],
    [stack], "anonymous": Windows heaps, thread stacks and Wine's own)."""
    result, name = {}, None
    with open(f"/proc/{pid}/smaps") as f:
        for line in f:
            parts = line.split()
            if not parts:
                continue
            if not parts[0].endswith(":"):  # a mapping's header line
                path = " ".join(parts[5:]) if len(parts) > 5 else ""
                name = os.path.basename(path) if path.startswith("/") else (path or "anonymous")
                if name.endswith(" (deleted)"):
                    name = name[:-len(" (deleted)")]
            elif parts[0] == "Rss:" and name is not None:
                result[name] = result.get(name, 0) + int(parts[1])
    return result


def threads(pid):
    """{tid: (comm, voluntary switches)} of every thread of the process."""
    result = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        base = f"/proc/{pid}/task/{tid}"
        try:
            with open(f"{base}/comm") as f:
                comm = f.read().strip()
            with open(f"{base}/status") as f:
                switches = next(int(l.split()[1]) for l in f if l.startswith("voluntary_ctxt_switches"))
        except (OSError, StopIteration):
            continue
        result[int(tid)] = (comm, switches)
    return result


def sample_wakeups(pid, seconds, interval=0.02):
    """Per thread: voluntary switches over the window, and wake-ups, counted
    as runs of consecutive sampling intervals in which the thread switched.
    Under Wine every blocking server call is a switch too, so one timer tick
    shows as a burst of several switches, possibly across an interval's end;
    a run counts the burst once."""
    start = threads(pid)
    last = {tid: s for tid, (_, s) in start.items()}
    active = {tid: 0 for tid in start}
    was_busy = {}
    t0 = time.monotonic()
    next_at = t0
    while True:
        next_at += interval
        delay = next_at - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        if time.monotonic() - t0 >= seconds:
            break
        for tid, (_, s) in threads(pid).items():
            busy = s != last.get(tid, s)
            if busy and not was_busy.get(tid):
                active[tid] = active.get(tid, 0) + 1
            was_busy[tid] = busy
            last[tid] = s
    elapsed = time.monotonic() - t0
    end = threads(pid)
    rows = {}
    for tid, (comm, s) in end.items():
        before = start.get(tid, (comm, s))[1]
        rows[tid] = {"comm": comm, "switches": s - before, "wakeups": active.get(tid, 0)}
    return rows, elapsed


def server_pid(prefix):
    """The wineserver of a prefix: it works in a directory named after the
    prefix's device and inode."""
    st = os.stat(prefix)
    name = f"server-{st.st_dev:x}-{st.st_ino:x}"
    found = subprocess.run(["pgrep", "-x", "wineserver64"], capture_output=True, text=True).stdout.split()
    found += subprocess.run(["pgrep", "-x", "wineserver"], capture_output=True, text=True).stdout.split()
    for pid in found:
        try:
            if os.path.basename(os.readlink(f"/proc/{pid}/cwd")) == name:
                return int(pid)
        except OSError:
            pass
    return None
