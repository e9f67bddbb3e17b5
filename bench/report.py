"""Writes bench/RESULTS.md from the figures bench.py collected: the machine,
one table of figures each beside its goal or baseline, and notes on how the
figures were taken."""
import os
import platform
import subprocess
import tempfile
import time


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with tempfile.TemporaryFile() as out:  # a file, not a pipe, for anything Wine
        subprocess.run([os.environ["TW_WINE"], "--version"], stdout=out, stderr=subprocess.STDOUT, timeout=30)
        out.seek(0)
        wine = out.read().decode().strip()
    return {"cores (nproc)": str(os.cpu_count()), "CPU": model, "kernel": platform.release(),
            "Wine": f"{wine} (64-bit loader {os.environ['TW_WINE']})",
            "date": time.strftime("%Y-%m-%d %H:%M:%S %Z")}


def num(value, digits=1):
    if value is None:
        return "n/a"
    return f"{value:,.{digits}f}"


def burst_row(r, name, label, goal):
    sent, counted = r.get(f"{name}_sent"), r.get(f"{name}_counted")
    if sent is None:
        return [f"| 1. Click burst | {label} | n/a | {goal} |"]
    taken = r.get(f"{name}_taken", 0)
    return [f"| 1. Click burst | {label}: counted / sent (one press every "
            f"{num(r.get(f'{name}_interval_us'), 0)} µs on average) | "
            f"{num(counted, 0)} / {num(sent, 0)} = **{num(r.get(f'{name}_percent'), 2)} %** "
            f"({num(taken - counted, 0)} lost of {num(taken, 0)} taken) | {goal} |"]


def hook_cost_rows(r, prefix, label_suffix):
    out = []
    for kind, label in (("all", "all messages"), ("move", "WM_MOUSEMOVE"), ("press", "WM_LBUTTONDOWN"),
                        ("release", "WM_LBUTTONUP")):
        if r.get(f"{prefix}hook_ratio_{kind}_p10") is None:
            continue
        views = ("p10", "median", "mean")
        per_lib = " · ".join("/".join(num(r.get(f"{prefix}hook_{lib}_{kind}_{v}_us"), 0) for v in views)
                             for lib in ("none", "null", "tapwise"))
        out.append(f"| 3. Hook cost{label_suffix} | {label}: µs per removal (10th percentile/median/mean), "
                   f"no hook · nullhook.dll · Tapwise.dll | {per_lib}; Tapwise.dll ÷ nullhook.dll "
                   f"**{num(r.get(f'{prefix}hook_ratio_{kind}_p10'), 3)}×** at the 10th percentile "
                   f"(median {num(r.get(f'{prefix}hook_ratio_{kind}_median'), 3)}×, "
                   f"mean {num(r.get(f'{prefix}hook_ratio_{kind}_mean'), 3)}×) | goal ≤ 1.02× nullhook.dll |")
    return out


def history_rows(r):
    return [f"| 6. History page | selection → end of the chart's first paint, over ten years of Day.txt "
            f"({num(r.get('history_file_bytes'), 0)} bytes), median / p90 / max of {num(r.get('history_openings'), 0)} "
            f"openings | **{num(r.get('history_open_median_ms'))}** / {num(r.get('history_open_p90_ms'))} / "
            f"{num(r.get('history_open_max_ms'))} ms | goal < 50 ms |"]


