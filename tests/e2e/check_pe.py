#!/usr/bin/python3
"""Checks the built Tapwise.exe and Tapwise.dll from the outside.

    /usr/bin/python3 tests/e2e/check_pe.py <Tapwise.exe> <Tapwise.dll> [-q]

Reads both files with pefile and decodes the resources from their raw bytes
(string blocks, menu, icon groups and images, bitmap, dialog templates,
version block), so that nothing windres or the linker quietly added or
dropped goes unnoticed. Every expected value below is written out by hand
from the program's design, not taken from the resource script.

Prints one line per check (-q: only the failures) and a summary
"N passed, M failed"; the exit status is 1 when anything failed.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
from xml.etree import ElementTree

import pefile

# ---------------------------------------------------------------------------
# Expected facts

LANG_EN_US = 0x0409

RT_ICON, RT_MENU, RT_DIALOG, RT_STRING = 3, 4, 5, 6
RT_BITMAP, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 14, 16, 24

SITE = "http://www.orrinwood.example/tapwise/"

STRINGS = {
    1: "Tapwise for (Your Company) by Orrinwood Media",
    2: "Hide Tapwise",
    4: "Are you sure you want to terminate this very cool app?",
    5: "Current",
    6: "Last",
    7: "Day",
    8: "Week",
    9: "Month",
    10: "Year",
    11: "Total",
    12: "Session",
    13: "Tapwise",
    14: SITE + "stats.html",
    15: "Are you sure to start a new session?",
    16: "Are you sure to reset the chosen counter to zero?",
    17: "TW.exe",
    18: "Tapwise Version 1.2, an incredibly cool app by Orrinwood Media\n"
        "has been successfully installed on your system.",
    19: "-Auto",
    20: "-Uninst",
    21: "Uninstall Tapwise",
    22: "Are you sure you want to remove this very cool app?",
    23: "TWUninst.exe",
    24: "Tapwise",
    25: "Really?",
    26: "Readme.txt",
    27: "Readme",
    28: "Tapwise.dll",
    29: 'The library "Tapwise.dll" cannot be loaded.',
    30: SITE,
    31: "Tapwise is running but does not answer, so nothing has been changed.\n"
        "End it (or restart Windows), then try again.",
    32: "Tapwise could not be installed: the path of its program directory is too long.",
    33: 'Tapwise could not replace its library "Tapwise.dll", which other programs are using.\n'
        "Restart Windows, then install Tapwise again.",
    34: "Tapwise could not be installed: its program file could not be written to the program directory.",
    35: ("Tapwise could not be installed: Windows refused to let it write to the program directory or the registry.\n"
         "Installing Tapwise needs administrator rights."),
    36: ("Tapwise has been removed, but these parts of it could not be removed:\n\n%s\n\n"
         "Removing them may need administrator rights."),
    37: "Tapwise starts the next time you sign in to Windows. To start it now, choose Tapwise in the Start menu.",
    38: "Tapwise is counting your clicks.\nIts icon is in the notification area at the right of the taskbar, "
        "perhaps behind the arrow (^) there. A click on it or on this message opens the statistics, "
        "and so does Tapwise in the Start menu.",
    39: "%s: %s clicks",
    40: "%s: %s clicks so far (not finished)",
    41: "%s: no count logged (Tapwise was not running)",
    42: "Best: %s with %s clicks. Mean: %s clicks.",
    43: "No finished period logged in this view.",
    44: "Tapwise has been removed.",
    45: "The folder %s also holds files that are not Tapwise's: they and the folder were left in place.",
    46: ("Other people who use Tapwise on this PC keep their counts and history: these live in each person's own "
         "profile, which this removal does not touch."),
    47: ("Tapwise is still running for another person signed in to this PC. That copy keeps the old version until "
         "the person signs in again."),
    48: ("Tapwise cannot count clicks in this session: Windows did not let it start its counting thread.\n"
         "Restart Tapwise or Windows to try again."),
    49: ("Windows refuses to let Tapwise save its counts, so they are kept only until Tapwise ends.\n"
         "Ask your administrator to allow Tapwise to write to its registry key, or install Tapwise again."),
    50: "Tapwise could not be started. To start it now, choose Tapwise in the Start menu.",
    51: "Windows has switched Tapwise off as a start-up program, so it does not start when you sign in.\n"
        "To switch it on again, open Settings > Apps > Startup (or Task Manager's Startup tab) and switch Tapwise on.",
    52: "Tapwise is already running as administrator, and Windows does not let this copy reach it.\n"
        "Open its statistics from its icon in the notification area, or choose Exit there and start Tapwise again.",
}

# Window and control styles, spelled out so the checker needs no headers.
WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_BORDER = 0x00C00000, 0x00800000
WS_GROUP, WS_TABSTOP = 0x00020000, 0x00010000
DS_SETFONT = 0x00000040
BS_PUSHBUTTON, BS_AUTOCHECKBOX, BS_GROUPBOX, BS_AUTORADIOBUTTON, BS_FLAT = 0x0, 0x3, 0x7, 0x9, 0x8000
SS_LEFT, SS_CENTER, SS_RIGHT, SS_ICON = 0x0, 0x1, 0x2, 0x3
SS_BITMAP, SS_ETCHEDHORZ, SS_NOPREFIX = 0xE, 0x10, 0x80

CHILD = WS_CHILD | WS_VISIBLE
BUTTON, STATIC = 0x80, 0x82
NO_ID = 0xFFFF

PAGE_STYLE = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_SETFONT
PAGE_RECT = (0, 0, 230, 180)


def _ord(n):
    """Marks a control text that is a resource ordinal, not a string."""
    return ("ordinal", n)


def _static_row(y, period, cur, last, pct):
    label = (NO_ID, STATIC, period, CHILD | WS_GROUP | SS_RIGHT, (14, y, 28, 8))
    return [label,
            (cur, STATIC, "0", CHILD | WS_GROUP | SS_RIGHT, (51, y, 48, 8)),
            (last, STATIC, "0", CHILD | WS_GROUP | SS_RIGHT, (108, y, 48, 8)),
            (pct, STATIC, "0", CHILD | WS_GROUP | SS_RIGHT, (165, y, 48, 8))]


STATISTICS_CONTROLS = (
    [(NO_ID, BUTTON, "", CHILD | BS_GROUPBOX, (7, 7, 216, 166)),
     (NO_ID, STATIC, "Current", CHILD | WS_GROUP | SS_RIGHT, (49, 18, 44, 8)),
     (NO_ID, STATIC, "Last", CHILD | WS_GROUP | SS_RIGHT, (112, 17, 44, 8)),
     (NO_ID, STATIC, "Difference", CHILD | WS_GROUP | SS_RIGHT, (169, 17, 44, 8)),
     (NO_ID, STATIC, "", CHILD | SS_ETCHEDHORZ, (12, 30, 205, 1))]
    + _static_row(37, "Session", 1030, 1034, 1012)
    + _static_row(50, "Day", 1031, 1035, 1013)
    + _static_row(63, "Week", 1032, 1036, 1014)
    + _static_row(76, "Month", 1033, 1037, 1015)
    + _static_row(89, "Year", 1004, 1010, 1016)
    + [(NO_ID, STATIC, "", CHILD | SS_ETCHEDHORZ, (12, 101, 205, 1)),
       (NO_ID, STATIC, "TOTAL", CHILD | WS_GROUP | SS_RIGHT, (14, 107, 28, 8)),
       (1005, STATIC, "0", CHILD | WS_GROUP | SS_RIGHT, (51, 107, 48, 8)),
       (NO_ID, STATIC, "", CHILD | SS_ETCHEDHORZ, (12, 120, 205, 1)),
       (NO_ID, STATIC, "Time on computer:", CHILD | WS_GROUP | SS_LEFT, (57, 126, 77, 8)),
       (1006, STATIC, "00:00:00", CHILD | WS_GROUP | SS_LEFT, (125, 127, 35, 8)),
       (NO_ID, BUTTON, "", CHILD | BS_GROUPBOX, (6, 6, 216, 166)),
       (1009, BUTTON, "www.orrinwood.example", CHILD | BS_PUSHBUTTON | BS_FLAT,
        (63, 146, 91, 18))]
)

SETTINGS_CONTROLS = [
    (NO_ID, BUTTON, "", CHILD | BS_GROUPBOX, (7, 7, 216, 166)),
    (1002, BUTTON, "Start Tapwise automatically on System Startup",
     CHILD | WS_TABSTOP | BS_AUTOCHECKBOX, (15, 20, 175, 10)),
    (NO_ID, STATIC, "", CHILD | SS_ETCHEDHORZ, (12, 36, 205, 1)),
    (1007, BUTTON, "Reset Session", CHILD | BS_PUSHBUTTON, (15, 46, 60, 13)),
    (1008, BUTTON, "Reset Day", CHILD | BS_PUSHBUTTON, (15, 61, 60, 13)),
    (1009, BUTTON, "Reset Week", CHILD | BS_PUSHBUTTON, (85, 46, 60, 13)),
    (1011, BUTTON, "Reset Month", CHILD | BS_PUSHBUTTON, (85, 61, 60, 13)),
    (1017, BUTTON, "Reset Year", CHILD | BS_PUSHBUTTON, (156, 46, 60, 13)),
    (1018, BUTTON, "Reset Total", CHILD | BS_PUSHBUTTON, (156, 61, 60, 13)),
    (NO_ID, STATIC, "", CHILD | SS_ETCHEDHORZ, (12, 81, 205, 1)),
    (1003, BUTTON, "New Session", CHILD | BS_PUSHBUTTON, (87, 98, 60, 13)),
]

ABOUT_CONTROLS = [
    (NO_ID, STATIC,
     "Tapwise Version 1.2a. It counts every click of your mouse by session, day, "
     "week, month and year, and shows how hard your mouse hand really works.",
     CHILD | WS_GROUP | SS_CENTER, (7, 40, 210, 36)),
    (NO_ID, STATIC,
     "Idea, code and pictures by the Orrinwood Media team. Tapwise and Orrinwood "
     "Media are trademarks of Orrinwood Media. All other names belong to their owners.",
     CHILD | WS_GROUP | SS_CENTER, (12, 79, 210, 34)),
    (NO_ID, STATIC, _ord(107), CHILD | WS_BORDER | SS_BITMAP, (10, 118, 75, 55)),
    (1011, BUTTON, "Orrinwood Media", CHILD | BS_PUSHBUTTON | BS_FLAT, (109, 17, 74, 12)),
] + [(NO_ID, STATIC, _ord(101), CHILD | SS_ICON, (x, y, 20, 20))
     for (x, y) in ((123, 123), (30, 14), (151, 132), (96, 143),
                    (177, 124), (170, 153), (131, 146), (205, 150))]

HISTORY_CONTROLS = [
    (1040, BUTTON, "30 days", CHILD | WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, (10, 7, 50, 10)),
    (1041, BUTTON, "12 months", CHILD | BS_AUTORADIOBUTTON, (70, 7, 55, 10)),
    (1042, BUTTON, "Years", CHILD | BS_AUTORADIOBUTTON, (135, 7, 50, 10)),
    (1043, "TAPWISECHART", "",  # windres stores class names upper-case; Windows ignores their case
     CHILD | WS_GROUP | WS_TABSTOP | WS_BORDER, (7, 20, 216, 102)),
    (1044, STATIC, "", CHILD | WS_GROUP | SS_NOPREFIX, (7, 126, 216, 8)),
    (1045, STATIC, "", CHILD | WS_GROUP | SS_NOPREFIX, (7, 137, 216, 8)),
    (1046, BUTTON, "Open history folder", CHILD | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON, (7, 150, 80, 14)),
]

DIALOGS = {
    103: ("Click Statistics", STATISTICS_CONTROLS),
    104: ("About Tapwise", ABOUT_CONTROLS),
    105: ("Program Settings", SETTINGS_CONTROLS),
    106: ("History", HISTORY_CONTROLS),
}

# Group id -> (width, height); the shell numbers the groups in this order.
# One image per size the shell picks from at 100 to 200 %.
ICON_GROUPS = [(101, n, n) for n in (16, 24, 32, 48)] + [(102, 32, 32)] + [(103, n, n) for n in (16, 20, 24, 32)]

VERSION_STRINGS = {
    "CompanyName": "Orrinwood Media",
    "FileDescription": "Tapwise",
    "FileVersion": "1, 2, a, 0",
    "InternalName": "Tapwise by Orrinwood Media",
    "LegalCopyright": "Copyright (C) 2026 Orrinwood Media",
    "OriginalFilename": "Tapwise.exe",
    "ProductName": "Tapwise by Orrinwood Media",
    "ProductVersion": "1, 2, a, 0",
}

# DLLs that ship with every Windows the program targets. The C runtime of
# a mingw build is msvcrt.dll, which is one of them; the API-set stubs of
# newer Windows versions are not.
# The whole 32-bit program file, resources included.
PROGRAM_MAX_SIZE = 131072
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "comctl32.dll",
    "ole32.dll", "advapi32.dll", "msvcrt.dll", "comdlg32.dll", "oleaut32.dll",
    "ws2_32.dll",
}

LIBRARY_IMPORTS = {
    ("kernel32.dll", "OpenSemaphoreA"), ("kernel32.dll", "ReleaseSemaphore"), ("kernel32.dll", "CloseHandle"),
    ("user32.dll", "SetWindowsHookExA"), ("user32.dll", "UnhookWindowsHookEx"),
    ("user32.dll", "CallNextHookEx"),
}
# VOS__WINDOWS32 is 4; the 0x40004 that many generated scripts carry is
# VOS_NT_WINDOWS32, which is not what the program declares.
VOS__WINDOWS32 = 0x00000004
VFT_APP = 1

LIBRARY_EXPORTS = [(1, "TapwiseInit"), (2, "TapwiseReset")]
LIBRARY_MAX_SIZE = 4096
SHARED_SECTION = "SHARDATA"
SHARED_FLAGS = 0xD0000040  # initialised data, shared, readable, writable

IMAGE_FILE_MACHINE_I386 = 0x014C
IMAGE_FILE_DLL = 0x2000
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2

# ---------------------------------------------------------------------------
# Bookkeeping


class Checks:
    def __init__(self, quiet):
        self.quiet = quiet
        self.passed = 0
        self.failed = 0

    def ok(self, name):
        self.passed += 1
        if not self.quiet:
            print("ok    %s" % name)

    def fail(self, name, detail):
        self.failed += 1
        print("FAIL  %s: %s" % (name, detail))

    def equal(self, name, expected, found):
        if expected == found:
            self.ok(name)
            return True
        self.fail(name, "expected %r, found %r" % (expected, found))
        return False

    def true(self, name, cond, detail):
        if cond:
            self.ok(name)
        else:
            self.fail(name, detail)
        return bool(cond)


class Malformed(Exception):
    pass


class Reader:
    """Little-endian reader over a byte string that refuses to run off the
    end, so a truncated structure fails a check instead of the checker."""

    def __init__(self, data, pos=0):
        self.data, self.pos = data, pos

    def take(self, fmt):
        size = struct.calcsize(fmt)
        if self.pos + size > len(self.data):
            raise Malformed("structure runs past the end at offset %d" % self.pos)
        vals = struct.unpack_from(fmt, self.data, self.pos)
        self.pos += size
        return vals if len(vals) > 1 else vals[0]

    def wstr(self):
        chars = []
        while True:
            ch = self.take("<H")
            if ch == 0:
                return "".join(chars)
            chars.append(chr(ch))

    def sz_or_ord(self):
        """A dialog template field: 0 = none, 0xFFFF + word = ordinal,
        otherwise a NUL-terminated UTF-16 string."""
        first = self.take("<H")
        if first == 0x0000:
            return ""
        if first == 0xFFFF:
            return ("ordinal", self.take("<H"))
        self.pos -= 2
        return self.wstr()

    def align(self, n):
        self.pos = (self.pos + n - 1) // n * n


# ---------------------------------------------------------------------------
# Resource directory


def key_of(entry):
    return str(entry.name) if entry.name is not None else entry.id


def type_label(t):
    names = {RT_ICON: "RT_ICON", RT_MENU: "RT_MENU", RT_DIALOG: "RT_DIALOG",
             RT_STRING: "RT_STRING", RT_BITMAP: "RT_BITMAP",
             RT_GROUP_ICON: "RT_GROUP_ICON", RT_VERSION: "RT_VERSION"}
    return names.get(t, repr(t))


def load_resources(pe):
    """[(type, id, lang, bytes)] in directory order."""
    out = []
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    if root is None:
        return out
    for t in root.entries:
        for r in t.directory.entries:
            for lang in r.directory.entries:
                d = lang.data.struct
                data = pe.get_data(d.OffsetToData, d.Size)
                out.append((key_of(t), key_of(r), lang.id, data))
    return out


def find(resources, rtype, rid):
    for (t, r, _lang, data) in resources:
        if t == rtype and r == rid:
            return data
    return None


def parsed(c, resources, rtype, rid, name, expected, parse):
    """parse(data) of the resource, or None once a failure has said why not."""
    data = find(resources, rtype, rid)
    if data is None:
        c.fail(name, "expected %s, found none" % expected)
        return None
    try:
        return parse(data)
    except Malformed as e:
        c.fail(name, str(e))
        return None


def check_inventory(c, resources):
    for (t, r, lang, _data) in resources:
        c.equal("language of %s %r" % (type_label(t), r), LANG_EN_US, lang)
    seen = [(t, r) for (t, r, _l, _d) in resources]
    c.equal("each resource stored once", sorted(set(map(repr, seen))),
            sorted(map(repr, seen)))
    expected = {(RT_MENU, 102), (RT_DIALOG, 103), (RT_DIALOG, 104),
                (RT_DIALOG, 105), (RT_DIALOG, 106), (RT_STRING, 1), (RT_STRING, 2), (RT_STRING, 3), (RT_STRING, 4),
                (RT_BITMAP, 107), (RT_GROUP_ICON, 101), (RT_GROUP_ICON, 102),
                (RT_GROUP_ICON, 103), (RT_VERSION, 1), (RT_MANIFEST, 1), ("LIBRARY", 113),
                ("TEXT", 116)}
    found = {(t, r) for (t, r) in seen if t != RT_ICON}
    missing = sorted(map(repr, expected - found))
    extra = sorted(map(repr, found - expected))
    c.true("resource set (apart from icon images) complete and nothing else",
           not missing and not extra,
           "missing %s, unexpected %s" % (missing, extra))
    icons = [r for (t, r) in seen if t == RT_ICON]
    c.equal("number of icon images", len(ICON_GROUPS), len(icons))


# ---------------------------------------------------------------------------
# String table


def decode_string_block(data):
    r = Reader(data)
    texts = []
    for _ in range(16):
        n = r.take("<H")
        texts.append("".join(chr(r.take("<H")) for _ in range(n)))
    return texts


def check_strings(c, resources):
    table = {}
    for (t, r, _lang, data) in resources:
        if t != RT_STRING or not isinstance(r, int):
            continue
        try:
            block = decode_string_block(data)
        except Malformed as e:
            c.fail("string block %d" % r, str(e))
            continue
        for i, text in enumerate(block):
            if text:
                table[(r - 1) * 16 + i] = text
    for sid in sorted(STRINGS):
        c.equal("string %d" % sid, STRINGS[sid], table.get(sid))
    c.equal("string 18 holds exactly one line feed", 1,
            table.get(18, "").count("\n"))
    extra = sorted(set(table) - set(STRINGS))
    c.true("no strings besides those listed (3 left out)", not extra,
           "expected none, found ids %s" % extra)


# ---------------------------------------------------------------------------
# Menu

MF_POPUP, MF_END, MF_SEPARATOR = 0x0010, 0x0080, 0x0800


def parse_menu_items(r):
    items = []
    while True:
        flags = r.take("<H")
        if flags & MF_POPUP:
            text = r.wstr()
            items.append(("popup", flags, text, parse_menu_items(r)))
        else:
            mid = r.take("<H")
            text = r.wstr()
            items.append(("item", flags, mid, text))
        if flags & MF_END:
            return items


def parse_menu(c, data):
    r = Reader(data)
    version, header = r.take("<HH")
    c.equal("menu 102 is a plain menu template (version, header size)",
            (0, 0), (version, header))
    return parse_menu_items(r)


def check_menu(c, resources):
    top = parsed(c, resources, RT_MENU, 102, "menu 102", "a menu", lambda data: parse_menu(c, data))
    if top is None:
        return
    c.equal("menu 102 has one top-level pop-up", ["popup"], [i[0] for i in top])
    if not top or top[0][0] != "popup":
        return
    _, _flags, caption, sub = top[0]
    c.equal("menu 102 pop-up caption", "System Tray", caption)
    shape = []
    for it in sub:
        if it[0] == "popup":
            shape.append(("popup", it[2]))
            continue
        _, flags, mid, text = it
        if mid == 0 and text == "" and flags & ~(MF_END | MF_SEPARATOR) == 0:
            shape.append("separator")
        else:
            shape.append((mid, text, flags & ~MF_END))
    c.equal("menu 102 items", [(40002, "Open", 0), "separator", (40003, "Terminate", 0)],
            shape)


# ---------------------------------------------------------------------------
# Icons and bitmap


def check_icons(c, resources):
    order = [r for (t, r, _l, _d) in resources if t == RT_GROUP_ICON]
    c.equal("icon groups in directory order", sorted({g for (g, _w, _h) in ICON_GROUPS}), order)
    images = {r: d for (t, r, _l, d) in resources if t == RT_ICON}
    used = set()
    for (gid, width, height) in ICON_GROUPS:
        data = find(resources, RT_GROUP_ICON, gid)
        name = "icon group %d, %d px" % (gid, width)
        if data is None:
            c.fail(name, "expected a group, found none")
            continue
        try:
            r = Reader(data)
            reserved, rtype, count = r.take("<HHH")
            sizes = [w for (g, w, _h) in ICON_GROUPS if g == gid]
            c.equal(name + " header (reserved, type, count)", (0, 1, len(sizes)),
                    (reserved, rtype, count))
            entries = [r.take("<BBBBHHIH") for _ in range(count)]
            w, h, colours, res, planes, bits, size, iid = entries[min(sizes.index(width), count - 1)]
        except Malformed as e:
            c.fail(name, str(e))
            continue
        c.equal(name + " entry width x height", (width, height), (w, h))
        c.equal(name + " entry colour count", 16, colours)
        c.equal(name + " entry reserved byte", 0, res)
        c.equal(name + " entry planes, bit count", (1, 4), (planes, bits))
        img = images.get(iid)
        if not c.true(name + " image %d present" % iid, img is not None,
                      "expected RT_ICON %d, found ids %s" % (iid, sorted(images))):
            continue
        used.add(iid)
        c.equal(name + " entry size matches image", len(img), size)
        try:
            hdr = Reader(img).take("<IiiHHIIiiII")
        except Malformed as e:
            c.fail(name + " image header", str(e))
            continue
        bi_size, bw, bh, bplanes, bbits, comp, _si, _x, _y, used_cols, _imp = hdr
        c.equal(name + " image BITMAPINFOHEADER size", 40, bi_size)
        c.equal(name + " image width, doubled height", (width, 2 * height), (bw, bh))
        c.equal(name + " image planes, bits per pixel, compression",
                (1, 4, 0), (bplanes, bbits, comp))
        c.true(name + " image palette of 1 to 16 colours", 1 <= used_cols <= 16,
               "expected biClrUsed 1 to 16, found %d" % used_cols)
        xor = ((width * 4 + 31) // 32) * 4 * height
        andm = ((width + 31) // 32) * 4 * height
        c.equal(name + " image size (header, palette, XOR, AND)",
                40 + used_cols * 4 + xor + andm, len(img))
    c.equal("every icon image belongs to a group", sorted(images), sorted(used))


def check_bitmap(c, resources):
    bitmap = parsed(c, resources, RT_BITMAP, 107, "bitmap 107", "a bitmap",
                    lambda data: (Reader(data).take("<IiiHHIIiiII"), len(data)))
    if bitmap is None:
        return
    hdr, size = bitmap
    bi_size, w, h, planes, bits, comp = hdr[:6]
    c.equal("bitmap 107 BITMAPINFOHEADER size", 40, bi_size)
    c.equal("bitmap 107 width x height (bottom-up)", (110, 87), (w, h))
    c.equal("bitmap 107 planes, bits per pixel, BI_RGB", (1, 24, 0), (planes, bits, comp))
    stride = (110 * 3 + 3) & ~3
    c.equal("bitmap 107 size (header and padded rows)", 40 + stride * 87, size)


# ---------------------------------------------------------------------------
# Custom resources


def check_custom(c, resources, dll_bytes):
    lib = find(resources, "LIBRARY", 113)
    if lib is None:
        c.fail("LIBRARY 113", "expected the hook library, found nothing")
    else:
        c.true("LIBRARY 113 image at most %d bytes" % LIBRARY_MAX_SIZE,
               image_length(lib) <= LIBRARY_MAX_SIZE, "found %d bytes" % image_length(lib))
        if dll_bytes is None:
            c.fail("LIBRARY 113 equals the built library", "library file not readable")
        elif lib == dll_bytes:
            c.ok("LIBRARY 113 equals the built library byte for byte")
        else:
            first = next((i for i in range(min(len(lib), len(dll_bytes)))
                          if lib[i] != dll_bytes[i]), min(len(lib), len(dll_bytes)))
            c.fail("LIBRARY 113 equals the built library byte for byte",
                   "expected %d bytes, found %d; first difference at offset %d"
                   % (len(dll_bytes), len(lib), first))
    text = find(resources, "TEXT", 116)
    if text is None:
        c.fail("TEXT 116", "expected the readme, found nothing")
        return
    bare_lf = sum(1 for i, b in enumerate(text) if b == 0x0A and (i == 0 or text[i - 1] != 0x0D))
    bare_cr = sum(1 for i, b in enumerate(text)
                  if b == 0x0D and (i + 1 == len(text) or text[i + 1] != 0x0A))
    c.equal("TEXT 116 line ends are CR LF only (bare LF, bare CR)", (0, 0), (bare_lf, bare_cr))
    c.true("TEXT 116 has CR LF line ends", b"\r\n" in text, "found no CR LF at all")
    c.equal("TEXT 116 NUL bytes", 0, text.count(b"\0"))
    c.true('TEXT 116 names the version "V 1.2"', b"V 1.2" in text, "not found")
    c.true("TEXT 116 names the product web site", SITE.encode("ascii") in text,
           "expected %r, not found" % SITE)
    # In a source tree the readme must be the checked-in file, unchanged by
    # any line-end conversion on the way into the program.
    readme = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                          "..", "..", "resources", "Readme.txt")
    if os.path.isfile(readme):
        with open(readme, "rb") as f:
            want = f.read()
        c.true("TEXT 116 equals resources/Readme.txt byte for byte", text == want,
               "expected %d bytes, found %d" % (len(want), len(text)))


# ---------------------------------------------------------------------------
# Dialog templates


def parse_dialog(data):
    if len(data) >= 4 and struct.unpack_from("<HH", data) == (1, 0xFFFF):
        raise Malformed("expected a plain DLGTEMPLATE, found DLGTEMPLATEEX")
    r = Reader(data)
    style, exstyle, cdit, x, y, cx, cy = r.take("<IIHhhhh")
    d = {"style": style, "exstyle": exstyle, "cdit": cdit, "rect": (x, y, cx, cy)}
    d["menu"] = r.sz_or_ord()
    d["class"] = r.sz_or_ord()
    d["caption"] = r.wstr()
    if style & DS_SETFONT:
        d["font"] = (r.take("<H"), r.wstr())
    controls = []
    for _ in range(cdit):
        r.align(4)
        cstyle, cex, x, y, cx, cy, cid = r.take("<IIhhhhH")
        cls = r.sz_or_ord()
        text = r.sz_or_ord()
        extra = r.take("<H")
        r.pos += extra
        controls.append({"id": cid, "class": cls, "text": text, "style": cstyle,
                         "exstyle": cex, "rect": (x, y, cx, cy), "extra": extra})
    r.align(4)
    d["trailing"] = len(data) - r.pos
    d["controls"] = controls
    return d


def show_class(cls):
    if isinstance(cls, tuple):
        return "atom 0x%02X" % cls[1]
    return repr(cls)


def check_dialogs(c, resources):
    for did in sorted(DIALOGS):
        caption, table = DIALOGS[did]
        name = "dialog %d" % did
        d = parsed(c, resources, RT_DIALOG, did, name, "a template", parse_dialog)
        if d is None:
            continue
        c.equal(name + " style", hex(PAGE_STYLE), hex(d["style"]))
        c.equal(name + " extended style", 0, d["exstyle"])
        c.equal(name + " rectangle", PAGE_RECT, d["rect"])
        c.equal(name + " menu", "", d["menu"])
        c.equal(name + " window class", "", d["class"])
        c.equal(name + " caption", caption, d["caption"])
        c.equal(name + " font", (8, "MS Sans Serif"), d.get("font"))
        c.equal(name + " control count", len(table), d["cdit"])
        c.equal(name + " nothing after the last control", 0, d["trailing"])
        for i, (want, got) in enumerate(zip(table, d["controls"])):
            cid, cls, text, style, rect = want
            label = "%s control %d (id %d)" % (name, i + 1, cid if cid != NO_ID else -1)
            expected = (cid, "atom 0x%02X" % cls if isinstance(cls, int) else repr(cls), text, hex(style), 0, rect, 0)
            found = (got["id"], show_class(got["class"]), got["text"], hex(got["style"]),
                     got["exstyle"], got["rect"], got["extra"])
            c.equal(label + " (id, class, text, style, exstyle, rect, extra)",
                    expected, found)


MANIFEST_NS = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
               "ws": "http://schemas.microsoft.com/SMI/2005/WindowsSettings",
               "ws16": "http://schemas.microsoft.com/SMI/2016/WindowsSettings"}


def check_manifest(c, resources):
    try:
        root = ElementTree.fromstring(find(resources, RT_MANIFEST, 1) or b"")
    except ElementTree.ParseError as e:
        c.fail("manifest 1", "expected an application manifest in XML: %s" % e)
        return
    # An execution level would end the virtualization that keeps each person's counts.
    c.equal("manifest asks for no execution level", [],
            [e.tag for e in root.iter() if "trustInfo" in e.tag or "ExecutionLevel" in e.tag])
    deps = [(a.get("name"), a.get("version"), a.get("publicKeyToken"))
            for a in root.findall("v1:dependency/v1:dependentAssembly/v1:assemblyIdentity", MANIFEST_NS)]
    c.equal("manifest depends on common controls 6 alone",
            [("Microsoft.Windows.Common-Controls", "6.0.0.0", "6595b64144ccf1df")], deps)
    aware = [e.text.strip() for tag in ("ws:dpiAware", "ws16:dpiAwareness")
             for e in root.findall("v3:application/v3:windowsSettings/" + tag, MANIFEST_NS)]
    c.equal("manifest's DPI awareness: system, per monitor (v2) from Windows 10", ["true", "PerMonitorV2, system"], aware)


# ---------------------------------------------------------------------------
# Version block


def parse_version_node(data, pos):
    """Returns (key, value, children, end) for the node at pos. Text values
    come back as str, binary ones as bytes."""
    r = Reader(data, pos)
    length, value_len, vtype = r.take("<HHH")
    end = pos + length
    if length < 6 or end > len(data):
        raise Malformed("version node at %d has length %d" % (pos, length))
    key = r.wstr()
    r.align(4)
    if vtype == 1:
        start = r.pos
        value = r.wstr() if value_len else ""
        r.pos = max(r.pos, start + value_len * 2)
    else:
        value = data[r.pos:r.pos + value_len]
        r.pos += value_len
    r.align(4)
    children = []
    while r.pos < end:
        child = parse_version_node(data, r.pos)
        children.append(child)
        r.pos = child[3]
        r.align(4)
    return key, value, children, end


def check_version(c, resources):
    root = parsed(c, resources, RT_VERSION, 1, "version 1", "a version resource",
                  lambda data: parse_version_node(data, 0))
    if root is None:
        return
    key, fixed, children, _end = root
    c.equal("version root key", "VS_VERSION_INFO", key)
    if c.equal("version fixed part size", 52, len(fixed)):
        f = struct.unpack("<13I", fixed)
        c.equal("version fixed part signature", hex(0xFEEF04BD), hex(f[0]))
        c.equal("file version", "1.2.0.0", "%d.%d.%d.%d" % (f[2] >> 16, f[2] & 0xFFFF,
                                                           f[3] >> 16, f[3] & 0xFFFF))
        c.equal("product version", "1.2.0.0", "%d.%d.%d.%d" % (f[4] >> 16, f[4] & 0xFFFF,
                                                              f[5] >> 16, f[5] & 0xFFFF))
        c.equal("file flags mask", hex(0x3F), hex(f[6]))
        c.equal("file flags", 0, f[7])
        c.equal("file OS (VOS__WINDOWS32)", hex(VOS__WINDOWS32), hex(f[8]))
        c.equal("file type (VFT_APP)", VFT_APP, f[9])
        c.equal("file subtype", 0, f[10])
    blocks = {k: (v, ch) for (k, v, ch, _e) in children}
    c.equal("version blocks", ["StringFileInfo", "VarFileInfo"], sorted(blocks))
    if "StringFileInfo" in blocks:
        tables = blocks["StringFileInfo"][1]
        c.equal("string blocks", ["040704b0"], [t[0] for t in tables])
        for t in tables[:1]:
            values = {k: v for (k, v, _ch, _e) in t[2]}
            for name in VERSION_STRINGS:
                c.equal("version string %s" % name, VERSION_STRINGS[name],
                        values.get(name))
            extra = sorted(set(values) - set(VERSION_STRINGS))
            c.true("no other version strings", not extra, "found %s" % extra)
    if "VarFileInfo" in blocks:
        var = {k: v for (k, v, _ch, _e) in blocks["VarFileInfo"][1]}
        tr = var.get("Translation")
        found = ["0x%04X/%d" % struct.unpack_from("<HH", tr, i)
                 for i in range(0, len(tr) - 3, 4)] if isinstance(tr, bytes) else tr
        c.equal("translation", ["0x0407/1200"], found)


# ---------------------------------------------------------------------------
# Program and library as files


def imports_of(pe):
    out = []
    for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        dll = e.dll.decode("ascii", "replace").lower()
        for imp in e.imports:
            name = imp.name.decode("ascii", "replace") if imp.name else "#%d" % imp.ordinal
            out.append((dll, name))
    return out


def check_program_file(c, pe):
    c.equal("program machine (i386)", hex(IMAGE_FILE_MACHINE_I386), hex(pe.FILE_HEADER.Machine))
    c.equal("program subsystem (Windows GUI)", IMAGE_SUBSYSTEM_WINDOWS_GUI,
            pe.OPTIONAL_HEADER.Subsystem)
    dlls = sorted({dll for (dll, _n) in imports_of(pe)})
    foreign = [d for d in dlls if d not in SYSTEM_DLLS]
    c.true("program imports only from system DLLs", not foreign,
           "expected only %s, found also %s" % (sorted(SYSTEM_DLLS), foreign))
    # Setup loads COM itself: a tray copy, started at every sign-in, maps neither.
    c.equal("program imports nothing of COM", [], [d for d in dlls if d in ("ole32.dll", "oleaut32.dll")])
    delayed = [e.dll.decode("ascii", "replace")
               for e in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
    c.equal("program has no delay-load imports", [], delayed)
    size = len(pe.__data__)
    c.true("program file at most %d bytes" % PROGRAM_MAX_SIZE, size <= PROGRAM_MAX_SIZE,
           "found %d bytes" % size)


def data_dir(pe, index):
    d = pe.OPTIONAL_HEADER.DATA_DIRECTORY[index]
    return d.VirtualAddress, d.Size


def image_length(raw):
    """The length before an appended Authenticode signature: where its certificate table starts."""
    try:
        return pefile.PE(data=raw, fast_load=True).OPTIONAL_HEADER.DATA_DIRECTORY[4].VirtualAddress or len(raw)
    except pefile.PEFormatError:
        return len(raw)


def check_library_file(c, path):
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError as e:
        c.fail("library file", "cannot read %s: %s" % (path, e))
        return None
    c.true("library image at most %d bytes (a signature may follow)" % LIBRARY_MAX_SIZE,
           image_length(raw) <= LIBRARY_MAX_SIZE, "found %d bytes" % image_length(raw))
    try:
        pe = pefile.PE(data=raw)
    except pefile.PEFormatError as e:
        c.fail("library file", "not a PE image: %s" % e)
        return raw
    c.equal("library machine (i386)", hex(IMAGE_FILE_MACHINE_I386), hex(pe.FILE_HEADER.Machine))
    c.true("library is a DLL", pe.FILE_HEADER.Characteristics & IMAGE_FILE_DLL,
           "IMAGE_FILE_DLL not set in 0x%04X" % pe.FILE_HEADER.Characteristics)
    found = set(imports_of(pe))
    c.true("library imports exactly %s" % ", ".join(n for (_d, n) in sorted(LIBRARY_IMPORTS)),
           found == LIBRARY_IMPORTS,
           "missing %s, unexpected %s" % (sorted(LIBRARY_IMPORTS - found),
                                          sorted(found - LIBRARY_IMPORTS)))

    rva, size = data_dir(pe, pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"])
    exp = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    if c.true("library has an export directory", rva and exp is not None,
              "found none"):
        name = pe.get_string_at_rva(exp.struct.Name).decode("ascii", "replace")
        c.equal("library export directory name", "TAPWISE.dll", name)
        symbols = [(s.ordinal, s.name.decode("ascii", "replace") if s.name else None)
                   for s in exp.symbols]
        c.equal("library exports (ordinal, name)", LIBRARY_EXPORTS, sorted(symbols))
        forwarded = [s.name for s in exp.symbols if s.forwarder]
        c.equal("library exports forwarded elsewhere", [], forwarded)

    sections = {s.Name.rstrip(b"\0").decode("ascii", "replace"): s.Characteristics
                for s in pe.sections}
    if c.true("library has a section %s" % SHARED_SECTION, SHARED_SECTION in sections,
              "expected it, found %s" % sorted(sections)):
        c.equal("library section %s characteristics" % SHARED_SECTION,
                hex(SHARED_FLAGS), hex(sections[SHARED_SECTION]))
    rva, size = data_dir(pe, pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"])
    c.equal("library resource directory (rva, size)", (0, 0), (rva, size))
    return raw


SIGN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "sign-pe")


# ---------------------------------------------------------------------------
# Signing as a release does it (tools/sign-pe), on copies, with a throwaway openssl certificate


def check_signing(c, paths):
    run = lambda *cmd: subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT).returncode  # noqa
    with tempfile.TemporaryDirectory() as d:
        key, cert, pfx, password, copy = (os.path.join(d, n) for n in ("k.pem", "c.pem", "c.pfx", "pw", "copy"))
        open(password, "w").write("throwaway\n")
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Tapwise test",
            "-keyout", key, "-out", cert)
        run("openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx, "-passout", "file:" + password)
        for path in paths:
            shutil.copyfile(path, copy)
            c.true("%s signed and verified" % os.path.basename(path), run(SIGN, copy, pfx, password) == 0 ==
                   run("osslsigncode", "verify", "-CAfile", cert, "-in", copy), "sign-pe or osslsigncode failed")
        open(password, "w").write("wrong\n")
        shutil.copyfile(paths[0], copy)
        c.true("signing with a wrong password fails, file unchanged", run(SIGN, copy, pfx, password) == 1 and
               open(copy, "rb").read() == open(paths[0], "rb").read(), "signed, or the file changed")


def main(argv):
    args = [a for a in argv[1:] if a != "-q"]
    if len(args) != 2:
        print(__doc__.strip().splitlines()[2].strip())
        return 2
    exe_path, dll_path = args
    c = Checks(quiet="-q" in argv)

    dll_bytes = check_library_file(c, dll_path)

    try:
        pe = pefile.PE(exe_path)
    except (OSError, pefile.PEFormatError) as e:
        c.fail("program file", "cannot read %s as a PE image: %s" % (exe_path, e))
    else:
        check_program_file(c, pe)
        resources = load_resources(pe)
        check_inventory(c, resources)
        check_strings(c, resources)
        check_menu(c, resources)
        check_icons(c, resources)
        check_bitmap(c, resources)
        check_custom(c, resources, dll_bytes)
        check_dialogs(c, resources)
        check_version(c, resources)
        check_manifest(c, resources)
    check_signing(c, (dll_path, exe_path))

    print("%d passed, %d failed" % (c.passed, c.failed))
    return 1 if c.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
