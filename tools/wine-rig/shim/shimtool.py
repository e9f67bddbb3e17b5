#!/usr/bin/env python3
"""The virtualization shim's two build-time tools.

  shimtool.py def OUT.def SOURCE_DIR DLL...
      The shim's export list: every named export of each DLL (Wine's own
      kernel32, advapi32, shell32), as a forwarder to that DLL, or as the
      shim's own TwRig_<name> where a source file of SOURCE_DIR defines one.
      The first DLL that exports a name forwards it.
  shimtool.py copy IN.exe OUT.exe SHIM.dll
      A copy of IN.exe whose imports of KERNEL32, ADVAPI32 and SHELL32 name
      the shim instead (the name strings overwritten in place, nothing else
      changed). Fails, changing nothing, when IN imports none of them, imports
      one of their functions by ordinal or one the shim does not export, or
      has bound or delay-loaded imports of them. Names each imported function
      that writes files or the registry and that the shim passes through
      without virtualizing it.
"""
import os
import re
import struct
import sys

SHIMMED = ("kernel32.dll", "advapi32.dll", "shell32.dll")
# Calls that write by path or start programs; the shim virtualizes only its TwRig_ ones.
WRITERS = re.compile(r"^(Reg\w*(Set|Create|Delete|Save|Restore|Replace|Load|Rename|Copy)\w*|"
                     r"(Create|Delete|Copy|Move|Replace)File\w*|SetFileAttributes\w*|"
                     r"(Create|Remove)Directory\w*|ShellExecute\w*|SHFileOperation\w*|WinExec)$")


class PeError(Exception):
    pass


class Pe:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("not an MZ executable")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE header")
        self.machine, sections, optional_size = struct.unpack_from("<HH12xH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic not in (0x10B, 0x20B):
            raise PeError(f"unknown optional header {magic:#x}")
        self.wide = magic == 0x20B
        directories = optional + (112 if self.wide else 96)
        count = struct.unpack_from("<I", data, directories - 4)[0]
        self.dirs = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(min(count, 16))]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            vsize, vaddr, rsize, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((vaddr, max(vsize, rsize), raw, rsize))

    def offset(self, rva):
        for vaddr, size, raw, rsize in self.sections:
            if vaddr <= rva < vaddr + size:
                if rva - vaddr >= rsize:
                    raise PeError(f"RVA {rva:#x} has no bytes in the file")
                return raw + rva - vaddr
        raise PeError(f"RVA {rva:#x} is in no section")

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("latin-1")

    def directory(self, index):
        return self.dirs[index] if index < len(self.dirs) else (0, 0)

    def exports(self):
        rva, size = self.directory(0)
        if not rva:
            return []
        count, names = struct.unpack_from("<I4xI", self.data, self.offset(rva) + 24)
        return [self.text(struct.unpack_from("<I", self.data, self.offset(names) + 4 * i)[0]) for i in range(count)]

    def imports(self):
        """[(name offset in the file, dll name, [function name or ordinal number])]"""
        rva, size = self.directory(1)
        found = []
        at = self.offset(rva) if rva else None
        while at is not None:
            lookup, name, first = struct.unpack_from("<I8xII", self.data, at)
            if not name:
                break
            thunks = self.offset(lookup or first)
            width, high = (8, 1 << 63) if self.wide else (4, 1 << 31)
            functions = []
            while True:
                entry = struct.unpack_from("<Q" if self.wide else "<I", self.data, thunks)[0]
                if not entry:
                    break
                functions.append(entry & 0xFFFF if entry & high else self.text(entry + 2))
                thunks += width
            found.append((self.offset(name), self.text(name), functions))
            at += 20
        return found


def read(path):
    with open(path, "rb") as f:
        return f.read()