def rows(r):
    out = []
    out += burst_row(r, "paced", "2 ms apart", "goal 100 %")
    out += burst_row(r, "fast", "as fast as possible, one press per pump", "goal 100 %")
    out += burst_row(r, "batch", "50 presses per SendInput call", "goal 100 %")
    out += burst_row(r, "busy_paced", "both cores busy, 2 ms apart", "goal 100 %")
    out += burst_row(r, "busy_fast", "both cores busy, as fast as possible, one press per pump", "goal 100 %")
    out += burst_row(r, "busy_batch", "both cores busy, 50 presses per SendInput call", "goal 100 %")
    out.append(f"| 2. Latency | SendInput → rawClicks changed, median | {num(r.get('latency_median_us'))} µs | — |")
    out.append(f"| 2. Latency | same, p99 ({num(r.get('latency_samples'), 0)} samples, "
               f"{num(r.get('latency_missed'), 0)} missed) | **{num(r.get('latency_p99_us'))} µs** | goal p99 ≤ 1,000 µs |")
    out.append(f"| 2. Latency | press taken (hook has signalled) → counted, median / p99 | "
               f"{num(r.get('latency_taken_median_us'))} / {num(r.get('latency_taken_p99_us'))} µs | — |")
    out += hook_cost_rows(r, "", "")
    out += hook_cost_rows(r, "before_", f" before ({r.get('before_label', 'earlier build')})")
    paths = [(f"path_{arch}", arch, "") for arch in ("i686", "x86_64")]
    paths += [(f"before_path_{arch}", arch, f" before ({r.get('before_label')})") for arch in ("i686", "x86_64")
              if f"before_path_{arch}" in r]
    for key, arch, when in paths:
        p = r.get(key, {})
        if "error" in p:
            out.append(f"| 3. Hook cost{when} | {arch} instructions to CallNextHookEx | not determined: {p['error']} | — |")
            continue
        others = [v for k, v in p.items() if k.startswith("WM_") and isinstance(v, int)]
        spread = f"{min(others)}–{max(others)}" if others else "n/a"
        shipped = "" if when else " (shipped build)" if arch == "i686" else " (the build run here)"
        out.append(f"| 3. Hook cost{when} | {arch}{shipped} instructions from MouseHookProc's entry to the "
                   f"CallNextHookEx call, non-counted message | WM_MOUSEMOVE **{p.get('WM_MOUSEMOVE')}**, "
                   f"all non-counted {spread}, HC_NOREMOVE "
                   f"{p.get('HC_NOREMOVE WM_LBUTTONDOWN')} | for comparison, a counted press: "
                   f"{p.get('counted WM_LBUTTONDOWN')} (the {'SetEvent' if when else 'ReleaseSemaphore'} call counted, not its body) |")
    for name, size in r.get("sizes", {}).items():
        goal = {"i686 Tapwise.dll": "goal exactly 4,096 bytes (one page)",
                "i686 Tapwise.exe": f"goal ≤ {num(EXE_MAX_SIZE, 0)} bytes, aim {num(EXE_AIM_SIZE, 0)}"}.get(name, "—")
        out.append(f"| 3. Sizes | {name} | {num(size, 0)} bytes | {goal} |")
    share = r.get("idle_cpu_ms", 0) / 10 / max(r.get("idle_seconds", 1), 1)  # ms per s → % of a core
    out.append(f"| 4. Idle | TW.exe -Auto process CPU time over {num(r.get('idle_seconds'), 0)} s | "
               f"{num(r.get('idle_cpu_ms'), 0)} ms ({num(share, 3)} % of a core) | "
               f"— (wineserver of the session meanwhile: {num(r.get('idle_server_cpu_ms'), 0)} ms) |")
    for t in r.get("idle_threads", []):
        goal = {"UI (main)": "goal 1/s", "counting": "goal 0/s"}.get(t["role"], "—")
        out.append(f"| 4. Idle | {t['role']} thread (tid {t['tid']}, comm {t['comm']}): wake-ups per second "
                   f"({num(t['switches_per_second'], 2)} voluntary switches/s) | **{num(t['per_second'], 2)}/s** | {goal} |")
    for key, label in (("TW.exe", "TW.exe -Auto"), ("minimal.exe", "minimal.exe")):
        out.append(f"| 5. Start-up | {label}: CreateProcess → main window exists, median of "
                   f"{num(r.get(f'start_{key}_n'), 0)} (min–max) | **{num(r.get(f'start_{key}_median'), 0)} ms** "
                   f"({num(r.get(f'start_{key}_min'), 0)}–{num(r.get(f'start_{key}_max'), 0)}) | "
                   + ("baseline: minimal.exe |" if key == "TW.exe" else "the baseline |"))
    out += memory_rows(r)
    out.append(f"| 6. Engine | SaveCounters, µs per call: mean / median / p99 ({num(r.get('save_calls'), 0)} calls) | "
               f"**{num(r.get('save_mean_us'))}** / {num(r.get('save_median_us'))} / {num(r.get('save_p99_us'))} µs "
               f"({num(r.get('save_per_write_us'))} µs per registry write) | budget: one 30 s save period |")
    out.append(f"| 6. Engine | CheckRollover on a tick that rolls nothing, µs per call ({num(r.get('rollover_calls'), 0)} "
               f"calls, {num(r.get('rollover_rolled'), 0)} rolled) | **{num(r.get('rollover_mean_us'), 3)} µs** | "
               f"budget: one 1 s tick |")
    out += history_rows(r)
    out += answer_rows(r)
    return out


