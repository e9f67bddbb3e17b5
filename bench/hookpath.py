"""Counts the instructions Tapwise.dll's hook procedure executes on its way to
CallNextHookEx, by stepping through objdump's disassembly of the built file
with a small x86 interpreter (only what compiled hook code uses).

    python3 bench/hookpath.py build/bin/Tapwise.dll [i686|x86_64]

The procedure is found as the second argument TapwiseInit hands to
SetWindowsHookExA; the shared hook handle and the cached semaphore handle read as
nonzero (the installed, steady state)."""
import re
import subprocess
import sys

WM = {"WM_MOUSEMOVE": 0x200, "WM_LBUTTONUP": 0x202, "WM_RBUTTONUP": 0x205, "WM_MOUSEWHEEL": 0x20A,
      "WM_NCMOUSEMOVE": 0xA0, "WM_NCLBUTTONUP": 0xA2, "WM_LBUTTONDOWN": 0x201}
ARG_BYTES = {"ReleaseSemaphore": 12, "OpenSemaphoreA": 12, "SetEvent": 4, "OpenEventA": 12,
             "CallNextHookEx": 16, "SetWindowsHookExA": 16, "UnhookWindowsHookEx": 4}
HANDLE = 0x1234  # what an unknown global (a hook or semaphore handle) reads as
NAMES = ["ax", "cx", "dx", "bx", "sp", "bp", "si", "di"]
CONDITIONS = {
    "e": lambda f: f["z"], "z": lambda f: f["z"], "ne": lambda f: not f["z"], "nz": lambda f: not f["z"],
    "a": lambda f: not f["c"] and not f["z"], "ae": lambda f: not f["c"], "nb": lambda f: not f["c"],
    "b": lambda f: f["c"], "c": lambda f: f["c"], "be": lambda f: f["c"] or f["z"],
    "g": lambda f: not f["z"] and f["s"] == f["o"], "ge": lambda f: f["s"] == f["o"],
    "l": lambda f: f["s"] != f["o"], "le": lambda f: f["z"] or f["s"] != f["o"],
    "s": lambda f: f["s"], "ns": lambda f: not f["s"],
}


def objdump(tool, *args):
    return subprocess.run([tool] + list(args), check=True, capture_output=True, text=True).stdout


def reg_info(name):
    """(canonical 64-bit register, width in bits) of an AT&T register name."""
    name = name.lstrip("%")
    m = re.fullmatch(r"r(\d+)([dwb]?)", name)
    if m:
        return "r" + m.group(1), {"": 64, "d": 32, "w": 16, "b": 8}[m.group(2)]
    for base in NAMES:
        if name == "r" + base:
            return base, 64
        if name == "e" + base:
            return base, 32
        if name == base:
            return base, 16
    if len(name) == 2 and name[1] == "l" and name[0] in "abcd":
        return name[0] + "x", 8
    raise ValueError(f"register {name}")