def make_def(out, source_dir, dlls):
    own = set()
    for name in sorted(os.listdir(source_dir)):
        if name.endswith(".c"):
            own.update(re.findall(r"\bWINAPI\s+TwRig_(\w+)\s*\(", read(os.path.join(source_dir, name)).decode()))
    lines, seen = ["LIBRARY TWRIG.dll", "EXPORTS"], set()
    for dll in dlls:
        module = os.path.basename(dll).rsplit(".", 1)[0].upper()
        names = Pe(read(dll)).exports()
        if len(names) < 50:
            raise PeError(f"{dll} exports only {len(names)} names")
        for name in names:
            if name in seen or not re.fullmatch(r"[A-Za-z_]\w*", name):
                continue
            seen.add(name)
            lines.append(f"  {name}=TwRig_{name}" if name in own else f"  {name}={module}.{name}")
    missing = own - seen - {"ChangeWindowMessageFilter", "ChangeWindowMessageFilterEx", "GetProcAddress"}
    if "GetProcAddress" not in seen:
        raise PeError("no DLL exports GetProcAddress")
    if missing:
        raise PeError(f"the shim defines functions no DLL exports: {sorted(missing)}")
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")
    print(f"shimtool: {len(seen)} exports, {len(own & seen)} of them the shim's own")


def shim_copy(source, target, shim):
    pe_bytes = bytearray(read(source))
    pe = Pe(bytes(pe_bytes))
    shim_pe = Pe(read(shim))
    exported = set(shim_pe.exports())
    shim_name = os.path.basename(shim).encode()
    problems, patched, notes = [], [], []
    if pe.machine != shim_pe.machine:
        problems.append(f"machine type {pe.machine:#x}, the shim's is {shim_pe.machine:#x}")
    for offset, dll, functions in pe.imports():
        if dll.lower() not in SHIMMED:
            continue
        for function in functions:
            if isinstance(function, int):
                problems.append(f"{dll} ordinal {function} (the shim's ordinals are its own)")
            elif function not in exported:
                problems.append(f"{dll}!{function}, which the shim does not export")
            elif WRITERS.match(function) and f"TwRig_{function}" not in shim_defines(shim_pe):
                notes.append(function)
        if len(shim_name) > len(dll):
            problems.append(f"{dll}: the shim's name {shim_name.decode()} is longer")
        patched.append((offset, dll))
    for index, what in ((11, "bound"), (13, "delay-loaded")):
        if pe.directory(index)[0]:
            problems.append(f"{what} imports, which this tool does not rewrite")
    if not patched:
        problems.append(f"no import of {', '.join(SHIMMED)} found")
    if problems:
        raise PeError(f"{source}: " + "; ".join(problems))
    for offset, dll in patched:
        pe_bytes[offset:offset + len(dll)] = shim_name.ljust(len(dll), b"\0")
    with open(target, "wb") as f:
        f.write(pe_bytes)
    os.chmod(target, 0o755)
    print(f"shim-copy: {target}: {', '.join(d for _, d in patched)} -> {shim_name.decode()}")
    if notes:
        print(f"shim-copy: NOTE: passed through without virtualization: {', '.join(sorted(set(notes)))}")


_defines = {}


def shim_defines(shim_pe):
    """The shim's own functions: exports whose RVA lies in the shim, not forwarders (their
    address points into the export directory)."""
    if id(shim_pe) not in _defines:
        rva, size = shim_pe.directory(0)
        base = shim_pe.offset(rva)
        count_functions, count, functions, names, ordinals = struct.unpack_from("<IIIII", shim_pe.data, base + 20)
        own = set()
        for i in range(count):
            name = shim_pe.text(struct.unpack_from("<I", shim_pe.data, shim_pe.offset(names) + 4 * i)[0])
            index = struct.unpack_from("<H", shim_pe.data, shim_pe.offset(ordinals) + 2 * i)[0]
            target = struct.unpack_from("<I", shim_pe.data, shim_pe.offset(functions) + 4 * index)[0]
            if not rva <= target < rva + size:
                own.add("TwRig_" + name)
        _defines[id(shim_pe)] = own
    return _defines[id(shim_pe)]


def main(argv):
    try:
        if len(argv) >= 4 and argv[1] == "def":
            make_def(argv[2], argv[3], argv[4:])
        elif len(argv) == 5 and argv[1] == "copy":
            shim_copy(argv[2], argv[3], argv[4])
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except (PeError, OSError, struct.error, ValueError) as e:
        print(f"shimtool: FAILED: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