ANSWER_GOAL_US = 1000
ANSWER_WORK = (("idle", "user-interface thread idle (the floor)"), ("link", "opening the web link"),
               ("sheet", "opening the statistics window"), ("save", "the 30-second save, 20 times"),
               ("box", "a message box"), ("rehook", "the watchdog's re-install, 20 times"),
               ("all", "all of the above"))


ANSWER_DESIGNS = (("none", "no counter"), ("before", "Tapwise, hook on the user-interface thread (before)"),
                  ("now", "Tapwise, hook on the counting thread (now)"), ("ll", "a WH_MOUSE_LL counter"))


def answer_rows(r):
    """The wait another program sees for its mouse messages, on the rig."""
    out = []
    for work, label in ANSWER_WORK:
        views = []
        for design, name in ANSWER_DESIGNS[1:3]:
            key = f"answer_{design}_{work}_take_press"
            p50, p99, top = (r.get(f"{key}_{v}_us") for v in ("p50", "p99", "max"))
            n, over = r.get(f"{key}_n"), r.get(f"{key}_over_1ms")
            share = f", {num(100 * over / n, 1)} % from 1 ms up" if n and over is not None else ""
            views.append(f"{name}: {num(p50, 0)} / {num(p99, 0)} / **{num(top, 0)}** ({num(n, 0)} presses{share})")
        goal = f"goal max < {num(ANSWER_GOAL_US, 0)} µs (now)" if work == "all" else "—"
        out.append(f"| 7. Hook answer | {label}: µs another program's press takes from the call that takes it "
                   f"to having it, the hook called in the thread that set it, p50 / p99 / max | "
                   f"{' · '.join(views)} | {goal} |")
    for mode, how in (("take", "taken at once"), ("peek", "peeked (PM_NOREMOVE), then taken")):
        for kind in ("move", "press"):
            for measure, what in (("answer", "from the call that takes it to having it"),
                                  ("input", "from its SendInput to having it")):
                views = [f"{name}: {num(r.get(f'{measure}_{design}_all_{mode}_{kind}_p50_us'), 0)} / "
                         f"{num(r.get(f'{measure}_{design}_all_{mode}_{kind}_p99_us'), 0)}"
                         for design, name in ANSWER_DESIGNS]
                out.append(f"| 7. Hook answer | a {kind}, {how}, all of the work above: µs {what}, p50 / p99 | "
                           f"{' · '.join(views)} | — |")
    return out


def answer_goals(r):
    top = r.get("answer_now_all_take_press_max_us")
    ok = None if top is None else top < ANSWER_GOAL_US
    return [f"- another program's press waits at most {num(ANSWER_GOAL_US, 0)} µs for the hook's thread: "
            f"{'n/a' if ok is None else 'met' if ok else '**not met**'}"]


EXE_MAX_SIZE, EXE_AIM_SIZE = 131072, 98304

# How the shipped program file got to its size: measured once per step, each
# row on top of the one before (i686, Release, stripped; resources 45,368
# bytes, unchanged throughout), on the sources of commit 3c5df5f.
EXE_SIZE_STEPS = [
    ("as it was: -Os -fno-exceptions, static, stripped", 366592),
    ("no unwind tables (-fno-asynchronous-unwind-tables -fno-unwind-tables; -fno-rtti saves nothing more)", 360960),
    ("Program Manager commands in fixed buffers instead of std::string and std::vector: libstdc++'s "
     "exception, string and demangler support, the unwinder and winpthreads all drop out", 152576),
    ("own formatter (common/format) for %s, %d and %% instead of snprintf, which in a static C++ "
     "build is mingw's full C99 printf (floating point, wide characters, locale)", 124416),
    ("-ffunction-sections and --gc-sections (libuuid's GUID tables, unused CRT helpers)", 87040),
    ("no relocation table: fixed base 0x400000 (--disable-dynamicbase --disable-reloc-section)", 85504),
]


def size_steps():
    lines = ["## The program file, step by step", "",
             "| Step | i686 Tapwise.exe | Saved |", "|---|---|---|"]
    before = None
    for label, size in EXE_SIZE_STEPS:
        saved = "—" if before is None else f"{num(before - size, 0)} bytes"
        lines.append(f"| {label} | {num(size, 0)} bytes | {saved} |")
        before = size
    lines += ["", "The steps were measured on the sources of commit 3c5df5f. The program as merged later "
              "(raw command lines, setup with a library in use, hook retries, tray icon re-added) was "
              "368,640 bytes without them in its last full benchmark run and is 88,576 bytes with them "
              "(x86_64: 86,528)."]
    lines += ["", "Resident memory follows the file: Wine copies the program's image into anonymous memory "
              "(its sections are not page-aligned in the file). Measured once with the memory rows' method, "
              "the x86_64 TW.exe -Auto had 1,304 KiB of anonymous memory above tray_floor.exe's before "
              "(302,592-byte file) and 1,080 KiB after (82,944 bytes)."]
    return lines


