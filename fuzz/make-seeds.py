#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora: a few inputs per operation of each target, and for
the stream reader the stored forms each class writes, whole and cut short. Deterministic, so
the same seeds come out on every machine.

usage: make-seeds.py OUTPUT_DIR   (one subdirectory per target)
"""
import hashlib
import os
import random
import struct
import sys


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
    # First byte: class (0 Quit, 1 MediaCue, 2 ObjRefP, 3 Vellomar); second: version (0 -> 0,
    # 1 -> 1).
    forms = [(0, 0, quit_form), (1, 1, cue_v1), (1, 0, cue_v0), (1, 1, cue_text_data)]
    forms += [(2, 0, form) for form in obj_forms]
    forms += [(3, 0, form) for form in vellomar_forms]
    seeds = []
    for cls, version, form in forms:
        seeds.append(bytes([cls, version]) + form)
        seeds.append(bytes([cls, version]) + form[: len(form) // 2])
    return seeds


def write(directory, seeds):
    os.makedirs(directory, exist_ok=True)
    for seed in seeds:
        name = hashlib.sha1(seed).hexdigest()
        with open(os.path.join(directory, name), "wb") as out:
            out.write(seed)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    rng = random.Random(2024)
    write(os.path.join(out, "obj_ref_fuzz"), operation_seeds(14, rng))
    write(os.path.join(out, "quit_fuzz"), operation_seeds(9, rng))
    write(os.path.join(out, "media_cue_fuzz"), operation_seeds(10, rng))
    write(os.path.join(out, "stream_load_fuzz"), stream_seeds())
    write(os.path.join(out, "vellomar_fuzz"), operation_seeds(8, rng))


if __name__ == "__main__":
    main()
