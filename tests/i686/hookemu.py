"""Runs a built Tapwise.dll on an emulated x86 CPU (Unicorn), the way Windows
would run it inside a hooked process: this machine's kernel executes no
32-bit code, so this is how the shipped library's own instructions get run.

A `Machine` holds what every process shares: the library's shared section,
one block of memory that each process maps at its copy's address. A `Process`
is one address space: the image mapped section by section with the section's
protections (relocated when asked to load elsewhere than its preferred base),
its imports bound to stubs that record their arguments and return what the
test chooses, and `call`, which calls an address with the platform's calling
convention and fails on anything a caller on Windows would suffer from: a
fault, a stack pointer not where the convention leaves it, a clobbered
callee-saved register or a write into the caller's frame."""
import ctypes
import struct

import pefile
from unicorn import (UC_ARCH_X86, UC_HOOK_CODE, UC_MODE_32, UC_MODE_64, UC_PROT_EXEC, UC_PROT_READ,
                     UC_PROT_WRITE, Uc, UcError)
from unicorn import x86_const as X

PAGE = 0x1000
STUB_BASE = 0x7FF00000      # one page of import stubs, then the return sentinel
STACK_BASE, STACK_SIZE = 0x00100000, 0x40000
STEP_LIMIT = 20000          # any call of this library ends far sooner

# Bytes of arguments each import takes under __stdcall (32-bit callee pops them).
# The event pair is here for measuring builds from before the semaphore.
IMPORT_ARG_BYTES = {"OpenSemaphoreA": 12, "ReleaseSemaphore": 12, "SetWindowsHookExA": 16,
                    "UnhookWindowsHookEx": 4, "CallNextHookEx": 16, "CloseHandle": 4, "OpenEventA": 12, "SetEvent": 4}
SCN_SHARED, SCN_EXEC, SCN_READ, SCN_WRITE = 0x10000000, 0x20000000, 0x40000000, 0x80000000


class ContractError(Exception):
    """The code did something a real caller or the system would not survive."""


def page_up(n):
    return (n + PAGE - 1) & ~(PAGE - 1)


class Image:
    """The file, parsed once: sections, exports, imports, relocations."""

    def __init__(self, path):
        self.path = path
        pe = pefile.PE(path)
        self.bits = 64 if pe.FILE_HEADER.Machine == 0x8664 else 32
        if pe.FILE_HEADER.Machine not in (0x14C, 0x8664):
            raise ContractError(f"{path}: machine {pe.FILE_HEADER.Machine:#x} is not x86")
        oh = pe.OPTIONAL_HEADER
        if oh.SectionAlignment < PAGE:
            raise ContractError(f"section alignment {oh.SectionAlignment:#x} is below one page")
        self.base, self.size, self.entry = oh.ImageBase, page_up(oh.SizeOfImage), oh.AddressOfEntryPoint
        self.headers = pe.get_memory_mapped_image()[:oh.SizeOfHeaders]
        self.sections = []
        for s in pe.sections:
            name = s.Name.rstrip(b"\0").decode("ascii", "replace")
            data = s.get_data()[:max(s.Misc_VirtualSize, 0) or s.SizeOfRawData]
            self.sections.append((name, s.VirtualAddress, page_up(max(s.Misc_VirtualSize, s.SizeOfRawData)),
                                  s.Characteristics, data))
        self.imports = {}   # IAT slot RVA -> (dll, name)
        for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
            for imp in entry.imports:
                self.imports[imp.address - self.base] = (entry.dll.decode(), (imp.name or b"").decode())
        self.relocations = []  # (RVA, type)
        for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
            self.relocations += [(e.rva, e.type) for e in block.entries if e.type != 0]
        export = oh.DATA_DIRECTORY[0]
        self.export_dir = (export.VirtualAddress, export.Size)

    def shared_sections(self):
        return [s for s in self.sections if s[3] & SCN_SHARED]

    def image_bytes(self, base):
        """The loaded image at `base`, relocations applied (shared sections left out)."""
        mem = bytearray(self.size)
        mem[:len(self.headers)] = self.headers
        for _, rva, _, _, data in self.sections:
            mem[rva:rva + len(data)] = data
        delta = base - self.base
        if delta:
            shared = [(rva, rva + size) for _, rva, size, _, _ in self.shared_sections()]
            for rva, kind in self.relocations:
                if any(lo <= rva < hi for lo, hi in shared):
                    raise ContractError(f"relocation at {rva:#x} lies in the shared section")
                if kind == 3:      # HIGHLOW
                    (v,) = struct.unpack_from("<I", mem, rva)
                    struct.pack_into("<I", mem, rva, (v + delta) & 0xFFFFFFFF)
                elif kind == 10:   # DIR64
                    (v,) = struct.unpack_from("<Q", mem, rva)
                    struct.pack_into("<Q", mem, rva, (v + delta) & 0xFFFFFFFFFFFFFFFF)
                else:
                    raise ContractError(f"relocation type {kind} at {rva:#x} is not one a loader applies here")
        return mem