MEMORY_GOAL_KB = 1024


def memory_rows(r):
    def parts(key):
        return ", ".join(f"{name} {d:+,} KiB" for name, d in r.get(key, [])) or "n/a"

    return [f"| 5. Memory | VmRSS 5 s after start, median of {num(r.get('rss_TW.exe_n'), 0)}: TW.exe -Auto / "
            f"tray_floor.exe | **{num(r.get('rss_TW.exe'), 0)} KiB** / {num(r.get('rss_floor'), 0)} KiB: "
            f"**{num(r.get('rss_above_floor'), 0)} KiB** above the floor | goal ≤ {num(MEMORY_GOAL_KB, 0)} KiB "
            f"above tray_floor.exe |",
            f"| 5. Memory | TW.exe above tray_floor.exe, by mapping (resident, ±8 KiB or more) | "
            f"{parts('rss_above_floor_parts')} | — |",
            f"| 5. Memory | one thread waiting on a semaphore, as the counting thread: tray_floor.exe -thread "
            f"above tray_floor.exe | {num(r.get('rss_floor_thread', 0) - r.get('rss_floor', 0) if r.get('rss_floor_thread') and r.get('rss_floor') else None, 0)} KiB | "
            f"the floor with a counting thread |",
            f"| 5. Memory | TW.exe above tray_floor.exe -thread: the program's own | "
            f"**{num(r.get('rss_above_floor_thread'), 0)} KiB** ({parts('rss_above_floor_thread_parts')}) | — |"]


