#!/usr/bin/env python3
"""Reads a server's PE headers back with objdump and checks what the linker
flags and the resource script promise.

usage: check_pe.py OBJDUMP ARCH(x64|x86) PROGRAM
"""

import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

IMAGE_FILE_LARGE_ADDRESS_AWARE = 0x0020
DLL_DYNAMIC_BASE = 0x0040
DLL_NX_COMPAT = 0x0100
DLL_TERMINAL_SERVER_AWARE = 0x8000
SUBSYSTEM_WINDOWS_GUI = 2
RT_MANIFEST = 24
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1

# The programs must run on a bare Windows: only DLLs that every system has.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "gdiplus.dll", "ole32.dll", "oleaut32.dll",
    "version.dll", "shell32.dll", "msvcrt.dll", "advapi32.dll", "comctl32.dll", "shlwapi.dll",
}

EXPECTED = {
    "x64": {"format": "pei-x86-64", "magic": 0x20B},
    "x86": {"format": "pei-i386", "magic": 0x10B},
}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def objdump(tool, *args):
    return subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout


def header_value(dump, name):
    match = re.search(r"^%s\s+(?:0x)?([0-9a-fA-F]+)\b" % re.escape(name), dump, re.MULTILINE)
    if not match:
        failures.append("objdump shows no %s" % name)
        return 0
    return int(match.group(1), 16)


def section_bytes(tool, program, name):
    """The raw bytes of one section and the address of its first byte."""
    start, data = None, bytearray()
    try:
        dump = objdump(tool, "-s", "-j", name, program)
    except subprocess.CalledProcessError:
        return None, b""
    for line in dump.splitlines():
        match = re.match(r"^ ([0-9a-f]+) ((?:[0-9a-f]{2,8} ){1,4})", line)
        if not match:
            continue
        if start is None:
            start = int(match.group(1), 16)
        data += bytes.fromhex(match.group(2).replace(" ", ""))
    return start, bytes(data)


def resource_entries(rsrc, offset):
    """(id, is_directory, offset) of the entries of one resource directory."""
    named, ids = struct.unpack_from("<HH", rsrc, offset + 12)
    entries = []
    for i in range(named + ids):
        name, target = struct.unpack_from("<II", rsrc, offset + 16 + 8 * i)
        entries.append((None if name & 0x80000000 else name, bool(target & 0x80000000), target & 0x7FFFFFFF))
    return entries


def manifests(rsrc, rsrc_rva):
    """The data of every RT_MANIFEST resource, by id."""
    found = {}
    for type_id, type_is_dir, type_offset in resource_entries(rsrc, 0):
        if type_id != RT_MANIFEST or not type_is_dir:
            continue
        for res_id, res_is_dir, res_offset in resource_entries(rsrc, type_offset):
            languages = resource_entries(rsrc, res_offset) if res_is_dir else []
            for _, lang_is_dir, data_offset in languages:
                if lang_is_dir:
                    continue
                data_rva, size = struct.unpack_from("<II", rsrc, data_offset)
                start = data_rva - rsrc_rva
                found[res_id] = rsrc[start:start + size]
    return found


def main():
    tool, arch, program = sys.argv[1:4]
    expected = EXPECTED[arch]
    dump = objdump(tool, "-p", program)

    check("file format %s" % expected["format"] in dump, "not a %s image" % expected["format"])
    check(header_value(dump, "Magic") == expected["magic"],
          "optional header magic is not %#x" % expected["magic"])
    check(header_value(dump, "Subsystem") == SUBSYSTEM_WINDOWS_GUI, "subsystem is not Windows GUI")

    characteristics = header_value(dump, "Characteristics")
    check(characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE, "LARGE_ADDRESS_AWARE is not set")
    dll = header_value(dump, "DllCharacteristics")
    check(dll & DLL_DYNAMIC_BASE, "DYNAMIC_BASE is not set")
    check(not dll & DLL_NX_COMPAT, "NX_COMPAT is set")
    check(dll & DLL_TERMINAL_SERVER_AWARE, "TERMINAL_SERVER_AWARE is not set")
    check(header_value(dump, "SizeOfStackReserve") == 0x100000, "stack reserve is not 0x100000")

    imports = [name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)]
    check(imports, "no imports found")
    for name in imports:
        check(name in SYSTEM_DLLS, "imports %s, which is not a system DLL" % name)
    # Loaded by name at crash time only: importing it would tie start-up to it.
    check("dbghelp.dll" not in imports, "imports DbgHelp")

    image_base = header_value(dump, "ImageBase")
    start, rsrc = section_bytes(tool, program, ".rsrc")
    if start is None:
        failures.append("no .rsrc section")
    else:
        found = manifests(rsrc, start - image_base)
        check(list(found) == [CREATEPROCESS_MANIFEST_RESOURCE_ID],
              "manifest resources %s, expected exactly id 1" % sorted(found, key=str))
        if CREATEPROCESS_MANIFEST_RESOURCE_ID in found:
            text = found[CREATEPROCESS_MANIFEST_RESOURCE_ID]
            try:
                root = ElementTree.fromstring(text)
            except ElementTree.ParseError as error:
                failures.append("manifest is not XML: %s" % error)
            else:
                check(root.tag == "{urn:schemas-microsoft-com:asm.v1}assembly",
                      "manifest root is %s, not an assembly" % root.tag)
                check(len(root) == 0 and not (root.text or "").strip(),
                      "manifest assembly is not empty: %r" % text)

    for failure in failures:
        print("%s: %s" % (program, failure))
    if not failures:
        print("%s: headers, imports and manifest as expected" % program)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