class Machine:
    """What the processes that map one library share: its shared sections."""

    def __init__(self, image):
        self.image = image
        self.shared = {}
        for name, rva, size, _, data in image.shared_sections():
            buf = ctypes.create_string_buffer(size)
            ctypes.memmove(buf, data, len(data))
            self.shared[rva] = buf

    def shared_word(self, rva, offset=0, size=4):
        return int.from_bytes(self.shared[rva].raw[offset:offset + size], "little")


class Call:
    def __init__(self, name, args, return_address, steps):
        self.name, self.args, self.return_address, self.steps = name, args, return_address, steps

    def __repr__(self):
        return f"{self.name}({', '.join(hex(a) for a in self.args)})"


class Process:
    """One address space with the library loaded at `base` (default: preferred)."""

    def __init__(self, machine, base=None):
        self.machine, self.image = machine, machine.image
        img = self.image
        self.bits = img.bits
        self.base = img.base if base is None else base
        self.uc = Uc(UC_ARCH_X86, UC_MODE_64 if self.bits == 64 else UC_MODE_32)
        self.word = self.bits // 8
        mem = img.image_bytes(self.base)
        # Headers read-only, then each section with its own protection.
        self.uc.mem_map(self.base, PAGE, UC_PROT_READ)
        self.uc.mem_write(self.base, bytes(mem[:PAGE]))
        self.text, protect = [], []
        for name, rva, size, flags, _ in img.sections:
            perms = ((UC_PROT_READ if flags & SCN_READ else 0) | (UC_PROT_WRITE if flags & SCN_WRITE else 0) |
                     (UC_PROT_EXEC if flags & SCN_EXEC else 0))
            if flags & SCN_EXEC:
                self.text.append((self.base + rva, self.base + rva + size))
            if rva in machine.shared:
                self.uc.mem_map_ptr(self.base + rva, size, perms, ctypes.addressof(machine.shared[rva]))
                continue
            # Imports are bound by writing the slots: map writable, protect afterwards.
            self.uc.mem_map(self.base + rva, size, perms | UC_PROT_WRITE)
            self.uc.mem_write(self.base + rva, bytes(mem[rva:rva + size]))
            protect.append((self.base + rva, size, perms))
        # Import stubs: a `ret n` (32-bit __stdcall pops its arguments) per import.
        self.uc.mem_map(STUB_BASE, PAGE, UC_PROT_READ | UC_PROT_EXEC)
        self.stubs = {}
        for i, (slot, (dll, name)) in enumerate(sorted(img.imports.items())):
            addr = STUB_BASE + 16 * (i + 1)
            arg_bytes = IMPORT_ARG_BYTES.get(name, 0)
            code = bytes([0xC2, arg_bytes, 0]) if self.bits == 32 else b"\xC3"
            self.uc.mem_write(addr, code)
            self.uc.mem_write(self.base + slot, addr.to_bytes(self.word, "little"))
            self.stubs[addr] = name
        for addr, size, perms in protect:
            self.uc.mem_protect(addr, size, perms)
        self.sentinel = STUB_BASE + PAGE - 16
        self.uc.mem_map(STACK_BASE, STACK_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        # What each import returns: a value, or a function of its arguments.
        self.results = {name: 0 for name in self.stubs.values()}
        self.calls, self.steps = [], 0
        self.uc.hook_add(UC_HOOK_CODE, self._on_stub, begin=STUB_BASE, end=STUB_BASE + PAGE - 1)
        self.uc.hook_add(UC_HOOK_CODE, self._on_step, begin=self.base, end=self.base + img.size - 1)

    # --- stubs -------------------------------------------------------------
    def _on_step(self, uc, address, size, _):
        self.steps += 1

    def _on_stub(self, uc, address, size, _):
        name = self.stubs.get(address)
        if name is None:
            return
        if self.bits == 32:
            sp = uc.reg_read(X.UC_X86_REG_ESP)
            words = IMPORT_ARG_BYTES.get(name, 0) // 4
            raw = uc.mem_read(sp, 4 * (words + 1))
            ret, *args = struct.unpack(f"<{words + 1}I", raw)
        else:
            sp = uc.reg_read(X.UC_X86_REG_RSP)
            ret = int.from_bytes(uc.mem_read(sp, 8), "little")
            regs = [uc.reg_read(r) for r in (X.UC_X86_REG_RCX, X.UC_X86_REG_RDX, X.UC_X86_REG_R8, X.UC_X86_REG_R9)]
            args = regs[:IMPORT_ARG_BYTES.get(name, 0) // 4]
            if sp % 16 != 8:
                self.calls.append(Call(name + " [misaligned stack]", args, ret, self.steps))
        self.calls.append(Call(name, args, ret, self.steps))
        result = self.results.get(name, 0)
        value = result(*args) if callable(result) else result
        uc.reg_write(X.UC_X86_REG_EAX if self.bits == 32 else X.UC_X86_REG_RAX, value)

    # --- loader services -------------------------------------------------------
    def read(self, address, size):
        return bytes(self.uc.mem_read(address, size))

    def read_word(self, address):
        return int.from_bytes(self.read(address, self.word), "little")

    def read_string(self, address, limit=256):
        raw = self.read(address, limit)
        return raw.split(b"\0", 1)[0].decode("latin-1")

    def proc_address(self, which):
        """GetProcAddress, by name (str) or ordinal (int), from the mapped export table."""
        rva, size = self.image.export_dir
        if not size:
            raise ContractError("the library has no export directory")
        (_, _, _, _, _, ordinal_base, n_functions, n_names, functions, names, ordinals) = \
            struct.unpack("<IIHHIIIIIII", self.read(self.base + rva, 40))
        if isinstance(which, int):
            index = which - ordinal_base
        else:
            index = None
            for i in range(n_names):
                name_rva = int.from_bytes(self.read(self.base + names + 4 * i, 4), "little")
                if self.read_string(self.base + name_rva) == which:
                    index = int.from_bytes(self.read(self.base + ordinals + 2 * i, 2), "little")
        if index is None or not 0 <= index < n_functions:
            raise ContractError(f"export {which!r} not found")
        target = int.from_bytes(self.read(self.base + functions + 4 * index, 4), "little")
        if rva <= target < rva + size:
            raise ContractError(f"export {which!r} is forwarded")
        return self.base + target

    def entry_point(self):
        return self.base + self.image.entry

    def in_text(self, address):
        return any(lo <= address < hi for lo, hi in self.text)

    # --- calling -----------------------------------------------------------
    def call(self, address, *args, what="call"):
        """Calls address(args) as a caller compiled for Windows would; returns
        the 32-bit (or 64-bit) result. self.calls holds the import calls made,
        self.steps the library instructions executed."""
        self.calls, self.steps = [], 0
        uc = self.uc
        top = STACK_BASE + STACK_SIZE - 0x100
        # The caller's frame above the arguments: values that are also
        # unmapped addresses, so a return through one of them faults.
        guard = [0x0BAD0000 + 0x100 * i for i in range(16)]
        uc.mem_write(top, struct.pack(f"<{len(guard)}I", *guard))
        if self.bits == 32:
            frame = [self.sentinel] + [a & 0xFFFFFFFF for a in args]
            sp = top - 4 * len(frame)
            uc.mem_write(sp, struct.pack(f"<{len(frame)}I", *frame))
            kept = {X.UC_X86_REG_EBX: 0xB0B0B0B0, X.UC_X86_REG_ESI: 0x51515151, X.UC_X86_REG_EDI: 0xD1D1D1D1,
                    X.UC_X86_REG_EBP: 0xBEBEBEB0}
            for reg, value in kept.items():
                uc.reg_write(reg, value)
            for reg in (X.UC_X86_REG_EAX, X.UC_X86_REG_ECX, X.UC_X86_REG_EDX):
                uc.reg_write(reg, 0xCCCCCCCC)
            uc.reg_write(X.UC_X86_REG_ESP, sp)
            sp_reg, result_reg, expected_sp = X.UC_X86_REG_ESP, X.UC_X86_REG_EAX, top
        else:
            # Four register arguments, their 32-byte home area, the return address.
            regs = (X.UC_X86_REG_RCX, X.UC_X86_REG_RDX, X.UC_X86_REG_R8, X.UC_X86_REG_R9)
            for reg, value in zip(regs, args):
                uc.reg_write(reg, value & 0xFFFFFFFFFFFFFFFF)
            home = top - 32
            uc.mem_write(home, b"\0" * 32)
            sp = home - 8
            uc.mem_write(sp, self.sentinel.to_bytes(8, "little"))
            kept = {r: 0x5A5A000000000000 | (i << 8) for i, r in enumerate(
                (X.UC_X86_REG_RBX, X.UC_X86_REG_RBP, X.UC_X86_REG_RSI, X.UC_X86_REG_RDI, X.UC_X86_REG_R12,
                 X.UC_X86_REG_R13, X.UC_X86_REG_R14, X.UC_X86_REG_R15))}
            for reg, value in kept.items():
                uc.reg_write(reg, value)
            uc.reg_write(X.UC_X86_REG_RSP, sp)
            sp_reg, result_reg, expected_sp = X.UC_X86_REG_RSP, X.UC_X86_REG_RAX, home
        try:
            uc.emu_start(address, self.sentinel, count=STEP_LIMIT)
        except UcError as e:
            pc = uc.reg_read(X.UC_X86_REG_EIP if self.bits == 32 else X.UC_X86_REG_RIP)
            raise ContractError(f"{what}: {e} at {pc:#x} (calls so far {self.calls})") from None
        pc = uc.reg_read(X.UC_X86_REG_EIP if self.bits == 32 else X.UC_X86_REG_RIP)
        if pc != self.sentinel:
            raise ContractError(f"{what}: no return within {STEP_LIMIT} instructions (at {pc:#x})")
        end_sp = uc.reg_read(sp_reg)
        if end_sp != expected_sp:
            raise ContractError(f"{what}: returned with the stack pointer {end_sp - expected_sp:+d} bytes "
                                f"off where {'__stdcall' if self.bits == 32 else 'the x64 convention'} "
                                f"leaves it ({len(args)} arguments)")
        for reg, value in kept.items():
            if uc.reg_read(reg) != value:
                raise ContractError(f"{what}: callee-saved register {reg} changed "
                                    f"({value:#x} -> {uc.reg_read(reg):#x})")
        if list(struct.unpack(f"<{len(guard)}I", self.read(top, 4 * len(guard)))) != guard:
            raise ContractError(f"{what}: wrote into its caller's frame above the arguments")
        if self.bits == 32 and uc.reg_read(X.UC_X86_REG_EFLAGS) & 0x400:
            raise ContractError(f"{what}: returned with the direction flag set")
        return uc.reg_read(result_reg) & ((1 << self.bits) - 1)

    def steps_to(self, name):
        """Library instructions executed before the first call of import `name`
        (the calling instruction included), in the last call."""
        for c in self.calls:
            if c.name == name:
                return c.steps
        return None
