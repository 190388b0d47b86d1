#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora: a few inputs per operation of each target, and for
the stream reader the stored forms each class writes, whole and cut short. Deterministic, so
the same seeds come out on every machine.

usage: make-seeds.py OUTPUT_DIR [DLL_DIR]   (one subdirectory per target; the PE loader's
       seeds come from the DLLs built in DLL_DIR)
"""
import hashlib
import os
import random
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
import bitmaps  # noqa: E402  (the tree's own bitmap writer)


def message_id(first, second=0):
    return struct.pack("<HII", 23, first, second)


def integer(value):
    return struct.pack("<Hi", 1, value)


def text(chars, tag=102):
    data = chars.encode("latin-1")
    return struct.pack("<HII", tag, len(data), 0) + data + b"\0"


def operation_seeds(operations, rng, per_operation=3):
    """Inputs that start with each operation on either instance, then some random choices."""
    seeds = []
    for op in range(operations):
        for n in range(per_operation):
            tail = bytes(rng.randrange(256) for _ in range(8 + 12 * n))
            seeds.append(bytes([n & 1, op]) + tail)
    # A few longer series mixing all operations.
    for _ in range(8):
        seeds.append(bytes(rng.randrange(256) for _ in range(120)))
    return seeds


def stream_seeds():
    quit_form = message_id(1802) + message_id(1803)
    cue_fields = {
        "enable": message_id(2001),
        "disable": message_id(2002),
        "send": message_id(1),
        "flags": integer(7),
        "destination": struct.pack("<HII", 100, 201, 5),
        "data": struct.pack("<H", 0),
        "range": struct.pack("<Hii", 11, 100, 200),
        "mode": integer(1),
    }
    cue_v1 = b"".join(cue_fields[k] for k in
                      ("enable", "disable", "send", "flags", "destination", "data", "range", "mode"))
    cue_v0 = b"".join(cue_fields[k] for k in
                      ("enable", "disable", "range", "flags", "send", "destination", "data"))
    cue_text_data = (cue_fields["enable"] + cue_fields["disable"] + cue_fields["send"] +
                     cue_fields["flags"] + cue_fields["destination"] + text("hello") +
                     integer(5) + cue_fields["mode"])
    # Vellomar: its message, then a target (nothing chosen, a designation, a path text).
    vellomar_forms = [message_id(101) + struct.pack("<H", 0),
                      message_id(101) + struct.pack("<HII", 115, 0x1002, 2),
                      message_id(7, 1) + text("/stage/pointer")]
    obj_forms = [message_id(1) + text(t) for t in
                 ("", "/s/o", "./a", "../a", "../../../x", "/s\r/o", "x" * 300)]
    choice = lambda n: struct.pack("<HII", 100, n, 0)
    list_forms = [choice(1) + integer(3) + integer(5) + integer(-1) + integer(7),
                  choice(5) + integer(2) + text("pear") + text(""),
                  choice(6) + integer(1) + struct.pack("<HII", 109, 2, 0) + struct.pack("<II", 1, 2),
                  choice(4) + integer(1) + struct.pack("<Hd", 15, 2.5),
                  choice(12) + integer(0), choice(1) + integer(-4)]
    # First byte: class (0 Quit, 1 MediaCue, 2 ObjRefP, 3 CursorMod, 4 panning, 5 ListMod,
    # 6 Vellomar); second: version (0 -> 0, 1 -> 1, 4 -> 2, 6 -> 3).
    forms = [(0, 0, quit_form), (1, 1, cue_v1), (1, 0, cue_v0), (1, 1, cue_text_data)]
    forms += [(2, 0, form) for form in obj_forms]
    cursor_form = message_id(303) + struct.pack("<HII", 100, 3, 0)
    forms += [(3, 0, cursor_form), (3, 0, text("long text") + cursor_form)]
    pan_head = message_id(2001) + message_id(2002)
    pan_forms = [(6, pan_head + integer(2) + integer(-40) + integer(600)),
                 (4, pan_head + integer(7) + integer(100) + integer(9))]
    pan_forms += [(1, pan_head + integer(0) + integer(75) + text(t)) for t in
                  ("00:01.00", "00:75.00", "1:30.50", "", "00:01.00 and more")]
    forms += [(4, version, form) for version, form in pan_forms]
    forms += [(5, v, form) for form in list_forms for v in (0, 1)]
    forms += [(6, 0, form) for form in vellomar_forms]
    seeds = []
    for cls, version, form in forms:
        seeds.append(bytes([cls, version]) + form)
        seeds.append(bytes([cls, version]) + form[: len(form) // 2])
    return seeds


def pe_seeds(dll_dir):
    """The DLLs built in the tree (debug sections stripped, to keep inputs short), whole, cut
    short, and each with one header field broken: what the PE loader must refuse cleanly."""
    seeds = []
    dlls = sorted(os.path.join(root, name) for root, _, names in os.walk(dll_dir)
                  for name in names if name.endswith(".dll"))
    for path in dlls:
        stripped = path + ".stripped"
        if subprocess.call(["i686-w64-mingw32-strip", "-o", stripped, path]) != 0:
            stripped = path
        with open(stripped, "rb") as dll:
            image = dll.read()
        if stripped != path:
            os.remove(stripped)
        seeds.append(image)
        for cut in (2, 64, 0x100, 0x200, len(image) // 2, len(image) - 1):
            seeds.append(image[:cut])
        pe = struct.unpack_from("<I", image, 0x3C)[0]
        optional = pe + 24
        sections = optional + struct.unpack_from("<H", image, pe + 20)[0]
        breaks = [
            (pe + 4, "<H", 0x8664),             # machine: x86-64
            (pe + 22, "<H", 0x0102),            # characteristics: an EXE
            (optional, "<H", 0x20B),            # PE32+
            (optional + 56, "<I", 0x7FFFFFFF),  # size of image
            (optional + 92, "<I", 64),          # directory count
            (optional + 96, "<I", 0x7FFFF000),  # export directory far away
            (optional + 104, "<I", 0x1000),     # import directory in the code
            (optional + 136, "<I", 0x1000),     # relocations in the code
            (optional + 168, "<I", 0x1004),     # TLS directory in the code
            (sections + 12, "<I", 0x7FFF0000),  # first section far away
            (sections + 20, "<I", 0x7FFF0000),  # first section's data past the file
        ]
        for offset, layout, value in breaks:
            broken = bytearray(image)
            struct.pack_into(layout, broken, offset, value)
            seeds.append(bytes(broken))
    return seeds


def list_seeds(rng):
    """Integer (first byte even) and text lists, each operation early, then random series."""
    seeds = []
    for kind in (0, 1):
        for op in range(15):
            # Grow the list first so the operation has elements to work on.
            fill = bytes([kind, 0, 0, 7, 1, 0, 3, 1, 1, 0])
            tail = bytes(rng.randrange(256) for _ in range(24))
            seeds.append(fill + bytes([rng.randrange(2), op]) + tail)
        for _ in range(6):
            seeds.append(bytes([kind]) + bytes(rng.randrange(256) for _ in range(160)))
    return seeds


def bitmap_seeds(rng):
    """Bitmap files of every depth and layout, then damaged ones, each after an options byte."""
    def indexes(bits):
        return lambda x, y: (x + 3 * y) % (1 << bits)

    def colour(x, y):
        return ((x * 37 + 11) % 256, (y * 53 + 7) % 256, (x * y + 99) % 256)

    files = []
    for bits in (1, 4, 8):
        files.append(bitmaps.bitmap(13, 7, bits, indexes(bits)))
        files.append(bitmaps.bitmap(13, 7, bits, indexes(bits), top_down=True))
    files.append(bitmaps.bitmap(13, 7, 8, lambda x, y: (x + y) % 5, colours=5))
    files.append(bitmaps.bitmap(13, 7, 4, indexes(4), compression=2))
    files.append(bitmaps.bitmap(13, 7, 8, indexes(8), compression=1))
    for bits in (16, 24, 32):
        files.append(bitmaps.bitmap(9, 5, bits, colour))
        files.append(bitmaps.bitmap(9, 5, bits, colour, top_down=True))
    files.append(bitmaps.bitmap(9, 5, 16, colour, compression=3))
    files.append(bitmaps.bitmap(9, 5, 32, colour, compression=3, header_size=124))
    files.append(bitmaps.bitmap(9, 5, 16, colour, compression=3, header_size=56))
    files.append(bitmaps.bitmap(9, 5, 24, colour, header_size=108))
    files.append(bitmaps.bitmap(60, 20, 24, colour))

    def damaged(data, at, fmt, value):
        data = bytearray(data)
        struct.pack_into(fmt, data, at, value)
        return bytes(data)

    good, runs = files[4], files[7]
    broken = [good[:n] for n in (0, 13, 14, 53, 54, 100, len(good) - 1)]
    broken += [damaged(good, 2, "<I", 0xFFFFFFF0), damaged(good, 10, "<I", 20),
               damaged(good, 10, "<I", len(good) + 5), damaged(good, 14, "<I", 12),
               damaged(good, 14, "<I", 0xFFFFFFFF), damaged(good, 18, "<i", 0),
               damaged(good, 18, "<i", -5), damaged(good, 18, "<i", 40000),
               damaged(good, 22, "<i", 0), damaged(good, 22, "<i", -0x80000000),
               damaged(good, 28, "<H", 7), damaged(good, 28, "<H", 48),
               damaged(good, 30, "<I", 4), damaged(good, 46, "<I", 257),
               damaged(runs, 34, "<I", 0), damaged(runs, 34, "<I", 0x7FFFFFFF),
               damaged(runs, 18, "<i", 32767), damaged(runs, 22, "<i", 32767)]
    # Runs that jump past the picture and literal stretches longer than what is left.
    header = runs[:14 + 40 + 1024]  # the 8-bit run file's headers and colour table
    for tail in (b"\0\2\xff\xff\5\1\0\1", b"\0\xfe\1\2", b"\xff\3" * 40 + b"\0\1"):
        pixels = tail
        data = bytearray(header + pixels)
        struct.pack_into("<I", data, 2, len(data))
        struct.pack_into("<I", data, 34, len(pixels))
        broken.append(bytes(data))
    return [bytes([rng.randrange(256)]) + f for f in files + broken]


def write(directory, seeds):
    os.makedirs(directory, exist_ok=True)
    for seed in seeds:
        name = hashlib.sha1(seed).hexdigest()
        with open(os.path.join(directory, name), "wb") as out:
            out.write(seed)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    out = sys.argv[1]
    rng = random.Random(2024)
    write(os.path.join(out, "obj_ref_fuzz"), operation_seeds(14, rng))
    write(os.path.join(out, "quit_fuzz"), operation_seeds(9, rng))
    write(os.path.join(out, "media_cue_fuzz"), operation_seeds(7, rng))
    write(os.path.join(out, "stream_load_fuzz"), stream_seeds())
    write(os.path.join(out, "cursor_mod_fuzz"), operation_seeds(9, rng))
    write(os.path.join(out, "sys_info_fuzz"), operation_seeds(7, rng))
    if len(sys.argv) == 3:
        write(os.path.join(out, "pe_loader_fuzz"), pe_seeds(sys.argv[2]))
    write(os.path.join(out, "list_mod_fuzz"), list_seeds(rng))
    write(os.path.join(out, "bitmap_fuzz"), bitmap_seeds(rng))
    write(os.path.join(out, "vellomar_fuzz"), operation_seeds(8, rng))
    write(os.path.join(out, "panning_fuzz"), operation_seeds(7, rng))
    write(os.path.join(out, "print_fuzz"), operation_seeds(6, rng))


if __name__ == "__main__":
    main()
