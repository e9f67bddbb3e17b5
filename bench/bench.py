"""Runs every benchmark inside the Wine session that bench/run.sh started and
hands the figures to report.py. Windows programs write to files, never to a
pipe, and every Wine call has a time limit.

Environment: the Wine session (WINEPREFIX, TW_WINE, ...), TW_BIN (64-bit
Tapwise.exe and Tapwise.dll), TW_TEST_BIN (robot.exe), TW_BENCH_BIN (the
benchmark programs), TW_I686_BIN (the shipped 32-bit build); optionally
TW_BENCH_BEFORE, a directory with an earlier revision's hook_cost.exe,
Tapwise.dll (x86_64) and Tapwise-i686.dll, for the hook cost before and after,
and TW_BENCH_BEFORE_LABEL naming that revision."""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import hookpath
import procstat
import report

WINE = os.environ["TW_WINE"]
PREFIX = os.environ["WINEPREFIX"]
BIN, TEST_BIN = os.environ["TW_BIN"], os.environ["TW_TEST_BIN"]
BENCH_BIN, I686_BIN = os.environ["TW_BENCH_BIN"], os.environ["TW_I686_BIN"]
HERE = os.path.dirname(os.path.abspath(__file__))
DIR_WIN, DIR_UNIX = "C:\\TwBench", os.path.join(PREFIX, "drive_c", "TwBench")
MAIN_CLASS, MINIMAL_CLASS = "Orrinwood-Tapwise", "TapwiseBenchMinimal"
FLOOR_CLASS = "TapwiseBenchTrayFloor"
STARTS = 5          # start-up samples per program
MEMORY_STARTS = 5   # memory samples per program
IDLE_SECONDS = 60
BUSY_PRESSES = 3000  # per kind of burst while both cores are kept busy
ANSWER_ROUNDS = 3    # turns of every piece of work per design in the hook-answer benchmark
HTTP_OPEN_KEY = r"Software\Classes\http\shell\open\command"
BEFORE = os.environ.get("TW_BENCH_BEFORE")


def log(text):
    print(f"[bench {time.strftime('%H:%M:%S')}] {text}", flush=True)


