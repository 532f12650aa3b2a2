"""The built module as a wheel ships it: what it needs from the system and what it exports."""

import os
import struct
import sys

import pytest

import wayforge

if not sys.platform.startswith("linux"):
    pytest.skip("ELF shared objects are Linux's", allow_module_level=True)

DT_NEEDED, DT_RPATH, DT_RUNPATH = 1, 15, 29
SHT_DYNAMIC, SHT_DYNSYM = 6, 11


def elf_dynamic(path):
    """(dynamic entries as (tag, string), names of the defined global or weak dynamic symbols)."""
    data = open(path, "rb").read()
    assert data[:4] == b"\x7fELF" and data[4] == 2 and data[5] == 1, "a little-endian ELF64 file"
    shoff, = struct.unpack_from("<Q", data, 0x28)
    shentsize, shnum = struct.unpack_from("<HH", data, 0x3A)
    sections = [struct.unpack_from("<IIQQQQIIQQ", data, shoff + i * shentsize) for i in range(shnum)]

    def string(table, offset):
        start = sections[table][4] + offset
        return data[start:data.index(b"\0", start)].decode()

    entries, exported = [], []
    for _name, kind, _flags, _addr, offset, size, link, _info, _align, entsize in sections:
        if kind == SHT_DYNAMIC:
            for pos in range(offset, offset + size, 16):
                tag, value = struct.unpack_from("<qQ", data, pos)
                if tag in (DT_NEEDED, DT_RPATH, DT_RUNPATH):
                    entries.append((tag, string(link, value)))
        elif kind == SHT_DYNSYM:
            for pos in range(offset, offset + size, entsize):
                name, info, _other, shndx = struct.unpack_from("<IBBH", data, pos)
                if shndx != 0 and info >> 4 in (1, 2):
                    exported.append(string(link, name))
    return entries, exported


@pytest.mark.skipif(bool(os.environ.get("WAYFORGE_SANITIZED")),
                    reason="the sanitizer build needs the sanitizer runtimes")
def test_module_needs_only_system_libraries_and_exports_only_its_init():
    entries, exported = elf_dynamic(wayforge.__file__)
    # LAPACK is loaded at the first circle fit, never through the linker: no
    # dependency on another package's library and no search path into it.
    assert [e for e in entries if e[0] in (DT_RPATH, DT_RUNPATH)] == []
    needed = {name for tag, name in entries if tag == DT_NEEDED}
    # The libraries every manylinux system provides (thread-local storage
    # brings in the dynamic loader itself).
    assert needed <= {"libstdc++.so.6", "libm.so.6", "libgcc_s.so.1", "libc.so.6",
                      "libdl.so.2", "libpthread.so.0", "ld-linux-x86-64.so.2"}, needed
    assert exported == ["PyInit_wayforge"]
