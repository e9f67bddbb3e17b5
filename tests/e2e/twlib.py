"""Shared helpers of the end-to-end tests: run Windows programs in the test
run's Wine session, drive them through the robot, read the registry, take
screenshots and clean up every process started, by PID.

The Wine session (WINEPREFIX, DISPLAY, TW_WINE, ...) comes from the
environment that tools/test.sh sets up; TW_BIN holds the program under test
(Tapwise.exe, Tapwise.dll) and TW_TEST_BIN the robot and helper programs.
"""
import os
import shutil
import signal
import subprocess
import tempfile
import time

WINE = os.environ.get("TW_WINE", "wine")
BIN = os.environ.get("TW_BIN", "")
TEST_BIN = os.environ.get("TW_TEST_BIN", "")
SOURCE = os.environ.get("TW_SOURCE", "")
PREFIX = os.environ.get("WINEPREFIX", "")
SHOTS = os.environ.get("TW_SCREENSHOTS", os.path.join(SOURCE, "build", "screenshots"))

SETTINGS_KEY = r"Software\Orrinwood Software\Tapwise"
RUN_KEY = r"Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Tapwise"
TITLE = "Tapwise for (Your Company) by Orrinwood Media"
MAIN_CLASS = "Orrinwood-Tapwise"
CMD_OPEN, CMD_TERMINATE = 40002, 40003
WM_COMMAND, WM_CLOSE, WM_TIMER = 0x0111, 0x0010, 0x0113
WM_QUERYENDSESSION, WM_ENDSESSION = 0x0011, 0x0016
TRAY_MESSAGE = 0x8001
WM_LBUTTONDOWN, WM_RBUTTONDOWN = 0x0201, 0x0204

_started = []
_robot_calls = []  # the last few (arguments, exit code, seconds, output), for failure reports


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def check_eq(expected, found, what):
    if expected != found:
        raise Failure(f"{what}: expected {expected!r}, found {found!r}")


def run(args, timeout=60, cwd=None):
    """Runs a Windows program to its end; output through a file, never a pipe.
    Now and then, on a busy machine, a Wine process ends at its very start
    without running anything: exit code 1 and no output. Our programs say why
    whenever they fail (the robot ends every run with its end line), so such a
    run never ran and is started again, at most twice."""
    for attempt in range(3):
        with tempfile.TemporaryFile() as log:
            proc = subprocess.run([WINE] + list(args), stdout=log, stderr=subprocess.STDOUT,
                                  stdin=subprocess.DEVNULL, timeout=timeout, cwd=cwd,
                                  env=dict(os.environ, TW_ROBOT_END="1"))
            log.seek(0)
            out = log.read().decode("latin-1")
        if not _never_ran(args, proc.returncode, bool(out), attempt):
            break
    return proc.returncode, out


def _never_ran(args, code, printed, attempt):
    """True, with a NOTE, for a run that ended with exit code 1 without a word."""
    if code != 1 or printed:
        return False
    print(f"NOTE: {' '.join(str(a) for a in args)} ended with exit code 1 before running"
          + ("; started again" if attempt < 2 else ""), flush=True)
    return True


def never_ran(proc):
    """A start at once that Wine ended with exit code 1 without a word (see
    _never_ran): the program never ran."""
    return proc.poll() == 1 and os.fstat(proc.log.fileno()).st_size == 0


def start(args, cwd=None, at_once=False):
    """Starts a Windows program in the background; ended by cleanup()."""
    return start_env(args, {}, cwd, at_once)


def wait_exit(proc, timeout):
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


def cleanup():
    """Ends every program this test started, by PID, then any Tapwise left.
    Running copies are closed first, the way another copy would: a killed copy's
    hook would outlive it under Wine and count the next scenario's clicks."""
    close_copies(5000)
    for proc in _started:
        if proc.poll() is None:
            # Not Wine's desktop, which a program started when it first needed it:
            # killed, it would leave the desktop shell's objects registered for no one.
            for pid in filter(str.isdigit, os.listdir("/proc")):
                try:
                    with open(f"/proc/{pid}/cmdline", "rb") as f:
                        if os.getpgid(int(pid)) == proc.pid and b"explorer.exe" not in f.read():
                            os.kill(int(pid), signal.SIGKILL)
                except OSError:
                    pass
            proc.wait(timeout=10)
    _started.clear()
    # Copies started by the program itself (the installer starts one) are not ours by PID.
    for _ in range(3):
        hwnd = find(MAIN_CLASS)
        if not hwnd:
            break
        pid = robot("pid", hex(hwnd)).strip()
        robot("kill", pid)