class Machine:
    def __init__(self, code, iat, bits):
        self.code, self.iat, self.bits = code, iat, bits
        self.regs = {n: 0 for n in NAMES + [f"r{i}" for i in range(8, 16)]}
        self.mem = {}
        self.flags = {"z": False, "c": False, "s": False, "o": False}
        self.mask = (1 << bits) - 1

    # --- memory and operands ---
    def read(self, addr, size):
        if all((addr + i) in self.mem for i in range(size)):
            return sum(self.mem[addr + i] << (8 * i) for i in range(size))
        return HANDLE

    def write(self, addr, size, value):
        for i in range(size):
            self.mem[addr + i] = (value >> (8 * i)) & 0xFF

    def address(self, op, comment):
        if "(%rip)" in op:
            return int(re.search(r"#\s*(0x[0-9a-f]+)", comment).group(1), 16)
        m = re.fullmatch(r"(-?0x[0-9a-f]+|-?\d+)?\((%\w+)?(?:,(%\w+),(\d))?\)", op)
        if not m:
            return int(op, 16)
        addr = int(m.group(1), 0) if m.group(1) else 0
        if m.group(2):
            addr += self.regs[reg_info(m.group(2))[0]]
        if m.group(3):
            addr += self.regs[reg_info(m.group(3))[0]] * int(m.group(4))
        return addr & self.mask

    def get(self, op, width, comment):
        if op.startswith("$"):
            return int(op[1:], 0) & ((1 << width) - 1)
        if op.startswith("%"):
            reg, w = reg_info(op)
            return self.regs[reg] & ((1 << w) - 1)
        return self.read(self.address(op, comment), width // 8)

    def put(self, op, width, value, comment):
        value &= (1 << width) - 1
        if op.startswith("%"):
            reg, w = reg_info(op)
            if w == 32 and self.bits == 64:
                self.regs[reg] = value  # a 32-bit write clears the upper half
            else:
                keep = self.regs[reg] & ~((1 << w) - 1)
                self.regs[reg] = keep | value
        else:
            self.write(self.address(op, comment), width // 8, value)

    def width_of(self, mnemonic, ops):
        for op in ops:
            if op.startswith("%") and "(" not in op:
                return reg_info(op)[1]
        suffix = {"b": 8, "w": 16, "l": 32, "q": 64}
        return suffix.get(mnemonic[-1], self.bits)

    def set_flags(self, result, width, carry=False, overflow=False):
        m = (1 << width) - 1
        self.flags = {"z": (result & m) == 0, "c": carry, "s": bool((result >> (width - 1)) & 1), "o": overflow}

    def push(self, value):
        self.regs["sp"] = (self.regs["sp"] - self.bits // 8) & self.mask
        self.write(self.regs["sp"], self.bits // 8, value)

    def pop(self):
        value = self.read(self.regs["sp"], self.bits // 8)
        self.regs["sp"] = (self.regs["sp"] + self.bits // 8) & self.mask
        return value

    # --- stepping ---
    def run(self, entry, stop_at, limit=500):
        """Executes from entry until a call or jump through the import slot of
        stop_at; returns the instructions executed (that one included), or
        None when the procedure returned first."""
        pc, count = entry, 0
        while count < limit:
            mnemonic, ops, comment, length = self.code[pc]
            count += 1
            nxt = pc + length
            base = mnemonic.rstrip("lqwb") if mnemonic not in ("sub", "shl", "sbb", "sal") else mnemonic
            if mnemonic in ("call", "jmp") and ops[0].startswith("*"):
                target = self.address(ops[0][1:], comment)
                name = self.iat.get(target, "?")
                if name == stop_at:
                    return count
                self.regs["ax"] = 1
                if mnemonic == "jmp":
                    return None
                if self.bits == 32:
                    self.regs["sp"] += ARG_BYTES.get(name, 0)  # the callee pops a stdcall frame
                pc = nxt
                continue
            if mnemonic.startswith("j"):
                cond = mnemonic[1:]
                taken = mnemonic == "jmp" or CONDITIONS[cond](self.flags)
                pc = int(ops[0], 16) if taken else nxt
                continue
            w = self.width_of(mnemonic, ops)
            if base in ("mov", "movabs"):
                self.put(ops[1], w, self.get(ops[0], w, comment), comment)
            elif mnemonic in ("movzbl", "movzwl", "movzbw"):
                src_w = 8 if "b" in mnemonic[4:6] else 16
                self.put(ops[1], 32, self.get(ops[0], src_w, comment), comment)
            elif base == "lea":
                self.put(ops[1], w, self.address(ops[0], comment), comment)
            elif base == "push":
                self.push(self.get(ops[0], self.bits, comment))
            elif base == "pop":
                self.put(ops[0], self.bits, self.pop(), comment)
            elif base in ("cmp", "sub"):
                a, b = self.get(ops[1], w, comment), self.get(ops[0], w, comment)
                r = (a - b) & ((1 << w) - 1)
                sa, sb, sr = (a >> (w - 1)) & 1, (b >> (w - 1)) & 1, (r >> (w - 1)) & 1
                self.set_flags(r, w, carry=a < b, overflow=bool(sa != sb and sr != sa))
                if base == "sub":
                    self.put(ops[1], w, r, comment)
            elif base in ("test", "and", "or", "xor", "add"):
                a, b = self.get(ops[1], w, comment), self.get(ops[0], w, comment)
                r = {"test": a & b, "and": a & b, "or": a | b, "xor": a ^ b, "add": a + b}[base]
                self.set_flags(r, w, carry=base == "add" and r >> w != 0)
                if base != "test":
                    self.put(ops[1], w, r, comment)
            elif base in ("shr", "sar", "shl"):
                n = self.get(ops[0], 8, comment) if len(ops) == 2 else 1
                dst = ops[-1]
                a = self.get(dst, w, comment)
                n &= 63 if w == 64 else 31
                if n:
                    r = a << n if base == "shl" else a >> n
                    carry = bool((a >> (n - 1)) & 1) if base != "shl" else bool((a >> (w - n)) & 1)
                    self.set_flags(r, w, carry=carry)
                    self.put(dst, w, r, comment)
            elif base == "bt":
                bit = self.get(ops[0], w, comment) % w
                self.flags["c"] = bool((self.get(ops[1], w, comment) >> bit) & 1)
            elif base == "leave":
                self.regs["sp"] = self.regs["bp"]
                self.regs["bp"] = self.pop()
            elif base == "ret":
                return None
            elif base == "nop":
                pass
            else:
                raise ValueError(f"instruction {mnemonic} at {pc:#x} is not modelled")
            pc = nxt
        raise ValueError("no end within the step limit")


def parse(dll, tool):
    head = objdump(tool, "-p", dll)
    base = int(re.search(r"ImageBase\s+([0-9a-f]+)", head).group(1), 16)
    exports = {}
    rvas = re.findall(r"\[\s*(\d+)\] \+base\[\s*\d+\]\s+([0-9a-f]+) Export RVA", head)
    names = re.findall(r"\[\s*(\d+)\] (\w+)\n", head.split("[Ordinal/Name Pointer] Table", 1)[-1])
    for (index, rva), (_, name) in zip(rvas, names):
        exports[name] = base + int(rva, 16)
    iat, slot = {}, 8 if "pei-x86-64" in head else 4
    for block in re.finditer(r"\n\s([0-9a-f]{8})\s+[0-9a-f]{8} [0-9a-f]{8} [0-9a-f]{8} [0-9a-f]{8} ([0-9a-f]{8})\n"
                             r"\s+DLL Name: \S+\n\s+vma:.*\n((?:\s+[0-9a-f]+\s+\d+\s+\w+\n)+)", head):
        first = base + int(block.group(2), 16)
        for i, line in enumerate(block.group(3).strip().splitlines()):
            iat[first + slot * i] = line.split()[-1]
    code, last = {}, None
    for line in objdump(tool, "-d", dll).splitlines():
        m = re.match(r"\s*([0-9a-f]+):\t((?:[0-9a-f]{2} )+)\s*(?:\t(\S+)\s*([^#]*)(#.*)?)?$", line)
        if not m:
            continue
        size = len(m.group(2).split())
        if not m.group(3):  # objdump carries the bytes of a long instruction on
            mnemonic, ops, comment, length = code[last]  # to a line of their own
            code[last] = (mnemonic, ops, comment, length + size)
            continue
        ops = [o.strip() for o in re.split(r",(?![^(]*\))", m.group(4).strip()) if o.strip()]
        last = int(m.group(1), 16)
        code[last] = (m.group(3), ops, m.group(5) or "", size)
    return exports, iat, code, slot * 8


def analyse(dll, arch="i686"):
    tool = f"{arch}-w64-mingw32-objdump"
    exports, iat, code, bits = parse(dll, tool)
    stack = 0x7F000000

    def fresh():
        m = Machine(code, iat, bits)
        m.regs["sp"] = stack
        return m

    m = fresh()
    m.push(0xDEAD)  # TapwiseInit's caller, with the module argument above it
    m.write(m.regs["sp"] + bits // 8, bits // 8, HANDLE)
    m.regs["cx"] = HANDLE
    m.run(exports["TapwiseInit"], "SetWindowsHookExA")
    proc = m.regs["dx"] if bits == 64 else m.read(m.regs["sp"] + 4, 4)

    def path(code_arg, message):
        m = fresh()
        if bits == 32:
            for value in (0, message, code_arg):  # lParam, wParam, code
                m.push(value)
        else:
            m.regs["cx"], m.regs["dx"], m.regs["r8"] = code_arg, message, 0
        m.push(0xDEAD)
        return m.run(proc, "CallNextHookEx")

    result = {"entry": proc}
    for name, value in WM.items():
        if name != "WM_LBUTTONDOWN":
            result[name] = path(0, value)
    result["HC_NOREMOVE WM_LBUTTONDOWN"] = path(3, WM["WM_LBUTTONDOWN"])
    result["counted WM_LBUTTONDOWN"] = path(0, WM["WM_LBUTTONDOWN"])
    return result


if __name__ == "__main__":
    for key, value in analyse(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else "i686").items():
        print(f"{key}: {value:#x}" if key == "entry" else f"{key}: {value}")
