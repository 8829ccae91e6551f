"""Patches a linked x86_64 Mach-O file in place.

dwarf FILE SYMBOL_ADDR: gives the function at SYMBOL_ADDR (its encoding must be one no other
  function uses) the DWARF-mode encoding pointing at its FDE in __eh_frame; lld never
  writes that mode itself.
encrypt FILE: adds an LC_ENCRYPTION_INFO_64 with a non-zero crypt identifier (no tool
  writes one for us).
"""
import struct
import sys


def load_commands(data):
    magic, _, _, _, ncmds, _, _ = struct.unpack_from("<IiiIIII", data, 0)
    assert magic == 0xFEEDFACF
    at = 32
    for _ in range(ncmds):
        cmd, size = struct.unpack_from("<II", data, at)
        yield cmd, size, at
        at += size


def section(data, segname, sectname):
    for cmd, _, at in load_commands(data):
        if cmd != 0x19:
            continue
        nsects = struct.unpack_from("<I", data, at + 64)[0]
        for i in range(nsects):
            s = at + 72 + i * 80
            if data[s:s + 16].rstrip(b"\0") == sectname and data[s + 16:s + 32].rstrip(b"\0") == segname:
                addr, size, offset = struct.unpack_from("<QQI", data, s + 32)
                return addr, size, offset
    raise SystemExit("no section %s,%s" % (segname, sectname))


def fde_offset(data, function):
    # lld copies __eh_frame without relocating the FDEs' function addresses: find the FDE by
    # its DW_CFA_def_cfa_register rbx (only `odd` has one) and set its address right.
    addr, size, offset = section(data, b"__TEXT", b"__eh_frame")
    at = offset
    while at < offset + size:
        length = struct.unpack_from("<I", data, at)[0]
        if length == 0:
            break
        cie_pointer = struct.unpack_from("<I", data, at + 4)[0]
        # 8-byte pc-relative function address (the CIE's "zR" encoding 0x10), then the range
        if cie_pointer != 0 and b"\x0d\x03" in data[at + 25:at + 4 + length]:
            field = at + 8
            struct.pack_into("<q", data, field, function - (addr + field - offset))
            return at - offset
        at += 4 + length
    raise SystemExit("no FDE for %#x" % function)


def patch_dwarf(data, function):
    text_base = 0x100000000
    fde = fde_offset(data, function)
    _, _, info = section(data, b"__TEXT", b"__unwind_info")
    _, common_off, common_count, _, _, index_off, index_count = struct.unpack_from("<7I", data, info)
    target = function - text_base
    for i in range(index_count - 1):
        fn, page, _ = struct.unpack_from("<III", data, info + index_off + 12 * i)
        nxt = struct.unpack_from("<I", data, info + index_off + 12 * (i + 1))[0]
        if not fn <= target < nxt:
            continue
        p = info + page
        kind, entries_off, entries_count, enc_off, _ = struct.unpack_from("<IHHHH", data, p)
        assert kind == 3
        for e in range(entries_count):
            entry = struct.unpack_from("<I", data, p + entries_off + 4 * e)[0]
            if fn + (entry & 0xFFFFFF) == target:
                index = entry >> 24
                if index < common_count:
                    at = info + common_off + 4 * index
                else:
                    at = p + enc_off + 4 * (index - common_count)
                struct.pack_into("<I", data, at, 0x04000000 | fde)
                return
    raise SystemExit("no unwind entry for %#x" % function)


def patch_encrypt(data):
    # Appended in the padding between the load commands and the first section.
    magic, cpu, sub, ftype, ncmds, sizeofcmds, flags = struct.unpack_from("<IiiIIII", data, 0)
    end = 32 + sizeofcmds
    assert data[end:end + 24] == b"\0" * 24
    struct.pack_into("<IIIIII", data, end, 0x2C, 24, 0x1000, 0x100, 1, 0)
    struct.pack_into("<IiiIIII", data, 0, magic, cpu, sub, ftype, ncmds + 1, sizeofcmds + 24, flags)


def main():
    mode, path = sys.argv[1], sys.argv[2]
    with open(path, "rb") as f:
        data = bytearray(f.read())
    if mode == "dwarf":
        patch_dwarf(data, int(sys.argv[3], 0))
    else:
        patch_encrypt(data)
    with open(path, "wb") as f:
        f.write(data)


main()