NOTES = """\
## How the figures were taken

- **32-bit vs 64-bit.** This machine's kernel cannot execute 32-bit x86 code. Of the shipped
  32-bit build (`build/bin`, i686) the report gives the file sizes and the instruction path of
  its hook procedure, counted by `bench/hookpath.py`, which runs the built library on an
  emulated CPU (Unicorn, `tests/i686/hookemu.py`) from MouseHookProc's entry, found as the
  procedure TapwiseInit hands to SetWindowsHookExA, to the CallNextHookEx call, with the hook
  installed and the semaphore already opened. Every runtime figure
  comes from the x86_64 build of the same sources (`build/win64`, `-DTW_BUILD_TESTS=ON`) under
  64-bit Wine 8 (`/usr/lib/wine/wine64`) in a throwaway prefix on its own Xvfb display with a
  virtual desktop.
- **Shared machine.** Other work (builds, test sessions) may run on the same two cores; the load
  averages at the start and the end of the run are given above. Wine routes every wait, message
  and registry call through the single-threaded wineserver, so figures move by tens of percent
  between runs; the hook-cost libraries take turns batch by batch for that reason.
- **1. Click burst** (`click_burst.cpp`): Tapwise.dll loaded by full path and bound with
  BindHookLibraryNamed, then StartClickIntake of tapwise_core (the program's semaphore,
  counting thread and CountClick). A topmost window of the benchmark lies under the cursor; each
  press is SendInput of a left press and release, and the benchmark's thread takes the messages
  off its queue, which is where the WH_MOUSE hook runs. "Taken" counts the presses the thread
  removed; "lost" = taken − counted once the count has settled. "Both cores busy": two
  processes spinning in a loop (`python3 -c 'while True: pass'`) run for the whole burst,
  3,000 presses per kind. Before the semaphore (an auto-reset event, which merges a press
  arriving while it is still set into the one before) the same benchmark gave 99.96 % /
  97.65 % / 97.49 % on a quiet machine.
- **2. Latency** (`click_latency.cpp`): QueryPerformanceCounter from just before SendInput of a
  press until `Counters.rawClicks` changes; the thread waits for input with
  MsgWaitForMultipleObjects, takes the press, then spins on the counter. The second line is the
  part after the press was taken, i.e. the counting thread's wake-up.
- **3. Hook cost** (`hook_cost.cpp`, `nullhook.c`): nullhook.dll has Tapwise.dll's exports,
  shared handle and build line (another image base), and a procedure that only calls
  CallNextHookEx; both libraries lie in `C:\\TwBench`. The same stream (batches of 100 inputs:
  move, press, move, release; half moves and a quarter presses, far more presses than real use
  has) is queued with SendInput, then every PeekMessage(PM_REMOVE)
  is timed on its own; the hook runs inside it. The three set-ups take turns batch by batch, 60
  batches each. The semaphore and a waiting counting thread exist throughout, so a Tapwise press
  costs what it costs in the program: one ReleaseSemaphore, a wineserver round trip under Wine, and a
  woken thread competing for the two cores. Of each distribution of removal times, the 10th
  percentile is a removal that nothing else on the shared machine got in the way of (it repeats
  within a few percent from run to run), the median the typical one, and the mean carries every
  moment another process or the woken counting thread had the core (it moves by ±10 % between
  runs). The "before" rows, when given, come from the same benchmark built from an earlier
  revision (`TW_BENCH_BEFORE`: the event version, with its own intake creating an event), run in
  the same session right after the current one.
- **4. Idle** (`procstat.py`): TW.exe (the 64-bit Tapwise.exe under its installed name) with
  Tapwise.dll in `C:\\TwBench`, started with -Auto; measured from 10 s after start for 60 s.
  CPU = utime+stime of the Wine process in `/proc/<pid>/stat`. Wine gives every thread the
  process's name, so threads are told apart by role: the main thread (tid = pid) runs the UI,
  and the counting thread is the one whose context switches jump when three clicks are made on
  the desktop afterwards. Under Wine every blocking wineserver call is a voluntary context
  switch, so one timer tick shows as a burst of several; the threads' counters are sampled
  every 20 ms and a wake-up is a run of consecutive intervals in which the thread switched.
  The raw switch rate is given beside it.
- **5. Start-up** (`startup_probe.cpp`, `minimal.cpp`): the probe calls CreateProcess and polls
  FindWindow every millisecond; minimal.exe registers a class, creates a hidden window (as
  Tapwise's main window is hidden) and runs a message loop, built with the program's flags.
- **5. Memory** (`tray_floor.cpp`, `procstat.py`): VmRSS of the Wine process 5 s after start,
  five starts of each program, taking turns; medians. The floor, tray_floor.exe, is the least any
  tray program is under Wine: it imports the same system libraries as Tapwise.exe (so Wine maps
  and initialises the same modules), creates a hidden window, adds a tray icon, runs a one-second
  timer and a message loop, built with the program's flags. `tray_floor.exe -thread` adds one
  thread waiting on a semaphore, as the counting thread waits: Wine makes about 1 MiB of every
  thread's stack resident (the main thread's too), which is most of what TW.exe has above the
  floor. The by-mapping rows split the difference of the median samples by `/proc/<pid>/smaps`:
  "anonymous" holds Windows heaps, thread stacks and the program's own image, which Wine copies
  into anonymous memory because mingw aligns sections to 512 bytes in the file, not to pages
  (Tapwise.exe's sections take about 72 KiB more than the floor's); the hook library's global
  hook costs about 24 KiB. File-backed pages of the system libraries (user32.dll, libc, libX11)
  move by ±64 KiB from start to start and between the programs without a cause in them.
- **6. Engine** (`engine_calls.cpp`): linked with tapwise_core and the resources,
  ProgramInstance = GetModuleHandleA(nullptr), LoadSettings(), then 200 SaveCounters (15
  registry writes each, into the prefix's registry) and 100,000 CheckRollover.
- **6. History page** (`history_open.cpp`): linked with tapwise_core and the resources, "Path"
  set to `C:\\TwBench`, where it writes a Day.txt of one line a day for ten years up to
  yesterday; then 20 times: OpenStatisticsSheet, and from a timer in the sheet's own loop
  PSM_SETCURSEL to the History page; the time runs from that message until the chart's first
  WM_PAINT has returned (the chart's procedure is wrapped from its creation on, by a CBT hook),
  after which the sheet is closed. Page creation, reading the file's end, filling the slots,
  the texts and the double-buffered paint are all inside it.
- **7. Hook answer** (`hook_answer.cpp`, on the test rig): Windows runs a 32-bit hook for a
  64-bit program by a message to the thread that installed it, and the program's mouse input
  waits for the answer. Stock Wine never does; the rig's wineserver and win32u.so
  (`tools/wine-rig.sh`, TW_RIG_XHOOK=Tapwise.dll) do, so this benchmark alone runs with the
  session's prefix served by the rig. A probe process stands for such a program: about every
  millisecond it sends itself a one-pixel move, then a press and its release (SendInput), and
  takes each off its queue, either at once or after a peek (PM_NOREMOVE, for which Windows calls
  a WH_MOUSE hook too); it times the call that takes the message (from the peek, if any) up to
  having it, and the whole way from its SendInput. Meanwhile the benchmark, linked with
  tapwise_core and the resources and bound to the built Tapwise.dll, runs the program's own code
  on its user-interface thread: ShellExecuteA of the statistics page's link (the prefix's
  handler is `robot.exe record`), OpenStatisticsSheet (closed after 0.7 s), SaveCounters 20
  times 25 ms apart, the first Terminate question (answered No after 0.7 s), 20 re-installs
  25 ms apart, and first 1 s of nothing, the floor. Designs: no counter; "before", the
  user-interface thread installs Tapwise.dll's hook and re-installs it with TapwiseReset,
  Sleep(5), TapwiseInit; "now", StartClickIntake's counting thread owns it and HookWatchdog asks
  it to re-install; and the peers' design, a counter whose own thread holds a WH_MOUSE_LL hook,
  called once per input event (inside the SendInput of the program, before the message is
  queued). All designs and both ways of taking take turns piece by piece, one probe process per
  piece, three rounds.
"""


