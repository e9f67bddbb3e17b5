#!/usr/bin/python3
"""Runs the shipped 32-bit Tapwise.dll on an emulated CPU and checks what every
hooked process relies on: each entry point returns with the stack where
__stdcall leaves it and the callee-saved registers intact, returns what its
callers expect, and makes exactly the system calls it should, in two
processes that share the library's shared section (the second one loaded
away from the preferred base, as happens when that address is taken).

    /usr/bin/python3 tests/i686/test_hooklib.py [build/bin/Tapwise.dll]

Prints each failure, the instructions of the hook procedure's paths and a
summary "N passed, M failed"; the exit status is 1 when anything failed."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from hookemu import ContractError, Image, Machine, Process  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_DLL = os.path.join(HERE, "..", "..", "build", "bin", "Tapwise.dll")

WH_MOUSE, SEMAPHORE_MODIFY_STATE = 7, 0x0002
HC_ACTION, HC_GETNEXT, HC_SKIP, HC_NOREMOVE, HC_SYSMODALON, HC_SYSMODALOFF = 0, 1, 2, 3, 4, 5
DLL_PROCESS_DETACH, DLL_PROCESS_ATTACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH = 0, 1, 2, 3
COUNTED = {0x00A1: "WM_NCLBUTTONDOWN", 0x00A3: "WM_NCLBUTTONDBLCLK", 0x00A4: "WM_NCRBUTTONDOWN",
           0x00A6: "WM_NCRBUTTONDBLCLK", 0x00A7: "WM_NCMBUTTONDOWN", 0x00A9: "WM_NCMBUTTONDBLCLK",
           0x0201: "WM_LBUTTONDOWN", 0x0203: "WM_LBUTTONDBLCLK", 0x0204: "WM_RBUTTONDOWN",
           0x0206: "WM_RBUTTONDBLCLK", 0x0207: "WM_MBUTTONDOWN", 0x0209: "WM_MBUTTONDBLCLK"}
NOT_COUNTED = {0x0200: "WM_MOUSEMOVE", 0x0202: "WM_LBUTTONUP", 0x0205: "WM_RBUTTONUP", 0x0208: "WM_MBUTTONUP",
               0x020A: "WM_MOUSEWHEEL", 0x020B: "WM_XBUTTONDOWN", 0x020C: "WM_XBUTTONUP",
               0x020D: "WM_XBUTTONDBLCLK", 0x020E: "WM_MOUSEHWHEEL", 0x00A0: "WM_NCMOUSEMOVE",
               0x00A2: "WM_NCLBUTTONUP", 0x00A5: "WM_NCRBUTTONUP", 0x00A8: "WM_NCMBUTTONUP",
               0x00AB: "WM_NCXBUTTONDOWN", 0x00AC: "WM_NCXBUTTONUP", 0x00AD: "WM_NCXBUTTONDBLCLK"}
# Everything near the counted values, and wParams that agree with a counted one
# only in their low bits: the message is compared as the whole unsigned word.
SWEEP = list(range(0x0000, 0x0400)) + [0x10201, 0x100A1, 0x80000201, 0xFFFF0204, 0xFFFFFFFF, 0x7FFFFFFF]
SHOWN_FAILURES = 25
PATH_BUDGET = 40  # instructions to CallNextHookEx on a non-counted message

MODULE_A, MODULE_B, MODULE_D, OTHER_MODULE = 0x10000000, 0x20000000, 0x30000000, 0x0BAD1000
HOOK_A, HOOK_A2, HOOK_B = 0x000A0011, 0x000A0033, 0x000B0022
SEMAPHORE_A, SEMAPHORE_B = 0x0000007C, 0x00000124


class Checks:
    def __init__(self):
        self.passed, self.failed = 0, []

    def check(self, ok, what):
        if ok:
            self.passed += 1
        else:
            self.failed.append(what)
            if len(self.failed) <= SHOWN_FAILURES:
                print(f"FAIL {what}", flush=True)
        return ok

    def calls(self, process, expected, what):
        got = [(c.name, tuple(c.args)) for c in process.calls]
        want = [(n, tuple(a & 0xFFFFFFFF for a in args)) for n, args in expected]
        return self.check(got == want, f"{what}: calls {fmt(got)}, expected {fmt(want)}")


def fmt(calls):
    return "[" + ", ".join(f"{n}({', '.join(hex(a) for a in args)})" for n, args in calls) + "]"


class Hooked:
    """One emulated process with the library loaded."""

    def __init__(self, checks, machine, name, base=None):
        self.c, self.name = checks, name
        self.p = Process(machine, base)
        self.proc = None
        self.lparam = 0x0BAD2000  # unmapped: the hook record must not be read
        self.next_result = 0x4E000000
        self.p.results["CallNextHookEx"] = lambda *a: self.next_result

    def run(self, address, *args, what):
        try:
            return self.p.call(address, *args, what=f"{self.name}: {what}")
        except ContractError as e:
            self.c.check(False, str(e))
            return None

    def dll_main(self, module, reason, reserved=0, calls=()):
        what = f"DllMain(reason {reason}, reserved {reserved:#x})"
        result = self.run(self.p.entry_point(), module, reason, reserved, what=what)
        if result is None:
            return
        self.c.check(result == 1, f"{self.name}: {what} returned {result}, expected TRUE")
        self.c.calls(self.p, list(calls), f"{self.name}: {what}")

    def init(self, by, module, expected_module, hook):
        what = f"TapwiseInit by {'ordinal' if isinstance(by, int) else 'name'}"
        self.p.results["SetWindowsHookExA"] = hook
        result = self.run(self.p.proc_address(by), module, what=what)
        if result is None:
            return None
        self.c.check(result == hook, f"{self.name}: {what} returned {result}, expected {hook:#x}")
        calls = self.p.calls
        if self.c.check(len(calls) == 1 and calls[0].name == "SetWindowsHookExA",
                        f"{self.name}: {what} made {calls}, expected one SetWindowsHookExA"):
            kind, proc, module_arg, thread = calls[0].args
            self.c.check(kind == WH_MOUSE and module_arg == expected_module and thread == 0,
                         f"{self.name}: {what}: SetWindowsHookExA({kind}, _, {module_arg:#x}, {thread}), expected "
                         f"({WH_MOUSE}, _, {expected_module:#x}, 0)")
            self.c.check(self.p.in_text(proc), f"{self.name}: hook procedure {proc:#x} outside the code")
            self.proc = proc
        return result

    def reset(self, by, unhook_result, expected_hook):
        what = f"TapwiseReset by {'ordinal' if isinstance(by, int) else 'name'}"
        self.p.results["UnhookWindowsHookEx"] = unhook_result
        result = self.run(self.p.proc_address(by), what=what)
        if result is None:
            return
        expected = unhook_result if expected_hook else 0
        self.c.check(result == expected, f"{self.name}: {what} returned {result}, expected {expected}")
        self.c.calls(self.p, [("UnhookWindowsHookEx", (expected_hook,))] if expected_hook else [],
                     f"{self.name}: {what}")

    def mouse(self, code, message, shared_hook, signal=(), what=None):
        """One hook call; `signal` is the import calls expected before the
        message is passed on."""
        what = what or f"MouseHookProc({code}, {NOT_COUNTED.get(message) or COUNTED.get(message) or hex(message)})"
        self.next_result = (self.next_result + 0x10001) & 0xFFFFFFFF
        self.lparam += 0x10
        result = self.run(self.proc, code, message, self.lparam, what=what)
        if result is None:
            return None
        self.c.check(result == self.next_result,
                     f"{self.name}: {what} returned {result}, expected CallNextHookEx's {self.next_result:#x}")
        self.c.calls(self.p, expect(signal, self) + [("CallNextHookEx", (shared_hook, code, message, self.lparam))],
                     f"{self.name}: {what}")
        return self.p.steps_to("CallNextHookEx")


def open_call():
    return ("OpenSemaphoreA", (SEMAPHORE_MODIFY_STATE, 0, None))


def release_call(handle):
    return ("ReleaseSemaphore", (handle, 1, 0))


class Recorder:
    """Checks the name OpenSemaphoreA is given (its argument is a pointer)."""

    def __init__(self, checks, hooked, answers):
        self.c, self.h, self.answers = checks, hooked, list(answers)
        hooked.p.results["OpenSemaphoreA"] = self

    def __call__(self, access, inherit, name):
        text = self.h.p.read_string(name)
        self.c.check(text == "TapwiseEvent", f"{self.h.name}: OpenSemaphoreA name {text!r}")
        return self.answers.pop(0) if self.answers else 0


def expect(calls, hooked):
    """The expected call list with OpenSemaphoreA's name pointer taken from the actual call."""
    out = []
    for name, args in calls:
        if name == "OpenSemaphoreA":
            actual = [c for c in hooked.p.calls if c.name == name]
            args = args[:2] + (actual[0].args[2] if actual else 0,)
        out.append((name, args))
    return out