def tidy(fn, directories=(), then=None):
    """The scenario fn, ending whatever happens with its copies closed in order (a
    killed copy's hook would outlive it), its directories C:\\<name> removed, `then`
    run for what else it changed, and the store emptied."""
    def scenario():
        try:
            fn()
        except Exception:
            report_started()
            raise
        finally:
            close_copies()
            cleanup()
            for name in directories:
                shutil.rmtree(unix_path("C:\\" + name), ignore_errors=True)
            if then:
                then()
            reset_store()
    scenario.__name__ = fn.__name__
    return scenario


def robot(*args, timeout=60):
    """One robot command; its output without the end line."""
    t0 = time.time()
    rc, out = run([os.path.join(TEST_BIN, "robot.exe")] + [str(a) for a in args], timeout=timeout)
    _robot_calls.append((" ".join(str(a) for a in args), rc, time.time() - t0, out[:200]))
    del _robot_calls[:-8]
    robot.rc = rc
    body, marker, _ = out.rpartition("\x04 ")
    return body if marker else out


def find(cls="-", title="-"):
    return int(robot("find", cls, title).strip() or "0", 16)


def wait_window(cls="-", title="-", ms=10000, visible=True):
    out = robot("wait", cls, title, ms, "visible" if visible else "")
    return int(out.strip() or "0", 16)


def main_window():
    return find(MAIN_CLASS)


def wait_main_window(ms=15000):
    return wait_window(MAIN_CLASS, "-", ms, visible=False)


def text(hwnd, control=None):
    args = ["text", hex(hwnd)] + ([control] if control is not None else [])
    out = robot(*args).strip()
    return _unquote(out)


def _unquote(s):
    if len(s) >= 2 and s[0] == '"' and s[-1] == '"':
        s = s[1:-1]
    return s.replace("\\n", "\n").replace("\\r", "\r").replace('\\"', '"').replace("\\\\", "\\")


def children(hwnd):
    rows = []
    for line in robot("children", hex(hwnd)).splitlines():
        parts = line.split(" ", 8)
        if len(parts) < 9:
            continue
        rows.append({"hwnd": int(parts[0], 16), "id": int(parts[1]), "visible": parts[2] == "1",
                     "class": parts[3], "rect": tuple(int(p) for p in parts[4:8]), "text": _unquote(parts[8])})
    return rows


def top_windows():
    rows = []
    for line in robot("top").splitlines():
        parts = line.split(" ", 4)
        if len(parts) == 5:
            rows.append({"hwnd": int(parts[0], 16), "pid": int(parts[1]), "visible": parts[2] == "1",
                         "class": parts[3], "title": _unquote(parts[4])})
    return rows


def answer(caption, button, ms=10000):
    """Waits for a message box, presses a button and returns the box's text."""
    out = robot("answer", caption, button, ms)
    check(robot.rc == 0, f"message box {caption!r} did not appear")
    return _unquote(out.strip())


def post(hwnd, msg, wparam=0, lparam=0):
    robot("post", hex(hwnd), msg, wparam, lparam)


def send(hwnd, msg, wparam=0, lparam=0):
    return int(robot("send", hex(hwnd), msg, wparam, lparam).strip() or "0")


def rect(hwnd):
    return tuple(int(p) for p in robot("rect", hex(hwnd)).split())


def click_at(x, y, button="left", double=False):
    robot("input", "click", x, y, button, "double" if double else "")