def goals(r):
    """One line per goal: met or not, from the figures of this run."""
    def verdict(ok):
        return "n/a" if ok is None else "met" if ok else "**not met**"

    def get(key):
        return r.get(key)

    threads = {t["role"]: t["per_second"] for t in r.get("idle_threads", [])}
    checks = [
        ("every press 2 ms apart counted", None if get("paced_sent") is None
         else get("paced_counted") == get("paced_sent")),
    ]
    for name, label in (("fast", "as fast as possible"), ("batch", "50 per SendInput call"),
                        ("busy_paced", "2 ms apart, both cores busy"),
                        ("busy_fast", "as fast as possible, both cores busy"),
                        ("busy_batch", "50 per SendInput call, both cores busy")):
        checks.append((f"every press {label} counted", None if get(f"{name}_sent") is None
                       else get(f"{name}_counted") == get(f"{name}_sent")))
    checks += [
        ("latency p99 ≤ 1 ms", None if get("latency_p99_us") is None else get("latency_p99_us") <= 1000),
    ]
    for kind, label in (("all", "all messages"), ("move", "moves"), ("release", "releases"),
                        ("press", "presses")):
        ratio = get(f"hook_ratio_{kind}_p10")
        checks.append((f"hook cost of {label} ≤ 1.02× the floor (10th percentile)",
                       None if ratio is None else ratio <= 1.02))
    size = r.get("sizes", {}).get("i686 Tapwise.dll")
    checks.append(("i686 Tapwise.dll is 4,096 bytes", None if size is None else size == 4096))
    above = r.get("rss_above_floor")
    checks.append((f"TW.exe -Auto within {num(MEMORY_GOAL_KB, 0)} KiB of the tray floor",
                   None if above is None else above <= MEMORY_GOAL_KB))
    opening = r.get("history_open_max_ms")
    checks.append(("History page painted within 50 ms of its selection", None if opening is None else opening < 50))
    size = r.get("sizes", {}).get("i686 Tapwise.exe")
    checks.append((f"i686 Tapwise.exe at most {num(EXE_MAX_SIZE, 0)} bytes",
                   None if size is None else size <= EXE_MAX_SIZE))
    ui, counting = threads.get("UI (main)"), threads.get("counting")
    checks.append(("idle UI thread wakes 1/s", None if ui is None else abs(ui - 1) <= 0.1))
    checks.append(("idle counting thread wakes 0/s", None if counting is None else counting < 0.05))
    return [f"- {label}: {verdict(ok)}" for label, ok in checks] + answer_goals(r)


def write(path, r):
    lines = ["# Tapwise benchmarks", "",
             "Written by `bench/run.sh`; every figure below is from its last full run.", "", "## Machine", ""]
    for key, value in machine().items():
        lines.append(f"- {key}: {value}")
    load0, load1 = r.get("load_start"), r.get("load_end")
    lines.append(f"- load average (1, 5, 15 min) at start / end: {' '.join(f'{x:.2f}' for x in load0)} / "
                 f"{' '.join(f'{x:.2f}' for x in load1)}")
    lines += ["", "## Figures", "", "| Benchmark | Figure | Measured | Goal / baseline |", "|---|---|---|---|"]
    lines += rows(r)
    lines += ["", "## Goals in this run", ""] + goals(r)
    lines += [""] + size_steps()
    lines += ["", NOTES]
    with open(path, "w") as f:
        f.write("\n".join(lines))