def image_checks(c, image):
    names = sorted(n for _, n in image.imports.values())
    c.check(names == sorted(["CloseHandle", "OpenSemaphoreA", "ReleaseSemaphore", "SetWindowsHookExA", "UnhookWindowsHookEx",
                             "CallNextHookEx"]), f"imports {names}")
    shared = image.shared_sections()
    c.check([s[0] for s in shared] == ["SHARDATA"], f"shared sections {[s[0] for s in shared]}")
    c.check(bool(image.relocations), "no relocations: the library could not load where its base is taken")


def main():
    dll = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_DLL
    c = Checks()
    try:
        image = Image(dll)
    except Exception as e:  # a file that is no PE, or one the loader would refuse
        print(f"FAIL cannot read {dll}: {e}")
        return 1
    if image.bits != 32:
        print(f"FAIL {dll} is not a 32-bit library")
        return 1
    image_checks(c, image)
    machine = Machine(image)
    a = Hooked(c, machine, "process A")
    # Process B finds the preferred base taken and loads the library elsewhere.
    b = Hooked(c, machine, "process B", base=image.base + 0x10000000)
    for h in (a, b):
        c.check(h.p.proc_address("TapwiseInit") == h.p.proc_address(1) and
                h.p.proc_address("TapwiseReset") == h.p.proc_address(2),
                f"{h.name}: ordinals 1 and 2 are not TapwiseInit and TapwiseReset")

    # --- process A: loaded, hook installed; its argument loses to DllMain's ---
    for reason in (DLL_PROCESS_ATTACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH):
        a.dll_main(MODULE_A, reason)
    a.init("TapwiseInit", OTHER_MODULE, MODULE_A, HOOK_A)
    if not a.proc:
        return summary(c)

    # No semaphore yet: nothing released, the next press tries again.
    Recorder(c, a, [0, SEMAPHORE_A])
    a.mouse(HC_ACTION, 0x0201, HOOK_A, [open_call()])
    a.mouse(HC_ACTION, 0x0204, HOOK_A, [open_call(), release_call(SEMAPHORE_A)])
    # Opened once per process: later presses only release, also after a
    # release failed at the semaphore's maximum.
    a.p.results["ReleaseSemaphore"] = 0
    a.mouse(HC_ACTION, 0x0201, HOOK_A, [release_call(SEMAPHORE_A)])
    a.p.results["ReleaseSemaphore"] = 1
    a.mouse(HC_ACTION, 0x0201, HOOK_A, [release_call(SEMAPHORE_A)])

    # Every message class, counted only with HC_ACTION.
    for message in SWEEP:
        a.mouse(HC_ACTION, message, HOOK_A, [release_call(SEMAPHORE_A)] if message in COUNTED else [])
    for code in (HC_NOREMOVE, HC_GETNEXT, HC_SKIP, HC_SYSMODALON, HC_SYSMODALOFF, -1, -2, -0x80000000):
        for message in list(COUNTED) + [0x0200, 0x0202]:
            a.mouse(code, message, HOOK_A)

    # Instructions from the procedure's entry to the CallNextHookEx call.
    paths = {name: a.mouse(HC_ACTION, m, HOOK_A) for m, name in NOT_COUNTED.items()}
    paths["HC_NOREMOVE WM_LBUTTONDOWN"] = a.mouse(HC_NOREMOVE, 0x0201, HOOK_A)
    paths["counted WM_LBUTTONDOWN"] = a.mouse(HC_ACTION, 0x0201, HOOK_A, [release_call(SEMAPHORE_A)])
    move = paths["WM_MOUSEMOVE"]
    c.check(move is not None and move <= PATH_BUDGET,
            f"WM_MOUSEMOVE takes {move} instructions to CallNextHookEx, budget {PATH_BUDGET}")

    # --- process B: its own module, hook, semaphore; the shared handle is B's ---
    b.dll_main(MODULE_B, DLL_PROCESS_ATTACH)
    b.init(1, OTHER_MODULE, MODULE_B, HOOK_B)
    if not b.proc:
        return summary(c)
    c.check(b.proc - b.p.base == a.proc - a.p.base, "B's hook procedure is not at the same offset as A's")
    Recorder(c, b, [SEMAPHORE_B])
    b.mouse(HC_ACTION, 0x00A6, HOOK_B, [open_call(), release_call(SEMAPHORE_B)])
    b.mouse(HC_ACTION, 0x0203, HOOK_B, [release_call(SEMAPHORE_B)])
    a.mouse(HC_ACTION, 0x0209, HOOK_B, [release_call(SEMAPHORE_A)])
    a.mouse(HC_ACTION, 0x0202, HOOK_B)

    # Each copy removes only the hook it installed.
    a.reset("TapwiseReset", 1, HOOK_A)
    a.reset("TapwiseReset", 1, 0)
    a.mouse(HC_ACTION, 0x0200, HOOK_B)
    b.mouse(HC_ACTION, 0x0200, HOOK_B)
    b.reset(2, 0, HOOK_B)   # unhooking failed: reported, and the handle is not kept
    b.reset(2, 1, 0)
    # Still in the chain between the reset and the system's removal: pass on with 0.
    a.mouse(HC_ACTION, 0x0200, 0)
    b.mouse(HC_ACTION, 0x0207, 0, [release_call(SEMAPHORE_B)])

    # A copy that never installed a hook removes nothing and leaves the shared one.
    a.init("TapwiseInit", OTHER_MODULE, MODULE_A, HOOK_A2)
    cproc = Hooked(c, machine, "process C")
    cproc.dll_main(0x40000000, DLL_PROCESS_ATTACH)
    cproc.reset("TapwiseReset", 1, 0)
    a.mouse(HC_ACTION, 0x0200, HOOK_A2)
    a.reset(2, 1, HOOK_A2)
    # Freed while the process lives on: the semaphore handle goes with the
    # library; at the process's end (reserved set) the system closes it.
    a.dll_main(a.p.base, DLL_PROCESS_DETACH, 1)
    a.dll_main(a.p.base, DLL_PROCESS_DETACH, 0, [("CloseHandle", (SEMAPHORE_A,))])
    a.dll_main(a.p.base, DLL_PROCESS_DETACH, 0)
    b.dll_main(b.p.base, DLL_PROCESS_DETACH, 0, [("CloseHandle", (SEMAPHORE_B,))])
    cproc.dll_main(cproc.p.base, DLL_PROCESS_DETACH, 0)

    # --- process D on a machine of its own: no DllMain seen, the argument is used;
    # SetWindowsHookExA fails, so there is nothing to remove ---
    d = Hooked(c, Machine(image), "process D")
    d.init(1, MODULE_D, MODULE_D, 0)
    d.reset(2, 1, 0)

    print("instructions from MouseHookProc's entry to the CallNextHookEx call:")
    for name, steps in paths.items():
        print(f"  {name}: {steps}")
    return summary(c)


def summary(c):
    if len(c.failed) > SHOWN_FAILURES:
        print(f"... and {len(c.failed) - SHOWN_FAILURES} more failures")
    print(f"{c.passed} passed, {len(c.failed)} failed")
    return 1 if c.failed else 0


if __name__ == "__main__":
    sys.exit(main())
