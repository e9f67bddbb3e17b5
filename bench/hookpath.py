"""Counts the instructions Tapwise.dll's hook procedure executes on its way to
CallNextHookEx, by running the built file on an emulated CPU
(tests/i686/hookemu.py: the library's own machine code, imports bound to
recording stubs).

    python3 bench/hookpath.py build/bin/Tapwise.dll [i686|x86_64]

The procedure is the one TapwiseInit hands to SetWindowsHookExA; the hook is
installed and the semaphore already opened by an earlier press (the steady
state). Each figure counts the library's instructions from the procedure's
entry up to and including the call of CallNextHookEx; the import calls on
the way count as their calling instruction only."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "i686"))
from hookemu import Image, Machine, Process  # noqa: E402

WM = {"WM_MOUSEMOVE": 0x200, "WM_LBUTTONUP": 0x202, "WM_RBUTTONUP": 0x205, "WM_MOUSEWHEEL": 0x20A,
      "WM_NCMOUSEMOVE": 0xA0, "WM_NCLBUTTONUP": 0xA2, "WM_LBUTTONDOWN": 0x201}
HOOK, SEMAPHORE, HC_NOREMOVE = 0x1234, 0x7C, 3


def analyse(dll, arch="i686"):
    image = Image(dll)
    if image.bits != (64 if arch == "x86_64" else 32):
        raise ValueError(f"{dll} is a {image.bits}-bit library, not {arch}")
    p = Process(Machine(image))
    p.results.update(SetWindowsHookExA=HOOK, OpenSemaphoreA=SEMAPHORE, ReleaseSemaphore=1, CallNextHookEx=0,
                     OpenEventA=SEMAPHORE, SetEvent=1)
    p.call(p.entry_point(), image.base, 1, 0, what="DllMain")
    p.call(p.proc_address("TapwiseInit"), image.base, what="TapwiseInit")
    proc = p.calls[0].args[1]

    def path(code, message):
        p.call(proc, code, message, 0, what=f"MouseHookProc({code}, {message:#x})")
        return p.steps_to("CallNextHookEx")

    path(0, WM["WM_LBUTTONDOWN"])  # opens the semaphore
    result = {"entry": proc}
    for name, value in WM.items():
        if name != "WM_LBUTTONDOWN":
            result[name] = path(0, value)
    result["HC_NOREMOVE WM_LBUTTONDOWN"] = path(HC_NOREMOVE, WM["WM_LBUTTONDOWN"])
    result["counted WM_LBUTTONDOWN"] = path(0, WM["WM_LBUTTONDOWN"])
    return result


if __name__ == "__main__":
    for key, value in analyse(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else "i686").items():
        print(f"{key}: {value:#x}" if key == "entry" else f"{key}: {value}")