def run(args, timeout):
    """Runs a Windows program to its end; (exit code, output) through a file."""
    with tempfile.TemporaryFile() as out:
        try:
            rc = subprocess.run([WINE] + args, stdout=out, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            rc = "timeout"
        out.seek(0)
        return rc, out.read().decode("latin-1")


def figures(program, args, timeout, directory=BENCH_BIN):
    """The "name value" lines a benchmark program prints."""
    rc, out = run([os.path.join(directory, program)] + args, timeout)
    found = {}
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 2:
            try:
                found[parts[0]] = float(parts[1])
            except ValueError:
                pass
    if rc != 0 or not found:
        log(f"{program} ended with {rc}:\n{out[-2000:]}")
    return found


def robot(*args):
    return run([os.path.join(TEST_BIN, "robot.exe")] + [str(a) for a in args], 60)[1].strip()


def prepare_dir():
    """C:\\TwBench with TW.exe (the installed name, so it runs as the tray
    program), Tapwise.dll beside it, the baseline program, and nullhook.dll
    there too, so the two hook libraries are found the same way."""
    shutil.rmtree(DIR_UNIX, ignore_errors=True)
    os.makedirs(DIR_UNIX)
    shutil.copy(os.path.join(BIN, "Tapwise.exe"), os.path.join(DIR_UNIX, "TW.exe"))
    shutil.copy(os.path.join(BIN, "Tapwise.dll"), os.path.join(DIR_UNIX, "Tapwise.dll"))
    if BEFORE:
        shutil.copy(os.path.join(BEFORE, "Tapwise.dll"), os.path.join(DIR_UNIX, "TapwiseBefore.dll"))
    for name in ("minimal.exe", "tray_floor.exe", "nullhook.dll"):
        shutil.copy(os.path.join(BENCH_BIN, name), os.path.join(DIR_UNIX, name))


def end_process(pid, cls):
    """Ends a program this run started, by pid, and waits until its window is gone."""
    if pid:
        try:
            os.kill(pid, 9)
        except OSError:
            pass
        for _ in range(100):
            if not os.path.exists(f"/proc/{pid}"):
                break
            time.sleep(0.05)
    for _ in range(50):
        if robot("find", cls, "-") in ("", "0", "0x0"):
            return
        time.sleep(0.1)


def start_once(exe, cls, args=None):
    """One timed start: (milliseconds to the window, unix pid, seconds since start)."""
    t0 = time.monotonic()
    if args is None:
        args = " -Auto" if exe == "TW.exe" else ""
    found = figures("startup_probe.exe", [cls, f"{DIR_WIN}\\{exe}{args}"], 60)
    pid = procstat.find_pid(exe, os.path.join(DIR_UNIX, exe))
    return found.get("startup_ms"), pid, t0


def startup(keep_tapwise):
    """STARTS timed starts of each program, alternating. TW.exe's last start
    is handed back running when keep_tapwise, for the idle measurement."""
    times = {"TW.exe": [], "minimal.exe": []}
    result, kept = {}, None
    for i in range(STARTS):
        for exe, cls in (("TW.exe", MAIN_CLASS), ("minimal.exe", MINIMAL_CLASS)):
            ms, pid, t0 = start_once(exe, cls)
            if ms is not None:
                times[exe].append(ms)
            if i == STARTS - 1 and pid and exe == "TW.exe" and keep_tapwise:
                kept = (pid, t0)
                continue
            end_process(pid, cls)
    for exe, values in times.items():
        if values:
            result[f"start_{exe}_median"] = statistics.median(values)
            result[f"start_{exe}_min"] = min(values)
            result[f"start_{exe}_max"] = max(values)
            result[f"start_{exe}_n"] = len(values)
    return result, kept


def memory():
    """Resident memory 5 s after start of TW.exe -Auto, of the tray floor and
    of the floor with one waiting thread, MEMORY_STARTS starts each, taking
    turns: the medians, and where TW.exe's median sample lies above each
    floor's, mapping by mapping."""
    programs = (("TW.exe", "TW.exe", MAIN_CLASS, None), ("floor", "tray_floor.exe", FLOOR_CLASS, ""),
                ("floor_thread", "tray_floor.exe", FLOOR_CLASS, " -thread"))
    samples = {key: [] for key, *_ in programs}
    for _ in range(MEMORY_STARTS):
        for key, exe, cls, args in programs:
            _ms, pid, t0 = start_once(exe, cls, args)
            if pid:
                time.sleep(max(0.0, 5.0 - (time.monotonic() - t0)))
                kb, maps = procstat.rss_kb(pid), procstat.rss_by_mapping(pid)
                # The program's own file, whatever its name.
                maps["(program file)"] = maps.pop(exe, 0)
                samples[key].append((kb, maps))
            end_process(pid, cls)
    result, median = {}, {}
    for key, got in samples.items():
        got = sorted((g for g in got if g[0] is not None), key=lambda g: g[0])
        if got:
            median[key] = got[len(got) // 2]
            result[f"rss_{key}"] = median[key][0]
            result[f"rss_{key}_n"] = len(got)
    for floor in ("floor", "floor_thread"):
        if "TW.exe" in median and floor in median:
            tw, base = median["TW.exe"][1], median[floor][1]
            diff = {name: tw.get(name, 0) - base.get(name, 0) for name in set(tw) | set(base)}
            result[f"rss_above_{floor}"] = result["rss_TW.exe"] - result[f"rss_{floor}"]
            result[f"rss_above_{floor}_parts"] = sorted(((n, d) for n, d in diff.items() if abs(d) >= 8),
                                                        key=lambda nd: -abs(nd[1]))
    return result


def idle(pid, t0):
    """CPU time and per-thread wake-ups of the running TW.exe over
    IDLE_SECONDS, then three clicks to tell the counting thread from the rest."""
    time.sleep(max(0.0, 10.0 - (time.monotonic() - t0)))  # start-up has settled
    server = procstat.server_pid(PREFIX)
    cpu0 = procstat.cpu_seconds(pid)
    server0 = procstat.cpu_seconds(server) if server else None
    rows, elapsed = procstat.sample_wakeups(pid, IDLE_SECONDS)
    result = {"idle_seconds": elapsed, "idle_cpu_ms": (procstat.cpu_seconds(pid) - cpu0) * 1000}
    if server:
        result["idle_server_cpu_ms"] = (procstat.cpu_seconds(server) - server0) * 1000
    before = procstat.threads(pid)
    for _ in range(3):  # on the empty desktop, far from the taskbar
        robot("input", "click", 600, 80)
    time.sleep(0.5)
    after = procstat.threads(pid)
    gained = {tid: after[tid][1] - before.get(tid, after[tid])[1] for tid in after if tid != pid}
    counting = max(gained, key=gained.get) if gained and max(gained.values()) >= 3 else None
    result["idle_threads"] = []
    for tid, row in sorted(rows.items()):
        role = "UI (main)" if tid == pid else "counting" if tid == counting else "other"
        result["idle_threads"].append({"tid": tid, "role": role, **row,
                                       "per_second": row["wakeups"] / elapsed,
                                       "switches_per_second": row["switches"] / elapsed})
    result["idle_click_identified"] = counting is not None
    return result


def on_rig(fn):
    """fn's figures with the session's prefix served by the test rig, whose
    wineserver calls Tapwise.dll's hook for other programs in the thread that
    installed it (TW_RIG_XHOOK); the stock server is back afterwards. No
    figures when the rig cannot be built."""
    try:
        rig = subprocess.run([os.path.join(HERE, "..", "tools", "wine-rig.sh")], stdout=subprocess.PIPE,
                             stdin=subprocess.DEVNULL, text=True, timeout=3600).stdout.strip()
    except subprocess.TimeoutExpired:
        rig = ""
    if not os.path.isfile(os.path.join(rig, "bin", "wineserver")):
        log("the test rig could not be built: no hook-answer figures")
        return {}
    stock = (WINE, os.environ["WINESERVER"])

    def serve(wine, server, **switches):
        subprocess.run([os.environ["WINESERVER"], "-k"], timeout=30, stderr=subprocess.DEVNULL)
        subprocess.run([os.environ["WINESERVER"], "-w"], timeout=60, stderr=subprocess.DEVNULL)
        global WINE
        WINE = wine
        os.environ["WINESERVER"] = server
        os.environ.pop("TW_RIG_UIPI", None)
        os.environ.pop("TW_RIG_XHOOK", None)
        os.environ.update(switches)
        subprocess.run([server, "-p"], timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    serve(os.path.join(rig, "bin", "wine"), os.path.join(rig, "bin", "wineserver"), TW_RIG_XHOOK="Tapwise.dll")
    try:
        return fn()
    finally:
        serve(*stock)


def hook_answer():
    """The wait another program sees for its mouse messages while the
    user-interface thread works, on the rig. The prefix's handler of web
    addresses is a robot that writes the address down, so opening the link
    starts a program but no browser."""
    handler = "Z:" + os.path.join(TEST_BIN, "robot.exe").replace("/", "\\")
    robot("regset", HTTP_OPEN_KEY, "-", "sz", f'"{handler}" record "{DIR_WIN}\\opened.txt" "%1"')
    return on_rig(lambda: figures("hook_answer.exe", [f"{DIR_WIN}\\Tapwise.dll", str(ANSWER_ROUNDS)], 1800))


def busy_cores():
    """Two processes that each keep a core busy until ended."""
    return [subprocess.Popen([sys.executable, "-c", "while True: pass"], stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for _ in range(2)]


def with_busy_cores(fn):
    loaders = busy_cores()
    try:
        return fn()
    finally:
        for p in loaders:
            p.kill()
            p.wait(timeout=10)


def sizes():
    files = {"i686 Tapwise.dll": os.path.join(I686_BIN, "Tapwise.dll"),
             "i686 Tapwise.exe": os.path.join(I686_BIN, "Tapwise.exe"),
             "x86_64 Tapwise.dll": os.path.join(BIN, "Tapwise.dll"),
             "x86_64 Tapwise.exe": os.path.join(BIN, "Tapwise.exe"),
             "x86_64 nullhook.dll": os.path.join(BENCH_BIN, "nullhook.dll")}
    return {name: os.path.getsize(path) if os.path.exists(path) else None for name, path in files.items()}


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    out = args[0] if args else os.path.join(HERE, "RESULTS.md")
    prepare_dir()
    if "--memory" in sys.argv:
        # The memory rows alone, printed, for a run of that part only.
        log(f"memory: {MEMORY_STARTS} starts each of TW.exe -Auto, tray_floor.exe and tray_floor.exe -thread, at 5 s")
        print("\n".join(report.memory_rows(memory())))
        return
    if "--history" in sys.argv:
        # The History page's opening alone, printed, for a run of that part only.
        log("History page: 20 openings over ten years of Day.txt")
        print("\n".join(report.history_rows(figures("history_open.exe", [DIR_WIN, "20"], 180))))
        return
    if "--answer" in sys.argv:
        log(f"hook answer on the test rig: {ANSWER_ROUNDS} rounds, no counter, Tapwise before and now, an LL counter")
        found = hook_answer()
        print("\n".join(report.answer_rows(found) + [""] + report.answer_goals(found)))
        return
    dll = f"{DIR_WIN}\\Tapwise.dll"
    null = f"{DIR_WIN}\\nullhook.dll"
    results = {"load_start": os.getloadavg()}

    log("hook path in the disassembly, library sizes")
    for arch, path in (("i686", os.path.join(I686_BIN, "Tapwise.dll")), ("x86_64", os.path.join(BIN, "Tapwise.dll"))):
        try:
            results[f"path_{arch}"] = hookpath.analyse(path, arch)
        except Exception as e:  # the report says so instead of a figure
            results[f"path_{arch}"] = {"error": f"{type(e).__name__}: {e}"}
    results["sizes"] = sizes()
    log("SaveCounters and CheckRollover")
    results.update(figures("engine_calls.exe", ["200", "100000"], 180))
    log("History page: 20 openings over ten years of Day.txt")
    results.update(figures("history_open.exe", [DIR_WIN, "20"], 180))
    log("click latency, 1,000 samples")
    results.update(figures("click_latency.exe", [dll, "1000"], 180))
    log("click burst, 3 x 10,000 presses")
    results.update(figures("click_burst.exe", [dll, "10000"], 240))
    log(f"click burst with both cores busy, 3 x {BUSY_PRESSES:,} presses")
    busy = with_busy_cores(lambda: figures("click_burst.exe", [dll, str(BUSY_PRESSES)], 900))
    results.update({"busy_" + k: v for k, v in busy.items()})
    log("hook cost: no hook, nullhook.dll, Tapwise.dll")
    results.update(figures("hook_cost.exe", [null, dll, "6000"], 240))
    if BEFORE:
        log(f"hook cost of the earlier revision in {BEFORE}")
        before = figures("hook_cost.exe", [null, f"{DIR_WIN}\\TapwiseBefore.dll", "6000"], 240, BEFORE)
        results.update({"before_" + k: v for k, v in before.items()})
        results["before_label"] = os.environ.get("TW_BENCH_BEFORE_LABEL", BEFORE)
        for arch, name in (("i686", "Tapwise-i686.dll"), ("x86_64", "Tapwise.dll")):
            if os.path.exists(os.path.join(BEFORE, name)):
                try:
                    results[f"before_path_{arch}"] = hookpath.analyse(os.path.join(BEFORE, name), arch)
                except Exception as e:
                    results[f"before_path_{arch}"] = {"error": f"{type(e).__name__}: {e}"}
    log(f"hook answer on the test rig: {ANSWER_ROUNDS} rounds, no counter, Tapwise before and now, an LL counter")
    results.update(hook_answer())
    log(f"memory: {MEMORY_STARTS} starts each of TW.exe -Auto, tray_floor.exe and tray_floor.exe -thread, at 5 s")
    results.update(memory())
    log(f"start-up: {STARTS} starts each of TW.exe -Auto and minimal.exe")
    found, kept = startup(keep_tapwise=True)
    results.update(found)
    if kept:
        log(f"idle TW.exe -Auto for {IDLE_SECONDS} s")
        try:
            results.update(idle(*kept))
        finally:
            end_process(kept[0], MAIN_CLASS)
    results["load_end"] = os.getloadavg()
    report.write(out, results)
    log(f"wrote {out}")


if __name__ == "__main__":
    main()