def xdotool(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=False, timeout=30,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def reg_get(key, value):
    """(type, data) of an HKLM value, or None when the key or value is absent."""
    out = robot("regget", key, value).strip()
    if out in ("NOKEY", "NOVALUE", ""):
        return None
    kind, size, data = out.split(" ", 2)
    kind = int(kind)
    if kind == 4 and int(size) == 4:
        return ("dword", int(data))
    if kind in (1, 2):
        return ("sz", _unquote(data), int(size))
    return ("raw", kind, data)


def reg_number(value, key=SETTINGS_KEY):
    got = reg_get(key, value)
    return got[1] if got and got[0] == "dword" else None


def reg_set(key, value, kind, data):
    robot("regset", key, value, kind, data)


def reg_delete(key, value=None):
    robot(*(["regdel", key] + ([value] if value is not None else [])))


def keylock(action, key):
    """Makes an HKLM key read-only for everybody ("lock") or writable again ("unlock")."""
    rc, out = run([os.path.join(TEST_BIN, "keylock.exe"), action, key], timeout=60)
    check_eq(0, rc, f"keylock {action} {key} ({out.strip()})")


def processes(exe):
    """{pid: (parent pid, elevation type: 2 full, 3 limited)} of every process of exe."""
    rows = [line.split() for line in robot("procs", exe).splitlines() if line.strip()]
    return {int(r[0]): (int(r[1]), int(r[2])) for r in rows if len(r) == 3}


def reset_store():
    """Removes every trace of Tapwise from the registry of the prefix."""
    reg_delete(SETTINGS_KEY)
    reg_delete(RUN_KEY, "Tapwise")
    reg_delete("HKCU\\" + RUN_KEY, "Tapwise")
    reg_delete(UNINSTALL_KEY)


def unix_path(windows_path):
    drive, rest = windows_path[0].lower(), windows_path[2:].replace("\\", "/").lstrip("/")
    return os.path.join(PREFIX, "dosdevices", f"{drive}:", rest)


def make_test_dir(name):
    """C:\\<name> with TW.exe and Tapwise.dll of the build; returns (windows, unix) paths."""
    win = "C:\\" + name
    unix = unix_path(win)
    shutil.rmtree(unix, ignore_errors=True)
    os.makedirs(unix)
    program = os.path.join(unix, "TW.exe")
    if os.environ.get("TW_RIG_SHIM_COPY"):  # on the rig: a copy that meets Windows' virtualization
        out = subprocess.run([os.environ["TW_RIG_SHIM_COPY"], os.path.join(BIN, "Tapwise.exe"), program],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=60)
        check(out.returncode == 0, f"shim-copy failed: {out.stdout}")
    else:
        shutil.copy(os.path.join(BIN, "Tapwise.exe"), program)
    shutil.copy(os.path.join(BIN, "Tapwise.dll"), os.path.join(unix, "Tapwise.dll"))
    return win, unix


def screenshot(name):
    os.makedirs(SHOTS, exist_ok=True)
    path = os.path.join(SHOTS, name + ".png")
    subprocess.run(["import", "-display", os.environ.get("DISPLAY", ":0"), "-window", "root", path],
                   check=False, timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return path


def wait_until(fn, timeout=10.0, interval=0.2, what="condition"):
    end = time.time() + timeout
    while True:
        value = fn()
        if value:
            return value
        if time.time() > end:
            raise Failure(f"timed out waiting for {what}")
        time.sleep(interval)


def report_started():
    """After a failure: which of the programs this scenario started are still
    running, and the last of what each printed (a crash shows there)."""
    for proc in _started:
        code = proc.poll()
        state = "running" if code is None else f"ended with {code:#x}"
        print(f"  started {' '.join(str(a) for a in proc.args[1:])}: {state}", flush=True)
        try:
            proc.log.seek(0)
            tail = proc.log.read().decode("latin-1").splitlines()[-15:]
        except (OSError, ValueError):
            tail = []
        for line in tail:
            print(f"    | {line}", flush=True)
    for args, rc, seconds, out in _robot_calls:
        print(f"  robot {args}: exit {rc:#x} after {seconds:.2f} s: {out.strip()!r}", flush=True)
    _robot_calls.clear()


def run_tests(tests):
    """Runs the named test functions in order; prints a summary line; exit code."""
    passed = failed = 0
    for fn in tests:
        name = fn.__name__
        t0 = time.time()
        try:
            fn()
            passed += 1
            print(f"PASS {name} ({time.time() - t0:.1f}s)", flush=True)
        except Exception as e:  # a failing scenario must not stop the others
            failed += 1
            print(f"FAIL {name}: {type(e).__name__}: {e}", flush=True)
            try:
                screenshot("failed-" + name)
            except Exception:
                pass
            report_started()
        finally:
            cleanup()
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


def window_state(hwnd):
    """visible/iconic/zoomed flags, styles and class style of a window; None once it is gone."""
    out = robot("state", hex(hwnd)).split()
    if robot.rc != 0 or not out:
        return None
    state = {}
    for item in out:
        key, _, value = item.partition("=")
        state[key] = int(value, 0)
    return state


def move(hwnd, x, y):
    robot("move", hex(hwnd), x, y)


def post_many(count, hwnd, msg, wparam=0, lparam=0):
    robot("postn", count, hex(hwnd), msg, wparam, lparam)


class Screen:
    """One capture of the X display, to look at pixels: (r, g, b) by screen position."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def count(self, box, colour):
        """How many pixels of exactly this colour lie in box (left, top, right, bottom)."""
        left, top, right, bottom = box
        return sum(1 for y in range(max(top, 0), min(bottom, self.height))
                   for x in range(max(left, 0), min(right, self.width)) if self.pixel(x, y) == colour)

    def colours(self, box):
        left, top, right, bottom = box
        return {self.pixel(x, y) for y in range(max(top, 0), min(bottom, self.height))
                for x in range(max(left, 0), min(right, self.width))}


def grab_screen():
    """The display as a Screen, read through a binary PPM file."""
    fd, path = tempfile.mkstemp(suffix=".ppm")
    os.close(fd)
    try:
        subprocess.run(["import", "-display", os.environ.get("DISPLAY", ":0"), "-window", "root", "-depth", "8",
                        path], check=True, timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        data = open(path, "rb").read()
    finally:
        os.unlink(path)
    fields, pos = [], 0
    while len(fields) < 4:  # magic, width, height, maximum; comments never appear in ImageMagick's output
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    check(fields[0] == b"P6" and fields[3] == b"255", f"unexpected screen capture header {fields!r}")
    width, height = int(fields[1]), int(fields[2])
    return Screen(width, height, data[pos + 1:pos + 1 + width * height * 3])


def special_folder(csidl):
    """File-system path of a special folder (CSIDL), or None when the prefix has none."""
    for _ in range(3):   # Wine's shell folders can be briefly unreadable while its desktop starts
        out = robot("folder", csidl).strip()
        if robot.rc == 0 and out:
            return out
        time.sleep(1)
    return None


def read_link(windows_path):
    """A shell link as the shell reads it: {path, args, workdir, description, icon}, None if unreadable."""
    out = robot("link", windows_path)
    if robot.rc != 0:
        return None
    fields = {}
    for line in out.splitlines():
        key, _, value = line.strip().partition(" ")
        if key == "icon":
            location, _, index = value.rpartition(" ")
            fields["icon"] = (_unquote(location), int(index))
        elif key:
            fields[key] = _unquote(value)
    return fields


def spawn(app, command_line, token=""):
    """Starts app with command_line exactly as given, the way Windows starts a Run value (Wine
    would quote the name of a plain start; token "limited": the split token's limited half); returns its pid."""
    out = robot("spawn", app, command_line, *([token] if token else [])).strip()
    check(robot.rc == 0 and out.isdigit(), f"cannot start {app} with [{command_line}]: {out!r}")
    return out


def process_image(pid):
    """Full path of the program file a Windows process runs, or None."""
    out = robot("image", pid).strip()
    return out if robot.rc == 0 and out else None


def close_copies(ms=10000):
    """Ends every running Tapwise the way another copy does: WM_CLOSE, then waits for the
    process. Under Wine a killed copy's global mouse hook outlives it and keeps loading
    its library into other processes (and signalling clicks), so killing is the last resort."""
    closed = []
    for _ in range(3):
        hwnd = find(MAIN_CLASS)
        if not hwnd:
            break
        pid = robot("pid", hex(hwnd)).strip()
        robot("send", hex(hwnd), WM_CLOSE, 0, 0, timeout=30)
        if robot("wait-exit", pid, ms).strip() == "running":
            robot("kill", pid)
        closed.append(pid)
    return closed


# ---------------------------------------------------------------- moved clocks, hard ends, history files

TIME_PRELOAD = os.path.join(SOURCE, "build", "timeshift.so")
# A POSIX zone nine hours east of UTC without daylight saving: local midnight
# is then not UTC midnight, so a program going by the wrong clock would miss it.
SHIFTED_ZONE, SHIFTED_ZONE_EAST = "TWT-9", 9 * 3600
HISTORY_LINE_PATTERNS = {
    "Day.txt": rb"\d{4}-\d{2}-\d{2}\t-?\d+\r\n",
    "Month.txt": rb"\d{4}-\d{2}\t-?\d+\r\n",
    "Year.txt": rb"\d{4}\t-?\d+\r\n",
}
_preload_built = []


def build_time_preload():
    """Builds tests/preload/timeshift.c into TIME_PRELOAD once per run."""
    if not _preload_built:
        out = subprocess.run(["bash", os.path.join(SOURCE, "tools", "build-preload.sh"), TIME_PRELOAD],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                             timeout=120)
        check(out.returncode == 0, "building the time-shifting preload failed: " + out.stdout.decode(errors="replace"))
        _preload_built.append(True)
    return TIME_PRELOAD


def local_epoch(year, month, day, hour=0, minute=0, second=0):
    """Seconds since 1970 of a local time in SHIFTED_ZONE."""
    import calendar
    return calendar.timegm((year, month, day, hour, minute, second)) - SHIFTED_ZONE_EAST


def start_env(args, env, cwd=None, at_once=False):
    """start() with extra environment variables for the Windows program. A
    program gone within a moment having never run (see run()) is started again;
    that look costs a moment, which at_once skips, for starts that must come
    right after another."""
    for attempt in range(3):
        log = tempfile.TemporaryFile()
        proc = subprocess.Popen([WINE] + list(args), stdout=log, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, cwd=cwd, start_new_session=True,
                                env=dict(os.environ, TW_ROBOT_END="1", **env))
        proc.log = log
        _started.append(proc)
        if at_once:
            break
        try:
            code = proc.wait(timeout=0.3)
        except subprocess.TimeoutExpired:
            break
        if not _never_ran(args, code, os.fstat(log.fileno()).st_size > 0, attempt):
            break
    return proc


class ShiftedClock:
    """A wall clock that reads the given local time (in SHIFTED_ZONE) now and then
    runs at real speed. Programs started through it see it by the time-shifting
    preload; one fixed offset, so every program started through it agrees, and
    real_time() says when it will read a given local time. Start the desktop
    (a window or tray icon of an unshifted program) first, or the desktop process
    that Wine starts for the program would inherit the moved clock."""

    def __init__(self, year, month, day, hour=0, minute=0, second=0):
        build_time_preload()
        self.offset = local_epoch(year, month, day, hour, minute, second) - time.time()

    def real_time(self, year, month, day, hour=0, minute=0, second=0):
        return local_epoch(year, month, day, hour, minute, second) - self.offset

    def now(self):
        """The local time it reads now, as a time.struct_time."""
        return time.gmtime(time.time() + self.offset + SHIFTED_ZONE_EAST)

    def start(self, args, cwd=None):
        return start_env(args, {"LD_PRELOAD": TIME_PRELOAD, "TW_TIME_OFFSET": repr(self.offset),
                                "TZ": SHIFTED_ZONE}, cwd=cwd)


def kill_hard(proc):
    """Ends a started Windows program the way a crash or a power cut would: SIGKILL to
    its Unix process, no chance to save. Under Wine its global hooks outlive it for as
    long as the desktop lives, unlike on Windows."""
    os.kill(proc.pid, signal.SIGKILL)
    proc.wait(timeout=10)


def history_lines(unix_dir, name):
    """The lines of a history file (None when it does not exist); fails on anything
    but whole lines of its pattern, each ended by CR LF."""
    import re
    path = os.path.join(unix_dir, name)
    if not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        data = f.read()
    lines = data.splitlines(keepends=True)
    bad = [line for line in lines if not re.fullmatch(HISTORY_LINE_PATTERNS[name], line)]
    check(not bad, f"{name} holds lines that are not whole history lines: {bad!r} (whole file {data!r})")
    return lines


def mapping_pids(windows_path):
    """Linux process ids of the processes of this prefix that have the file mapped."""
    target, found = os.path.realpath(unix_path(windows_path)), []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if f"WINEPREFIX={PREFIX}".encode() + b"\0" not in f.read():
                    continue
            with open(f"/proc/{pid}/maps") as f:
                if any(line.rstrip("\n").endswith(" " + target) for line in f):
                    found.append(int(pid))
        except OSError:
            continue
    return found


def mapped_by(windows_path):
    """Unix command lines of the processes of this prefix that have the file mapped;
    Wine refuses to delete a file that some process has mapped."""
    found = []
    for pid in mapping_pids(windows_path):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as c:
                found.append(c.read().split(b"\0")[0].decode("latin-1"))
        except OSError:
            continue
    return found


def start_click_target():
    """Notepad, as another program for real clicks to land in; returns (process,
    window, list of points in its edit area). Several points, so that clicks in a
    row are not taken for double clicks (they would count all the same)."""
    proc = start(["notepad.exe"])
    hwnd = wait_window("Notepad", "-", 20000)
    check(hwnd, "notepad did not open a window")
    left, top, right, bottom = rect(hwnd)
    x, y = (left + right) // 2, (top + bottom) // 2
    return proc, hwnd, [(x - 120, y - 60), (x + 120, y - 60), (x - 120, y + 60), (x + 120, y + 60)]


def click_times(points, count, button="left"):
    """count real presses, taking the points in turn."""
    for i in range(count):
        click_at(*points[i % len(points)], button)


def key_values(key=SETTINGS_KEY, root="HKEY_LOCAL_MACHINE"):
    """Every value of an HKLM (or root's) key in one regedit export: name -> signed int
    for a 4-byte REG_DWORD, str for REG_SZ, ("hex", type, bytes) for anything else;
    None when the key does not exist."""
    import re
    fd, path = tempfile.mkstemp(suffix=".reg", dir=unix_path("C:\\windows\\temp"))
    os.close(fd)
    try:
        windows = "C:\\windows\\temp\\" + os.path.basename(path)
        run(["regedit", "/E", windows, root + "\\" + key], timeout=60)
        with open(path, "rb") as f:
            data = f.read()
    finally:
        os.unlink(path)
    if not data:
        return None
    text = data.decode("utf-16") if data[:2] == b"\xff\xfe" else data.decode("latin-1")
    text = text.replace("\\\r\n  ", "")  # continued hex lines
    values, section = {}, None
    for line in text.splitlines():
        if line.startswith("["):
            section = line.strip("[]")
            continue
        if section is None or section.lower() != (root + "\\" + key).lower():
            continue  # sub-keys are exported too
        m = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
        if not m:
            continue
        name, data = m.group(1).replace('\\"', '"').replace("\\\\", "\\"), m.group(2)
        if data.startswith('"'):
            values[name] = data[1:-1].replace('\\"', '"').replace("\\\\", "\\")
        elif data.startswith("dword:"):
            number = int(data[6:], 16)
            values[name] = number - (1 << 32) if number >= 1 << 31 else number
        else:
            hm = re.match(r"hex(?:\((\w+)\))?:(.*)$", data)
            raw = bytes(int(b, 16) for b in hm.group(2).split(",") if b.strip()) if hm else b""
            values[name] = ("hex", int(hm.group(1), 16) if hm and hm.group(1) else 3, raw)
    return values
